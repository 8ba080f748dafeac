// format.cpp - kav_vsprintf and kav_sprintf, the library's own formatted-output engine.
//
// The engine walks the format once and writes straight into the caller's buffer through a cursor
// that only moves forward; it never measures the output and never allocates.  Each directive is
// parsed into a Directive (flags, width, precision, qualifier, conversion) and handed to the
// number formatter (d i u o x X p) or the padded-text writer (c, s and the address conversions,
// whose text is built first in a small local array); "%%" and unknown conversions are written as
// they stand.
//
// Integers are always read as 32-bit int arguments, whatever the qualifier.  The pointer
// conversions (p, n, s, a, A) read pointer-sized arguments, so %p prints every bit of a 64-bit
// address.  Widths and precisions are held as int with -1 for "absent"; padding arithmetic runs in
// 64 bits, where a negative count simply writes nothing.

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/ascii.h"
#include "base/boundary.h"
#include "kavutil.h"
#include "platform/memory.h"

namespace {

constexpr char kLowerDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr char kUpperDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr char kNullText[] = "<NULL>";
constexpr int kAbsent = -1;

enum Flag : unsigned {
  kLeft = 1u << 0,
  kZero = 1u << 1,
  kPlus = 1u << 2,
  kSpace = 1u << 3,
  kAlternate = 1u << 4,
  kSigned = 1u << 5,
  kUpper = 1u << 6,
};

struct Directive {
  unsigned flags = 0;
  int width = kAbsent;
  int precision = kAbsent;
  char qualifier = '\0';
  char conversion = '\0';
};

// The va_list lives in a struct so that helpers can share one list by reference on every ABI
// (on some, va_list is an array type that does not pass by reference cleanly).
struct Arguments {
  va_list list;
};

class Output {
 public:
  explicit Output(char* buffer) : start_(buffer), at_(buffer) {}

  void Put(char c) { *at_++ = c; }

  void Write(const char* text, std::size_t length) {
    std::memcpy(at_, text, length);
    at_ += length;
  }

  void Repeat(char c, long long count) {
    if (count <= 0) return;
    std::memset(at_, c, static_cast<std::size_t>(count));
    at_ += count;
  }

  int Count() const { return static_cast<int>(at_ - start_); }

  int Finish() {
    *at_ = '\0';
    return Count();
  }

 private:
  char* start_;
  char* at_;
};

unsigned FlagFor(char c) {
  switch (c) {
    case '-':
      return kLeft;
    case '+':
      return kPlus;
    case ' ':
      return kSpace;
    case '#':
      return kAlternate;
    case '0':
      return kZero;
    default:
      return 0;
  }
}

// A run of digits, read without an overflow check: the value wraps modulo 2^32 (defined here by
// unsigned arithmetic) and a result beyond INT_MAX comes out negative.
int ReadDigits(const char*& p) {
  std::uint32_t value = 0;
  while (kav::base::is_digit(*p)) value = value * 10u + static_cast<std::uint32_t>(*p++ - '0');
  return static_cast<int>(value);
}

// The absolute value of a negative "*" width; for INT_MIN it stays negative and so never pads.
int Magnitude(int value) { return static_cast<int>(0u - static_cast<unsigned>(value)); }

void ParseWidth(const char*& p, Directive& d, Arguments& args) {
  if (kav::base::is_digit(*p)) {
    d.width = ReadDigits(p);
  } else if (*p == '*') {
    ++p;
    d.width = va_arg(args.list, int);
    if (d.width < 0) {
      d.flags |= kLeft;
      d.width = Magnitude(d.width);
    }
  }
}

void ParsePrecision(const char*& p, Directive& d, Arguments& args) {
  if (*p != '.') return;
  ++p;
  if (*p == '*') {
    ++p;
    d.precision = va_arg(args.list, int);
  } else {
    d.precision = ReadDigits(p);
  }
  if (d.precision < 0) d.precision = 0;
}

// p points just past the '%'; on return it points past the conversion character, or at the
// format's NUL when the directive is cut short (then the conversion is NUL).
Directive ParseDirective(const char*& p, Arguments& args) {
  Directive d;
  for (unsigned flag = FlagFor(*p); flag != 0; flag = FlagFor(*++p)) d.flags |= flag;
  ParseWidth(p, d, args);
  ParsePrecision(p, d, args);
  if (*p == 'h' || *p == 'l' || *p == 'L') d.qualifier = *p++;
  d.conversion = *p;
  if (*p != '\0') ++p;
  return d;
}

// Writes the digits of value in base (2..36) so that they end at scratch_end, most significant
// first; returns their count.
inline int DigitsIn(std::uintptr_t value, unsigned base, const char* table, char* scratch_end) {
  char* p = scratch_end;
  do {
    *--p = table[value % base];
    value /= base;
  } while (value != 0);
  return static_cast<int>(scratch_end - p);
}

// Constant divisors let the compiler replace the divisions of the common bases.
int Digits(std::uintptr_t value, unsigned base, const char* table, char* scratch_end) {
  switch (base) {
    case 10:
      return DigitsIn(value, 10, table, scratch_end);
    case 16:
      return DigitsIn(value, 16, table, scratch_end);
    case 8:
      return DigitsIn(value, 8, table, scratch_end);
    default:
      return DigitsIn(value, base, table, scratch_end);
  }
}

// The sign character of a signed conversion, or NUL; makes value the magnitude to print.
char TakeSign(std::uintptr_t& value, unsigned flags) {
  if ((flags & kSigned) == 0) return '\0';
  const auto bits = static_cast<std::uint32_t>(value);
  if (static_cast<std::int32_t>(bits) < 0) {
    value = 0u - bits;
    return '-';
  }
  if ((flags & kPlus) != 0) return '+';
  if ((flags & kSpace) != 0) return ' ';
  return '\0';
}

void FormatNumber(Output& out, std::uintptr_t value, unsigned base, int width_in, int precision_in,
                  unsigned flags) {
  if (base < 2 || base > 36) return;
  const char* table = (flags & kUpper) != 0 ? kUpperDigits : kLowerDigits;
  if ((flags & kLeft) != 0) flags &= ~kZero;
  const char pad = (flags & kZero) != 0 ? '0' : ' ';
  long long width = width_in;
  const char sign = TakeSign(value, flags);
  if (sign != '\0') --width;
  const bool alternate = (flags & kAlternate) != 0 && (base == 8 || base == 16);
  if (alternate) width -= base == 16 ? 2 : 1;

  char scratch[sizeof(std::uintptr_t) * 8];  // room for every digit of base 2
  char* const scratch_end = scratch + sizeof scratch;
  const int digits = Digits(value, base, table, scratch_end);
  const long long precision = precision_in > digits ? precision_in : digits;
  width -= precision;

  if ((flags & (kLeft | kZero)) == 0) {
    out.Repeat(' ', width);
    width = 0;
  }
  if (sign != '\0') out.Put(sign);
  if (alternate) out.Write(base == 16 ? "0x" : "0", base == 16 ? 2 : 1);
  if ((flags & kLeft) == 0) {
    out.Repeat(pad, width);
    width = 0;
  }
  out.Repeat('0', precision - digits);
  out.Write(scratch_end - digits, static_cast<std::size_t>(digits));
  out.Repeat(' ', width);
}

// Text padded with spaces to the width, on the left or (left-justified) on the right.
void WritePadded(Output& out, const char* text, std::size_t length, const Directive& d) {
  const long long gap = static_cast<long long>(d.width) - static_cast<long long>(length);
  const bool left = (d.flags & kLeft) != 0;
  if (!left) out.Repeat(' ', gap);
  out.Write(text, length);
  if (left) out.Repeat(' ', gap);
}

// A hook that throws is treated like a hook that returns null: no exception leaves the engine.
char* CallHook(kav_string_hook hook, const char* argument) {
  return kav::base::guarded(nullptr, [&] { return hook(argument); });
}

// Without a hook the argument is printed in place: the copy the contract describes could not be
// told apart from it.  A hook's result is always released with free.
void FormatString(Output& out, kav_string_hook hook, const char* argument, const Directive& d) {
  char* owned = (argument != nullptr && hook != nullptr) ? CallHook(hook, argument) : nullptr;
  const char* text = owned;
  if (text == nullptr) text = (argument != nullptr && hook == nullptr) ? argument : kNullText;
  std::size_t length = std::strlen(text);
  if (d.precision != kAbsent && static_cast<std::size_t>(d.precision) < length) {
    length = static_cast<std::size_t>(d.precision);
  }
  WritePadded(out, text, length, d);
  kav::platform::memory::release(owned);
}

// The byte as a decimal number without leading zeros; returns the characters written.
std::size_t PutDecimalByte(char* at, unsigned byte) {
  std::size_t n = 0;
  if (byte >= 100) at[n++] = static_cast<char>('0' + byte / 100);
  if (byte >= 10) at[n++] = static_cast<char>('0' + byte / 10 % 10);
  at[n++] = static_cast<char>('0' + byte % 10);
  return n;
}

// A null address pointer prints "<NULL>", as a null string does, instead of being read.
void FormatAddress(Output& out, const unsigned char* bytes, const Directive& d) {
  if (bytes == nullptr) return WritePadded(out, kNullText, sizeof kNullText - 1, d);
  char text[17];  // "255.255.255.255" or "hh:hh:hh:hh:hh:hh"
  std::size_t length = 0;
  if (d.qualifier == 'l') {
    const char* table = (d.flags & kUpper) != 0 ? kUpperDigits : kLowerDigits;
    for (int i = 0; i < 6; ++i) {
      if (i > 0) text[length++] = ':';
      text[length++] = table[bytes[i] >> 4];
      text[length++] = table[bytes[i] & 15];
    }
  } else {
    for (int i = 0; i < 4; ++i) {
      if (i > 0) text[length++] = '.';
      length += PutDecimalByte(text + length, bytes[i]);
    }
  }
  WritePadded(out, text, length, d);
}

void StoreCount(const Output& out, Arguments& args) {
  int* target = va_arg(args.list, int*);
  if (target != nullptr) *target = out.Count();
}

void FormatInteger(Output& out, const Directive& d, Arguments& args, unsigned base) {
  const unsigned value = va_arg(args.list, unsigned);
  FormatNumber(out, value, base, d.width, d.precision, d.flags);
}

void FormatPointer(Output& out, Directive d, Arguments& args) {
  const auto value = reinterpret_cast<std::uintptr_t>(va_arg(args.list, void*));
  if (d.width == kAbsent) {
    d.width = 8;
    d.flags |= kZero;
  }
  FormatNumber(out, value, 16, d.width, d.precision, d.flags);
}

void FormatCharacter(Output& out, const Directive& d, Arguments& args) {
  const char c = static_cast<char>(va_arg(args.list, int));
  WritePadded(out, &c, 1, d);
}

void FormatDirective(Output& out, Directive d, Arguments& args, kav_string_hook hook) {
  switch (d.conversion) {
    case 'd':
    case 'i':
      d.flags |= kSigned;
      return FormatInteger(out, d, args, 10);
    case 'u':
      return FormatInteger(out, d, args, 10);
    case 'o':
      return FormatInteger(out, d, args, 8);
    case 'X':
      d.flags |= kUpper;
      return FormatInteger(out, d, args, 16);
    case 'x':
      return FormatInteger(out, d, args, 16);
    case 'p':
      return FormatPointer(out, d, args);
    case 'c':
      return FormatCharacter(out, d, args);
    case 's':
      return FormatString(out, hook, va_arg(args.list, const char*), d);
    case 'n':
      return StoreCount(out, args);
    case 'A':
      d.flags |= kUpper;
      return FormatAddress(out, va_arg(args.list, const unsigned char*), d);
    case 'a':
      return FormatAddress(out, va_arg(args.list, const unsigned char*), d);
    case '%':
      return out.Put('%');
    default:  // printed as it stands; no argument is taken
      out.Put('%');
      return out.Put(d.conversion);
  }
}

int Format(kav_string_hook hook, char* buffer, const char* format, Arguments& args) {
  Output out(buffer);
  if (format == nullptr) format = "";  // a null format formats as an empty one
  for (const char* p = format; *p != '\0';) {
    if (*p != '%') {
      const std::size_t run = std::strcspn(p, "%");
      out.Write(p, run);
      p += run;
      continue;
    }
    const Directive d = ParseDirective(++p, args);
    if (d.conversion == '\0') {  // the format ends inside a directive: a lone '%' ends the text
      out.Put('%');
      break;
    }
    FormatDirective(out, d, args, hook);
  }
  return out.Finish();
}

}  // namespace

extern "C" KAV_API int KAV_CALL kav_vsprintf(kav_string_hook hook, char* buffer, const char* format,
                                             va_list args) KAV_NOEXCEPT {
  Arguments copy;
  va_copy(copy.list, args);
  const int count = Format(hook, buffer, format, copy);
  va_end(copy.list);
  return count;
}

extern "C" KAV_API int KAV_CDECL kav_sprintf(kav_string_hook hook, char* buffer, const char* format,
                                             ...) KAV_NOEXCEPT {
  Arguments args;
  va_start(args.list, format);
  const int count = Format(hook, buffer, format, args);
  va_end(args.list);
  return count;
}

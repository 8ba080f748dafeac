// scan.cpp - kav_sscanf, a field splitter with a converter of its own.
//
// Two cursors move forward, one in the input and one in the format.  Literal text of the format
// must match the input character for character.  A directive runs from its first character
// (normally '%') to the first conversion letter; one that would not fit a 128-byte directive
// text (with the %s rewrite below) ends the scan.  Each directive that is not suppressed clears
// its target, converts the field and counts, whether or not the conversion succeeded.  The field
// then ends at the next occurrence of the literal that follows the directive in the format,
// whatever the conversion consumed.
//
// The conversion of a field is what the C library's sscanf does for that one directive applied
// to the rest of the input; glibc's is the model, in the classic locale.  Converting here instead
// of calling sscanf per field saves a stream set-up and a strlen of the rest of the line per
// field, which made a line cost its length times its fields:
// - %d and %u skip blanks (space, \t, \n, \v, \f, \r), take an optional sign and decimal digits
//   (the width counts the sign and digits), and store what strtol or strtoul would give for that
//   text in a long of the platform, cut to the target's 32 bits (16 with 'h'): a value beyond
//   the long's range saturates there first, a '-' before %u negates modulo the long.
// - %f skips blanks and reads, within the width, the longest text that starts a number: digits
//   with one '.', an exponent after a digit, "0x" and hexadecimal digits with a 'p' exponent,
//   "nan", "inf" or "infinity"; the text is converted as strtof (strtod with 'l') would, with '.'
//   as the decimal point whatever the process locale.  A sign alone, "0x" alone, a '.' alone, and
//   an "inf" that goes on with 'i' but is not "infinity" store nothing.
// - %s followed by a literal reads up to that literal, blanks included (within the width), as
//   the scan set "[^x]" would; otherwise it skips blanks and reads up to the next blank.  %c reads
//   the width's number of characters (1 without a width), no terminating NUL.
// - An empty field, or one that does not start a number, stores nothing: the target stays
//   cleared.  The size letters 'l' and 'h' choose the target of %d, %u and %f; %s and %c read
//   8-bit characters whatever size they carry.
// Only directives of the form '%' ['*'] [width] [l|h] letter convert; anything else in a
// directive (a second '%', a precision, an unsupported conversion before the letter) leaves the
// target cleared.  %D and %T take a 32-bit target that stays 0: the library gives them no
// conversion.

#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <limits>

#include "kavutil.h"

namespace {

constexpr std::size_t kDirectiveSize = 128;  // the directive's text and its NUL
constexpr std::size_t kScanSetGrowth = 3;    // "s" becomes "[^x]"
constexpr int kNoWidth = -1;

bool IsConversionLetter(char c) {
  switch (c) {
    case 'd':
    case 'f':
    case 'u':
    case 's':
    case 'c':
    case 'D':
    case 'T':
      return true;
    default:
      return false;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

struct Directive {
  char letter = '\0';
  char size = '\0';  // the character before the letter: 'l', 'h' or another
  bool suppressed = false;
  bool converts = false;  // '%' ['*'] [width] [l|h] letter
  int width = kNoWidth;   // a width of 0, or one beyond int, is no width
};

// The width digits as the C library reads them: a value beyond int means no width.
int ReadWidth(const char*& p) {
  int width = 0;
  for (; IsDigit(*p); ++p) {
    const int digit = *p - '0';
    if (width >= 0) width = width > (INT_MAX - digit) / 10 ? kNoWidth : width * 10 + digit;
  }
  return width == 0 ? kNoWidth : width;
}

void ReadShape(const char* text, Directive& directive) {
  const char* p = text;
  if (*p++ != '%') return;
  if (*p == '*') ++p;
  directive.width = ReadWidth(p);
  if (*p == 'l' || *p == 'h') ++p;
  directive.converts = *p == directive.letter;
}

// Reads the directive at format and returns the format position after its letter, or null when
// the format ends first or the directive's text (rewritten) would not fit its 128 bytes.
const char* ReadDirective(const char* format, Directive& directive) {
  const char* p = format;
  do {
    if (*p == '*') directive.suppressed = true;
    ++p;
  } while (*p != '\0' && !IsConversionLetter(*p));
  if (*p == '\0') return nullptr;
  const std::size_t length = static_cast<std::size_t>(p - format);  // before the letter
  directive.letter = *p;
  directive.size = p[-1];
  const char next = p[1];
  const bool rewritten = directive.letter == 's' && next != '\0' && next != ' ' && next != '%';
  if (length + 2 + (rewritten ? kScanSetGrowth : 0) > kDirectiveSize) return nullptr;
  ReadShape(format, directive);
  return p + 1;
}

void ClearTarget(const Directive& directive, void* target) {
  switch (directive.letter) {
    case 'c':
    case 's':
      static_cast<char*>(target)[0] = '\0';
      return;
    case 'f':
      if (directive.size == 'l') {
        *static_cast<double*>(target) = 0.0;
      } else {
        *static_cast<float*>(target) = 0.0f;
      }
      return;
    default:
      if ((directive.letter == 'd' || directive.letter == 'u') && directive.size == 'h') {
        *static_cast<std::int16_t*>(target) = 0;
      } else {
        *static_cast<std::int32_t*>(target) = 0;
      }
  }
}

// Counts the characters a conversion reads against its width.
class Budget {
 public:
  explicit Budget(int width) : left_(width) {}
  bool Empty() const { return left_ == 0; }
  void Take() {
    if (left_ > 0) --left_;
  }

 private:
  int left_;  // negative: no limit
};

// ---- %d and %u

constexpr int kLongBits = static_cast<int>(sizeof(long) * CHAR_BIT);
constexpr std::uint64_t kLongMax = static_cast<std::uint64_t>(LONG_MAX);
constexpr std::uint64_t kUnsignedLongMax = static_cast<std::uint64_t>(ULONG_MAX);

struct Integer {
  bool negative = false;
  bool overflow = false;  // beyond 64 bits
  std::uint64_t magnitude = 0;
};

// The sign and digits at p, within the width; false when there are no digits.
bool ReadInteger(const char* p, int width, Integer& number) {
  Budget budget(width);
  if (*p == '-' || *p == '+') {
    number.negative = *p++ == '-';
    budget.Take();
  }
  const char* digits = p;
  for (; IsDigit(*p) && !budget.Empty(); ++p, budget.Take()) {
    const auto digit = static_cast<std::uint64_t>(*p - '0');
    if (number.magnitude > (UINT64_MAX - digit) / 10) number.overflow = true;
    number.magnitude = number.magnitude * 10 + digit;
  }
  return p != digits;
}

// The bits strtol (is_signed) or strtoul would return in a long for the number.
std::uint64_t AsLong(const Integer& number, bool is_signed) {
  const std::uint64_t wrap_mask = kLongBits == 64 ? UINT64_MAX : kUnsignedLongMax;
  if (is_signed) {
    const std::uint64_t limit = number.negative ? kLongMax + 1 : kLongMax;
    if (number.overflow || number.magnitude > limit) {
      return number.negative ? (kLongMax + 1) & wrap_mask : kLongMax;
    }
  } else if (number.overflow || number.magnitude > kUnsignedLongMax) {
    return kUnsignedLongMax;
  }
  return (number.negative ? 0 - number.magnitude : number.magnitude) & wrap_mask;
}

void ConvertInteger(const char* input, const Directive& directive, void* target) {
  Integer number;
  if (!ReadInteger(SkipBlanks(input), directive.width, number)) return;
  const std::uint64_t bits = AsLong(number, directive.letter == 'd');
  if (directive.size == 'h') {
    const auto stored = static_cast<std::uint16_t>(bits);
    std::memcpy(target, &stored, sizeof stored);
  } else {
    const auto stored = static_cast<std::uint32_t>(bits);
    std::memcpy(target, &stored, sizeof stored);
  }
}

// ---- %f

enum class Form { kNone, kDecimal, kHex, kInfinity, kNan };

// The text of a number that the conversion reads: its form, its sign and the characters after
// the sign ([begin, end); for kHex after the "0x").
struct FloatText {
  Form form = Form::kNone;
  bool negative = false;
  const char* begin = nullptr;
  const char* end = nullptr;
};

// Reads a number's characters the way the C library's scanner does: the character under the
// cursor has been read and counted against the width; the next one is read only while the width
// lasts.  The end of the input reads as '\0' again and again, which no rule accepts.
class Cursor {
 public:
  Cursor(const char* first, int width) : at_(first), left_(width > 0 ? width - 1 : -1) {}
  const char* at() const { return at_; }
  char c() const { return *at_; }
  char Lowered() const { return Lower(*at_); }
  bool WidthLeft() const { return left_ != 0; }
  // Reads the next character; false when the width is used up.
  bool Next() {
    if (left_ == 0) return false;
    if (*at_ != '\0') ++at_;
    if (left_ > 0) --left_;
    return true;
  }
  // Reads the next characters, which must be word (lower case) ignoring case.
  bool NextAre(const char* word) {
    for (; *word != '\0'; ++word) {
      if (!Next() || Lowered() != *word) return false;
    }
    return true;
  }

 private:
  const char* at_;
  int left_;  // characters that may still be read; negative: no limit
};

// After "inf": "infinity" when an 'i' follows, kNone when that 'i' does not go on to it.
Form ReadInfinityTail(Cursor& cursor) {
  if (!cursor.Next() || cursor.Lowered() != 'i') return Form::kInfinity;
  return cursor.NextAre("nity") ? Form::kInfinity : Form::kNone;
}

// The digits, point and exponent of a decimal or hexadecimal number from the cursor on; returns
// the end of what was accepted.
const char* ReadMantissa(Cursor& cursor, bool hex, bool got_digit) {
  const char exponent = hex ? 'p' : 'e';
  bool got_point = false, got_exponent = false;
  const char* end = cursor.at();
  for (;;) {
    const char c = cursor.c();
    if (IsDigit(c) || (hex && !got_exponent && IsHexDigit(c))) {
      got_digit = true;
    } else if (got_exponent && Lower(end[-1]) == exponent && (c == '-' || c == '+')) {
      // the exponent's sign
    } else if (got_digit && !got_exponent && Lower(c) == exponent) {
      got_exponent = got_point = true;
    } else if (!got_point && c == '.') {
      got_point = true;
    } else {
      return end;
    }
    end = cursor.at() + 1;
    if (!cursor.Next() || cursor.c() == '\0') return end;
  }
}

FloatText ReadFloat(const char* p, int width) {
  FloatText text;
  if (*p == '\0') return text;
  Cursor cursor(p, width);
  if (cursor.c() == '-' || cursor.c() == '+') {
    text.negative = cursor.c() == '-';
    if (!cursor.Next() || cursor.c() == '\0') return text;
  }
  text.begin = cursor.at();
  if (cursor.Lowered() == 'n') {
    if (cursor.NextAre("an")) text.form = Form::kNan;
    return text;
  }
  if (cursor.Lowered() == 'i') {
    if (cursor.NextAre("nf")) text.form = ReadInfinityTail(cursor);
    return text;
  }
  bool hex = false, got_digit = false;
  if (cursor.c() == '0' && cursor.WidthLeft()) {
    cursor.Next();
    if (cursor.WidthLeft() && cursor.Lowered() == 'x') {
      hex = true;
      cursor.Next();
      text.begin = cursor.at();
    } else {
      got_digit = true;
    }
  }
  text.end = ReadMantissa(cursor, hex, got_digit);
  if (text.end != text.begin) text.form = hex ? Form::kHex : Form::kDecimal;
  return text;
}

// Whether a number that from_chars found out of range lies above 1 in magnitude (so it becomes
// an infinity, as strtod makes it) rather than below (so it becomes 0): the place of its leading
// digit plus its exponent.  Out of range means far from 1, so the estimate needs no precision.
bool AboveOne(const char* p, const char* end, bool hex) {
  long integer_digits = 0;  // from the leading non-zero one
  long fraction_zeros = 0;  // after the point, before the leading non-zero digit
  bool leading = true, after_point = false;
  for (; p != end && (*p == '.' || (hex ? IsHexDigit(*p) : IsDigit(*p))); ++p) {
    if (*p == '.') {
      after_point = true;
    } else if (leading && *p == '0') {
      if (after_point) ++fraction_zeros;
    } else {
      leading = false;
      if (!after_point) ++integer_digits;
    }
  }
  long exponent = 0;
  if (p != end) {  // the exponent letter, its sign and digits
    ++p;
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    for (; p != end && IsDigit(*p); ++p) {
      if (exponent < 100000000) exponent = exponent * 10 + (*p - '0');
    }
    if (negative) exponent = -exponent;
  }
  const long place = integer_digits > 0 ? integer_digits - 1 : -(fraction_zeros + 1);
  return (hex ? 4 * place : place) + exponent >= 0;
}

template <typename Real>
bool ParseReal(const FloatText& text, Real& value) {
  switch (text.form) {
    case Form::kNone:
      return false;
    case Form::kInfinity:
      value = std::numeric_limits<Real>::infinity();
      break;
    case Form::kNan:
      value = std::numeric_limits<Real>::quiet_NaN();
      break;
    case Form::kDecimal:
    case Form::kHex: {
      const bool hex = text.form == Form::kHex;
      const auto format = hex ? std::chars_format::hex : std::chars_format::general;
      const std::from_chars_result result = std::from_chars(text.begin, text.end, value, format);
      if (result.ec == std::errc::result_out_of_range) {
        value = AboveOne(text.begin, text.end, hex) ? std::numeric_limits<Real>::infinity() : 0;
      } else if (result.ec != std::errc()) {
        if (!hex) return false;
        value = 0;  // "0x." and the like: the "0" before the 'x' is the number
      }
      break;
    }
  }
  if (text.negative) value = -value;
  return true;
}

void ConvertFloat(const char* input, const Directive& directive, void* target) {
  const FloatText text = ReadFloat(SkipBlanks(input), directive.width);
  if (directive.size == 'l') {
    double value = 0.0;
    if (ParseReal(text, value)) std::memcpy(target, &value, sizeof value);
  } else {
    float value = 0.0f;
    if (ParseReal(text, value)) std::memcpy(target, &value, sizeof value);
  }
}

// ---- %s and %c

// Up to the delimiter (not included), the end of the input or the width; returns where it
// stopped.  Nothing is stored for an empty field.
const char* ConvertUpTo(const char* input, char delimiter, int width, char* target) {
  const char* p = input;
  Budget budget(width);
  for (; *p != '\0' && *p != delimiter && !budget.Empty(); ++p) budget.Take();
  const auto length = static_cast<std::size_t>(p - input);
  if (length == 0) return p;
  std::memcpy(target, input, length);
  target[length] = '\0';
  return p;
}

void ConvertWord(const char* input, int width, char* target) {
  const char* start = SkipBlanks(input);
  const char* p = start;
  Budget budget(width);
  for (; *p != '\0' && !IsBlank(*p) && !budget.Empty(); ++p) budget.Take();
  const auto length = static_cast<std::size_t>(p - start);
  if (length == 0) return;
  std::memcpy(target, start, length);
  target[length] = '\0';
}

void ConvertCharacters(const char* input, int width, char* target) {
  const std::size_t wanted = width == kNoWidth ? 1 : static_cast<std::size_t>(width);
  std::size_t length = 0;
  while (length < wanted && input[length] != '\0') ++length;
  std::memcpy(target, input, length);
}

// Clears the target and converts the field at input.  delimiter is the format character after
// the directive.  Returns where the search for the delimiter may start: every character between
// input and there is known not to be the delimiter.
const char* ConvertField(const char* input, const Directive& directive, char delimiter,
                         void* target) {
  ClearTarget(directive, target);
  if (!directive.converts) return input;
  switch (directive.letter) {
    case 'd':
    case 'u':
      ConvertInteger(input, directive, target);
      return input;
    case 'f':
      ConvertFloat(input, directive, target);
      return input;
    case 's':
      if (delimiter != '\0' && delimiter != ' ' && delimiter != '%') {
        return ConvertUpTo(input, delimiter, directive.width, static_cast<char*>(target));
      }
      ConvertWord(input, directive.width, static_cast<char*>(target));
      return input;
    case 'c':
      ConvertCharacters(input, directive.width, static_cast<char*>(target));
      return input;
    default:  // D and T: no conversion of their own
      return input;
  }
}

int ScanFields(const char* input, const char* format, va_list targets) {
  int count = 0;
  while (*input != '\0') {
    for (; *input != '\0' && *format != '\0' && *format != '%'; ++input, ++format) {
      if (*input != *format) return count;
    }
    if (*format == '\0') break;
    Directive directive;
    const char* after = ReadDirective(format, directive);
    if (after == nullptr) break;
    const char* searched = input;
    if (!directive.suppressed) {
      ++count;
      searched = ConvertField(input, directive, *after, va_arg(targets, void*));
    }
    format = after;
    input = std::strchr(searched, *format);  // the NUL when the format has ended
    if (input == nullptr) input = searched + std::strlen(searched);
  }
  return count;
}

}  // namespace

extern "C" KAV_API int KAV_CDECL kav_sscanf(const char* input, const char* format,
                                            ...) KAV_NOEXCEPT {
  if (input == nullptr || format == nullptr) return 0;
  va_list targets;
  va_start(targets, format);
  const int count = ScanFields(input, format, targets);
  va_end(targets);
  return count;
}

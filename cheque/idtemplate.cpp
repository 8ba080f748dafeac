// idtemplate.cpp - bringing document identifiers into a printable shape.
//
// fill_with_id runs a template of one-letter commands over an identifier in
// the caller's buffer, left to right: trim, upper-case, filter, remove a
// character, month name to number, year step, prefix, suffix, zero-fill.
// round_down_id rounds the number at the end of an identifier down to a
// multiple of a step, keeping the number's width.
//
// Both edit in place and allocate nothing; the caller's buffer is made large
// enough for what the template adds.  Literals of the prefix and suffix
// commands are decoded twice (once to measure, once to write), so that a
// prefix can open its gap first.  Character classes are those of the classic
// locale (base/ascii.h).

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/ascii.h"
#include "kavutil.h"

namespace {

constexpr char kMonths[] = "JAN,FEB,MAR,APR,MAY,JUN,JUL,AUG,SEP,OCT,NOV,DEC,";

using kav::base::is_digit;
using kav::base::is_white_space;
using kav::base::to_upper;

// Letters and digits of the 7-bit set, '-' and '_'.
bool IsIdentifierChar(char c) { return kav::base::is_letter_or_digit(c) || c == '-' || c == '_'; }

void UpperCase(char* id) {
  for (; *id != '\0'; ++id) *id = to_upper(*id);
}

template <typename Keep>
size_t KeepOnly(char* id, Keep keep) {
  size_t out = 0;
  for (const char* in = id; *in != '\0'; ++in) {
    if (keep(*in)) id[out++] = *in;
  }
  id[out] = '\0';
  return out;
}

size_t KeepIdentifierChars(char* id) { return KeepOnly(id, IsIdentifierChar); }

void RemoveAll(char* id, char unwanted) {
  KeepOnly(id, [unwanted](char c) { return c != unwanted; });
}

void MonthToNumber(char* id) {
  if (strnlen(id, 3) < 3) return;
  const char key[] = {to_upper(id[0]), to_upper(id[1]), to_upper(id[2]), ',', '\0'};
  const char* found = std::strstr(kMonths, key);
  if (found == nullptr) return;
  char number[12];
  std::snprintf(number, sizeof number, "%02d", static_cast<int>(found - kMonths) / 4 + 1);
  std::strcpy(id, number);
}

// atoi's reading (blanks, a sign, digits), saturated to the range of int
// rather than overflowing.
long long ReadInt(const char* s) {
  while (is_white_space(*s)) ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = (*s++ == '-');
  constexpr long long kBeyondInt = static_cast<long long>(INT_MAX) + 2;
  long long magnitude = 0;
  for (; is_digit(*s) && magnitude < kBeyondInt; ++s) magnitude = magnitude * 10 + (*s - '0');
  long long value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return value;
}

// The identifier becomes "%*d" of its value + 10001 (forward) or + 9999
// (back), with its own length w as the width, of which the last w characters
// stay: the length never changes.  The sum is taken in 64 bits and formatted
// apart from the caller's buffer.
void StepYear(char* id, bool forward) {
  size_t width = std::strlen(id);
  long long year = ReadInt(id) + (forward ? 10001 : 9999);
  char digits[24];
  std::snprintf(digits, sizeof digits, "%lld", year);
  size_t count = std::strlen(digits);
  if (count >= width) {
    std::memcpy(id, digits + count - width, width);
  } else {
    std::memset(id, ' ', width - count);
    std::memcpy(id + width - count, digits, count);
  }
}

// Decodes the literal that starts at text, handing each character to emit,
// and returns the template position after it: an optional opening quote,
// then characters up to a closing quote (consumed) or the template's end.
// A backslash takes the next character as it is, except \n (line feed) and
// \r (carriage return); a backslash at the template's end ends the literal.
template <typename Emit>
const char* ReadLiteral(const char* text, Emit emit) {
  if (*text == '"') ++text;
  while (*text != '\0' && *text != '"') {
    char c = *text++;
    if (c == '\\') {
      if (*text == '\0') break;
      c = *text++;
      if (c == 'n') c = '\n';
      if (c == 'r') c = '\r';
    }
    emit(c);
  }
  if (*text == '"') ++text;
  return text;
}

const char* Prefix(const char* literal, char* id) {
  size_t length = 0;
  ReadLiteral(literal, [&length](char) { ++length; });
  std::memmove(id + length, id, std::strlen(id) + 1);
  char* out = id;
  return ReadLiteral(literal, [&out](char c) { *out++ = c; });
}

const char* Suffix(const char* literal, char* id) {
  char* out = id + std::strlen(id);
  const char* next = ReadLiteral(literal, [&out](char c) { *out++ = c; });
  *out = '\0';
  return next;
}

// The characters that S keeps, right-aligned in a field of width characters
// filled with '0' on the left; the rightmost ones when there are more.
void ZeroFill(char* id, int width) {
  // A negative width is no supported input; it is taken as 0.
  size_t field = width > 0 ? static_cast<size_t>(width) : 0;
  size_t kept = KeepIdentifierChars(id);
  if (kept >= field) {
    std::memmove(id, id + kept - field, field);
  } else {
    std::memmove(id + field - kept, id, kept);
    std::memset(id, '0', field - kept);
  }
  id[field] = '\0';
}

// The trailing digit run's value by atol's reading, saturated instead of
// overflowing when the run is too long.
long long ReadDigitRun(const char* run, size_t length) {
  long long value = 0;
  for (size_t i = 0; i < length; ++i) {
    int digit = run[i] - '0';
    if (value > (LLONG_MAX - digit) / 10) return LLONG_MAX;
    value = value * 10 + digit;
  }
  return value;
}

// "%.*ld" with the run's length as precision: the value with leading zeros to
// that width.  The value has no more digits than the run it was read from.
void WriteOverRun(char* run, size_t length, long long value) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%lld", value);
  size_t count = std::strlen(digits);
  std::memset(run, '0', length - count);
  std::memcpy(run + length - count, digits, count);
}

}  // namespace

extern "C" KAV_API void KAV_CALL fill_with_id(char* tmpl, char* identifier,
                                              int width) KAV_NOEXCEPT {
  // Without a template or an identifier there is nothing to edit.
  if (tmpl == nullptr || identifier == nullptr) return;
  const char* next = tmpl;
  while (*next != '\0') {
    switch (*next++) {
      case 'T':
        stripblanks_begendmult(identifier, static_cast<unsigned int>(std::strlen(identifier)));
        break;
      case 'U':
        UpperCase(identifier);
        break;
      case 'S':
        KeepIdentifierChars(identifier);
        break;
      case 'R':
        if (*next != '\0') RemoveAll(identifier, *next++);
        break;
      case 'M':
        MonthToNumber(identifier);
        break;
      case 'Y':
        // Without a sign the next character is read as a command.
        if (*next == '+' || *next == '-') StepYear(identifier, *next++ == '+');
        break;
      case '<':
        next = Prefix(next, identifier);
        break;
      case '>':
        next = Suffix(next, identifier);
        break;
      case 'Z':
        // Always the width argument, whatever '<' or 'Y' came before.
        ZeroFill(identifier, width);
        break;
      default:  // '-' separates commands; anything else is skipped
        break;
    }
  }
}

extern "C" KAV_API int KAV_CALL round_down_id(char* identifier, int step) KAV_NOEXCEPT {
  // No identifier, like a step of 0, leaves nothing to do; the result is still 1.
  if (identifier == nullptr || step == 0) return 1;
  size_t end = std::strlen(identifier);
  size_t begin = end;
  while (begin > 0 && is_digit(identifier[begin - 1])) --begin;
  if (begin == end) return 1;

  size_t length = end - begin;
  long long value = ReadDigitRun(identifier + begin, length);
  value -= value % step;  // toward zero; 64 bits, so a step of INT_MIN is safe
  WriteOverRun(identifier + begin, length, value);
  return 1;
}

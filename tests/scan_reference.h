// scan_reference.h - the field scanner as it was before it converted fields itself: each field
// handed to the C library's sscanf as a one-directive format.  The differential checks of
// tests/scan_test.cpp and fuzz/fuzz_text.cpp compare kav_sscanf with it, field by field.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace scan_reference {

inline constexpr std::size_t kDirectiveSize = 128;
inline constexpr std::size_t kScanSetGrowth = 3;  // "s" becomes "[^x]"
inline constexpr char kConversionLetters[] = "dfuscDT";

struct Directive {
  char text[kDirectiveSize];  // from the first character to the letter, NUL-terminated
  std::size_t length = 0;
  char letter = '\0';
  bool suppressed = false;
};

inline bool IsConversionLetter(char c) {
  return c != '\0' && std::strchr(kConversionLetters, c) != nullptr;
}

// Copies the directive at format into directive and returns the format position after its
// letter, or null when the format ends first or the directive (rewritten) would not fit.
inline const char* ReadDirective(const char* format, Directive& directive) {
  const char* p = format;
  do {
    if (directive.length + 2 > kDirectiveSize) return nullptr;
    if (*p == '*') directive.suppressed = true;
    directive.text[directive.length++] = *p++;
  } while (*p != '\0' && !IsConversionLetter(*p));
  if (*p == '\0') return nullptr;
  directive.letter = *p++;
  const bool rewritten = directive.letter == 's' && *p != '\0' && *p != ' ' && *p != '%';
  const std::size_t growth = rewritten ? kScanSetGrowth : 0;
  if (directive.length + 2 + growth > kDirectiveSize) return nullptr;
  directive.text[directive.length++] = directive.letter;
  directive.text[directive.length] = '\0';
  return p;
}

// The parts of a directive that sscanf is given: its width digits and size letter.  False when
// the directive holds anything else between its '%' (and '*') and its letter.
struct Shape {
  char width[kDirectiveSize] = "";
  char size = '\0';  // 'l', 'h' or none
};

inline bool ParseShape(const Directive& directive, Shape& shape) {
  const char* p = directive.text;
  if (*p++ != '%') return false;
  if (*p == '*') ++p;
  std::size_t digits = 0;
  while (*p >= '0' && *p <= '9') shape.width[digits++] = *p++;
  shape.width[digits] = '\0';
  if (*p == 'l' || *p == 'h') shape.size = *p++;
  return *p == directive.letter && p[1] == '\0';
}

template <typename Local, typename Target>
inline void ConvertNumber(const char* input, const char* call, void* target) {
  Local value{};
  std::sscanf(input, call, &value);
  const Target stored = static_cast<Target>(value);
  std::memcpy(target, &stored, sizeof stored);
}

inline void ConvertInteger(const char* input, char letter, const Shape& shape, void* target) {
  char call[kDirectiveSize + 8];  // the width, a size letter and the conversion
  std::snprintf(call, sizeof call, "%%%s%s%c", shape.width,
                shape.size == 'l'   ? "l"
                : shape.size == 'h' ? "h"
                                    : "",
                letter);
  const bool is_signed = letter == 'd';
  if (shape.size == 'h') {
    if (is_signed) {
      ConvertNumber<short, std::int16_t>(input, call, target);
    } else {
      ConvertNumber<unsigned short, std::uint16_t>(input, call, target);
    }
  } else if (shape.size == 'l') {
    if (is_signed) {
      ConvertNumber<long, std::int32_t>(input, call, target);
    } else {
      ConvertNumber<unsigned long, std::uint32_t>(input, call, target);
    }
  } else if (is_signed) {
    ConvertNumber<int, std::int32_t>(input, call, target);
  } else {
    ConvertNumber<unsigned int, std::uint32_t>(input, call, target);
  }
}

inline void ConvertFloat(const char* input, const Shape& shape, void* target) {
  char call[kDirectiveSize + 8];  // the width, a size letter and the conversion
  if (shape.size == 'l') {
    std::snprintf(call, sizeof call, "%%%slf", shape.width);
    ConvertNumber<double, double>(input, call, target);
  } else {
    std::snprintf(call, sizeof call, "%%%sf", shape.width);
    ConvertNumber<float, float>(input, call, target);
  }
}

// %s and %c read 8-bit characters into the caller's buffer whatever size letter they carry.
inline void ConvertText(const char* input, char letter, char delimiter, const Shape& shape,
                        char* target) {
  char call[kDirectiveSize + 8];  // the width and "[^x]"
  const bool up_to_delimiter =
      letter == 's' && delimiter != '\0' && delimiter != ' ' && delimiter != '%';
  if (up_to_delimiter) {
    std::snprintf(call, sizeof call, "%%%s[^%c]", shape.width, delimiter);
  } else {
    std::snprintf(call, sizeof call, "%%%s%c", shape.width, letter);
  }
  std::sscanf(input, call, target);
}

inline void ClearTarget(char letter, char size, void* target) {
  switch (letter) {
    case 'c':
    case 's':
      static_cast<char*>(target)[0] = '\0';
      return;
    case 'f':
      if (size == 'l') {
        *static_cast<double*>(target) = 0.0;
      } else {
        *static_cast<float*>(target) = 0.0f;
      }
      return;
    default:
      if ((letter == 'd' || letter == 'u') && size == 'h') {
        *static_cast<std::int16_t*>(target) = 0;
      } else {
        *static_cast<std::int32_t*>(target) = 0;
      }
  }
}

// Clears the target, then converts the field at input when the directive is one sscanf can be
// given.  delimiter is the format character after the directive.
inline void ConvertField(const char* input, const Directive& directive, char delimiter,
                         void* target) {
  const char before_letter = directive.length >= 2 ? directive.text[directive.length - 2] : '\0';
  ClearTarget(directive.letter, before_letter, target);
  Shape shape;
  if (!ParseShape(directive, shape)) return;
  switch (directive.letter) {
    case 'd':
    case 'u':
      ConvertInteger(input, directive.letter, shape, target);
      return;
    case 'f':
      ConvertFloat(input, shape, target);
      return;
    case 'c':
    case 's':
      ConvertText(input, directive.letter, delimiter, shape, static_cast<char*>(target));
      return;
    default:  // D and T: no conversion of their own
      return;
  }
}

inline int ScanFields(const char* input, const char* format, va_list targets) {
  int count = 0;
  while (*input != '\0') {
    for (; *input != '\0' && *format != '\0' && *format != '%'; ++input, ++format) {
      if (*input != *format) return count;
    }
    if (*format == '\0') break;
    Directive directive;
    const char* after = ReadDirective(format, directive);
    if (after == nullptr) break;
    if (!directive.suppressed) {
      ++count;
      ConvertField(input, directive, *after, va_arg(targets, void*));
    }
    format = after;
    while (*input != '\0' && *input != *format) ++input;
  }
  return count;
}

}  // namespace scan_reference

// The same contract as kav_sscanf.
inline int reference_sscanf(const char* input, const char* format, ...) {
  if (input == nullptr || format == nullptr) return 0;
  va_list targets;
  va_start(targets, format);
  const int count = scan_reference::ScanFields(input, format, targets);
  va_end(targets);
  return count;
}

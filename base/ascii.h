// ascii.h - the character classes and case rules of the classic "C" locale, written out so that
// neither the process locale nor the signedness of `char` can change a result.  The floor below
// platform/: it includes nothing from the tree and knows no operating system.
//
// Two words for white space, because the tree needs both: is_space is the space character
// alone (what the string family strips and collapses), is_white_space is C's isspace (space,
// tab, line feed, vertical tab, form feed, carriage return: what atoi and strtol skip).
#pragma once

#include <cstddef>
#include <string_view>

namespace kav::base {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool is_letter(char c) { return is_upper(c) || is_lower(c); }
constexpr bool is_letter_or_digit(char c) { return is_letter(c) || is_digit(c); }

// The space character ' ' alone.
constexpr bool is_space(char c) { return c == ' '; }
// A space or a tab, as C's isblank.
constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }
// Any white space of C's isspace: ' ', '\t', '\n', '\v', '\f', '\r'.
constexpr bool is_white_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Either separator a path may hold, whatever the platform: '/' or '\'.
constexpr bool is_path_separator(char c) { return c == '/' || c == '\\'; }

constexpr char to_upper(char c) { return is_lower(c) ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char to_lower(char c) { return is_upper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether a and b hold the same text when A to Z and a to z are taken as one.
constexpr bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (to_lower(a[i]) != to_lower(b[i])) return false;
  }
  return true;
}

// _stricmp's order: the bytes (unsigned) compared after folding A to Z to lower case; the first
// difference is the result, and a text that ends first is below, by the folded byte the other
// goes on with (as a C string's NUL would be compared).
constexpr int compare_ignoring_case(std::string_view a, std::string_view b) {
  const auto folded = [](char c) {
    return static_cast<int>(static_cast<unsigned char>(to_lower(c)));
  };
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    if (const int difference = folded(a[i]) - folded(b[i]); difference != 0) return difference;
  }
  if (a.size() == b.size()) return 0;
  const int next = a.size() < b.size() ? folded(b[common]) : folded(a[common]);
  const int magnitude = next != 0 ? next : 1;  // an embedded NUL still orders the longer text after
  return a.size() < b.size() ? -magnitude : magnitude;
}

}  // namespace kav::base

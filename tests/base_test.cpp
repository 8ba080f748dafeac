// base_test.cpp - the floor below platform/: the classic-locale character classes against the C
// library's in the "C" locale, byte for byte, and the guard at the C boundary.

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/ascii.h"
#include "base/boundary.h"

namespace {

using namespace kav::base;

TEST(Ascii, ClassesAreTheCLocalesForEveryByte) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
  for (int i = 0; i < 256; ++i) {
    const char c = static_cast<char>(i);
    SCOPED_TRACE(i);
    EXPECT_EQ(is_digit(c), std::isdigit(i) != 0);
    EXPECT_EQ(is_letter(c), std::isalpha(i) != 0);
    EXPECT_EQ(is_letter_or_digit(c), std::isalnum(i) != 0);
    EXPECT_EQ(is_white_space(c), std::isspace(i) != 0);
    EXPECT_EQ(is_blank(c), std::isblank(i) != 0);
    EXPECT_EQ(is_space(c), i == ' ');
    EXPECT_EQ(static_cast<unsigned char>(to_upper(c)), std::toupper(i));
    EXPECT_EQ(static_cast<unsigned char>(to_lower(c)), std::tolower(i));
  }
}

TEST(Ascii, BothSeparatorsOnEveryPlatform) {
  EXPECT_TRUE(is_path_separator('/'));
  EXPECT_TRUE(is_path_separator('\\'));
  EXPECT_FALSE(is_path_separator(':'));
}

// _stricmp's order on NUL-terminated texts, as the reference the shared comparison follows.
int Reference(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const int difference =
        std::tolower(static_cast<unsigned char>(*a)) - std::tolower(static_cast<unsigned char>(*b));
    if (difference != 0 || *a == '\0') return difference;
  }
}

TEST(Ascii, ComparisonIgnoringCaseIsStricmps) {
  const char* texts[] = {"",  "a", "A",    "ab",   "AB",    "abc",   "a_", "aB", "[",
                         "Z", "z", "\xE9", "\xC9", "a\xE9", "A\xC9", "b",  "_"};
  for (const char* a : texts) {
    for (const char* b : texts) {
      SCOPED_TRACE(std::string(a) + " / " + b);
      EXPECT_EQ(compare_ignoring_case(a, b), Reference(a, b));
      EXPECT_EQ(equals_ignoring_case(a, b), Reference(a, b) == 0);
    }
  }
  // Only A to Z fold: bytes above 127 keep their case.
  EXPECT_FALSE(equals_ignoring_case("\xE9", "\xC9"));
  // An embedded NUL still orders the longer text after the shorter.
  EXPECT_LT(compare_ignoring_case(std::string_view("a"), std::string_view("a\0", 2)), 0);
  EXPECT_GT(compare_ignoring_case(std::string_view("a\0", 2), std::string_view("a")), 0);
}

TEST(Boundary, GivesTheBodysResultOrTheFailureResult) {
  EXPECT_EQ(guarded(-1, [] { return 7; }), 7);
  EXPECT_EQ(guarded(-1, []() -> int { throw std::bad_alloc(); }), -1);
  EXPECT_EQ(guarded(nullptr, []() -> const char* { throw std::runtime_error("x"); }), nullptr);
  const std::optional<int> none =
      guarded(std::nullopt, []() -> std::optional<int> { throw std::bad_alloc(); });
  EXPECT_FALSE(none.has_value());
}

TEST(Boundary, ABodyWithoutResultSaysWhetherItRanToItsEnd) {
  int steps = 0;
  EXPECT_TRUE(guarded([&] { ++steps; }));
  EXPECT_FALSE(guarded([&] {
    ++steps;
    throw std::bad_alloc();
  }));
  EXPECT_EQ(steps, 2);  // what ran before the throw stays done
}

TEST(Boundary, TheFailureHandlerRunsOnlyOnAThrow) {
  int handled = 0;
  const auto handler = [&] {
    ++handled;
    return -1;
  };
  EXPECT_EQ(guarded_with(handler, [] { return 3; }), 3);
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(guarded_with(handler, []() -> int { throw std::bad_alloc(); }), -1);
  EXPECT_EQ(handled, 1);
}

}  // namespace

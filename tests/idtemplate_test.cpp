// idtemplate_test.cpp - identifier templates: each command of fill_with_id, literals and their
// escapes, and round_down_id.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "kavutil.h"

namespace {

std::string Fill(const char* tmpl, const char* id, int width) {
  std::string commands = tmpl;
  char buffer[256] = {};
  std::strcpy(buffer, id);
  fill_with_id(commands.data(), buffer, width);
  return buffer;
}

TEST(FillWithId, EachCommand) {
  const struct {
    const char *tmpl, *id;
    int width;
    const char* expected;
  } cases[] = {// Trim, upper-case, filter, remove; '-' and unknown letters separate commands.
               {"", "abc", 0, "abc"},
               {"T", "\t a \t b  ", 0, "a b"},
               {"S", "A/B-1_2 x", 0, "AB-1_2x"},
               {"R-", "12-34-56", 0, "123456"},
               {"R", "1-2", 0, "1-2"},
               {"R U", "a b", 0, "AB"},
               {"-?U", "q", 0, "Q"},
               // Month names ("mar 2024" is a kav_cli check).
               {"M", "December", 0, "12"},
               {"M", "xyz", 0, "xyz"},
               {"M", "DE", 0, "DE"},
               {"M", "N,F", 0, "N,F"},
               // Year steps keep the length; without a sign the next letter is a command.
               {"Y+", "99", 0, "00"},
               {"Y-", "00", 0, "99"},
               {"Y+", "12345", 0, "22346"},
               {"YU", "ab", 0, "AB"},
               {"Y+", "", 0, ""},
               {"Y+", "99999999999", 0, " 2147493648"},
               // Prefix and suffix literals and their escapes (a quoted prefix: kav_cli).
               {"<A-", "123", 0, "A-123"},
               {"<\"X\">-", "", 0, "X-"},
               {"<\"x\"U", "ab", 0, "XAB"},
               {R"(<"a\\b")", "id", 0, R"(a\bid)"},
               {R"(<"q\"t")", "id", 0, "q\"tid"},
               {R"(>\n)", "x", 0, "x\n"},
               {R"(>"\r")", "x", 0, "x\r"},
               {"<ab\\", "z", 0, "abz"},
               {"<", "z", 0, "z"},
               // Zero-fill always takes the width argument, even after a prefix or a year step.
               {"Z", "12", 5, "00012"},
               {"Z", "A-B_c!", 5, "A-B_c"},
               {"Z", "123456", 3, "456"},
               {"Z", "123", -4, ""},
               {"<\"ABCDEFG\"Z", "1", 4, "EFG1"},
               {"Y+Z", "24", 6, "000025"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Fill(c.tmpl, c.id, c.width), c.expected)
        << "template [" << c.tmpl << "] on [" << c.id << "] width " << c.width;
  }
  char id[] = "abc";
  fill_with_id(nullptr, id, 5);
  EXPECT_STREQ(id, "abc");
  char tmpl[] = "U";
  fill_with_id(tmpl, nullptr, 5);
}

TEST(RoundDownId, KeepsTheWidthOfTheTrailingNumber) {
  const struct {
    const char* id;
    int step;
    const char* expected;
  } cases[] = {{"REF0999", 1000, "REF0000"},
               {"INV000123", -100, "INV000100"},
               {"12a", 5, "12a"},
               {"77", 0, "77"},
               {"", 5, ""},
               {"X2147483647", INT_MIN, "X0000000000"}};
  for (const auto& c : cases) {
    char id[32];
    std::strcpy(id, c.id);
    EXPECT_EQ(round_down_id(id, c.step), 1);
    EXPECT_STREQ(id, c.expected) << c.id << " step " << c.step;
  }
  EXPECT_EQ(round_down_id(nullptr, 10), 1);
  std::string overlong = "A" + std::string(40, '9');
  EXPECT_EQ(round_down_id(overlong.data(), 7), 1);
  EXPECT_EQ(overlong.size(), 41u);
  EXPECT_EQ(overlong.find_first_not_of("0123456789", 1), std::string::npos);
}

}  // namespace

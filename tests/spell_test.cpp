// spell_test.cpp - amounts in words: spellno's wording and range, and its two building blocks.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <utility>

#include "kavutil.h"

namespace {

// 0, 12, 1234 and -5 (refused) are kav_cli checks.
TEST(Spellno, WordingAndRange) {
  const std::pair<long, const char*> cases[] = {
      {15, "FIFTEEN"},
      {21, "TWENTY ONE"},
      {100, "ONE HUNDRED"},
      {110, "ONE HUNDRED TEN"},
      {20000, "TWENTY THOUSAND"},
      {100000, "ONE HUNDRED THOUSAND"},
      {1000001, "ONE MILLION ONE"},
      {1019000, "ONE MILLION NINETEEN THOUSAND"},
      {2000000010, "TWO BILLION TEN"},
      {2147483647,
       "TWO BILLION ONE HUNDRED FORTY SEVEN MILLION FOUR HUNDRED EIGHTY THREE THOUSAND SIX "
       "HUNDRED FORTY SEVEN"},
  };
  for (const auto& [number, words] : cases) EXPECT_STREQ(spellno(number), words) << number;
  EXPECT_EQ(spellno(-2147483647L - 1), nullptr);
  if (sizeof(long) > 4) {
    const long long beyond = 2147483648LL;
    EXPECT_EQ(spellno(static_cast<long>(beyond)), nullptr);
  }
}

TEST(Spellno, WordsAreSeparatedBySingleSpaces) {
  const std::regex words("[A-Z]+( [A-Z]+)*");
  auto check = [&words](long number) {
    const char* text = spellno(number);
    EXPECT_TRUE(text != nullptr && std::regex_match(text, words)) << number;
  };
  for (long n = 0; n <= 20000; ++n) check(n);
  for (long n = 1; n < 2147483647L / 3; n = n * 3 + 1) check(n);
  for (long n = 2147483647L; n > 0; n /= 10) check(n);
}

TEST(SpellDigits, OnesAndTens) {
  char word[16];
  const auto spelled = [&](int value) { return std::to_string(value) + " " + word; };
  EXPECT_EQ(spelled(spell_tens("17", word)), "1 SEVENTEEN");
  EXPECT_EQ(spelled(spell_tens("05", word)), "0 ");
  EXPECT_EQ(spelled(spell_tens("93", word)), "9 NINETY");
  EXPECT_EQ(spelled(spell_ones("0", word)), "0 ");
  EXPECT_EQ(spelled(spell_ones("8", word)), "8 EIGHT");
  EXPECT_EQ(spelled(spell_ones("x", word)), "0 ");
}

}  // namespace

// spell_test.cpp - amounts in words: spellno's wording and range, and its two building blocks.

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <utility>

#include "kavutil.h"
#include "spell_reference.h"

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

// Every number up to 200,000, every power of ten and its neighbours, and random numbers of
// every length: the same bytes as the word-by-word spelling.
TEST(Spellno, SameWordsAsTheWordByWordSpelling) {
  const auto check = [](long number) {
    ASSERT_STREQ(spellno(number), spell_reference::Spell(number).c_str()) << number;
  };
  for (long n = 1; n <= 200000; ++n) check(n);
  for (long power = 10; power <= 1000000000L; power *= 10) {
    for (long n = power - 2; n <= power + 2; ++n) check(n);
  }
  std::mt19937 random(23);
  for (int i = 0; i < 200000; ++i) {
    long long limit = 1;  // 10 to the power 1 to 10, at most 2147483647
    for (int d = 0; d <= i % 10; ++d) limit *= 10;
    if (limit > 2147483647LL) limit = 2147483647LL;
    check(static_cast<long>(std::uniform_int_distribution<long long>(1, limit - 1)(random)));
  }
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

// regexp_test.cpp - the wildcard translation and the expression matcher: the forms of this dialect
// (where '*', '^', '$' and "\{" change meaning, groups and back-references regcomp has no word
// for), 8-bit classes, the interval cap, the 2048-byte program limit, expressions that fail to
// compile (and let every text through), and long texts under many repetitions, with the step
// budget of back-references.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kavutil.h"

namespace {

// An expression, texts it matches and texts it does not.
struct Row {
  std::string regex;
  std::vector<const char*> matching, other;
};

void ExpectRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    const char* regex = row.regex.c_str();
    for (const char* text : row.matching) EXPECT_EQ(kav_test_re(text, regex), 1) << regex;
    for (const char* text : row.other) EXPECT_EQ(kav_test_re(text, regex), 0) << regex;
  }
}

std::string Translate(const char* wildcard) {
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(kav_setup_regexp(wildcard, buffer), 1);
  const std::size_t length = std::strlen(buffer);
  EXPECT_LE(length + 1, 2 * std::strlen(wildcard) + 2) << wildcard;
  return std::string(buffer, length);
}

TEST(SetupRegexp, TranslatesEachWildcardCharacter) {
  const struct {
    const char *wildcard, *regex;
  } cases[] = {{"abc", "^abc"},     {"*.txt", ".*\\.txt"}, {"a?c", "^a.c"},
               {"x\\*y", "^x\\*y"}, {"abc$", "^abc$"},     {"", ""},
               {"^x", "^^x"},       {"\\", "^\\"},         {"[ab]*", "^[ab].*"}};
  for (const auto& c : cases) EXPECT_EQ(Translate(c.wildcard), c.regex) << c.wildcard;
  char buffer[4] = "xyz";
  EXPECT_EQ(kav_setup_regexp(nullptr, buffer), 1);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(kav_setup_regexp("a", nullptr), 1);
}

// The forms regcomp reads as we do (plain classes, '*', intervals, groups, back-references) are
// compared with it on random expressions (regexp_diff_test); these rows pin the rest.
TEST(TestRe, FormsOfThisDialect) {
  ExpectRows({{"^abc", {"abcdef"}, {"xabc"}},
              {"$", {"", "abc"}, {}},
              {"^a**b$", {"aab", "b"}, {"a*b"}},
              {"\\.\\*\\[\\$\\\\\\q", {".*[$\\q"}, {"a*[$\\q"}},
              // '*' after \) is a literal.
              {"\\(a\\)*", {"a*"}, {"aa"}},
              // '^' after the first character and '$' before the last one are literals.
              {"^^a", {"^a"}, {"a"}},
              {"a$b", {"a$b"}, {"ab"}},
              {"\\$$", {"$"}, {"$x"}},
              // "\{" at the start is a literal '{'.
              {"\\{a", {"{a"}, {"a"}},
              {"^\\{1\\}", {"{1}"}, {"x{1}"}},
              // "\n" is a line feed; a line feed ends the expression.
              {"a\\nb", {"a\nb"}, {"anb"}},
              {"ab\ncd", {"xab"}, {"a"}},
              {"a$\nzz", {"ba"}, {"a$"}},
              // Intervals: leading zeros, and a '*' after one repeats it.
              {"^a\\{007\\}$", {"aaaaaaa"}, {"aaaaaa"}},
              {"a\\{2\\}*b", {"aab"}, {"ab"}},
              // An empty group, \1 inside the group it names (one inner group has closed), \9.
              {"\\(\\)\\1", {""}, {}},
              {"^\\(a\\(b\\)\\1\\)$", {"ab"}, {"aba"}},
              {"\\(a\\)\\(b\\)\\(c\\)\\(d\\)\\(e\\)\\(f\\)\\(g\\)\\(h\\)\\(i\\)\\9\\1",
               {"abcdefghiia"},
               {"abcdefghia"}}});
  EXPECT_EQ(kav_test_re(nullptr, "^$"), 1);  // a null text is the empty text
  EXPECT_EQ(kav_test_re(nullptr, "a"), 0);
}

TEST(TestRe, ClassesOverEightBitCharacters) {
  ExpectRows({{"[\xE9]", {"caf\xE9"}, {"cafe"}},
              {"[\x80-\xFF]", {"a\xFF", "\x80"}, {"a\x7F"}},
              {"[a-\xE9]", {"\xC0", "a"}, {"\xEA"}},
              {"[a]", {"a"}, {"\xE1"}},
              {".", {"\xFF"}, {""}},
              // A negated 7-bit class takes any 8-bit character but never the NUL.
              {"x[^a]", {"x\xE9", "x\x80"}, {"x", "xa"}},
              // A negated 8-bit class is the complement of its members, still without the NUL.
              {"x[^\xE9]", {"x\xE8", "xa"}, {"x\xE9", "x"}},
              // A reversed range adds its end only; '-' first or last is a member.
              {"[z-a]", {"a", "z"}, {"m"}},
              {"[a-c-e]", {"d"}, {"f"}},
              {"[--/]", {"."}, {","}},
              {"[]-a]", {"^"}, {"b"}},
              {"[^]a]", {"b"}, {"]"}},
              {"[\\]", {"\\"}, {"]"}},
              {"[.*]", {"*"}, {"x"}}});
}

// Long texts: intervals stop 20000 past their least count; repetitions, however many, cost one
// pass over the text each; a back-reference search that runs out of steps lets the text
// through, unless the expression without its back-references already rules the text out.
TEST(TestRe, LongTextsAndManyRepetitions) {
  const std::string as(20000, 'a');
  std::string cycle;  // "abcdefgh" repeated: no character twice in a row
  while (cycle.size() < as.size()) cycle += "abcdefgh";
  std::string many_stars;  // a program of 2003 bytes
  for (int i = 0; i < 1000; ++i) many_stars += "a*";
  const struct {
    std::string text, regex;
    int expected;
  } cases[] = {{std::string(254, 'a'), "^a\\{254\\}$", 1},
               {as + "aaaaa", "^a\\{5,\\}$", 1},
               {as + "aaaaaa", "^a\\{5,\\}$", 0},
               {as + "aaaaaa", "^a\\{5,\\}", 1},
               {as + as, "^a*$", 1},
               {as, "a*a*a*a*b", 0},
               {as, many_stars + "b", 0},
               {cycle, ".*.*.*x", 0},
               {cycle, "\\(.\\)\\1", 0},
               {as, "^\\(a*\\)\\(a*\\)\\(a*\\)\\1\\2\\3x", 0},
               {std::string(200, 'a'), "^\\(a*\\)\\(a*\\)\\(a*\\)\\1\\2\\3$", 1},
               // The search runs out of steps long before it could answer no.
               {std::string(201, 'a'), "^\\(a*\\)\\(a*\\)\\(a*\\)\\1\\2\\3$", 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(kav_test_re(c.text.c_str(), c.regex.c_str()), c.expected) << c.regex.substr(0, 40);
  }
}

// A pattern that cannot compile lets every text through, even one it could never match.
TEST(TestRe, FailedCompilationMatchesEverything) {
  const std::vector<std::vector<const char*>> failing = {
      // Too few closed groups for the reference; unbalanced groups; ten groups.
      {"\\(a\\)\\2", "\\(a\\(b\\)\\2\\)", "\\)", "\\(a", "a\\(b\\)\\)"},
      {"\\(\\)\\(\\)\\(\\)\\(\\)\\(\\)\\(\\)\\(\\)\\(\\)\\(\\)\\(b\\)"},
      // A backslash with nothing to escape; a class without its ']'.
      {"ab\\", "ab\\\nc", "ab[c", "[", "[]", "[^", "[a-", "b[a\nc]"},
      // Interval counts and syntax.
      {"a\\{3,2\\}b", "a\\{255\\}", "a\\{1,255\\}", "a\\{99999999999999999999\\}"},
      {"a\\{\\}", "a\\{,2\\}", "a\\{1,2,3\\}", "a\\{1x\\}", "a\\{2", "a\\{2\\)"},
      // An interval after \(, \), a back-reference or another repetition.
      {"b\\(\\{1\\}\\)", "\\(b\\)\\{1\\}", "\\(b\\)\\1\\{1\\}", "ba*\\{2\\}", "ba\\{2\\}\\{2\\}"}};
  for (const auto& row : failing) {
    for (const char* regex : row) EXPECT_EQ(kav_test_re("", regex), 1) << regex;
  }
  EXPECT_EQ(kav_test_re("abc", nullptr), 1);
  EXPECT_EQ(kav_test_re("abc", ""), 1);
  EXPECT_EQ(kav_test_re("", (std::string(100000, 'b') + "[").c_str()), 1);
}

// The program, end instruction included, holds at most 2048 bytes: a literal takes 2, '.' 1,
// a class 17 or 33 (8-bit), an interval 2 more.
TEST(TestRe, ProgramLimitIsExactly2048Bytes) {
  const auto literals = [](int n) { return std::string(static_cast<std::size_t>(n), 'a'); };
  const struct {
    std::string regex;
    bool compiles;
  } cases[] = {{literals(1023) + ".", true},           {literals(1024), false},
               {literals(1015) + "[ab]", true},        {literals(1016) + "[ab]", false},
               {literals(1007) + "[\xE9]", true},      {literals(1008) + "[\xE9]", false},
               {literals(1021) + "a\\{1\\}", true},    {literals(1022) + "a\\{1\\}", false},
               {literals(1023) + "$", true},           {literals(1023) + "\\(\\)", false},
               {"ba" + std::string(100000, '*'), true}};
  for (const auto& c : cases) {
    // A text that no compiled pattern here can match.
    EXPECT_EQ(kav_test_re("", c.regex.c_str()), c.compiles ? 0 : 1) << c.regex.size();
  }
  EXPECT_EQ(kav_test_re(literals(1024).c_str(), (literals(1023) + ".").c_str()), 1);
}

}  // namespace

// Differential test: kav_test_re against the C library's regcomp (basic syntax, REG_NOSUB) and
// regexec, on seeded random expressions and texts over a small alphabet.  The generator makes
// only expressions both read the same way; docs/porting.md ("Regular expressions and the C
// library's regcomp") lists what it leaves out and why: '*' after \), "\{" at the start or
// after a group, '^' and '$' in the middle, "\n", line feeds, GNU escapes, bracket names,
// reversed ranges, 8-bit characters, "**", more than nine groups, long repetitions.

#include <gtest/gtest.h>
#include <regex.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "kavutil.h"

namespace {

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  std::string Pattern() {
    opened_ = 0;
    closed_.clear();
    std::string out = Chance(3) ? "^" : "";
    if (Chance(8)) out += '*';  // a leading '*' is a literal for both
    Sequence(out, 0);
    if (Chance(3)) out += '$';
    return out;
  }

  std::string Text() {
    static const char kAlphabet[] = "aaabbbccc.*-]";
    std::string text;
    for (int n = Below(9); n > 0; --n) text += kAlphabet[Below(sizeof kAlphabet - 1)];
    return text;
  }

 private:
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool Chance(int n) { return Below(n) == 0; }

  void Sequence(std::string& out, int depth) {
    for (int n = 1 + Below(4); n > 0; --n) Item(out, depth);
  }

  void Item(std::string& out, int depth) {
    const int kind = Below(10);
    if (kind == 0 && depth < 2 && opened_ < 9) return Group(out, depth);
    if (kind == 1 && BackReference(out)) return;
    static const char* const kOneCharacter[] = {"a",     "b",      "c",    "a",    "b",
                                                ".",     "\\.",    "\\*",  "[ab]", "[^a]",
                                                "[a-c]", "[^b-c]", "[]a]", "[a-]", "[^-]"};
    out += kOneCharacter[Below(sizeof kOneCharacter / sizeof *kOneCharacter)];
    switch (Below(8)) {
      case 0:
      case 1:
        out += '*';
        break;
      case 2:
        out += "\\{" + std::to_string(Below(3)) + "\\}";
        break;
      case 3:
        out += "\\{" + std::to_string(Below(3)) + ",\\}";
        break;
      case 4: {
        const int least = Below(3);
        out += "\\{" + std::to_string(least) + "," + std::to_string(least + Below(3)) + "\\}";
        break;
      }
      default:
        break;
    }
  }

  void Group(std::string& out, int depth) {
    const int number = opened_++;
    out += "\\(";
    if (Chance(10)) out += '*';  // a literal right after \( for both
    Sequence(out, depth + 1);
    out += "\\)";
    closed_.push_back(number);
  }

  // \k needs k closed groups (kav) and group k itself closed (the C library).
  bool BackReference(std::string& out) {
    std::vector<int> usable;
    for (int number : closed_) {
      if (number < static_cast<int>(closed_.size())) usable.push_back(number);
    }
    if (usable.empty()) return false;
    out += '\\';
    out += static_cast<char>(
        '1' + usable[static_cast<std::size_t>(Below(static_cast<int>(usable.size())))]);
    if (Chance(3)) out += '*';
    return true;
  }

  std::mt19937 random_;
  int opened_ = 0;
  std::vector<int> closed_;
};

TEST(RegexpDiff, AgreesWithRegcompOnSharedConstructs) {
  Generator generator(20240611);
  int disagreements = 0;
  int cases = 0;
  int matches = 0;
  for (int p = 0; p < 20000 && disagreements < 20; ++p) {
    const std::string pattern = generator.Pattern();
    regex_t compiled;
    ASSERT_EQ(regcomp(&compiled, pattern.c_str(), REG_NOSUB), 0) << pattern;
    for (int t = 0; t < 8; ++t) {
      const std::string text = generator.Text();
      const int expected = regexec(&compiled, text.c_str(), 0, nullptr, 0) == 0 ? 1 : 0;
      ++cases;
      matches += expected;
      if (kav_test_re(text.c_str(), pattern.c_str()) != expected) {
        ++disagreements;
        ADD_FAILURE() << "pattern \"" << pattern << "\" text \"" << text << "\": regexec says "
                      << expected;
      }
    }
    regfree(&compiled);
  }
  // Both answers must be common, or the comparison says little.
  EXPECT_GT(matches, cases / 5);
  EXPECT_LT(matches, cases - cases / 5);
  std::printf("%d cases, %d matches\n", cases, matches);
}

}  // namespace

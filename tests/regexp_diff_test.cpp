// regexp_diff_test.cpp - kav_test_re (the linear matcher) on seeded random expressions and texts
// against the backtracking matcher it replaced, and on POSIX against regcomp/regexec (basic syntax)
// over the constructs both read the same way; docs/porting.md lists what that comparison leaves
// out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "kavutil.h"
#include "platform/memory.h"
#include "text/regexp.h"

#ifndef _WIN32
#include <regex.h>
#endif

namespace {

// Steps the reference may take: no more than kav_test_re allows an expression with
// back-references, so every case the reference decides, kav_test_re decides too.
constexpr std::uint64_t kReferenceSteps = 1000000;

// What to generate: the constructs (all, or only those regcomp reads as we do), whether with
// back-references, how many items a sequence has at most, how often an item is repeated (in
// percent), and how long texts are at most.
struct Shape {
  bool full_syntax, back_references;
  int items, repeat_percent, text_length;
};

class Generator {
 public:
  Generator(unsigned seed, Shape shape) : random_(seed), shape_(shape) {}

  std::string Pattern() {
    opened_ = 0;
    closed_.clear();
    std::string out = Chance(3) ? "^" : "";
    if (Chance(8)) out += '*';                           // a leading '*' is a literal for both
    if (shape_.full_syntax && Chance(20)) out += "\\{";  // and "\{" a literal '{' for kavutil
    Sequence(out, 0);
    if (Chance(3)) out += '$';
    if (shape_.full_syntax && Chance(40)) out += Pick({"\\(", "\\{", "[", "\\", "\nx"});
    return out;
  }

  // Random characters, or a short chunk of them repeated, with one character changed: runs
  // keep repetitions busy.
  std::string Text() {
    const std::string alphabet = shape_.full_syntax ? "aaabbbccc.*-]\xE9\n$^{" : "aaabbbccc.*-]";
    const auto random_char = [&] { return alphabet[Below(static_cast<int>(alphabet.size()))]; };
    const int length = Below(shape_.text_length + 1);
    std::string chunk(static_cast<std::size_t>(Chance(2) ? length : 1 + Below(3)), 'a');
    for (char& c : chunk) c = random_char();
    std::string text;
    while (static_cast<int>(text.size()) < length) text += chunk;
    if (!text.empty()) {
      text[static_cast<std::size_t>(Below(static_cast<int>(text.size())))] = random_char();
    }
    return text;
  }

 private:
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool Chance(int n) { return Below(n) == 0; }
  const char* Pick(std::initializer_list<const char*> choices) {
    return choices.begin()[Below(static_cast<int>(choices.size()))];
  }

  void Sequence(std::string& out, int depth) {
    for (int n = 1 + Below(shape_.items); n > 0; --n) Item(out, depth);
  }

  void Item(std::string& out, int depth) {
    const int kind = Below(10);
    if (kind == 0 && depth < 2 && opened_ < 9) return Group(out, depth);
    if (kind == 1 && shape_.back_references && BackReference(out)) return;
    out += Pick({"a", "b", "c", "a", "b", ".", "\\.", "\\*", "[ab]", "[^a]", "[a-c]", "[^b-c]",
                 "[]a]", "[a-]", "[^-]"});
    if (shape_.full_syntax && Chance(4)) {
      out += Pick({"\\n", "[\xE9-\xFF]", "[^\xE9]", "[z-a]", "[a-c-e]", "a$", "a^", "\\e"});
    }
    if (Below(100) < shape_.repeat_percent) Repetition(out);
  }

  void Repetition(std::string& out) {
    const int least = Below(3), form = Below(shape_.full_syntax ? 7 : 5);
    const std::string from = "\\{" + std::to_string(least);
    out += form < 2    ? "*"
           : form == 2 ? from + "\\}"
           : form == 3 ? from + ",\\}"
           : form == 4 ? from + "," + std::to_string(least + Below(3)) + "\\}"
           : form == 5 ? "**"
           : Chance(2) ? "\\{2,\\}*"
                       : "\\{" + std::to_string(Below(254)) + ",254\\}";
  }

  void Group(std::string& out, int depth) {
    const int number = opened_++;
    out += "\\(";
    if (Chance(10)) out += '*';  // a literal right after \( for both
    Sequence(out, depth + 1);
    out += "\\)";
    if (shape_.full_syntax && Chance(10)) out += '*';  // a literal after \) for kavutil
    closed_.push_back(number);
  }

  // \k needs k closed groups (kav) and, for the C library, group k itself closed; the full
  // syntax also refers to an enclosing group, which has no text yet.
  bool BackReference(std::string& out) {
    std::vector<int> usable;
    const int closed = static_cast<int>(closed_.size());
    for (int number = 0; number < closed && number < opened_; ++number) {
      const bool is_closed = std::find(closed_.begin(), closed_.end(), number) != closed_.end();
      if (is_closed || shape_.full_syntax) usable.push_back(number);
    }
    if (usable.empty()) return false;
    out += '\\';
    out += static_cast<char>(
        '1' + usable[static_cast<std::size_t>(Below(static_cast<int>(usable.size())))]);
    if (Chance(3)) out += '*';
    return true;
  }

  std::mt19937 random_;
  Shape shape_;
  int opened_ = 0;
  std::vector<int> closed_;
};

// Compares kav_test_re with reference(pattern, text), which answers 1, 0 or kUndecided, on
// generated cases.  Both answers must be common, or the comparison says little.
template <class Reference>
void Compare(const char* what, Shape shape, int patterns, int texts, Reference& reference) {
  Generator generator(20240611u, shape);
  int cases = 0, matches = 0, undecided = 0, disagreements = 0;
  for (int p = 0; p < patterns; ++p) {
    const std::string pattern = generator.Pattern();
    for (int t = 0; t < texts; ++t) {
      const std::string text = generator.Text();
      const int expected = reference(pattern, text);
      if (expected == kav::text::regexp::kUndecided) {
        ++undecided;
        continue;
      }
      ++cases;
      matches += expected;
      if (kav_test_re(text.c_str(), pattern.c_str()) == expected || ++disagreements > 20) continue;
      ADD_FAILURE() << what << ": pattern \"" << pattern << "\" text \"" << text << "\": expected "
                    << expected;
    }
  }
  std::printf("%s: %d cases, %d matches, %d undecided\n", what, cases, matches, undecided);
  EXPECT_GT(matches, cases / 10) << what;
  EXPECT_LT(matches, cases - cases / 10) << what;
  EXPECT_LT(undecided, cases / 10) << what;
}

TEST(RegexpDiff, LinearMatcherAgreesWithBacktracker) {
  const auto backtrack = [](const std::string& pattern, const std::string& text) {
    return kav::text::regexp::backtrack(text.c_str(), pattern.c_str(), kReferenceSteps);
  };
  Compare("short", {true, true, 4, 40, 12}, 6000, 8, backtrack);
  Compare("long star-heavy expressions", {true, true, 30, 90, 40}, 1500, 8, backtrack);
  Compare("long texts", {true, true, 3, 30, 300}, 1000, 8, backtrack);
}

// Without room for its position sets the linear matcher leaves the search to the backtracker
// (the fault sweep holds a match to it; here a back-reference and a text ruled out).
TEST(RegexpDiff, AnswersWithoutHeap) {
  const std::string as(3000, 'a');
  kav::platform::memory::fail_after(0);
  EXPECT_EQ(kav_test_re(as.c_str(), "^a*\\(a\\)\\1$"), 1);
  EXPECT_EQ(kav_test_re(as.c_str(), "^a*b"), 0);
  kav::platform::memory::fail_after(-1);
}

#ifndef _WIN32
// The C library's regexec follows every alternative at once too, so it also takes long texts
// and star-heavy expressions without back-references.
TEST(RegexpDiff, AgreesWithRegcompOnSharedConstructs) {
  struct {  // compiles each pattern once, for all its texts
    std::string pattern;
    regex_t compiled;
    bool compiled_ok = false;

    int operator()(const std::string& next, const std::string& text) {
      if (next != pattern || !compiled_ok) {
        if (compiled_ok) regfree(&compiled);
        pattern = next;
        compiled_ok = regcomp(&compiled, pattern.c_str(), REG_NOSUB) == 0;
        if (!compiled_ok) ADD_FAILURE() << "regcomp rejects " << pattern;
      }
      if (!compiled_ok) return kav::text::regexp::kUndecided;
      return regexec(&compiled, text.c_str(), 0, nullptr, 0) == 0 ? 1 : 0;
    }
  } regexec_answer;
  Compare("regcomp", {false, true, 4, 40, 8}, 20000, 8, regexec_answer);
  Compare("regcomp, long texts", {false, false, 12, 80, 3000}, 300, 4, regexec_answer);
  if (regexec_answer.compiled_ok) regfree(&regexec_answer.compiled);
}
#endif

}  // namespace

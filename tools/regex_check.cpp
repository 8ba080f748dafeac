// regex_check.cpp - reads an expression as the library's compiler does (text/regexp.cpp) and
// tells why it would not compile.  The library answers an expression it cannot compile by
// letting every text through, and keeps no other trace of the failure, so the tool repeats the
// compiler's rules: the pattern ends at its NUL or first line feed; a leading '^' anchors; '*'
// right after the start, "\(" or "\)" is a literal, and after a repeated item changes nothing;
// "\{" at the start is a literal and otherwise repeats only a one-character item, with counts
// below 255; "\1" needs one closed group, "\2" two...; at most 9 groups; and the compiled
// program, 1 byte per '.', '$' at the end and the end itself, 17 or 33 per class (33 when a
// character at or above 0x80 is in it) and 2 per anything else, fits in 2048 bytes.  The
// kav_regex_check test compares this with the compiler on random expressions.
#include "regex_check.h"

#include <cstddef>
#include <cstring>

namespace kav::tool {
namespace {

constexpr std::size_t kProgramSize = 2048;
constexpr int kGroupCount = 9;
constexpr int kCountLimit = 255;

// The item read last, which decides what a following '*' or "\{" means.
enum class Last { kNothing, kOneCharacter, kBackReference, kGroup, kRepeated };

class Checker {
 public:
  explicit Checker(const char *pattern) : pattern_(pattern), end_(std::strcspn(pattern, "\n")) {}

  std::string Check() {
    if (Peek() == '^') ++pos_;
    while (pos_ < end_ && error_.empty()) Item();
    if (open_ > 0) Fail("unmatched \\(");
    Use(Last::kNothing, 1);  // the end of the program
    return error_;
  }

 private:
  char Peek() const { return pos_ < end_ ? pattern_[pos_] : '\0'; }
  char Next() { return pos_ < end_ ? pattern_[pos_++] : '\0'; }

  void Fail(const char *why) {
    if (error_.empty()) error_ = why;
  }

  void Use(Last kind, std::size_t bytes) {
    last_ = kind;
    size_ += bytes;
    if (size_ > kProgramSize) Fail("expression too long (its program passes 2048 bytes)");
  }

  void Item() {
    switch (Next()) {
      case '.':
        return Use(Last::kOneCharacter, 1);
      case '*':
        if (last_ == Last::kNothing || last_ == Last::kGroup) return Use(Last::kOneCharacter, 2);
        last_ = Last::kRepeated;
        return;
      case '$':
        return pos_ < end_ ? Use(Last::kOneCharacter, 2) : Use(Last::kNothing, 1);
      case '[':
        return Class();
      case '\\':
        return Escape();
      default:
        return Use(Last::kOneCharacter, 2);
    }
  }

  void Escape() {
    if (pos_ == end_) return Fail("trailing backslash");
    const char c = Next();
    if (c == '(') {
      if (groups_ == kGroupCount) return Fail("more than 9 groups");
      ++groups_;
      ++open_;
      return Use(Last::kGroup, 2);
    }
    if (c == ')') {
      if (open_ == 0) return Fail("unmatched \\)");
      --open_;
      ++closed_;
      return Use(Last::kGroup, 2);
    }
    if (c == '{') return Interval();
    if (c >= '1' && c <= '9' && c - '1' >= closed_)
      return Fail("invalid back reference (\\N needs N groups closed before it)");
    Use(c >= '1' && c <= '9' ? Last::kBackReference : Last::kOneCharacter, 2);
  }

  void Interval() {
    if (last_ == Last::kNothing) return Use(Last::kOneCharacter, 2);
    if (last_ != Last::kOneCharacter)
      return Fail("\\{ after a group, a back reference or a repeated item");
    int least = 0, most = 0;
    bool valid = Count(least);
    most = least;
    if (valid && Peek() == ',') {
      ++pos_;
      if (Peek() != '\\') valid = Count(most) && most >= least;
    }
    if (!valid || Next() != '\\' || Next() != '}')
      return Fail("invalid interval (\\{M\\}, \\{M,\\} or \\{M,N\\}, 0 <= M <= N <= 254)");
    Use(Last::kRepeated, 2);
  }

  bool Count(int &count) {
    if (Peek() < '0' || Peek() > '9') return false;
    for (count = 0; Peek() >= '0' && Peek() <= '9';) {
      count = count * 10 + (Next() - '0');
      if (count >= kCountLimit) return false;
    }
    return true;
  }

  void Class() {
    if (Peek() == '^') ++pos_;
    bool eight_bit = false;
    for (bool first = true;; first = false) {
      const auto c = static_cast<unsigned char>(Next());
      if (c == '\0') return Fail("unmatched [");
      if (c == ']' && !first) break;
      unsigned char to = c;
      if (c == '-' && !first && Peek() != ']') {
        to = static_cast<unsigned char>(Next());
        if (to == '\0') return Fail("unmatched [");
      }
      eight_bit = eight_bit || to >= 0x80;
    }
    Use(Last::kOneCharacter, eight_bit ? 33 : 17);
  }

  const char *pattern_;
  std::size_t end_;
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  Last last_ = Last::kNothing;
  int groups_ = 0;
  int open_ = 0;
  int closed_ = 0;
  std::string error_;
};

}  // namespace

std::string regex_error(const char *regex) { return Checker(regex).Check(); }

}  // namespace kav::tool

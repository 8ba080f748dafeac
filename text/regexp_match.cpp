// regexp_match.cpp - the linear-time matcher of the regular expressions: a simulation of every
// backtracking attempt at once, which gives the backtracker's answer for every expression
// without back-references in time proportional to the program's size times the text's length.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "text/regexp.h"

namespace kav::text::regexp {
namespace {

// Follows every attempt at once.  The program has no jumps: each instruction is met once, in
// order, by every attempt, so what all attempts can reach is the set of text positions where
// some attempt stands before each instruction, computed from the set before the previous one
// in one pass over the text.  The text matches when the set before the end instruction is not
// empty.  That costs at most (instructions + 1) passes over the text, and the answer is the
// backtracker's: it too tries every way through, and without back-references nothing but the
// position decides whether the rest of the program can match.  A back-reference is taken as
// ".*" here, which finds every text the expression matches and some more, so the backtracker
// has to decide the texts that pass.
class Simulation {
 public:
  // `sets` holds 2 * (length + 1) bytes.
  Simulation(const Program& program, const unsigned char* text, std::size_t length,
             std::uint8_t* sets)
      : code_(program.code), text_(text), length_(length), in_(sets), out_(sets + length + 1) {}

  bool Run(bool anchored) {
    std::memset(in_, 0, 2 * (length_ + 1));
    hi_ = length_;
    if (anchored) Start(0);
    for (std::size_t pc = 0; lo_ <= hi_;) {
      const std::uint8_t* instruction = code_ + pc;
      switch (instruction[0] & kOpcodeBits) {
        case kEnd:
          return true;
        case kEndOfText:
          if (hi_ == length_ && In(length_)) Reach(length_);
          pc += 1;
          break;
        case kBackReference:
          AnyRun();
          pc += 2;
          break;
        case kGroupStart:
        case kGroupEnd:
        case kOpenGroupReference:
          pc += 2;
          continue;  // the set stays as it is
        default:
          pc += OneCharacter(instruction);
          break;
      }
      NextSet();
    }
    return false;
  }

 private:
  void Start(std::size_t position) {
    full_ = position == length_;
    in_written_ = true;
    lo_ = hi_ = position;
    in_[position] = 1;
  }

  bool In(std::size_t p) const { return full_ || in_[p]; }

  // Steps over one one-character instruction, plain or repeated; gives its size in bytes.
  std::size_t OneCharacter(const std::uint8_t* instruction) {
    const std::size_t size = one_character_size(instruction[0]);
    if (full_ && instruction[0] == kLiteral) {
      FindLiteral(instruction[1]);
      return size;
    }
    if ((instruction[0] & (kStarMark | kIntervalMark)) == 0) {
      with_test(instruction, [this](auto matches) {
        for (std::size_t p = lo_; p <= hi_ && p < length_; ++p) {
          if (In(p) && matches(text_[p])) Reach(p + 1);
        }
      });
      return size;
    }
    if (instruction[0] == (kAny | kStarMark)) {
      AnyRun();
      return size;
    }
    if (full_ && (instruction[0] & kStarMark)) {
      AnyRun();  // a star keeps every position, and the set holds all of them from lo_ on
      return size;
    }
    std::size_t least = 0;
    std::size_t most = 0;
    repeat_counts(instruction, size, least, most);
    with_test(instruction, [&](auto matches) { Repeat(matches, least, most); });
    return instruction[0] & kIntervalMark ? size + 2 : size;
  }

  // A literal over a full set reaches the position after each of its occurrences.
  void FindLiteral(unsigned char c) {
    const unsigned char* end = text_ + length_;
    for (const unsigned char* at = text_ + lo_; at < end; ++at) {
      at =
          static_cast<const unsigned char*>(std::memchr(at, c, static_cast<std::size_t>(end - at)));
      if (at == nullptr) return;
      Reach(static_cast<std::size_t>(at - text_) + 1);
    }
  }

  // ".*" from the first position of the set reaches every position from there to the end.
  // The positions are not written: a full set needs no bytes.
  void AnyRun() {
    full_next_ = true;
    next_lo_ = lo_;
    next_hi_ = length_;
  }

  // Reaches q when some p of the set lies in [q - most, q - least] and the characters from p
  // up to q all match.  The newest such p is the one to look at: it is the last to leave that
  // window.
  template <class Test>
  void Repeat(Test matches, std::size_t least, std::size_t most) {
    std::size_t newest = kNone;   // the greatest p of the set not above q - least
    std::size_t run_start = lo_;  // characters from here up to q all match
    for (std::size_t q = lo_; q <= length_; ++q) {
      if (q > lo_ && !matches(text_[q - 1])) run_start = q;
      if (q >= lo_ + least && q - least <= hi_ && In(q - least)) newest = q - least;
      if (newest != kNone && newest >= run_start && q - newest <= most) {
        Reach(q);
      } else if (q >= hi_ + least) {
        break;  // no p is left to enter the window
      }
    }
  }

  // Positions are reached in increasing order within a step.
  void Reach(std::size_t q) {
    out_[q] = 1;
    if (next_lo_ == kNone) next_lo_ = q;
    next_hi_ = q;
    ++reached_;
  }

  // The reached positions become the set, full when they run without a gap to the end; the
  // old set is cleared for the next step to fill.
  void NextSet() {
    if (in_written_ && lo_ <= hi_) std::memset(in_ + lo_, 0, hi_ - lo_ + 1);
    std::swap(in_, out_);
    in_written_ = !full_next_;
    full_ = full_next_ || (next_hi_ == length_ && reached_ == length_ - next_lo_ + 1);
    lo_ = next_lo_ == kNone ? 1 : next_lo_;
    hi_ = next_lo_ == kNone ? 0 : next_hi_;
    full_next_ = false;
    next_lo_ = kNone;
    next_hi_ = 0;
    reached_ = 0;
  }

  static constexpr std::size_t kNone = SIZE_MAX;
  const std::uint8_t* code_;
  const unsigned char* text_;
  std::size_t length_;
  // The set before the current instruction, one byte per position, and the one after it,
  // being filled.  A full set holds every position from lo_ to the end, its bytes written or
  // not (in_written_).
  std::uint8_t* in_;
  std::uint8_t* out_;
  bool full_ = true, in_written_ = false, full_next_ = false;
  std::size_t lo_ = 0, hi_ = 0;  // the set is empty outside [lo_, hi_]; lo_ > hi_: all empty
  std::size_t next_lo_ = kNone, next_hi_ = 0, reached_ = 0;
};

}  // namespace

bool simulate(const Program& program, const unsigned char* text, std::size_t length,
              std::uint8_t* sets) {
  return Simulation(program, text, length, sets).Run(program.anchored);
}

}  // namespace kav::text::regexp

// regexp_backtrack.cpp - the backtracking matcher of the regular expressions: the reference
// whose answers the simulation reproduces, and the only stage that decides back-references.
// It tries the program at each text position, takes as much as a repeated instruction can and
// gives it back one character at a time, for at most a given number of steps.

#include <cstddef>
#include <cstdint>

#include "text/regexp.h"

namespace kav::text::regexp {
namespace {

bool MatchesOne(const std::uint8_t* instruction, unsigned char c) {
  bool result = false;
  with_test(instruction, [&](auto matches) { result = matches(c); });
  return result;
}

// Runs a Program against one text by backtracking, for at most a given number of steps.  Group
// positions live here, per call.  The recursion nests once per repeated instruction, so its
// depth is bounded by the program's size, never by the text's length.
class Backtracker {
 public:
  Backtracker(const Program& program, std::uint64_t max_steps)
      : code_(program.code), steps_left_(max_steps) {}

  // 1, 0 or kUndecided when the steps ran out.
  int Search(const unsigned char* text, bool anchored) {
    const bool found = Attempts(text, anchored);
    return exhausted_ ? kav::text::regexp::kUndecided : found ? 1 : 0;
  }

 private:
  bool Attempts(const unsigned char* text, bool anchored) {
    // After a leading ".*" the attempt at the start already tries the rest of the program at
    // every later position, so attempts further on could only repeat its failures.
    if (anchored || code_[0] == (kAny | kStarMark)) return MatchHere(0, text);
    if (code_[0] == kLiteral) {  // only positions holding that character can match
      const unsigned char first = code_[1];
      for (const unsigned char* at = text; *at != '\0' && !exhausted_; ++at) {
        if (*at == first && MatchHere(0, at)) return true;
      }
      return false;
    }
    for (const unsigned char* at = text; !exhausted_; ++at) {
      if (MatchHere(0, at)) return true;
      if (*at == '\0') return false;
    }
    return false;
  }

  bool Spend(std::size_t steps) {
    if (steps <= steps_left_) {
      steps_left_ -= steps;
      return true;
    }
    exhausted_ = true;
    return false;
  }

  std::size_t GroupLength(int group) const {
    const unsigned char* start = group_start_[group];
    const unsigned char* end = group_end_[group];
    return start != nullptr && end != nullptr && end > start ? static_cast<std::size_t>(end - start)
                                                             : 0;
  }

  // The text at `at` continues with the group's text; the comparison stops at the first
  // difference, so it never reads past the text's NUL.
  bool RepeatsGroup(const unsigned char* at, int group, std::size_t length) {
    const unsigned char* copy = group_start_[group];
    std::size_t same = 0;
    while (same < length && at[same] == copy[same]) ++same;
    return Spend(same) && same == length;
  }

  bool MatchHere(std::size_t pc, const unsigned char* at) {
    for (;;) {
      if (!Spend(1)) return false;
      const std::uint8_t* instruction = code_ + pc;
      const std::uint8_t opcode = instruction[0];
      switch (opcode & kOpcodeBits) {
        case kEnd:
          return true;
        case kEndOfText:
          if (*at != '\0') return false;
          pc += 1;
          continue;
        case kGroupStart:
          group_start_[instruction[1]] = at;
          pc += 2;
          continue;
        case kGroupEnd:
          group_end_[instruction[1]] = at;
          pc += 2;
          continue;
        case kOpenGroupReference:
          pc += 2;
          continue;
        case kBackReference: {
          const int group = instruction[1];
          const std::size_t length = GroupLength(group);
          if (opcode & kStarMark) return MatchCopies(pc + 2, at, group, length);
          if (!RepeatsGroup(at, group, length)) return false;
          at += length;
          pc += 2;
          continue;
        }
        default:
          break;
      }
      const std::size_t size = one_character_size(opcode);
      if (opcode & (kStarMark | kIntervalMark)) {
        std::size_t least = 0;
        std::size_t most = 0;
        repeat_counts(instruction, size, least, most);
        const std::size_t next = pc + size + (opcode & kIntervalMark ? 2 : 0);
        return MatchRepeated(instruction, next, at, least, most);
      }
      if (!MatchesOne(instruction, *at)) return false;
      ++at;
      pc += size;
    }
  }

  // Takes up to `most` characters matching `instruction`, at least `least`, then gives them
  // back one at a time until the rest of the program (at `next`) matches.
  bool MatchRepeated(const std::uint8_t* instruction, std::size_t next, const unsigned char* at,
                     std::size_t least, std::size_t most) {
    std::size_t count = 0;
    while (count < most && MatchesOne(instruction, at[count])) ++count;
    if (count < least || !Spend(count)) return false;
    for (;; --count) {
      if (MatchHere(next, at + count)) return true;
      if (count == least || exhausted_) return false;
    }
  }

  // A starred back-reference: as many whole copies of the group's text as follow, given back
  // one copy at a time.
  bool MatchCopies(std::size_t next, const unsigned char* at, int group, std::size_t length) {
    if (length == 0) return MatchHere(next, at);
    const unsigned char* end = at;
    while (RepeatsGroup(end, group, length)) end += length;
    for (; !exhausted_; end -= length) {
      if (MatchHere(next, end)) return true;
      if (end == at) return false;
    }
    return false;
  }

  const std::uint8_t* code_;
  std::uint64_t steps_left_;
  bool exhausted_ = false;
  const unsigned char* group_start_[kGroupCount] = {};
  const unsigned char* group_end_[kGroupCount] = {};
};

}  // namespace

int run_backtracker(const Program& program, const unsigned char* text, std::uint64_t max_steps) {
  return Backtracker(program, max_steps).Search(text, program.anchored);
}

}  // namespace kav::text::regexp

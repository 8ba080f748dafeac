// regexp.h - the regular-expression internals: the byte program that the compiler
// (regexp_compile.cpp) writes and both matchers read, the simulation (regexp_match.cpp) and the
// backtracker (regexp_backtrack.cpp); and what tests and the fuzzer reach: the compiler's
// verdict and its reason, and the backtracking matcher on its own, which kav_test_re uses only
// for expressions with back-references and which the tests keep as the reference for the
// linear matcher.
//
// A program holds at most 2048 bytes, end instruction included.  Each instruction is an opcode
// byte followed by its operands:
//
//   literal c        2 bytes       group start g    2 bytes
//   any character    1 byte        group end g      2 bytes
//   7-bit class     17 bytes       back-reference   2 bytes
//   8-bit class     33 bytes       end of text      1 byte
//                                  end of program   1 byte
//
// A one-character instruction (literal, any, class) may carry a star mark or an interval mark
// in its opcode; an interval adds two bytes, the least and the greatest count (255: no upper
// bound).  A back-reference may carry the star mark.  Class bit maps hold bit c in bit c % 8 of
// byte c / 8; a negated class is stored complemented, without NUL.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kav::text::regexp {

// The answer of a search that ran out of steps.
inline constexpr int kUndecided = -1;

// Compiles regex as kav_test_re does and searches text with the backtracking matcher alone,
// giving up after max_steps steps (an instruction run, a character taken or compared).
// 1: a match, or an expression that is null, empty or does not compile; 0: no match;
// kUndecided: the steps ran out first.
int backtrack(const char* text, const char* regex, std::uint64_t max_steps);

// Null when kav_test_re compiles regex (not null); else why it does not, in the words grep
// would use ("unmatched [", "trailing backslash", ...), a static text.  kav_test_re lets every
// text through an expression it cannot compile; the kav tool refuses one with this reason.
const char* compile_error(const char* regex);

// The program.

inline constexpr std::size_t kProgramSize = 2048;
inline constexpr int kGroupCount = 9;
inline constexpr std::uint8_t kOpenBound = 255;  // interval maximum: no upper bound
// The most characters an open interval takes past its least.
inline constexpr std::size_t kOpenExtra = 20000;

enum Opcode : std::uint8_t {
  kEnd,
  kLiteral,
  kAny,
  kClass7,
  kClass7Negated,
  kClass8,
  kEndOfText,
  kGroupStart,
  kGroupEnd,
  kBackReference,
  kOpenGroupReference,  // a back-reference inside the group it names
};
inline constexpr std::uint8_t kStarMark = 0x40;
inline constexpr std::uint8_t kIntervalMark = 0x80;
inline constexpr std::uint8_t kOpcodeBits = 0x3F;

struct Program {
  std::uint8_t code[kProgramSize];
  std::size_t size = 0;
  bool anchored = false;
  bool has_back_references = false;  // of a closed group: an open one's is the empty text
};

// The size of a one-character instruction, without its interval counts.
inline std::size_t one_character_size(std::uint8_t opcode) {
  switch (opcode & kOpcodeBits) {
    case kAny:
      return 1;
    case kClass7:
    case kClass7Negated:
      return 17;
    case kClass8:
      return 33;
    default:
      return 2;  // literal
  }
}

inline bool in_map(const std::uint8_t* map, unsigned char c) { return (map[c / 8] >> (c % 8)) & 1; }

// Calls use(matches) with the test of one character against a one-character instruction, as a
// function object of its own kind, so that loops over the text inline it.
template <class Use>
void with_test(const std::uint8_t* instruction, Use use) {
  const std::uint8_t* map = instruction + 1;
  switch (instruction[0] & kOpcodeBits) {
    case kLiteral:
      return use([c = instruction[1]](unsigned char x) { return x == c; });
    case kAny:
      return use([](unsigned char x) { return x != '\0'; });
    case kClass7:
      return use([map](unsigned char x) { return x < 0x80 && in_map(map, x); });
    case kClass7Negated:
      return use([map](unsigned char x) { return x >= 0x80 || in_map(map, x); });
    default:  // kClass8
      return use([map](unsigned char x) { return in_map(map, x); });
  }
}

// The least and greatest count of a repeated one-character instruction of `size` bytes.
inline void repeat_counts(const std::uint8_t* instruction, std::size_t size, std::size_t& least,
                          std::size_t& most) {
  least = 0;
  most = SIZE_MAX;
  if (instruction[0] & kStarMark) return;
  least = instruction[size];
  most = instruction[size + 1] == kOpenBound ? least + kOpenExtra : instruction[size + 1];
}

// The stages.

// Reads regex (up to its NUL or its first line feed) into program; false when it does not
// compile.
bool compile(const char* regex, Program& program);

// Whether some attempt of the backtracker could match text (length bytes, without its NUL); a
// back-reference counts as ".*".  `sets` is working room of 2 * (length + 1) bytes.
bool simulate(const Program& program, const unsigned char* text, std::size_t length,
              std::uint8_t* sets);

// The backtracker's answer for text, within max_steps steps: 1, 0 or kUndecided.
int run_backtracker(const Program& program, const unsigned char* text, std::uint64_t max_steps);

}  // namespace kav::text::regexp

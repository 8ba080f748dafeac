// regexp.cpp - wildcard filters and the basic regular expressions of the classic line editor.
//
// kav_setup_regexp turns a file-name wildcard into an expression: '*' becomes ".*", '?' becomes
// '.', a dot is escaped, a backslash carries the next character over unchanged, and the
// expression is anchored with '^' unless the wildcard begins with '*'.
//
// kav_test_re compiles the expression into a byte program of at most 2048 bytes, end
// instruction included, and runs it against the text.  Each instruction is an opcode byte
// followed by its operands:
//
//   literal c        2 bytes       group start g    2 bytes
//   any character    1 byte        group end g      2 bytes
//   7-bit class     17 bytes       back-reference   2 bytes
//   8-bit class     33 bytes       end of text      1 byte
//                                  end of program   1 byte
//
// A one-character instruction (literal, any, class) may carry a star mark or an interval mark
// in its opcode; an interval adds two bytes, the least and the greatest count (255: no upper
// bound).  A back-reference may carry the star mark.  Every write into the program checks the
// room left first, so no pattern can overflow it.  Class bit maps hold bit c in bit c % 8 of
// byte c / 8; a negated class is stored complemented, without NUL.
//
// The answer is the backtracking matcher's: the program is tried at each text position up to
// and including the terminating NUL (only at the start when the expression begins with '^'); a
// repeated instruction takes as many characters as it can, then gives them back one at a time,
// trying the rest of the program after each.  Backtracking takes time to the power of the
// repetitions, so the program is first run as a simulation of every attempt at once, in time
// proportional to its size times the text's length; that answers every expression without
// back-references.  For one with them, the backtracker runs only when the simulation has not
// ruled the text out, and for a bounded number of steps (a text it cannot decide in time is let
// through, as an invalid expression lets every text through).  Each call compiles into its own
// buffer and keeps its state on the stack (or, for long texts, the heap), so nothing survives
// from one call to the next.

#include "text/regexp.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "kavutil.h"
#include "platform/memory.h"

namespace {

constexpr std::size_t kProgramSize = 2048;
constexpr int kGroupCount = 9;
constexpr int kCountLimit = 255;           // interval counts are 0-254
constexpr std::uint8_t kOpenBound = 255;   // interval maximum: no upper bound
constexpr std::size_t kOpenExtra = 20000;  // most characters an open interval takes past its least
constexpr std::uint64_t kStepAllowance = 1000000;  // backtracking steps any search may take

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
constexpr std::uint8_t kStarMark = 0x40;
constexpr std::uint8_t kIntervalMark = 0x80;
constexpr std::uint8_t kOpcodeBits = 0x3F;

struct Program {
  std::uint8_t code[kProgramSize];
  std::size_t size = 0;
  bool anchored = false;
  bool has_back_references = false;  // of a closed group: an open one's is the empty text
};

std::size_t OneCharacterSize(std::uint8_t opcode) {
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

bool InMap(const std::uint8_t* map, unsigned char c) { return (map[c / 8] >> (c % 8)) & 1; }

void AddToMap(std::uint8_t* map, unsigned char c) {
  map[c / 8] = static_cast<std::uint8_t>(map[c / 8] | (1u << (c % 8)));
}

// Reads a pattern into a Program.  The pattern ends at its NUL or at its first line feed.
class Compiler {
 public:
  Compiler(const char* pattern, Program& program)
      : pattern_(pattern), end_(std::strcspn(pattern, "\n")), program_(program) {}

  bool Compile() {
    program_.size = 0;
    program_.anchored = Peek() == '^';
    if (program_.anchored) ++pos_;
    while (pos_ < end_) {
      if (!CompileItem()) return false;
    }
    if (open_count_ != 0) return Fail("unmatched \\(");
    return Emit(kEnd);
  }

  // Why the pattern did not compile, in the words grep would use; null when it did.
  const char* error() const { return error_; }

 private:
  // The item compiled last, which decides what a following '*' or "\{" means.
  enum class Last { kNothing, kOneCharacter, kBackReference, kGroup, kRepeated };

  char Peek() const { return pos_ < end_ ? pattern_[pos_] : '\0'; }

  char Next() { return pos_ < end_ ? pattern_[pos_++] : '\0'; }

  bool Fail(const char* why) {
    error_ = why;
    return false;
  }

  bool HasRoom(std::size_t bytes) {
    return program_.size + bytes <= kProgramSize ||
           Fail("expression too long (its program passes 2048 bytes)");
  }

  bool Emit(std::uint8_t byte) {
    if (!HasRoom(1)) return false;
    program_.code[program_.size++] = byte;
    return true;
  }

  bool Emit(std::uint8_t opcode, std::uint8_t operand) {
    if (!HasRoom(2)) return false;
    program_.code[program_.size++] = opcode;
    program_.code[program_.size++] = operand;
    return true;
  }

  bool EmitRepeatable(Last kind, std::uint8_t opcode, std::uint8_t operand) {
    last_ = kind;
    last_at_ = program_.size;
    return opcode == kAny ? Emit(opcode) : Emit(opcode, operand);
  }

  bool EmitLiteral(char c) {
    return EmitRepeatable(Last::kOneCharacter, kLiteral, static_cast<std::uint8_t>(c));
  }

  bool CompileItem() {
    const char c = Next();
    switch (c) {
      case '.':
        return EmitRepeatable(Last::kOneCharacter, kAny, 0);
      case '*':
        return CompileStar();
      case '$':
        if (pos_ < end_) return EmitLiteral(c);
        last_ = Last::kNothing;
        return Emit(kEndOfText);
      case '[':
        return CompileClass();
      case '\\':
        return CompileEscape();
      default:
        return EmitLiteral(c);
    }
  }

  bool CompileStar() {
    switch (last_) {
      case Last::kNothing:  // at the start, or right after \( or \)
      case Last::kGroup:
        return EmitLiteral('*');
      case Last::kOneCharacter:
      case Last::kBackReference:
        program_.code[last_at_] |= kStarMark;
        last_ = Last::kRepeated;
        return true;
      case Last::kRepeated:  // "a**" is "a*"; a '*' after an interval changes nothing either
        return true;
    }
    return false;
  }

  bool CompileEscape() {
    // A pattern ending in a single backslash (or a backslash before the line feed that ends
    // the pattern) is rejected: there is no character for it to escape.
    if (pos_ == end_) return Fail("trailing backslash");
    const char c = Next();
    switch (c) {
      case '(':
        return OpenGroup();
      case ')':
        return CloseGroup();
      case '{':
        return CompileInterval();
      case 'n':
        return EmitLiteral('\n');
      default:
        if (c >= '1' && c <= '9') return EmitBackReference(c - '1');
        return EmitLiteral(c);
    }
  }

  bool OpenGroup() {
    if (next_group_ == kGroupCount) return Fail("more than 9 groups");
    open_[open_count_++] = next_group_;
    last_ = Last::kGroup;
    return Emit(kGroupStart, next_group_++);
  }

  bool CloseGroup() {
    if (open_count_ == 0) return Fail("unmatched \\)");
    ++closed_count_;
    last_ = Last::kGroup;
    return Emit(kGroupEnd, open_[--open_count_]);
  }

  bool IsOpen(int group) const {
    for (int i = 0; i < open_count_; ++i) {
      if (open_[i] == group) return true;
    }
    return false;
  }

  // \1 needs one closed group, \2 two, and so on.  A reference to a group that encloses it
  // (possible once enough inner groups have closed) has no text yet and matches the empty text.
  bool EmitBackReference(int group) {
    if (group >= closed_count_)
      return Fail("invalid back reference (\\N needs N groups closed before it)");
    program_.has_back_references = program_.has_back_references || !IsOpen(group);
    last_ = Last::kBackReference;
    last_at_ = program_.size;
    return Emit(IsOpen(group) ? kOpenGroupReference : kBackReference,
                static_cast<std::uint8_t>(group));
  }

  // "\{" repeats only a one-character expression.  At the start it is a literal '{'.  Right
  // after \(, \) or a back-reference, or after an item that is already repeated, it is rejected:
  // an instruction carries one repetition mark, and groups and references take no interval.
  bool CompileInterval() {
    if (last_ == Last::kNothing) return EmitLiteral('{');
    if (last_ != Last::kOneCharacter)
      return Fail("\\{ after a group, a back reference or a repeated item");
    int least = 0;
    if (!ReadCount(least)) return BadInterval();
    int most = least;
    if (Peek() == ',') {
      ++pos_;
      if (Peek() == '\\') {
        most = kOpenBound;
      } else if (!ReadCount(most) || most < least) {
        return BadInterval();
      }
    }
    if (Next() != '\\' || Next() != '}') return BadInterval();
    if (!HasRoom(2)) return false;
    program_.code[last_at_] |= kIntervalMark;
    last_ = Last::kRepeated;
    return Emit(static_cast<std::uint8_t>(least), static_cast<std::uint8_t>(most));
  }

  bool BadInterval() {
    return Fail("invalid interval (\\{M\\}, \\{M,\\} or \\{M,N\\}, 0 <= M <= N <= 254)");
  }

  bool ReadCount(int& count) {
    if (Peek() < '0' || Peek() > '9') return false;
    count = 0;
    while (Peek() >= '0' && Peek() <= '9') {
      count = count * 10 + (Next() - '0');
      if (count >= kCountLimit) return false;
    }
    return true;
  }

  bool CompileClass() {
    const bool negated = Peek() == '^';
    if (negated) ++pos_;
    std::uint8_t map[32] = {};
    bool eight_bit = false;
    unsigned char previous = 0;
    for (bool first = true;; first = false) {
      const auto c = static_cast<unsigned char>(Next());
      if (c == '\0') return Fail("unmatched [");
      if (c == ']' && !first) break;
      unsigned char from = c;
      unsigned char to = c;
      if (c == '-' && !first && Peek() != ']') {
        to = static_cast<unsigned char>(Next());
        if (to == '\0') return Fail("unmatched [");
        from = previous < to ? previous : to;
      }
      for (unsigned m = from; m <= to; ++m) AddToMap(map, static_cast<unsigned char>(m));
      eight_bit = eight_bit || to >= 0x80;
      previous = to;
    }
    return EmitClass(map, eight_bit, negated);
  }

  bool EmitClass(std::uint8_t* map, bool eight_bit, bool negated) {
    const std::size_t map_size = eight_bit ? 32 : 16;
    if (!HasRoom(1 + map_size)) return false;
    if (negated) {
      for (std::size_t i = 0; i < map_size; ++i) map[i] = static_cast<std::uint8_t>(~map[i]);
      map[0] &= 0xFE;  // never NUL
    }
    last_ = Last::kOneCharacter;
    last_at_ = program_.size;
    program_.code[program_.size++] = eight_bit ? kClass8 : negated ? kClass7Negated : kClass7;
    std::memcpy(program_.code + program_.size, map, map_size);
    program_.size += map_size;
    return true;
  }

  const char* pattern_;
  const char* error_ = nullptr;
  std::size_t end_;
  std::size_t pos_ = 0;
  Program& program_;
  Last last_ = Last::kNothing;
  std::size_t last_at_ = 0;
  std::uint8_t open_[kGroupCount] = {};
  int open_count_ = 0;
  std::uint8_t next_group_ = 0;
  int closed_count_ = 0;
};

// Calls use(matches) with the test of one character against a one-character instruction, as a
// function object of its own kind, so that loops over the text inline it.
template <class Use>
void WithTest(const std::uint8_t* instruction, Use use) {
  const std::uint8_t* map = instruction + 1;
  switch (instruction[0] & kOpcodeBits) {
    case kLiteral:
      return use([c = instruction[1]](unsigned char x) { return x == c; });
    case kAny:
      return use([](unsigned char x) { return x != '\0'; });
    case kClass7:
      return use([map](unsigned char x) { return x < 0x80 && InMap(map, x); });
    case kClass7Negated:
      return use([map](unsigned char x) { return x >= 0x80 || InMap(map, x); });
    default:  // kClass8
      return use([map](unsigned char x) { return InMap(map, x); });
  }
}

bool MatchesOne(const std::uint8_t* instruction, unsigned char c) {
  bool result = false;
  WithTest(instruction, [&](auto matches) { result = matches(c); });
  return result;
}

// The least and greatest count of a repeated one-character instruction of `size` bytes.
void RepeatCounts(const std::uint8_t* instruction, std::size_t size, std::size_t& least,
                  std::size_t& most) {
  least = 0;
  most = SIZE_MAX;
  if (instruction[0] & kStarMark) return;
  least = instruction[size];
  most = instruction[size + 1] == kOpenBound ? least + kOpenExtra : instruction[size + 1];
}

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
    const std::size_t size = OneCharacterSize(instruction[0]);
    if (full_ && instruction[0] == kLiteral) {
      FindLiteral(instruction[1]);
      return size;
    }
    if ((instruction[0] & (kStarMark | kIntervalMark)) == 0) {
      WithTest(instruction, [this](auto matches) {
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
    RepeatCounts(instruction, size, least, most);
    WithTest(instruction, [&](auto matches) { Repeat(matches, least, most); });
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
    return exhausted_ ? kav::regexp::kUndecided : found ? 1 : 0;
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
      const std::size_t size = OneCharacterSize(opcode);
      if (opcode & (kStarMark | kIntervalMark)) {
        std::size_t least = 0;
        std::size_t most = 0;
        RepeatCounts(instruction, size, least, most);
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

// Two position sets for the simulation: on the stack for texts of the length of a name or a
// line (up to 511 characters), from the heap beyond.  `data` is null when the heap has no room.
class PositionSets {
 public:
  explicit PositionSets(std::size_t length) {
    if (length >= SIZE_MAX / 2) return;  // the size would not fit a size_t
    const std::size_t bytes = 2 * (length + 1);
    data_ =
        bytes <= sizeof local_ ? local_ : static_cast<std::uint8_t*>(kav::memory::allocate(bytes));
  }
  ~PositionSets() {
    if (data_ != local_) kav::memory::release(data_);
  }
  PositionSets(const PositionSets&) = delete;
  PositionSets& operator=(const PositionSets&) = delete;

  std::uint8_t* data() const { return data_; }

 private:
  std::uint8_t local_[1024];
  std::uint8_t* data_ = nullptr;
};

// The backtracker's budget for expressions with back-references, which can take time
// exponential in their number: a fixed allowance (about a millisecond) plus, for long texts, one
// step for each cell of the simulation, one per program byte and text position.  So every call
// costs time linear in the program's size times the text's length.
std::uint64_t StepBudget(const Program& program, std::size_t length) {
  return kStepAllowance + program.size * (static_cast<std::uint64_t>(length) + 1);
}

// The simulation answers expressions without back-references, and rules out the texts that an
// expression with them cannot match; the backtracker decides the rest within its budget, or
// when the heap has no room for the simulation.  A search that runs out of steps lets the text
// through, as an expression that does not compile does.
int Decide(const Program& program, const unsigned char* text) {
  const std::size_t length = std::strlen(reinterpret_cast<const char*>(text));
  {
    const PositionSets sets(length);
    if (sets.data() != nullptr) {
      const bool possible = Simulation(program, text, length, sets.data()).Run(program.anchored);
      if (!possible || !program.has_back_references) return possible ? 1 : 0;
    }
  }
  const int answer =
      Backtracker(program, StepBudget(program, length)).Search(text, program.anchored);
  return answer == kav::regexp::kUndecided ? 1 : answer;
}

// A null text is taken as the empty text.
const unsigned char* Subject(const char* text) {
  return reinterpret_cast<const unsigned char*>(text == nullptr ? "" : text);
}

}  // namespace

extern "C" KAV_API int KAV_CALL kav_setup_regexp(const char* wildcard, char* regex) KAV_NOEXCEPT {
  if (regex == nullptr) return 1;
  char* out = regex;
  for (const char* p = wildcard == nullptr ? "" : wildcard; *p != '\0'; ++p) {
    if (*p != '*' && out == regex) *out++ = '^';
    switch (*p) {
      case '*':
        *out++ = '.';
        *out++ = '*';
        break;
      case '.':
        *out++ = '\\';
        *out++ = '.';
        break;
      case '?':
        *out++ = '.';
        break;
      case '\\':
        *out++ = '\\';
        if (p[1] != '\0') *out++ = *++p;
        break;
      default:
        *out++ = *p;
        break;
    }
  }
  *out = '\0';
  return 1;
}

extern "C" KAV_API int KAV_CALL kav_test_re(const char* text, const char* regex) KAV_NOEXCEPT {
  if (regex == nullptr || regex[0] == '\0') return 1;
  Program program;
  if (!Compiler(regex, program).Compile()) return 1;
  return Decide(program, Subject(text));
}

int kav::regexp::backtrack(const char* text, const char* regex, std::uint64_t max_steps) {
  if (regex == nullptr || regex[0] == '\0') return 1;
  Program program;
  if (!Compiler(regex, program).Compile()) return 1;
  return Backtracker(program, max_steps).Search(Subject(text), program.anchored);
}

const char* kav::regexp::compile_error(const char* regex) {
  Program program;
  Compiler compiler(regex, program);
  return compiler.Compile() ? nullptr : compiler.error();
}

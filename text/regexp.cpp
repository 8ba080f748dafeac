// regexp.cpp - wildcard filters and the basic regular expressions of the classic line editor.
//
// kav_setup_regexp turns a file-name wildcard into an expression: '*' becomes ".*", '?' becomes
// '.', a dot is escaped, a backslash carries the next character over unchanged, and the
// expression is anchored with '^' unless the wildcard begins with '*'.
//
// kav_test_re compiles the expression into a byte program of at most 2048 bytes, end
// instruction included, and runs a backtracking matcher over it.  Each instruction is an opcode
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
// bound).  A back-reference may carry the star mark.  Every write into the program checks the
// room left first, so no pattern can overflow it.  Class bit maps hold bit c in bit c % 8 of
// byte c / 8; a negated class is stored complemented, without NUL.
//
// The matcher tries the program at each text position up to and including the terminating NUL
// (only at the start when the expression begins with '^').  A repeated instruction takes as
// many characters as it can, then gives them back one at a time, trying the rest of the program
// after each; the first success answers.  Each call compiles into its own buffer and keeps its
// group positions on the stack, so nothing survives from one call to the next.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kavutil.h"

namespace {

constexpr std::size_t kProgramSize = 2048;
constexpr int kGroupCount = 9;
constexpr int kCountLimit = 255;           // interval counts are 0-254
constexpr std::uint8_t kOpenBound = 255;   // interval maximum: no upper bound
constexpr std::size_t kOpenExtra = 20000;  // most characters an open interval takes past its least

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
    return open_count_ == 0 && Emit(kEnd);
  }

 private:
  // The item compiled last, which decides what a following '*' or "\{" means.
  enum class Last { kNothing, kOneCharacter, kBackReference, kGroup, kRepeated };

  char Peek() const { return pos_ < end_ ? pattern_[pos_] : '\0'; }

  char Next() { return pos_ < end_ ? pattern_[pos_++] : '\0'; }

  bool HasRoom(std::size_t bytes) const { return program_.size + bytes <= kProgramSize; }

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
    if (pos_ == end_) return false;
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
    if (next_group_ == kGroupCount) return false;
    open_[open_count_++] = next_group_;
    last_ = Last::kGroup;
    return Emit(kGroupStart, next_group_++);
  }

  bool CloseGroup() {
    if (open_count_ == 0) return false;
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
    if (group >= closed_count_) return false;
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
    if (last_ != Last::kOneCharacter) return false;
    int least = 0;
    if (!ReadCount(least)) return false;
    int most = least;
    if (Peek() == ',') {
      ++pos_;
      if (Peek() == '\\') {
        most = kOpenBound;
      } else if (!ReadCount(most) || most < least) {
        return false;
      }
    }
    if (Next() != '\\' || Next() != '}' || !HasRoom(2)) return false;
    program_.code[last_at_] |= kIntervalMark;
    last_ = Last::kRepeated;
    return Emit(static_cast<std::uint8_t>(least), static_cast<std::uint8_t>(most));
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
      if (c == '\0') return false;
      if (c == ']' && !first) break;
      unsigned char from = c;
      unsigned char to = c;
      if (c == '-' && !first && Peek() != ']') {
        to = static_cast<unsigned char>(Next());
        if (to == '\0') return false;
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

// Runs a Program against one text.  Group positions live here, per call.
class Matcher {
 public:
  explicit Matcher(const Program& program) : code_(program.code) {}

  bool Search(const unsigned char* text, bool anchored) {
    // After a leading ".*" the attempt at the start already tries the rest of the program at
    // every later position, so attempts further on could only repeat its failures.
    if (anchored || code_[0] == (kAny | kStarMark)) return MatchHere(0, text);
    if (code_[0] == kLiteral) {  // only positions holding that character can match
      const unsigned char first = code_[1];
      for (const unsigned char* at = text; *at != '\0'; ++at) {
        if (*at == first && MatchHere(0, at)) return true;
      }
      return false;
    }
    for (const unsigned char* at = text;; ++at) {
      if (MatchHere(0, at)) return true;
      if (*at == '\0') return false;
    }
  }

 private:
  static bool MatchesOne(const std::uint8_t* instruction, unsigned char c) {
    const std::uint8_t* map = instruction + 1;
    switch (instruction[0] & kOpcodeBits) {
      case kLiteral:
        return c == instruction[1];
      case kAny:
        return c != '\0';
      case kClass7:
        return c < 0x80 && InMap(map, c);
      case kClass7Negated:
        return c >= 0x80 || InMap(map, c);
      case kClass8:
        return InMap(map, c);
      default:
        return false;
    }
  }

  std::size_t GroupLength(int group) const {
    const unsigned char* start = group_start_[group];
    const unsigned char* end = group_end_[group];
    return start != nullptr && end != nullptr && end > start ? static_cast<std::size_t>(end - start)
                                                             : 0;
  }

  // The text at `at` continues with the group's text; the comparison stops at the first
  // difference, so it never reads past the text's NUL.
  bool RepeatsGroup(const unsigned char* at, int group, std::size_t length) const {
    const unsigned char* copy = group_start_[group];
    for (std::size_t i = 0; i < length; ++i) {
      if (at[i] != copy[i]) return false;
    }
    return true;
  }

  bool MatchHere(std::size_t pc, const unsigned char* at) {
    for (;;) {
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
      if (opcode & kStarMark) return MatchRepeated(instruction, pc + size, at, 0, SIZE_MAX);
      if (opcode & kIntervalMark) {
        const std::size_t least = instruction[size];
        const std::size_t most =
            instruction[size + 1] == kOpenBound ? least + kOpenExtra : instruction[size + 1];
        return MatchRepeated(instruction, pc + size + 2, at, least, most);
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
    if (count < least) return false;
    for (;; --count) {
      if (MatchHere(next, at + count)) return true;
      if (count == least) return false;
    }
  }

  // A starred back-reference: as many whole copies of the group's text as follow, given back
  // one copy at a time.
  bool MatchCopies(std::size_t next, const unsigned char* at, int group, std::size_t length) {
    if (length == 0) return MatchHere(next, at);
    const unsigned char* end = at;
    while (RepeatsGroup(end, group, length)) end += length;
    for (;; end -= length) {
      if (MatchHere(next, end)) return true;
      if (end == at) return false;
    }
  }

  const std::uint8_t* code_;
  const unsigned char* group_start_[kGroupCount] = {};
  const unsigned char* group_end_[kGroupCount] = {};
};

}  // namespace

extern "C" KAV_API int KAV_CALL kav_setup_regexp(const char* wildcard, char* regex) {
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

// A null text is taken as the empty text.
extern "C" KAV_API int KAV_CALL kav_test_re(const char* text, const char* regex) {
  if (regex == nullptr || regex[0] == '\0') return 1;
  Program program;
  if (!Compiler(regex, program).Compile()) return 1;
  const auto* subject = reinterpret_cast<const unsigned char*>(text == nullptr ? "" : text);
  return Matcher(program).Search(subject, program.anchored) ? 1 : 0;
}

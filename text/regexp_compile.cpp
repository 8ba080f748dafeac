// regexp_compile.cpp - the first stage of the regular expressions: reading a basic regular
// expression of the classic line editor into the byte program that text/regexp.h describes,
// or saying, in grep's words, why it cannot be read.
//
// The program has no jumps: a repetition is a mark on the one instruction it repeats, so both
// matchers meet each instruction once, in order.  Every write checks the room left first, so no
// pattern can overflow the program.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/ascii.h"
#include "text/regexp.h"

namespace kav::text::regexp {
namespace {

constexpr int kCountLimit = 255;  // interval counts are 0-254

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
    if (!base::is_digit(Peek())) return false;
    count = 0;
    while (base::is_digit(Peek())) {
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

}  // namespace

bool compile(const char* regex, Program& program) { return Compiler(regex, program).Compile(); }

const char* compile_error(const char* regex) {
  Program program;
  Compiler compiler(regex, program);
  return compiler.Compile() ? nullptr : compiler.error();
}

}  // namespace kav::text::regexp

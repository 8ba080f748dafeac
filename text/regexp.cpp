// regexp.cpp - wildcard filters and the basic regular expressions of the classic line editor:
// the exported functions and the choice of matcher.
//
// kav_setup_regexp turns a file-name wildcard into an expression: '*' becomes ".*", '?' becomes
// '.', a dot is escaped, a backslash carries the next character over unchanged, and the
// expression is anchored with '^' unless the wildcard begins with '*'.
//
// kav_test_re compiles the expression into a byte program (regexp_compile.cpp; the format is in
// text/regexp.h) and runs it against the text.
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

#include "kavutil.h"
#include "platform/memory.h"

namespace kav::text::regexp {
namespace {

constexpr std::uint64_t kStepAllowance = 1000000;  // backtracking steps any search may take

// Two position sets for the simulation: on the stack for texts of the length of a name or a
// line (up to 511 characters), from the heap beyond.  `data` is null when the heap has no room.
class PositionSets {
 public:
  explicit PositionSets(std::size_t length) {
    if (length >= SIZE_MAX / 2) return;  // the size would not fit a size_t
    const std::size_t bytes = 2 * (length + 1);
    data_ = bytes <= sizeof local_
                ? local_
                : static_cast<std::uint8_t*>(kav::platform::memory::allocate(bytes));
  }
  ~PositionSets() {
    if (data_ != local_) kav::platform::memory::release(data_);
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
      const bool possible = simulate(program, text, length, sets.data());
      if (!possible || !program.has_back_references) return possible ? 1 : 0;
    }
  }
  const int answer = run_backtracker(program, text, StepBudget(program, length));
  return answer == kUndecided ? 1 : answer;
}

// A null text is taken as the empty text.
const unsigned char* Subject(const char* text) {
  return reinterpret_cast<const unsigned char*>(text == nullptr ? "" : text);
}

}  // namespace
}  // namespace kav::text::regexp

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
  kav::text::regexp::Program program;
  if (!kav::text::regexp::compile(regex, program)) return 1;
  return kav::text::regexp::Decide(program, kav::text::regexp::Subject(text));
}

int kav::text::regexp::backtrack(const char* text, const char* regex, std::uint64_t max_steps) {
  if (regex == nullptr || regex[0] == '\0') return 1;
  Program program;
  if (!compile(regex, program)) return 1;
  return run_backtracker(program, Subject(text), max_steps);
}

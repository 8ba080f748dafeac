// regexp.h - the regular-expression internals that tests and the fuzzer reach: the compiler's
// verdict and its reason, and the backtracking matcher on its own, which kav_test_re uses only for
// expressions with back-references and which the tests keep as the reference for the linear
// matcher.
#pragma once

#include <cstdint>

namespace kav::regexp {

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

}  // namespace kav::regexp

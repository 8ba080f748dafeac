// regex_check.h - whether kav_test_re can compile an expression, and why not.
#pragma once

#include <string>

namespace kav::tool {

// Empty when kav_test_re compiles regex; else why it does not, in the words grep would use
// ("unmatched [", "trailing backslash", ...).  kav_test_re lets every text through an
// expression it cannot compile, as a filter should; grep and match refuse one instead.
std::string regex_error(const char *regex);

}  // namespace kav::tool

// kav_regex_check_test.cpp - the kav tool's expression check (tools/regex_check.cpp), which
// repeats the rules of the library's compiler to tell why an expression does not compile,
// against the compiler itself on random expressions built from the syntax's pieces and on
// expressions around the 2048-byte program limit.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text/regexp.h"
#include "tools/regex_check.h"

namespace {

void ExpectSameVerdict(const std::string& pattern) {
  EXPECT_EQ(kav::tool::regex_error(pattern.c_str()).empty(), kav::regexp::compiles(pattern.c_str()))
      << "expression [" << pattern << "]: " << kav::tool::regex_error(pattern.c_str());
}

TEST(KavRegexCheck, AgreesWithTheCompilerOnRandomExpressions) {
  static const char* const kPieces[] = {
      "a",   "b",   ".",   "*",    "^",   "$",     "[",    "]",          "[^",      "-",   "\\",
      "\\(", "\\)", "\\{", "\\}",  ",",   "0",     "1",    "25",         "254",     "255", "\\1",
      "\\2", "\\9", "\n",  "\x80", "\\n", "[a-z]", "[]a]", "a\\{2,3\\}", "\\(a\\)", "x*"};
  std::mt19937 random(20260612);
  std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1), length(0, 24);
  for (int round = 0; round < 200000 && !HasFailure(); ++round) {
    std::string pattern;
    for (std::size_t n = length(random); n > 0; --n) pattern += kPieces[piece(random)];
    ExpectSameVerdict(pattern);
  }
}

TEST(KavRegexCheck, AgreesAtTheProgramLimit) {
  for (const char* item : {"a", "[ab]", "[\x80]", "a\\{2\\}", "\\(\\)"}) {
    for (int count = 1; count <= 1030; ++count) {
      std::string pattern;
      for (int i = 0; i < count; ++i) pattern += item;
      ExpectSameVerdict(pattern);
      ExpectSameVerdict("^" + pattern + "$");
    }
  }
}

}  // namespace

// Feeds arbitrary formats and input lines to the field scanner, and arbitrary
// wildcards, expressions and texts to the regular-expression functions; the
// sanitizers report any access outside the caller's buffers or the library's
// own.  The input is split at the first 0x01 byte: text before, pattern after.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kavutil.h"

namespace {

constexpr int kTargets = 16;

constexpr size_t kMaxWidth = 99;

// Every directive but one (the one that may start at a literal when the input
// ends) begins with '%', so this bounds the targets the scanner can take.  A
// width is the caller's promise about a target's size: keep widths below 100.
bool FitsTargets(const std::string &format) {
  size_t digits = 0;
  for (char c : format) {
    digits = c >= '0' && c <= '9' ? digits + 1 : 0;
    if (digits > 2) return false;
  }
  return std::count(format.begin(), format.end(), '%') + 1 < kTargets;
}

void Scan(const std::string &input, const std::string &format) {
  if (!FitsTargets(format)) return;
  // A field never holds more than the whole input or its width; 8 bytes hold any number.
  const size_t size = std::max(input.size(), kMaxWidth) + 8;
  std::vector<std::vector<char>> buffers(kTargets, std::vector<char>(size));
  void *t[kTargets];
  for (int i = 0; i < kTargets; ++i) t[i] = buffers[i].data();
  kav_sscanf(input.c_str(), format.c_str(), t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8],
             t[9], t[10], t[11], t[12], t[13], t[14], t[15]);
}

// A backtracking matcher takes time polynomial in the text's length with the
// number of repetitions as the exponent: keep both small so that each run is short.
bool IsQuick(const std::string &text, const std::string &pattern) {
  const auto repetitions = std::count(pattern.begin(), pattern.end(), '*') +
                           std::count(pattern.begin(), pattern.end(), '{');
  return text.size() <= 64 && repetitions <= 3;
}

void Match(const std::string &text, const std::string &pattern) {
  if (!IsQuick(text, pattern)) return;
  kav_test_re(text.c_str(), pattern.c_str());
  std::vector<char> regex(2 * pattern.size() + 2);
  kav_setup_regexp(pattern.c_str(), regex.data());
  kav_test_re(text.c_str(), regex.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string all(reinterpret_cast<const char *>(data), size);
  all = all.substr(0, all.find('\0'));
  const size_t cut = all.find('\x01');
  const std::string text = all.substr(0, cut);
  const std::string pattern = cut == std::string::npos ? "" : all.substr(cut + 1);
  Scan(text, pattern);
  Match(text, pattern);
  return 0;
}

// Feeds arbitrary formats and input lines to the field scanner, and arbitrary
// wildcards, expressions and texts to the regular-expression functions; the
// sanitizers report any access outside the caller's buffers or the library's
// own, a scanner that stores other bytes or another count than the per-field
// sscanf it replaced (tests/scan_reference.h) traps, and so does a matcher
// that disagrees with the backtracking one.  The input
// is split at the first 0x01 byte: text before, pattern after.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kavutil.h"
#include "tests/scan_reference.h"
#include "text/regexp.h"

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

using Targets = std::vector<std::vector<char>>;

int ScanInto(int (*scan)(const char *, const char *, ...), const std::string &input,
             const std::string &format, Targets &buffers) {
  void *t[kTargets];
  for (int i = 0; i < kTargets; ++i) t[i] = buffers[i].data();
  return scan(input.c_str(), format.c_str(), t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8],
              t[9], t[10], t[11], t[12], t[13], t[14], t[15]);
}

void Scan(const std::string &input, const std::string &format) {
  if (!FitsTargets(format)) return;
  // A field never holds more than the whole input or its width; 8 bytes hold any number.
  const size_t size = std::max(input.size(), kMaxWidth) + 8;
  Targets ours(kTargets, std::vector<char>(size, '\x5A')), theirs = ours;
  const int count = ScanInto(kav_sscanf, input, format, ours);
  const int expected = ScanInto(reference_sscanf, input, format, theirs);
  if (count != expected || ours != theirs) __builtin_trap();
}

// Any text and any expression: the matcher is linear, and bounds the steps of back-references.
// Where the backtracking matcher answers within a few steps, the two answers must agree.
void Match(const std::string &text, const std::string &pattern) {
  const int answer = kav_test_re(text.c_str(), pattern.c_str());
  if (text.size() <= 64) {
    const int reference = kav::text::regexp::backtrack(text.c_str(), pattern.c_str(), 100000);
    if (reference != kav::text::regexp::kUndecided && reference != answer) __builtin_trap();
  }
  std::vector<char> regex(2 * pattern.size() + 2);
  kav_setup_regexp(pattern.c_str(), regex.data());
  kav_test_re(text.c_str(), regex.data());
}

// A third part, after a second 0x01, stretches the text: its first byte times 100 is the least
// length the text is repeated to, so that short inputs make texts of up to 25,500 characters.
std::string Stretched(const std::string &text, const std::string &rest) {
  const size_t cut = rest.find('\x01');
  if (cut == std::string::npos || cut + 1 >= rest.size() || text.empty()) return text;
  const size_t length = 100 * static_cast<unsigned char>(rest[cut + 1]);
  std::string out = text;
  while (out.size() < length) out += text;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string all(reinterpret_cast<const char *>(data), size);
  all = all.substr(0, all.find('\0'));
  const size_t cut = all.find('\x01');
  const std::string text = all.substr(0, cut);
  const std::string pattern = cut == std::string::npos ? "" : all.substr(cut + 1);
  Scan(text, pattern);
  Match(Stretched(text, pattern), pattern.substr(0, pattern.find('\x01')));
  return 0;
}

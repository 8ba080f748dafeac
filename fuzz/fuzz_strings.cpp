// Feeds arbitrary text to the string primitives that scan, split, break and
// strip in place; the sanitizers report any read or write outside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kavutil.h"

namespace {

std::vector<char> text_copy(const std::string &text) {
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  int width = data[0] % 40;
  std::string all(reinterpret_cast<const char *>(data + 1), size - 1);
  size_t cut = all.find('\x01');
  std::string text = all.substr(0, all.find('\0'));
  std::string word = cut == std::string::npos ? "a" : all.substr(cut + 1, 4);
  word = word.substr(0, word.find('\0'));

  std::vector<char> piece(size_t(width) + 1);
  for (int n = kav_strbrk(piece.data(), text.c_str(), width); n > 0;
       n = kav_strbrk(piece.data(), nullptr, width)) {
  }
  auto fields = text_copy(text);
  for (char *f = kav_strfld(fields.data(), word.c_str()); f;
       f = kav_strfld(nullptr, word.c_str())) {
  }
  auto tokens = text_copy(text);
  for (char *t = kav_strtok(tokens.data(), ",;"); t; t = kav_strtok(nullptr, ",;")) {
  }
  auto hay = text_copy(text);
  auto needle = text_copy(word);
  kav_stristr(hay.data(), needle.data());
  kav_strstr(hay.data(), word.c_str());
  stritok(text.c_str(), word.c_str());
  std::free(escape_control(text.c_str(), nullptr));

  unsigned len = unsigned(text.size());
  auto s1 = text_copy(text);
  stripblanks_begendmult(s1.data(), len);
  auto s2 = text_copy(text);
  stripblanks_end(s2.data(), 0);
  auto s3 = text_copy(text);
  stripblanks_endcrnl(s3.data(), len);
  if (len > 0) {
    auto s4 = text_copy(text);
    stripblanks_any(s4.data(), len);
    auto s5 = text_copy(text + "tail");
    stripblanks_begend(s5.data(), len);
  }
  auto s6 = text_copy(text);
  strip_chars(s6.data(), word.c_str());
  auto path = text_copy(text + "..");
  kav_basename(path.data());
  kav_dirname(path.data());
  return 0;
}

// Feeds arbitrary bytes to the POSIX private-profile engine's document model:
// parsing, every query and every edit.  An edit's result must parse again and
// show the value it stored.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/ini/document.h"

using kav::platform::posix::ini::IniDocument;

namespace {

// Names and values from the input's first bytes, kept free of the characters
// that would make them mean something else once written.
std::string pick(const uint8_t *data, size_t size, size_t at, size_t length) {
  std::string s;
  for (size_t i = at; i < size && s.size() < length; ++i) {
    char c = static_cast<char>(data[i] % 26 + 'a');
    s += c;
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);
  IniDocument document(text);
  std::string section = pick(data, size, 0, 3), key = pick(data, size, 3, 3);
  std::string value = pick(data, size, 6, 5);

  document.Value(section, key);
  document.KeyNames(section);
  document.SectionLines(section);
  document.SectionNames();
  document.DeleteKey(section, key);
  document.DeleteSection(section);
  std::vector<std::string_view> entries{"k=v", "bare", "x = y "};
  document.ReplaceSection(section, entries);

  if (auto changed = document.SetValue(section, key, value)) {
    IniDocument again(*changed);
    auto stored = again.Value(section, key);
    if (!stored || *stored != value) __builtin_trap();
  }
  return 0;
}

// Feeds arbitrary templates and field texts to the MICR line builder and the
// identifier templates, and arbitrary numbers to spellno.  Record fields are
// sometimes filled to the last byte without a NUL; identifier buffers get the
// room a caller must give.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kavutil.h"

namespace {

void fill_field(char (&field)[MICR_TEXT_SIZE], const std::string &text) {
  if (text.size() >= MICR_TEXT_SIZE) {
    std::memcpy(field, text.data(), MICR_TEXT_SIZE);  // no terminator at all
  } else {
    std::memcpy(field, text.c_str(), text.size() + 1);
  }
}

void build_micr(const std::vector<std::string> &parts) {
  auto record = std::make_unique<MICR_Line_E13B>();
  MICR_DecodeFormat_E13B(parts[0].c_str(), record.get());
  fill_field(record->format, parts[0]);
  fill_field(record->transit, parts[1]);
  fill_field(record->on_us, parts[2]);
  fill_field(record->amount, parts[3]);
  MICR_BuildLine_E13B(record.get(), parts[4].c_str());
}

void shape_identifier(const std::string &tmpl, const std::string &identifier, int width) {
  std::vector<char> t(tmpl.begin(), tmpl.end());
  t.push_back('\0');
  std::vector<char> buffer(identifier.size() + tmpl.size() + size_t(width) + 64, '\0');
  std::memcpy(buffer.data(), identifier.data(), identifier.size());
  fill_with_id(t.data(), buffer.data(), width);
  round_down_id(buffer.data(), width - 100);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 9) return 0;
  long number = 0;
  std::memcpy(&number, data, sizeof number < 8 ? sizeof number : 8);
  spellno(number);
  int width = data[8] % 200;

  std::string text(reinterpret_cast<const char *>(data + 9), size - 9);
  std::vector<std::string> parts;
  for (size_t start = 0; parts.size() < 5;) {
    size_t end = text.find('\x01', start);
    std::string part = text.substr(start, end == std::string::npos ? end : end - start);
    parts.push_back(part.substr(0, part.find('\0')));
    if (end == std::string::npos)
      start = text.size();
    else
      start = end + 1;
  }
  build_micr(parts);
  shape_identifier(parts[0], parts[1], width);
  return 0;
}

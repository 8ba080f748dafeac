// Colon record lines and serial settings texts.  The input's first line is a key and a settings
// text; the rest is a record file.  sheaf_first and sheaf_next run through the file twice, on a
// memory stream and on a stream fed by a read callback, and must find the same records, with
// a field count within the record and nothing past it.  The settings text goes
// through the device-control reader, which must change nothing when it refuses the text and
// give a framing termios can hold back unchanged when it takes it.
#include <stdio.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kavutil.h"
#include "platform/posix/comm_settings.h"
#include "platform/posix/termios_settings.h"

namespace {

struct Reader {
  const std::string *data;
  std::size_t at;
};

ssize_t ReadCookie(void *cookie, char *buffer, std::size_t size) {
  auto *reader = static_cast<Reader *>(cookie);
  const std::size_t count = std::min(size, reader->data->size() - reader->at);
  std::memcpy(buffer, reader->data->data() + reader->at, count);
  reader->at += count;
  return static_cast<ssize_t>(count);
}

std::vector<std::string> Records(const std::string &key, FILE *stream) {
  std::vector<std::string> found;
  static sheaf_record record;
  for (int status = sheaf_first(key.c_str(), &record, stream); status == 0;
       status = sheaf_next(key.c_str(), &record, stream)) {
    if (record.count == 0 || record.count > SHEAF_MAX_FIELDS) __builtin_trap();
    std::string fields;
    for (std::uint32_t i = 0; i < SHEAF_MAX_FIELDS; ++i) {
      if (i >= record.count && record.fields[i][0] != '\0') __builtin_trap();
      fields += std::string(record.fields[i]) + '\x01';
    }
    found.push_back(fields);
  }
  if (record.count != 0) __builtin_trap();
  return found;
}

void CheckRecords(const std::string &key, const std::string &file) {
  // fmemopen takes no empty buffer; /dev/null is an empty stream that can seek too.
  FILE *blocks = file.empty() ? fopen("/dev/null", "rb")
                              : fmemopen(const_cast<char *>(file.data()), file.size(), "rb");
  Reader reader{&file, 0};
  FILE *lines = fopencookie(&reader, "rb", {ReadCookie, nullptr, nullptr, nullptr});
  if (blocks == nullptr || lines == nullptr) __builtin_trap();
  if (Records(key, blocks) != Records(key, lines)) __builtin_trap();
  fclose(blocks);
  fclose(lines);
}

void CheckSettings(const std::string &text) {
  using kav::platform::posix::CommSettings;
  CommSettings settings{9600, 8, 0, 0, true, false, false, false, false, false, false, 1, 1};
  const CommSettings before = settings;
  if (!kav::platform::posix::apply_settings_text(text.c_str(), settings)) {
    if (!(settings == before)) __builtin_trap();
    return;
  }
  if (settings.byte_size < 5 || settings.byte_size > 8 || settings.parity > 4 ||
      settings.stop_bits > 2 || settings.dtr_control > 2 || settings.rts_control > 3)
    __builtin_trap();
  termios terminal{};
  if (!kav::platform::posix::set_terminal(settings, terminal)) return;
  const CommSettings back = kav::platform::posix::settings_of_terminal(terminal, true, true);
  if (back.baud_rate != settings.baud_rate || back.byte_size != settings.byte_size ||
      back.parity != settings.parity || back.stop_bits != settings.stop_bits ||
      back.out_x != settings.out_x || back.in_x != settings.in_x)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string input(reinterpret_cast<const char *>(data), size);
  const std::size_t line_end = input.find('\n');
  const std::string first = input.substr(0, line_end);
  const std::string key = first.substr(0, first.find('\0'));
  CheckSettings(key);
  CheckRecords(key, line_end == std::string::npos ? "" : input.substr(line_end + 1));
  return 0;
}

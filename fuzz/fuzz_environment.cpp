// Feeds generated variables and texts to the library's environment: $NAME expansion with an
// instance base directory, the instance list, and the reverse step from a path to a reference.
//
// The input is split at line feeds: the first line's bytes choose the instance number, the
// str2env mode and the expansion's buffer size; the last line is the text; every line between
// is a "NAME=value" entry for the overlay (INSTANCE2BASE and $QELINSTANCE_BASE come from the
// corpus).  Results must stay within their limits: fill_env_vars' size - 1 characters,
// str2env's 1023.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kavutil.h"

namespace {

constexpr std::size_t kEntries = 16;
constexpr std::size_t kPathBuffer = 1024;  // str2env's caller keeps at least this

std::vector<std::string> Lines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.emplace_back();
    } else {
      lines.back() += static_cast<char>(data[i]);
    }
  }
  return lines;
}

char* HeapCopy(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// Hands the entries to the overlay.  kav_putenv keeps the string that replaced another and drops
// the older one without freeing it, so those are freed here.
void SetEntries(const std::vector<std::string>& lines) {
  std::vector<char*> handed;
  for (std::size_t i = 1; i + 1 < lines.size() && handed.size() < kEntries; ++i) {
    char* entry = HeapCopy(lines[i]);
    if (kav_putenv(entry) == 0) {
      handed.push_back(entry);
    } else {
      std::free(entry);
    }
  }
  for (char* entry : handed) {
    const char* equals = std::strchr(entry, '=');
    const std::string name(entry, static_cast<std::size_t>(equals - entry));
    if (kav_getenv(name.c_str()) != equals + 1) std::free(entry);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> lines = Lines(data, size);
  const std::string control = lines.front() + std::string(3, '\0');
  const int instance = static_cast<unsigned char>(control[0]) % 4 - 1;
  const int mode = control[1] & 1;
  const int expand_size = 1 + static_cast<unsigned char>(control[2]);
  const std::string text = lines.size() > 1 ? lines.back() : std::string();

  kav_clearenv();
  SetEntries(lines);
  fill_env_vars_set_instance(instance);

  std::vector<char> buffer(std::max<std::size_t>(expand_size, text.size() + 1));
  std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
  fill_env_vars(buffer.data(), expand_size);
  if (std::strlen(buffer.data()) >= static_cast<std::size_t>(expand_size)) __builtin_trap();

  std::free(instance2path(instance, text.c_str()));

  std::vector<char> path(std::max(kPathBuffer, text.size() + 1));
  std::memcpy(path.data(), text.c_str(), text.size() + 1);
  str2env(path.data(), mode);
  const std::size_t length = std::strlen(path.data());
  if (length >= kPathBuffer && std::strcmp(path.data(), text.c_str()) != 0) __builtin_trap();
  kav_clearenv();
  fill_env_vars_set_instance(-1);
  return 0;
}

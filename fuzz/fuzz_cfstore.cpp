// Feeds arbitrary bytes to the configuration file store as the contents of a file and queries
// it: the "Site" section, the first header and key the input names, an integer, an empty key,
// and the same query again from the cache.  A value never holds a line feed, and a cached
// answer is the very pointer the load gave.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kavutil.h"

namespace {

// The input goes into a temporary file that is unlinked at once and named through
// /proc/self/fd, so that no run leaves a file behind.
const std::string& FilePath() {
  static const std::string path = [] {
    std::FILE* file = std::tmpfile();
    return file == nullptr ? std::string() : "/proc/self/fd/" + std::to_string(fileno(file));
  }();
  return path;
}

void Store(const std::string& text) {
  const int fd = std::atoi(FilePath().c_str() + std::strlen("/proc/self/fd/"));
  if (ftruncate(fd, 0) != 0 || pwrite(fd, text.data(), text.size(), 0) < 0) __builtin_trap();
}

// The name of the input's first "[...]" header and the key of the line after it.
void PickNames(const std::string& text, std::string& section, std::string& key) {
  const std::size_t open = text.find('[');
  const std::size_t close = text.find(']', open);
  if (open == std::string::npos || close == std::string::npos) return;
  section = text.substr(open + 1, close - open - 1);
  const std::size_t line = text.find('\n', close);
  if (line == std::string::npos) return;
  key = text.substr(line + 1, text.find('=', line + 1) - line - 1);
}

void Check(const char* value) {
  if (value != nullptr && std::strchr(value, '\n') != nullptr) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (FilePath().empty()) __builtin_trap();
  const std::string text(reinterpret_cast<const char*>(data), size);
  Store(text);
  cfs_free();
  const char* file = FilePath().c_str();
  std::string section = "Site", key = "host";
  PickNames(text, section, key);
  Check(get_cfsvalue(file, nullptr, "host"));
  const char* picked = get_cfsvalue(file, section.c_str(), key.c_str());
  Check(picked);
  if (get_cfsvalue(file, section.c_str(), key.c_str()) != picked) __builtin_trap();
  get_cfsvalue_int(file, section.c_str(), key.c_str(), -1);
  if (std::strcmp(get_cfsvalue_def(file, section.c_str(), "", "d"), "d") != 0) __builtin_trap();
  cfs_free();
  return 0;
}

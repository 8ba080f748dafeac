// The host services of the kav tool, for POSIX and Windows.
#include "host.h"

#include <cstdlib>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kav::tool {

void set_environment(const char *name, const std::string &value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

bool is_terminal(std::FILE *stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

char path_separator() {
#if defined(_WIN32)
  return '\\';
#else
  return '/';
#endif
}

}  // namespace kav::tool

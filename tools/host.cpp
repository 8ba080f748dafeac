// The host services of the kav tool, for POSIX and Windows.
#include "host.h"

#include <cstdlib>

namespace kav::tool {

void set_environment(const char *name, const std::string &value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

}  // namespace kav::tool

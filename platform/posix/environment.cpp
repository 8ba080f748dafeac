// environment.cpp - the process environment on POSIX.
//
// The entries come from `environ`.  Variables are set with setenv, which copies name and value:
// putenv would keep the caller's string in the environment, and the callers pass temporaries.
// Names compare case-sensitively here, as getenv compares them.

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kav::platform {

std::vector<std::string> environment_entries() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    entries.emplace_back(*entry);
  }
  return entries;
}

bool put_environment(const std::string& entry) {
  const std::size_t equals = entry.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  const std::string name = entry.substr(0, equals);
  return setenv(name.c_str(), entry.c_str() + equals + 1, 1) == 0;
}

}  // namespace kav::platform

// modules.cpp - shared libraries on POSIX: dlopen (every symbol bound at once, none shared with
// later libraries), dlsym and dlclose.
//
// The MySQL client is MariaDB Connector/C's "libmariadb.so.3" (Debian's libmariadb3), else
// Oracle's libmysqlclient of MySQL 8.4 or 8.0 (both keep the entry points and signatures we
// take).  KAV_MYSQL_CLIENT, when set and not empty, names the one library to load instead: a
// file name that the loader searches for, or a path.
//
// A path is opened first by the one opener of named files (posix/file_kit.h), so that a FIFO or a
// device of that name cannot hold the load, and the loader is given that very file as
// /proc/self/fd/N; without /proc it is given the path, once the opener has taken it for a
// regular file.

#include "platform/modules.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/file_kit.h"

namespace kav::platform {
namespace {

constexpr int kFlags = RTLD_NOW | RTLD_LOCAL;

}  // namespace

Module* load_module(const char* name) {
  if (std::strchr(name, '/') == nullptr) return static_cast<Module*>(dlopen(name, kFlags));
  const posix::Descriptor file =
      posix::open_file(AT_FDCWD, name, O_RDONLY, posix::Links::kFollow, posix::Kinds::kRegular);
  if (!file) return nullptr;
  char opened[32];
  std::snprintf(opened, sizeof opened, "/proc/self/fd/%d", file.get());
  return static_cast<Module*>(dlopen(access(opened, F_OK) == 0 ? opened : name, kFlags));
}

Symbol module_symbol(Module* module, const char* name) {
  return reinterpret_cast<Symbol>(dlsym(module, name));
}

void unload_module(Module* module) { dlclose(module); }

std::vector<std::string> mysql_client_names() {
  const char* chosen = std::getenv("KAV_MYSQL_CLIENT");
  if (chosen != nullptr && chosen[0] != '\0') return {chosen};
  return {"libmariadb.so.3", "libmysqlclient.so.24", "libmysqlclient.so.21"};
}

}  // namespace kav::platform

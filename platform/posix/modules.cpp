// modules.cpp - shared libraries on POSIX: dlopen (every symbol bound at once, none shared with
// later libraries), dlsym and dlclose.
//
// The MySQL client is MariaDB Connector/C's "libmariadb.so.3" (Debian's libmariadb3), else
// Oracle's libmysqlclient of MySQL 8.4 or 8.0 (both keep the entry points and signatures we
// take).  KAV_MYSQL_CLIENT, when set and not empty, names the one library to load instead: a
// file name that the loader searches for, or a path.

#include "platform/modules.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kav::platform {

Module* load_module(const char* name) {
  return static_cast<Module*>(dlopen(name, RTLD_NOW | RTLD_LOCAL));
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

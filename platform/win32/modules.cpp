// modules.cpp - shared libraries on Windows: LoadLibraryA, GetProcAddress and FreeLibrary.  The
// MySQL client is "libmysql.dll", found through the loader's own search order.

#include "platform/modules.h"

#include <windows.h>

#include <string>
#include <vector>

namespace kav::platform {

Module* load_module(const char* name) { return reinterpret_cast<Module*>(LoadLibraryA(name)); }

Symbol module_symbol(Module* module, const char* name) {
  const FARPROC address = GetProcAddress(reinterpret_cast<HMODULE>(module), name);
  return reinterpret_cast<Symbol>(reinterpret_cast<void (*)()>(address));
}

void unload_module(Module* module) { FreeLibrary(reinterpret_cast<HMODULE>(module)); }

std::vector<std::string> mysql_client_names() { return {"libmysql.dll"}; }

}  // namespace kav::platform

// modules.h - shared libraries loaded at run time: the MySQL client.
//
// load_module, module_symbol and unload_module are LoadLibraryA, GetProcAddress and FreeLibrary
// on Windows and dlopen, dlsym and dlclose on POSIX.  Each platform also names the MySQL client
// library it looks for, in the order it tries them.
#pragma once

#include <string>
#include <vector>

namespace kav::platform {

// A loaded library; opaque, never dereferenced.
struct Module;

// Any exported function, as the one function-pointer type that converts to every other.
using Symbol = void (*)();

// Loads a library by name through the system's search (or by path); null when it cannot.
Module* load_module(const char* name);

// The address of an exported function of a loaded library, or null when it has none.
Symbol module_symbol(Module* module, const char* name);

// Drops one load of the library; the system unloads it after the last.
void unload_module(Module* module);

// The MySQL client libraries to try, in order; the first that loads is the client.
std::vector<std::string> mysql_client_names();

}  // namespace kav::platform

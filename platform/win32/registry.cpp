// registry.cpp - the machine-wide registry on Windows: HKEY_LOCAL_MACHINE read with the Reg*A
// functions, and the shell's program-files folder.  A value read into a buffer one byte larger
// than asked for, and cleared first, always ends in a NUL, even when the stored data has none.

#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kav::platform {
namespace {

HKEY Handle(RegistryKey* key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

RegistryKey* open_machine_key(const char* path, uint32_t access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key) != ERROR_SUCCESS) return nullptr;
  return reinterpret_cast<RegistryKey*>(key);
}

void close_registry_key(RegistryKey* key) { RegCloseKey(Handle(key)); }

std::optional<uint32_t> registry_subkey_count(RegistryKey* key) {
  DWORD count = 0;
  if (RegQueryInfoKeyA(Handle(key), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return count;
}

std::optional<std::string> registry_subkey_name(RegistryKey* key, uint32_t index, uint32_t size) {
  std::vector<char> name(size + 1, '\0');
  DWORD length = size;
  if (RegEnumKeyExA(Handle(key), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(name.data());
}

std::optional<std::string> registry_string_value(RegistryKey* key, const char* name,
                                                 uint32_t size) {
  std::vector<char> data(size + 1, '\0');
  DWORD length = size;
  if (RegQueryValueExA(Handle(key), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                       &length) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(data.data());
}

std::optional<std::string> program_files_folder() {
  char path[MAX_PATH];
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return std::nullopt;
  }
  return std::string(path);
}

}  // namespace kav::platform

// registry.h - the machine-wide registry keys that Ghostscript installations write, read only,
// and the other places where an installation of Ghostscript is looked for.
//
// On Windows these are HKEY_LOCAL_MACHINE and the Reg*A functions, with the access masks given
// here.  POSIX has no registry: platform/posix/registry.cpp answers the same questions from a
// registry file in INI form and from the Ghostscript libraries installed in the system's library
// directories.  Key paths are written with backslashes on every platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kav::platform {

// Access masks, as Windows names them: KEY_READ in the caller's own registry view, in the 32-bit
// view (KEY_WOW64_32KEY) and in the 64-bit view (KEY_WOW64_64KEY), and KEY_QUERY_VALUE.
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyRead32 = 0x20219;
inline constexpr uint32_t kKeyRead64 = 0x20119;
inline constexpr uint32_t kKeyQueryValue = 1;

// The Ghostscript library's file name in the product's own installation under the program-files
// folder.
#if defined(_WIN32)
inline constexpr const char* kGhostscriptLibraryFile = "gsdll32.dll";
#else
inline constexpr const char* kGhostscriptLibraryFile = "libgs.so";
#endif

// An open key; opaque.
struct RegistryKey;

// Opens path below the machine-wide hive (RegOpenKeyExA); null when it does not open.
RegistryKey* open_machine_key(const char* path, uint32_t access);
void close_registry_key(RegistryKey* key);

// The number of subkeys (RegQueryInfoKeyA); nothing when the query fails.
std::optional<uint32_t> registry_subkey_count(RegistryKey* key);

// The name of the index-th subkey in the registry's enumeration order (RegEnumKeyExA); nothing
// when there is none or the name with its NUL needs more than size bytes.
std::optional<std::string> registry_subkey_name(RegistryKey* key, uint32_t index, uint32_t size);

// A value's text up to its first NUL (RegQueryValueExA); nothing when the key has no such value
// or its data is longer than size bytes.
std::optional<std::string> registry_string_value(RegistryKey* key, const char* name, uint32_t size);

// The program-files folder (SHGetFolderPathA, CSIDL_PROGRAM_FILES, current path), without a
// trailing separator; nothing when the system cannot name it.
std::optional<std::string> program_files_folder();

}  // namespace kav::platform

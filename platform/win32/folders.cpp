// folders.cpp - folders, paths and module names on Windows.
//
// The shell names the special folders (SHGetFolderPathA, SHGetSpecialFolderPathA),
// GetShortPathNameA gives the 8.3 form, the loader names the running program (GetModuleFileNameA;
// its base name is the part after the last separator, as psapi's GetModuleBaseNameA would give
// it, which Windows XP's kernel32 does not export), and the C runtime's _mkdir, _stat and
// _fullpath serve the file services.  Under Wine, ntdll exports
// wine_get_version, which native Windows does not.

#include <windows.h>
// After windows.h, which they need.
#include <direct.h>
#include <shlobj.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace kav::platform {
namespace {

// Paths in the Win32 API may run to 32767 characters with the "\\?\" prefix.
constexpr DWORD kLongPathSize = 32768;

std::optional<std::string> ShellFolder(int csidl) {
  char path[MAX_PATH];
  // S_FALSE (a folder that does not exist) counts as no folder.
  if (SHGetFolderPathA(nullptr, csidl, nullptr, 0, path) != S_OK) return std::nullopt;
  return std::string(path);
}

std::optional<std::string> WindowsDirectory() {
  char path[MAX_PATH];
  if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_WINDOWS, TRUE)) return std::nullopt;
  return std::string(path);
}

}  // namespace

std::optional<std::string> special_folder(Folder folder) {
  switch (folder) {
    case Folder::kUserAppData:
      return ShellFolder(CSIDL_APPDATA);
    case Folder::kCommonAppData:
      return ShellFolder(CSIDL_COMMON_APPDATA);
    case Folder::kWindows:
      return WindowsDirectory();
  }
  return std::nullopt;
}

std::optional<std::string> short_path(const std::string& path) {
  std::string result(MAX_PATH, '\0');
  DWORD length = GetShortPathNameA(path.c_str(), result.data(), MAX_PATH);
  if (length >= MAX_PATH) {  // too small: length is the size it needs
    result.resize(length);
    length = GetShortPathNameA(path.c_str(), result.data(), length);
  }
  if (length == 0 || length >= result.size()) return std::nullopt;
  result.resize(length);
  return result;
}

std::optional<std::string> module_file_name() {
  std::string path(kLongPathSize, '\0');
  const DWORD length = GetModuleFileNameA(nullptr, path.data(), kLongPathSize);
  if (length == 0 || length >= kLongPathSize) return std::nullopt;
  path.resize(length);
  return path;
}

std::optional<std::string> module_base_name() {
  std::optional<std::string> path = module_file_name();
  if (!path) return std::nullopt;
  const std::size_t last = path->find_last_of("\\/");
  if (last != std::string::npos) path->erase(0, last + 1);
  return path;
}

bool is_nt_platform() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::optional<std::string> wine_version() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll == nullptr) return std::nullopt;
  const FARPROC address = GetProcAddress(ntdll, "wine_get_version");
  if (address == nullptr) return std::nullopt;
  using WineGetVersion = const char*(CDECL*)();
  // Through void (*)(), the one function type that converts to any other without a warning.
  const auto get = reinterpret_cast<WineGetVersion>(reinterpret_cast<void (*)()>(address));
  const char* version = get();
  if (version == nullptr) return std::nullopt;
  return std::string(version);
}

bool make_directory(const char* path) { return _mkdir(path) == 0; }

bool path_exists(const char* path) {
  struct _stat status;
  return _stat(path, &status) == 0;
}

std::optional<std::string> full_path(const char* path, size_t limit) {
  if (path == nullptr || limit == 0) return std::nullopt;
  std::string result(limit, '\0');
  if (_fullpath(result.data(), path, limit) == nullptr) return std::nullopt;
  result.resize(std::strlen(result.c_str()));
  return result;
}

}  // namespace kav::platform

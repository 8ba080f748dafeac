// files.cpp - directory searches, file status, removal and copies on Windows.
//
// FindFirstFileA and FindNextFileA search directories with the search string as given,
// GetFileAttributesA classifies paths, the C runtime's _unlink, _rmdir and _getcwd remove files
// and directories and name the working directory, and CopyFileA copies without replacing.

#include <windows.h>
// After windows.h, which they need.
#include <direct.h>
#include <io.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kav::platform {
namespace {

struct SearchCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};

struct MemoryReleaser {
  void operator()(char* memory) const { std::free(memory); }
};

bool IsDotOrDotDot(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

std::optional<std::vector<DirectoryEntry>> find_entries(const std::string& search) {
  WIN32_FIND_DATAA data;
  const HANDLE handle = FindFirstFileA(search.c_str(), &data);
  if (handle == INVALID_HANDLE_VALUE) {
    // An existing directory with no entry that matches: an empty listing, as on POSIX.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<DirectoryEntry>();
    return std::nullopt;
  }
  const std::unique_ptr<void, SearchCloser> search_handle(handle);
  std::vector<DirectoryEntry> entries;
  do {
    if (IsDotOrDotDot(data.cFileName)) continue;
    entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0});
  } while (FindNextFileA(handle, &data));
  return entries;
}

PathKind path_kind(const char* path) {
  if (path == nullptr) return PathKind::kUnknown;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return missing ? PathKind::kMissing : PathKind::kUnknown;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kDirectory : PathKind::kOther;
}

bool remove_file(const char* path) { return path != nullptr && _unlink(path) == 0; }

bool remove_directory(const char* path) { return path != nullptr && _rmdir(path) == 0; }

bool copy_file_if_absent(const char* source, const char* destination) {
  if (source == nullptr || destination == nullptr) return false;
  return CopyFileA(source, destination, TRUE) != FALSE;
}

std::optional<std::string> current_directory() {
  // With no buffer, _getcwd allocates one as long as the directory needs.
  const std::unique_ptr<char, MemoryReleaser> directory(_getcwd(nullptr, 0));
  if (!directory) return std::nullopt;
  return std::string(directory.get());
}

}  // namespace kav::platform

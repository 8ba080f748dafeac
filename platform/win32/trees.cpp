// trees.cpp - removing and copying directory trees on Windows.
//
// The walks go by name with FindFirstFileA and FindNextFileA, one level listed before it is
// worked on, so entries that the walk makes itself are not visited.  They do not enter reparse
// points (junctions, directory links): a removal removes the link itself, a copy leaves it out.
// Paths here are at most MAX_PATH long, which bounds the depth of the recursion.  Files are copied
// by the platform's own copy (replace_with_copy: each committed to disk before it is moved over
// its destination), so the I/O seam reaches them.

#include <windows.h>
// After windows.h, which it needs.
#include <direct.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/io.h"
#include "platform/platform.h"
#include "platform/win32/search.h"

namespace kav::platform {
namespace {

struct FoundEntry {
  std::string name;
  DWORD attributes;
};

// One level of a directory, "." and ".." left out; nothing when it cannot be searched.
std::optional<std::vector<FoundEntry>> FindAll(const std::string& directory) {
  std::vector<FoundEntry> entries;
  const bool searched =
      win32::for_each_found((directory + "\\*").c_str(), [&](const WIN32_FIND_DATAA& data) {
        entries.push_back({data.cFileName, data.dwFileAttributes});
      });
  if (!searched) return std::nullopt;
  return entries;
}

bool IsLinkDirectory(DWORD attributes) {
  constexpr DWORD kBoth = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
  return (attributes & kBoth) == kBoth;
}

bool CopyOneFile(const std::string& source, const std::string& target, const TreeCopy& copy) {
  return copy.make_directories(target) && replace_with_copy(source.c_str(), target.c_str());
}

// Copies one directory level, then the levels below; the listing comes first, so entries made
// by the copy itself are not visited.
bool CopyDirectory(const std::string& source, const std::string& target, const TreeCopy& copy,
                   bool top) {
  const auto entries = FindAll(source);
  if (!entries) {  // a missing source copies nothing and succeeds
    const DWORD error = GetLastError();
    return top && (error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY);
  }
  for (const auto& entry : *entries) {
    if (IsLinkDirectory(entry.attributes)) continue;
    const std::string from = source + "\\" + entry.name, to = target + "\\" + entry.name;
    const bool copied = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                            ? CopyDirectory(from, to, copy, false)
                            : CopyOneFile(from, to, copy);
    if (!copied) return false;
  }
  return true;
}

bool RemoveDirectoryTree(const std::string& path) {
  const bool has_separator = !path.empty() && path.back() == '\\';
  const auto entries = find_entries(has_separator ? path + "*" : path + "\\*");
  if (entries) {
    for (const auto& entry : *entries) {
      if (entry.name[0] == '.' || entry.system) continue;
      if (!remove_tree((path + "\\" + entry.name).c_str())) return false;
    }
  }
  return _rmdir(path.c_str()) == 0;
}

}  // namespace

// A reparse point (junction, link) is removed itself and never entered.
bool remove_tree(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? _rmdir(path) == 0
                                                   : kav::platform::io::remove(path) == 0;
  }
  const auto status = file_status(path);
  if (!status) return errno == ENOENT;  // a missing path is no failure, a query error is
  if (status->kind == FileKind::kRegular) return kav::platform::io::remove(path) == 0;
  return status->kind == FileKind::kDirectory ? RemoveDirectoryTree(path) : true;
}

bool copy_tree(const char* source, const char* destination, const TreeCopy& copy) {
  return CopyDirectory(source, destination, copy, true);
}

}  // namespace kav::platform

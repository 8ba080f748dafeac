// search.h - one directory search for the Windows platform units: FindFirstFileA and
// FindNextFileA over a search string, "." and ".." left out, the search handle always closed.
#pragma once

#include <windows.h>

#include <cstring>
#include <memory>

namespace kav::platform::win32 {

// Calls each(data) for every entry that a search for `search` ("<directory>\<pattern>") finds,
// in the system's order.  False when the search cannot start (a missing or unreadable
// directory); an existing directory with no entry that matches is an empty search, true.
template <typename Each>
bool for_each_found(const char* search, Each each) {
  struct SearchCloser {
    void operator()(HANDLE handle) const { FindClose(handle); }
  };
  WIN32_FIND_DATAA data;
  const HANDLE handle = FindFirstFileA(search, &data);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  const std::unique_ptr<void, SearchCloser> search_handle(handle);
  do {
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) each(data);
  } while (FindNextFileA(handle, &data));
  return true;
}

}  // namespace kav::platform::win32

// mapped_file.cpp - file-backed memory and free disk space on Windows.
//
// The backing file's name comes from the C runtime's _tempnam (which settles the directory by
// its own rules: TMP first when it names a directory) and the file is created by CreateFileA
// with read and write access, shared for writing, create-always, with the temporary-file
// attribute.  An unnamed read-write file mapping of the buffer's size extends it, and a write
// view of the whole mapping is the buffer.  Free space asks GetDiskFreeSpaceExA (found in
// KERNEL32.DLL, which is loaded once and kept) on NT systems newer than build 1000 and
// GetDiskFreeSpaceA otherwise or when that fails, about the first three characters of the
// path.  Creating the file asks the I/O seam's fault plan first (as "open").

#include "platform/mapped_file.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/io.h"

namespace kav::platform {
namespace {

constexpr uint32_t kFailed = 0xFFFFFFFFu;

// KERNEL32.DLL, loaded on first need and never released.
std::atomic<HMODULE> kernel32{nullptr};

using DiskFreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

bool HasDiskFreeSpaceEx() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId != 0 &&
         (version.dwBuildNumber & 0xFFFF) > 1000;
}

// The disk's total free bytes in megabytes, cut to 32 bits; kFailed when the query fails.
uint32_t AskDiskFreeSpaceEx(const char* root) {
  if (kernel32.load() == nullptr) kernel32.store(LoadLibraryA("KERNEL32.DLL"));
  if (kernel32.load() == nullptr) return kFailed;
  const FARPROC address = GetProcAddress(kernel32.load(), "GetDiskFreeSpaceExA");
  if (address == nullptr) return kFailed;
  // Through void (*)(), the one function type that converts to any other without a warning.
  const auto query = reinterpret_cast<DiskFreeSpaceEx>(reinterpret_cast<void (*)()>(address));
  ULARGE_INTEGER available, total, free;
  if (!query(root, &available, &total, &free)) return kFailed;
  return static_cast<uint32_t>(free.QuadPart / 1024 / 1024);
}

// Free clusters times cluster size over 1048576, rounded (MulDiv).
uint32_t AskDiskFreeSpace(const char* root) {
  DWORD sectors_per_cluster, bytes_per_sector, free_clusters, clusters;
  if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters, &clusters))
    return kFailed;
  return static_cast<uint32_t>(MulDiv(static_cast<int>(sectors_per_cluster * bytes_per_sector),
                                      static_cast<int>(free_clusters), 0x100000));
}

}  // namespace

unsigned long current_thread_id() { return GetCurrentThreadId(); }

bool create_backing_file(MappedBuffer& buffer, const char* directory, const char* prefix) {
  if (directory != nullptr) {
    char* name = _tempnam(directory, prefix);
    if (name != nullptr && std::strlen(name) < sizeof buffer.file_name)
      std::strcpy(buffer.file_name, name);
    std::free(name);  // the runtime's own block, from its heap, not the library's
  }
  if (kav::platform::io::fault("open")) return false;
  const HANDLE file = CreateFileA(buffer.file_name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  buffer.file = file;
  return true;
}

bool map_backing_file(MappedBuffer& buffer) {
  buffer.mapping =
      CreateFileMappingA(buffer.file, nullptr, PAGE_READWRITE, 0, buffer.size, nullptr);
  if (buffer.mapping == nullptr) return false;
  buffer.view = MapViewOfFile(buffer.mapping, FILE_MAP_WRITE, 0, 0, 0);
  return buffer.view != nullptr;
}

void close_backing_file(MappedBuffer& buffer) {
  if (buffer.view != nullptr) UnmapViewOfFile(buffer.view);
  if (buffer.mapping != nullptr) CloseHandle(buffer.mapping);
  if (buffer.file != nullptr) CloseHandle(buffer.file);
}

uint32_t free_megabytes(const char* path) {
  char root[4];
  std::snprintf(root, sizeof root, "%.3s", path);
  uint32_t result = kFailed;
  if (HasDiskFreeSpaceEx()) result = AskDiskFreeSpaceEx(root);
  if (result == kFailed) result = AskDiskFreeSpace(root);
  return result;
}

// Large pages need the "lock pages in memory" privilege on Windows: no hint is given.
void advise_large_page(void*) {}

}  // namespace kav::platform

// io.cpp - the Windows halves of the library's own openings (platform/io.h).
//
// fopen_regular opens the stream through the faultable fopen with the "N" mode letter (the
// handle is not inherited by child processes) and keeps it only when _fstat calls it a regular
// file, so that names such as CON or a serial port are never read.  create_new_file asks
// CreateFileA for CREATE_NEW, which fails rather than opening or truncating what is there.
#include "platform/io.h"

#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "base/boundary.h"

namespace kav::platform::io {

WriteSignalsHeld::WriteSignalsHeld() = default;
WriteSignalsHeld::~WriteSignalsHeld() = default;

std::FILE *fopen_regular(const char *path, const char *mode) {
  std::FILE *stream = nullptr;
  const bool opened = kav::base::guarded([&] {  // else the mode cannot be extended
    stream = kav::platform::io::fopen(path, (std::string(mode) + "N").c_str());
  });
  if (!opened) errno = ENOMEM;
  if (stream == nullptr) return nullptr;
  struct _stat64 status = {};
  const bool known = _fstat64(_fileno(stream), &status) == 0;
  if (known && (status.st_mode & _S_IFMT) == _S_IFREG) return stream;
  const int error = !known ? errno : (status.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : EINVAL;
  kav::platform::io::fclose(stream);
  errno = error;
  return nullptr;
}

bool create_new_file(const char *path) {
  if (fault("open")) return false;
  const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST
            : error == ERROR_PATH_NOT_FOUND                             ? ENOENT
                                                                        : EACCES;
    return false;
  }
  CloseHandle(file);
  return true;
}

}  // namespace kav::platform::io

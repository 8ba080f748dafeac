// files.cpp - directory searches, file status, removal and copies on Windows, and the files that
// the utilities and the error log write.
//
// FindFirstFileA and FindNextFileA search directories with the search string as given,
// GetFileAttributesA classifies paths, the C runtime's _unlink, _rmdir and _getcwd remove files
// and directories and name the working directory, and CopyFileA copies without replacing.
//
// Streams go through the I/O seam (platform/io.h); the few runtime and Win32 calls that have no
// stream form (exclusive creation, _commit, MoveFileExA) ask the seam's fault plan first under
// the name of their POSIX counterpart, so that fault sweeps reach them too.  A new file is
// written under a temporary name beside its destination, committed to disk and moved over it
// (MOVEFILE_REPLACE_EXISTING); an append that fails is cut back to the old length through a
// second descriptor.

#include <windows.h>
// After windows.h, which they need.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "platform/io.h"
#include "platform/platform.h"
#include "platform/win32/search.h"

namespace kav::platform {
namespace {

constexpr int kNameAttempts = 100;
constexpr std::size_t kCopyBlockSize = std::size_t{1} << 20;

using kav::platform::io::KeepErrno;

struct StreamCloser {
  void operator()(std::FILE* stream) const {
    const KeepErrno keep;
    kav::platform::io::fclose(stream);
  }
};

// The directory part of path with its separator ("" for the working directory, "C:" for a
// drive's), where a temporary file for it is made.
std::string DirectoryPrefix(const std::string& path) {
  std::size_t end = path.size();
  while (end > 0 && !base::is_path_separator(path[end - 1])) --end;
  if (end == 0 && path.size() >= 2 && path[1] == ':') end = 2;
  return path.substr(0, end);
}

std::string TemporaryName() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return kav::platform::io::temporary_name(GetCurrentProcessId(),
                                           static_cast<std::uint64_t>(now.QuadPart));
}

// _sopen_s without inheritance, in binary mode unless flags ask for _O_TEXT, in the seam's plan
// as "open".
int OpenDescriptor(const char* path, int flags) {
  if (kav::platform::io::fault("open")) return -1;
  if ((flags & _O_TEXT) == 0) flags |= _O_BINARY;
  int fd = -1;
  if (_sopen_s(&fd, path, flags | _O_NOINHERIT, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0) {
    return -1;
  }
  return fd;
}

std::FILE* StreamOver(int fd, const char* mode) {
  std::FILE* stream = _fdopen(fd, mode);
  if (stream == nullptr) _close(fd);
  return stream;
}

// Flushes the stream and commits the file to disk.
bool Commit(std::FILE* out) {
  if (kav::platform::io::fflush(out) != 0) return false;
  return !kav::platform::io::fault("fsync") && _commit(_fileno(out)) == 0;
}

bool MoveOver(const char* from, const char* to) {
  if (kav::platform::io::fault("rename")) return false;
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  errno = EACCES;
  return false;
}

bool IsRegular(int fd, long long& size) {
  struct _stat64 status;
  if (_fstat64(fd, &status) != 0) return false;
  size = status.st_size;
  return S_ISREG(status.st_mode);
}

// Opens path for appending (flags add the mode), creating it when missing (then created is set).
int OpenForAppend(const char* path, int flags, bool& created) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = OpenDescriptor(path, _O_WRONLY | _O_APPEND | flags);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = OpenDescriptor(path, _O_WRONLY | _O_APPEND | _O_CREAT | _O_EXCL | flags);
    created = fd >= 0;
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Appends what write gives through a stream over a regular file, then commits it to disk; a log
// (text mode, not committed) may also be a device.  On failure the file this call created is
// removed and one that existed is cut back, through a second descriptor that outlives the stream.
bool AppendThroughStream(const char* path, bool log, const StreamWriter& write) {
  bool created = false;
  const int fd = OpenForAppend(path, log ? _O_TEXT : 0, created);
  if (fd < 0) return false;
  long long before = 0;
  const bool regular = IsRegular(fd, before);
  const int undo = regular ? _dup(fd) : -1;
  const bool usable = regular ? undo >= 0 : log;
  std::FILE* out = usable ? StreamOver(fd, log ? "at" : "ab") : nullptr;
  if (out == nullptr) {
    if (!usable) _close(fd);
    if (undo >= 0) _close(undo);
    if (created) _unlink(path);
    return false;
  }
  bool written = write(out) && (log ? kav::platform::io::fflush(out) == 0 : Commit(out));
  written = kav::platform::io::fclose(out) == 0 && written;
  KeepErrno keep;
  if (!written && regular && !created) _chsize_s(undo, before);
  if (undo >= 0) _close(undo);
  if (!written && created) kav::platform::io::remove(path);
  return written;
}

}  // namespace

std::optional<std::vector<DirectoryEntry>> find_entries(const std::string& search) {
  std::vector<DirectoryEntry> entries;
  const bool searched = win32::for_each_found(search.c_str(), [&](const WIN32_FIND_DATAA& data) {
    entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0});
  });
  if (!searched) return std::nullopt;
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
  // In a buffer of ours, grown until the directory fits (the runtime's own would come from its
  // heap, outside the library's).
  std::string buffer(MAX_PATH, '\0');
  while (_getcwd(buffer.data(), static_cast<int>(buffer.size())) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

// A directory may be named with trailing separators (the runtime's _stat alone refuses them); a
// file named with one is not found.
std::optional<FileStatus> file_status(const char* path) {
  if (path == nullptr || path[0] == '\0') return std::nullopt;
  std::string name(path);
  std::size_t end = name.size();
  while (end > 1 && base::is_path_separator(name[end - 1]) && name[end - 2] != ':')
    --end;  // roots stay
  const bool trailing = end < name.size();
  name.resize(end);
  struct _stat64 status;
  if (_stat64(name.c_str(), &status) != 0) return std::nullopt;
  if (trailing && !S_ISDIR(status.st_mode)) {
    errno = ENOENT;
    return std::nullopt;
  }
  FileKind kind = FileKind::kOther;
  if (S_ISREG(status.st_mode)) kind = FileKind::kRegular;
  if (S_ISDIR(status.st_mode)) kind = FileKind::kDirectory;
  if (S_ISCHR(status.st_mode)) kind = FileKind::kCharacterDevice;
  return FileStatus{kind, static_cast<long long>(status.st_size)};
}

std::FILE* open_regular_file(const char* path) {
  if (path == nullptr) return nullptr;
  std::FILE* in = kav::platform::io::fopen(path, "rbN");
  long long size = 0;
  if (in == nullptr || IsRegular(_fileno(in), size)) return in;
  kav::platform::io::fclose(in);
  errno = EINVAL;
  return nullptr;
}

bool replace_file(const char* path, const StreamWriter& write) {
  if (path == nullptr || path[0] == '\0') return false;
  const std::string target(path);
  if (base::is_path_separator(target.back())) {
    errno = EISDIR;
    return false;
  }
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < kNameAttempts; ++attempt) {
    temporary = DirectoryPrefix(target) + TemporaryName();
    fd = OpenDescriptor(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL);
    if (fd < 0 && errno != EEXIST) return false;
  }
  std::FILE* out = fd < 0 ? nullptr : StreamOver(fd, "wb");
  if (out == nullptr) {
    KeepErrno keep;
    if (fd >= 0) _unlink(temporary.c_str());
    return false;
  }
  bool written = write(out) && Commit(out);
  written = kav::platform::io::fclose(out) == 0 && written;
  written = written && MoveOver(temporary.c_str(), target.c_str());
  if (!written) {
    KeepErrno keep;
    kav::platform::io::remove(temporary.c_str());
  }
  return written;
}

// The bytes go through the streams in blocks of 1 MiB, which the runtime reads and writes straight
// from and into the block; replace_file commits the copy to disk and moves it over destination
// with MOVEFILE_WRITE_THROUGH, which returns once the move is on disk.
bool replace_with_copy(const char* source, const char* destination) {
  const std::unique_ptr<std::FILE, StreamCloser> in(open_regular_file(source));
  if (!in) return false;
  std::vector<char> block(kCopyBlockSize);
  return replace_file(destination, [&](std::FILE* out) {
    for (;;) {
      const std::size_t got = kav::platform::io::fread(block.data(), 1, block.size(), in.get());
      if (got > 0 && kav::platform::io::fwrite(block.data(), 1, got, out) != got) return false;
      if (got < block.size()) return std::feof(in.get()) != 0 && std::ferror(in.get()) == 0;
    }
  });
}

bool append_to_file(const char* path, const StreamWriter& write) {
  if (path == nullptr || path[0] == '\0') return false;
  return AppendThroughStream(path, false, write);
}

// The log is a text file: "\n" becomes "\r\n" on the way.
bool append_log_record(const char* path, const std::string& record) {
  return AppendThroughStream(path, true, [&](std::FILE* out) {
    return kav::platform::io::fputs(record.c_str(), out) >= 0;
  });
}

}  // namespace kav::platform

// profile_file.h - the file I/O of the POSIX profile engine: the only unit of it that touches
// files, every call through the faultable table of platform/posix/io.h.
//
// Readers stat a file once per read (the freshness check) and read it whole when it is not
// cached; writers edit a file by replacing it under an exclusive lock, never listing its
// directory.  See profile_file.cpp for the locking, the replacement, the names of temporary
// files and the clean-up of those left by dead writers.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

namespace kav::platform::posix {

// What tells one version of a file from another: its identity, size and times.  Writes made
// through kavutil give every replacing file a modification time later than the one it replaces,
// so two versions written by kavutil never share a stamp.
struct FileStamp {
  dev_t device;
  ino_t inode;
  off_t size;
  timespec modified, changed;

  explicit FileStamp(const struct stat& status);
  bool operator==(const FileStamp& other) const;
};

// One stat() of path: the stamp of a regular file, or nothing with errno set (EISDIR for a
// directory, EINVAL for another kind of file).
std::optional<FileStamp> stamp_of_file(const char* path);

struct FileBytes {
  FileStamp stamp;  // of the version read
  std::string bytes;
};

// The whole regular file, or nothing with errno set.
std::optional<FileBytes> read_whole_file(const char* path);

// Gets the current bytes of a file and returns its new bytes, or nothing when it stays as it is.
using FileEdit = std::function<std::optional<std::string>(std::string bytes)>;

// Applies edit to path under an exclusive lock, creating a missing file (empty) first, as
// Windows does even when nothing is then stored, and flushes the file and its directory.  True
// when the file holds the edit's result (or the edit changed nothing); false, with errno set,
// otherwise: the file is then as it was, but for a failed flush of the directory, which leaves
// the edited file in place, not known to survive a crash.
bool edit_file(const char* path, const FileEdit& edit);

}  // namespace kav::platform::posix

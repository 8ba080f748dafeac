// files.cpp - directory searches, file status, removal and copies on POSIX, and the files that
// the utilities and the error log write.
//
// A search "<directory>/<pattern>" reads the directory with opendir and readdir and matches
// each name against the pattern, '*' standing for any run of characters and '?' for any one,
// case-sensitively as the file system names are; "*.*" matches every name, as it does on
// Windows.  An entry counts as a directory when it is one or is a symbolic link to one, which is
// how Windows reports a link.  POSIX has no system attribute.
//
// Files given by name are opened by open_file (file_kit.h): without waiting on a FIFO or a device,
// their kind checked through the descriptor, never by name before the open; links are followed
// for a file named by the caller and never inside a tree.  A new file is written under a
// temporary name beside its destination, flushed to disk and renamed over it (a copy moves its
// bytes by descriptor, transfer.h, and flushes the rename too); an append that
// fails cuts the file back to its old length.  Writes past the file-size limit or into a pipe
// without a reader fail instead of ending the process (WriteSignalsHeld, platform/io.h).  Every
// call goes through the I/O seam, every descriptor is close-on-exec.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/file_kit.h"
#include "platform/posix/io.h"
#include "platform/posix/transfer.h"

namespace kav::platform {

namespace {

using posix::Descriptor;
using posix::KeepErrno;
using posix::split_path;
using posix::SplitPath;

bool Matches(const char* pattern, const char* name) {
  const char* star = nullptr;  // the last '*' seen, to retry with one more character
  const char* retry = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      retry = name;
    } else if (*pattern == '?' || *pattern == *name) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++retry;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool IsDotOrDotDot(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool IsDirectory(DIR* directory, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
  struct stat status;
  return kav::platform::io::fstatat(dirfd(directory), entry.d_name, &status, 0) == 0 &&
         S_ISDIR(status.st_mode);
}

// Opens name for appending, creating it when missing (then created is set) without following a
// link to create something elsewhere; status receives the file's status.
Descriptor OpenForAppend(int directory, const char* name, posix::Kinds kinds, struct stat& status,
                         bool& created) {
  using posix::Links;
  constexpr int kFlags = O_WRONLY | O_APPEND;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Descriptor fd = posix::open_file(directory, name, kFlags, Links::kFollow, kinds, &status);
    if (fd || errno != ENOENT) return fd;
    fd = posix::open_file(directory, name, kFlags | O_CREAT | O_EXCL, Links::kStayInTree, kinds,
                          &status);
    created = static_cast<bool>(fd);
    if (fd || errno != EEXIST) return fd;
  }
  return Descriptor();
}

// An append to one file: opened (created when missing), its status before, and the undoing of a
// failed append.
class Append {
 public:
  Append(int directory, const char* name) : directory_(directory), name_(name) {}

  // Opens the file, of the kinds given (open_file).
  bool Open(posix::Kinds kinds) {
    fd_ = OpenForAppend(directory_, name_, kinds, before_, created_);
    return static_cast<bool>(fd_);
  }
  Descriptor& fd() { return fd_; }
  const struct stat& before() const { return before_; }
  bool regular() const { return S_ISREG(before_.st_mode); }

  // Takes back what this append wrote: the file it created is removed (when it is still the one
  // under that name), one that existed is cut back to its old length.
  void Undo(int fd) {
    KeepErrno keep;
    if (!created_) {
      kav::platform::io::ftruncate(fd, before_.st_size);
      return;
    }
    struct stat now;
    if (kav::platform::io::fstatat(directory_, name_, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == before_.st_dev && now.st_ino == before_.st_ino) {
      kav::platform::io::unlinkat(directory_, name_, 0);
    }
  }

 private:
  int directory_;
  const char* name_;
  Descriptor fd_;
  bool created_ = false;
  struct stat before_ {};
};

bool AppendAt(int directory, const char* name, const StreamWriter& write) {
  const kav::platform::io::WriteSignalsHeld held;
  Append append(directory, name);
  if (!append.Open(posix::Kinds::kRegular)) return false;
  // A second descriptor outlives the stream, to undo the append after a failing close.
  const Descriptor undo(kav::platform::io::dup(append.fd().get()));
  if (undo && posix::write_through_stream(append.fd(), write)) return true;
  append.Undo(undo ? undo.get() : append.fd().get());
  return false;
}

}  // namespace

std::optional<std::vector<DirectoryEntry>> find_entries(const std::string& search) {
  const std::size_t cut = search.rfind('/');
  const std::string directory =
      cut == std::string::npos ? std::string(".") : search.substr(0, cut == 0 ? 1 : cut);
  const std::string pattern = cut == std::string::npos ? search : search.substr(cut + 1);
  const bool every_name = pattern == "*.*";
  const posix::Listing stream = posix::open_listing(directory.c_str());
  if (!stream) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = kav::platform::io::readdir(stream.get());
    if (entry == nullptr) break;
    if (IsDotOrDotDot(entry->d_name)) continue;
    if (!every_name && !Matches(pattern.c_str(), entry->d_name)) continue;
    entries.push_back({entry->d_name, IsDirectory(stream.get(), *entry), false});
  }
  if (errno != 0) return std::nullopt;  // the listing broke off
  return entries;
}

std::optional<FileStatus> file_status(const char* path) {
  struct stat status;
  if (path == nullptr || path[0] == '\0' || kav::platform::io::stat(path, &status) != 0)
    return std::nullopt;
  FileKind kind = FileKind::kOther;
  if (S_ISREG(status.st_mode)) kind = FileKind::kRegular;
  if (S_ISDIR(status.st_mode)) kind = FileKind::kDirectory;
  if (S_ISCHR(status.st_mode)) kind = FileKind::kCharacterDevice;
  return FileStatus{kind, static_cast<long long>(status.st_size)};
}

PathKind path_kind(const char* path) {
  if (path == nullptr) return PathKind::kUnknown;
  struct stat status;
  if (kav::platform::io::stat(path, &status) == 0) {
    return S_ISDIR(status.st_mode) ? PathKind::kDirectory : PathKind::kOther;
  }
  return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing : PathKind::kUnknown;
}

bool remove_file(const char* path) {
  return path != nullptr && kav::platform::io::unlink(path) == 0;
}

bool remove_directory(const char* path) {
  return path != nullptr && kav::platform::io::rmdir(path) == 0;
}

// Never replaces an existing file (O_EXCL); keeps the source's permission bits and leaves no
// partial destination behind.
bool copy_file_if_absent(const char* source, const char* destination) {
  if (source == nullptr || destination == nullptr) return false;
  const kav::platform::io::WriteSignalsHeld held;
  using posix::Kinds;
  using posix::Links;
  struct stat status;
  const Descriptor in =
      posix::open_file(AT_FDCWD, source, O_RDONLY, Links::kFollow, Kinds::kRegular, &status);
  if (!in) return false;
  const mode_t permissions = status.st_mode & 0777;
  Descriptor out = posix::open_file(AT_FDCWD, destination, O_WRONLY | O_CREAT | O_EXCL,
                                    Links::kFollow, Kinds::kRegular, nullptr, permissions);
  if (!out) return false;
  bool copied = posix::copy_contents(in.get(), out.get());
  copied =
      copied && kav::platform::io::fchmod(out.get(), permissions) == 0;  // the umask may clear bits
  copied = out.Close() && copied;
  if (!copied) {
    KeepErrno keep;
    kav::platform::io::unlink(destination);  // created above (O_EXCL), so ours to remove
  }
  return copied;
}

std::optional<std::string> current_directory() {
  std::string buffer(256, '\0');
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

std::FILE* open_regular_file(const char* path) {
  if (path == nullptr) return nullptr;
  return posix::open_stream(AT_FDCWD, path, "rb", posix::Links::kFollow, posix::Kinds::kRegular);
}

namespace {

// The open directory of the file that path names, and the file's name there.  The path's last
// component names the file; a path that ends in a separator names none (EISDIR).
Descriptor OpenParent(const char* path, std::string& name) {
  if (path == nullptr || path[0] == '\0') return Descriptor();
  SplitPath split = split_path(path);
  if (split.trailing) {
    errno = EISDIR;
    return Descriptor();
  }
  name = std::move(split.name);
  return posix::open_directory(split.directory.c_str());
}

}  // namespace

bool replace_file(const char* path, const StreamWriter& write) {
  std::string name;
  const Descriptor directory = OpenParent(path, name);
  return directory && posix::replace_at(directory.get(), name, write);
}

// The copy is written aside by copy_contents (transfer.h), which starts the writing to disk as it
// goes; one fsync at the end waits for the rest, then the rename puts the file in place and an
// fsync of the directory stores the rename, so that a true result means the copy is on disk
// under its name.  Should that last fsync fail, the new file is in place, whole, and the result
// is false all the same.
bool replace_with_copy(const char* source, const char* destination) {
  if (source == nullptr) return false;
  const kav::platform::io::WriteSignalsHeld held;
  const Descriptor in =
      posix::open_file(AT_FDCWD, source, O_RDONLY, posix::Links::kFollow, posix::Kinds::kRegular);
  std::string name;
  const Descriptor directory = in ? OpenParent(destination, name) : Descriptor();
  if (!directory) return false;
  posix::AsideFile aside(directory.get());
  return aside && posix::copy_contents(in.get(), aside.fd().get()) &&
         kav::platform::io::fsync(aside.fd().get()) == 0 && aside.fd().Close() &&
         aside.put_in_place(name.c_str()) && kav::platform::io::fsync(directory.get()) == 0;
}

bool append_to_file(const char* path, const StreamWriter& write) {
  std::string name;
  const Descriptor directory = OpenParent(path, name);
  return directory && AppendAt(directory.get(), name.c_str(), write);
}

// One write per record, so that records of several processes do not mix.  A record cut short is
// taken back, unless another writer has appended since.
bool append_log_record(const char* path, const std::string& record) {
  const kav::platform::io::WriteSignalsHeld held;
  Append append(AT_FDCWD, path);
  if (!append.Open(posix::Kinds::kStream)) return false;
  const int fd = append.fd().get();
  std::size_t written = 0;
  bool whole = posix::write_all(fd, record, &written);
  struct stat now;
  if (!whole && append.regular() && kav::platform::io::fstat(fd, &now) == 0 &&
      now.st_size == append.before().st_size + static_cast<off_t>(written)) {
    append.Undo(fd);
  }
  whole = append.fd().Close() && whole;
  return whole;
}

}  // namespace kav::platform

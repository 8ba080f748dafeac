// files.cpp - directory searches, file status, removal and copies on POSIX, and the files that
// the utilities and the error log write.
//
// A search "<directory>/<pattern>" reads the directory with opendir and readdir and matches
// each name against the pattern, '*' standing for any run of characters and '?' for any one,
// case-sensitively as the file system names are; "*.*" matches every name, as it does on
// Windows.  An entry counts as a directory when it is one or is a symbolic link to one, which is
// how Windows reports a link.  POSIX has no system attribute.
//
// Files are opened without blocking (O_NONBLOCK, so that a FIFO with no peer fails or reads
// nothing instead of waiting) and their kind is checked through the descriptor, never by name
// before the open.  A new file is written under a temporary name beside its destination,
// flushed to disk and renamed over it; an append that fails cuts the file back to its old
// length.  Every call goes through the I/O seam, every descriptor is close-on-exec.

#include "platform/posix/files.h"

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
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/io.h"

namespace kav::platform {
namespace posix {

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

int Descriptor::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void Descriptor::Reset() {
  if (fd_ < 0) return;
  KeepErrno keep;
  kav::io::close(Release());
}

bool Descriptor::Close() { return fd_ >= 0 && kav::io::close(Release()) == 0; }

std::FILE* OpenRegularAt(int directory, const char* name) {
  Descriptor fd(
      kav::io::openat(directory, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat status;
  if (!fd || kav::io::fstat(fd.get(), &status) != 0) return nullptr;
  if (!S_ISREG(status.st_mode)) {
    errno = EINVAL;
    return nullptr;
  }
  std::FILE* stream = kav::io::fdopen(fd.get(), "rb");  // a regular file ignores O_NONBLOCK
  if (stream != nullptr) fd.Release();
  return stream;
}

std::string TemporaryName() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return kav::io::temporary_name(static_cast<std::uint64_t>(getpid()),
                                 static_cast<std::uint64_t>(now.tv_sec) * 1000000007u ^
                                     static_cast<std::uint64_t>(now.tv_nsec));
}

SplitPath Split(const char* path) {
  const std::string_view whole(path);
  std::size_t end = whole.size();
  while (end > 1 && whole[end - 1] == '/') --end;
  const std::size_t cut = whole.substr(0, end).rfind('/');
  SplitPath split;
  split.trailing = end < whole.size();
  if (cut == std::string_view::npos) {
    split.directory.assign(1, '.');
    split.name.assign(whole.data(), end);
  } else {
    split.directory.assign(whole.data(), cut == 0 ? 1 : cut);
    split.name.assign(whole.data() + cut + 1, end - cut - 1);
  }
  return split;
}

}  // namespace posix

namespace {

using posix::Descriptor;
using posix::KeepErrno;
using posix::Split;
using posix::SplitPath;

constexpr std::size_t kCopyBlockSize = 65536;
constexpr int kNameAttempts = 100;

struct DirectoryCloser {
  void operator()(DIR* directory) const { kav::io::closedir(directory); }
};

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
  return kav::io::fstatat(dirfd(directory), entry.d_name, &status, 0) == 0 &&
         S_ISDIR(status.st_mode);
}

// Writes everything, retrying short writes; done counts what reached the file.
bool WriteAll(int fd, const char* data, std::size_t size, std::size_t& done) {
  done = 0;
  while (done < size) {
    const ssize_t written = kav::io::write(fd, data + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

bool CopyContents(int in, int out) {
  char block[kCopyBlockSize];
  for (;;) {
    const ssize_t read_size = kav::io::read(in, block, sizeof block);
    if (read_size < 0 && errno == EINTR) continue;
    if (read_size < 0) return false;
    if (read_size == 0) return true;
    std::size_t done;
    if (!WriteAll(out, block, static_cast<std::size_t>(read_size), done)) return false;
  }
}

Descriptor OpenDirectory(const std::string& path) {
  return Descriptor(kav::io::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

Descriptor CreateTemporary(int directory, std::string& name) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    name = posix::TemporaryName();
    Descriptor fd(kav::io::openat(directory, name.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd || errno != EEXIST) return fd;
  }
  return Descriptor();
}

// Runs the writer on a stream over fd (which the stream takes), then flushes the stream and the
// file to disk and closes it.
bool WriteThroughStream(Descriptor& fd, const StreamWriter& write) {
  std::FILE* out = kav::io::fdopen(fd.get(), "wb");
  if (out == nullptr) return false;
  fd.Release();
  bool written = write(out);
  written = written && kav::io::fflush(out) == 0 && kav::io::fsync(fileno(out)) == 0;
  return kav::io::fclose(out) == 0 && written;
}

// Opens name for appending, creating it when missing (then created is set).  A FIFO does not
// block the open.
Descriptor OpenForAppend(int directory, const char* name, bool& created) {
  constexpr int kFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Descriptor fd(kav::io::openat(directory, name, kFlags));
    if (fd || errno != ENOENT) return fd;
    fd = Descriptor(kav::io::openat(directory, name, kFlags | O_CREAT | O_EXCL | O_NOFOLLOW, 0666));
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

  // Opens the file; a FIFO does not block the open.  A created file whose status cannot be had
  // is removed again.
  bool Open() {
    fd_ = OpenForAppend(directory_, name_, created_);
    if (!fd_) return false;
    if (kav::io::fstat(fd_.get(), &before_) == 0) return true;
    KeepErrno keep;
    if (created_) kav::io::unlinkat(directory_, name_, 0);
    return false;
  }
  Descriptor& fd() { return fd_; }
  const struct stat& before() const { return before_; }
  bool regular() const { return S_ISREG(before_.st_mode); }

  // Takes back what this append wrote: the file it created is removed (when it is still the one
  // under that name), one that existed is cut back to its old length.
  void Undo(int fd) {
    KeepErrno keep;
    if (!created_) {
      kav::io::ftruncate(fd, before_.st_size);
      return;
    }
    struct stat now;
    if (kav::io::fstatat(directory_, name_, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == before_.st_dev && now.st_ino == before_.st_ino) {
      kav::io::unlinkat(directory_, name_, 0);
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
  Append append(directory, name);
  if (!append.Open()) return false;
  if (!append.regular()) {
    errno = EINVAL;
    return false;
  }
  // A second descriptor outlives the stream, to undo the append after a failing close.
  const Descriptor undo(kav::io::dup(append.fd().get()));
  if (undo && WriteThroughStream(append.fd(), write)) return true;
  append.Undo(undo ? undo.get() : append.fd().get());
  return false;
}

// Clears O_NONBLOCK, so that a reader that is there gets the whole record.
bool Blocking(int fd) {
  const int flags = kav::io::fcntl(fd, F_GETFL);
  return flags >= 0 && kav::io::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

std::optional<std::vector<DirectoryEntry>> find_entries(const std::string& search) {
  const std::size_t cut = search.rfind('/');
  const std::string directory =
      cut == std::string::npos ? std::string(".") : search.substr(0, cut == 0 ? 1 : cut);
  const std::string pattern = cut == std::string::npos ? search : search.substr(cut + 1);
  const bool every_name = pattern == "*.*";
  const std::unique_ptr<DIR, DirectoryCloser> stream(kav::io::opendir(directory.c_str()));
  if (!stream) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = kav::io::readdir(stream.get());
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
  if (path == nullptr || path[0] == '\0' || kav::io::stat(path, &status) != 0) return std::nullopt;
  FileKind kind = FileKind::kOther;
  if (S_ISREG(status.st_mode)) kind = FileKind::kRegular;
  if (S_ISDIR(status.st_mode)) kind = FileKind::kDirectory;
  if (S_ISCHR(status.st_mode)) kind = FileKind::kCharacterDevice;
  return FileStatus{kind, static_cast<long long>(status.st_size)};
}

PathKind path_kind(const char* path) {
  if (path == nullptr) return PathKind::kUnknown;
  struct stat status;
  if (kav::io::stat(path, &status) == 0) {
    return S_ISDIR(status.st_mode) ? PathKind::kDirectory : PathKind::kOther;
  }
  return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing : PathKind::kUnknown;
}

bool remove_file(const char* path) { return path != nullptr && kav::io::unlink(path) == 0; }

bool remove_directory(const char* path) { return path != nullptr && kav::io::rmdir(path) == 0; }

// Never replaces an existing file (O_EXCL); keeps the source's permission bits and leaves no
// partial destination behind.
bool copy_file_if_absent(const char* source, const char* destination) {
  if (source == nullptr || destination == nullptr) return false;
  Descriptor in(kav::io::open(source, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat status;
  if (!in || kav::io::fstat(in.get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  const mode_t permissions = status.st_mode & 0777;
  Descriptor out(kav::io::open(destination, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permissions));
  if (!out) return false;
  bool copied = CopyContents(in.get(), out.get());
  copied = copied && kav::io::fchmod(out.get(), permissions) == 0;  // the umask may clear bits
  copied = out.Close() && copied;
  if (!copied) {
    KeepErrno keep;
    kav::io::unlink(destination);  // created above (O_EXCL), so ours to remove
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
  return path == nullptr ? nullptr : posix::OpenRegularAt(AT_FDCWD, path);
}

bool posix::ReplaceAt(int directory, const std::string& name, const StreamWriter& write) {
  std::string temporary;
  Descriptor fd = CreateTemporary(directory, temporary);
  if (!fd) return false;
  if (WriteThroughStream(fd, write) &&
      kav::io::renameat(directory, temporary.c_str(), directory, name.c_str()) == 0) {
    return true;
  }
  KeepErrno keep;
  kav::io::unlinkat(directory, temporary.c_str(), 0);
  return false;
}

namespace {

// The open directory of the file that path names, and the file's name there.  The path's last
// component names the file; a path that ends in a separator names none (EISDIR).
Descriptor OpenParent(const char* path, std::string& name) {
  if (path == nullptr || path[0] == '\0') return Descriptor();
  SplitPath split = Split(path);
  if (split.trailing) {
    errno = EISDIR;
    return Descriptor();
  }
  name = std::move(split.name);
  return OpenDirectory(split.directory);
}

}  // namespace

bool replace_file(const char* path, const StreamWriter& write) {
  std::string name;
  const Descriptor directory = OpenParent(path, name);
  return directory && posix::ReplaceAt(directory.get(), name, write);
}

bool append_to_file(const char* path, const StreamWriter& write) {
  std::string name;
  const Descriptor directory = OpenParent(path, name);
  return directory && AppendAt(directory.get(), name.c_str(), write);
}

// One write per record, so that records of several processes do not mix.  A record cut short is
// taken back, unless another writer has appended since.
bool append_log_record(const char* path, const std::string& record) {
  Append append(AT_FDCWD, path);
  if (!append.Open()) return false;
  const int fd = append.fd().get();
  const mode_t mode = append.before().st_mode;
  if (!append.regular() && !((S_ISFIFO(mode) || S_ISCHR(mode)) && Blocking(fd))) return false;
  std::size_t written = 0;
  bool whole = WriteAll(fd, record.data(), record.size(), written);
  struct stat now;
  if (!whole && append.regular() && kav::io::fstat(fd, &now) == 0 &&
      now.st_size == append.before().st_size + static_cast<off_t>(written)) {
    append.Undo(fd);
  }
  whole = append.fd().Close() && whole;
  return whole;
}

}  // namespace kav::platform

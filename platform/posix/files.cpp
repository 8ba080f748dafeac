// files.cpp - directory searches, file status, removal and copies on POSIX.
//
// A search "<directory>/<pattern>" reads the directory with opendir and readdir and matches
// each name against the pattern, '*' standing for any run of characters and '?' for any one,
// case-sensitively as the file system names are; "*.*" matches every name, as it does on
// Windows.  An entry counts as a directory when it is one or is a symbolic link to one, which is
// how Windows reports a link.  POSIX has no system attribute.  Copies never replace an existing
// file (O_EXCL), keep the source's permission bits and leave no partial destination behind.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kav::platform {
namespace {

constexpr std::size_t kCopyBlockSize = 65536;

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, so that a failing close can be seen.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
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
  return fstatat(dirfd(directory), entry.d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool CopyContents(int in, int out) {
  char block[kCopyBlockSize];
  for (;;) {
    const ssize_t read_size = read(in, block, sizeof block);
    if (read_size < 0 && errno == EINTR) continue;
    if (read_size < 0) return false;
    if (read_size == 0) return true;
    if (!WriteAll(out, block, static_cast<std::size_t>(read_size))) return false;
  }
}

}  // namespace

std::optional<std::vector<DirectoryEntry>> find_entries(const std::string& search) {
  const std::size_t cut = search.rfind('/');
  const std::string directory =
      cut == std::string::npos ? std::string(".") : search.substr(0, cut == 0 ? 1 : cut);
  const std::string pattern = cut == std::string::npos ? search : search.substr(cut + 1);
  const bool every_name = pattern == "*.*";
  const std::unique_ptr<DIR, DirectoryCloser> stream(opendir(directory.c_str()));
  if (!stream) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  while (const dirent* entry = readdir(stream.get())) {
    if (IsDotOrDotDot(entry->d_name)) continue;
    if (!every_name && !Matches(pattern.c_str(), entry->d_name)) continue;
    entries.push_back({entry->d_name, IsDirectory(stream.get(), *entry), false});
  }
  return entries;
}

PathKind path_kind(const char* path) {
  if (path == nullptr) return PathKind::kUnknown;
  struct stat status;
  if (stat(path, &status) == 0) {
    return S_ISDIR(status.st_mode) ? PathKind::kDirectory : PathKind::kOther;
  }
  return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing : PathKind::kUnknown;
}

bool remove_file(const char* path) { return path != nullptr && unlink(path) == 0; }

bool remove_directory(const char* path) { return path != nullptr && rmdir(path) == 0; }

bool copy_file_if_absent(const char* source, const char* destination) {
  if (source == nullptr || destination == nullptr) return false;
  Descriptor in(open(source, O_RDONLY | O_CLOEXEC));
  struct stat status;
  if (in.get() < 0 || fstat(in.get(), &status) != 0 || S_ISDIR(status.st_mode)) return false;
  const mode_t permissions = status.st_mode & 0777;
  Descriptor out(open(destination, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permissions));
  if (out.get() < 0) return false;
  bool copied = CopyContents(in.get(), out.get());
  copied = fchmod(out.get(), permissions) == 0 && copied;  // the umask may have cleared bits
  copied = out.Close() && copied;
  if (!copied) unlink(destination);  // created above (O_EXCL), so ours to remove
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

}  // namespace kav::platform

// file_kit.cpp - the POSIX file kit (see file_kit.h): the owned descriptor, the one opener of
// files given by name, temporary names and path splitting.  Every call goes through the I/O seam
// (platform/posix/io.h).

#include "platform/posix/file_kit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/posix/io.h"

namespace kav::platform::posix {

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
  kav::platform::io::close(Release());
}

bool Descriptor::Close() { return fd_ >= 0 && kav::platform::io::close(Release()) == 0; }

namespace {

// Whether a FIFO open for reading has a writer, or bytes left by one.  tee(2) copies from a pipe
// without taking anything out of it: with nothing to copy it answers 0 when no writer has the
// pipe open and EAGAIN when one has.  Other systems cannot tell, and a FIFO counts as without.
bool HasWriter(int fd) {
#if defined(__linux__)
  int probe[2];
  if (pipe2(probe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  const ssize_t copied = tee(fd, probe[1], 1, SPLICE_F_NONBLOCK);
  const bool writer = copied > 0 || (copied < 0 && errno == EAGAIN);
  close(probe[0]);
  close(probe[1]);
  return writer;
#else
  (void)fd;
  return false;
#endif
}

// Whether open_file keeps a file of this status opened with access; errno set when not.
bool Accepted(int fd, const struct stat& status, int access, Kinds kinds) {
  if (S_ISREG(status.st_mode)) return true;
  errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
  if (kinds != Kinds::kStream || S_ISDIR(status.st_mode)) return false;
  if (S_ISCHR(status.st_mode)) return true;
  if (!S_ISFIFO(status.st_mode)) return false;
  // Opened for writing, the FIFO had a reader (the open fails with ENXIO without one).
  if (access == O_WRONLY || (access == O_RDONLY && HasWriter(fd))) return true;
  errno = ENXIO;
  return false;
}

}  // namespace

Descriptor open_file(int directory, const char* name, int flags, Links links, Kinds kinds,
                     struct stat* status, mode_t mode) {
  int open_flags = flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  if (links == Links::kStayInTree) open_flags |= O_NOFOLLOW;
  Descriptor fd(kav::platform::io::openat(directory, name, open_flags, mode));
  if (!fd) return fd;
  struct stat own;
  struct stat& kept = status != nullptr ? *status : own;
  if (kav::platform::io::fstat(fd.get(), &kept) == 0 &&
      Accepted(fd.get(), kept, flags & O_ACCMODE, kinds) &&
      kav::platform::io::fcntl(fd.get(), F_SETFL, open_flags & ~O_NONBLOCK) == 0) {
    return fd;
  }
  KeepErrno keep;
  fd.Reset();
  if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL))
    kav::platform::io::unlinkat(directory, name, 0);
  return fd;
}

std::FILE* open_stream(int directory, const char* name, const char* mode, Links links,
                       Kinds kinds) {
  Descriptor fd = open_file(directory, name, O_RDONLY, links, kinds);
  std::FILE* stream = fd ? kav::platform::io::fdopen(fd.get(), mode) : nullptr;
  if (stream != nullptr) fd.Release();
  return stream;
}

Descriptor open_directory(const char* path) {
  return Descriptor(kav::platform::io::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

Descriptor open_directory_at(int directory, const char* name) {
  return Descriptor(
      kav::platform::io::openat(directory, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

void ListingCloser::operator()(DIR* listing) const { kav::platform::io::closedir(listing); }

Listing open_listing(const char* path) { return Listing(kav::platform::io::opendir(path)); }

Listing open_listing(Descriptor fd) {
  Listing listing(fd ? kav::platform::io::fdopendir(fd.get()) : nullptr);
  if (listing) fd.Release();
  return listing;
}

bool write_all(int fd, std::string_view bytes, std::size_t* done) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t put =
        kav::platform::io::write(fd, bytes.data() + written, bytes.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    written += static_cast<std::size_t>(put);
  }
  if (done != nullptr) *done = written;
  return written == bytes.size();
}

std::optional<std::string> read_all(int fd, std::size_t expected_size) {
  std::string data;
  data.reserve(expected_size);
  char chunk[65536];
  for (;;) {
    const ssize_t got =
        kav::platform::io::pread(fd, chunk, sizeof chunk, static_cast<off_t>(data.size()));
    if (got == 0) return data;
    if (got > 0) {
      data.append(chunk, static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      return std::nullopt;
    }
  }
}

std::FILE* open_regular_at(int directory, const char* name) {
  return open_stream(directory, name, "rb", Links::kStayInTree, Kinds::kRegular);
}

namespace {

constexpr int kNameAttempts = 100;

}  // namespace

AsideFile::AsideFile(int directory) : directory_(directory) {
  for (int attempt = 0; attempt < kNameAttempts && !created_; ++attempt) {
    name_ = fresh_temporary_name();
    fd_ = Descriptor(kav::platform::io::openat(
        directory, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    created_ = static_cast<bool>(fd_);
    if (!created_ && errno != EEXIST) break;
  }
}

AsideFile::AsideFile(int directory, std::string name)
    : directory_(directory), name_(std::move(name)) {
  fd_ = Descriptor(kav::platform::io::openat(
      directory, name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  created_ = static_cast<bool>(fd_);
}

// The file is removed before its descriptor closes.
AsideFile::~AsideFile() {
  if (!created_) return;
  KeepErrno keep;
  kav::platform::io::unlinkat(directory_, name_.c_str(), 0);
}

bool AsideFile::put_in_place(const char* name) {
  if (!created_ || kav::platform::io::renameat(directory_, name_.c_str(), directory_, name) != 0)
    return false;
  created_ = false;  // nothing left to remove
  return true;
}

bool write_through_stream(Descriptor& fd, const StreamWriter& write) {
  std::FILE* out = kav::platform::io::fdopen(fd.get(), "wb");
  if (out == nullptr) return false;
  fd.Release();
  bool written = write(out);
  written =
      written && kav::platform::io::fflush(out) == 0 && kav::platform::io::fsync(fileno(out)) == 0;
  return kav::platform::io::fclose(out) == 0 && written;
}

bool replace_at(int directory, const std::string& name, const StreamWriter& write) {
  const kav::platform::io::WriteSignalsHeld held;
  AsideFile aside(directory);
  return aside && write_through_stream(aside.fd(), write) && aside.put_in_place(name.c_str());
}

std::string fresh_temporary_name() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return kav::platform::io::temporary_name(static_cast<std::uint64_t>(getpid()),
                                           static_cast<std::uint64_t>(now.tv_sec) * 1000000007u ^
                                               static_cast<std::uint64_t>(now.tv_nsec));
}

SplitPath split_path(const char* path) {
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

}  // namespace kav::platform::posix

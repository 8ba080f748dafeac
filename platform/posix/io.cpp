// io.cpp - the POSIX half of the faultable call table (see platform/posix/io.h).
//
// Every wrapper asks kav::platform::io::fault first and fails as the system call fails (-1, or null
// for the directory streams) with the planned errno; otherwise it calls its table entry.  The table
// starts with the C library's own functions.  fopen_regular and create_new_file, the POSIX
// halves of the library's own openings (platform/io.h), are built on the wrappers, fopen_regular
// through the one opener of named files (open_file, platform/posix/file_kit.h).
#include "platform/posix/io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#if defined(__linux__)
#include <sys/sendfile.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iterator>

#include "platform/posix/file_kit.h"

namespace kav::platform::io {
namespace {

#if !defined(__linux__)
// Where the system has no such calls, the table holds stand-ins that refuse (ENOSYS).
ssize_t NoCopyFileRange(int, Offset64 *, int, Offset64 *, size_t, unsigned) {
  errno = ENOSYS;
  return -1;
}
ssize_t NoSendfile(int, int, off_t *, size_t) {
  errno = ENOSYS;
  return -1;
}
int NoSyncFileRange(int, Offset64, Offset64, unsigned) {
  errno = ENOSYS;
  return -1;
}
int NoSyncfs(int) {
  errno = ENOSYS;
  return -1;
}
constexpr auto kCopyFileRange = NoCopyFileRange;
constexpr auto kSendfile = NoSendfile;
constexpr auto kSyncFileRange = NoSyncFileRange;
constexpr auto kSyncfs = NoSyncfs;
#else
constexpr auto kCopyFileRange = ::copy_file_range;
constexpr auto kSendfile = ::sendfile;
constexpr auto kSyncFileRange = ::sync_file_range;
constexpr auto kSyncfs = ::syncfs;
#endif

}  // namespace

SystemCalls &system_calls() {
  static SystemCalls calls{
      ::open,      ::openat,          ::close,    ::read,     ::pread,     ::write,
      ::fsync,     ::fstat,           ::fstatat,  ::stat,     ::lstat,     ::flock,
      ::ftruncate, ::fchmod,          ::mkostemp, ::renameat, ::unlink,    ::unlinkat,
      ::mkdir,     ::mkdirat,         ::rmdir,    ::opendir,  ::fdopendir, ::readdir,
      ::closedir,  ::futimens,        ::realpath, ::dup,      ::fcntl,     ::readlinkat,
      ::symlinkat, ::posix_fallocate, ::mmap,     ::statvfs,  ::fdopen,    kCopyFileRange,
      kSendfile,   kSyncFileRange,    kSyncfs};
  return calls;
}

int open(const char *path, int flags, mode_t mode) {
  return fault("open") ? -1 : system_calls().open(path, flags, mode);
}

int openat(int directory, const char *path, int flags, mode_t mode) {
  return fault("openat") ? -1 : system_calls().openat(directory, path, flags, mode);
}

int close(int fd) {
  const bool failed = fault("close");
  const int error = errno;
  const int result = system_calls().close(fd);
  if (!failed) return result;
  errno = error;
  return -1;
}

ssize_t read(int fd, void *data, size_t size) {
  return fault("read") ? -1 : system_calls().read(fd, data, size);
}

ssize_t pread(int fd, void *data, size_t size, off_t offset) {
  return fault("pread") ? -1 : system_calls().pread(fd, data, size, offset);
}

ssize_t write(int fd, const void *data, size_t size) {
  return fault("write") ? -1 : system_calls().write(fd, data, size);
}

int fsync(int fd) { return fault("fsync") ? -1 : system_calls().fsync(fd); }

int fstat(int fd, struct stat *status) {
  return fault("fstat") ? -1 : system_calls().fstat(fd, status);
}

int fstatat(int directory, const char *path, struct stat *status, int flags) {
  return fault("fstatat") ? -1 : system_calls().fstatat(directory, path, status, flags);
}

int stat(const char *path, struct stat *status) {
  return fault("stat") ? -1 : system_calls().stat(path, status);
}

int lstat(const char *path, struct stat *status) {
  return fault("lstat") ? -1 : system_calls().lstat(path, status);
}

int flock(int fd, int operation) {
  return fault("flock") ? -1 : system_calls().flock(fd, operation);
}

int ftruncate(int fd, off_t size) {
  return fault("ftruncate") ? -1 : system_calls().ftruncate(fd, size);
}

int fchmod(int fd, mode_t mode) { return fault("fchmod") ? -1 : system_calls().fchmod(fd, mode); }

int mkostemp(char *name_template, int flags) {
  return fault("mkostemp") ? -1 : system_calls().mkostemp(name_template, flags);
}

int renameat(int from_directory, const char *from, int to_directory, const char *to) {
  return fault("renameat") ? -1 : system_calls().renameat(from_directory, from, to_directory, to);
}

int unlink(const char *path) { return fault("unlink") ? -1 : system_calls().unlink(path); }

int unlinkat(int directory, const char *path, int flags) {
  return fault("unlinkat") ? -1 : system_calls().unlinkat(directory, path, flags);
}

int mkdir(const char *path, mode_t mode) {
  return fault("mkdir") ? -1 : system_calls().mkdir(path, mode);
}

int mkdirat(int directory, const char *path, mode_t mode) {
  return fault("mkdirat") ? -1 : system_calls().mkdirat(directory, path, mode);
}

int rmdir(const char *path) { return fault("rmdir") ? -1 : system_calls().rmdir(path); }

DIR *opendir(const char *path) { return fault("opendir") ? nullptr : system_calls().opendir(path); }

DIR *fdopendir(int fd) { return fault("fdopendir") ? nullptr : system_calls().fdopendir(fd); }

struct dirent *readdir(DIR *directory) {
  return fault("readdir") ? nullptr : system_calls().readdir(directory);
}

int closedir(DIR *directory) {
  const bool failed = fault("closedir");
  const int error = errno;
  const int result = system_calls().closedir(directory);
  if (!failed) return result;
  errno = error;
  return -1;
}

int futimens(int fd, const struct timespec times[2]) {
  return fault("futimens") ? -1 : system_calls().futimens(fd, times);
}

char *realpath(const char *path, char *resolved) {
  return fault("realpath") ? nullptr : system_calls().realpath(path, resolved);
}

std::FILE *fopen_regular(const char *path, const char *mode) {
  using kav::platform::posix::Kinds;
  using kav::platform::posix::Links;
  return kav::platform::posix::open_stream(AT_FDCWD, path, mode, Links::kFollow, Kinds::kRegular);
}

namespace {

constexpr int kWriteSignals[] = {SIGXFSZ, SIGPIPE};

// The held signals that are members of set, a bit each.
unsigned WriteSignalsIn(const sigset_t &set) {
  unsigned bits = 0;
  for (unsigned i = 0; i < std::size(kWriteSignals); ++i)
    if (sigismember(&set, kWriteSignals[i]) == 1) bits |= 1u << i;
  return bits;
}

}  // namespace

WriteSignalsHeld::WriteSignalsHeld() {
  const KeepErrno keep;
  sigset_t held, before, pending;
  sigemptyset(&held);
  for (const int signal : kWriteSignals) sigaddset(&held, signal);
  if (pthread_sigmask(SIG_BLOCK, &held, &before) != 0) {
    blocked_ = pending_ = ~0u;  // nothing was changed, so nothing is to be undone
    return;
  }
  blocked_ = WriteSignalsIn(before);
  pending_ = sigpending(&pending) == 0 ? WriteSignalsIn(pending) : ~0u;
}

// A signal that became pending in the scope was raised by its writes: it is taken (with no
// wait) before the signals are let through again.
WriteSignalsHeld::~WriteSignalsHeld() {
  const KeepErrno keep;
  sigset_t pending, unblock;
  sigemptyset(&unblock);
  const unsigned now = sigpending(&pending) == 0 ? WriteSignalsIn(pending) : 0;
  for (unsigned i = 0; i < std::size(kWriteSignals); ++i) {
    const unsigned bit = 1u << i;
    if ((now & bit) != 0 && (pending_ & bit) == 0) {
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, kWriteSignals[i]);
      const timespec no_wait{};
      while (sigtimedwait(&one, nullptr, &no_wait) < 0 && errno == EINTR) {
      }
    }
    if ((blocked_ & bit) == 0) sigaddset(&unblock, kWriteSignals[i]);
  }
  pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
}

bool create_new_file(const char *path) {
  const int fd =
      kav::platform::io::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) return false;
  kav::platform::io::close(fd);
  return true;
}

int dup(int fd) { return fault("dup") ? -1 : system_calls().dup(fd); }

int fcntl(int fd, int command, int argument) {
  return fault("fcntl") ? -1 : system_calls().fcntl(fd, command, argument);
}

ssize_t readlinkat(int directory, const char *path, char *target, size_t size) {
  return fault("readlinkat") ? -1 : system_calls().readlinkat(directory, path, target, size);
}

int symlinkat(const char *target, int directory, const char *path) {
  return fault("symlinkat") ? -1 : system_calls().symlinkat(target, directory, path);
}

int posix_fallocate(int fd, off_t offset, off_t length) {
  return fault("posix_fallocate") ? errno : system_calls().posix_fallocate(fd, offset, length);
}

void *mmap(void *address, size_t length, int protection, int flags, int fd, off_t offset) {
  return fault("mmap") ? MAP_FAILED
                       : system_calls().mmap(address, length, protection, flags, fd, offset);
}

int statvfs(const char *path, struct statvfs *status) {
  return fault("statvfs") ? -1 : system_calls().statvfs(path, status);
}

std::FILE *fdopen(int fd, const char *mode) {
  return fault("fdopen") ? nullptr : system_calls().fdopen(fd, mode);
}

ssize_t copy_file_range(int in, Offset64 *in_offset, int out, Offset64 *out_offset, size_t size,
                        unsigned flags) {
  return fault("copy_file_range")
             ? -1
             : system_calls().copy_file_range(in, in_offset, out, out_offset, size, flags);
}

ssize_t sendfile(int out, int in, off_t *offset, size_t size) {
  return fault("sendfile") ? -1 : system_calls().sendfile(out, in, offset, size);
}

int sync_file_range(int fd, Offset64 offset, Offset64 size, unsigned flags) {
  return fault("sync_file_range") ? -1 : system_calls().sync_file_range(fd, offset, size, flags);
}

int syncfs(int fd) { return fault("syncfs") ? -1 : system_calls().syncfs(fd); }

}  // namespace kav::platform::io

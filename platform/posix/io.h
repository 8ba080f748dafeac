// io.h - the POSIX file system calls of the platform layer, through the faultable call table.
//
// The POSIX half of platform/io.h: platform/posix code calls kav::platform::io::open,
// kav::platform::io::write, kav::platform::io::fsync and the rest instead of the system's
// functions, so that a test can make any one of them fail (fail_call in platform/io.h) or replace
// it in system_calls().  Each wrapper keeps the system function's arguments and results; a faulted
// close still closes the descriptor and a faulted closedir still closes the stream.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/io.h"

namespace kav::platform::io {

// The 64-bit offsets of copy_file_range and sync_file_range, also in 32-bit builds.
#if defined(__linux__)
using Offset64 = loff_t;
#else
using Offset64 = off_t;
#endif

struct SystemCalls {
  int (*open)(const char *path, int flags, ...);
  int (*openat)(int directory, const char *path, int flags, ...);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void *data, size_t size);
  ssize_t (*pread)(int fd, void *data, size_t size, off_t offset);
  ssize_t (*write)(int fd, const void *data, size_t size);
  int (*fsync)(int fd);
  int (*fstat)(int fd, struct stat *status);
  int (*fstatat)(int directory, const char *path, struct stat *status, int flags);
  int (*stat)(const char *path, struct stat *status);
  int (*lstat)(const char *path, struct stat *status);
  int (*flock)(int fd, int operation);
  int (*ftruncate)(int fd, off_t size);
  int (*fchmod)(int fd, mode_t mode);
  int (*mkostemp)(char *name_template, int flags);
  int (*renameat)(int from_directory, const char *from, int to_directory, const char *to);
  int (*unlink)(const char *path);
  int (*unlinkat)(int directory, const char *path, int flags);
  int (*mkdir)(const char *path, mode_t mode);
  int (*mkdirat)(int directory, const char *path, mode_t mode);
  int (*rmdir)(const char *path);
  DIR *(*opendir)(const char *path);
  DIR *(*fdopendir)(int fd);
  struct dirent *(*readdir)(DIR *directory);
  int (*closedir)(DIR *directory);
  int (*futimens)(int fd, const struct timespec times[2]);
  char *(*realpath)(const char *path, char *resolved);
  int (*dup)(int fd);
  int (*fcntl)(int fd, int command, ...);
  ssize_t (*readlinkat)(int directory, const char *path, char *target, size_t size);
  int (*symlinkat)(const char *target, int directory, const char *path);
  int (*posix_fallocate)(int fd, off_t offset, off_t length);
  void *(*mmap)(void *address, size_t length, int protection, int flags, int fd, off_t offset);
  int (*statvfs)(const char *path, struct statvfs *status);
  std::FILE *(*fdopen)(int fd, const char *mode);
  // The calls by which copies move bytes and start and wait for their writing (Linux; elsewhere
  // they fail with ENOSYS and the copies fall back to read, write and fsync).
  ssize_t (*copy_file_range)(int in, Offset64 *in_offset, int out, Offset64 *out_offset,
                             size_t size, unsigned flags);
  ssize_t (*sendfile)(int out, int in, off_t *offset, size_t size);
  int (*sync_file_range)(int fd, Offset64 offset, Offset64 size, unsigned flags);
  int (*syncfs)(int fd);
};

// The table in use; tests may replace entries and must restore them.
SystemCalls &system_calls();

int open(const char *path, int flags, mode_t mode = 0);
int openat(int directory, const char *path, int flags, mode_t mode = 0);
int close(int fd);
ssize_t read(int fd, void *data, size_t size);
ssize_t pread(int fd, void *data, size_t size, off_t offset);
ssize_t write(int fd, const void *data, size_t size);
int fsync(int fd);
int fstat(int fd, struct stat *status);
int fstatat(int directory, const char *path, struct stat *status, int flags);
int stat(const char *path, struct stat *status);
int lstat(const char *path, struct stat *status);
int flock(int fd, int operation);
int ftruncate(int fd, off_t size);
int fchmod(int fd, mode_t mode);
int mkostemp(char *name_template, int flags);
int renameat(int from_directory, const char *from, int to_directory, const char *to);
int unlink(const char *path);
int unlinkat(int directory, const char *path, int flags);
int mkdir(const char *path, mode_t mode);
int mkdirat(int directory, const char *path, mode_t mode);
int rmdir(const char *path);
DIR *opendir(const char *path);
DIR *fdopendir(int fd);
struct dirent *readdir(DIR *directory);
int closedir(DIR *directory);
int futimens(int fd, const struct timespec times[2]);
char *realpath(const char *path, char *resolved);  // null on failure, as the real one
int dup(int fd);
int fcntl(int fd, int command, int argument = 0);
ssize_t readlinkat(int directory, const char *path, char *target, size_t size);
int symlinkat(const char *target, int directory, const char *path);
// posix_fallocate reports its error as its result (errno untouched), mmap fails with MAP_FAILED,
// and a failed fdopen leaves the descriptor to its caller, as the real ones do.
int posix_fallocate(int fd, off_t offset, off_t length);
void *mmap(void *address, size_t length, int protection, int flags, int fd, off_t offset);
int statvfs(const char *path, struct statvfs *status);
std::FILE *fdopen(int fd, const char *mode);
ssize_t copy_file_range(int in, Offset64 *in_offset, int out, Offset64 *out_offset, size_t size,
                        unsigned flags);
ssize_t sendfile(int out, int in, off_t *offset, size_t size);
int sync_file_range(int fd, Offset64 offset, Offset64 size, unsigned flags);
int syncfs(int fd);

}  // namespace kav::platform::io

// io.h - the file operations the library makes, through one table of calls that tests can fault.
//
// The families never call the C library's stream functions directly: they call
// kav::platform::io::fopen, kav::platform::io::fwrite and the rest, and the POSIX platform layer
// calls the system's file functions through platform/posix/io.h the same way.  Each wrapper first
// asks the fault plan whether this call is the one that must fail, then calls the entry of its
// table, which is the C library's own function unless a test put another there (to make writes
// short, say).
//
// A test arms the plan with fail_call(name, k, error): the k-th call from then on whose name is
// `name` (any call when name is null) fails as the real call fails (a null stream, a short count,
// EOF or -1) with errno set to error; the calls before and after it run normally.  A faulted
// fclose or close still releases the stream or descriptor, as the real ones do when they report
// an error.  calls_made() counts the calls since the plan was last armed, so that a sweep knows
// when k has passed the last call of the operation under test.  The plan is process-wide test
// state held in atomics; when it is not armed a call costs one relaxed load.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kav::platform::io {

// The C library's stream functions as the library uses them.
struct StreamCalls {
  std::FILE *(*fopen)(const char *path, const char *mode);
  int (*fclose)(std::FILE *stream);
  std::size_t (*fread)(void *data, std::size_t size, std::size_t count, std::FILE *stream);
  std::size_t (*fwrite)(const void *data, std::size_t size, std::size_t count, std::FILE *stream);
  char *(*fgets)(char *line, int size, std::FILE *stream);
  int (*fputs)(const char *text, std::FILE *stream);
  int (*fflush)(std::FILE *stream);
  int (*fseek)(std::FILE *stream, long offset, int origin);
  long (*ftell)(std::FILE *stream);
  int (*rename)(const char *from, const char *to);
  int (*remove)(const char *path);
};

// The table in use; tests may replace entries and must restore them.
StreamCalls &stream_calls();

// Arms the fault plan (see above); fail_call(nullptr, 0, 0) disarms it.
void fail_call(const char *name, long k, int error);
// Calls counted since the plan was last armed or disarmed.
long calls_made();

// True when this call, named name, is the one to fail; then errno is set.  For the wrappers.
bool fault(const char *name);

std::FILE *fopen(const char *path, const char *mode);
int fclose(std::FILE *stream);
std::size_t fread(void *data, std::size_t size, std::size_t count, std::FILE *stream);
std::size_t fwrite(const void *data, std::size_t size, std::size_t count, std::FILE *stream);
char *fgets(char *line, int size, std::FILE *stream);
int fputs(const char *text, std::FILE *stream);
int fflush(std::FILE *stream);
int fseek(std::FILE *stream, long offset, int origin);
long ftell(std::FILE *stream);
int rename(const char *from, const char *to);
int remove(const char *path);

// The library's own openings of files by name.  Both keep the file from child processes
// (close-on-exec on POSIX, not inherited on Windows) and are faulted and counted as the calls
// they make ("open" and "fstat" on POSIX, "fopen" and "open" on Windows).
//
// fopen_regular opens path for reading (mode "r" or "rb") only when it is a regular file: a
// directory gives null with EISDIR, a device, FIFO or socket null with EINVAL, and none of them
// is waited on or read.  A link is followed to the file it names.  create_new_file creates path as
// an empty file when nothing has that name; it never truncates or opens what is there (false with
// EEXIST).
std::FILE *fopen_regular(const char *path, const char *mode);
bool create_new_file(const char *path);

// A fresh name for a temporary entry, ".kav-" and 16 hexadecimal digits: a counter, the process
// id and the clock mixed (splitmix64), so that names differ within a process and, almost surely,
// between processes; a clash only costs another try of the exclusive create.
std::string temporary_name(std::uint64_t process, std::uint64_t clock);

// Holds back, on the calling thread and while it lives, the signals by which a write can end the
// process: SIGXFSZ for a write past the file-size limit (RLIMIT_FSIZE) and SIGPIPE for a write to
// a pipe that no one reads.  Such a write then fails (EFBIG, EPIPE) and the call reports it with
// its failure result; a signal the write raised is taken back before the mask is restored.
// Nothing on Windows, which has neither.  Scopes may nest.
class WriteSignalsHeld {
 public:
  WriteSignalsHeld();
  ~WriteSignalsHeld();
  WriteSignalsHeld(const WriteSignalsHeld &) = delete;
  WriteSignalsHeld &operator=(const WriteSignalsHeld &) = delete;

 private:
  unsigned blocked_ = 0;  // the held signals that were blocked before (a bit each)
  unsigned pending_ = 0;  // and those that were pending before
};

// Keeps errno across clean-up calls, so that the caller sees the error of the call that failed.
class KeepErrno {
 public:
  KeepErrno() : saved_(errno) {}
  ~KeepErrno() { errno = saved_; }
  KeepErrno(const KeepErrno &) = delete;
  KeepErrno &operator=(const KeepErrno &) = delete;

 private:
  int saved_;
};

}  // namespace kav::platform::io

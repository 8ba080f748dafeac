// files.h - what the POSIX file services (files.cpp) and tree walks (trees.cpp) share: an owned
// descriptor, regular files opened relative to a directory, and the write-aside-then-rename
// replacement of a file.  Every call goes through the I/O seam (platform/posix/io.h).
#pragma once

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/io.h"
#include "platform/platform.h"

namespace kav::platform::posix {

// A descriptor closed when it goes out of scope.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release();
  void Reset();
  bool Close();  // closes now: false when the close reports an error

 private:
  int fd_ = -1;
};

using KeepErrno = kav::io::KeepErrno;

// Opens name in directory for binary reading when it is a regular file: no link is followed and
// a FIFO does not block the open.  Null (errno set) otherwise.
std::FILE* OpenRegularAt(int directory, const char* name);

// replace_file with the destination's directory held open.
bool ReplaceAt(int directory, const std::string& name, const StreamWriter& write);

// A path cut at its last separator; trailing separators are noted and dropped (a root stays).
// The directory of a bare name is ".".
struct SplitPath {
  std::string directory;
  std::string name;
  bool trailing = false;
};
SplitPath Split(const char* path);

// A fresh name for a temporary entry: ".kav-" and 16 hexadecimal digits.
std::string TemporaryName();

}  // namespace kav::platform::posix

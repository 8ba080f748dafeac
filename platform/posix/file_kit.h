// file_kit.h - the POSIX file kit: what every POSIX family that touches files shares, written
// once.  An owned descriptor, the one opener of files given by name, path splitting and fresh
// temporary names; file_kit.cpp holds them.  The file utilities (files.cpp), the profile engine
// (profile_file.cpp), the registry stand-in (registry.cpp), the tree walks (trees.cpp) and the
// launchers (process.cpp) use them.  Every call goes through the I/O seam (platform/posix/io.h).
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

using KeepErrno = kav::platform::io::KeepErrno;

// The one way the POSIX families open a file they are given by name (open_file).  The open never
// waits: it is made with O_NONBLOCK, which is cleared once the file's kind is known, so that a
// FIFO without a peer or a terminal without carrier cannot hold the call, and the reads and
// writes that follow behave as on any file.  The descriptor is close-on-exec, and a terminal never
// becomes the caller's controlling terminal (O_NOCTTY).
//
// Links: a file the caller names follows links to what they lead to, as Windows' CopyFile and
// ReadFile read through links; an entry of a tree being walked is never followed (ELOOP), so
// that a walk never leaves its tree.
enum class Links { kFollow, kStayInTree };

// Kinds: kRegular takes regular files only (a directory gives EISDIR, anything else EINVAL);
// kStream also takes character devices and FIFOs that have a peer: a reader when the FIFO is
// opened for writing, a writer (or bytes still to read) when it is opened for reading.  A FIFO
// without one gives ENXIO, as the system gives it to a writer that finds no reader.  Block
// devices and sockets are never opened (EINVAL, ENXIO).
enum class Kinds { kRegular, kStream };

// Opens name (relative to directory, or AT_FDCWD) with flags, the access mode and any of
// O_APPEND, O_CREAT and O_EXCL; a file created gets mode (less the umask).  A file that this call
// created exclusively (O_CREAT | O_EXCL) is removed again when it is then refused.  status, when
// given, receives the file's status.  An empty descriptor (errno set) when the file does not open
// or is refused.
Descriptor open_file(int directory, const char* name, int flags, Links links, Kinds kinds,
                     struct stat* status = nullptr, mode_t mode = 0666);

// open_file for reading, as a binary stream of the C library (mode "r" or "rb").
std::FILE* open_stream(int directory, const char* name, const char* mode, Links links, Kinds kinds);

// A regular file of a tree being walked, for binary reading: open_stream(kStayInTree, kRegular).
std::FILE* open_regular_at(int directory, const char* name);

// A directory the caller names, links followed (open_directory), or an entry of a tree being
// walked, never a link (open_directory_at: ELOOP or ENOTDIR).  Read-only and close-on-exec.
Descriptor open_directory(const char* path);
Descriptor open_directory_at(int directory, const char* name);

// A directory stream, closed when it goes out of scope.
struct ListingCloser {
  void operator()(DIR* listing) const;
};
using Listing = std::unique_ptr<DIR, ListingCloser>;

// A stream over the entries of the directory path names, or of the open directory fd (which the
// stream takes once it is made).  Empty, errno set, when it cannot be made.
Listing open_listing(const char* path);
Listing open_listing(Descriptor fd);

// Writes all of bytes to fd, retrying after a signal and after a short write; false (errno set
// by the failing write) when a write fails or takes nothing.  done, when given, counts the bytes
// that reached the file.
bool write_all(int fd, std::string_view bytes, std::size_t* done = nullptr);

// Everything from fd's start to its end, read with pread (fd's offset stays); expected_size
// reserves room.  Nothing, errno set, when a read fails.
std::optional<std::string> read_all(int fd, std::size_t expected_size = 0);

// A new file written aside, under a temporary name, and then renamed over its destination, so
// that readers, and a crash at any moment, see the old file or the new one, never a mix.  Unless
// it is put in place, the file is removed again when this goes out of scope.
class AsideFile {
 public:
  // Creates the file in directory under a fresh temporary name (fresh_temporary_name),
  // exclusively and never through a link, trying other names while the name is taken.
  explicit AsideFile(int directory);
  // Creates the file under name in directory, exclusively and never through a link; a name that
  // is taken leaves it uncreated (EEXIST).
  AsideFile(int directory, std::string name);
  AsideFile(const AsideFile&) = delete;
  AsideFile& operator=(const AsideFile&) = delete;
  ~AsideFile();

  explicit operator bool() const { return created_; }  // false, errno set, when not created
  Descriptor& fd() { return fd_; }
  const std::string& name() const { return name_; }
  // Renames the file over name, in the same directory; false, errno set, when that fails.
  bool put_in_place(const char* name);
  // Gives up the name: the file is no longer removed by name when this goes out of scope, for a
  // name that may lead to another file by then.
  void disown() { created_ = false; }

 private:
  int directory_;
  std::string name_;
  Descriptor fd_;
  bool created_ = false;
};

// Runs write on a binary stream over fd (which the stream takes), then flushes the stream and
// the file to disk and closes it.  True when all of it succeeded.
bool write_through_stream(Descriptor& fd, const StreamWriter& write);

// replace_file with the destination's directory held open: an AsideFile written through a
// stream.  Writes past the file-size limit fail instead of ending the process.
bool replace_at(int directory, const std::string& name, const StreamWriter& write);

// A path cut at its last separator; trailing separators are noted and dropped (a root stays).
// The directory of a bare name is ".".
struct SplitPath {
  std::string directory;
  std::string name;
  bool trailing = false;
};
SplitPath split_path(const char* path);

// A fresh name for a temporary entry: ".kav-" and 16 hexadecimal digits.
std::string fresh_temporary_name();

}  // namespace kav::platform::posix

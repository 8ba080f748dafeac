// streams.cpp - standard I/O streams on POSIX, opened by the one opener of named files (open_file,
// platform/posix/file_kit.h): close-on-exec, links followed, never waiting on the open.  Regular
// files, character devices and FIFOs with a writer are opened; a FIFO without one is a file that
// does not open.
#include "platform/streams.h"

#include <fcntl.h>

#include "platform/posix/file_kit.h"

namespace kav::platform {

std::FILE *open_byte_stream(const char *path) {
  using posix::Kinds;
  using posix::Links;
  return posix::open_stream(AT_FDCWD, path, "rb", Links::kFollow, Kinds::kStream);
}

}  // namespace kav::platform

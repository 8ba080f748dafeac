// streams.h - standard I/O streams that the library opens for its callers.
//
// A stream handed to a caller must not leak into the programs the caller starts, so the
// descriptor under it is opened close-on-exec (POSIX) or not inheritable (Windows).
#pragma once

#include <cstdio>

namespace kav::platform {

// Opens an existing file for reading in byte mode ("rb"); null when it cannot be opened.  The open
// never waits: on POSIX a FIFO that no writer has open counts as a file that does not open.
std::FILE *open_byte_stream(const char *path);

}  // namespace kav::platform

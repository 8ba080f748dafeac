// streams.h - standard I/O streams that the library opens for its callers.
//
// A stream handed to a caller must not leak into the programs the caller starts, so the
// descriptor under it is opened close-on-exec (POSIX) or not inheritable (Windows).
#pragma once

#include <cstdio>

namespace kav::platform {

// Opens an existing file for reading in byte mode ("rb"); null when it cannot be opened.
std::FILE *open_byte_stream(const char *path);

// Whether the stream delivers the file's bytes as they are: always on POSIX; on Windows, a stream
// in binary mode, not one in text mode, which turns CR LF into LF and stops at Ctrl-Z.
bool is_byte_stream(std::FILE *stream);

}  // namespace kav::platform

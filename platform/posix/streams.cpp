// streams.cpp - standard I/O streams on POSIX: the C library's fopen through the I/O seam, with "e"
// for O_CLOEXEC; there is no text mode.
#include "platform/streams.h"

#include "platform/io.h"

namespace kav::platform {

std::FILE *open_byte_stream(const char *path) { return kav::io::fopen(path, "rbe"); }

bool is_byte_stream(std::FILE *) { return true; }

}  // namespace kav::platform

// streams.cpp - standard I/O streams on POSIX: the C library's fopen through the I/O seam, with "e"
// for O_CLOEXEC.
#include "platform/streams.h"

#include "platform/io.h"

namespace kav::platform {
std::FILE *open_byte_stream(const char *path) { return kav::io::fopen(path, "rbe"); }

}  // namespace kav::platform

// streams.cpp - standard I/O streams on Windows.  The C runtime's fopen has no mode letter that
// every runtime version knows for "not inherited", so the file is opened with _open and
// _O_NOINHERIT and the stream put on it with _fdopen.  The open asks the I/O seam's fault plan
// first (as "open").
#include "platform/streams.h"

#include <fcntl.h>
#include <io.h>

#include "platform/io.h"

namespace kav::platform {

std::FILE *open_byte_stream(const char *path) {
  if (kav::platform::io::fault("open")) return nullptr;
  const int descriptor = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (descriptor < 0) return nullptr;
  std::FILE *stream = _fdopen(descriptor, "rb");
  if (stream == nullptr) _close(descriptor);
  return stream;
}

}  // namespace kav::platform

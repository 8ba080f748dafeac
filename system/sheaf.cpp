// sheaf.cpp - colon record files: one keyed record a line, fields separated by ':'.
//
// sheaf_next reads the stream with fgets into the record's 1024-byte line: one line a call, a
// line longer than 1023 characters in pieces of 1023 that count as lines of their own, until a
// piece begins with the key and a colon.  The matched piece is split in place in one pass; the
// stream is left right after it.  The C library's buffered fgets keeps a search through a large
// file close to the speed of grep (docs/performance.md), so no reading of our own is needed.
// Every read, seek and close goes through the I/O seam (platform/io.h).  sheaf_open opens regular
// files, devices and pipes alike, and never waits (platform/streams.h: a FIFO without a writer is
// a file that does not open).
//
// A search starts where the stream is, also after an earlier one reached the end: the stream is
// first sought to where it is, which clears its end-of-file flag (and, in the Windows runtime,
// the descriptor's own), so that sheaf_next finds lines appended since, as sheaf_first (whose
// rewind does the same) always did.  A stream that cannot seek (a pipe) has the flag cleared.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kavutil.h"
#include "platform/io.h"
#include "platform/streams.h"

namespace {

// Splits record->line at its colons into at most 16 fields in one pass, turning every '|' into
// ':' and removing one LF and then one CR from the end of the last field.  A line of more than 16
// fields is outside the format: its 16th field keeps the rest of the line, colons included, so
// nothing of the line is lost and nothing is written outside the record.  Unused fields point at
// the NUL that ends the last field, an empty string inside the record.
void SplitLine(sheaf_record* record) {
  char* field = record->line;
  char* at = record->line;
  std::uint32_t count = 0;
  for (; *at != '\0'; ++at) {
    if (*at == ':' && count < SHEAF_MAX_FIELDS - 1) {
      *at = '\0';
      record->fields[count++] = field;
      field = at + 1;
    } else if (*at == '|') {
      *at = ':';
    }
  }
  if (at > field && at[-1] == '\n') *--at = '\0';
  if (at > field && at[-1] == '\r') *--at = '\0';
  record->fields[count++] = field;
  for (std::uint32_t i = count; i < SHEAF_MAX_FIELDS; ++i) record->fields[i] = at;
  record->count = count;
}

int NotFound(sheaf_record* record) {
  record->line[0] = '\0';
  record->count = 0;
  for (char*& field : record->fields) field = record->line;
  return 1;
}

struct Key {
  const char* text;
  std::size_t length;
};

// Reads pieces as fgets gives them until one begins with the key and a colon, and splits it.
// False at the end of the stream (or a read error, which ends it as for fgets).
bool ReadLine(Key key, sheaf_record* record, std::FILE* stream) {
  while (kav::platform::io::fgets(record->line, SHEAF_LINE_SIZE, stream) != nullptr) {
    // strncmp stops at the piece's NUL before it could pass the line's end.
    if (std::strncmp(record->line, key.text, key.length) == 0 && record->line[key.length] == ':') {
      SplitLine(record);
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" {

KAV_API FILE* KAV_CALL sheaf_open(const char* path) KAV_NOEXCEPT {
  return path == nullptr ? nullptr : kav::platform::open_byte_stream(path);
}

KAV_API int KAV_CALL sheaf_close(FILE* stream) KAV_NOEXCEPT {
  return stream == nullptr ? EOF : kav::platform::io::fclose(stream);
}

KAV_API int KAV_CALL sheaf_next(const char* key, sheaf_record* record, FILE* stream) KAV_NOEXCEPT {
  if (record == nullptr) return 1;
  if (stream == nullptr) return NotFound(record);
  if (std::feof(stream) && kav::platform::io::fseek(stream, 0, SEEK_CUR) != 0)
    std::clearerr(stream);
  const Key wanted{key == nullptr ? "" : key, key == nullptr ? 0 : std::strlen(key)};
  return ReadLine(wanted, record, stream) ? 0 : NotFound(record);
}

KAV_API int KAV_CALL sheaf_first(const char* key, sheaf_record* record, FILE* stream) KAV_NOEXCEPT {
  if (stream != nullptr) std::rewind(stream);
  return sheaf_next(key, record, stream);
}

// A value longer than the buffer is outside the format: its first 1023 characters are quoted.
KAV_API char* KAV_CALL sheaf_quote(const char* value) KAV_NOEXCEPT {
  static char quoted[SHEAF_LINE_SIZE];
  const void* end = value == nullptr ? nullptr : std::memchr(value, '\0', sizeof quoted - 1);
  std::size_t length = sizeof quoted - 1;
  if (value == nullptr) length = 0;
  if (end != nullptr) length = static_cast<std::size_t>(static_cast<const char*>(end) - value);
  if (length > 0) std::memcpy(quoted, value, length);
  quoted[length] = '\0';
  std::replace(quoted, quoted + length, ':', '|');
  return quoted;
}
}

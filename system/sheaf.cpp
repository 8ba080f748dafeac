// sheaf.cpp - colon record files: one keyed record a line, fields separated by ':'.
//
// sheaf_next finds what fgets into the record's 1024-byte line finds: one line a call, a line
// longer than 1023 characters in pieces of 1023 that count as lines of their own, until a piece
// begins with the key and a colon.  The matched piece is split in place in one pass; the stream
// is left right after it.  A stream that can seek is searched in blocks of 64 KiB, the pieces cut
// out with memchr and the stream put back after the match (BlockSearch: a missing key in a large
// file costs about what grep -c takes, docs/performance.md); others (pipes, and Windows, whose
// text-mode streams do not hold the file's bytes as they are) go through fgets piece by piece.
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
#include <memory>
#include <new>

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
bool ReadPieces(Key key, sheaf_record* record, std::FILE* stream) {
  while (kav::platform::io::fgets(record->line, SHEAF_LINE_SIZE, stream) != nullptr) {
    // strncmp stops at the piece's NUL before it could pass the line's end.
    if (std::strncmp(record->line, key.text, key.length) == 0 && record->line[key.length] == ':') {
      SplitLine(record);
      return true;
    }
  }
  return false;
}

#if !defined(_WIN32)
// The same search over blocks of the stream: the pieces fgets would give are cut out of each
// block with memchr (a piece ends after a line feed, or after 1023 characters), only the first
// bytes of each are compared, and the stream is put back right after a matched piece.  Its
// results and the stream's place are those of ReadPieces (sheaf_test compares them on random
// files); it saves the call, the lock and the copy that fgets costs for every line.
class BlockSearch {
 public:
  static constexpr std::size_t kBlock = std::size_t{64} << 10;
  static constexpr std::size_t kPiece = SHEAF_LINE_SIZE - 1;

  BlockSearch(Key key, std::FILE* stream, char* buffer)
      : key_(key), stream_(stream), buffer_(buffer) {}

  // 1 found (the record split, the stream after it), 0 not found (the stream at its end or
  // its read error), -1 the stream could not be put back after a match.
  int Run(sheaf_record* record) {
    for (;;) {
      const std::size_t got = kav::platform::io::fread(buffer_ + held_, 1, kBlock - held_, stream_);
      const bool last = got < kBlock - held_;  // the end, or a read error: fgets stops there too
      // At a read error the bytes after the last line feed are no piece (fgets fails on them).
      const bool whole = last && !std::ferror(stream_);
      held_ += got;
      std::size_t at = 0;
      while (held_ - at > 0) {
        const std::size_t piece = PieceAt(at, whole);
        if (piece == 0) break;  // an unfinished piece: more bytes first
        if (Matches(at, piece)) return PutBack(record, at, piece);
        at += piece;
      }
      std::memmove(buffer_, buffer_ + at, held_ - at);
      held_ -= at;
      if (last) return 0;
    }
  }

 private:
  // The length of the piece that starts at at, or 0 when the bytes held cannot tell it yet
  // (ended: no more bytes will come).
  std::size_t PieceAt(std::size_t at, bool ended) const {
    const std::size_t left = held_ - at;
    const std::size_t reach = left < kPiece ? left : kPiece;
    const void* feed = std::memchr(buffer_ + at, '\n', reach);
    if (feed != nullptr)
      return static_cast<std::size_t>(static_cast<const char*>(feed) - (buffer_ + at)) + 1;
    return reach == kPiece || ended ? reach : 0;
  }

  bool Matches(std::size_t at, std::size_t piece) const {
    return piece > key_.length && buffer_[at + key_.length] == ':' &&
           std::memcmp(buffer_ + at, key_.text, key_.length) == 0;
  }

  int PutBack(sheaf_record* record, std::size_t at, std::size_t piece) {
    std::memcpy(record->line, buffer_ + at, piece);
    record->line[piece] = '\0';
    // Back from the end of what was read, at most one block whatever the file's size; the seek
    // also clears the end-of-file flag that the block's read may have set where fgets did not.
    const long back = static_cast<long>(held_ - at - piece);
    if (kav::platform::io::fseek(stream_, -back, SEEK_CUR) != 0) return -1;
    SplitLine(record);
    return 1;
  }

  Key key_;
  std::FILE* stream_;
  char* buffer_;          // kBlock bytes
  std::size_t held_ = 0;  // bytes in buffer_
};
#endif

// The block search where the stream can be put back (a file, on a system whose streams hold
// the file's bytes as they are); fgets piece by piece elsewhere (pipes, Windows' text mode), and
// when the block cannot be had.
bool ReadLine(Key key, sheaf_record* record, std::FILE* stream) {
#if !defined(_WIN32)
  if (kav::platform::io::ftell(stream) >= 0) {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[BlockSearch::kBlock]);
    if (buffer) {
      return BlockSearch(key, stream, buffer.get()).Run(record) == 1;
    }
  }
#endif
  return ReadPieces(key, record, stream);
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

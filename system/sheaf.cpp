// sheaf.cpp - colon record files: one keyed record a line, fields separated by ':'.
//
// sheaf_next behaves as if it read the stream with fgets into the record's 1024-byte line: one
// line a call, a line longer than 1023 characters in pieces of 1023 that count as lines of their
// own, until a piece begins with the key and a colon.  The matched piece is split in place; the
// stream is left right after it.
//
// The first 16 pieces of a call are read with fgets itself: a caller going through records that
// lie close together finds the next one there, and the stream stays where it is.  Beyond them,
// fgets would cost more per line than the search itself, so a stream that can tell its position
// is read in blocks: pieces are cut from the block with memchr and compared where they lie, and
// after a match the stream is put back at the end of the matched piece, exactly where fgets
// would have left it.  The blocks start at 1 KiB and double up to 1 MiB.  A stream whose
// position cannot be told (a pipe), or that does not deliver the file's bytes as they are (a
// Windows text-mode stream turns CR LF into LF), is read with fgets to the end; so is the rest
// of a stream whose position stops moving by the bytes read.  Every read, seek and close goes
// through the I/O seam (platform/io.h), and sheaf_open opens regular files and devices alike.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kavutil.h"
#include "platform/io.h"
#include "platform/memory.h"
#include "platform/streams.h"

namespace {

constexpr std::size_t kPieceLimit = SHEAF_LINE_SIZE - 1;  // what fgets reads into the line
constexpr long kPiecesByLine = 16;
constexpr std::size_t kFirstBlock = 1024;
constexpr std::size_t kLargestBlock = std::size_t{1} << 20;

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

// A piece that holds the key and its colon within fgets' 1023 characters.
bool BeginsWithKey(const char* piece, std::size_t length, Key key) {
  return length > key.length && std::memcmp(piece, key.text, key.length) == 0 &&
         piece[key.length] == ':';
}

enum class Scan { kFound, kEnd, kMore };

// The definition itself: fgets, piece by piece, at most `pieces` of them.
Scan ReadLines(Key key, sheaf_record* record, std::FILE* stream, long pieces) {
  for (; pieces > 0; --pieces) {
    if (kav::io::fgets(record->line, SHEAF_LINE_SIZE, stream) == nullptr) return Scan::kEnd;
    // strncmp stops at the piece's NUL before it could pass the line's end.
    if (std::strncmp(record->line, key.text, key.length) == 0 && record->line[key.length] == ':') {
      SplitLine(record);
      return Scan::kFound;
    }
  }
  return Scan::kMore;
}

int Result(Scan scan, sheaf_record* record) { return scan == Scan::kFound ? 0 : NotFound(record); }

// The stream's bytes from offset `origin` on, as far as they have been read.
class Window {
 public:
  Window(std::FILE* stream, long origin) : stream_(stream), origin_(origin) {}
  ~Window() { kav::memory::release(data_); }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const char* data() const { return data_; }
  std::size_t size() const { return size_; }
  long origin() const { return origin_; }
  bool at_end() const { return at_end_; }

  // Drops the bytes before `keep` and reads the next block behind the rest.  False when the
  // stream cannot be followed byte for byte (memory, or a stream that translates); the window
  // then starts at `keep` and the stream's position is unknown.
  bool Refill(std::size_t keep) {
    if (keep > 0) std::memmove(data_, data_ + keep, size_ - keep);
    size_ -= keep;
    origin_ += static_cast<long>(keep);
    if (!Reserve(size_ + block_)) return false;
    const std::size_t got = kav::io::fread(data_ + size_, 1, block_, stream_);
    const long position = kav::io::ftell(stream_);
    if (position < 0 || position - origin_ != static_cast<long>(size_ + got)) return false;
    size_ += got;
    at_end_ = got < block_;  // the end of the file, or a read error, which ends it as for fgets
    block_ = std::min(block_ * 2, kLargestBlock);
    return true;
  }

 private:
  bool Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return true;
    void* grown = kav::memory::reallocate(data_, capacity);
    if (grown == nullptr) return false;
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
    return true;
  }

  std::FILE* stream_;
  long origin_;
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t block_ = kFirstBlock;
  bool at_end_ = false;
};

struct Piece {
  std::size_t at = 0;
  std::size_t length = 0;
};

// Cuts pieces from the window as fgets would until one begins with the key.  kMore means the
// stream must be read line by line from the window's origin on.
Scan FindPiece(Window& window, Key key, Piece& piece) {
  std::size_t at = 0;
  for (;;) {
    const std::size_t left = window.size() - at;
    const char* start = window.data() + at;
    const void* line_end =
        left == 0 ? nullptr : std::memchr(start, '\n', std::min(left, kPieceLimit));
    std::size_t length = 0;
    if (line_end != nullptr) {
      length = static_cast<std::size_t>(static_cast<const char*>(line_end) - start) + 1;
    } else if (left >= kPieceLimit || (window.at_end() && left > 0)) {
      length = std::min(left, kPieceLimit);
    } else if (window.at_end()) {
      return Scan::kEnd;
    } else {
      if (!window.Refill(at)) return Scan::kMore;
      at = 0;
      continue;
    }
    if (BeginsWithKey(start, length, key)) {
      piece = {at, length};
      return Scan::kFound;
    }
    at += length;
  }
}

int NextByBlocks(Key key, sheaf_record* record, std::FILE* stream, long origin) {
  Window window(stream, origin);
  Piece piece;
  const Scan scan = FindPiece(window, key, piece);
  if (scan == Scan::kFound) {
    std::memcpy(record->line, window.data() + piece.at, piece.length);
    record->line[piece.length] = '\0';
    kav::io::fseek(stream, window.origin() + static_cast<long>(piece.at + piece.length), SEEK_SET);
    SplitLine(record);
    return 0;
  }
  if (scan == Scan::kEnd || kav::io::fseek(stream, window.origin(), SEEK_SET) != 0) {
    return NotFound(record);
  }
  return Result(ReadLines(key, record, stream, LONG_MAX), record);
}

}  // namespace

extern "C" {

KAV_API FILE* KAV_CALL sheaf_open(const char* path) KAV_NOEXCEPT {
  return path == nullptr ? nullptr : kav::platform::open_byte_stream(path);
}

KAV_API int KAV_CALL sheaf_close(FILE* stream) KAV_NOEXCEPT {
  return stream == nullptr ? EOF : kav::io::fclose(stream);
}

KAV_API int KAV_CALL sheaf_next(const char* key, sheaf_record* record, FILE* stream) KAV_NOEXCEPT {
  if (record == nullptr) return 1;
  if (stream == nullptr) return NotFound(record);
  const Key wanted{key == nullptr ? "" : key, key == nullptr ? 0 : std::strlen(key)};
  const Scan first = ReadLines(wanted, record, stream, kPiecesByLine);
  if (first != Scan::kMore) return Result(first, record);
  const long origin = kav::platform::is_byte_stream(stream) ? kav::io::ftell(stream) : -1;
  if (origin < 0) return Result(ReadLines(wanted, record, stream, LONG_MAX), record);
  return NextByBlocks(wanted, record, stream, origin);
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

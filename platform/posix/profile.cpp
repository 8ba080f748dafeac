// profile.cpp - the private-profile (INI) functions on POSIX: Windows' GetPrivateProfile*A and
// WritePrivateProfile*A rebuilt over IniDocument.
//
// A file name without a separator means that file in the Windows directory, a null name its
// win.ini; any other name is a path as given.  Files are decoded before parsing: bytes as they
// are, the bytes after a UTF-8 byte-order mark, or UTF-16 (with its mark) converted to UTF-8.
// A write encodes the edited text the same way again, mark included.
//
// Reads share a process-wide cache of parsed files, checked on every call against stat()
// (device, inode, size, modification and change times), so an unchanged file is parsed once and
// a file that someone changed or removed is seen at the next call.  (Only a change that keeps
// the inode number and the size and lands within the same tick of the file system's clock as the
// cached version can go unseen.)
//
// A write holds flock(LOCK_EX) on the file, reads it through the locked descriptor, edits the
// lines concerned and replaces the file: a temporary file beside it is written, fsync'ed, given
// the old permission bits and renamed over it.  Readers, and a crash at any moment, see the old
// file or the new one, never a mix; concurrent writers lose no update, because one that locked a
// file already replaced by another starts again on the new one.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/ini_document.h"

namespace kav::platform {
namespace {

using posix::IniDocument;

// ---------------------------------------------------------------------------
// File names and descriptors
// ---------------------------------------------------------------------------

std::optional<std::string> ResolvePath(const char* file) {
  const std::string name = file == nullptr ? "win.ini" : file;
  if (name.empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  if (name.find_first_of("/\\") != std::string::npos) return name;
  const auto windows = special_folder(Folder::kWindows);
  if (!windows) {
    errno = ENOENT;
    return std::nullopt;
  }
  return *windows + '/' + name;
}

// A write replaces the file a symbolic link points to, not the link.
std::string WriteTarget(const std::string& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string target(resolved);
  std::free(resolved);
  return target;
}

bool IsRegularFile(const struct stat& status) {
  if (S_ISREG(status.st_mode)) return true;
  errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
  return false;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ < 0) return;
    const int error = errno;
    close(fd_);
    errno = error;
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

std::optional<std::string> ReadAll(int fd) {
  std::string data;
  char chunk[65536];
  for (;;) {
    const ssize_t got = pread(fd, chunk, sizeof chunk, static_cast<off_t>(data.size()));
    if (got == 0) return data;
    if (got > 0) {
      data.append(chunk, static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      return std::nullopt;
    }
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(put));
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

bool LockExclusively(int fd) {
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Encodings
// ---------------------------------------------------------------------------

enum class Encoding { kBytes, kUtf8Marked, kUtf16Le, kUtf16Be };

struct DecodedText {
  Encoding encoding;
  std::string text;
};

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int continuations = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  static constexpr unsigned char kLeads[] = {0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLeads[continuations] | (c >> (6 * continuations)));
  for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6) {
    out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
  }
}

// Unpaired surrogates become three-byte sequences of their own, so that converting back gives
// the file's code units again.  An odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  const auto unit = [&](std::size_t at) -> uint32_t {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    return big_endian ? (first << 8 | second) : (second << 8 | first);
  };
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    uint32_t c = unit(at);
    if (c >= 0xD800 && c < 0xDC00 && at + 3 < bytes.size()) {
      const uint32_t low = unit(at + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        at += 2;
      }
    }
    AppendUtf8(out, c);
  }
  return out;
}

// The code point at text[at], advancing at; a byte that starts no valid sequence reads as
// U+FFFD.  Surrogates encoded on their own are accepted (see Utf16ToUtf8).
uint32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead < 0x80   ? 1
                             : lead < 0xC2 ? 0
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF5 ? 4
                                           : 0;
  if (length == 1) return text[at++] & 0x7F;
  if (length == 0 || text.size() - at < length) {
    ++at;
    return 0xFFFD;
  }
  uint32_t c = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    c = c << 6 | (next & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[length] || c > 0x10FFFF) {
    ++at;
    return 0xFFFD;
  }
  at += length;
  return c;
}

std::string Utf8ToUtf16(std::string_view text, bool big_endian) {
  std::string out;
  out.reserve(text.size() * 2);
  const auto put = [&](uint32_t unit) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += big_endian ? high : low;
    out += big_endian ? low : high;
  };
  for (std::size_t at = 0; at < text.size();) {
    const uint32_t c = NextCodePoint(text, at);
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return out;
}

DecodedText Decode(std::string raw) {
  const std::string_view bytes(raw);
  if (bytes.starts_with(kUtf8Mark)) return {Encoding::kUtf8Marked, raw.substr(kUtf8Mark.size())};
  if (bytes.starts_with(kUtf16LeMark)) {
    return {Encoding::kUtf16Le, Utf16ToUtf8(bytes.substr(kUtf16LeMark.size()), false)};
  }
  if (bytes.starts_with(kUtf16BeMark)) {
    return {Encoding::kUtf16Be, Utf16ToUtf8(bytes.substr(kUtf16BeMark.size()), true)};
  }
  return {Encoding::kBytes, std::move(raw)};
}

std::string Encode(Encoding encoding, std::string_view text) {
  switch (encoding) {
    case Encoding::kUtf8Marked:
      return std::string(kUtf8Mark) + std::string(text);
    case Encoding::kUtf16Le:
      return std::string(kUtf16LeMark) + Utf8ToUtf16(text, false);
    case Encoding::kUtf16Be:
      return std::string(kUtf16BeMark) + Utf8ToUtf16(text, true);
    case Encoding::kBytes:
      break;
  }
  return std::string(text);
}

// ---------------------------------------------------------------------------
// The cache of parsed files
// ---------------------------------------------------------------------------

struct FileStamp {
  dev_t device;
  ino_t inode;
  off_t size;
  timespec modified, changed;

  explicit FileStamp(const struct stat& status)
      : device(status.st_dev),
        inode(status.st_ino),
        size(status.st_size),
        modified(status.st_mtim),
        changed(status.st_ctim) {}

  bool operator==(const FileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           SameTime(modified, other.modified) && SameTime(changed, other.changed);
  }

  static bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  }
};

class DocumentCache {
 public:
  std::shared_ptr<const IniDocument> Find(const std::string& path, const FileStamp& stamp) {
    const std::lock_guard<std::mutex> hold(mutex_);
    const auto found = files_.find(path);
    if (found == files_.end() || !(found->second.stamp == stamp)) return nullptr;
    return found->second.document;
  }

  void Store(const std::string& path, const FileStamp& stamp,
             std::shared_ptr<const IniDocument> document) {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (files_.size() >= kLimit && files_.find(path) == files_.end()) files_.clear();
    files_.insert_or_assign(path, Entry{stamp, std::move(document)});
  }

  void Forget(const std::string& path) {
    const std::lock_guard<std::mutex> hold(mutex_);
    files_.erase(path);
  }

 private:
  struct Entry {
    FileStamp stamp;
    std::shared_ptr<const IniDocument> document;
  };
  static constexpr std::size_t kLimit = 32;  // programs use a handful of profiles

  std::mutex mutex_;
  std::unordered_map<std::string, Entry> files_;
};

DocumentCache& Cache() {
  static DocumentCache cache;
  return cache;
}

// The parsed file, from the cache while the file is unchanged; null, with errno set, when the
// file cannot be read.
std::shared_ptr<const IniDocument> LoadForRead(const char* file) {
  const auto path = ResolvePath(file);
  if (!path) return nullptr;
  struct stat status;
  if (stat(path->c_str(), &status) != 0) {
    Cache().Forget(*path);
    return nullptr;
  }
  if (!IsRegularFile(status)) return nullptr;
  if (auto cached = Cache().Find(*path, FileStamp(status))) return cached;
  const FileDescriptor fd(open(path->c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid() || fstat(fd.get(), &status) != 0 || !IsRegularFile(status)) return nullptr;
  auto raw = ReadAll(fd.get());
  if (!raw) return nullptr;
  auto document = std::make_shared<const IniDocument>(Decode(std::move(*raw)).text);
  Cache().Store(*path, FileStamp(status), document);
  return document;
}

// As LoadForRead, with a file that cannot be read taken as empty.
std::shared_ptr<const IniDocument> LoadOrEmpty(const char* file) {
  if (auto document = LoadForRead(file)) return document;
  static const auto empty = std::make_shared<const IniDocument>(std::string());
  return empty;
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

// Replaces target with bytes through a temporary file in the same directory, named
// ".<name>.kavtmp.XXXXXX" so that one left behind by a crash is recognisable.
bool ReplaceFile(const std::string& target, std::string_view bytes, mode_t mode) {
  constexpr std::size_t kNameLimit = 200;             // keeps the temporary name within NAME_MAX
  const std::size_t name_at = target.rfind('/') + 1;  // 0 without a '/'
  std::string temporary =
      target.substr(0, name_at) + "." + target.substr(name_at, kNameLimit) + ".kavtmp.XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool written = WriteAll(fd, bytes) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (written && rename(temporary.c_str(), target.c_str()) == 0) return true;
  const int error = errno;
  unlink(temporary.c_str());
  errno = error;
  return false;
}

// Applies edit to the file under an exclusive lock.  edit gets the current document and returns
// its new text, or nothing when the file stays as it is.
template <typename Edit>
bool ModifyFile(const char* file, Edit edit) {
  const auto path = ResolvePath(file);
  if (!path) return false;
  for (;;) {
    // As on Windows, a write creates a missing file even when it then stores nothing.
    const FileDescriptor fd(open(path->c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    struct stat held, current;
    if (!fd.valid() || !LockExclusively(fd.get()) || fstat(fd.get(), &held) != 0 ||
        !IsRegularFile(held)) {
      return false;
    }
    // Another writer may have replaced the file while this one waited for the lock.
    const std::string target = WriteTarget(*path);
    if (stat(target.c_str(), &current) != 0 || current.st_dev != held.st_dev ||
        current.st_ino != held.st_ino) {
      continue;
    }
    auto raw = ReadAll(fd.get());
    if (!raw) return false;
    DecodedText decoded = Decode(std::move(*raw));
    const std::optional<std::string> edited = edit(IniDocument(std::move(decoded.text)));
    if (!edited) return true;
    const bool replaced =
        ReplaceFile(target, Encode(decoded.encoding, *edited), held.st_mode & 07777);
    Cache().Forget(*path);
    return replaced;  // the lock goes with the descriptor, after the rename
  }
}

// ---------------------------------------------------------------------------
// Results
// ---------------------------------------------------------------------------

// Copies text, cut to size - 1 bytes, and a NUL.
uint32_t CopyString(char* buffer, uint32_t size, std::string_view text) {
  if (size == 0) return 0;
  const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<uint32_t>(length);
}

// Copies NUL-terminated items and the list's closing NUL.  When that does not fit with a byte to
// spare, Windows keeps the first size - 2 bytes and ends the buffer with two NULs.  An empty
// section reads as two NULs, an empty list of names as one.
uint32_t CopyList(char* buffer, uint32_t size, std::string_view items, bool empty_as_two_nuls) {
  if (size == 0) return 0;
  if (items.size() + 1 < size) {
    std::memcpy(buffer, items.data(), items.size());
    buffer[items.size()] = '\0';
    if (items.empty() && empty_as_two_nuls) buffer[1] = '\0';
    return static_cast<uint32_t>(items.size());
  }
  if (size == 1) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, items.data(), size - 2);
  buffer[size - 2] = buffer[size - 1] = '\0';
  return size - 2;
}

uint32_t OutOfMemory(char* buffer, uint32_t size) {
  errno = ENOMEM;
  if (size > 0) buffer[0] = '\0';
  return 0;
}

// A text of two or more characters between matching '"' or '\'' loses them.
std::string_view Unquoted(std::string_view text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

// Trailing spaces leave the default, though one stays of a default made only of spaces (Wine).
std::string_view DefaultValue(const char* given) {
  std::string_view text = given == nullptr ? "" : given;
  while (text.size() > 1 && text.back() == ' ') text.remove_suffix(1);
  return Unquoted(text);
}

uint32_t DigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A' + 10);
  return 36;
}

// Windows' integer rule (RtlCharToInteger with base 0): blanks, one sign, an optional 0x, 0o or
// 0b, then digits up to the first character that is not one, wrapping modulo 2^32.
uint32_t ParseInteger(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && static_cast<unsigned char>(text[at]) <= ' ') ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  uint32_t base = 10;
  const std::string_view prefix = text.substr(at, 2);
  if (prefix == "0x" || prefix == "0o" || prefix == "0b") {
    base = prefix[1] == 'x' ? 16 : prefix[1] == 'o' ? 8 : 2;
    at += 2;
  }
  uint32_t value = 0;
  for (; at < text.size() && DigitValue(text[at]) < base; ++at) {
    value = value * base + DigitValue(text[at]);
  }
  return negative ? 0u - value : value;
}

// A struct is stored as two upper-case hex digits per byte and a checksum byte: the sum of the
// bytes modulo 256.
std::string StructText(const void* data, uint32_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string text;
  text.reserve(2 * static_cast<std::size_t>(size) + 2);
  unsigned sum = 0;
  const auto append = [&text](unsigned byte) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  };
  for (uint32_t i = 0; i < size; ++i) {
    append(bytes[i]);
    sum += bytes[i];
  }
  append(sum & 0xFF);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes a struct value into data, which is written only when the value is valid: exactly
// 2 * size + 2 hex digits (either case) whose last byte is the checksum of the others.
bool DecodeStruct(std::string_view text, void* data, uint32_t size) {
  if (text.size() != 2 * static_cast<std::size_t>(size) + 2) {
    errno = EINVAL;
    return false;
  }
  std::vector<unsigned char> bytes(size + std::size_t{1});
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) {
      errno = EILSEQ;
      return false;
    }
    bytes[i] = static_cast<unsigned char>(high << 4 | low);
  }
  unsigned sum = 0;
  for (uint32_t i = 0; i < size; ++i) sum += bytes[i];
  if ((sum & 0xFF) != bytes[size]) {
    errno = EILSEQ;
    return false;
  }
  if (size > 0) std::memcpy(data, bytes.data(), size);
  return true;
}

}  // namespace

uint32_t profile_get_string(const char* section, const char* key, const char* default_value,
                            char* buffer, uint32_t size, const char* file) {
  if (buffer == nullptr) {
    errno = EINVAL;
    return 0;
  }
  try {
    const auto document = LoadOrEmpty(file);
    if (section == nullptr) return CopyList(buffer, size, document->SectionNames(), false);
    if (key == nullptr) {
      // Wine gives the default for an empty list, and for one whose first name is empty.
      const std::string names = document->KeyNames(section);
      if (names.empty() || names.front() == '\0') {
        return CopyString(buffer, size, DefaultValue(default_value));
      }
      return CopyList(buffer, size, names, false);
    }
    const auto value = document->Value(section, key);
    return CopyString(buffer, size, value ? Unquoted(*value) : DefaultValue(default_value));
  } catch (...) {
    return OutOfMemory(buffer, size);
  }
}

uint32_t profile_get_int(const char* section, const char* key, int default_value,
                         const char* file) {
  // Windows reads the value as a string into 30 characters, so only 29 of them count.
  char text[30];
  profile_get_string(section, key, "", text, sizeof text, file);
  if (text[0] == '\0') return static_cast<uint32_t>(default_value);
  return ParseInteger(text);
}

uint32_t profile_get_section(const char* section, char* buffer, uint32_t size, const char* file) {
  if (section == nullptr || buffer == nullptr) {
    errno = EINVAL;
    return 0;
  }
  try {
    return CopyList(buffer, size, LoadOrEmpty(file)->SectionLines(section), true);
  } catch (...) {
    return OutOfMemory(buffer, size);
  }
}

uint32_t profile_get_section_names(char* buffer, uint32_t size, const char* file) {
  if (buffer == nullptr) {
    errno = EINVAL;
    return 0;
  }
  try {
    return CopyList(buffer, size, LoadOrEmpty(file)->SectionNames(), false);
  } catch (...) {
    return OutOfMemory(buffer, size);
  }
}

bool profile_get_struct(const char* section, const char* key, void* data, uint32_t size,
                        const char* file) {
  if (section == nullptr || key == nullptr || (data == nullptr && size > 0)) {
    errno = EINVAL;
    return false;
  }
  try {
    const auto document = LoadForRead(file);
    if (!document) return false;
    const auto value = document->Value(section, key);
    if (!value) {
      errno = ENOENT;
      return false;
    }
    return DecodeStruct(Unquoted(*value), data, size);
  } catch (...) {
    errno = ENOMEM;
    return false;
  }
}

bool profile_write_string(const char* section, const char* key, const char* value,
                          const char* file) {
  // Windows' "flush the cache" call: nothing is cached for writing, and Windows returns TRUE.
  if (section == nullptr && key == nullptr && value == nullptr) return true;
  if (section == nullptr) {
    errno = EINVAL;
    return false;
  }
  try {
    if (key == nullptr) {
      return ModifyFile(file, [&](const IniDocument& ini) { return ini.DeleteSection(section); });
    }
    if (value == nullptr) {
      return ModifyFile(file, [&](const IniDocument& ini) { return ini.DeleteKey(section, key); });
    }
    return ModifyFile(file,
                      [&](const IniDocument& ini) { return ini.SetValue(section, key, value); });
  } catch (...) {
    errno = ENOMEM;
    return false;
  }
}

bool profile_write_section(const char* section, const char* entries, const char* file) {
  if (section == nullptr && entries == nullptr) return true;  // the flush call, as above
  if (section == nullptr) {
    errno = EINVAL;
    return false;
  }
  if (entries == nullptr) return profile_write_string(section, nullptr, nullptr, file);
  try {
    std::vector<std::string_view> list;
    for (const char* entry = entries; *entry != '\0'; entry += list.back().size() + 1) {
      list.emplace_back(entry);
    }
    return ModifyFile(file,
                      [&](const IniDocument& ini) { return ini.ReplaceSection(section, list); });
  } catch (...) {
    errno = ENOMEM;
    return false;
  }
}

bool profile_write_struct(const char* section, const char* key, const void* data, uint32_t size,
                          const char* file) {
  if (section == nullptr && key == nullptr && data == nullptr) return true;  // the flush call
  if (section == nullptr) {
    errno = EINVAL;
    return false;
  }
  if (key == nullptr || data == nullptr) return profile_write_string(section, key, nullptr, file);
  try {
    return profile_write_string(section, key, StructText(data, size).c_str(), file);
  } catch (...) {
    errno = ENOMEM;
    return false;
  }
}

}  // namespace kav::platform

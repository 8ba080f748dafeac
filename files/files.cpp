// files.cpp - file and directory chores: path completion and comparison, file size and type,
// copies of files and trees, appends of byte ranges, tree removal, directory chains, the
// directory walker and the file-name case fix.
//
// The operating system is reached only through platform.h and the I/O seam (platform/io.h).
// Wherever the Windows library builds or splits paths at a backslash, the platform's own
// separator (kSeparator) takes that role, so POSIX paths are built with '/'; functions that
// classify a path accept both separators on every platform.  The Windows library's fixed path
// buffers are std::strings here, so no path is cut and nothing is written past a buffer; where a
// function cannot have the memory it needs it returns its failure code.  The directory walker
// lists a directory first and then calls the visitor on each entry, so a visitor may change the
// directory it walks.
//
// Every function that writes checks each write, flush and close and reports a failure with its
// failure code, where the Windows library ignored write errors: a full disk must not pass for a
// copy.  New files (copy_file, create_file_from_chunk, the files of copy_dir) are written beside
// their destination and renamed over it only when complete and stored (copy_file and copy_dir
// leave the moving of bytes and the flushes to the platform: replace_with_copy, copy_tree), and
// a failed append is taken back, so a failure leaves the old destination whole and no partial
// file behind.  A write past the
// file-size limit, or into a pipe without a reader, fails like any other write instead of ending
// the process (WriteSignalsHeld).  A file named by the caller is read through a symbolic link,
// as Windows reads through one; links inside a tree are never followed.  Trees are removed
// and copied by the platform's walks (remove_tree, copy_tree), which follow no link.

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "base/boundary.h"
#include "kavutil.h"
#include "platform/io.h"
#include "platform/platform.h"

namespace {

using kav::platform::FileKind;
using kav::platform::kSeparator;
using kav::platform::PathKind;

constexpr char kOtherSeparator = kSeparator == '/' ? '\\' : '/';
constexpr char kIllegalFilenameChars[] = "<>:\"/\\|\n";
constexpr char kFormFeedMarker[] = "formfeed()\n";
constexpr std::size_t kCopyBlockSize = 16384;
constexpr long long kToTheEnd = std::numeric_limits<long long>::max();
// make_fullpath writes the current directory into the caller's buffer, which callers size for
// one of at most 255 characters.
constexpr std::size_t kCurrentDirectoryLimit = 255;

std::string Join(const std::string& directory, const char* name) {
  std::string path = directory;
  path += kSeparator;
  path += name;
  return path;
}

// The full form that make_fullpath gives, or nothing when the current directory cannot be had
// or is longer than limit.
std::optional<std::string> FullForm(const char* path, std::size_t limit) {
  std::string full;
  if (is_fullpath(path)) {
    full = path;
  } else {
    auto current = kav::platform::current_directory();
    if (!current || current->size() > limit) return std::nullopt;
    full = std::move(*current);
    if (full.empty() || full.back() != kSeparator) full += kSeparator;
    full += path;
  }
  if (!full.empty() && kav::base::is_path_separator(full.back())) full.pop_back();
  return full;
}

// compare_path's view of a path: its full form, or the path itself when there is none.
std::string ComparableForm(const char* path) {
  if (path == nullptr) path = "";
  auto full = FullForm(path, std::string::npos);
  return full ? std::move(*full) : std::string(path);
}

// Copies up to limit bytes from in to out, stopping at the input's end.  False when a write
// falls short or a read fails (a short read that is not the input's end).
bool CopyStream(std::FILE* in, std::FILE* out, long long limit) {
  char block[kCopyBlockSize];
  while (limit > 0) {
    const std::size_t wanted = limit < static_cast<long long>(sizeof block)
                                   ? static_cast<std::size_t>(limit)
                                   : sizeof block;
    const std::size_t read = kav::platform::io::fread(block, 1, wanted, in);
    if (read > 0 && kav::platform::io::fwrite(block, 1, read, out) != read) return false;
    if (read < wanted) return std::feof(in) != 0 && std::ferror(in) == 0;
    limit -= static_cast<long long>(read);
  }
  return true;
}

bool CopyWhole(std::FILE* in, std::FILE* out) { return CopyStream(in, out, kToTheEnd); }

// The chunk copy: the input's bytes from start up to end, then the marker if one is given
// (also after a failure); the input's position is restored.  False when the input cannot be
// positioned or read, or the output does not take every byte.
bool CopyChunk(std::FILE* in, int start, int end, std::FILE* out, const char* marker) {
  if (in == nullptr || out == nullptr) return true;
  const kav::platform::io::WriteSignalsHeld held;
  const long position = kav::platform::io::ftell(in);
  bool copied = position >= 0 && kav::platform::io::fseek(in, start, SEEK_SET) == 0 &&
                CopyStream(in, out, static_cast<long long>(end) - start);
  if (marker != nullptr) {
    const std::size_t length = std::strlen(marker);
    copied = kav::platform::io::fwrite(marker, 1, length, out) == length && copied;
  }
  if (position >= 0) copied = kav::platform::io::fseek(in, position, SEEK_SET) == 0 && copied;
  return copied;
}

// Where parent_dir starts looking for separators: past the server and the share of a network
// path, which are never created.  A network path starts with two separators: "\\\\" on
// Windows, "//" on POSIX.
std::size_t FirstCreatableComponent(const std::string& path) {
  if (path.size() < 2 || path[0] != kSeparator || path[1] != kSeparator) return 0;
  std::size_t at = 2;
  for (int skipped = 0; skipped < 2; ++skipped) {
    at = path.find(kSeparator, at);
    if (at == std::string::npos) return path.size();
    ++at;
  }
  return at;
}

int CreateParents(const std::string& path) {
  std::string prefix;
  for (std::size_t at = FirstCreatableComponent(path);
       (at = path.find(kSeparator, at)) != std::string::npos; ++at) {
    if (at == 0) continue;
    prefix.assign(path, 0, at);
    const PathKind kind = kav::platform::path_kind(prefix.c_str());
    if (kind != PathKind::kMissing && kind != PathKind::kOther) continue;
    // A prefix without a separator (a drive, the first name of a relative path) is left alone.
    if (prefix.find(kSeparator) == std::string::npos) continue;
    if (!kav::platform::make_directory(prefix.c_str())) return 1;
  }
  return 0;
}

struct CaseFix {
  const char* wanted;
  bool taken;  // an entry has the wanted name exactly
};

int ExactNameVisitor(const char* directory, const char*, void (*)(void), void* context,
                     const char* name, int) {
  return kav::base::guarded(
      0, [&] { return Join(directory, name) == static_cast<const char*>(context) ? 1 : 0; });
}

// Names that differ only in case can sit side by side on POSIX; the wanted name is never
// renamed over, so at most one entry is renamed and none when the wanted name exists.
int CaseFixVisitor(const char* directory, const char*, void (*)(void), void* context,
                   const char* name, int) {
  auto& fix = *static_cast<CaseFix*>(context);
  return kav::base::guarded(1, [&] {
    const std::string entry = Join(directory, name);
    if (fix.taken || entry == fix.wanted || !kav::base::equals_ignoring_case(entry, fix.wanted)) {
      return 0;
    }
    if (kav::platform::io::rename(entry.c_str(), fix.wanted) != 0) return 1;
    fix.taken = true;
    return 0;
  });
}

// Copies the whole of source through into (append_to_file): 0 on success, 1 on any failure.
// Only a regular file is read.
int CopyFileWith(const char* source, const char* destination,
                 bool (*into)(const char*, const kav::platform::StreamWriter&)) {
  if (source == nullptr || destination == nullptr) return 1;
  std::FILE* in = kav::platform::open_regular_file(source);
  if (in == nullptr) return 1;
  const bool copied = kav::base::guarded(false, [&] {
    return into(destination, [in](std::FILE* out) { return CopyWhole(in, out); });
  });
  kav::platform::io::fclose(in);
  return copied ? 0 : 1;
}

}  // namespace

extern "C" KAV_API int KAV_CALL compare_path(const char* a, const char* b) KAV_NOEXCEPT {
  const auto as_given = [&] {
    return kav::base::compare_ignoring_case(a != nullptr ? a : "", b != nullptr ? b : "");
  };
  return kav::base::guarded_with(as_given, [&] {
    return kav::base::compare_ignoring_case(ComparableForm(a).c_str(), ComparableForm(b).c_str());
  });
}

// A current directory that cannot be had, or is longer than the 255 characters callers make
// room for, gives an empty output.  A null path counts as an empty one, here and in
// compare_path.
extern "C" KAV_API void KAV_CALL make_fullpath(const char* path, char* out) KAV_NOEXCEPT {
  if (out == nullptr) return;
  const bool written = kav::base::guarded(false, [&] {
    const auto full = FullForm(path != nullptr ? path : "", kCurrentDirectoryLimit);
    if (full) std::memcpy(out, full->c_str(), full->size() + 1);
    return full.has_value();
  });
  if (!written) out[0] = '\0';
}

// Both separators and a drive letter count on every platform ("C:x" is full on POSIX too).
extern "C" KAV_API int KAV_CALL is_fullpath(const char* path) KAV_NOEXCEPT {
  if (path == nullptr || path[0] == '\0') return 0;
  return kav::base::is_path_separator(path[0]) || path[1] == ':' ? 1 : 0;
}

// Every separator of the other kind becomes the platform's: '\\' to '/' on POSIX.
extern "C" KAV_API int KAV_CALL fix_dir_slash(char* path) KAV_NOEXCEPT {
  for (char* p = path; p != nullptr && *p != '\0'; ++p) {
    if (*p == kOtherSeparator) *p = kSeparator;
  }
  return 1;
}

extern "C" KAV_API const char* KAV_CALL get_illegal_filename_chars(void) KAV_NOEXCEPT {
  return kIllegalFilenameChars;
}

extern "C" KAV_API char* KAV_CALL strip_illegal_filename_chars(char* name) KAV_NOEXCEPT {
  if (name == nullptr) return nullptr;
  return strip_chars(name, kIllegalFilenameChars);
}

// Files of 2 GiB or more, outside the 32-bit range, report INT_MAX.
extern "C" KAV_API int KAV_CALL getfilesize(const char* path) KAV_NOEXCEPT {
  return kav::base::guarded(0, [&] {  // no status
    const auto status = kav::platform::file_status(path);
    if (!status) return 0;
    return status->size >= INT_MAX ? INT_MAX : static_cast<int>(status->size);
  });
}

extern "C" KAV_API int KAV_CALL getfiletype(const char* path) KAV_NOEXCEPT {
  return kav::base::guarded(0, [&] {  // no status
    const auto status = kav::platform::file_status(path);
    if (!status) return 0;
    switch (status->kind) {
      case FileKind::kRegular:
        return 1;
      case FileKind::kDirectory:
        return 2;
      case FileKind::kCharacterDevice:
        return 3;
      default:
        return 0;
    }
  });
}

// The copy replaces the destination only when complete and stored: a failure leaves the old
// destination as it was.  Only a regular file is copied.  The platform moves the bytes (by
// descriptor on POSIX, inside the kernel where it can).
extern "C" KAV_API int KAV_CALL copy_file(const char* source,
                                          const char* destination) KAV_NOEXCEPT {
  if (source == nullptr || destination == nullptr) return 1;
  return kav::base::guarded(
      1, [&] { return kav::platform::replace_with_copy(source, destination) ? 0 : 1; });
}

// Links in the tree are made again as links (POSIX) or left out (Windows), never followed; only
// regular files are copied.  A subdirectory that cannot be read fails the copy.
extern "C" KAV_API int KAV_CALL copy_dir(const char* source, const char* destination) KAV_NOEXCEPT {
  if (source == nullptr || destination == nullptr) return 1;
  if (compare_path(source, destination) == 0) return 1;
  return kav::base::guarded(1, [&] {
    const kav::platform::TreeCopy copy{
        [](const std::string& path) { return parent_dir(path.c_str()) == 0; }};
    return kav::platform::copy_tree(source, destination, copy) ? 0 : 1;
  });
}

// Only the platform's separator splits the path (a POSIX path starting with "//" is a network
// path, as one starting with "\\\\" is on Windows).
extern "C" KAV_API int KAV_CALL parent_dir(const char* path) KAV_NOEXCEPT {
  if (path == nullptr) return 1;
  return kav::base::guarded(1, [&] { return CreateParents(path); });
}

// Walks the path itself instead of using strtok, so that a caller's own strtok scan keeps its
// place.  Both separators split the path and each becomes the platform's.
extern "C" KAV_API int KAV_CALL mkdir_fullpath(const char* path) KAV_NOEXCEPT {
  if (path == nullptr) return 1;
  kav::base::guarded([&] {  // failures are ignored here as every other one
    std::string chain(path);
    for (char& c : chain) {
      if (kav::base::is_path_separator(c)) c = kSeparator;
    }
    for (std::size_t end = 1; end <= chain.size(); ++end) {
      const bool ends_component =
          chain[end - 1] != kSeparator && (end == chain.size() || chain[end] == kSeparator);
      if (ends_component) kav::platform::make_directory(chain.substr(0, end).c_str());
    }
  });
  return 1;
}

// A link is removed as a link, even when named with a trailing separator; no link is followed.
extern "C" KAV_API int KAV_CALL recursive_unlink(const char* path) KAV_NOEXCEPT {
  if (path == nullptr) return 1;
  return kav::base::guarded(0, [&] { return kav::platform::remove_tree(path) ? 1 : 0; });
}

// The whole source is appended, also past the 32-bit offsets of the chunk functions.  A failed
// append is taken back (the destination is cut back to its old length, or removed when this
// call created it), and the result is 1.
extern "C" KAV_API int KAV_CALL append_file(const char* source,
                                            const char* destination) KAV_NOEXCEPT {
  return CopyFileWith(source, destination, kav::platform::append_to_file);
}

// The chunk functions return 1 when the range could not be read or written whole; the caller's
// output stream is not flushed, so errors the stream holds back show at the caller's flush.
extern "C" KAV_API int KAV_CALL append_file_chunk(FILE* in, int start, int end,
                                                  FILE* out) KAV_NOEXCEPT {
  return CopyChunk(in, start, end, out, nullptr) ? 0 : 1;
}

extern "C" KAV_API int KAV_CALL append_file_chunk_with_formfeed(FILE* in, int start, int end,
                                                                FILE* out) KAV_NOEXCEPT {
  return CopyChunk(in, start, end, out, kFormFeedMarker) ? 0 : 1;
}

// The new file replaces path only when complete, like copy_file's.
extern "C" KAV_API int KAV_CALL create_file_from_chunk(FILE* in, int start, int end,
                                                       const char* path) KAV_NOEXCEPT {
  if (path == nullptr) return 1;
  return kav::base::guarded(1, [&] {
    const bool created = kav::platform::replace_file(
        path, [=](std::FILE* out) { return CopyChunk(in, start, end, out, nullptr); });
    return created ? 0 : 1;
  });
}

extern "C" KAV_API int KAV_CALL traverse_tree(const char* directory, const char* pattern,
                                              kav_tree_visitor visitor,
                                              void* context) KAV_NOEXCEPT {
  if (directory == nullptr || visitor == nullptr) return 0;
  std::optional<std::vector<kav::platform::DirectoryEntry>> entries;
  const bool listed = kav::base::guarded([&] {  // else the directory cannot be searched
    entries = kav::platform::find_entries(Join(directory, pattern != nullptr ? pattern : "*"));
  });
  if (!listed || !entries) return 0;
  const auto self = reinterpret_cast<void (*)(void)>(visitor);
  for (const auto& entry : *entries) {
    const int result =
        visitor(directory, pattern, self, context, entry.name.c_str(), entry.directory ? 1 : 0);
    if (result != 0) return result;
  }
  return 0;
}

extern "C" KAV_API int KAV_CALL fix_filename_case(const char* wanted,
                                                  const char* directory) KAV_NOEXCEPT {
  if (wanted == nullptr || directory == nullptr) return 0;
  // Only a POSIX directory can hold the wanted name beside a case variant of it.
  if (traverse_tree(directory, "*", ExactNameVisitor, const_cast<char*>(wanted)) != 0) return 0;
  CaseFix fix{wanted, false};
  return traverse_tree(directory, "*", CaseFixVisitor, &fix);
}

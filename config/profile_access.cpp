// profile_access.cpp - reads and writes of INI profiles by bare name and location.
//
// A bare file name is looked up in a location's profile directory (profile_location.cpp).  A
// name that holds a path (a backslash, or the platform's separator) is used as a path, and reads
// and writes resolve it alike: to its absolute form, both separators splitting it, so that a
// read finds the file a write made.  Reads with the search location try the per-user file, then
// the common one, and the first file that holds the entry answers: the platform is asked with a
// sentinel default (kNoValue, kNoIntValue) so that a missing entry can be told from an empty
// one.  A file missing in a location gives that same "not found" from the platform's own read,
// so the reads do not look for the file first; the one exception is the list of section names,
// which a missing file answers as an empty list.  Writes go to the common file, or to the
// per-user one for the per-user location and for the programs that keep their settings per
// user; the first write creates the directories and an empty file, never truncating one that
// another process made in the meantime, and the platform's INI writer then fills it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/ascii.h"
#include "base/boundary.h"
#include "config/profile.h"
#include "kavutil.h"
#include "platform/io.h"
#include "platform/memory.h"
#include "platform/platform.h"

namespace {

using kav::config::kNoIntValue;
using kav::config::kNoValue;
using kav::config::kNoValueLength;
using kav::config::kPathSize;
using kav::platform::kSeparator;

constexpr const char* kPerUserPrograms[] = {"TASMOR", "BRELIND",  "CORVASET", "DUNAVEL",
                                            "ESKARO", "FENWIRAL", "GORDALIN"};

// Work size of string reads into buffers too short to hold the sentinel.
constexpr std::uint32_t kShortReadSize = 50;
// Work buffers up to this size live on the stack.
constexpr std::uint32_t kStackWorkSize = 1024;

// Whether a name given to a read is a path of its own: a backslash, or the platform's separator,
// makes it one.  (A forward slash alone on Windows names a file inside the profile directory.)
bool HoldsPath(const char* file) {
  return std::strchr(file, '\\') != nullptr || std::strchr(file, kSeparator) != nullptr;
}

bool AbsolutePath(const char* file, char* target) {
  return kav::base::guarded(false, [&] {
    const auto path = kav::platform::full_path(file, kPathSize);
    if (!path) return false;
    std::memcpy(target, path->c_str(), path->size() + 1);
    return true;
  });
}

// Whether path is already what AbsolutePath makes of it: rooted, only native separators, no
// empty, "." or ".." component, no trailing separator, and short enough.
bool IsPlainAbsolute(const char* path) {
  const char other = kSeparator == '/' ? '\\' : '/';
  if (path[0] != kSeparator || std::strchr(path, other) != nullptr) return false;
  std::size_t length = 0;
  for (const char* at = path; *at != '\0'; ++at, ++length) {
    if (*at != kSeparator) continue;
    const char* next = at + 1;
    if (*next == '\0' || *next == kSeparator) return false;
    if (next[0] == '.' && (next[1] == '\0' || next[1] == kSeparator)) return false;
    if (next[0] == '.' && next[1] == '.' && (next[2] == '\0' || next[2] == kSeparator)) {
      return false;
    }
  }
  return length < static_cast<std::size_t>(kPathSize);
}

// The file a path-holding name means to a read: the file that AbsolutePath gives a write, taken
// as it stands when it is already in that form; false when it has no absolute form.
bool ResolvePath(const char* file, char (&path)[kPathSize]) {
  if (!IsPlainAbsolute(file)) return AbsolutePath(file, path);
  std::memcpy(path, file, std::strlen(file) + 1);
  return true;
}

// Negative sizes reach the platform as 0.
std::uint32_t AsSize(int size) { return size > 0 ? static_cast<std::uint32_t>(size) : 0; }

// Runs read on the file in each location of the search range, from the first down to the
// last, until it succeeds.  The platform's read of a missing file fails as a missing entry
// does; check_exists skips missing files in the profile directories first, for the one read
// that would not fail (the Windows directory is never checked).
template <typename Read>
bool ReadFirst(const char* file, int location, Read read, bool check_exists = false) {
  const bool search = location == KAV_LOCATION_SEARCH;
  const int first = search ? KAV_LOCATION_USER : location;
  const int last = search ? KAV_LOCATION_COMMON : location;
  for (int at = first;; --at) {
    char path[kPathSize];
    QelGetINIPathAppend(at, file, path);
    const bool skip =
        check_exists && at != KAV_LOCATION_WINDOWS && !kav::platform::path_exists(path);
    if (!skip && read(path)) return true;
    if (at == last) return false;
  }
}

// Runs read once on the file a path-holding name resolves to; false when it resolves to none.
template <typename Read>
bool ReadPath(const char* file, Read read) {
  char path[kPathSize];
  return ResolvePath(file, path) && read(path);
}

// The reads whose result is the platform's count: as it stands for a path, else 1 when a
// location gave a non-zero count and 0 when none did.  A null name finds nothing.
template <typename Read>
int ReadCounted(const char* file, int location, Read read) {
  if (file == nullptr) return 0;
  if (HoldsPath(file)) {
    int count = 0;
    ReadPath(file, [&](const char* path) { return (count = static_cast<int>(read(path))) != 0; });
    return count;
  }
  return ReadFirst(file, location, [&](const char* path) { return read(path) != 0; }) ? 1 : 0;
}

// Whether a string read left the sentinel, or as much of it as the work size let the platform
// write, in the work buffer.
bool HoldsSentinel(const char* work, std::uint32_t size) {
  const std::size_t kept = std::min<std::size_t>(kNoValueLength, size - 1);
  return std::strncmp(work, kNoValue, kept) == 0 && work[kept] == '\0';
}

// Reads a string into out, len characters with their inner NULs; false when no location holds
// the key.  A work buffer that cannot be had reports the key as missing.
bool ReadString(const char* section, const char* key, char* out, int len, const char* file,
                int location) {
  if (file == nullptr) return false;
  const std::uint32_t size = len >= kNoValueLength ? AsSize(len) : kShortReadSize;
  char on_stack[kStackWorkSize + 1];
  char* work = size <= kStackWorkSize
                   ? on_stack
                   : static_cast<char*>(kav::platform::memory::allocate(std::size_t{size} + 1));
  if (work == nullptr) return false;
  std::memset(work, 0, std::size_t{size} + 1);
  std::memcpy(work, kNoValue, sizeof kNoValue);
  auto read = [&](const char* path) {
    kav::platform::profile_get_string(section, key, kNoValue, work, size, path);
    return !HoldsSentinel(work, size);
  };
  // Only the list of section names comes back from a missing file as an answer.
  const bool found =
      HoldsPath(file) ? ReadPath(file, read) : ReadFirst(file, location, read, section == nullptr);
  if (found && out != nullptr && len > 0) {
    std::memcpy(out, work, len);
    out[len - 1] = '\0';
  }
  if (work != on_stack) kav::platform::memory::release(work);
  return found;
}

// Puts the default of a string read that found nothing into out.  A default that is out
// itself keeps the caller's text.
void ApplyDefault(const char* def, char* out, int len) {
  if (out == nullptr || len <= 0 || def == out) return;
  if (def == nullptr) {
    std::memset(out, 0, len);
    return;
  }
  const std::size_t length = strnlen(def, len - 1);
  std::memmove(out, def, length);
  out[length] = '\0';
}

char* LastSeparator(char* path) {
  char* at = std::strrchr(path, kSeparator);
  return at != nullptr ? at : std::strrchr(path, kSeparator == '/' ? '\\' : '/');
}

// Creates target's directories and target as an empty file, unless a file of that name appeared
// since the caller looked: another process may have created and filled it in between.
// Failures are left for the platform's write to report.
void CreateEmptyFile(const char* target) {
  char directory[kPathSize];
  const std::size_t length = std::strlen(target);
  std::memcpy(directory, target, length + 1);
  // A target without a directory part (a location whose folder is unknown) has none to create.
  if (char* cut = LastSeparator(directory)) {
    const bool quoted = length > 0 && target[length - 1] == '"';
    cut[0] = quoted ? '"' : '\0';  // a quoted target keeps its directory quoted
    cut[1] = '\0';
    kav::config::create_directory_chain(directory);
  }
  kav::platform::io::create_new_file(target);
}

template <typename Write>
int WriteTo(const char* file, int location, Write write) {
  char target[kPathSize];
  if (QelGetDestConfigFile(target, file, location) != 1) return 0;
  return write(target) ? 1 : 0;
}

}  // namespace

namespace kav::config {

int is_per_user_ini(const char* name) {
  if (name == nullptr) return 0;
  char base[kPathSize];
  std::snprintf(base, sizeof base, "%s", name);
  const std::size_t length = std::strlen(base);
  if (length >= 4 && kav::base::equals_ignoring_case(base + length - 4, ".INI")) {
    base[length - 4] = '\0';
  }
  for (const char* program : kPerUserPrograms) {
    if (kav::base::equals_ignoring_case(base, program)) return 1;
  }
  return 0;
}

// The file family's walk (files/files.cpp), which leaves a caller's strtok scan alone.
int create_directory_chain(const char* path) { return mkdir_fullpath(path); }

}  // namespace kav::config

extern "C" KAV_API int KAV_CALL QelGetPrivateProfileString(const char* section, const char* key,
                                                           const char* def, char* out, int len,
                                                           const char* file,
                                                           int location) KAV_NOEXCEPT {
  if (ReadString(section, key, out, len, file, location)) return 1;
  ApplyDefault(def, out, len);
  return 0;
}

extern "C" KAV_API int KAV_CALL QelGetPrivateProfileInt(const char* section, const char* key,
                                                        int def, const char* file,
                                                        int location) KAV_NOEXCEPT {
  if (file == nullptr) return def;
  int value = kNoIntValue;
  auto read = [&](const char* path) {
    value = static_cast<int>(kav::platform::profile_get_int(section, key, kNoIntValue, path));
    return value != kNoIntValue;
  };
  if (HoldsPath(file)) {
    ReadPath(file, read);
  } else {
    ReadFirst(file, location, read);
  }
  return value == kNoIntValue ? def : value;
}

extern "C" KAV_API int KAV_CALL QelGetPrivateProfileSection(const char* section, char* out,
                                                            int size, const char* file,
                                                            int location) KAV_NOEXCEPT {
  return ReadCounted(file, location, [&](const char* path) {
    return kav::platform::profile_get_section(section, out, AsSize(size), path);
  });
}

extern "C" KAV_API int KAV_CALL QelGetPrivateProfileSectionNames(char* out, int size,
                                                                 const char* file,
                                                                 int location) KAV_NOEXCEPT {
  return ReadCounted(file, location, [&](const char* path) {
    return kav::platform::profile_get_section_names(out, AsSize(size), path);
  });
}

extern "C" KAV_API int KAV_CALL QelGetPrivateProfileStruct(const char* section, const char* key,
                                                           void* data, int size, const char* file,
                                                           int location) KAV_NOEXCEPT {
  return ReadCounted(file, location, [&](const char* path) {
    return kav::platform::profile_get_struct(section, key, data, AsSize(size), path);
  });
}

extern "C" KAV_API int KAV_CALL QelWritePrivateProfileString(const char* section, const char* key,
                                                             const char* value, const char* file,
                                                             int location) KAV_NOEXCEPT {
  return WriteTo(file, location, [&](const char* target) {
    return kav::platform::profile_write_string(section, key, value, target);
  });
}

extern "C" KAV_API int KAV_CALL QelWritePrivateProfileSection(const char* section, const char* text,
                                                              const char* file,
                                                              int location) KAV_NOEXCEPT {
  return WriteTo(file, location, [&](const char* target) {
    return kav::platform::profile_write_section(section, text, target);
  });
}

extern "C" KAV_API int KAV_CALL QelWritePrivateProfileStruct(const char* section, const char* key,
                                                             const void* data, int size,
                                                             const char* file,
                                                             int location) KAV_NOEXCEPT {
  return WriteTo(file, location, [&](const char* target) {
    return kav::platform::profile_write_struct(section, key, data, AsSize(size), target);
  });
}

extern "C" KAV_API char* KAV_CALL QelGetINIPathAppend(int location, const char* name,
                                                      char* out) KAV_NOEXCEPT {
  if (out == nullptr) return nullptr;
  const char* directory = QelGetINIPath(location);
  // Paths are cut to the 260-character buffer.
  std::snprintf(out, kPathSize, "%s%s", directory != nullptr ? directory : "",
                name != nullptr ? name : "");
  return directory != nullptr || name != nullptr ? out : nullptr;
}

extern "C" KAV_API int KAV_CALL QelGetDestConfigFile(char* out, const char* file,
                                                     int location) KAV_NOEXCEPT {
  if (out == nullptr || file == nullptr || file[0] == '\0') return 0;
  char target[kPathSize];
  if (std::strpbrk(file, "\\/") != nullptr) {
    if (!AbsolutePath(file, target)) return 0;  // no absolute form: no target
  } else {
    const bool per_user = location == KAV_LOCATION_USER || kav::config::is_per_user_ini(file);
    QelGetINIPathAppend(per_user ? KAV_LOCATION_USER : KAV_LOCATION_COMMON, file, target);
  }
  if (!kav::platform::path_exists(target)) CreateEmptyFile(target);
  std::memcpy(out, target, std::strlen(target) + 1);
  return 1;
}

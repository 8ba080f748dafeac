// profile_location.cpp - the library's version and the directories that hold its INI profiles.
//
// The version is read once per process from the working directory's "version" file (major,
// minor and build on three lines, each kept to seven characters) or is the built-in 4.93.0;
// it stays three strings.  The file is read as Windows' text mode reads it (CR LF is a line
// feed) on every platform, and only when it is a regular file.  The profile directories
// <folder>/KAV/VELTRA/<version>/ under the per-user and the common application-data folders, and
// the Windows directory, are found on first use and cached in process-wide 260-character buffers.
// An empty cache means "not known yet": a folder the system cannot name is asked for again on the
// next call.  The cached paths end with the platform's separator, which takes the backslash's place
// on POSIX.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/boundary.h"
#include "config/profile.h"
#include "kavutil.h"
#include "platform/io.h"
#include "platform/platform.h"

namespace {

using kav::config::kPathSize;
using kav::platform::Folder;
using kav::platform::kSeparator;

constexpr int kVersionSize = 8;
// "<separator><major>.<minor>.<build>" with its NUL.
constexpr int kVersionSuffixSize = 1 + 3 * (kVersionSize - 1) + 2 + 1;

char version_major[kVersionSize];
char version_minor[kVersionSize];
char version_build[kVersionSize];
char display_version[2 * kVersionSize];

char windows_directory[kPathSize];
char common_directory[kPathSize];
char user_directory[kPathSize];

void CopyBounded(char* dest, std::size_t size, const char* src) {
  if (size > 0) std::snprintf(dest, size, "%s", src);
}

void FormatVersionSuffix(char (&suffix)[kVersionSuffixSize]) {
  kav::config::load_version_file();
  std::snprintf(suffix, sizeof suffix, "%c%s.%s.%s", kSeparator, version_major, version_minor,
                version_build);
}

// Copies the running program's file name into buf; false when the system cannot name it.
bool CopyProgramName(char* buf, int size) {
  return kav::base::guarded(false, [&] {
    if (kav::platform::is_nt_platform()) {
      const auto name = kav::platform::module_base_name();
      if (!name) return false;
      CopyBounded(buf, size, name->c_str());
      return true;
    }
    char path[kPathSize] = {};
    if (const auto full = kav::platform::module_file_name()) {
      CopyBounded(path, sizeof path, full->c_str());
    }
    if (const char* last = std::strrchr(path, kSeparator)) CopyBounded(buf, size, last + 1);
    return true;
  });
}

// Ends buf at its last '.' within size characters.
void CutAtLastDot(char* buf, int size) {
  for (std::size_t i = strnlen(buf, size); i > 0; --i) {
    if (buf[i - 1] == '.') {
      buf[i - 1] = '\0';
      return;
    }
  }
}

// Copies folder into cache with a trailing separator.  A folder that does not fit leaves the
// cache empty: a cut path would name another directory.
bool StoreFolder(char* cache, const std::string& folder) {
  const bool has_separator = !folder.empty() && folder.back() == kSeparator;
  if (folder.size() + (has_separator ? 0 : 1) >= static_cast<std::size_t>(kPathSize)) return false;
  std::memcpy(cache, folder.c_str(), folder.size() + 1);
  kav::config::ensure_trailing_backslash(cache, kPathSize);
  return true;
}

std::optional<std::string> ShortFolder(Folder folder) {
  return kav::base::guarded(std::nullopt, [&]() -> std::optional<std::string> {
    const auto path = kav::platform::special_folder(folder);
    if (!path) return std::nullopt;
    return kav::platform::short_path(*path);
  });
}

// Fills an empty cache with <short folder><sep>KAV<sep>VELTRA<sep><version><sep>.  A folder
// without a short form counts as unavailable rather than giving a relative path.
char* ProfileDirectory(char* cache, Folder folder) {
  if (cache[0] != '\0') return cache;
  const auto root_folder = ShortFolder(folder);
  char root[kPathSize];
  if (!root_folder || !StoreFolder(root, *root_folder)) return cache;
  char id[kPathSize];
  QelGetAppProfileID(id, sizeof id, 0);
  char path[kPathSize];
  const int length = std::snprintf(path, sizeof path, "%s%s%c%s", root, "KAV", kSeparator, id);
  if (length < 0 || length + 1 >= kPathSize) return cache;  // no room for the final separator
  kav::config::ensure_trailing_backslash(path, kPathSize);
  std::memcpy(cache, path, std::strlen(path) + 1);
  return cache;
}

std::optional<std::string> WindowsFolder() {
  return kav::base::guarded(std::nullopt, [&]() -> std::optional<std::string> {
    if (auto folder = kav::platform::special_folder(Folder::kWindows)) return folder;
    if (const char* root = std::getenv("SYSTEMROOT")) return std::string(root);
    return std::nullopt;
  });
}

}  // namespace

namespace kav::config {

void ensure_trailing_backslash(char* path, int size) {
  if (path == nullptr || size < 2 || path[0] == '\0') return;
  const std::size_t length = std::strlen(path);
  if (path[length - 1] == kSeparator) return;
  const std::size_t at = std::min(length, static_cast<std::size_t>(size - 2));
  path[at] = kSeparator;
  path[at + 1] = '\0';
}

void cut_at_line_end(char* buf, int size) {
  if (buf == nullptr) return;
  for (int i = 0; i < size; ++i) {
    if (buf[i] == '\n' || buf[i] == '\f' || buf[i] == '\0') {
      buf[i] = '\0';
      return;
    }
  }
}

// Three fgets calls of at most seven characters each read no more than 21 characters of text,
// which CR LF pairs make 42 bytes of the file at most; one more shows what follows a final CR.
constexpr std::size_t kVersionBytes = 3 * (kVersionSize - 1) * 2 + 1;

// The file's first bytes as text mode gives them: a carriage return right before a line feed
// does not belong to the line, so a version file written on Windows reads the same everywhere.
std::string TextModeBytes(std::FILE* file) {
  char raw[kVersionBytes];
  const std::size_t got = kav::platform::io::fread(raw, 1, sizeof raw, file);
  std::string text;
  for (std::size_t i = 0; i < got; ++i) {
    if (raw[i] != '\r' || i + 1 >= got || raw[i + 1] != '\n') text += raw[i];
  }
  return text;
}

// fgets on text: up to size - 1 characters, ending after a line feed; false at the end.
bool ReadTextLine(char* part, int size, std::string_view& text) {
  if (text.empty()) return false;
  std::size_t used = std::min(text.size(), static_cast<std::size_t>(size - 1));
  const std::size_t line_feed = text.substr(0, used).find('\n');
  if (line_feed != std::string_view::npos) used = line_feed + 1;
  std::memcpy(part, text.data(), used);
  part[used] = '\0';
  text.remove_prefix(used);
  return true;
}

void load_version_file() {
  if (version_major[0] != '\0') return;
  std::FILE* file = kav::platform::io::fopen_regular("version", "rb");
  if (file == nullptr) {
    CopyBounded(version_major, kVersionSize, "4");
    CopyBounded(version_minor, kVersionSize, "93");
    CopyBounded(version_build, kVersionSize, "0");
    return;
  }
  std::string bytes;
  kav::base::guarded([&] { bytes = TextModeBytes(file); });  // else the file reads as empty
  kav::platform::io::fclose(file);
  // A line longer than seven characters goes on as the next value; a missing line leaves its
  // value, and those after it, as they were.
  std::string_view text(bytes);
  for (char* part : {version_major, version_minor, version_build}) {
    if (!ReadTextLine(part, kVersionSize, text)) break;
  }
  for (char* part : {version_major, version_minor, version_build}) {
    cut_at_line_end(part, kVersionSize);
  }
}

}  // namespace kav::config

extern "C" KAV_API const char* KAV_CALL QelGetVerMajor(void) KAV_NOEXCEPT {
  kav::config::load_version_file();
  return version_major;
}

extern "C" KAV_API const char* KAV_CALL QelGetVerMinor(void) KAV_NOEXCEPT {
  kav::config::load_version_file();
  return version_minor;
}

extern "C" KAV_API const char* KAV_CALL QelGetVerBuild(void) KAV_NOEXCEPT {
  kav::config::load_version_file();
  return version_build;
}

extern "C" KAV_API char* KAV_CALL QelGetDisplayVersion(void) KAV_NOEXCEPT {
  kav::config::load_version_file();
  std::snprintf(display_version, sizeof display_version, "%s.%s", version_major, version_minor);
  return display_version;
}

extern "C" KAV_API char* KAV_CALL QelFormatProfileID(char* id) KAV_NOEXCEPT {
  if (id == nullptr || id[0] == '\0') return nullptr;
  char suffix[kVersionSuffixSize];
  FormatVersionSuffix(suffix);
  std::strcat(id, suffix);  // the caller's buffer holds the name, a separator and the version
  return id;
}

extern "C" KAV_API char* KAV_CALL QelGetAppProfileID(char* buf, int size, int mode) KAV_NOEXCEPT {
  if (buf == nullptr || size <= 0) return nullptr;
  if (mode >= 1) {
    if (!CopyProgramName(buf, size)) return nullptr;
  } else {
    CopyBounded(buf, size, "VELTRA");
  }
  CutAtLastDot(buf, size);
  // The ID is formatted as QelFormatProfileID does, but within the caller's size.
  const std::size_t length = strnlen(buf, size);
  if (length == 0 || length == static_cast<std::size_t>(size)) return buf;
  char suffix[kVersionSuffixSize];
  FormatVersionSuffix(suffix);
  CopyBounded(buf + length, size - length, suffix);
  return buf;
}

extern "C" KAV_API char* KAV_CALL QelGetUsersAppDataPath(void) KAV_NOEXCEPT {
  return ProfileDirectory(user_directory, Folder::kUserAppData);
}

extern "C" KAV_API char* KAV_CALL QelGetCommonAppDataPath(void) KAV_NOEXCEPT {
  return ProfileDirectory(common_directory, Folder::kCommonAppData);
}

extern "C" KAV_API char* KAV_CALL QelGetSystemStroagePath(void) KAV_NOEXCEPT {
  if (windows_directory[0] == '\0') {
    // The system's answer first, then SYSTEMROOT; with neither the cache stays empty.
    if (const auto folder = WindowsFolder()) StoreFolder(windows_directory, *folder);
  }
  return windows_directory;
}

extern "C" KAV_API char* KAV_CALL QelGetINIPath(int location) KAV_NOEXCEPT {
  switch (location) {
    case KAV_LOCATION_WINDOWS:
      return QelGetSystemStroagePath();
    case KAV_LOCATION_COMMON:
      return QelGetCommonAppDataPath();
    case KAV_LOCATION_USER:
      return QelGetUsersAppDataPath();
    default:
      return nullptr;
  }
}

// profile_init.cpp - carrying a program's profile forward from an earlier version, moving or
// conditionally writing single settings, and the numbered keys of the "Tools" section.
//
// Every version keeps its profiles in its own directory <root>KAV/VELTRA/<M>.<m>.<b>/, where
// <root> is the long form of the common or the per-user application-data folder with a trailing
// separator; the native separator takes the backslash's place throughout.  QelFindPreviousProfile
// takes the first earlier version that the platform's listing of the version directories yields,
// unsorted; QelFindPreviousProfile2 counts down through every version number at or below a given
// one.  QelInitializeProfile copies what it finds into the running version's directories and
// never replaces a file, so a program may call it at every start.
//
// Paths are built in 260-character buffers and key lists and values in 1024-character ones.  A
// path that does not fit is never cut (it would name another file): it names nothing.  The two
// tool-key operations keep the key under examination in process-wide buffers of their own.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "base/boundary.h"
#include "config/profile.h"
#include "kavutil.h"
#include "platform/platform.h"

namespace {

using kav::config::kNoValue;
using kav::config::kPathSize;
using kav::platform::Folder;
using kav::platform::kSeparator;

// The size of key lists, values and the tool-key buffers.
constexpr int kListSize = 1024;
// "-2147483648" and its NUL.
constexpr int kIntTextSize = 12;

constexpr char kToolsSection[] = "Tools";
constexpr char kEnvironmentSection[] = "Environment";
// Machine-wide settings that a per-user copy must not shadow.
constexpr const char* kMachineWideKeys[] = {"QELTMP", "LOGFILE", "TREVANE"};

char find_tool_key[kListSize];  // the key QelFindToolKey examines
char next_tool_key[kListSize];  // the key QelGetNextToolKey examines

struct Version {
  int major;
  int minor;
  int build;
};

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// atoi without its undefined overflow: numbers beyond int's range saturate.
int ToInt(const char* text) {
  const long value = std::strtol(text, nullptr, 10);
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

Version RunningVersion() {
  return {ToInt(QelGetVerMajor()), ToInt(QelGetVerMinor()), ToInt(QelGetVerBuild())};
}

// Copies text into a path buffer; false when it does not fit.
bool StorePath(char (&out)[kPathSize], const std::string& text) {
  if (text.size() >= static_cast<std::size_t>(kPathSize)) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

// "<root>KAV<sep>VELTRA<sep>" under the long form of the common (common != 0) or the per-user
// application-data folder; false when the system cannot name the folder.
bool VersionsDirectory(int common, char (&out)[kPathSize]) {
  return kav::base::guarded(false, [&] {
    const auto folder =
        kav::platform::special_folder(common != 0 ? Folder::kCommonAppData : Folder::kUserAppData);
    if (!folder || folder->empty()) return false;
    std::string path = *folder;
    if (path.back() != kSeparator) path += kSeparator;
    return StorePath(out, path + "KAV" + kSeparator + "VELTRA" + kSeparator);
  });
}

// "<versions><M>.<m>.<b><sep><name>" in out; false when it does not fit.
bool VersionFile(const char* versions, Version version, const char* name, char (&out)[kPathSize]) {
  const int length = std::snprintf(out, kPathSize, "%s%d.%d.%d%c%s", versions, version.major,
                                   version.minor, version.build, kSeparator, name);
  return length >= 0 && length < kPathSize;
}

// directory + name in out; false for an unknown (empty) directory or a path that does not fit.
bool InDirectory(const char* directory, const char* name, char (&out)[kPathSize]) {
  if (IsEmpty(directory)) return false;
  const int length = std::snprintf(out, kPathSize, "%s%s", directory, name);
  return length >= 0 && length < kPathSize;
}

// The profile file of a version under one root, in path; 1 when it exists.
int CheckProfile(const char* name, Version version, int common, char (&path)[kPathSize]) {
  char versions[kPathSize];
  if (IsEmpty(name) || !VersionsDirectory(common, versions)) return 0;
  return VersionFile(versions, version, name, path) && kav::platform::path_exists(path) ? 1 : 0;
}

// Reads the first three parts of a directory name split at dots, as strtok splits it (runs of
// dots count as one, leading dots are skipped); nothing when it has fewer than three.
std::optional<Version> ParseVersion(const char* name) {
  int parts[3] = {};
  int count = 0;
  for (const char* at = name; count < 3;) {
    while (*at == '.') ++at;
    if (*at == '\0') return std::nullopt;
    parts[count++] = ToInt(at);
    while (*at != '\0' && *at != '.') ++at;
  }
  return Version{parts[0], parts[1], parts[2]};
}

// Field by field, as signed numbers; an equal version is not earlier.
bool IsEarlier(Version version, Version than) {
  if (version.major != than.major) return version.major < than.major;
  if (version.minor != than.minor) return version.minor < than.minor;
  return version.build < than.build;
}

// The first directory of the listing that names a version earlier than current.
std::optional<Version> FirstEarlierVersion(const char* versions, Version current) {
  return kav::base::guarded(std::nullopt, [&]() -> std::optional<Version> {
    const std::string search = std::string(versions) + "*";
    if (search.size() >= static_cast<std::size_t>(kPathSize)) return std::nullopt;
    const auto entries = kav::platform::find_entries(search);
    if (!entries) return std::nullopt;
    for (const auto& entry : *entries) {
      if (!entry.directory) continue;
      const auto version = ParseVersion(entry.name.c_str());
      if (version && IsEarlier(*version, current)) return version;
    }
    return std::nullopt;
  });
}

// The name QelInitializeProfile works with: the last component of the argument's absolute form
// when it holds a separator of either kind, else the argument cut to the path size.
bool ProfileName(const char* ini, char (&name)[kPathSize]) {
  if (std::strpbrk(ini, "\\/") == nullptr) {
    std::snprintf(name, kPathSize, "%s", ini);
    return true;
  }
  return kav::base::guarded(false, [&] {
    const auto full = kav::platform::full_path(ini, kPathSize);
    if (!full) return false;
    const std::size_t last = full->find_last_of("\\/");
    return StorePath(name, last == std::string::npos ? *full : full->substr(last + 1));
  });
}

// The old version-less place: name in the Windows directory, when it exists there.  An unknown
// Windows directory has no such file (a bare name would point into the working directory).
bool WindowsDirectoryProfile(const char* name, char (&source)[kPathSize]) {
  char directory[kPathSize];
  std::snprintf(directory, kPathSize, "%s", QelGetSystemStroagePath());
  kav::config::ensure_trailing_backslash(directory, kPathSize);
  return InDirectory(directory, name, source) && kav::platform::path_exists(source);
}

void CopyToCommon(const char* source, const char* name) {
  const char* directory = QelGetCommonAppDataPath();
  char target[kPathSize];
  if (!InDirectory(directory, name, target)) return;
  // The common version directory is created here too, so that the first start of a new version
  // gets its common profile and not just the per-user one.
  mkdir_fullpath(directory);
  kav::platform::copy_file_if_absent(source, target);
}

// Copies the per-user profile and removes from the copy the settings that belong to the whole
// machine, so that reads of them fall back to the common file; again on every call.
void CopyToUser(const char* source, const char* name) {
  const char* directory = QelGetUsersAppDataPath();
  char target[kPathSize];
  if (!InDirectory(directory, name, target)) return;
  mkdir_fullpath(directory);
  kav::platform::copy_file_if_absent(source, target);
  for (const char* key : kMachineWideKeys) {
    QelWritePrivateProfileString(kEnvironmentSection, key, nullptr, target, KAV_LOCATION_SEARCH);
  }
}

// Whether an update mode lets a write happen, given whether the destination has the key.
bool ModeAllowsWrite(int mode, bool present) {
  switch (mode) {
    case 0:
      return true;
    case 1:
      return !present;
    case 2:
      return present;
    default:
      return false;
  }
}

// Reads key straight from file through the platform; false when the file does not hold it.  A
// stored value equal to the sentinel counts as missing.
bool ReadDirect(const char* section, const char* key, const char* file, char (&value)[kListSize]) {
  kav::platform::profile_get_string(section, key, kNoValue, value, kListSize, file);
  return std::strcmp(value, kNoValue) != 0;
}

// The names of the "Tools" section, NUL-separated and ending with an empty name; all NULs when
// there is no such section or file.
void ReadToolKeys(const char* file, int location, char (&keys)[kListSize]) {
  QelGetPrivateProfileString(kToolsSection, nullptr, nullptr, keys, kListSize, file, location);
}

// Copies each name of a key list in turn into current and calls visit on it, until visit
// returns true, a name is empty or the list's buffer ends.  True when visit did.
template <typename Visit>
bool ForEachKey(const char (&keys)[kListSize], char (&current)[kListSize], Visit visit) {
  for (std::size_t at = 0; at < kListSize && keys[at] != '\0';) {
    const std::size_t length = strnlen(keys + at, kListSize - at);
    std::snprintf(current, kListSize, "%.*s", static_cast<int>(length), keys + at);
    if (visit(static_cast<const char*>(current))) return true;
    at += length + 1;
  }
  return false;
}

}  // namespace

extern "C" KAV_API int KAV_CALL QelCheckProfileExists(const char* name, int major, int minor,
                                                      int build, int common) KAV_NOEXCEPT {
  char path[kPathSize];
  return CheckProfile(name, {major, minor, build}, common, path);
}

extern "C" KAV_API int KAV_CALL QelFindPreviousProfile(char* out, const char* name, int major,
                                                       int minor, int build,
                                                       int common) KAV_NOEXCEPT {
  char versions[kPathSize];
  if (out == nullptr || !VersionsDirectory(common, versions)) return 0;
  const auto candidate = FirstEarlierVersion(versions, {major, minor, build});
  // Only the first candidate is looked at: a directory without the file ends the search.
  char path[kPathSize];
  if (!candidate || CheckProfile(name, *candidate, common, path) != 1) return 0;
  std::memcpy(out, path, std::strlen(path) + 1);
  return 1;
}

extern "C" KAV_API int KAV_CALL QelFindPreviousProfile2(char* out, const char* name, int major,
                                                        int minor, int build) KAV_NOEXCEPT {
  char versions[kPathSize];
  if (out == nullptr || IsEmpty(name) || !VersionsDirectory(1, versions)) return 0;
  char path[kPathSize];
  if (!VersionFile(versions, {0, 0, 0}, name, path)) return 0;  // no version's path would fit
  // Every number is tried in turn, even below a missing version directory: plain, and short for
  // the versions that exist in practice.
  for (int at_major = major; at_major >= 0; --at_major) {
    for (int at_minor = at_major == major ? minor : 999; at_minor >= 0; --at_minor) {
      const bool given = at_major == major && at_minor == minor;
      for (int at_build = given ? build : 999; at_build >= 0; --at_build) {
        if (!VersionFile(versions, {at_major, at_minor, at_build}, name, path)) continue;
        if (!kav::platform::path_exists(path)) continue;
        std::memcpy(out, path, std::strlen(path) + 1);
        return 1;
      }
    }
  }
  return 0;
}

extern "C" KAV_API int KAV_CALL QelInitializeProfile(const char* ini) KAV_NOEXCEPT {
  char name[kPathSize];
  // A path that ends with a separator names a directory, not a profile.
  if (IsEmpty(ini) || !ProfileName(ini, name) || name[0] == '\0') return 0;
  const Version current = RunningVersion();
  char source[kPathSize] = {};
  char user_source[kPathSize] = {};
  const int in_common =
      QelFindPreviousProfile(source, name, current.major, current.minor, current.build, 1);
  if (in_common == 1) {
    QelFindPreviousProfile(user_source, name, current.major, current.minor, current.build, 0);
  } else if (!WindowsDirectoryProfile(name, source)) {
    return 0;
  }
  CopyToCommon(source, name);
  if (user_source[0] != '\0') CopyToUser(user_source, name);
  return 1;
}

extern "C" KAV_API int KAV_CALL QelProfileSettingMigrate(const char* section, const char* key,
                                                         const char* def, const char* source_file,
                                                         const char* dest_file,
                                                         int mode) KAV_NOEXCEPT {
  if (IsEmpty(section) || IsEmpty(key) || IsEmpty(source_file) || IsEmpty(dest_file)) return 0;
  char source_value[kListSize];
  char dest_value[kListSize];
  const bool in_source = ReadDirect(section, key, source_file, source_value);
  const bool in_dest = ReadDirect(section, key, dest_file, dest_value);
  if (!ModeAllowsWrite(mode, in_dest)) return 0;
  const char* value = in_source ? source_value : (def != nullptr ? def : "");
  return kav::platform::profile_write_string(section, key, value, dest_file) ? 1 : 0;
}

extern "C" KAV_API int KAV_CALL QelProfileSettingUpdate(const char* section, const char* key,
                                                        const char* value, const char* file,
                                                        int mode, int location) KAV_NOEXCEPT {
  if (IsEmpty(section) || IsEmpty(key) || IsEmpty(file)) return 0;
  char current[kListSize];
  QelGetPrivateProfileString(section, key, kNoValue, current, kListSize, file, location);
  // A stored value equal to the sentinel reads as missing, like a key that is not there.
  const bool present = std::strcmp(current, kNoValue) != 0;
  if (!ModeAllowsWrite(mode, present)) return 0;
  return QelWritePrivateProfileString(section, key, value, file, location);
}

extern "C" KAV_API int KAV_CALL QelFindToolKey(char* out, const char* text, const char* file,
                                               int location) KAV_NOEXCEPT {
  if (out == nullptr || IsEmpty(text) || IsEmpty(file)) return 0;
  char keys[kListSize];
  ReadToolKeys(file, location, keys);
  const bool found = ForEachKey(keys, find_tool_key, [&](const char* key) {
    char value[kListSize];
    QelGetPrivateProfileString(kToolsSection, key, nullptr, value, kListSize, file, location);
    if (value[0] == '\0' || std::strstr(value, text) == nullptr) return false;
    std::snprintf(out, kListSize, "%s", key);
    return true;
  });
  return found ? 1 : 0;
}

extern "C" KAV_API int KAV_CALL QelGetNextToolKey(char* out, const char* file,
                                                  int location) KAV_NOEXCEPT {
  if (out == nullptr || IsEmpty(file)) return -1;
  char keys[kListSize];
  ReadToolKeys(file, location, keys);
  int largest = 0;
  ForEachKey(keys, next_tool_key, [&](const char* key) {
    largest = std::max(largest, ToInt(key));
    return false;
  });
  // The numbers end at int's limit: a key there gives the limit again instead of overflowing.
  const int next = largest < INT_MAX ? largest + 1 : INT_MAX;
  std::snprintf(out, kIntTextSize, "%d", next);
  return next;
}

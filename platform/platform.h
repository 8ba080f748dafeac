// platform.h - the operating-system services kavutil's families use.
//
// Every family calls the OS only through these functions.  platform/win32
// implements them with the real Win32 services; platform/posix provides the
// same observable behaviour on Linux and other POSIX systems.  Strings are
// 8-bit; paths use the platform's own separator (kSeparator) and functions
// given a path accept both '/' and '\\' where the platform does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kav::platform {

#if defined(_WIN32)
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// ---------------------------------------------------------------------------
// Private-profile (INI) files, with the Windows functions' arguments, results
// and rules: GetPrivateProfileStringA, GetPrivateProfileIntA,
// GetPrivateProfileSectionA, GetPrivateProfileSectionNamesA,
// GetPrivateProfileStructA, WritePrivateProfileStringA,
// WritePrivateProfileSectionA and WritePrivateProfileStructA.  A file name
// without a separator means that file in the Windows directory.
// ---------------------------------------------------------------------------

uint32_t profile_get_string(const char *section, const char *key, const char *default_value,
                            char *buffer, uint32_t size, const char *file);
uint32_t profile_get_int(const char *section, const char *key, int default_value, const char *file);
uint32_t profile_get_section(const char *section, char *buffer, uint32_t size, const char *file);
uint32_t profile_get_section_names(char *buffer, uint32_t size, const char *file);
bool profile_get_struct(const char *section, const char *key, void *data, uint32_t size,
                        const char *file);
bool profile_write_string(const char *section, const char *key, const char *value,
                          const char *file);
bool profile_write_section(const char *section, const char *entries, const char *file);
bool profile_write_struct(const char *section, const char *key, const void *data, uint32_t size,
                          const char *file);

// ---------------------------------------------------------------------------
// Folders, modules and files.
// ---------------------------------------------------------------------------

enum class Folder {
  kUserAppData,    // the user's application-data folder
  kCommonAppData,  // the machine-wide application-data folder
  kWindows,        // the Windows directory
};

// The folder's path without a trailing separator, or nothing when the system
// cannot name it.
std::optional<std::string> special_folder(Folder folder);

// The short (8.3) form of an existing path; the path itself where there is
// no such form.  Nothing when the path cannot be converted.
std::optional<std::string> short_path(const std::string &path);

// The running program's file name without its directory ("server.exe" on
// Windows, "server" on POSIX), and its full path.
std::optional<std::string> module_base_name();
std::optional<std::string> module_file_name();

// Whether the system reports the NT platform (GetVersionEx's platform id 2).
// POSIX systems answer true: module names are always available there.
bool is_nt_platform();

// The running Wine's version, when the program runs under Wine.
std::optional<std::string> wine_version();

bool make_directory(const char *path);  // one level; false when it fails or exists
bool path_exists(const char *path);     // stat() succeeds

// The absolute form of path against the current directory, as _fullpath
// gives it; nothing when it does not fit limit characters or fails.
std::optional<std::string> full_path(const char *path, size_t limit);

// ---------------------------------------------------------------------------
// Directories and file status.
// ---------------------------------------------------------------------------

struct DirectoryEntry {
  std::string name;        // without its directory
  bool directory = false;  // the entry is a directory
  bool system = false;     // Windows' system attribute; never set on POSIX
};

// The entries that a directory search (FindFirstFileA / FindNextFileA) finds
// for search, "<directory><separator><pattern>": one level, '*' and '?'
// matched against entry names, "." and ".." left out, in the system's order.
// Nothing when the search cannot start (missing or unreadable directory).
std::optional<std::vector<DirectoryEntry>> find_entries(const std::string &search);

enum class PathKind {
  kMissing,    // the path or one of its directories does not exist
  kDirectory,  // an existing directory
  kOther,      // an existing file of another kind
  kUnknown,    // the query failed for another reason (no rights, ...)
};
PathKind path_kind(const char *path);  // GetFileAttributesA's answer

bool remove_file(const char *path);       // _unlink
bool remove_directory(const char *path);  // _rmdir, an empty directory

// Copies a file like CopyFileA with its fail-if-exists flag: never replaces
// an existing destination.
bool copy_file_if_absent(const char *source, const char *destination);

// The current working directory.
std::optional<std::string> current_directory();

// ---------------------------------------------------------------------------
// The process environment.
// ---------------------------------------------------------------------------

// Every "NAME=value" entry of the process environment, in its order.
std::vector<std::string> environment_entries();

// Sets a process environment variable from a "NAME=value" entry (_putenv).
bool put_environment(const std::string &entry);

// ---------------------------------------------------------------------------
// The user interface.
// ---------------------------------------------------------------------------

// Shows text in a modal message box owned by the calling thread's active
// window, with caption and an OK button.  False, and nothing shown, when
// there is no active window (always on POSIX).
bool message_box_on_active_window(const char *caption, const char *text);

}  // namespace kav::platform

// platform.h - the operating-system services kavutil's families use.
//
// Every family calls the OS only through these functions.  platform/win32
// implements them with the real Win32 services; platform/posix provides the
// same observable behaviour on Linux and other POSIX systems.  Strings are
// 8-bit; paths use the platform's own separator (kSeparator) and functions
// given a path accept both '/' and '\\' where the platform does.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
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
// Files the utilities and the error log read and write.  Every call beneath
// these goes through the I/O seam (platform/io.h, platform/posix/io.h), and
// every stream or descriptor they open is kept from child processes.
// ---------------------------------------------------------------------------

enum class FileKind { kRegular, kDirectory, kCharacterDevice, kOther };
struct FileStatus {
  FileKind kind;
  long long size;
};
// The status of path, links followed.  A directory may be named with
// trailing separators; a file named with one is not found.
std::optional<FileStatus> file_status(const char *path);

// Opens a regular file for binary reading; null when it does not open or is
// of another kind (a FIFO or a device could block or never end).
std::FILE *open_regular_file(const char *path);

// Fills a stream; false when it could not write (or read) everything.
using StreamWriter = std::function<bool(std::FILE *out)>;

// Writes a new file in place of path: the writer fills a temporary file beside
// it, which is flushed to disk and renamed over path.  On failure path is as
// it was and no temporary file is left.
bool replace_file(const char *path, const StreamWriter &write);

// Appends what the writer gives to the regular file path, created if missing,
// and flushes it to disk.  On failure the file is cut back to its old length,
// or removed when this call created it.
bool append_to_file(const char *path, const StreamWriter &write);

// Appends one log record with a single write, in text mode; a file that does
// not open without blocking (a FIFO with no reader) or is neither a regular
// file, a FIFO nor a character device is not written.  A record that does not
// fit whole is taken back from a regular file.
bool append_log_record(const char *path, const std::string &record);

// recursive_unlink: removes path and everything below it, following no link
// (a link, even one named with a trailing separator, is removed itself).
// Entries whose names begin with '.' (and, on Windows, system entries) stay,
// and so does the directory holding them.  A path that does not exist, or
// names a device, FIFO or socket, is left alone and counts as success; inside
// a tree every entry that is not a directory is removed.
bool remove_tree(const char *path);

// copy_file: a copy of the regular file source in place of destination, as
// replace_file writes one (aside, flushed to disk, renamed over it), and on
// POSIX the rename flushed too: true means the copy is stored under its name.
// A source of another kind (a directory, FIFO or device) is refused without
// being read or waited on.  On failure destination is as it was and no
// temporary file is left.
bool replace_with_copy(const char *source, const char *destination);

// copy_dir: copies the regular files below source to the same places below
// destination, each replacing the file there only when complete and stored;
// symbolic links are made again as links (POSIX) or left out (Windows
// reparse points), never followed.  Directories are made only to hold a
// copied entry: make_directories(path) creates every missing directory before
// path's last separator, as parent_dir does.  FIFOs, sockets and devices are
// left out.  True when everything was copied and stored, or when source does
// not exist; false at the first failure, with every file either old or new.
struct TreeCopy {
  std::function<bool(const std::string &path)> make_directories;
};
bool copy_tree(const char *source, const char *destination, const TreeCopy &copy);

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

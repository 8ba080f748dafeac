// profile.h - what the profile families share inside the library: the sentinels that tell a
// missing INI entry from a present one, the path size, and the helpers that build and create
// profile paths.  Paths use the platform's separator (kav::platform::kSeparator), so
// "trailing backslash" below means a trailing '\\' on Windows and a trailing '/' on POSIX.
#pragma once

namespace kav::config {

// The default handed to the platform by string reads: a value no profile holds.
inline constexpr char kNoValue[] = "98234_GOT_NO_VALUE_8974892";
inline constexpr int kNoValueLength = sizeof kNoValue - 1;

// The default handed to the platform by integer reads.
inline constexpr int kNoIntValue = 2147483647;

// The size of every path buffer and path cache.
inline constexpr int kPathSize = 260;

// Gives a non-empty path a trailing separator, writing it at min(length, size - 2) so that the
// result never exceeds size - 1 characters.  Leaves null, empty and too small buffers alone.
void ensure_trailing_backslash(char* path, int size);

// Loads the version into its three buffers, once: from the working directory's "version" file,
// or the built-in 4.93.0 when there is none.
void load_version_file();

// Ends buf at its first line feed, form feed or NUL within size characters.
void cut_at_line_end(char* buf, int size);

// 1 when name, without a final ".INI" (any case), is one of the programs whose profiles are
// written per user; else 0.
int is_per_user_ini(const char* name);

// Creates every directory along path, from the root down, ignoring failures; both '/' and '\\'
// split it.  Returns 1.
int create_directory_chain(const char* path);

}  // namespace kav::config

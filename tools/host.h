// host.h - the few services of the host system the kav tool itself needs.
#pragma once

#include <cstdio>
#include <string>

namespace kav::tool {

// Sets a variable of the tool's own process environment.
void set_environment(const char *name, const std::string &value);

// Whether stream is connected to a terminal (a console on Windows).
bool is_terminal(std::FILE *stream);

// Asks for a password on the terminal (prompt on standard error) and reads one line from
// standard input without echoing it; the line without its end.
std::string read_password(const char *prompt);

// The separator the library puts between a directory and a name it walks:
// '\' on Windows, '/' elsewhere.
char path_separator();

// Forgets the system's last error (errno, and on Windows GetLastError) before a library call,
// so that system_error tells what that call left.
void clear_system_error();

// The system's text for the error the last failed call left since clear_system_error (errno,
// else on Windows GetLastError), or otherwise when it left none.  The library reports failures
// by its results alone; the error it leaves behind is the best reason the tool can give.
std::string system_error(const char *otherwise);

// The system's text for an error code as the launchers report it (an errno value on POSIX, a
// GetLastError code on Windows).
std::string system_message(int code);

// Whether path has the Windows system attribute (never on POSIX): recursive_unlink keeps such
// entries.
bool is_system_entry(const char *path);

// What install_file did.
enum class Installed { kWritten, kExists, kFailed };

// Writes bytes as the file path, whole or not at all: into a new temporary file beside it, which
// is flushed to disk and then linked or moved to path.  An existing path is kept (kExists)
// unless replace; kFailed puts the system's reason in *why.
Installed install_file(const std::string &path, const std::string &bytes, bool replace,
                       std::string *why);

// Reads standard input in binary mode (on Windows; POSIX streams always are).
void binary_standard_input();

// Copies standard input, in binary mode, into a new temporary file; the file's path.  A Failure
// with the reason when the file cannot be made or written.
std::string copy_standard_input();

}  // namespace kav::tool

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

// Copies standard input, in binary mode, into a new temporary file; the file's path.  A Failure
// with the reason when the file cannot be made or written.
std::string copy_standard_input();

}  // namespace kav::tool

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

}  // namespace kav::tool

// host.h - the few services of the host system the kav tool itself needs.
#pragma once

#include <cstdio>
#include <string>

namespace kav::tool {

// Sets a variable of the tool's own process environment.
void set_environment(const char *name, const std::string &value);

// Whether stream is connected to a terminal (a console on Windows).
bool is_terminal(std::FILE *stream);

// The separator the library puts between a directory and a name it walks:
// '\' on Windows, '/' elsewhere.
char path_separator();

}  // namespace kav::tool

// host.h - the few services of the host system the kav tool itself needs.
#pragma once

#include <string>

namespace kav::tool {

// Sets a variable of the tool's own process environment.
void set_environment(const char *name, const std::string &value);

}  // namespace kav::tool

// The configuration store command of the kav tool: one value of a
// section/key file, read through the library's cache.
#include <cstdio>
#include <string>

#include "commands.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

// A key that is not there is an answer (status 1); a file that cannot be read is an error,
// unless DEFAULT stands in for it, as it does for the library's callers.
int cfs(Args args) {
  const Arguments a(args, 3, 4);
  const InputPath file(a[0]);
  const char *fallback = a.size() == 4 ? a[3] : nullptr;
  const char *value = get_cfsvalue_def(file.path(), a[1], a[2], fallback);
  if (value != nullptr) {
    std::printf("%s\n", value);
    return 0;
  }
  if (!is_readable_file(file.path()))
    throw Failure(std::string("cannot read ") + a[0] + ": " + unreadable_reason(file.path()));
  return 1;
}

const Command kCommands[] = {
    {"cfs", "FILE SECTION KEY [DEFAULT]",
     "Prints the value of KEY in SECTION of the configuration file FILE (standard input for\n"
     "-; lines '[SECTION]' and 'KEY=VALUE'; an empty SECTION means Site).  Names compare\n"
     "with case, and the first KEY of a section counts.  A missing key, a file that cannot\n"
     "be read or a line without '=' in the section gives DEFAULT.  Without DEFAULT nothing\n"
     "is printed, and the exit status is 1 for a missing key (or a line without '=') and 2\n"
     "for a file that cannot be read.",
     cfs},
};

}  // namespace

std::span<const Command> config_commands() { return kCommands; }

}  // namespace kav::tool

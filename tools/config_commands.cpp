// The configuration store command of the kav tool: one value of a
// section/key file, read through the library's cache.
#include <cstdio>

#include "commands.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

int cfs(Args args) {
  expect_arguments(args, 3, 4);
  const char *fallback = args.size() == 4 ? args[3] : nullptr;
  const char *value = get_cfsvalue_def(args[0], args[1], args[2], fallback);
  if (value == nullptr) return 1;
  std::printf("%s\n", value);
  return 0;
}

const Command kCommands[] = {
    {"cfs", "FILE SECTION KEY [DEFAULT]",
     "Prints the value of KEY in SECTION of the configuration file FILE (lines\n"
     "'[SECTION]' and 'KEY=VALUE'; an empty SECTION means Site).  Names compare with\n"
     "case and the first KEY of a section counts.  A missing key, a missing file or a\n"
     "line without '=' in a section gives DEFAULT; without DEFAULT nothing is printed and\n"
     "the exit status is 1.",
     cfs},
};

}  // namespace

std::span<const Command> config_commands() { return kCommands; }

}  // namespace kav::tool

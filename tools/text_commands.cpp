// The text commands of the kav tool: sorting lines the way the string list
// keeps them sorted.
#include <cstdio>
#include <string>

#include "commands.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

int sort(Args args) {
  expect_arguments(args, 1, 2);
  dsList list;
  dsInitialize(&list);
  if (!dsSetSort(&list, args[0])) {
    dsFree(&list);
    throw UsageError(std::string("'") + args[0] + "' is not a sort order (e.g. +S0|-D3)");
  }
  int read = args.size() == 2 ? dsReadFromFile(&list, args[1]) : dsReadFromStdIn(&list);
  if (!read && args.size() == 2) {
    dsFree(&list);
    std::fprintf(stderr, "kav sort: cannot read %s\n", args[1]);
    return 1;
  }
  for (int i = 0; i < dsGetStringCount(&list); ++i) {
    std::string line = dsGetStringAtIndex(&list, i);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    std::printf("%s\n", line.c_str());
  }
  dsFree(&list);
  return 0;
}

const Command kCommands[] = {
    {"sort", "ORDER [FILE]",
     "Prints the lines of FILE (or standard input) in the order a sorted string list keeps\n"
     "them.  ORDER names up to five keys separated by '|': a sign (+ ascending, - descending),\n"
     "a type (S text without case, D decimal number) and a field number counted from 0\n"
     "(fields are separated by '|'), e.g. +S0|-D3.  Among equal lines the newest comes first.",
     sort},
};

}  // namespace

std::span<const Command> text_commands() { return kCommands; }

}  // namespace kav::tool

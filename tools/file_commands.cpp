// The file commands of the kav tool: checksums, copies of files and trees,
// tree removal and directory chains.
#include <cstdio>
#include <string>

#include "commands.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

int checksum(Args args) {
  if (args.empty()) throw UsageError("missing FILE");
  int status = 0;
  for (const char *file : args) {
    unsigned int sum = get_check_sum(file);
    if (sum == 0) {
      std::fprintf(stderr, "kav checksum: cannot read %s\n", file);
      status = 1;
      continue;
    }
    std::printf("%08X  %s\n", sum, file);
  }
  return status;
}

// Reports a failed operation the way every command here does.
int failed(const char *command, const std::string &what) {
  std::fprintf(stderr, "kav %s: %s\n", command, what.c_str());
  return 1;
}

int copy(Args args) {
  expect_arguments(args, 2, 2);
  if (copy_file(args[0], args[1]) != 0)
    return failed("copy", std::string("could not copy ") + args[0] + " to " + args[1]);
  return 0;
}

int copydir(Args args) {
  expect_arguments(args, 2, 2);
  if (getfiletype(args[0]) != 2) throw UsageError(std::string(args[0]) + " is not a directory");
  // The library creates the directories below the destination, not its own
  // first component: make the destination itself first.
  mkdir_fullpath(args[1]);
  if (copy_dir(args[0], args[1]) != 0)
    return failed("copydir", std::string("could not copy every file of ") + args[0] + " to " +
                                 args[1] + " (or both name the same directory)");
  return 0;
}

int rmtree(Args args) {
  expect_arguments(args, 1, 1);
  if (recursive_unlink(args[0]) != 1)
    return failed("rmtree", std::string("could not remove all of ") + args[0] +
                                " (entries whose names begin with '.' are kept)");
  return 0;
}

int mkdirs(Args args) {
  expect_arguments(args, 1, 1);
  mkdir_fullpath(args[0]);
  if (getfiletype(args[0]) != 2)
    return failed("mkdirs", std::string("could not create ") + args[0]);
  return 0;
}

const Command kCommands[] = {
    {"checksum", "FILE...",
     "Prints the 32-bit checksum of each file in hexadecimal, as the archive programs\n"
     "compute it; the exit status is 1 when a file cannot be read.",
     checksum},
    {"copy", "SRC DST", "Copies the file SRC to DST, replacing DST.", copy},
    {"copydir", "SRC DST",
     "Copies every file below the directory SRC to the same place below DST, creating\n"
     "directories as needed; directories without files are not created.",
     copydir},
    {"rmtree", "PATH",
     "Removes the file or directory PATH and everything below it.  Entries whose names\n"
     "begin with '.' are kept, and so is every directory that holds one.",
     rmtree},
    {"mkdirs", "PATH", "Creates the directory PATH and every missing directory above it.", mkdirs},
};

}  // namespace

std::span<const Command> file_commands() { return kCommands; }

}  // namespace kav::tool

// kav - the command-line way into kavutil.  Each family contributes a table
// of subcommands (tools/help.cpp gathers them); main finds the command, runs
// it, and turns a UsageError or a Failure into a one-line message on standard
// error and exit status 2, so that status 1 is left to a negative answer (no
// match, a check that says no).  Output that could not be written is an error
// too: "write error", status 2.  "kav demo" walks through what the library
// does.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "progress.h"

#ifndef KAV_VERSION
#define KAV_VERSION "unknown"
#endif

namespace kav::tool {
namespace {

// kav and the library come from one build, which names their version (the
// library exports no version of its own to ask at run time).
void print_version() { std::printf("kav %s (kavutil %s)\n", KAV_VERSION, KAV_VERSION); }

int run(const Command &c, Args args) {
  if (c.progress) allow_progress_option();
  try {
    return c.run(args);
  } catch (const HelpRequest &) {
    print_help(c);
    return 0;
  }
}

// Standard output is flushed before the status is final: a write that failed (a full disk, a
// closed pipe) turns any status into 2.
int finish(const char *name, int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return status;
  const int error = errno;
  clear_progress_line(stderr);
  std::fprintf(stderr, "kav%s%s: write error%s%s\n", name[0] != '\0' ? " " : "", name,
               error != 0 ? ": " : "", error != 0 ? std::strerror(error) : "");
  return 2;
}

int fail(const std::string &name, const char *what) {
  std::fflush(stdout);
  clear_progress_line(stderr);
  std::fprintf(stderr, "kav %s: %s\n", name.c_str(), what);
  return 2;
}

}  // namespace
}  // namespace kav::tool

int main(int argc, char **argv) {
  using namespace kav::tool;
  if (argc < 2) {
    std::fprintf(stderr, "usage: kav COMMAND [ARGUMENTS]\n'kav --help' lists the commands.\n");
    return 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    print_overview();
    return finish("", 0);
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    print_version();
    return finish("", 0);
  }
  const std::string name = argv[1];
  int status;
  try {
    const Command *c = find_command(name);
    if (c == nullptr) throw UsageError("unknown command (see 'kav --help')");
    status = run(*c, Args(argv, static_cast<size_t>(argc)).subspan(2));
  } catch (const std::exception &e) {  // UsageError, Failure, and the system's own
    status = fail(name, e.what());
  }
  return finish(name.c_str(), status);
}

// kav - the command-line way into kavutil.  Each family contributes a table
// of subcommands; main finds the command, runs it, and turns a UsageError or
// a Failure into a one-line message on standard error and exit status 2, so
// that status 1 is left to a negative answer (no match, a check that says
// no).  A command that draws a progress bar gets its arguments without
// "--progress", which asks for the bar.  "kav demo" walks through what the
// library does.
#include <cstdio>
#include <cstring>
#include <vector>

#include "commands.h"
#include "progress.h"

#ifndef KAV_VERSION
#define KAV_VERSION "unknown"
#endif

namespace kav::tool {
namespace {

const Command kDemo{"demo", "", "Walks through a typical client's calls into the library.",
                    run_demo};

std::vector<Command> all_commands() {
  std::vector<Command> commands{kDemo};
  for (const Command &c : profile_commands()) commands.push_back(c);
  for (const Command &c : env_commands()) commands.push_back(c);
  for (const Command &c : file_commands()) commands.push_back(c);
  for (const Command &c : text_commands()) commands.push_back(c);
  for (const Command &c : config_commands()) commands.push_back(c);
  for (const Command &c : gs_sql_commands()) commands.push_back(c);
  for (const Command &c : cheque_commands()) commands.push_back(c);
  for (const Command &c : record_commands()) commands.push_back(c);
  for (const Command &c : process_commands()) commands.push_back(c);
  return commands;
}

const Command *find_command(std::string_view name) {
  static const std::vector<Command> commands = all_commands();
  for (const Command &c : commands)
    if (name == c.name) return &c;
  return nullptr;
}

void print_overview() {
  std::printf(
      "usage: kav COMMAND [ARGUMENTS]\n"
      "       kav --version\n\n"
      "kavutil's command-line tool.  Commands:\n");
  for (const Command &c : all_commands())
    std::printf("  kav %s %s%s\n", c.name, c.synopsis, c.progress ? " [--progress]" : "");
  std::printf(
      "\n'kav help COMMAND' describes one command.  Options begin with '--'; after '--'\n"
      "every argument is taken as it stands.  A FILE given as '-' is standard input.\n"
      "Exit status: 0 success, 1 a negative answer (no match, a check that says no),\n"
      "2 an error, with its reason on standard error.\n");
}

int print_help(Args args) {
  if (args.empty()) {
    print_overview();
    return 0;
  }
  const Command *c = find_command(args[0]);
  if (c == nullptr) throw UsageError(std::string("unknown command '") + args[0] + "'");
  std::printf("usage: kav %s %s%s\n\n%s\n", c->name, c->synopsis,
              c->progress ? " [--progress]" : "", c->help);
  if (c->progress)
    std::printf(
        "\nA progress bar is drawn on standard error when it is a terminal, or with\n"
        "--progress, which may stand anywhere among the arguments before '--'.\n");
  return 0;
}

// A progress command's arguments without "--progress", which may stand
// anywhere among them before "--" and asks for the bar.
std::vector<char *> without_progress_option(Args args) {
  std::vector<char *> rest;
  bool options_ended = false;
  for (char *arg : args) {
    options_ended = options_ended || std::strcmp(arg, "--") == 0;
    if (!options_ended && std::strcmp(arg, "--progress") == 0)
      force_progress();
    else
      rest.push_back(arg);
  }
  return rest;
}

// kav and the library come from one build, which names their version (the
// library exports no version of its own to ask at run time).
void print_version() { std::printf("kav %s (kavutil %s)\n", KAV_VERSION, KAV_VERSION); }

int run(const std::string &name, Args args) {
  if (name == "help") return print_help(args);
  const Command *c = find_command(name);
  if (c == nullptr) throw UsageError("unknown command (see 'kav --help')");
  if (!c->progress) return c->run(args);
  std::vector<char *> rest = without_progress_option(args);
  return c->run(rest);
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
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    print_version();
    return 0;
  }
  std::string name = argv[1];
  try {
    return run(name, Args(argv, static_cast<size_t>(argc)).subspan(2));
  } catch (const std::exception &e) {  // UsageError, Failure, and the system's own
    std::fflush(stdout);
    clear_progress_line(stderr);
    std::fprintf(stderr, "kav %s: %s\n", name.c_str(), e.what());
    return 2;
  }
}

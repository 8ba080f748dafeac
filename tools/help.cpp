// help.cpp - the kav tool's table of commands and its help: "kav --help" lists the commands,
// "kav help NAME" (or "kav NAME --help") describes one.  The same table and texts make the
// COMMANDS section of kav(1) (tools/manual.cpp).
#include <cstdio>
#include <string>

#include "commands.h"

namespace kav::tool {
namespace {

int help(Args args);

const Command kOwnCommands[] = {
    {"demo", "",
     "Walks through a typical client's calls into the library, printing each call and\n"
     "its result.  It works in a temporary directory and leaves the user's profiles\n"
     "alone.",
     run_demo},
    {"help", "[COMMAND]",
     "Describes COMMAND, or without one lists every command.  'kav COMMAND --help' describes\n"
     "a command too.",
     help},
};

std::vector<Command> collect() {
  std::vector<Command> commands;
  for (const Family &family : command_families())
    commands.insert(commands.end(), family.commands.begin(), family.commands.end());
  return commands;
}

// The synopsis after "kav NAME", its later forms on lines of their own.
void print_usage(const char *prefix, const Command &c) {
  std::string synopsis = c.synopsis;
  std::string indent(std::string(prefix).size(), ' ');
  std::string line;
  size_t at = 0;
  for (bool first = true; at <= synopsis.size(); first = false) {
    size_t end = synopsis.find('\n', at);
    if (end == std::string::npos) end = synopsis.size();
    line = synopsis.substr(at, end - at);
    std::printf("%skav %s%s%s%s\n", first ? prefix : indent.c_str(), c.name,
                line.empty() ? "" : " ", line.c_str(), first && c.progress ? " [--progress]" : "");
    at = end + 1;
  }
}

int help(Args args) {
  const Arguments a(args, 0, 1);
  if (a.size() == 0) {
    print_overview();
    return 0;
  }
  const Command *c = find_command(a[0]);
  if (c == nullptr) throw UsageError(std::string("unknown command '") + a[0] + "'");
  print_help(*c);
  return 0;
}

}  // namespace

std::vector<Family> command_families() {
  return {{"Profiles, environment and the error log", profile_commands()},
          {"Profiles, environment and the error log", env_commands()},
          {"Files", file_commands()},
          {"Text", text_commands()},
          {"Text", config_commands()},
          {"Cheques", cheque_commands()},
          {"System services", process_commands()},
          {"System services", gs_sql_commands()},
          {"System services", record_commands()},
          {"Other", kOwnCommands}};
}

const std::vector<Command> &all_commands() {
  static const std::vector<Command> commands = collect();
  return commands;
}

const Command *find_command(std::string_view name) {
  for (const Command &c : all_commands())
    if (name == c.name) return &c;
  return nullptr;
}

void print_overview() {
  std::printf(
      "usage: kav COMMAND [ARGUMENTS]\n"
      "       kav --version\n\n"
      "kavutil's command-line tool.  Commands:\n");
  for (const Command &c : all_commands()) print_usage("  ", c);
  std::printf(
      "\n'kav help COMMAND' or 'kav COMMAND --help' describes one command.  Options begin\n"
      "with '--', may be abbreviated and stand anywhere; after '--' every argument is taken\n"
      "as it stands.  A FILE given as '-' is standard input.  Exit status: 0 success, 1 a\n"
      "negative answer (no match, a check that says no), 2 an error, with its reason on\n"
      "standard error.  kav(1) is the manual.\n");
}

const char kProgressNote[] =
    "A progress bar is drawn on standard error when it is a terminal, or with --progress.";

void print_help(const Command &c) {
  print_usage("usage: ", c);
  std::printf("\n%s\n", c.help);
  if (c.progress) std::printf("\n%s\n", kProgressNote);
}

}  // namespace kav::tool

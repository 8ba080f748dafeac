// kav - the command-line way into kavutil.  Each family contributes a table
// of subcommands; main finds the command, runs it, and turns a UsageError
// into a one-line message and exit status 2.  A command that draws a progress
// bar gets its arguments without "--progress", which asks for the bar.
// "kav demo" walks through what the library does.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "commands.h"
#include "progress.h"

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
      "usage: kav COMMAND [ARGUMENTS]\n\n"
      "kavutil's command-line tool.  Commands:\n");
  for (const Command &c : all_commands())
    std::printf("  kav %s %s%s\n", c.name, c.synopsis, c.progress ? " [--progress]" : "");
  std::printf("\n'kav help COMMAND' describes one command.\n");
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
        "--progress, which may stand anywhere among the arguments.\n");
  return 0;
}

// A progress command's arguments without "--progress", which may stand
// anywhere among them and asks for the bar.
std::vector<char *> without_progress_option(Args args) {
  std::vector<char *> rest;
  for (char *arg : args) {
    if (std::strcmp(arg, "--progress") == 0)
      force_progress();
    else
      rest.push_back(arg);
  }
  return rest;
}

}  // namespace

long long parse_integer(std::string_view text, const char *what, long long low, long long high) {
  long long value = 0;
  const char *first = text.data();
  const char *last = first + text.size();
  if (!text.empty() && text[0] == '+') ++first;
  auto [end, error] = std::from_chars(first, last, value);
  if (text.empty() || error != std::errc() || end != last || value < low || value > high)
    throw UsageError("'" + std::string(text) + "' is not " + what);
  return value;
}

Options::Options(Args args, std::span<const char *const> known) : known_(known) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    bool found = false;
    for (const char *name : known_) found = found || arg == name;
    if (!found) throw UsageError("unknown argument '" + std::string(arg) + "'");
    if (i + 1 == args.size()) throw UsageError(std::string(arg) + " needs a value");
    values_.emplace_back(arg, args[++i]);
  }
}

std::optional<std::string> Options::get(std::string_view name) const {
  std::optional<std::string> value;
  for (const auto &[option, text] : values_)
    if (option == name) value = text;
  return value;
}

void expect_arguments(Args args, size_t min, size_t max) {
  if (args.size() < min) throw UsageError("missing argument (see 'kav help')");
  if (args.size() > max) throw UsageError("too many arguments (see 'kav help')");
}

}  // namespace kav::tool

int main(int argc, char **argv) {
  using namespace kav::tool;
  Args args(argv, static_cast<size_t>(argc));
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    print_overview();
    return argc < 2 ? 2 : 0;
  }
  std::string name = argv[1];
  try {
    if (name == "help") return print_help(args.subspan(2));
    const Command *c = find_command(name);
    if (c == nullptr) throw UsageError("unknown command (see 'kav --help')");
    if (!c->progress) return c->run(args.subspan(2));
    std::vector<char *> rest = without_progress_option(args.subspan(2));
    return c->run(rest);
  } catch (const UsageError &e) {
    std::fprintf(stderr, "kav %s: %s\n", name.c_str(), e.what());
    return 2;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "kav %s: %s\n", name.c_str(), e.what());
    return 1;
  }
}

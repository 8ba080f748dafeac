// commands.h - the pieces the kav tool's command files share: the command
// table entry, argument parsing helpers and the usage-error exception that
// main turns into a one-line message and exit status 2.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kav::tool {

using Args = std::span<char *const>;

struct Command {
  const char *name;
  const char *synopsis;  // arguments, as shown by "kav --help"
  const char *help;      // the longer text of "kav help NAME"
  int (*run)(Args args);
  // Draws a progress bar: kav takes "--progress" out of the arguments first.
  bool progress = false;
};

// A bad argument: main prints "kav NAME: <what>" and exits with status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The whole of text as a decimal integer within [low, high], or a UsageError
// naming what was expected.
long long parse_integer(std::string_view text, const char *what, long long low, long long high);

// The value of "--name VALUE" options; a UsageError for an unknown option or
// a missing value.  Positional arguments are not accepted.
struct Options {
  Options(Args args, std::span<const char *const> known);
  std::optional<std::string> get(std::string_view name) const;

 private:
  std::span<const char *const> known_;
  std::vector<std::pair<std::string, std::string>> values_;
};

void expect_arguments(Args args, size_t min, size_t max);

std::span<const Command> cheque_commands();
std::span<const Command> profile_commands();
std::span<const Command> file_commands();
std::span<const Command> env_commands();
std::span<const Command> text_commands();
std::span<const Command> config_commands();
std::span<const Command> gs_sql_commands();
std::span<const Command> record_commands();
std::span<const Command> process_commands();
int run_demo(Args args);

}  // namespace kav::tool

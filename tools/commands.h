// commands.h - the pieces the kav tool's command files share: the command
// table entry, the argument parser with the tool's conventions (getopt_long
// underneath), and the exceptions that main turns into a message and an exit
// status: a UsageError or a Failure into one line and status 2, a HelpRequest
// into the command's help and status 0.
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

// One command of the tool.  Its synopsis and help are the one source of "kav help NAME", of
// the list "kav --help" prints and of the COMMANDS section of the manual page, kav(1), which
// tools/manual.cpp makes from them.  The help is plain text in a small markup:
//   - paragraphs are separated by an empty line;
//   - a line that begins with two spaces starts an item of a list: its term runs to the first
//     two spaces in a row after it, and the rest of the line begins its text, which goes on on
//     the next lines indented by more than two spaces;
//   - words of capital letters that the synopsis names (FILE, SECTION) are its arguments, and
//     words that begin with "--" are options: the manual page sets them in italics and bold.
struct Command {
  const char *name;
  const char *synopsis;  // the arguments after "kav NAME"; a line break starts another form
  const char *help;      // what "kav help NAME" prints after the usage line
  int (*run)(Args args);
  // Draws a progress bar: the command takes "--progress" too.
  bool progress = false;
};

// Every command, in the order of "kav --help" and of the manual page.
const std::vector<Command> &all_commands();

// The commands by family, with the heading the manual page gives each family.
struct Family {
  const char *heading;
  std::span<const Command> commands;
};
std::vector<Family> command_families();

// "--help" among a command's options: main prints the command's help and exits with status 0.
struct HelpRequest {};

// A bad argument: main prints "kav NAME: <what>" and exits with status 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// An operation that failed: main prints "kav NAME: <what>" and exits with
// status 2.  what says why: the system's reason, or what was refused.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The whole of text as a decimal integer within [low, high], or a UsageError
// naming what was expected.
long long parse_integer(std::string_view text, const char *what, long long low, long long high);

// A long option a command takes, "--name", with a value or alone.
struct Option {
  const char *name;
  bool takes_value;
};

// A command's arguments split by getopt_long into options and positional words.  Options are
// long ones, "--name VALUE" or "--name=VALUE", abbreviated as long as the abbreviation is
// unique, anywhere among the words (with options_first, before the first positional word only),
// up to the word "--", after which every word is positional.  A word with one dash (-5, -D3, or
// "-" for standard input) is positional.  "--help" is a HelpRequest; "--progress" is taken for a
// command that draws a bar (allow_progress_option).  An unknown or ambiguous option, an option
// without its value or with one it does not take, or fewer than min or more than max positional
// words is a UsageError.
class Arguments {
 public:
  Arguments(Args args, size_t min, size_t max, std::span<const Option> known = {},
            bool options_first = false);
  Arguments(const Arguments &) = delete;
  Arguments &operator=(const Arguments &) = delete;

  size_t size() const { return positional_.size(); }
  const char *operator[](size_t i) const { return positional_[i]; }
  Args positional() const { return Args(positional_.data(), positional_.size()); }
  // The value of the last "--name VALUE" given; "" for a given option that takes none.
  std::optional<std::string> get(std::string_view name) const;
  bool has(std::string_view name) const { return get(name).has_value(); }
  // The options as given, in order: "--name" and the value.
  const std::vector<std::pair<std::string, std::string>> &options() const { return options_; }

 private:
  std::vector<std::string> words_;  // the positional words, owned
  std::vector<char *> positional_;
  std::vector<std::pair<std::string, std::string>> options_;
};

// Lets the next Arguments take "--progress", which asks for the progress bar (main calls it
// for the commands that draw one).
void allow_progress_option();

// Whether a FILE argument names standard input.
inline bool is_standard_input(std::string_view file) { return file == "-"; }

// Whether path is a regular file that opens for reading.
bool is_readable_file(const char *path);

// Why a file cannot be read: the system's reason ("No such file or
// directory"), or that it is a directory or not a regular file.
std::string unreadable_reason(const char *path);

// The path a library function that takes a file name is given for a FILE
// argument: the argument itself, or for "-" a temporary copy of standard
// input (its bytes as they are), removed when the object goes.  A Failure
// when standard input cannot be copied.
class InputPath {
 public:
  explicit InputPath(const char *argument);
  ~InputPath();
  InputPath(const InputPath &) = delete;
  InputPath &operator=(const InputPath &) = delete;
  const char *path() const { return path_.c_str(); }

 private:
  std::string path_;
  bool temporary_ = false;
};

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

// "kav profile import": the profile command's import verb (tools/profile_import.cpp).
int profile_import(Args args);

// The command NAME, or null.
const Command *find_command(std::string_view name);

// "kav --help": the usage and every command's synopsis.
void print_overview();

// What the help of a command that draws a progress bar adds at its end.
extern const char kProgressNote[];

// "kav help NAME": the usage line and the help of one command.
void print_help(const Command &command);

}  // namespace kav::tool

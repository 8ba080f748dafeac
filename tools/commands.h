// commands.h - the pieces the kav tool's command files share: the command
// table entry, the argument parser with the tool's conventions, and the two
// exceptions that main turns into a one-line message and exit status 2.
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

// A command's arguments split into options and positional words.  A word
// that begins with "--" is an option wherever it stands, up to the word "--",
// after which every word is positional; a word with one dash (-5, -D3, or "-"
// for standard input) is positional.  An unknown option, an option without
// its value, or fewer than min or more than max positional words is a
// UsageError.
class Arguments {
 public:
  Arguments(Args args, size_t min, size_t max, std::span<const Option> known = {});

  size_t size() const { return positional_.size(); }
  const char *operator[](size_t i) const { return positional_[i]; }
  Args positional() const { return Args(positional_.data(), positional_.size()); }
  // The value of the last "--name VALUE" given; "" for a given option that takes none.
  std::optional<std::string> get(std::string_view name) const;
  bool has(std::string_view name) const { return get(name).has_value(); }

 private:
  std::vector<char *> positional_;
  std::vector<std::pair<std::string, std::string>> options_;
};

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

}  // namespace kav::tool

// The environment and log commands of the kav tool: $NAME expansion with an
// instance's base directory, the reverse step from a path to $NAME, and a
// message written to the error log.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "console/errlog.h"
#include "host.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

constexpr size_t kExpansionSize = 65536;

int env_expand(Args args) {
  static constexpr Option known[] = {{"--instance", true}};
  const Arguments a(args, 1, 1, known);
  std::string text = a[0];
  if (auto instance = a.get("--instance"))
    fill_env_vars_set_instance(int(parse_integer(*instance, "an instance number", 0, INT_MAX)));
  if (text.size() >= kExpansionSize) throw UsageError("TEXT is too long");
  std::vector<char> buffer(kExpansionSize, '\0');
  std::memcpy(buffer.data(), text.data(), text.size());
  std::printf("%s\n", fill_env_vars(buffer.data(), int(buffer.size())));
  return 0;
}

int env_reverse(Args args) {
  static constexpr Option known[] = {{"--file", false}};
  const Arguments a(args, 1, 1, known);
  const bool file = a.has("--file");
  std::string path = a[0];
  if (path.size() >= 1024) throw UsageError("PATH is longer than 1023 characters");
  char buffer[1024] = "";
  std::memcpy(buffer, path.data(), path.size());
  str2env(buffer, file ? 1 : 0);
  std::printf("%s\n", buffer);
  return 0;
}

int env(Args args) {
  if (!args.empty() && std::string_view(args[0]).starts_with("--"))
    const Arguments a(args.first(1), 0, 0);
  if (args.empty()) throw UsageError("missing subcommand (expand, reverse)");
  std::string verb = args[0];
  if (verb == "expand") return env_expand(args.subspan(1));
  if (verb == "reverse") return env_reverse(args.subspan(1));
  throw UsageError("unknown subcommand '" + verb + "'");
}

int log(Args args) {
  static constexpr Option known[] = {{"--id", true}};
  const Arguments a(args, 1, 1, known);
  std::string message = a[0];
  if (auto id = a.get("--id"))
    kav_logerr_id(int(parse_integer(*id, "a 32-bit id", INT_MIN, INT_MAX)));
  clear_system_error();
  kav_logerr("%s", message.c_str());
  if (kav::console::errlog::last_text_delivered()) return 0;
  const char *file = kav_getenv("LOGFILE");
  const std::string why = system_error("it does not take the record");
  if (file == nullptr || file[0] == '\0') throw Failure("cannot write the message: " + why);
  throw Failure(std::string("cannot write the log ") + file + ": " + why);
}

const Command kCommands[] = {
    {"env", "expand TEXT [--instance NUMBER]\nreverse PATH [--file]",
     "The library's environment: its own variables first, then the process's.\n"
     "  expand TEXT    replaces each $NAME in TEXT by the variable's value (an unset one by\n"
     "                 nothing); $QELINSTANCE_BASE in a value becomes the base directory of\n"
     "                 instance NUMBER, the word of $INSTANCE2BASE after its NUMBER-th space\n"
     "  reverse PATH   writes PATH as $NAME/rest with the variable whose value is the\n"
     "                 longest directory at the start of PATH (with --file the value may\n"
     "                 also end before a '.')",
     env},
    {"log", "MESSAGE [--id ID]",
     "Writes MESSAGE to the error log: a line with the time stamp, ID (0 unless given) and\n"
     "MESSAGE appended to the file that LOGFILE names, or standard error when LOGFILE is\n"
     "unset or empty.  A log file that does not take the line (its directory is missing, the\n"
     "disk is full) is an error, with the system's reason.",
     log},
};

}  // namespace

std::span<const Command> env_commands() { return kCommands; }

}  // namespace kav::tool

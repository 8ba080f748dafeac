// The environment and log commands of the kav tool: $NAME expansion with an
// instance's base directory, the reverse step from a path to $NAME, and a
// message written to the error log.
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
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
  kav_logerr("%s", message.c_str());
  return 0;
}

const Command kCommands[] = {
    {"env", "expand TEXT [--instance N] | reverse PATH [--file]",
     "expand: replaces each $NAME in TEXT by the variable's value; $QELINSTANCE_BASE in a\n"
     "value becomes instance N's base directory, the N-th word of $INSTANCE2BASE.\n"
     "reverse: writes PATH as $NAME/rest with the variable whose value is the longest\n"
     "directory prefix of PATH (--file: the prefix may end before a '.').",
     env},
    {"log", "MESSAGE [--id N]",
     "Writes MESSAGE to the error log: the file named by $LOGFILE, with a time stamp and\n"
     "the id, or standard error when LOGFILE is not set.",
     log},
};

}  // namespace

std::span<const Command> env_commands() { return kCommands; }

}  // namespace kav::tool

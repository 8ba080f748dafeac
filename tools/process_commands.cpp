// The process commands of the kav tool: exec starts a program through one of the three
// launchers and prints the launcher's result; df prints a disk's free megabytes.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "commands.h"
#include "host.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

struct ExecRequest {
  int mode = 2;
  int show = 1;
  bool console = false;
  std::optional<std::string> input, output, error, user;
  std::string command_line;
};

// Takes the value of an option that has one, or says which option lacks it.
std::string Value(Args args, size_t& i) {
  if (i + 1 == args.size()) throw UsageError(std::string(args[i]) + " needs a value");
  return args[++i];
}

// Reads one option at args[i]; false when args[i] is not an option.
bool ReadOption(Args args, size_t& i, ExecRequest& request) {
  const std::string_view option = args[i];
  if (option == "--wait" || option == "--nowait" || option == "--idle")
    request.mode = option == "--wait" ? 2 : option == "--idle" ? 1 : 0;
  else if (option == "--console")
    request.console = true;
  else if (option == "--in")
    request.input = Value(args, i);
  else if (option == "--out")
    request.output = Value(args, i);
  else if (option == "--err")
    request.error = Value(args, i);
  else if (option == "--user")
    request.user = Value(args, i);
  else if (option == "--show")
    request.show =
        static_cast<int>(parse_integer(Value(args, i), "a show value", INT_MIN, INT_MAX));
  else if (option.starts_with("--") && option != "--")
    throw UsageError("unknown option '" + std::string(option) + "'");
  else
    return false;
  return true;
}

// The options, then the command line: one argument, or several joined with spaces.
ExecRequest ParseExec(Args args) {
  ExecRequest request;
  size_t i = 0;
  while (i < args.size() && ReadOption(args, i, request)) ++i;
  if (i < args.size() && std::string_view(args[i]) == "--") ++i;
  if (i == args.size()) throw UsageError("missing COMMAND-LINE");
  for (; i < args.size(); ++i) request.command_line += std::string(args[i]) + " ";
  request.command_line.pop_back();
  if (request.console && request.user) throw UsageError("--console and --user do not combine");
  return request;
}

// A redirection file's name for the launcher; none for "-", the tool's own stream, which the
// program inherits.
const char* Name(const std::optional<std::string>& file) {
  return file && !is_standard_input(*file) ? file->c_str() : nullptr;
}

std::string Password(const std::string& user) {
  if (const char* password = std::getenv("KAV_PASSWORD")) return password;
  if (!is_terminal(stdin)) throw UsageError("no password: set KAV_PASSWORD or run on a terminal");
  return read_password(("Password for " + user + ": ").c_str());
}

int exec(Args args) {
  ExecRequest r = ParseExec(args);
  std::string password = r.user ? Password(*r.user) : "";
  std::fflush(stdout);
  int result;
  if (r.console)
    result = kav_winexec_console(r.command_line.data(), r.show, r.mode, Name(r.input),
                                 Name(r.output), Name(r.error));
  else if (r.user)
    result = kav_winexec_as_user(r.command_line.data(), static_cast<unsigned short>(r.show), r.mode,
                                 Name(r.input), Name(r.output), Name(r.error), r.user->c_str(),
                                 password.c_str());
  else
    result = kav_winexec(r.command_line.data(), static_cast<unsigned short>(r.show), r.mode,
                         Name(r.input), Name(r.output), Name(r.error));
  std::printf("%d\n", result);
  // Waiting for a program started without a console, the launcher's one number is the program's
  // exit code or the error code of a start that failed, which cannot be told apart; in every
  // other mode a result other than 0 is a start that failed.
  if (result == 0) return 0;
  if (r.mode == 2 && !r.console) return 1;
  throw Failure(
      "could not start '" + r.command_line +
      "': " + (result == -1 && r.user ? std::string("the logon failed") : system_message(result)));
}

int df(Args args) {
  const Arguments a(args, 1, 1);
  if (a[0][0] == '\0') throw UsageError("PATH is empty");
  clear_system_error();
  const uint32_t megabytes = GetDiskFreeSpaceInMB(a[0]);
  if (megabytes == 0xFFFFFFFFu)
    throw Failure(std::string("cannot tell the free space for '") + a[0] +
                  "': " + system_error("the system gave no figure"));
  std::printf("%u\n", megabytes);
  return 0;
}

const Command kCommands[] = {
    {"exec",
     "[--wait|--nowait|--idle] [--in F] [--out F] [--err F] [--console [--show N]] [--user NAME] "
     "COMMAND-LINE",
     "Starts COMMAND-LINE (the program and its arguments, as Windows splits them; several\n"
     "arguments are joined with spaces) and prints the launcher's result: the program's exit\n"
     "code with --wait (the default), else 0 once it started, or the system's error code.\n"
     "--in, --out and --err redirect the standard streams to files (created when missing,\n"
     "appended to).  --idle waits until the program is idle for input (at once for console\n"
     "programs and on POSIX).  --console starts it with a console of its own, hidden with\n"
     "--show 0 (then nothing is redirected, and with --wait the exit code is not reported).\n"
     "--user runs it as another local user, with the password from KAV_PASSWORD or asked\n"
     "for on the terminal.  A file named - leaves that stream to the program as kav has it.\n"
     "The exit status is 0 when the result is 0.  Waiting without --console, it is 1 for\n"
     "any other result (the program's exit code and the error code of a start that failed\n"
     "are one number); in the other modes a result other than 0 is a start that failed:\n"
     "status 2, with the reason.",
     exec},
    {"df", "PATH",
     "Prints the free space, in megabytes of 1048576 bytes, of the disk that holds PATH.", df},
};

}  // namespace

std::span<const Command> process_commands() { return kCommands; }

}  // namespace kav::tool

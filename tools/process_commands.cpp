// The process commands of the kav tool: exec starts a program through one of the three
// launchers and prints the launcher's result; df prints a disk's free megabytes.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

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

// The options, then the command line: one argument, or several joined with spaces.  Of
// --wait, --nowait and --idle the last one given counts.
ExecRequest ParseExec(Args args) {
  static constexpr Option known[] = {{"--wait", false},    {"--nowait", false}, {"--idle", false},
                                     {"--console", false}, {"--in", true},      {"--out", true},
                                     {"--err", true},      {"--user", true},    {"--show", true}};
  const Arguments a(args, 0, SIZE_MAX, known, true);
  ExecRequest request;
  for (const auto& [option, value] : a.options()) {
    if (option == "--wait" || option == "--nowait" || option == "--idle")
      request.mode = option == "--wait" ? 2 : option == "--idle" ? 1 : 0;
  }
  request.console = a.has("--console");
  request.input = a.get("--in");
  request.output = a.get("--out");
  request.error = a.get("--err");
  request.user = a.get("--user");
  if (auto show = a.get("--show"))
    request.show = static_cast<int>(parse_integer(*show, "a show value", INT_MIN, INT_MAX));
  if (a.size() == 0) throw UsageError("missing COMMAND-LINE");
  for (const char* word : a.positional()) request.command_line += std::string(word) + " ";
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
     "[--wait|--nowait|--idle] [--in FILE] [--out FILE] [--err FILE] [--console] "
     "[--show STATE] [--user USER] COMMAND-LINE",
     "Starts the program that COMMAND-LINE names, with its arguments, as the library's\n"
     "launcher does (as Windows splits a command line; several arguments are joined with\n"
     "spaces), and prints the launcher's result.  Options come before COMMAND-LINE.\n"
     "  --wait            waits until the program has ended; the result is its exit code\n"
     "                    (the default)\n"
     "  --nowait          returns once the program has started; the result is 0\n"
     "  --idle            returns once the program waits for input (at once for console\n"
     "                    programs and on POSIX)\n"
     "  --in FILE         the program's standard input\n"
     "  --out FILE        its standard output, appended to\n"
     "  --err FILE        its standard error, appended to; one name given for output and\n"
     "                    error opens one file\n"
     "  --console         starts it with a console of its own (then nothing is redirected,\n"
     "                    and with --wait the exit code is not reported)\n"
     "  --show STATE      shows that console as the window state STATE says (0 hides it;\n"
     "                    1, the default, shows it)\n"
     "  --user USER       runs it as the local user USER, with the password from\n"
     "                    KAV_PASSWORD or, when that is unset, asked for on the terminal\n"
     "\n"
     "Files are created when missing and never truncated.  A FILE named - leaves that stream\n"
     "to the program as kav has it.  The exit status is 0 when the result is 0.  Waiting for\n"
     "a program started without --console, it is 1 for any other result, since the\n"
     "program's exit code and the error code of a start that failed are one number; in the\n"
     "other modes a result other than 0 is a start that failed: status 2, with the reason.",
     exec},
    {"df", "PATH", "Prints the free space, in units of 1048576 bytes, of the disk that holds PATH.",
     df},
};

}  // namespace

std::span<const Command> process_commands() { return kCommands; }

}  // namespace kav::tool

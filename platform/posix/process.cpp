// process.cpp - the three launchers on POSIX.
//
// The command line is split into arguments by the Windows C runtime's rules and run without a
// shell.  The program is the one CreateProcess names in the line (command_line.h: the
// text between a leading pair of quotes, else up to the first blank, quotes kept), taken as a
// path when it holds a '/', else looked up in PATH.  What POSIX does not copy: Windows appends
// ".exe" to a name without an extension, looks in the caller's own and the current directory
// before PATH (here "./name" asks for the current directory), and tries longer names at the
// later blanks of an unquoted name.  Windows' limit of 32,767 characters counts the NUL that
// ends the line, so a line of 32,767 characters or more is refused, with E2BIG; a program named
// by nothing gives ENOENT, or EINVAL for an empty quoted name ("" a), as Windows gives 2 and 87.
// Results are errno values where Windows gives GetLastError codes.
//
// Handles map to descriptors.  Redirection files are opened in the caller's process by the one
// opener of named files (posix/file_kit.h: never waiting, links followed; regular files, character
// devices and FIFOs with a peer), close-on-exec, created when missing (mode 0666 less the umask)
// and never truncated; output and error are opened for appending.  A file that cannot be opened
// gives the program an unusable stream (/dev/null opened the other way round: reads or writes fail
// with EBADF), as Windows hands it an invalid handle; a stream that Windows leaves without a handle
// reads from or writes to /dev/null. Inheritance on: the program also gets the caller's descriptors
// that are not close-on-exec; off: it gets 0 to 2 only.
//
// Waits: mode 2 waits for the end and gives the exit status (128 + the signal number for a
// program killed by a signal, as shells report it).  Waiting until a program is idle for input
// has no POSIX counterpart; Windows itself returns at once for console programs, and so these
// modes return once the program has started.  Programs that are not waited for are started
// detached (child.h), so no zombie is left and SIGCHLD is never touched.
//
// kav_winexec_console: "a console of its own" is a session of its own (setsid): no controlling
// terminal, out of reach of the caller's terminal's job control and signals (Ctrl-C, hang-up);
// it writes to the caller's streams unless redirected.  Hidden (show 0) adds what no console
// window means: its standard streams are /dev/null.  The show value has no other meaning here.

#include "platform/process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/child.h"
#include "platform/posix/command_line.h"
#include "platform/posix/file_kit.h"
#include "platform/posix/io.h"
#include "platform/posix/logon.h"

namespace kav::platform {

const int kInvalidParameterError = EINVAL;
const int kOutOfMemoryError = ENOMEM;

namespace {

using posix::ChildPlan;
using posix::StreamSource;
using Kind = StreamSource::Kind;

constexpr std::size_t kCommandLineLimit = 32767;  // characters, the terminating NUL included

// The program and the arguments of the command line, or the errno that stops its launch.
int SplitCommandLine(const char* command_line, ChildPlan& plan) {
  if (std::strlen(command_line) >= kCommandLineLimit) return E2BIG;
  posix::command_line::ProgramName program = posix::command_line::program_name(command_line);
  if (program.name.empty()) return program.quoted ? EINVAL : ENOENT;
  plan.program = std::move(program.name);
  plan.arguments = posix::command_line::split(command_line);
  return 0;
}

// The redirection files one launch opens, closed when it returns.
class RedirectionFiles {
 public:
  RedirectionFiles() = default;
  RedirectionFiles(const RedirectionFiles&) = delete;
  RedirectionFiles& operator=(const RedirectionFiles&) = delete;

  // Opens name for the stream; an unusable stream when it does not open.
  StreamSource Open(const char* name, int stream) {
    const int flags = (stream == 0 ? O_RDONLY : O_WRONLY | O_APPEND) | O_CREAT;
    const int fd = posix::keep_above_standard_streams(
        posix::open_file(AT_FDCWD, name, flags, posix::Links::kFollow, posix::Kinds::kStream)
            .Release());
    if (fd < 0) return {Kind::kUnusable};
    descriptors_[stream] = posix::Descriptor(fd);
    return {Kind::kDescriptor, fd};
  }

 private:
  posix::Descriptor descriptors_[3];
};

// kav_winexec's streams, set when a file is named or always is: the files named, no input
// otherwise, and the caller's output and error otherwise; one descriptor for output and error
// of the same name.
void PlanStreams(const Launch& launch, bool always, RedirectionFiles& files, ChildPlan& plan) {
  if (!always && launch.input == nullptr && launch.output == nullptr && launch.error == nullptr)
    return;
  plan.streams[0] =
      launch.input != nullptr ? files.Open(launch.input, 0) : StreamSource{Kind::kNullDevice};
  if (launch.output != nullptr) plan.streams[1] = files.Open(launch.output, 1);
  if (launch.error == nullptr) return;
  const bool same = launch.output != nullptr && std::strcmp(launch.output, launch.error) == 0;
  plan.streams[2] = same ? plan.streams[1] : files.Open(launch.error, 2);
}

// kav_winexec_console's streams: hidden, /dev/null for all three; else the files that open
// (a name that does not open counts as none), and /dev/null for the rest when any opened.
void PlanConsoleStreams(const Launch& launch, RedirectionFiles& files, ChildPlan& plan) {
  bool any = launch.show == 0;
  const char* const names[3] = {launch.input, launch.output, launch.error};
  for (int stream = 0; stream < 3 && launch.show != 0; ++stream) {
    if (names[stream] == nullptr) continue;
    const StreamSource source = files.Open(names[stream], stream);
    if (source.kind != Kind::kDescriptor) continue;
    plan.streams[stream] = source;
    any = true;
  }
  if (!any) return;
  for (StreamSource& source : plan.streams)
    if (source.kind == Kind::kInherit) source = {Kind::kNullDevice};
}

Started Run(const ChildPlan& plan, WaitFor wait) {
  const posix::ChildResult result =
      wait == WaitFor::kExit ? posix::run_and_wait(plan) : posix::run_detached(plan);
  return {result.error, result.exit_code};
}

}  // namespace

Started launch(const Launch& launch) {
  ChildPlan plan;
  if (const int error = SplitCommandLine(launch.command_line, plan)) return {error};
  RedirectionFiles files;
  PlanStreams(launch, false, files, plan);
  plan.only_standard_streams = !launch.inherit;
  return Run(plan, launch.wait);
}

// The files are opened before the logon, as on Windows, and closed when it fails.  The program
// gets its redirected streams and nothing else (Windows creates it without inheritance), and a
// session of its own: it never has the caller's controlling terminal.
Started launch_as_user(const Launch& launch, Logon& logon) {
  ChildPlan plan;
  if (const int error = SplitCommandLine(launch.command_line, plan)) return {error};
  RedirectionFiles files;
  PlanStreams(launch, true, files, plan);
  posix::Account account;
  if (const int code = posix::log_on(logon.user, logon.password, &account)) {
    logon.failed = true;
    logon.error = code;
    return {-1};
  }
  plan.account = &account;
  plan.only_standard_streams = true;
  plan.new_session = true;
  return Run(plan, launch.wait);
}

Started launch_console(const Launch& launch) {
  ChildPlan plan;
  if (const int error = SplitCommandLine(launch.command_line, plan)) return {error};
  RedirectionFiles files;
  PlanConsoleStreams(launch, files, plan);
  plan.new_session = true;
  plan.only_standard_streams = !launch.inherit;
  return Run(plan, launch.wait);
}

}  // namespace kav::platform

// process.cpp - launching other programs: kav_winexec, kav_winexec_as_user and
// kav_winexec_console.
//
// This file holds what the three launchers decide alike on every system: which wait a mode
// asks for, when handles are inherited, which files a launcher ignores, how the console
// launcher's show value is bounded, and how results are formed.  platform/process.h starts the
// program.  A null command line is refused with the system's invalid-parameter code before
// anything is opened (the system itself would be handed a null string).

#include "platform/process.h"

#include <cstdio>

#include "base/boundary.h"
#include "kavutil.h"

namespace {

using kav::platform::Launch;
using kav::platform::Started;
using kav::platform::WaitFor;

bool AnyFile(const char* input, const char* output, const char* error) {
  return input != nullptr || output != nullptr || error != nullptr;
}

// Modes 1 and 4 wait for input idleness, mode 2 for the end; every other mode returns.
WaitFor LaunchWait(int mode) {
  if (mode == 2) return WaitFor::kExit;
  if (mode == 1 || mode == 4) return WaitFor::kInputIdle;
  return WaitFor::kNothing;
}

// The user and console launchers wait only in modes 1 and 2.
WaitFor OtherWait(int mode) { return mode == 4 ? WaitFor::kNothing : LaunchWait(mode); }

const char* NonEmpty(const char* name) {
  return name != nullptr && name[0] != '\0' ? name : nullptr;
}

// A launch that failed for want of memory (the only exception the platform layer can raise).
const Started kOutOfMemory{kav::platform::kOutOfMemoryError, 0};

int Result(const Started& started, WaitFor wait) {
  if (started.error != 0) return started.error;
  return wait == WaitFor::kExit ? static_cast<int>(started.exit_code) : 0;
}

}  // namespace

extern "C" {

KAV_API int KAV_CALL kav_winexec(char* command_line, unsigned short show, int wait_mode,
                                 const char* input, const char* output,
                                 const char* error) KAV_NOEXCEPT {
  if (command_line == nullptr) return kav::platform::kInvalidParameterError;
  const bool inherit = !((wait_mode == 3 || wait_mode == 4) && !AnyFile(input, output, error));
  const Launch launch{command_line, show, LaunchWait(wait_mode), inherit, input, output, error};
  return Result(kav::base::guarded(kOutOfMemory, [&] { return kav::platform::launch(launch); }),
                launch.wait);
}

KAV_API int KAV_CALL kav_winexec_as_user(char* command_line, unsigned short show, int wait_mode,
                                         const char* input, const char* output, const char* error,
                                         const char* user, const char* password) KAV_NOEXCEPT {
  if (command_line == nullptr) return kav::platform::kInvalidParameterError;
  const Launch launch{command_line, show, OtherWait(wait_mode), false, input, output, error};
  kav::platform::Logon logon{user, password};
  const Started started = kav::base::guarded(
      kOutOfMemory, [&] { return kav::platform::launch_as_user(launch, logon); });
  if (logon.failed) {
    std::printf("LogonUserError: %d\n", logon.error);
    std::fflush(stdout);
    return -1;
  }
  return Result(started, launch.wait);
}

// Show values outside 0 to 11 become 1 (normal).  Hidden programs (0) and mode 0 get no
// redirection; the exit code that mode 2 waits for is not returned.
KAV_API int KAV_CALL kav_winexec_console(char* command_line, int show, int wait_mode,
                                         const char* input, const char* output,
                                         const char* error) KAV_NOEXCEPT {
  if (command_line == nullptr) return kav::platform::kInvalidParameterError;
  const int bounded = show >= 0 && show <= 11 ? show : 1;
  Launch launch{command_line, bounded, OtherWait(wait_mode), true, nullptr, nullptr, nullptr};
  if (bounded != 0 && wait_mode != 0) {
    launch.input = NonEmpty(input);
    launch.output = NonEmpty(output);
    launch.error = NonEmpty(error);
  }
  return kav::base::guarded(kOutOfMemory, [&] { return kav::platform::launch_console(launch); })
      .error;
}
}

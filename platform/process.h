// process.h - starting other programs, for the three launchers of system/process.cpp.
//
// system/process.cpp turns each launcher's arguments into a Launch: the wait it asks for, the
// inheritance rule, and the files it redirects (already left out where the launcher ignores
// them).  The platform starts the program with the Windows launcher's exact flags, handles,
// waits and closing order (win32/process.cpp) or with their POSIX counterparts
// (posix/process.cpp).  Nothing is kept between calls.
#pragma once

#include <cstdint>

namespace kav::platform {

enum class WaitFor {
  kNothing,    // return once the program has started
  kInputIdle,  // WaitForInputIdle; on POSIX nothing (see posix/process.cpp)
  kExit,       // until the program ends; its exit code is read
};

struct Launch {
  char* command_line;  // never null; the program and its arguments as Windows parses them
  int show;            // a Windows show-window value
  WaitFor wait;
  bool inherit;       // the program also gets the caller's inheritable handles
  const char* input;  // files for the standard streams; null when not redirected
  const char* output;
  const char* error;
};

struct Started {
  int error = 0;           // 0 when the program started, else the system's error code
  uint32_t exit_code = 0;  // its exit code, when the wait was kExit
};

// kav_winexec: redirection when any file is named (the others then are the caller's output
// and error and no input), output and error of one name sharing one handle.
Started launch(const Launch& launch);

// A logon of kav_winexec_as_user: the user's name and password, and what became of it.
struct Logon {
  const char* user;
  const char* password;
  bool failed = false;  // set when the logon failed: nothing was started, no file is left open
  int error = 0;        // then the system's code for the failure
};

// kav_winexec_as_user: logs the user on first, then launches under that account; the standard
// streams are always set (no input, and the caller's output and error, where no file is named).
Started launch_as_user(const Launch& launch, Logon& logon);

// kav_winexec_console: show 0 runs the program hidden, any other value (0 to 11) gives it a
// console of its own.  Empty or unopenable files count as not named; when any file opens, the
// streams not redirected get no handle.
Started launch_console(const Launch& launch);

// The system's codes for a null argument and for memory that cannot be had.
extern const int kInvalidParameterError;
extern const int kOutOfMemoryError;

}  // namespace kav::platform

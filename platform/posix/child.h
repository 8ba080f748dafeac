// child.h - starting a program as a child process on POSIX, from a plan made in full first.
//
// The plan names the program's arguments, where its three standard streams come from, whether
// it keeps the caller's other inheritable descriptors, whether it leaves the caller's session,
// and the account it runs under.  Everything the child needs is prepared before any process
// is created, so the new process only makes system calls until it runs the program.  Both calls
// start the program from a go-between process (child.cpp), so that the program is never the
// caller's child and nothing the caller does with SIGCHLD reaches its exit status.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kav::platform::posix {

// Where a standard stream of the child comes from.
struct StreamSource {
  enum class Kind {
    kInherit,     // the caller's own descriptor of that number
    kDescriptor,  // descriptor, open in the caller (close-on-exec, above 2)
    kNullDevice,  // /dev/null: end of input at once, output discarded
    kUnusable,    // /dev/null opened the other way round: reads or writes fail with EBADF
  };
  Kind kind = Kind::kInherit;
  int descriptor = -1;
};

// The user a child runs as.
struct Account {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // supplementary groups
  std::string name;
  std::string home;
};

struct ChildPlan {
  std::string program;                 // a path when it holds a '/', else a name for PATH
  std::vector<std::string> arguments;  // argv, [0] included
  StreamSource streams[3];             // standard input, output and error
  bool only_standard_streams = false;  // the child gets descriptors 0 to 2 and nothing else
  bool new_session = false;            // a session of its own: no controlling terminal
  const Account* account = nullptr;    // null: the caller's user
};

struct ChildResult {
  int error = 0;           // 0 when the program started, else the errno that stopped it
  uint32_t exit_code = 0;  // by run_and_wait: its exit status, or 128 + the signal that killed it
};

// fd itself when it is above 2 (or negative); else a close-on-exec copy above 2, fd closed.
// Descriptors the launchers open go through it, so that setting up a child's standard streams
// never overwrites one of them.
int keep_above_standard_streams(int fd);

// Starts the program and waits for its end.
ChildResult run_and_wait(const ChildPlan& plan);

// Starts the program and returns; the go-between ends once the program has started and is reaped
// at once, so the program never waits to be reaped by the caller.
ChildResult run_detached(const ChildPlan& plan);

}  // namespace kav::platform::posix

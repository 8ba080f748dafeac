// child.cpp - creating child processes on POSIX.
//
// Every program is started by a go-between: a process that the launcher creates, that starts the
// program as its own child and, when the launcher waits, waits for it and hands its exit status
// back; the launcher then reaps the go-between.  So the program is never the caller's child, and
// nothing the caller does about its children can take the exit status away: a SIGCHLD handler
// that reaps with waitpid(-1, ...), SIGCHLD ignored (which lets the system reap children),
// another thread calling wait().  On Linux the go-between is made with clone and an exit signal
// of 0: it sends no SIGCHLD, waitpid(-1) without __WALL does not see it and the system never
// reaps it by itself.  It shares the caller's memory and descriptor table (CLONE_VM,
// CLONE_FILES), so it costs no copy of either and holds no descriptor of the caller's open; it
// makes the program as posix_spawn does, sharing the memory until the program's exec
// (CLONE_VM | CLONE_VFORK).  A program that is not waited for is left to run once started; when
// the go-between has ended it is an orphan, reaped by init or by the caller's subreaper.
//
// The go-between and the program run on stacks of their own in the caller's memory, and share
// the calling thread's thread-local storage (errno among it) until the program's exec, so they
// run only system calls on data prepared in full before (arguments, environment, the PATH
// candidates), are kept from the sanitizers' instrumentation, and the calling thread keeps every
// signal blocked and touches no errno until the program has started: the kernel clears a word
// when the go-between ends (CLONE_CHILD_CLEARTID) and the go-between sets it when the program
// has started, and the caller waits on that word with futex.  Systems other than Linux make both
// with vfork, which suspends the caller until the go-between has ended.
//
// In the program, before exec: its standard streams are set, it takes another user's groups, gid
// and uid (the bare system calls: the C library's would reach for the caller's threads), leaves
// the session when asked (setsid), closes every descriptor above 2 when it gets no others, sets
// every signal to its default action, the C library's own 32 and 33 among them (glibc's
// posix_spawn leaves those ignored), and unblocks them all.  An exec that fails tries the next
// PATH candidate as execvp does; the errno that stops the start reaches the caller.

#include "platform/posix/child.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/futex.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/io.h"

extern char** environ;

// Code that runs in the go-between or in the program before its exec: on their stacks, with the
// caller's thread-local storage, where the address sanitizer's shadow and fake stacks belong to
// the calling thread.
#if defined(__has_attribute)
#if __has_attribute(no_sanitize)
#define KAV_CHILD_CODE __attribute__((no_sanitize("address")))
#endif
#endif
#ifndef KAV_CHILD_CODE
#define KAV_CHILD_CODE
#endif

#ifndef __WALL
#define __WALL 0
#endif

namespace kav::platform::posix {
namespace {

using Kind = StreamSource::Kind;
using KeepErrno = kav::platform::io::KeepErrno;

constexpr std::size_t kStackSize = 64 * 1024;  // each of the two, above its guard page

// The futex word's states; the kernel sets 0 when the go-between ends.
constexpr pid_t kStarting = 2;
constexpr pid_t kStarted = 1;

// Blocks every signal in the calling thread while it lives.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved_);
  }
  ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t saved_;
};

// Everything the go-between and the program read, laid out before they exist, and what they
// report: the start's errno, and the program's wait status.
struct Shared {
  char* const* argv;
  char* const* envp;
  const char* const* candidates;  // null-terminated
  StreamSource streams[3];
  bool only_standard_streams;
  bool new_session;
  const Account* account;
  const gid_t* groups;
  std::size_t group_count;
  bool wait;
  char* program_stack;     // the top of each stack
  char* go_between_stack;  //
  int error = 0;
  bool started = false;  // the go-between got as far as reporting the start
  int status = 0;
  bool waited = false;
  pid_t state = kStarting;
};

// How /dev/null is opened for a stream: the stream's own direction for kNullDevice, the
// other one for kUnusable.
KAV_CHILD_CODE int NullDeviceFlags(int stream, Kind kind) {
  const bool reading = (stream == 0) == (kind == Kind::kNullDevice);
  return reading ? O_RDONLY : O_WRONLY;
}

uint32_t ExitCode(int status) {
  if (WIFSIGNALED(status)) return 128u + static_cast<uint32_t>(WTERMSIG(status));
  return static_cast<uint32_t>(WEXITSTATUS(status));
}

// ---------------------------------------------------------------------------
// Steps of the program before its exec; each returns 0 or an errno.
// ---------------------------------------------------------------------------

// /dev/null is opened by the bare open and close, not by the file kit (file_kit.h): this runs in
// the program before its exec, sharing the caller's memory, where only system calls may run.
KAV_CHILD_CODE int InstallStream(int stream, const StreamSource& source) {
  int from = source.descriptor;
  if (source.kind == Kind::kInherit) return 0;
  if (source.kind != Kind::kDescriptor) {
    from = open("/dev/null", NullDeviceFlags(stream, source.kind));
    if (from < 0) return errno;
    if (from == stream) return 0;
  }
  const bool ok = dup2(from, stream) == stream;  // the copy is not close-on-exec
  const int error = ok ? 0 : errno;
  if (source.kind != Kind::kDescriptor) close(from);
  return error;
}

// setgroups, setgid and setuid as the bare system calls: in a process that has one thread, the
// C library's versions would still try to reach the caller's other threads.
KAV_CHILD_CODE int TakeAccount(const Shared& shared) {
  const Account& account = *shared.account;
#if defined(__linux__) && defined(SYS_setuid32)
  if (syscall(SYS_setgroups32, shared.group_count, shared.groups) != 0 ||
      syscall(SYS_setgid32, account.gid) != 0 || syscall(SYS_setuid32, account.uid) != 0)
    return errno;
#elif defined(__linux__)
  if (syscall(SYS_setgroups, shared.group_count, shared.groups) != 0 ||
      syscall(SYS_setgid, account.gid) != 0 || syscall(SYS_setuid, account.uid) != 0)
    return errno;
#else
  if (setgroups(shared.group_count, shared.groups) != 0 || setgid(account.gid) != 0 ||
      setuid(account.uid) != 0)
    return errno;
#endif
  return 0;
}

// Closes every descriptor above 2.
KAV_CHILD_CODE void CloseAllAbove2() {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, 3u, UINT_MAX, 0u) == 0) return;
#endif
  rlimit limit{};
  const rlim_t end = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                         ? limit.rlim_cur
                         : 65536;
  for (rlim_t fd = 3; fd < end; ++fd) close(static_cast<int>(fd));
}

#if defined(__linux__)
constexpr std::size_t kKernelSignalSetSize = (NSIG - 1) / 8;

// The kernel's own sigaction call, which also reaches the C library's signals (32 and 33 under
// glibc) that sigaction refuses.  A zeroed record of the kernel's layout, whatever the
// architecture, is SIG_DFL with no flags and an empty mask; the kernel's signal set has NSIG - 1
// bits.
KAV_CHILD_CODE void SetDefaultAction(int signal) {
  static const unsigned long kDefault[8] = {};
  syscall(SYS_rt_sigaction, signal, kDefault, nullptr, kKernelSignalSetSize);
}

KAV_CHILD_CODE void UnblockAll() {
  static const unsigned long kNone[8] = {};
  syscall(SYS_rt_sigprocmask, SIG_SETMASK, kNone, nullptr, kKernelSignalSetSize);
}
#else
KAV_CHILD_CODE void SetDefaultAction(int signal) {
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigaction(signal, &default_action, nullptr);
}

KAV_CHILD_CODE void UnblockAll() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}
#endif

// Every signal at its default action, then none blocked.
KAV_CHILD_CODE void ResetSignals() {
  for (int signal = 1; signal < NSIG; ++signal) SetDefaultAction(signal);
  UnblockAll();
}

// execvp's search: a candidate that does not exist (or whose directory does not) passes the
// turn to the next; EACCES is remembered; any other error ends the search.
KAV_CHILD_CODE int ExecCandidates(const Shared& shared) {
  bool denied = false;
  int error = ENOENT;
  int tried = 0;
  for (const char* const* candidate = shared.candidates; *candidate != nullptr; ++candidate) {
    ++tried;
    execve(*candidate, shared.argv, shared.envp);
    error = errno;
    if (error == EACCES)
      denied = true;
    else if (error != ENOENT && error != ENOTDIR && error != ESTALE && error != ENODEV &&
             error != ETIMEDOUT)
      return error;
  }
  return tried == 1 || !denied ? error : EACCES;
}

// The program's side, up to its exec; the errno that stopped it goes to shared.error.
[[noreturn]] KAV_CHILD_CODE void BecomeProgram(Shared& shared) {
  int error = 0;
  for (int stream = 0; stream < 3 && error == 0; ++stream)
    error = InstallStream(stream, shared.streams[stream]);
  if (error == 0 && shared.account != nullptr) error = TakeAccount(shared);
  if (error == 0 && shared.new_session && setsid() < 0) error = errno;
  if (error == 0) {
    if (shared.only_standard_streams) CloseAllAbove2();
    ResetSignals();
    error = ExecCandidates(shared);
  }
  shared.error = error != 0 ? error : ENOEXEC;
  _exit(127);
}

// ---------------------------------------------------------------------------
// Making the two processes.
// ---------------------------------------------------------------------------

[[noreturn]] KAV_CHILD_CODE void BeGoBetween(Shared& shared);

#if defined(__linux__)
KAV_CHILD_CODE int ProgramEntry(void* shared) { BecomeProgram(*static_cast<Shared*>(shared)); }
KAV_CHILD_CODE int GoBetweenEntry(void* shared) { BeGoBetween(*static_cast<Shared*>(shared)); }

KAV_CHILD_CODE long Futex(pid_t* word, int operation, pid_t value) {
  return syscall(SYS_futex, word, operation, value, nullptr, nullptr, 0);
}

// Returns once the program has execed or ended (CLONE_VFORK).
KAV_CHILD_CODE pid_t StartProgram(Shared& shared) {
  return clone(ProgramEntry, shared.program_stack, CLONE_VM | CLONE_VFORK | SIGCHLD, &shared);
}

// waitpid as the bare system call, out of the sanitizers' reach.
KAV_CHILD_CODE pid_t WaitFor(pid_t pid, int* status) {
  return static_cast<pid_t>(syscall(SYS_wait4, pid, status, 0, nullptr));
}

KAV_CHILD_CODE void Publish(Shared& shared, pid_t state) {
  __atomic_store_n(&shared.state, state, __ATOMIC_RELEASE);
  Futex(&shared.state, FUTEX_WAKE, INT_MAX);
}

pid_t StartGoBetween(Shared& shared) {
  return clone(GoBetweenEntry, shared.go_between_stack,
               CLONE_VM | CLONE_FILES | CLONE_CHILD_CLEARTID, &shared, nullptr, nullptr,
               &shared.state);
}

// Waits while the word holds state (the kernel's wake at the go-between's end included); a
// signal handler may run meanwhile, unless the caller blocked them.  errno is not read.
void WaitWhile(Shared& shared, pid_t state) {
  while (__atomic_load_n(&shared.state, __ATOMIC_ACQUIRE) == state)
    Futex(&shared.state, FUTEX_WAIT, state);
}
#else
KAV_CHILD_CODE pid_t StartProgram(Shared& shared) {
  const pid_t pid = vfork();
  if (pid == 0) BecomeProgram(shared);
  return pid;
}

KAV_CHILD_CODE pid_t WaitFor(pid_t pid, int* status) { return waitpid(pid, status, 0); }

KAV_CHILD_CODE void Publish(Shared& shared, pid_t state) { shared.state = state; }

pid_t StartGoBetween(Shared& shared) {
  const pid_t pid = vfork();
  if (pid == 0) BeGoBetween(shared);
  return pid;
}

void WaitWhile(Shared&, pid_t) {}  // vfork returned once the go-between had ended
#endif

// The go-between: starts the program, reports the start, and waits for the program's end when
// asked.  A program that could not exec is reaped here; SIGCHLD is set to its default action, so
// that the system does not reap the program in its place.
[[noreturn]] KAV_CHILD_CODE void BeGoBetween(Shared& shared) {
  SetDefaultAction(SIGCHLD);
  const pid_t program = StartProgram(shared);
  if (program < 0) shared.error = errno;
  const bool reap = program > 0 && (shared.error != 0 || shared.wait);
  shared.started = true;
  Publish(shared, kStarted);
  if (reap) {
    int status = 0;
    pid_t ended;
    do ended = WaitFor(program, &status);
    while (ended < 0 && errno == EINTR);
    shared.status = status;
    shared.waited = ended == program;
  }
  _exit(0);
}

// The two stacks in one mapping, each with a guard page below it.
class Stacks {
 public:
  Stacks() {
    const long page = sysconf(_SC_PAGESIZE);
    guard_ = page > 0 ? static_cast<std::size_t>(page) : 4096;
    memory_ = mmap(nullptr, 2 * Each(), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory_ == MAP_FAILED) return;
    if (mprotect(Base(), guard_, PROT_NONE) != 0 ||
        mprotect(Base() + Each(), guard_, PROT_NONE) != 0) {
      const KeepErrno keep;
      munmap(memory_, 2 * Each());
      memory_ = MAP_FAILED;
    }
  }
  ~Stacks() {
    if (memory_ != MAP_FAILED) munmap(memory_, 2 * Each());
  }
  Stacks(const Stacks&) = delete;
  Stacks& operator=(const Stacks&) = delete;

  bool ready() const { return memory_ != MAP_FAILED; }
  char* first_top() const { return Base() + Each(); }
  char* second_top() const { return Base() + 2 * Each(); }

 private:
  std::size_t Each() const { return guard_ + kStackSize; }
  char* Base() const { return static_cast<char*>(memory_); }

  std::size_t guard_ = 4096;
  void* memory_ = MAP_FAILED;
};

// ---------------------------------------------------------------------------
// A plan prepared for starting.
// ---------------------------------------------------------------------------

class PreparedChild {
 public:
  explicit PreparedChild(const ChildPlan& plan);
  PreparedChild(const PreparedChild&) = delete;
  PreparedChild& operator=(const PreparedChild&) = delete;

  // Starts the program through a go-between, waiting for its end when wait is set.
  ChildResult Run(bool wait);

 private:
  void PrepareEnvironment();
  void PrepareCandidates();

  const ChildPlan& plan_;
  std::vector<std::string> arguments_;
  std::vector<char*> argv_;
  std::vector<std::string> environment_;
  std::vector<char*> envp_;
  std::vector<std::string> candidates_;
  std::vector<const char*> candidate_list_;
};

PreparedChild::PreparedChild(const ChildPlan& plan) : plan_(plan), arguments_(plan.arguments) {
  for (std::string& argument : arguments_) argv_.push_back(argument.data());
  argv_.push_back(nullptr);
  PrepareEnvironment();
  PrepareCandidates();
  for (const std::string& candidate : candidates_) candidate_list_.push_back(candidate.c_str());
  candidate_list_.push_back(nullptr);
}

// The caller's environment; for another user, with HOME, USER and LOGNAME set to that user's
// (as su does).
void PreparedChild::PrepareEnvironment() {
  if (plan_.account == nullptr) return;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with("HOME=") && !text.starts_with("USER=") && !text.starts_with("LOGNAME="))
      environment_.emplace_back(text);
  }
  environment_.push_back("HOME=" + plan_.account->home);
  environment_.push_back("USER=" + plan_.account->name);
  environment_.push_back("LOGNAME=" + plan_.account->name);
  for (std::string& entry : environment_) envp_.push_back(entry.data());
  envp_.push_back(nullptr);
}

// The paths execvp would try: the name itself when it holds a '/', else each PATH directory
// (an empty entry is the current directory), or the system's default path without PATH.
void PreparedChild::PrepareCandidates() {
  const std::string& name = plan_.program;
  if (name.find('/') != std::string::npos) {
    candidates_.push_back(name);
    return;
  }
  std::string path;
  if (const char* variable = std::getenv("PATH")) {
    path = variable;
  } else {
    path.resize(confstr(_CS_PATH, nullptr, 0));
    confstr(_CS_PATH, path.data(), path.size());
    path.resize(std::strlen(path.c_str()));
  }
  for (std::size_t at = 0;;) {
    const std::size_t end = std::min(path.find(':', at), path.size());
    const std::string directory = end == at ? "." : path.substr(at, end - at);
    candidates_.push_back(directory + "/" + name);
    if (end == path.size()) break;
    at = end + 1;
  }
}

ChildResult PreparedChild::Run(bool wait) {
  const Stacks stacks;
  if (!stacks.ready()) return {errno, 0};
  Shared shared{argv_.data(),
                envp_.empty() ? environ : envp_.data(),
                candidate_list_.data(),
                {plan_.streams[0], plan_.streams[1], plan_.streams[2]},
                plan_.only_standard_streams,
                plan_.new_session,
                plan_.account,
                plan_.account != nullptr ? plan_.account->groups.data() : nullptr,
                plan_.account != nullptr ? plan_.account->groups.size() : 0,
                wait,
                stacks.first_top(),
                stacks.second_top()};
  pid_t go_between;
  {
    const SignalsBlocked blocked;
    go_between = StartGoBetween(shared);
    if (go_between < 0) return {errno, 0};
    WaitWhile(shared, kStarting);
  }
  WaitWhile(shared, kStarted);
  pid_t ended;
  do ended = waitpid(go_between, nullptr, __WALL);
  while (ended < 0 && errno == EINTR);
  if (shared.error != 0) return {shared.error, 0};
  if (!shared.started || (wait && !shared.waited)) return {ECHILD, 0};  // the go-between died
  return {0, wait ? ExitCode(shared.status) : 0};
}

}  // namespace

int keep_above_standard_streams(int fd) {
  if (fd < 0 || fd > 2) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  const int saved = errno;
  close(fd);
  errno = saved;
  return moved;
}

ChildResult run_and_wait(const ChildPlan& plan) { return PreparedChild(plan).Run(true); }

ChildResult run_detached(const ChildPlan& plan) { return PreparedChild(plan).Run(false); }

}  // namespace kav::platform::posix

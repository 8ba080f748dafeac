// child.cpp - creating child processes on POSIX.
//
// posix_spawnp is the fastest way glibc has to start a program (a vfork-like clone that reports
// the exec error as its result).  It takes the streams as file actions, resets every signal to
// its default action and clears the signal mask, leaves the session with POSIX_SPAWN_SETSID
// and closes the descriptors above 2 with posix_spawn_file_actions_addclosefrom_np (glibc
// 2.34).  A plan it cannot carry out (another user's ids, or a C library without those two)
// is run by a forked child instead, which sets the streams, groups, gid, uid, session and
// signals itself and tries the program's PATH candidates with execve, reporting the errno
// through a close-on-exec pipe.  Between fork and exec only system calls are made: argv, envp
// and the candidate paths are built before.  The new process is made with _Fork where glibc has
// it (the caller's fork handlers do not run) and with every signal blocked in the calling
// thread, so no handler of the caller runs in it.
//
// No SIGCHLD disposition is touched.  A program that is not waited for is started from an
// intermediate process, which reports the outcome through a pipe and exits at once; the caller
// reaps it, and the program, an orphan now, is reaped by init or by the caller's subreaper.

#include "platform/posix/child.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
#define KAV_GLIBC_2_34 1
#endif

namespace kav::platform::posix {
namespace {

using Kind = StreamSource::Kind;

// Blocks every signal in the calling thread while a process is being created.
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

pid_t CreateProcess() {
#ifdef KAV_GLIBC_2_34
  return _Fork();
#else
  return fork();
#endif
}

// How /dev/null is opened for a stream: the stream's own direction for kNullDevice, the
// other one for kUnusable.
int NullDeviceFlags(int stream, Kind kind) {
  const bool reading = (stream == 0) == (kind == Kind::kNullDevice);
  return reading ? O_RDONLY : O_WRONLY;
}

ssize_t ReadFully(int fd, void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = read(fd, static_cast<char*>(data) + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

void WriteFully(int fd, const void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = write(fd, static_cast<const char*>(data) + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    done += static_cast<std::size_t>(put);
  }
}

// A close-on-exec pipe whose ends are above 2, so that setting up the standard streams in a
// child never replaces them.
bool MakeReportPipe(int ends[2]) {
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  ends[0] = keep_above_standard_streams(ends[0]);
  ends[1] = keep_above_standard_streams(ends[1]);
  if (ends[0] >= 0 && ends[1] >= 0) return true;
  const int saved = errno;
  if (ends[0] >= 0) close(ends[0]);
  if (ends[1] >= 0) close(ends[1]);
  errno = saved;
  return false;
}

ChildResult WaitForExit(pid_t pid) {
  int status = 0;
  pid_t ended;
  do ended = waitpid(pid, &status, 0);
  while (ended < 0 && errno == EINTR);
  if (ended < 0) return {errno, 0};  // ECHILD when the caller has SIGCHLD ignored
  if (WIFSIGNALED(status)) return {0, 128u + static_cast<uint32_t>(WTERMSIG(status))};
  return {0, static_cast<uint32_t>(WEXITSTATUS(status))};
}

// ---------------------------------------------------------------------------
// Steps of a forked child; each returns 0 or an errno.
// ---------------------------------------------------------------------------

int InstallStream(int stream, const StreamSource& source) {
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
int TakeAccount(const Account& account) {
#if defined(__linux__) && defined(SYS_setuid32)
  if (syscall(SYS_setgroups32, account.groups.size(), account.groups.data()) != 0 ||
      syscall(SYS_setgid32, account.gid) != 0 || syscall(SYS_setuid32, account.uid) != 0)
    return errno;
#elif defined(__linux__)
  if (syscall(SYS_setgroups, account.groups.size(), account.groups.data()) != 0 ||
      syscall(SYS_setgid, account.gid) != 0 || syscall(SYS_setuid, account.uid) != 0)
    return errno;
#else
  if (setgroups(account.groups.size(), account.groups.data()) != 0 || setgid(account.gid) != 0 ||
      setuid(account.uid) != 0)
    return errno;
#endif
  return 0;
}

bool CloseRange(unsigned first, unsigned last) {
  if (first > last) return true;
#ifdef SYS_close_range
  return syscall(SYS_close_range, first, last, 0) == 0;
#else
  return false;
#endif
}

// Closes every descriptor above 2 except keep (itself above 2).
void CloseAllAbove2But(int keep) {
  const unsigned kept = static_cast<unsigned>(keep);
  if (CloseRange(3, kept - 1) && CloseRange(kept + 1, UINT_MAX)) return;
  rlimit limit{};
  const rlim_t end = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                         ? limit.rlim_cur
                         : 65536;
  for (rlim_t fd = 3; fd < end; ++fd)
    if (fd != static_cast<rlim_t>(keep)) close(static_cast<int>(fd));
}

void ResetSignals() {
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &default_action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

// ---------------------------------------------------------------------------
// A plan prepared for starting, in this process or in a child of it.
// ---------------------------------------------------------------------------

class PreparedChild {
 public:
  explicit PreparedChild(const ChildPlan& plan);
  ~PreparedChild();
  PreparedChild(const PreparedChild&) = delete;
  PreparedChild& operator=(const PreparedChild&) = delete;

  int setup_error() const { return setup_error_; }

  // Starts the program: 0 and *pid, or the errno that stopped it.  Allocates nothing, so it
  // may also run in a process made by CreateProcess.
  int Start(pid_t* pid) const;

 private:
  static bool CanSpawn(const ChildPlan& plan);
  void PrepareEnvironment();
  void PrepareCandidates();
  void PrepareSpawn();
  int ForkAndExec(pid_t* pid) const;
  [[noreturn]] void BecomeProgram(int report) const;
  int ExecCandidates() const;

  const ChildPlan& plan_;
  std::vector<std::string> arguments_;
  std::vector<char*> argv_;
  std::vector<std::string> environment_;
  std::vector<char*> envp_;
  std::vector<std::string> candidates_;
  bool spawn_;
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attributes_{};
  int setup_error_ = 0;
};

bool PreparedChild::CanSpawn(const ChildPlan& plan) {
#ifndef KAV_GLIBC_2_34
  if (plan.only_standard_streams) return false;
#endif
#ifndef POSIX_SPAWN_SETSID
  if (plan.new_session) return false;
#endif
  return plan.account == nullptr;
}

PreparedChild::PreparedChild(const ChildPlan& plan)
    : plan_(plan), arguments_(plan.arguments), spawn_(CanSpawn(plan)) {
  for (std::string& argument : arguments_) argv_.push_back(argument.data());
  argv_.push_back(nullptr);
  PrepareEnvironment();
  if (spawn_)
    PrepareSpawn();
  else
    PrepareCandidates();
}

PreparedChild::~PreparedChild() {
  if (!spawn_) return;
  posix_spawn_file_actions_destroy(&actions_);
  posix_spawnattr_destroy(&attributes_);
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
  const std::string& name = arguments_.front();
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

void PreparedChild::PrepareSpawn() {
  auto keep = [this](int error) {
    if (setup_error_ == 0) setup_error_ = error;
  };
  keep(posix_spawn_file_actions_init(&actions_));
  keep(posix_spawnattr_init(&attributes_));
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  keep(posix_spawnattr_setsigdefault(&attributes_, &all));
  keep(posix_spawnattr_setsigmask(&attributes_, &none));
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
#ifdef POSIX_SPAWN_SETSID
  if (plan_.new_session) flags |= POSIX_SPAWN_SETSID;
#endif
  keep(posix_spawnattr_setflags(&attributes_, flags));
  for (int stream = 0; stream < 3; ++stream) {
    const StreamSource& source = plan_.streams[stream];
    if (source.kind == Kind::kDescriptor)
      keep(posix_spawn_file_actions_adddup2(&actions_, source.descriptor, stream));
    else if (source.kind != Kind::kInherit)
      keep(posix_spawn_file_actions_addopen(&actions_, stream, "/dev/null",
                                            NullDeviceFlags(stream, source.kind), 0));
  }
#ifdef KAV_GLIBC_2_34
  if (plan_.only_standard_streams) keep(posix_spawn_file_actions_addclosefrom_np(&actions_, 3));
#endif
}

int PreparedChild::Start(pid_t* pid) const {
  if (!spawn_) return ForkAndExec(pid);
  char** envp = envp_.empty() ? environ : const_cast<char**>(envp_.data());
  return posix_spawnp(pid, argv_[0], &actions_, &attributes_, argv_.data(), envp);
}

int PreparedChild::ForkAndExec(pid_t* pid) const {
  int report[2];
  if (!MakeReportPipe(report)) return errno;
  pid_t child;
  int error;
  {
    SignalsBlocked blocked;
    child = CreateProcess();
    if (child == 0) BecomeProgram(report[1]);
    error = errno;
  }
  close(report[1]);
  if (child < 0) {
    close(report[0]);
    return error;
  }
  const bool failed = ReadFully(report[0], &error, sizeof error) == sizeof error;
  close(report[0]);
  if (!failed) {
    *pid = child;
    return 0;
  }
  WaitForExit(child);
  return error;
}

[[noreturn]] void PreparedChild::BecomeProgram(int report) const {
  int error = 0;
  for (int stream = 0; stream < 3 && error == 0; ++stream)
    error = InstallStream(stream, plan_.streams[stream]);
  if (error == 0 && plan_.account != nullptr) error = TakeAccount(*plan_.account);
  if (error == 0 && plan_.new_session && setsid() < 0) error = errno;
  if (error == 0) {
    if (plan_.only_standard_streams) CloseAllAbove2But(report);
    ResetSignals();
    error = ExecCandidates();
  }
  WriteFully(report, &error, sizeof error);
  _exit(127);
}

// execvp's search: a candidate that does not exist (or whose directory does not) passes the
// turn to the next; EACCES is remembered; any other error ends the search.
int PreparedChild::ExecCandidates() const {
  bool denied = false;
  int error = ENOENT;
  char** envp = envp_.empty() ? environ : const_cast<char**>(envp_.data());
  for (const std::string& candidate : candidates_) {
    execve(candidate.c_str(), argv_.data(), envp);
    error = errno;
    if (error == EACCES)
      denied = true;
    else if (error != ENOENT && error != ENOTDIR && error != ESTALE && error != ENODEV &&
             error != ETIMEDOUT)
      return error;
  }
  return candidates_.size() == 1 || !denied ? error : EACCES;
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

ChildResult run_and_wait(const ChildPlan& plan) {
  const PreparedChild child(plan);
  if (child.setup_error() != 0) return {child.setup_error(), 0};
  pid_t pid;
  if (const int error = child.Start(&pid); error != 0) return {error, 0};
  return WaitForExit(pid);
}

ChildResult run_detached(const ChildPlan& plan) {
  const PreparedChild child(plan);
  if (child.setup_error() != 0) return {child.setup_error(), 0};
  int report[2];
  if (!MakeReportPipe(report)) return {errno, 0};
  pid_t middle;
  int error;
  {
    SignalsBlocked blocked;
    middle = CreateProcess();
    if (middle == 0) {
      pid_t program;
      error = child.Start(&program);
      WriteFully(report[1], &error, sizeof error);
      _exit(0);
    }
    error = errno;
  }
  close(report[1]);
  if (middle >= 0 && ReadFully(report[0], &error, sizeof error) != sizeof error) error = ECHILD;
  close(report[0]);
  if (middle >= 0) WaitForExit(middle);
  return {error, 0};
}

}  // namespace kav::platform::posix

// process_test.cpp - the launchers kav_winexec, kav_winexec_as_user and kav_winexec_console, and
// the command-line splitter beneath the POSIX ones, with a real child program (tests/child) that
// runs the script of steps its arguments give and reports its ids, session and descriptors.  A
// program that is not waited for waits for a file the test creates after the launcher returned.
// Under Wine the tests run against CreateProcessA and LogonUserA; where Wine answers otherwise,
// the expectation names the platform.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "platform/posix/command_line.h"
#include "support.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#endif

using namespace kavtest;

namespace {

// Whether a libpam of this program's word size loads (a 32-bit build may find none).
bool PamLoads() {
#if defined(_WIN32)
  return false;
#else
  void* pam = dlopen("libpam.so.0", RTLD_NOW | RTLD_LOCAL);
  return pam != nullptr && dlclose(pam) == 0;
#endif
}
constexpr int kNotFound = 2;  // ENOENT, ERROR_FILE_NOT_FOUND
constexpr int kInvalidParameter = kPosix ? 22 : 87;

template <typename Done>
bool Poll(Done done) {
  for (int i = 0; i < 3000 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

// Under Wine the console host of a program given a new console inherits the caller's files
// and holds them a moment after the program ended; until then they cannot be opened.
std::string ReadAll(const fs::path& path) {
  Poll([&] { return std::ifstream(path).is_open() || !fs::exists(path); });
  return ReadFile(path);
}

// Facts as "kav_child report" writes them, a line each, by their first word.
std::map<std::string, std::string> Facts(const std::string& text) {
  std::map<std::string, std::string> facts;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    facts[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
  return facts;
}

void ExpectFacts(const fs::path& report, const std::string& expected) {
  auto facts = Facts(ReadAll(report));
  for (const auto& [key, value] : Facts(expected)) EXPECT_EQ(facts[key], value) << key;
}

class ProcessTest : public InDirectory {
 protected:
  void TearDown() override {
    std::error_code error;
    EXPECT_TRUE(Poll([&] { return fs::remove_all(dir_, error), !fs::exists(dir_); }));
  }
  static std::string Child(const std::string& steps) {
    const fs::path self = *kav::platform::module_file_name();
    return "\"" + (self.parent_path() / "kav_child").string() + "\" " + steps;
  }
  // line with x appended up to length characters.
  static std::string Padded(std::string line, std::size_t length) {
    line.resize(length, 'x');
    return line;
  }
  static int Exec(std::string line, int mode, const char* in = nullptr, const char* out = nullptr,
                  const char* err = nullptr) {
    return kav_winexec(line.data(), 1, mode, in, out, err);
  }
  static int Console(std::string line, int show, int mode, const char* in = nullptr,
                     const char* out = nullptr, const char* err = nullptr) {
    return kav_winexec_console(line.data(), show, mode, in, out, err);
  }
  static int AsUser(std::string line, int mode, const char* user, const char* password,
                    const char* out = nullptr) {
    return kav_winexec_as_user(line.data(), 1, mode, nullptr, out, nullptr, user, password);
  }

  // Starts "wait GO touch DONE" through launch, which must return before the program ends;
  // then lets it finish.
  template <typename Launch>
  void ExpectNoWait(Launch launch, const std::string& what) {
    SCOPED_TRACE(what);
    fs::remove(At("GO"));
    fs::remove(At("DONE"));
    EXPECT_EQ(launch(Child("wait " + At("GO") + " touch " + At("DONE"))), 0);
    EXPECT_FALSE(fs::exists(At("DONE")));
    std::ofstream(At("GO")).close();
    EXPECT_TRUE(Poll([&] { return fs::exists(At("DONE")); }));
  }
};

struct SplitCase {
  const char* line;
  std::vector<std::string> words;
};

const SplitCase kSplitCases[] = {{" \t ", {}},
                                 {"  prog a  b\tc ", {"prog", "a", "b", "c"}},
                                 {R"("C:\Program Files\x\"y z)", {R"(C:\Program Files\x\y)", "z"}},
                                 {R"(p "a b" c)", {"p", "a b", "c"}},
                                 {R"(p a"b c"d)", {"p", "ab cd"}},
                                 {R"(p a\\b c\)", {"p", R"(a\\b)", R"(c\)"}},
                                 {R"(p a\"b)", {"p", R"(a"b)"}},
                                 {R"(p a\\\"b)", {"p", R"(a\"b)"}},
                                 {R"(p "a\\" b)", {"p", R"(a\)", "b"}},
                                 {R"(p "a""b" c)", {"p", R"(a"b)", "c"}},
                                 {R"(p "" ")", {"p", "", ""}}};

TEST(CommandLine, SplitsAsTheWindowsRuntimeDoes) {
  for (const SplitCase& c : kSplitCases)
    EXPECT_EQ(kav::platform::posix::command_line::split(c.line), c.words) << "line: " << c.line;
}

TEST(CommandLine, NamesTheProgramAsCreateProcessDoes) {
  const struct {
    const char* line;
    const char* name;
    bool quoted;
  } cases[] = {
      {R"("prog"x y)", "prog", true},  // the C runtime's argv[0] is progx
      {R"("my dir/prog.exe"a b)", "my dir/prog.exe", true},
      {R"("my dir"/prog a)", "my dir", true},
      {R"("pr"og a)", "pr", true},
      {R"(pr"og" a)", R"(pr"og")", false},
      {R"(prog"" a)", R"(prog"")", false},
      {R"(my" "dir/prog a)", R"(my")", false},
      {"prog	arg", "prog", false},
      {R"("prog)", R"("prog)", false},  // never closed: an ordinary character
      {R"("" a)", "", true},
      {"  prog a", "", false},
      {"", "", false},
  };
  for (const auto& c : cases) {
    const kav::platform::posix::command_line::ProgramName program =
        kav::platform::posix::command_line::program_name(c.line);
    EXPECT_EQ(program.name, c.name) << "line: " << c.line;
    EXPECT_EQ(program.quoted, c.quoted) << "line: " << c.line;
  }
}

// The arguments the program receives: on Windows split by the program's own C runtime.
TEST_F(ProcessTest, ArgumentsReachTheProgramAsSplit) {
  for (const SplitCase& c : kSplitCases) {
    if (c.words.size() < 2 || c.words[0] != "p") continue;
    const std::string tail = std::string(c.line).substr(2);
    fs::remove(At("args"));
    ASSERT_EQ(Exec(Child("args " + tail), 2, nullptr, At("args").c_str()), 0);
    std::string expected;
    for (std::size_t i = 1; i < c.words.size(); ++i) expected += "[" + c.words[i] + "]\n";
    EXPECT_EQ(ReadAll(At("args")), expected) << "arguments: " << tail;
  }
}

TEST_F(ProcessTest, ResultsByModeAndFailure) {
  WriteFile(At("text.txt"), "not a program\n");
  const std::string child = Child("").substr(1, Child("").size() - 3);  // without quotes
  const struct {
    std::string line;
    int mode, posix, windows;
  } cases[] = {
      {Child("exit 3"), 2, 3, 3},
      {kPosix ? "sh -c \"exit 5\"" : "cmd /c exit 5", 2, 5, 5},  // found through PATH
      {Child("exit 3"), -5, 0, 0},  // other modes return 0 once started (see below)
      {At("no_program"), 2, kNotFound, kNotFound},
      {"", 2, kNotFound, kNotFound},  // failures in mode 0: the thousand launches below
      {Child(std::string(32800, 'x')), 2, 7 /* E2BIG */, 87},
      // The limit of 32,767 characters counts the NUL that ends the line.
      {Padded(Child("exit 4 "), 32766), 2, 4, 4},
      {Padded(Child("exit 4 "), 32767), 2, 7, 87},
      // A quoted program name ends at its closing quote; an unquoted one at the first blank.
      {"\"" + child + "\"x exit 3", 2, 3, 3},
      {"\"" + child.substr(0, child.size() - 2) + "\"" + child.substr(child.size() - 2) + " exit 3",
       2, kNotFound, kNotFound},
      {" " + Child("exit 3"), 2, kNotFound, kNotFound},
      {"\"\" " + Child("exit 3"), 2, kInvalidParameter, kInvalidParameter},
      {"\"" + At("text.txt") + "\"", 2, 13 /* EACCES */, 193},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Exec(c.line, c.mode), kPosix ? c.posix : c.windows)
        << "mode " << c.mode << ": " << c.line.substr(0, 80);
  EXPECT_EQ(kav_winexec(nullptr, 1, 2, nullptr, nullptr, nullptr), kInvalidParameter);
  EXPECT_EQ(kav_winexec_console(nullptr, 1, 2, nullptr, nullptr, nullptr), kInvalidParameter);
}

TEST_F(ProcessTest, RedirectionCreatesAppendsAndSharesOneFile) {
  const std::string both = At("both"), out = At("out"), err = At("err"), in = At("in");
  WriteFile(both, "old\n");
  EXPECT_EQ(Exec(Child("out A err B out C"), 2, nullptr, both.c_str(), both.c_str()), 0);
  EXPECT_EQ(ReadAll(both), "old\nA\nB\nC\n");
  WriteFile(out, "o\n");
  WriteFile(err, "e\n");
  EXPECT_EQ(Exec(Child("out A err B"), 2, nullptr, out.c_str(), err.c_str()), 0);
  EXPECT_EQ(ReadAll(out) + ReadAll(err), "o\nA\ne\nB\n");
  // A missing input file is created empty and read to its end at once.
  EXPECT_EQ(Exec(Child("cat out X"), 2, in.c_str(), out.c_str()), 0);
  EXPECT_TRUE(fs::exists(in));
  WriteFile(in, "line 1\nline 2");
  EXPECT_EQ(Exec(Child("cat"), 2, in.c_str(), out.c_str()), 0);
  EXPECT_EQ(ReadAll(out), "o\nA\nX\nline 1\nline 2");
  // A file that cannot be opened leaves the program an unusable stream; it still starts.
  const std::string nowhere = At("missing/out");
  EXPECT_EQ(Exec(Child("err E out X"), 2, nullptr, nowhere.c_str(), err.c_str()), 5);
  EXPECT_EQ(ReadAll(err), "e\nB\nE\n");
  EXPECT_FALSE(fs::exists(nowhere));
}

TEST_F(ProcessTest, ModesOtherThan2ReturnOnceStarted) {
  const std::string out = At("out");
  for (int mode : {0, 1, 3, 4, 9})
    ExpectNoWait([&](const std::string& line) { return Exec(line, mode); },
                 "mode " + std::to_string(mode));
  for (int mode : {0, 1, 3, 4})
    ExpectNoWait([&](const std::string& line) { return Console(line, 1, mode, out.c_str()); },
                 "console mode " + std::to_string(mode));
}

TEST_F(ProcessTest, ConsoleRedirectsOnlyShownProgramsAndWhatOpens) {
  const std::string in = At("in"), out = At("out"), err = At("err"), report = At("R");
  // Hidden: no redirection (and, on POSIX, no terminal and /dev/null streams).
  EXPECT_EQ(
      Console(Child("report " + report + " exit 3"), 0, 2, in.c_str(), out.c_str(), err.c_str()),
      0);
  EXPECT_TRUE(fs::exists(report));
  EXPECT_FALSE(fs::exists(in) || fs::exists(out) || fs::exists(err));
  if (kPosix)
    ExpectFacts(report,
                "leader 1\ntty 0\nstream0 /dev/null r\nstream1 /dev/null w\n"
                "stream2 /dev/null w");
  // Show values outside 0 to 11 are normal windows: redirection applies.
  for (int show : {12, -1})
    EXPECT_EQ(Console(Child("out A exit 3"), show, 2, nullptr, out.c_str()), 0);
  EXPECT_EQ(ReadAll(out), "A\nA\n");
  // An empty name or a file that does not open is no redirection; the rest then has none.
  // (Under Wine without a display, writes to the new console fail: errors are written first.)
  EXPECT_EQ(Console(Child("err B out X"), 1, 2, "", "", err.c_str()), 0);
  EXPECT_EQ(Console(Child("err C out X report " + report), 1, 2, nullptr, At("missing/out").c_str(),
                    err.c_str()),
            0);
  EXPECT_EQ(ReadAll(err), "B\nC\n");
  if (kPosix)
    ExpectFacts(report,
                "leader 1\nstream0 /dev/null r\nstream1 /dev/null w\nstream2 " + err + " w");
}

// Wine's LogonUserA accepts every user and password and hands out a token that its
// CreateProcessAsUserA refuses (ERROR_INVALID_HANDLE): no logon line there, and no program.
// Without libpam (a 32-bit build on a 64-bit system) the logon fails with PAM_SYSTEM_ERR.
TEST_F(ProcessTest, FailedLogonPrintsItsCodeAndStartsNothing) {
  const std::string out = At("out"), done = At("DONE");
  const char* line = !kPosix ? "" : PamLoads() ? "LogonUserError: 7\n" : "LogonUserError: 4\n";
  for (const char* user : {"root", "kav_nobody_here"}) {
    testing::internal::CaptureStdout();
    const int result = AsUser(Child("touch " + done), 2, user, "not the password", out.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), line);
    EXPECT_EQ(result, kPosix ? -1 : 6);
    EXPECT_FALSE(fs::exists(done));
    EXPECT_TRUE(fs::exists(out));  // opened (and created) before the logon
  }
}

#if !defined(_WIN32)
// This process's open descriptors; only those a program would inherit when asked.
std::set<int> OpenDescriptors(bool inheritable_only) {
  std::set<int> numbers;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    if (fcntl(fd, F_GETFD) >= 0 && (!inheritable_only || !(fcntl(fd, F_GETFD) & FD_CLOEXEC)))
      numbers.insert(fd);
  }
  return numbers;
}

std::set<int> Descriptors(const std::string& list) {
  std::set<int> numbers;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');) numbers.insert(std::stoi(item));
  return numbers;
}

TEST_F(ProcessTest, DescriptorsFollowTheInheritanceRule) {
  const int extra = open("/dev/null", O_RDONLY);  // inheritable
  const std::set<int> inherited = OpenDescriptors(true), standard{0, 1, 2};
  ASSERT_TRUE(inherited.count(extra));
  const std::string out = At("out"), report = At("R");
  const struct {
    int mode;
    const char* out;
    const std::set<int>& fds;
  } cases[] = {{2, nullptr, inherited}, {2, out.c_str(), inherited}, {0, nullptr, inherited},
               {3, nullptr, standard},  {4, nullptr, standard},      {3, out.c_str(), inherited}};
  for (const auto& c : cases) {
    fs::remove(report);
    EXPECT_EQ(Exec(Child("report " + report), c.mode, nullptr, c.out), 0);
    ASSERT_TRUE(Poll([&] { return fs::exists(report); }));
    EXPECT_EQ(Descriptors(Facts(ReadAll(report))["fds"]), c.fds) << "mode " << c.mode;
    if (c.out != nullptr)  // no input file: no input
      ExpectFacts(report, "stream0 /dev/null r\nstream1 " + out + " w");
  }
  close(extra);
}

void CountSignal(int) {}

TEST_F(ProcessTest, ThousandLaunchesLeaveNoDescriptorChildOrHandlerBehind) {
  struct sigaction mine = {}, saved = {}, now = {};
  mine.sa_handler = CountSignal;
  sigaction(SIGCHLD, &mine, &saved);
  const std::set<int> before = OpenDescriptors(false);
  const std::string out = At("out"), nowhere = At("missing/out"), missing = At("no_program");
  const char* o = out.c_str();
  const int expected[] = {4, 128 + SIGTERM, 0, 2, 0, 0, 0, 22, 2, 7};
  int failures = 0;
  for (int i = 0; i < 1000; ++i) {
    const int result = i % 10 == 0   ? Exec(Child("exit 4"), 2)
                       : i % 10 == 1 ? Exec(Child("kill 15"), 2)
                       : i % 10 == 2 ? Exec(Child("exit 0"), 0, o, o, o)
                       : i % 10 == 3 ? Exec(missing, 0, nullptr, o)
                       : i % 10 == 4 ? Exec(Child("exit 0"), 4)
                       : i % 10 == 5 ? Exec(Child("exit 0"), 2, nullptr, nowhere.c_str())
                       : i % 10 == 6 ? Console(Child("exit 0"), i % 3, i % 4)
                       : i % 10 == 7 ? kav_winexec(nullptr, 1, 2, o, o, o)
                       : i % 10 == 8 ? Exec("  ", 0, o, o)
                                     : Exec(std::string(40000, 'x'), 0, o);
    failures += result != expected[i % 10];
  }
  EXPECT_EQ(failures, 0);
  testing::internal::CaptureStdout();  // a failed logon, with its files opened and closed
  EXPECT_EQ(AsUser(Child("exit 0"), 0, "kav_nobody_here", "x", o), -1);
  testing::internal::GetCapturedStdout();
  sigaction(SIGCHLD, &saved, &now);
  EXPECT_EQ(now.sa_handler, CountSignal);
  EXPECT_EQ(OpenDescriptors(false), before);
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG | __WALL), -1);  // no child, running or a zombie, is left
  EXPECT_EQ(errno, ECHILD);
}

// A handler that reaps every child it can, as many programs have one.
void ReapAll(int) {
  const int saved = errno;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = saved;
}

// Mode 2 gives the exit code whatever the caller does with SIGCHLD: a handler that reaps any
// child (on one thread, and with several threads launching while the main one takes the
// signals), or SIGCHLD ignored, which lets the system reap children.
TEST_F(ProcessTest, Mode2KeepsTheExitCodeFromTheCallersSigchldHandling) {
  struct sigaction reaper = {}, ignore = {}, saved = {};
  reaper.sa_handler = ReapAll;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &reaper, &saved);
  int wrong = 0;
  for (int i = 0; i < 100; ++i) wrong += Exec("sh -c \"exit 5\"", 2) != 5;
  std::vector<std::thread> threads;
  std::atomic<int> wrong_in_threads{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 25; ++i) wrong_in_threads += Exec("sh -c \"exit 5\"", 2) != 5;
    });
  for (std::thread& thread : threads) thread.join();
  sigaction(SIGCHLD, &ignore, nullptr);
  for (int i = 0; i < 20; ++i) wrong += Exec(Child("exit 7"), 2) != 7;
  sigaction(SIGCHLD, &saved, nullptr);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(wrong_in_threads, 0);
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG | __WALL), -1);
}

// Whatever the caller ignores or blocks, every launcher's program starts with no signal ignored
// or blocked, glibc's own 32 and 33 included.
TEST_F(ProcessTest, ProgramsStartWithEverySignalAtItsDefault) {
  struct sigaction ignore = {}, saved_int = {}, saved_rt = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ignore, &saved_int);
  sigaction(SIGRTMIN, &ignore, &saved_rt);
  sigset_t blocked, saved_mask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &blocked, &saved_mask);
  const std::string report = At("R");
  const std::function<int(const std::string&)> launchers[] = {
      [](const std::string& line) { return Exec(line, 2); },
      [](const std::string& line) { return Exec(line, 0); },
      [](const std::string& line) { return Console(line, 0, 0); }};
  for (const auto& launch : launchers) {
    fs::remove(report);
    EXPECT_EQ(launch(Child("report " + report)), 0);
    ASSERT_TRUE(Poll([&] { return fs::exists(report); }));
    ExpectFacts(report, "sigign 0000000000000000\nsigblk 0000000000000000");
  }
  pthread_sigmask(SIG_SETMASK, &saved_mask, nullptr);
  sigaction(SIGINT, &saved_int, nullptr);
  sigaction(SIGRTMIN, &saved_rt, nullptr);
}

// A FIFO as a redirection file never holds the launcher: without a peer it is a file that does
// not open (an unusable stream; for the console launcher no redirection), with one it carries
// the stream.
TEST_F(ProcessTest, FifoRedirectionsNeverHoldTheLauncher) {
  alarm(60);  // a launcher that waits on a FIFO ends the suite instead of hanging it
  const std::string fifo = At("fifo"), out = At("out");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Exec(Child("out X"), 2, nullptr, fifo.c_str()), 5);    // no reader
  EXPECT_EQ(Exec(Child("cat"), 2, fifo.c_str(), out.c_str()), 6);  // no writer
  EXPECT_EQ(Exec(Child("err E"), 2, nullptr, nullptr, fifo.c_str()), 5);
  EXPECT_EQ(Console(Child("exit 0"), 1, 3, fifo.c_str(), fifo.c_str()), 0);
  EXPECT_EQ(Console(Child("out Y"), 1, 2, fifo.c_str(), out.c_str()), 0);
  EXPECT_EQ(ReadAll(out), "Y\n");
  // With a peer: a reader takes the output; a writer (this end) feeds the input.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(Exec(Child("out A"), 2, nullptr, fifo.c_str()), 0);
  char got[8] = {};
  EXPECT_EQ(read(reader, got, sizeof got), 2);
  EXPECT_STREQ(got, "A\n");
  close(reader);
  const int writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC);  // opens without a reader
  ASSERT_GE(writer, 0);
  EXPECT_EQ(Exec(Child("cat"), 0, fifo.c_str(), out.c_str()), 0);
  ASSERT_EQ(write(writer, "in\n", 3), 3);
  close(writer);
  EXPECT_TRUE(Poll([&] { return ReadFile(out) == "Y\nin\n"; })) << ReadFile(out);
  alarm(0);
}

// A local user made for one test and removed after it, its programs (a launch that was not
// waited for may still run) ended first; each is named for the test process and a count, so a
// user that could not be removed never blocks the next one.  Users that a crashed run left
// behind (named for a process that is gone) are removed first.
struct LocalUser {
  LocalUser() {
    std::system(
        "for u in $(getent passwd | cut -d: -f1 | grep -x 'kavt[0-9]*u[0-9]*'); do "
        "p=${u#kavt}; kill -0 ${p%%u*} 2>/dev/null || userdel -r $u 2>/dev/null; done");
    // useradd refuses at once while another process holds the user database's lock: try again.
    const std::string add = "useradd -m -G users " + name + " && echo " + name + ":" + password;
    for (int attempt = 0; attempt < 10 && !created; ++attempt) {
      if (attempt > 0) sleep(1);
      created = std::system((add + " | chpasswd").c_str()) == 0;
    }
  }
  ~LocalUser() {
    std::system(("pkill -KILL -u " + name + "; for i in 1 2 3 4 5 6 7 8 9 10; do userdel -r " +
                 name + " 2>/dev/null && break; sleep 0.2; done")
                    .c_str());
  }
  static inline int count = 0;
  const std::string name = "kavt" + std::to_string(getpid()) + "u" + std::to_string(++count);
  const char* password = "Kav-test-8Qz";
  bool created = false;
};

TEST_F(ProcessTest, RunsAsTheLoggedOnUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to create a local user (the CI runs as root)";
  if (!PamLoads())
    GTEST_SKIP() << "libpam.so.0 does not load (no " << 8 * sizeof(void*) << "-bit copy)";
  LocalUser user;
  ASSERT_TRUE(user.created);
  const passwd* account = getpwnam(user.name.c_str());
  fs::permissions(dir_, fs::perms::all);  // the user writes its report here
  const int extra = open("/dev/null", O_RDONLY);
  const std::string out = At("out"), report = At("R");
  EXPECT_EQ(AsUser(Child("report " + report + " out hello exit 6"), 2, user.name.c_str(),
                   user.password, out.c_str()),
            6);
  ExpectFacts(report, "uid " + std::to_string(account->pw_uid) + "\ngid " +
                          std::to_string(account->pw_gid) + "\nhome " + account->pw_dir +
                          "\nfds 0,1,2\nstream0 /dev/null r\nleader 1\ntty 0");
  EXPECT_NE(Facts(ReadAll(report))["groups"].find(" 100"), std::string::npos);  // users
  EXPECT_EQ(ReadAll(out), "hello\n");
  ExpectNoWait(
      [&](const std::string& line) { return AsUser(line, 0, user.name.c_str(), user.password); },
      "as the user, no wait");
  close(extra);
}

// The terminal-injection hole of su: root, with a pseudo-terminal as its controlling terminal
// and on its standard streams, starts a program as another user that opens /dev/tty and pushes
// a character into the terminal's input with TIOCSTI on it and on 0 to 2.  The program gets no
// controlling terminal, so nothing arrives.  A program root starts as itself (kav_winexec) keeps
// root's terminal, and its pushed characters arrive: the check can see an injection.  (Newer
// kernels can refuse TIOCSTI to unprivileged programs altogether, dev.tty.legacy_tiocsti = 0;
// /dev/tty still tells whether the program had the terminal.)
TEST_F(ProcessTest, ProgramsOfAnotherUserCannotReachTheCallersTerminal) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to create a local user (the CI runs as root)";
  if (!PamLoads()) GTEST_SKIP() << "libpam.so.0 does not load";
  LocalUser user;
  ASSERT_TRUE(user.created);
  fs::permissions(dir_, fs::perms::all);
  const std::string report = At("R");
  // What arrived in the terminal's input, after each launch, from a process of its own session.
  int results[2];
  ASSERT_EQ(pipe(results), 0);
  const pid_t session = fork();
  if (session == 0) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (setsid() < 0 || master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) _exit(2);
    const int terminal = open(ptsname(master), O_RDWR);
    termios raw{};
    if (terminal < 0 || ioctl(terminal, TIOCSCTTY, 0) != 0 || tcgetattr(terminal, &raw) != 0)
      _exit(3);
    cfmakeraw(&raw);
    tcsetattr(terminal, TCSANOW, &raw);
    for (int fd = 0; fd < 3; ++fd) dup2(terminal, fd);
    std::string arrived;
    for (const bool other : {true, false}) {
      std::string line = Child("inject " + report);
      if (other)
        kav_winexec_as_user(line.data(), 1, 2, nullptr, nullptr, nullptr, user.name.c_str(),
                            user.password);
      else
        kav_winexec(line.data(), 1, 2, nullptr, nullptr, nullptr);
      char input[64];
      const int flags = fcntl(terminal, F_GETFL);
      fcntl(terminal, F_SETFL, flags | O_NONBLOCK);
      const ssize_t got = read(terminal, input, sizeof input);
      fcntl(terminal, F_SETFL, flags);
      arrived += std::to_string(got > 0 ? got : 0) + " " + ReadFile(report) + ";";
    }
    write(results[1], arrived.data(), arrived.size());
    _exit(0);
  }
  close(results[1]);
  std::string arrived;
  char block[256];
  for (ssize_t got; (got = read(results[0], block, sizeof block)) > 0;) arrived.append(block, got);
  close(results[0]);
  int status = 0;
  ASSERT_EQ(waitpid(session, &status, 0), session);
  ASSERT_EQ(status, 0) << arrived;
  EXPECT_EQ(arrived, "0 devtty 0\nsti 0\n;4 devtty 1\nsti 4\n;")
      << "characters read from the terminal, then the program's report, per launch";
}
#endif

}  // namespace

// process_test.cpp - tests for launching programs: kav_winexec, kav_winexec_as_user,
// kav_winexec_console and the command-line splitter beneath the POSIX launchers.
//
// The program started is kav_child (tests/child), built beside this test, which runs a script
// of steps given as its arguments and can report what it is (ids, session, descriptors).
// Programs that are not waited for are told to wait for a file the test creates after the
// launcher returned, so a launcher that waited would make the test fail, not pass.  Under
// Wine the same tests run against Wine's CreateProcessA and LogonUserA; expectations that
// differ are marked with the platform.

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kavutil.h"
#include "platform/platform.h"
#include "system/command_line.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
constexpr bool kPosix = false;
#else
constexpr bool kPosix = true;
#endif

// The system's codes: errno values on POSIX, GetLastError codes on Windows.
constexpr int kNotFound = 2;  // ENOENT, ERROR_FILE_NOT_FOUND
constexpr int kInvalidParameter = kPosix ? 22 : 87;

// Under Wine the console host of a program given a new console inherits the caller's files
// and holds them a moment after the program ended; until then they cannot be opened.
std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  for (int i = 0; i < 300 && !in.is_open() && fs::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    in.open(path, std::ios::binary);
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool WaitForFile(const fs::path& path) {
  for (int i = 0; i < 3000 && !fs::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return fs::exists(path);
}

// The facts "kav_child report" wrote, by their first word.
std::map<std::string, std::string> Facts(const fs::path& report) {
  std::map<std::string, std::string> facts;
  std::istringstream lines(ReadAll(report));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t space = line.find(' ');
    facts[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
  }
  return facts;
}

std::string ChildProgram() {
  const fs::path self = *kav::platform::module_file_name();
  return (self.parent_path() / (kPosix ? "kav_child" : "kav_child.exe")).string();
}

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kav_process_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code error;
    for (int i = 0; i < 300 && fs::remove_all(dir_, error) == static_cast<std::uintmax_t>(-1); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(fs::exists(dir_));
  }

  std::string At(const char* name) const { return (dir_ / name).string(); }
  static std::string Child(const std::string& steps) {
    return "\"" + ChildProgram() + "\" " + steps;
  }
  static int Exec(std::string line, int mode, const char* in = nullptr, const char* out = nullptr,
                  const char* err = nullptr) {
    return kav_winexec(line.data(), 1, mode, in, out, err);
  }
  static int Console(std::string line, int show, int mode, const char* in = nullptr,
                     const char* out = nullptr, const char* err = nullptr) {
    return kav_winexec_console(line.data(), show, mode, in, out, err);
  }

  // Starts "wait GO touch DONE" through launch, which must return before the program ends;
  // then lets it finish.
  template <typename Launch>
  void ExpectNoWait(Launch launch, const char* what) {
    SCOPED_TRACE(what);
    fs::remove(At("GO"));
    fs::remove(At("DONE"));
    EXPECT_EQ(launch(Child("wait " + At("GO") + " touch " + At("DONE"))), 0);
    EXPECT_FALSE(fs::exists(At("DONE")));
    WriteAll(At("GO"), "");
    EXPECT_TRUE(WaitForFile(At("DONE")));
  }

  fs::path dir_;
};

// ---------------------------------------------------------------------------
// The command line
// ---------------------------------------------------------------------------

struct SplitCase {
  const char* line;
  std::vector<std::string> words;
};

const SplitCase kSplitCases[] = {
    {"", {}},
    {" \t ", {}},
    {"  prog a  b\tc ", {"prog", "a", "b", "c"}},
    {R"("C:\Program Files\x\"y z)", {R"(C:\Program Files\x\y)", "z"}},
    {R"(p "a b" c)", {"p", "a b", "c"}},
    {R"(p a"b c"d)", {"p", "ab cd"}},
    {R"(p a\\b c\)", {"p", R"(a\\b)", R"(c\)"}},
    {R"(p a\"b)", {"p", R"(a"b)"}},
    {R"(p a\\\"b)", {"p", R"(a\"b)"}},
    {R"(p "a\\" b)", {"p", R"(a\)", "b"}},
    {R"(p "a""b" c)", {"p", R"(a"b)", "c"}},
    {R"(p "" ")", {"p", "", ""}},
};

TEST(CommandLine, SplitsAsTheWindowsRuntimeDoes) {
  for (const SplitCase& c : kSplitCases)
    EXPECT_EQ(kav::command_line::split(c.line), c.words) << "line: " << c.line;
}

// The arguments the program receives: on Windows parsed by the program's own C runtime.
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

// ---------------------------------------------------------------------------
// kav_winexec
// ---------------------------------------------------------------------------

TEST_F(ProcessTest, ResultsByModeAndFailure) {
  WriteAll(At("text.txt"), "not a program\n");
  const std::string missing = "kav_no_such_program_" + std::to_string(std::random_device{}());
  const struct {
    std::string line;
    int mode;
    int posix, windows;
  } cases[] = {
      {Child("exit 3"), 2, 3, 3},
      {Child("exit 0"), 2, 0, 0},
      {Child("exit 3"), 0, 0, 0},
      {Child("exit 3"), 3, 0, 0},
      {Child("exit 3"), 4, 0, 0},
      {Child("exit 3"), 1, 0, 0},
      {Child("exit 3"), -5, 0, 0},
      {missing, 2, kNotFound, kNotFound},
      {missing, 0, kNotFound, kNotFound},
      {"", 2, kNotFound, kNotFound},
      {"  ", 0, kNotFound, kNotFound},
      {Child(std::string(32800, 'x')), 2, 7 /* E2BIG */, 87},
      {"\"" + At("text.txt") + "\"", 2, 13 /* EACCES */, 193},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Exec(c.line, c.mode), kPosix ? c.posix : c.windows)
        << "mode " << c.mode << ": " << c.line.substr(0, 80);
  EXPECT_EQ(kav_winexec(nullptr, 1, 2, nullptr, nullptr, nullptr), kInvalidParameter);
}

TEST_F(ProcessTest, RedirectionCreatesAppendsAndSharesOneFile) {
  const std::string both = At("both"), out = At("out"), err = At("err"), in = At("in");
  WriteAll(both, "old\n");
  EXPECT_EQ(Exec(Child("out A err B out C"), 2, nullptr, both.c_str(), both.c_str()), 0);
  EXPECT_EQ(ReadAll(both), "old\nA\nB\nC\n");

  WriteAll(out, "o\n");
  WriteAll(err, "e\n");
  EXPECT_EQ(Exec(Child("out A err B"), 2, nullptr, out.c_str(), err.c_str()), 0);
  EXPECT_EQ(ReadAll(out), "o\nA\n");
  EXPECT_EQ(ReadAll(err), "e\nB\n");

  // A missing input file is created empty and read to its end at once.
  EXPECT_EQ(Exec(Child("cat out X"), 2, in.c_str(), out.c_str()), 0);
  EXPECT_TRUE(fs::exists(in));
  EXPECT_EQ(ReadAll(out), "o\nA\nX\n");
  WriteAll(in, "line 1\nline 2");
  EXPECT_EQ(Exec(Child("cat"), 2, in.c_str(), out.c_str()), 0);
  EXPECT_EQ(ReadAll(out), "o\nA\nX\nline 1\nline 2");
  EXPECT_EQ(ReadAll(in), "line 1\nline 2");

  // A file that cannot be opened leaves the program an unusable stream; it still starts.
  const std::string nowhere = At("missing/out");
  EXPECT_EQ(Exec(Child("err E out X"), 2, nullptr, nowhere.c_str(), err.c_str()), 5);
  EXPECT_EQ(ReadAll(err), "e\nB\nE\n");
  EXPECT_FALSE(fs::exists(nowhere));
}

TEST_F(ProcessTest, ModesOtherThan2ReturnOnceStarted) {
  for (int mode : {0, 1, 3, 4, 9})
    ExpectNoWait([&](const std::string& line) { return Exec(line, mode); },
                 ("mode " + std::to_string(mode)).c_str());
  const std::string out = At("out");
  ExpectNoWait([&](const std::string& line) { return Exec(line, 3, nullptr, out.c_str()); },
               "mode 3 with a file");
}

// ---------------------------------------------------------------------------
// kav_winexec_console
// ---------------------------------------------------------------------------

TEST_F(ProcessTest, ConsoleHiddenOrNotWaitingIgnoresFiles) {
  const std::string in = At("in"), out = At("out"), err = At("err");
  EXPECT_EQ(
      Console(Child("report " + At("R") + " exit 3"), 0, 2, in.c_str(), out.c_str(), err.c_str()),
      0);
  EXPECT_TRUE(fs::exists(At("R")));
  ExpectNoWait(
      [&](const std::string& line) { return Console(line, 1, 0, in.c_str(), out.c_str()); },
      "mode 0");
  EXPECT_FALSE(fs::exists(in) || fs::exists(out) || fs::exists(err));
  if (kPosix) {
    auto facts = Facts(At("R"));
    EXPECT_EQ(facts["leader"], "1");
    EXPECT_EQ(facts["tty"], "0");
    EXPECT_EQ(facts["stream0"], "/dev/null r");
    EXPECT_EQ(facts["stream1"], "/dev/null w");
    EXPECT_EQ(facts["stream2"], "/dev/null w");
  }
  for (int mode : {3, 4, 1})
    ExpectNoWait([&](const std::string& line) { return Console(line, 1, mode); },
                 ("console mode " + std::to_string(mode)).c_str());
}

TEST_F(ProcessTest, ConsoleRedirectsWhatOpens) {
  const std::string out = At("out"), err = At("err"), nowhere = At("missing/out");
  // Show values outside 0 to 11 are normal windows: redirection applies.
  for (int show : {12, -1})
    EXPECT_EQ(Console(Child("out A exit 3"), show, 2, nullptr, out.c_str()), 0);
  EXPECT_EQ(ReadAll(out), "A\nA\n");
  // An empty name or a file that does not open is no redirection; the rest then has none.
  // (Under Wine without a display, writes to the new console fail: errors are written first.)
  EXPECT_EQ(Console(Child("err B out X"), 1, 2, "", "", err.c_str()), 0);
  EXPECT_EQ(Console(Child("err C out X"), 1, 2, nullptr, nowhere.c_str(), err.c_str()), 0);
  EXPECT_EQ(ReadAll(err), "B\nC\n");
  if (kPosix) {
    EXPECT_EQ(Console(Child("report " + At("R")), 1, 2, nullptr, nullptr, err.c_str()), 0);
    auto facts = Facts(At("R"));
    EXPECT_EQ(facts["leader"], "1");
    EXPECT_EQ(facts["stream0"], "/dev/null r");
    EXPECT_EQ(facts["stream1"], "/dev/null w");
    EXPECT_EQ(facts["stream2"], err + " w");
  }
  EXPECT_EQ(kav_winexec_console(nullptr, 1, 2, nullptr, nullptr, nullptr), kInvalidParameter);
}

// ---------------------------------------------------------------------------
// kav_winexec_as_user
// ---------------------------------------------------------------------------

int AsUser(std::string line, int mode, const char* user, const char* password,
           const char* out = nullptr) {
  return kav_winexec_as_user(line.data(), 1, mode, nullptr, out, nullptr, user, password);
}

// Wine's LogonUserA accepts every user and password and hands out a token that its
// CreateProcessAsUserA refuses (ERROR_INVALID_HANDLE): no logon line there, and no program.
TEST_F(ProcessTest, FailedLogonPrintsItsCodeAndStartsNothing) {
  const std::string out = At("out"), done = At("DONE");
  for (const char* user : {"root", "kav_nobody_here"}) {
    testing::internal::CaptureStdout();
    const int result = AsUser(Child("touch " + done), 2, user, "not the password", out.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kPosix ? "LogonUserError: 7\n" : "");
    EXPECT_EQ(result, kPosix ? -1 : 6);
    EXPECT_FALSE(fs::exists(done));
    EXPECT_TRUE(fs::exists(out));  // opened (and created) before the logon
  }
}

#if !defined(_WIN32)
// ---------------------------------------------------------------------------
// POSIX: descriptors, signals, children, accounts
// ---------------------------------------------------------------------------

std::set<int> Descriptors(const std::string& list) {
  std::set<int> numbers;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');) numbers.insert(std::stoi(item));
  return numbers;
}

// This process's open descriptors; only those a program would inherit when asked.
std::set<int> OpenDescriptors(bool inheritable_only) {
  std::set<int> numbers;
  DIR* directory = opendir("/proc/self/fd");
  while (const dirent* entry = readdir(directory)) {
    const int fd = std::atoi(entry->d_name);
    if (entry->d_name[0] == '.' || fd == dirfd(directory)) continue;
    if (!inheritable_only || (fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0) numbers.insert(fd);
  }
  closedir(directory);
  return numbers;
}

// Processes whose parent is this one, zombies included.
std::vector<std::string> Children() {
  std::vector<std::string> children;
  const std::string self = std::to_string(getpid());
  for (const auto& entry : fs::directory_iterator("/proc")) {
    if (!std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0]))) continue;
    std::istringstream stat(ReadAll(entry.path() / "stat"));
    std::string pid, name, state, parent;
    if (stat >> pid >> name >> state >> parent && parent == self)
      children.push_back(pid + " " + name + " " + state);
  }
  return children;
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
    ASSERT_TRUE(WaitForFile(report));
    auto facts = Facts(report);
    EXPECT_EQ(Descriptors(facts["fds"]), c.fds) << "mode " << c.mode;
    if (c.out == nullptr) continue;
    EXPECT_EQ(facts["stream0"], "/dev/null r");  // no input file: no input
    EXPECT_EQ(facts["stream1"], out + " w");
  }
  close(extra);
}

void CountSignal(int) {}

TEST_F(ProcessTest, ThousandLaunchesLeaveNoDescriptorChildOrHandlerBehind) {
  struct sigaction mine {
  }, saved{}, now{};
  mine.sa_handler = CountSignal;
  sigaction(SIGCHLD, &mine, &saved);
  const std::set<int> before = OpenDescriptors(false);
  const std::string out = At("out"), nowhere = At("missing/out"), missing = "kav_no_such_program";
  int failures = 0;
  for (int i = 0; i < 1000; ++i) {
    const char* o = out.c_str();
    const int expected[] = {4, 128 + SIGTERM, 0, 2, 0, 0, 0, 22, 2, 7};
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
  sigaction(SIGCHLD, &saved, &now);
  EXPECT_EQ(now.sa_handler, CountSignal);
  EXPECT_EQ(OpenDescriptors(false), before);
  EXPECT_EQ(Children(), std::vector<std::string>{});
}

// A local user made for one test and removed after it, whatever happens.
class LocalUser {
 public:
  LocalUser() : name_("kavt" + std::to_string(getpid())) {
    created_ = std::system(("useradd -m -G users -s /bin/sh " + name_).c_str()) == 0;
    std::FILE* chpasswd = popen("chpasswd", "w");
    if (chpasswd == nullptr) return;
    std::fprintf(chpasswd, "%s:%s\n", name_.c_str(), password());
    created_ = pclose(chpasswd) == 0 && created_;
  }
  ~LocalUser() { std::system(("userdel -r " + name_ + " 2>/dev/null").c_str()); }
  LocalUser(const LocalUser&) = delete;
  LocalUser& operator=(const LocalUser&) = delete;

  bool created() const { return created_; }
  const char* name() const { return name_.c_str(); }
  static const char* password() { return "Kav-test-8Qz"; }

 private:
  std::string name_;
  bool created_ = false;
};

TEST_F(ProcessTest, RunsAsTheLoggedOnUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to create a local user (the CI runs as root)";
  LocalUser user;
  ASSERT_TRUE(user.created());
  const passwd* account = getpwnam(user.name());
  ASSERT_NE(account, nullptr);
  fs::permissions(dir_, fs::perms::all);  // the user writes its report here
  const int extra = open("/dev/null", O_RDONLY);
  const std::string out = At("out"), report = At("R");
  EXPECT_EQ(AsUser(Child("report " + report + " out hello exit 6"), 2, user.name(), user.password(),
                   out.c_str()),
            6);
  auto facts = Facts(report);
  EXPECT_EQ(facts["uid"], std::to_string(account->pw_uid));
  EXPECT_EQ(facts["gid"], std::to_string(account->pw_gid));
  EXPECT_NE(facts["groups"].find("100"), std::string::npos) << facts["groups"];
  EXPECT_EQ(facts["home"], account->pw_dir);
  EXPECT_EQ(facts["fds"], "0,1,2");
  EXPECT_EQ(facts["stream0"], "/dev/null r");
  EXPECT_EQ(ReadAll(out), "hello\n");
  ExpectNoWait(
      [&](const std::string& line) { return AsUser(line, 0, user.name(), user.password()); },
      "as the user, no wait");
  close(extra);
}
#endif

}  // namespace

// kav_child - the program the process tests start.  Its arguments are a script of steps, run in
// order: "exit N"; "args" (print each remaining argument as "[arg]" on a line, and end); "out
// TEXT" / "err TEXT" (a line to standard output / error; status 5 when it cannot be written);
// "cat" (standard input to output; status 6 when it cannot be read); "wait FILE" (until FILE
// exists; status 9 after 20 s); "touch FILE"; "report FILE" (POSIX: its open descriptors, uid,
// gid, groups, session leadership, controlling terminal, where 0 to 2 lead and how they are open,
// HOME, the ignored and the blocked signals as /proc gives them); "inject FILE" (POSIX: whether
// /dev/tty opens, and on how many of it and 0 to 2 TIOCSTI pushed a "Z" into a terminal's
// input); "kill N" (raise signal N).  Standard streams are binary on Windows.

#include <fcntl.h>
#if !defined(_WIN32)
#include <sys/ioctl.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

void Line(std::FILE* stream, const char* text) {
  if (std::fputs(text, stream) < 0 || std::fputc('\n', stream) < 0 || std::fflush(stream) != 0)
    std::exit(5);
}

void Cat() {
  char block[4096];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, stdin)) > 0;)
    if (std::fwrite(block, 1, got, stdout) != got) std::exit(5);
  if (std::ferror(stdin)) std::exit(6);
  if (std::fflush(stdout) != 0) std::exit(5);
}

void Wait(const char* path) {
  for (int i = 0; i < 2000 && !std::filesystem::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!std::filesystem::exists(path)) std::exit(9);
}

#if defined(_WIN32)
std::string Facts() { return ""; }
std::string Inject() { return ""; }
#else
std::string Facts() {
  std::string facts = "fds ";
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    const int fd = std::stoi(entry.path().filename().string());
    if (fcntl(fd, F_GETFD) >= 0 && !(fcntl(fd, F_GETFD) & FD_CLOEXEC))  // not the listing's own
      facts += std::to_string(fd) + ",";
  }
  facts.back() = '\n';
  facts += "uid " + std::to_string(getuid()) + "\ngid " + std::to_string(getgid()) + "\ngroups";
  gid_t groups[256];
  for (int i = 0, count = getgroups(256, groups); i < count; ++i)
    facts += " " + std::to_string(groups[i]);
  const int tty = open("/dev/tty", O_RDWR);
  facts +=
      "\nleader " + std::to_string(getsid(0) == getpid()) + "\ntty " + std::to_string(tty >= 0);
  const char* access[] = {" r", " w", " rw"};  // O_RDONLY, O_WRONLY, O_RDWR
  for (int fd = 0; fd < 3; ++fd) {
    facts += "\nstream" + std::to_string(fd) + " " +
             std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd)).string() +
             access[fcntl(fd, F_GETFL) & O_ACCMODE];
  }
  const char* home = std::getenv("HOME");
  facts += "\nhome " + std::string(home != nullptr ? home : "-") + "\n";
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("SigIgn:"))
      facts += "sigign " + line.substr(line.find_last_of("\t ") + 1) + "\n";
    if (line.starts_with("SigBlk:"))
      facts += "sigblk " + line.substr(line.find_last_of("\t ") + 1) + "\n";
  }
  return facts;
}

std::string Inject() {
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
  int pushed = 0;
  const char c = 'Z';
  for (const int fd : {tty, 0, 1, 2})
    if (fd >= 0 && ioctl(fd, TIOCSTI, &c) == 0) ++pushed;
  return "devtty " + std::to_string(tty >= 0) + "\nsti " + std::to_string(pushed) + "\n";
}
#endif

// Written to a side file and renamed, so that a reader never sees half of it.
void Write(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen((path + ".part").c_str(), "wb");
  if (file == nullptr || std::fputs(text.c_str(), file) < 0 || std::fclose(file) != 0) std::exit(7);
  std::filesystem::rename(path + ".part", path);
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  for (int fd = 0; fd < 3; ++fd) _setmode(fd, _O_BINARY);
#endif
  for (int i = 1; i < argc; ++i) {
    const std::string step = argv[i];
    if (step == "args") {
      while (++i < argc) std::printf("[%s]\n", argv[i]);
      return std::fflush(stdout) == 0 ? 0 : 5;
    }
    if (step == "cat") Cat();
    if (step == "cat" || ++i == argc) continue;
    if (step == "exit") return std::atoi(argv[i]);
    if (step == "out") Line(stdout, argv[i]);
    if (step == "err") Line(stderr, argv[i]);
    if (step == "wait") Wait(argv[i]);
    if (step == "touch") Write(argv[i], "");
    if (step == "report") Write(argv[i], Facts());
    if (step == "inject") Write(argv[i], Inject());
    if (step == "kill") std::raise(std::atoi(argv[i]));
  }
  return 0;
}

// kav_child - the program the process tests start, for POSIX and Windows.
//
// Its arguments are a little script of steps, run in order:
//   exit N         end with status N
//   args           print each remaining argument as "[arg]" on a line of its own, and end
//   out TEXT       TEXT and a line feed to standard output (status 5 when it cannot be written)
//   err TEXT       the same to standard error
//   cat            copy standard input to standard output (status 6 when input cannot be read)
//   wait FILE      wait until FILE exists (status 9 after 20 seconds without it)
//   touch FILE     create FILE
//   report FILE    write what the process is into FILE: uid, gid, groups, session leader,
//                  controlling terminal, open descriptors, where 0 to 2 lead and how they
//                  are open (r, w, rw), HOME (POSIX);
//                  the process id (Windows)
//   kill N         raise signal N (POSIX)
// Standard streams are binary on Windows, so bytes pass unchanged.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool Exists(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}

void Line(std::FILE* stream, const char* text) {
  if (std::fputs(text, stream) < 0 || std::fputc('\n', stream) < 0 || std::fflush(stream) != 0)
    std::exit(5);
}

void Cat() {
  char block[4096];
  std::size_t got;
  while ((got = std::fread(block, 1, sizeof block, stdin)) > 0)
    if (std::fwrite(block, 1, got, stdout) != got) std::exit(5);
  if (std::ferror(stdin)) std::exit(6);
  if (std::fflush(stdout) != 0) std::exit(5);
}

void Wait(const char* path) {
  for (int i = 0; i < 2000 && !Exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!Exists(path)) std::exit(9);
}

#if defined(_WIN32)
std::string Facts() { return "pid " + std::to_string(GetCurrentProcessId()) + "\n"; }
#else
std::string Descriptors() {
  std::string list;
  DIR* directory = opendir("/proc/self/fd");
  if (directory == nullptr) return "?";
  while (const dirent* entry = readdir(directory)) {
    if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == dirfd(directory)) continue;
    list += std::string(list.empty() ? "" : ",") + entry->d_name;
  }
  closedir(directory);
  return list;
}

std::string Target(int fd) {
  char path[64], target[4096];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(path, target, sizeof target - 1);
  if (length < 0) return "-";
  const int mode = fcntl(fd, F_GETFL) & O_ACCMODE;
  return std::string(target, static_cast<std::size_t>(length)) + (mode == O_RDONLY   ? " r"
                                                                  : mode == O_WRONLY ? " w"
                                                                                     : " rw");
}

std::string Facts() {
  std::string facts = "fds " + Descriptors() + "\n";
  facts += "uid " + std::to_string(getuid()) + "\ngid " + std::to_string(getgid()) + "\ngroups";
  gid_t groups[256];
  const int count = getgroups(256, groups);
  for (int i = 0; i < count; ++i) facts += " " + std::to_string(groups[i]);
  const int tty = open("/dev/tty", O_RDWR);
  if (tty >= 0) close(tty);
  facts += "\nleader " + std::to_string(getsid(0) == getpid() ? 1 : 0);
  facts += "\ntty " + std::to_string(tty >= 0 ? 1 : 0);
  for (int fd = 0; fd < 3; ++fd) facts += "\nstream" + std::to_string(fd) + " " + Target(fd);
  const char* home = std::getenv("HOME");
  return facts + "\nhome " + (home != nullptr ? home : "-") + "\n";
}
#endif

// Written to a side file and renamed, so a reader never sees half of it.
void Report(const char* path) {
  const std::string facts = Facts();
  const std::string partial = std::string(path) + ".part";
  std::FILE* file = std::fopen(partial.c_str(), "wb");
  if (file == nullptr) std::exit(7);
  std::fputs(facts.c_str(), file);
  std::fclose(file);
  std::remove(path);
  if (std::rename(partial.c_str(), path) != 0) std::exit(7);
}

void Touch(const char* path) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) std::exit(7);
  std::fclose(file);
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  for (int i = 1; i < argc; ++i) {
    const std::string step = argv[i];
    const char* operand = i + 1 < argc ? argv[i + 1] : "";
    if (step == "args") {
      while (++i < argc) std::printf("[%s]\n", argv[i]);
      return std::fflush(stdout) == 0 ? 0 : 5;
    }
    if (step == "cat") {
      Cat();
      continue;
    }
    ++i;
    if (step == "exit") return std::atoi(operand);
    if (step == "out") Line(stdout, operand);
    if (step == "err") Line(stderr, operand);
    if (step == "wait") Wait(operand);
    if (step == "touch") Touch(operand);
    if (step == "report") Report(operand);
    if (step == "kill") std::raise(std::atoi(operand));
  }
  return 0;
}

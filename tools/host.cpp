// The host services of the kav tool, for POSIX and Windows.
#include "host.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "commands.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace kav::tool {

void set_environment(const char *name, const std::string &value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

bool is_terminal(std::FILE *stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

std::string read_password(const char *prompt) {
  std::fputs(prompt, stderr);
  std::fflush(stderr);
#if defined(_WIN32)
  const HANDLE console = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool quiet = GetConsoleMode(console, &mode) &&
                     SetConsoleMode(console, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
#else
  termios mode{};
  const bool quiet = tcgetattr(STDIN_FILENO, &mode) == 0;
  if (quiet) {
    termios silent = mode;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
#endif
  std::string line;
  for (int c; (c = std::fgetc(stdin)) != EOF && c != '\n';) line += static_cast<char>(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
#if defined(_WIN32)
  if (quiet) SetConsoleMode(console, mode);
#else
  if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &mode);
#endif
  std::fputc('\n', stderr);
  return line;
}

char path_separator() {
#if defined(_WIN32)
  return '\\';
#else
  return '/';
#endif
}

void clear_system_error() {
  errno = 0;
#if defined(_WIN32)
  SetLastError(0);
#endif
}

std::string system_error(const char *otherwise) {
  if (errno != 0) return std::strerror(errno);
#if defined(_WIN32)
  if (const DWORD code = GetLastError(); code != 0) return system_message(int(code));
#endif
  return otherwise;
}

std::string system_message(int code) {
#if defined(_WIN32)
  char text[512] = "";
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, DWORD(code), 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == '.' || message.back() == ' '))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
#else
  return std::strerror(code);
#endif
}

namespace {

// A new, empty temporary file, open for writing; its path in *path.
std::FILE *create_temporary_file(std::string *path) {
#if defined(_WIN32)
  char directory[MAX_PATH + 1] = "", name[MAX_PATH + 1] = "";
  if (GetTempPathA(sizeof directory, directory) == 0 ||
      GetTempFileNameA(directory, "kav", 0, name) == 0)
    return nullptr;
  *path = name;
  return std::fopen(name, "wb");
#else
  std::error_code error;
  std::string pattern = (std::filesystem::temp_directory_path(error) / "kav-stdin-XXXXXX").string();
  if (error) pattern = "/tmp/kav-stdin-XXXXXX";
  const int descriptor = mkstemp(pattern.data());
  if (descriptor < 0) return nullptr;
  *path = pattern;
  std::FILE *file = fdopen(descriptor, "wb");
  if (file == nullptr) close(descriptor);
  return file;
#endif
}

}  // namespace

std::string copy_standard_input() {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::string path;
  clear_system_error();
  std::FILE *out = create_temporary_file(&path);
  if (out == nullptr) {
    const std::string why = system_error("no temporary file could be made");
    if (!path.empty()) std::remove(path.c_str());
    throw Failure("cannot make a temporary copy of standard input: " + why);
  }
  char block[65536];
  size_t read = 0;
  bool written = true;
  while (written && (read = std::fread(block, 1, sizeof block, stdin)) > 0)
    written = std::fwrite(block, 1, read, out) == read;
  int error = errno;
  const bool input_failed = std::ferror(stdin) != 0;
  if (std::fclose(out) != 0 && written) {
    error = errno;
    written = false;
  }
  if (!input_failed && written) return path;
  std::remove(path.c_str());
  throw Failure(std::string(input_failed ? "cannot read standard input: "
                                         : "cannot write the temporary copy of standard input: ") +
                std::strerror(error));
}

}  // namespace kav::tool

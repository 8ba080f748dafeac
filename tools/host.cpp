// The host services of the kav tool, for POSIX and Windows.
#include "host.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
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

}  // namespace kav::tool

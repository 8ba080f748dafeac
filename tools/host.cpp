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
#include <fcntl.h>
#include <sys/stat.h>
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

bool is_system_entry(const char *path) {
#if defined(_WIN32)
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
#else
  (void)path;
  return false;
#endif
}

#if defined(_WIN32)
Installed install_file(const std::string &path, const std::string &bytes, bool replace,
                       std::string *why) {
  const std::string directory = std::filesystem::path(path).parent_path().string();
  char temporary[MAX_PATH + 1] = "";
  if (GetTempFileNameA(directory.empty() ? "." : directory.c_str(), "kav", 0, temporary) == 0) {
    *why = system_message(int(GetLastError()));
    return Installed::kFailed;
  }
  std::FILE *out = std::fopen(temporary, "wb");
  bool written = out != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (out != nullptr) written = std::fflush(out) == 0 && _commit(_fileno(out)) == 0 && written;
  if (out != nullptr && std::fclose(out) != 0) written = false;
  if (written && MoveFileExA(temporary, path.c_str(),
                             MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0)))
    return Installed::kWritten;
  const DWORD error = written ? GetLastError() : DWORD(ERROR_WRITE_FAULT);
  DeleteFileA(temporary);
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return Installed::kExists;
  *why = system_message(int(error));
  return Installed::kFailed;
}
#else
namespace {

bool write_all(int descriptor, const std::string &bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(descriptor, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

}  // namespace

Installed install_file(const std::string &path, const std::string &bytes, bool replace,
                       std::string *why) {
  std::string temporary = path + ".kav-XXXXXX";
  const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) {
    *why = std::strerror(errno);
    return Installed::kFailed;
  }
  const mode_t mask = umask(0);
  umask(mask);
  bool done = fchmod(descriptor, 0666 & ~mask) == 0 && write_all(descriptor, bytes) &&
              fsync(descriptor) == 0;
  int error = errno;
  if (close(descriptor) != 0 && done) done = false, error = errno;
  if (done && replace && rename(temporary.c_str(), path.c_str()) == 0) return Installed::kWritten;
  if (done && !replace && link(temporary.c_str(), path.c_str()) == 0) {
    unlink(temporary.c_str());
    return Installed::kWritten;
  }
  if (done) error = errno;
  unlink(temporary.c_str());
  if (error == EEXIST && !replace) return Installed::kExists;
  *why = std::strerror(error);
  return Installed::kFailed;
}
#endif

void binary_standard_input() {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
#endif
}

std::string copy_standard_input() {
  binary_standard_input();
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

// folders.cpp - folders, paths and module names on POSIX.
//
// The Windows folders map to the XDG base directories: per-user application data is
// $XDG_CONFIG_HOME (else ~/.config), common application data the first entry of
// $XDG_CONFIG_DIRS (else /etc/xdg), and the Windows directory $SYSTEMROOT (else /etc).  Paths
// have no short form, the program's names come from /proc/self/exe, and full_path forms an
// absolute path lexically, as _fullpath does, without asking whether the target exists.

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "platform/platform.h"
#include "platform/posix/io.h"

namespace kav::platform {
namespace {

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] == '\0') return std::nullopt;
  return std::string(value);
}

// XDG variables name absolute paths; a relative one is ignored.
std::optional<std::string> AbsoluteOnly(std::optional<std::string> path) {
  if (path && path->front() != '/') return std::nullopt;
  return path;
}

std::optional<std::string> HomeDirectory() {
  if (auto home = Variable("HOME")) return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? size : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr || found->pw_dir[0] == '\0') {
    return std::nullopt;
  }
  return std::string(found->pw_dir);
}

std::optional<std::string> FirstConfigDirectory() {
  const auto list = Variable("XDG_CONFIG_DIRS");
  if (!list) return std::nullopt;
  return AbsoluteOnly(list->substr(0, list->find(':')));
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::optional<std::string> FolderPath(Folder folder) {
  switch (folder) {
    case Folder::kUserAppData:
      if (auto config = AbsoluteOnly(Variable("XDG_CONFIG_HOME"))) return config;
      if (auto home = HomeDirectory()) return *home + "/.config";
      return std::nullopt;
    case Folder::kCommonAppData:
      if (auto config = FirstConfigDirectory()) return config;
      return std::string("/etc/xdg");
    case Folder::kWindows:
      if (auto root = Variable("SYSTEMROOT")) return root;
      return std::string("/etc");
  }
  return std::nullopt;
}

std::optional<std::string> CurrentDirectory() {
  std::vector<char> buffer(256);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

// Joins the components of path onto stack, resolving "." and ".." without the file system.
void AppendComponents(const std::string& path, std::vector<std::string>& stack) {
  std::size_t at = 0;
  while (at < path.size()) {
    std::size_t end = at;
    while (end < path.size() && !base::is_path_separator(path[end])) ++end;
    const std::string component = path.substr(at, end - at);
    if (component == "..") {
      if (!stack.empty()) stack.pop_back();
    } else if (!component.empty() && component != ".") {
      stack.push_back(component);
    }
    at = end + 1;
  }
}

}  // namespace

std::optional<std::string> special_folder(Folder folder) {
  auto path = FolderPath(folder);
  if (!path) return std::nullopt;
  return WithoutTrailingSeparators(*path);
}

// POSIX paths have no 8.3 form.
std::optional<std::string> short_path(const std::string& path) { return path; }

std::optional<std::string> module_file_name() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length =
        kav::platform::io::readlinkat(AT_FDCWD, "/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<std::string> module_base_name() {
  auto path = module_file_name();
  if (!path) return std::nullopt;
  return path->substr(path->rfind('/') + 1);
}

bool is_nt_platform() { return true; }

std::optional<std::string> wine_version() { return std::nullopt; }

bool make_directory(const char* path) { return kav::platform::io::mkdir(path, 0777) == 0; }

bool path_exists(const char* path) {
  struct stat status;
  return kav::platform::io::stat(path, &status) == 0;
}

// Both separators split the path, as they do for _fullpath; the result uses '/'.
std::optional<std::string> full_path(const char* path, size_t limit) {
  if (path == nullptr || limit == 0) return std::nullopt;
  const std::string given(path);
  std::vector<std::string> stack;
  if (given.empty() || !base::is_path_separator(given.front())) {
    const auto current = CurrentDirectory();
    if (!current) return std::nullopt;
    AppendComponents(*current, stack);
  }
  AppendComponents(given, stack);
  std::string result;
  for (const auto& component : stack) result += "/" + component;
  // The root, and a directory named with its trailing separator, end with one.
  if (result.empty() || (!given.empty() && base::is_path_separator(given.back()))) result += '/';
  if (result.size() > limit - 1) return std::nullopt;
  return result;
}

}  // namespace kav::platform

// trees.cpp - removing and copying directory trees on POSIX without following any link.
//
// A walk holds the directories it is in by descriptor and reaches every entry relative to its
// directory's descriptor (openat with O_NOFOLLOW | O_DIRECTORY, fstatat with
// AT_SYMLINK_NOFOLLOW, unlinkat, mkdirat, readlinkat, symlinkat), so a directory swapped for a
// link between two calls is never entered: the link is met as a link.  The walk keeps its own
// stack of levels, so depth is bounded by memory, not by the call stack.  A directory's names are
// read when it is entered; entries made later (the copy of a tree into itself) are not visited,
// so the work stays proportional to the tree.
//
// At most kOpenLimit descriptors per side (source, destination) stay open: the directories
// further up are closed, and opened again through ".." when the walk returns to them.  If such a
// directory is then not the one recorded (device and inode differ: the tree was moved during the
// walk) the walk stops with a failure instead of working in the wrong place.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/file_kit.h"
#include "platform/posix/io.h"

namespace kav::platform {
namespace {

using posix::Descriptor;
using posix::KeepErrno;

constexpr std::size_t kOpenLimit = 16;
constexpr int kNameAttempts = 100;

// One directory the walk is in, on one side.
struct Place {
  Descriptor fd;  // closed while the directory is far up the walk
  dev_t device = 0;
  ino_t inode = 0;

  bool Identify() {
    struct stat status;
    if (kav::platform::io::fstat(fd.get(), &status) != 0) return false;
    device = status.st_dev;
    inode = status.st_ino;
    return true;
  }
  // Opens the directory again as the parent of child, if it is still the one recorded.
  bool Reopen(const Place& child) {
    fd = posix::open_directory_at(child.fd.get(), "..");
    struct stat status;
    if (!fd || kav::platform::io::fstat(fd.get(), &status) != 0) return false;
    if (status.st_dev == device && status.st_ino == inode) return true;
    fd.Reset();
    errno = ENOENT;  // the tree moved
    return false;
  }
};

struct Level {
  std::string name;                // in the parent level
  std::vector<std::string> names;  // the entries, read when the level was entered
  std::size_t next = 0;
  Place source, target;
};

struct StreamCloser {
  void operator()(std::FILE* stream) const {
    KeepErrno keep;
    kav::platform::io::fclose(stream);
  }
};

// The names in the directory fd, "." and ".." left out; nothing when the listing fails.
std::optional<std::vector<std::string>> ListNames(int fd) {
  const posix::Listing stream = posix::open_listing(Descriptor(kav::platform::io::dup(fd)));
  if (!stream) return std::nullopt;
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = kav::platform::io::readdir(stream.get());
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (errno != 0) return std::nullopt;
  return names;
}

// The stack of levels, with the bounds on open descriptors.  Source descriptors are open for
// levels source_open_.. (always the deepest); destination directories exist for levels
// 0..made_ - 1, with descriptors open for target_open_..made_ - 1.
class Walk {
 public:
  bool empty() const { return levels_.empty(); }
  Level& top() { return levels_.back(); }
  std::size_t depth() const { return levels_.size(); }
  Level& at(std::size_t index) { return levels_[index]; }
  std::size_t made() const { return made_; }

  // Enters the directory open on fd: identifies and lists it.  False when it cannot be listed.
  bool Push(Descriptor fd, const std::string& name) {
    Level level;
    level.name = name;
    level.source.fd = std::move(fd);
    auto names = ListNames(level.source.fd.get());
    if (!names || !level.source.Identify()) return false;
    level.names = std::move(*names);
    levels_.push_back(std::move(level));
    if (levels_.size() - source_open_ > kOpenLimit) levels_[source_open_++].source.fd.Reset();
    return true;
  }

  // Leaves the deepest level; its parent's descriptors are opened again where they were closed.
  bool Pop() {
    const std::size_t deepest = levels_.size() - 1;
    if (deepest > 0 && source_open_ == deepest) {
      if (!levels_[deepest - 1].source.Reopen(levels_[deepest].source)) return false;
      --source_open_;
    }
    if (made_ == deepest + 1) {
      if (deepest > 0 && target_open_ == deepest) {
        if (!levels_[deepest - 1].target.Reopen(levels_[deepest].target)) return false;
        --target_open_;
      }
      --made_;
    }
    levels_.pop_back();
    return true;
  }

  // Records that the destination directory of the next level down is made and open.
  bool AddTarget(Descriptor fd) {
    Place& place = levels_[made_].target;
    place.fd = std::move(fd);
    if (!place.fd || !place.Identify()) return false;
    if (++made_ - target_open_ > kOpenLimit) levels_[target_open_++].target.fd.Reset();
    return true;
  }

 private:
  std::vector<Level> levels_;
  std::size_t source_open_ = 0;
  std::size_t made_ = 0;
  std::size_t target_open_ = 0;
};

// ---------------------------------------------------------------------------
// Removal
// ---------------------------------------------------------------------------

// Removes one entry of the deepest level, or enters it when it is a directory.  Names beginning
// with '.' stay.  An entry that cannot be queried (already gone) is passed over: if it is still
// there, removing its directory fails.
bool RemoveEntry(Walk& walk, const std::string& name) {
  if (name[0] == '.') return true;
  const int directory = walk.top().source.fd.get();
  struct stat status;
  if (kav::platform::io::fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return true;
  if (!S_ISDIR(status.st_mode)) return kav::platform::io::unlinkat(directory, name.c_str(), 0) == 0;
  if (walk.Push(posix::open_directory_at(directory, name.c_str()), name)) return true;
  return kav::platform::io::unlinkat(directory, name.c_str(), AT_REMOVEDIR) ==
         0;  // an empty one goes
}

// Leaves the deepest level and removes its directory from its parent (outer for the top).
bool RemoveLevel(Walk& walk, int outer) {
  const std::string name = walk.top().name;
  if (!walk.Pop()) return false;
  const int parent = walk.empty() ? outer : walk.top().source.fd.get();
  return kav::platform::io::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
}

bool RemoveDirectoryTree(int parent, const std::string& name) {
  Walk walk;
  if (!walk.Push(posix::open_directory_at(parent, name.c_str()), name)) {
    return kav::platform::io::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
  }
  while (!walk.empty()) {
    Level& level = walk.top();
    const bool done = level.next == level.names.size();
    if (!(done ? RemoveLevel(walk, parent) : RemoveEntry(walk, level.names[level.next++]))) {
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Copies
// ---------------------------------------------------------------------------

class TreeCopier {
 public:
  TreeCopier(const char* destination, const TreeCopy& copy)
      : destination_(destination), copy_(copy) {}

  // A missing source copies nothing and succeeds; one that cannot be opened for another reason
  // fails, since nothing was copied.
  bool Run(const char* source) {
    Descriptor top = posix::open_directory(source);
    if (!top) return errno == ENOENT || errno == ENOTDIR;
    if (!walk_.Push(std::move(top), "")) return false;
    while (!walk_.empty()) {
      Level& level = walk_.top();
      const bool done = level.next == level.names.size();
      if (!(done ? walk_.Pop() : CopyEntry(level.names[level.next++]))) return false;
    }
    return true;
  }

 private:
  // Directories are entered, regular files copied, links made again; other kinds (FIFOs,
  // sockets, devices) are left out.  An entry gone since the listing is passed over.
  bool CopyEntry(const std::string& name) {
    const int directory = walk_.top().source.fd.get();
    struct stat status;
    if (kav::platform::io::fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      return errno == ENOENT;
    }
    if (S_ISDIR(status.st_mode))
      return walk_.Push(posix::open_directory_at(directory, name.c_str()), name);
    if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) return true;
    if (!MakeTargets()) return false;
    const int target = walk_.top().target.fd.get();
    return S_ISREG(status.st_mode) ? CopyFile(directory, target, name)
                                   : CopyLink(directory, target, name);
  }

  // Makes the destination directories down to the deepest level, each only once.
  bool MakeTargets() {
    while (walk_.made() < walk_.depth()) {
      const std::size_t level = walk_.made();
      if (level == 0) {
        if (!copy_.make_directories(destination_ + "/")) return false;
        if (!walk_.AddTarget(posix::open_directory(destination_.c_str()))) {
          return false;
        }
        continue;
      }
      const int parent = walk_.at(level - 1).target.fd.get();
      const char* name = walk_.at(level).name.c_str();
      if (kav::platform::io::mkdirat(parent, name, 0777) != 0 && errno != EEXIST) return false;
      if (!walk_.AddTarget(posix::open_directory_at(parent, name))) return false;
    }
    return true;
  }

  // The source stream is closed also when the copy runs out of memory.
  bool CopyFile(int source, int target, const std::string& name) {
    const std::unique_ptr<std::FILE, StreamCloser> in(posix::open_regular_at(source, name.c_str()));
    if (!in) return false;
    return posix::replace_at(target, name,
                             [&](std::FILE* out) { return copy_.copy(in.get(), out); });
  }

  // The link is made under a temporary name and renamed over the destination entry.
  static bool CopyLink(int source, int target, const std::string& name) {
    std::string text(256, '\0');
    for (;;) {
      const ssize_t size =
          kav::platform::io::readlinkat(source, name.c_str(), text.data(), text.size());
      if (size < 0) return false;
      if (static_cast<std::size_t>(size) < text.size()) {
        text.resize(static_cast<std::size_t>(size));
        break;
      }
      text.resize(text.size() * 2);
    }
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
      temporary = posix::fresh_temporary_name();
      if (kav::platform::io::symlinkat(text.c_str(), target, temporary.c_str()) == 0) break;
      if (errno != EEXIST || attempt == kNameAttempts) return false;
    }
    if (kav::platform::io::renameat(target, temporary.c_str(), target, name.c_str()) == 0)
      return true;
    KeepErrno keep;
    kav::platform::io::unlinkat(target, temporary.c_str(), 0);
    return false;
  }

  std::string destination_;
  const TreeCopy& copy_;
  Walk walk_;
};

}  // namespace

// The last component is looked at without following a link, also when the path ends in
// separators: a link is removed as a link, and "file/" names no file.
bool remove_tree(const char* path) {
  const posix::SplitPath split = posix::split_path(path);
  const Descriptor parent = posix::open_directory(split.directory.c_str());
  const char* name = split.name.c_str();
  struct stat status;
  if (name[0] == '\0') return true;
  if (!parent ||
      kav::platform::io::fstatat(parent.get(), name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT || errno == ENOTDIR;  // a missing path is no failure, a query error is
  }
  if (S_ISDIR(status.st_mode)) return RemoveDirectoryTree(parent.get(), split.name);
  if (S_ISLNK(status.st_mode) || (S_ISREG(status.st_mode) && !split.trailing)) {
    return kav::platform::io::unlinkat(parent.get(), name, 0) == 0;
  }
  return true;  // a device, FIFO or socket named by itself is left alone
}

bool copy_tree(const char* source, const char* destination, const TreeCopy& copy) {
  return TreeCopier(destination, copy).Run(source);
}

}  // namespace kav::platform

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
//
// A copy writes each file aside and stores its files in batches before it renames them into
// place (TreeCopier below; docs/decisions.md, "Copies of trees").

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/file_kit.h"
#include "platform/posix/io.h"
#include "platform/posix/transfer.h"

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

// Files written aside for a tree copy, waiting for the flush after which they may replace their
// destinations, with the destination directories that hold them (duplicated descriptors, so that
// the walk may close its own).  A file not put in place is removed when this goes (AsideFile).
class PendingFiles {
 public:
  explicit PendingFiles(std::size_t directory_limit) : directory_limit_(directory_limit) {}

  bool empty() const { return files_.empty(); }
  bool full() const {
    return files_.size() >= kPendingLimit || directories_.size() >= directory_limit_;
  }

  // Whether the directory of this device and inode holds files waiting here.
  bool Holds(dev_t device, ino_t inode) const {
    for (const HeldDirectory& held : directories_)
      if (held.device == device && held.inode == inode) return true;
    return false;
  }

  // The descriptor to write files aside in the destination directory place: the one held last
  // when it is the same directory, else a new duplicate.  -1, errno set, when none can be had.
  int Hold(const Place& place) {
    if (!directories_.empty() && directories_.back().device == place.device &&
        directories_.back().inode == place.inode) {
      return directories_.back().fd.get();
    }
    Descriptor fd(kav::platform::io::dup(place.fd.get()));
    if (!fd) return -1;
    directories_.push_back({std::move(fd), place.device, place.inode});
    return directories_.back().fd.get();
  }

  void Add(std::unique_ptr<posix::AsideFile> file, const std::string& name) {
    files_.push_back({std::move(file), name});
  }

  // Puts every file in place (their data must be stored by now) and lets the directories go.
  // False at the first rename that fails; the files after it are removed.
  bool PutInPlace() {
    bool placed = true;
    for (PendingFile& file : files_) {
      placed = placed && file.aside->put_in_place(file.name.c_str());
    }
    KeepErrno keep;
    files_.clear();
    directories_.clear();
    return placed;
  }

 private:
  static constexpr std::size_t kPendingLimit = 50000;

  struct HeldDirectory {
    Descriptor fd;
    dev_t device;
    ino_t inode;
  };
  struct PendingFile {
    std::unique_ptr<posix::AsideFile> aside;
    std::string name;
  };

  std::size_t directory_limit_;
  std::vector<HeldDirectory> directories_;
  std::vector<PendingFile> files_;  // after directories_: removed before those close
};

// How many destination directories a batch may hold: a sixteenth of the descriptors the process
// may open, between 1 and 64.
std::size_t HeldDirectoryLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 64;
  return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur / 16), 1, 64);
}

bool OutOfDescriptors() { return errno == EMFILE || errno == ENFILE; }

// The copy of a tree.  Its files are stored in batches (docs/decisions.md, "Copies of trees"):
// each file is written aside in its destination directory (copy_contents, which starts the
// writing of a big file's bytes to disk), and it waits.  A batch ends at the end of the tree, when
// it holds 50,000 files or as many directories as HeldDirectoryLimit allows, when the walk is about
// to list a directory that holds waiting files (the copy of a tree into itself), and when
// descriptors run out.  Then one syncfs per file system of the destination stores the batch's
// data, and only then is each file renamed over its destination.  At the end one more syncfs
// stores the last renames, the links and the directories made.  So a true result means
// everything is stored; a failure leaves each destination file old or new and whole, the files
// of the batch it fell in old, and no temporary file; and a crash at any moment leaves each
// file old or new, never empty or torn, since no rename reaches the disk before its data.
//
// syncfs reports the errors of the writing to disk since the descriptor it is given was opened
// (Linux 5.8 and later); each file system is synced through a destination directory opened
// before any file was written there.
class TreeCopier {
 public:
  TreeCopier(const char* destination, const TreeCopy& copy)
      : destination_(destination), copy_(copy), pending_(HeldDirectoryLimit()) {}

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
    return Flush() && SyncFileSystems();
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
    if (S_ISDIR(status.st_mode)) {
      // The listing must see the files put in place, not their temporary names.
      if (pending_.Holds(status.st_dev, status.st_ino) && !Flush()) return false;
      return walk_.Push(posix::open_directory_at(directory, name.c_str()), name);
    }
    if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) return true;
    if (!MakeTargets()) return false;
    const Place& target = walk_.top().target;
    if (S_ISLNK(status.st_mode)) return CopyLink(directory, target.fd.get(), name);
    // Descriptors that ran out are given back by ending the batch, and the file tried again.
    if (CopyFileAside(directory, target, name)) return true;
    if (!OutOfDescriptors() || pending_.empty()) return false;
    return Flush() && CopyFileAside(directory, target, name);
  }

  // Makes the destination directories down to the deepest level, each only once.
  bool MakeTargets() {
    while (walk_.made() < walk_.depth()) {
      const std::size_t level = walk_.made();
      if (level == 0) {
        if (!copy_.make_directories(destination_ + "/")) return false;
        if (!walk_.AddTarget(posix::open_directory(destination_.c_str()))) return false;
      } else {
        const int parent = walk_.at(level - 1).target.fd.get();
        const char* name = walk_.at(level).name.c_str();
        if (kav::platform::io::mkdirat(parent, name, 0777) != 0 && errno != EEXIST) return false;
        if (!walk_.AddTarget(posix::open_directory_at(parent, name))) return false;
      }
      if (!NoteFileSystem(walk_.at(level).target)) return false;
    }
    return true;
  }

  // Keeps a descriptor for syncfs on the file system of a destination directory, the first time
  // the copy meets that file system.
  bool NoteFileSystem(const Place& place) {
    for (const auto& [device, fd] : file_systems_)
      if (device == place.device) return true;
    Descriptor fd(kav::platform::io::dup(place.fd.get()));
    if (!fd) return false;
    file_systems_.emplace_back(place.device, std::move(fd));
    return true;
  }

  // Writes the file aside in target and leaves it waiting; the batch ends when it is full.
  bool CopyFileAside(int source, const Place& target, const std::string& name) {
    const int directory = pending_.Hold(target);
    if (directory < 0) return false;
    const Descriptor in = posix::open_file(source, name.c_str(), O_RDONLY,
                                           posix::Links::kStayInTree, posix::Kinds::kRegular);
    if (!in) return false;
    auto aside = std::make_unique<posix::AsideFile>(directory);
    if (!*aside || !posix::copy_contents(in.get(), aside->fd().get()) || !aside->fd().Close())
      return false;
    pending_.Add(std::move(aside), name);
    return !pending_.full() || Flush();
  }

  // Ends the batch: its data stored, then its files put in place.
  bool Flush() { return pending_.empty() || (SyncFileSystems() && pending_.PutInPlace()); }

  // A system without syncfs (ENOSYS) syncs every file system instead.
  bool SyncFileSystems() {
    for (const auto& file_system : file_systems_) {
      if (kav::platform::io::syncfs(file_system.second.get()) == 0) continue;
      if (errno != ENOSYS) return false;
      sync();
    }
    return true;
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
  std::vector<std::pair<dev_t, Descriptor>> file_systems_;
  PendingFiles pending_;
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
  const kav::platform::io::WriteSignalsHeld held;
  return TreeCopier(destination, copy).Run(source);
}

}  // namespace kav::platform

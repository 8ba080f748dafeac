// profile_file.cpp - reading, locking and replacing INI files (see profile_file.h).
//
// A write opens the file (creating it empty when missing), takes flock(LOCK_EX) on it and checks
// that the locked inode is still the one the name leads to: another writer may have replaced
// the file while this one waited, and then the write starts again on the new file, so that
// concurrent writers lose no update.  The current bytes are read through the locked descriptor
// and the edited bytes are written to a temporary file beside the target, named
// ".<name>.kavtmp.XXXXXX", which is locked by its writer, written, given the old permission bits
// and a modification time later than the old file's, fsync'ed and renamed over the target.
// Readers, and a crash at any moment, see the old file or the new one, never a mix.  A symbolic
// link is followed: the file it points to is replaced and the link stays.  Files are opened by
// the one opener of named files (open_file, file_kit.h), so that only regular files are read or
// written and no open waits on a FIFO; a write past the file-size limit fails the write
// (WriteSignalsHeld) instead of ending the process.
//
// Later modification times close the blind spot of stamp-based caches: a replacement reuses an
// inode number freed by an earlier one, keeps the size and lands within the same tick of the
// file system's clock, so that identity, size and times would all repeat.  Each replacement
// stores max(now, old + 1 ns) and checks what the file system kept; one that keeps coarser times
// rounds it down, and the time is then pushed on by 1 us, 1 ms, 1 s and 2 s in turn.  A chain of
// writes through kavutil therefore never repeats a stamp.
//
// Stale temporaries: a writer killed between creating its temporary file and the rename leaves
// it behind.  Every write, once it holds the lock of the verified current file, removes the
// temporaries of that file that no living writer holds, even a write that then changes nothing.
// While the lock is held, no other kavutil writer of the file can be writing a temporary: it would
// need the same lock, and a writer that locked an older inode finds, before it writes anything,
// that the inode was replaced, and starts again.  Only a replacement by a program outside kavutil
// (which takes no lock) can leave a writer working under the lock of a replaced inode; its
// temporary is then protected by its own lock, which it takes right after creating the file.  A
// temporary counts as abandoned only when flock(LOCK_EX | LOCK_NB) on it succeeds, which no living
// writer allows, and it is unlinked only while the name still leads to the inode that was locked.
// One window is left: between mkostemp and flock, a temporary of such a writer, or of a
// writer of another file whose name shares the first 200 bytes (names are cut there), could be
// removed; that writer's rename then fails, and its write reports the failure with its file
// unchanged.

#include "platform/posix/profile_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <utility>

#include "platform/posix/file_kit.h"
#include "platform/posix/io.h"

namespace kav::platform::posix {
namespace {

constexpr std::string_view kTemporaryTag = ".kavtmp.";
constexpr std::size_t kTemporaryRandom = 6;  // mkostemp's XXXXXX
constexpr std::size_t kNameLimit = 200;      // keeps the temporary's name within NAME_MAX

bool IsRegular(const struct stat& status) {
  if (S_ISREG(status.st_mode)) return true;
  errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
  return false;
}

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool Lock(int fd, int operation) {
  while (io::flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Temporary files
// ---------------------------------------------------------------------------

std::size_t NameAt(const std::string& target) { return target.rfind('/') + 1; }  // 0 without '/'

// ".<name>.kavtmp.", the name cut to kNameLimit bytes.
std::string TemporaryPrefix(const std::string& target) {
  return "." + target.substr(NameAt(target), kNameLimit) + std::string(kTemporaryTag);
}

bool IsTemporaryName(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || name.size() != prefix.size() + kTemporaryRandom) return false;
  for (char c : name.substr(prefix.size())) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Removes the temporary file name in directory unless a living writer holds it (see above).
void RemoveIfAbandoned(int directory, const char* name) {
  struct stat held, now;
  const Descriptor fd =
      open_file(directory, name, O_RDONLY, Links::kStayInTree, Kinds::kRegular, &held);
  if (!fd) return;
  if (io::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return;
  if (io::fstatat(directory, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || !SameInode(now, held)) {
    return;
  }
  io::unlinkat(directory, name, 0);
}

// Best effort: a directory that cannot be listed keeps its leftovers until the next write.
void RemoveStaleTemporaries(const std::string& target) {
  const std::size_t name_at = NameAt(target);
  const std::string directory = name_at == 0 ? "." : target.substr(0, name_at);
  const std::string prefix = TemporaryPrefix(target);
  const Listing listing = open_listing(open_directory(directory.c_str()));
  if (!listing) return;
  while (const dirent* entry = io::readdir(listing.get())) {
    if (IsTemporaryName(entry->d_name, prefix))
      RemoveIfAbandoned(dirfd(listing.get()), entry->d_name);
  }
}

// ---------------------------------------------------------------------------
// Replacement
// ---------------------------------------------------------------------------

bool IsLater(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

timespec Plus(timespec time, long nanoseconds) {
  time.tv_sec += nanoseconds / 1000000000L;
  time.tv_nsec += nanoseconds % 1000000000L;
  if (time.tv_nsec >= 1000000000L) {
    time.tv_nsec -= 1000000000L;
    ++time.tv_sec;
  }
  return time;
}

// Gives fd a modification time later than old (see above).  A file system that cannot store a
// later time at all leaves the last one tried: the write still goes ahead.
bool StampLaterThan(int fd, const timespec& old) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  for (long step : {1L, 1000L, 1000000L, 1000000000L, 2000000000L}) {
    const timespec wanted = Plus(old, step);
    const timespec times[2] = {{0, UTIME_OMIT}, IsLater(now, wanted) ? now : wanted};
    struct stat stored;
    if (io::futimens(fd, times) != 0 || io::fstat(fd, &stored) != 0) return false;
    if (IsLater(stored.st_mtim, old)) return true;
  }
  return true;
}

// Replaces target with bytes through a temporary file in the same directory.
bool WriteReplacement(const std::string& target, std::string_view bytes, const struct stat& old) {
  std::string temporary = target.substr(0, NameAt(target)) + TemporaryPrefix(target) +
                          std::string(kTemporaryRandom, 'X');
  AsideFile aside(std::move(temporary));  // once in place, closing it reports nothing more
  const int fd = aside.fd().get();
  return aside && Lock(fd, LOCK_EX) && write_all(fd, bytes) &&
         io::fchmod(fd, old.st_mode & 07777) == 0 && StampLaterThan(fd, old.st_mtim) &&
         io::fsync(fd) == 0 && aside.put_in_place(target.c_str());
}

// The file a write replaces: the target of a symbolic link, else path itself.
std::optional<std::string> WriteTarget(const char* path) {
  struct stat status;
  if (io::lstat(path, &status) != 0) return std::nullopt;
  if (!S_ISLNK(status.st_mode)) return std::string(path);
  char resolved[PATH_MAX];  // realpath's own size; a longer target fails with ENAMETOOLONG
  if (io::realpath(path, resolved) == nullptr) return std::nullopt;
  return std::string(resolved);
}

enum class Held { kCurrent, kReplaced, kFailed };

// Whether the locked inode is still the file that target names.  A file removed since it was
// opened counts as replaced: the next round creates it again.
Held CheckCurrent(const std::string& target, const struct stat& held) {
  struct stat current;
  if (io::stat(target.c_str(), &current) != 0)
    return errno == ENOENT ? Held::kReplaced : Held::kFailed;
  return SameInode(current, held) ? Held::kCurrent : Held::kReplaced;
}

}  // namespace

FileStamp::FileStamp(const struct stat& status)
    : device(status.st_dev),
      inode(status.st_ino),
      size(status.st_size),
      modified(status.st_mtim),
      changed(status.st_ctim) {}

bool FileStamp::operator==(const FileStamp& other) const {
  const auto same_time = [](const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  };
  return device == other.device && inode == other.inode && size == other.size &&
         same_time(modified, other.modified) && same_time(changed, other.changed);
}

std::optional<FileStamp> stamp_of_file(const char* path) {
  struct stat status;
  if (io::stat(path, &status) != 0 || !IsRegular(status)) return std::nullopt;
  return FileStamp(status);
}

std::optional<FileBytes> read_whole_file(const char* path) {
  struct stat status;
  const Descriptor fd =
      open_file(AT_FDCWD, path, O_RDONLY, Links::kFollow, Kinds::kRegular, &status);
  if (!fd) return std::nullopt;
  auto bytes = read_all(fd.get(), static_cast<std::size_t>(status.st_size));
  if (!bytes) return std::nullopt;
  return FileBytes{FileStamp(status), std::move(*bytes)};
}

bool edit_file(const char* path, const FileEdit& edit) {
  const io::WriteSignalsHeld signals;
  for (;;) {
    const Descriptor fd =
        open_file(AT_FDCWD, path, O_RDWR | O_CREAT, Links::kFollow, Kinds::kRegular);
    struct stat held;
    if (!fd || !Lock(fd.get(), LOCK_EX) || io::fstat(fd.get(), &held) != 0) return false;
    const auto target = WriteTarget(path);
    if (!target) return false;
    const Held state = CheckCurrent(*target, held);
    if (state == Held::kFailed) return false;
    if (state == Held::kReplaced) continue;
    RemoveStaleTemporaries(*target);
    auto bytes = read_all(fd.get(), static_cast<std::size_t>(held.st_size));
    if (!bytes) return false;
    const std::optional<std::string> edited = edit(std::move(*bytes));
    if (!edited) return true;
    return WriteReplacement(*target, *edited, held);  // the lock goes with fd, after the rename
  }
}

}  // namespace kav::platform::posix

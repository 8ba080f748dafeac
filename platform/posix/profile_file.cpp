// profile_file.cpp - reading, locking and replacing INI files (see profile_file.h).
//
// A write opens the file (creating it empty when missing), takes flock(LOCK_EX) on it and checks
// that the locked inode is still the one the name leads to: another writer may have replaced
// the file while this one waited, and then the write starts again on the new file, so that
// concurrent writers lose no update.  The current bytes are read through the locked descriptor
// and the edited bytes are written to a temporary file beside the target, which is locked by its
// writer, given the old permission bits, written, given a modification time later than the old
// file's, fsync'ed and renamed over the target; the directory is then fsync'ed, so that the new
// name survives a crash.  Readers, and a crash at any moment, see the old file or the new one,
// never a mix.  A symbolic link is followed: the file it points to is replaced and the link
// stays.  The directory is held open from the check to the flush, and the temporary is made,
// checked and renamed relative to it.  Files are opened by the one opener of named files
// (open_file, file_kit.h), so that only regular files are read or written and no open waits on a
// FIFO; a write past the file-size limit fails the write (WriteSignalsHeld) instead of ending the
// process.
//
// A failed directory flush fails the write (errno from fsync) although the new file is already
// in place and seen by readers: the caller learns that the edit is not known to survive a crash,
// and every profile edit can be repeated with the same result.  A file system that cannot flush
// directories at all (EINVAL) has nothing to flush, and the write succeeds.
//
// Later modification times close the blind spot of stamp-based caches: a replacement reuses an
// inode number freed by an earlier one, keeps the size and lands within the same tick of the
// file system's clock, so that identity, size and times would all repeat.  Each replacement
// stores max(now, old + 1 ns) and checks what the file system kept; one that keeps coarser times
// rounds it down, and the time is then pushed on by 1 us, 1 ms, 1 s and 2 s in turn.  A chain of
// writes through kavutil therefore never repeats a stamp.
//
// Temporary names.  The temporary of a write to <name> has a fixed name, ".<name>.kavtmp.<slot>"
// (the name cut to 200 bytes), slot 0 unless a living writer holds that one, so that a write
// finds what a dead writer left by trying a handful of names, never by listing the directory:
// its cost does not grow with the directory.  A writer creates its temporary exclusively
// (O_EXCL), locks it, and then checks that the name still leads to the inode it locked; a name
// that is taken is cleared when its writer is dead, else the next slot is tried; with all
// kSlots slots held, the temporary takes a fresh random name (fresh_temporary_name), which no
// later write recognises.
//
// Stale temporaries: a writer killed between creating its temporary and the rename leaves it
// behind.  Every write, once it holds the lock of the verified current file, removes the
// temporaries of that file that no living writer holds (in the slots other than its own), even
// a write that then changes nothing.  While the lock is held, no other kavutil writer of the file
// can be writing a temporary: it would need the same lock, and a writer that locked an older
// inode finds, before it writes anything, that the inode was replaced, and starts again.  Only a
// replacement by a program outside kavutil (which takes no lock), or another file whose name
// shares the first 200 bytes, can leave another writer working on the same names; its temporary
// is then protected by its own lock.  A temporary counts as abandoned only when
// flock(LOCK_EX | LOCK_NB) on it succeeds, which no living writer allows, and it is unlinked only
// while the name still leads to the inode that was locked.  Between its creation and its lock,
// a living writer's temporary can be taken for a dead one's and removed; that writer then finds
// its name gone or leading elsewhere once it holds the lock, and creates its temporary again.
// After that check only the holder of the lock can remove or replace the name, so the rename
// moves the writer's own file.

#include "platform/posix/profile_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/posix/file_kit.h"
#include "platform/posix/io.h"

namespace kav::platform::posix {
namespace {

constexpr std::string_view kTemporaryTag = ".kavtmp.";
constexpr int kSlots = 4;                // fixed temporary names per file
constexpr int kClaimAttempts = 8;        // creations of one slot's name, each lost to a clean-up
constexpr std::size_t kNameLimit = 200;  // keeps the temporary's name within NAME_MAX

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

// The directory of a file, held open, and the file's name in it.
struct Place {
  Descriptor directory;
  std::string name;
};

std::optional<Place> PlaceOf(const std::string& target) {
  SplitPath split = split_path(target.c_str());
  Descriptor directory = open_directory(split.directory.c_str());
  if (!directory) return std::nullopt;
  return Place{std::move(directory), std::move(split.name)};
}

// ---------------------------------------------------------------------------
// Temporary files
// ---------------------------------------------------------------------------

// ".<name>.kavtmp.<slot>", the name cut to kNameLimit bytes.
std::string TemporaryName(const std::string& name, int slot) {
  return "." + name.substr(0, kNameLimit) + std::string(kTemporaryTag) + std::to_string(slot);
}

// Removes the temporary file name in directory unless a living writer holds it (see above).
// True when the name may be free now; false when a living writer holds it or it cannot be told.
bool RemoveIfAbandoned(int directory, const char* name) {
  struct stat held, now;
  const Descriptor fd =
      open_file(directory, name, O_RDONLY, Links::kStayInTree, Kinds::kRegular, &held);
  if (!fd) return errno == ENOENT;
  if (io::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
  if (io::fstatat(directory, name, &now, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!SameInode(now, held)) return true;  // another file took the name: look again
  return io::unlinkat(directory, name, 0) == 0 || errno == ENOENT;
}

enum class Claim { kHeld, kLost, kFailed };

// Locks a temporary just created and checks that its name still leads to it: a clean-up may
// have taken it for a dead writer's before the lock (see above).
Claim LockUnderItsName(int directory, AsideFile& aside) {
  struct stat own, named;
  const int fd = aside.fd().get();
  if (!Lock(fd, LOCK_EX) || io::fstat(fd, &own) != 0) return Claim::kFailed;
  if (io::fstatat(directory, aside.name().c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? Claim::kLost : Claim::kFailed;
  return SameInode(own, named) ? Claim::kHeld : Claim::kLost;
}

// The temporary of one slot, created, locked and checked; null with errno EBUSY when a living
// writer holds the slot (or its file cannot be judged), with another errno when creating fails.
std::unique_ptr<AsideFile> ClaimSlot(int directory, const std::string& temporary) {
  for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
    auto aside = std::make_unique<AsideFile>(directory, temporary);
    if (*aside) {
      const Claim claim = LockUnderItsName(directory, *aside);
      if (claim == Claim::kHeld) return aside;
      aside->disown();  // the name may lead to another writer's file by now
      aside.reset();
      if (claim == Claim::kLost) continue;
      const KeepErrno keep;  // the temporary, unlocked now, goes if nobody else holds it
      RemoveIfAbandoned(directory, temporary.c_str());
      return nullptr;
    }
    if (errno != EEXIST) return nullptr;
    if (!RemoveIfAbandoned(directory, temporary.c_str())) break;
  }
  errno = EBUSY;
  return nullptr;
}

// Removes what dead writers left in the slots of name other than the one in use (-1: none is).
void RemoveAbandonedSlots(int directory, const std::string& name, int in_use) {
  for (int slot = 0; slot < kSlots; ++slot) {
    if (slot != in_use) RemoveIfAbandoned(directory, TemporaryName(name, slot).c_str());
  }
}

// The temporary of a write to name in directory, locked: the first slot free or freed, else a
// fresh name.  Null, errno set, when it cannot be created.
std::unique_ptr<AsideFile> ClaimTemporary(int directory, const std::string& name) {
  for (int slot = 0; slot < kSlots; ++slot) {
    if (auto aside = ClaimSlot(directory, TemporaryName(name, slot))) {
      RemoveAbandonedSlots(directory, name, slot);
      return aside;
    }
    if (errno != EBUSY) return nullptr;
  }
  auto aside = std::make_unique<AsideFile>(directory);
  if (!*aside || !Lock(aside->fd().get(), LOCK_EX)) return nullptr;
  return aside;
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

// Flushes the directory after the rename, so that the new name survives a crash; a file system
// that cannot flush directories (EINVAL) has nothing to flush.  See above for a failure.
bool FlushDirectory(int directory) {
  while (io::fsync(directory) != 0) {
    if (errno != EINTR) return errno == EINVAL;
  }
  return true;
}

// Replaces the file with bytes through a temporary file in the same directory.
bool WriteReplacement(const Place& place, std::string_view bytes, const struct stat& old) {
  const int directory = place.directory.get();
  const auto aside = ClaimTemporary(directory, place.name);
  if (!aside) return false;
  const int fd = aside->fd().get();  // once in place, closing it reports nothing more
  // The old permission bits come first, so that no byte is ever readable by more than the file's
  // readers (a temporary of a fresh name is created for everyone, less the umask).
  return io::fchmod(fd, old.st_mode & 07777) == 0 && write_all(fd, bytes) &&
         StampLaterThan(fd, old.st_mtim) && io::fsync(fd) == 0 &&
         aside->put_in_place(place.name.c_str()) && FlushDirectory(directory);
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

// Whether the locked inode is still the file of that name.  A file removed since it was opened
// counts as replaced: the next round creates it again.
Held CheckCurrent(const Place& place, const struct stat& held) {
  struct stat current;
  if (io::fstatat(place.directory.get(), place.name.c_str(), &current, 0) != 0)
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
    const auto place = PlaceOf(*target);
    if (!place) return false;
    const Held state = CheckCurrent(*place, held);
    if (state == Held::kFailed) return false;
    if (state == Held::kReplaced) continue;
    auto bytes = read_all(fd.get(), static_cast<std::size_t>(held.st_size));
    if (!bytes) return false;
    const std::optional<std::string> edited = edit(std::move(*bytes));
    if (!edited) {
      RemoveAbandonedSlots(place->directory.get(), place->name, -1);
      return true;
    }
    return WriteReplacement(*place, *edited, held);  // the lock goes with fd, after the rename
  }
}

}  // namespace kav::platform::posix

// ini_posix_test.cpp - what the POSIX profile engine promises beyond Windows: concurrent writers
// lose no update, a writer killed at any moment or failed at any file call leaves the old or the
// new file and no temporary one, unchanged files are parsed once and checked with one stat, other
// processes' changes are seen, every write gives the file a later stamp, a write keeps the
// file's permission bits and symbolic link, and it goes through while other writers hold every
// fixed temporary name.  Writers and the killed processes are fork()ed children that call the
// engine directly.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <functional>
#include <set>
#include <vector>

#include "platform/io.h"
#include "platform/posix/ini/document.h"
#include "support.h"

using namespace kavtest;

namespace {

namespace pf = kav::platform;

class IniPosix : public InDirectory {
 protected:
  void SetUp() override {
    InDirectory::SetUp();
    path_ = At("test.ini");
  }
  std::string Value(const std::string& key, const std::string& path = "") const {
    char buffer[1024];
    const char* file = path.empty() ? path_.c_str() : path.c_str();
    return std::string(buffer,
                       pf::profile_get_string("s", key.c_str(), "<missing>", buffer, 1024, file));
  }
  // Runs body in a child process; returns its pid.  The child's exit status is body's result.
  template <typename Body>
  static pid_t Spawn(Body body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    return pid;
  }
  static bool ExitedCleanly(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  std::set<fs::path> Entries() const { return {fs::directory_iterator(dir_), {}}; }

  std::string path_;
};

TEST_F(IniPosix, ConcurrentWritersLoseNoUpdate) {
  constexpr int kWriters = 8, kKeys = 500;
  const auto key = [](int w, int k) { return "w" + std::to_string(w) + "k" + std::to_string(k); };
  pid_t writers[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    writers[w] = Spawn([&] {
      bool written = true;
      for (int k = 0; k < kKeys; ++k) {
        written &= pf::profile_write_string("s", key(w, k).c_str(), ("v" + key(w, k)).c_str(),
                                            path_.c_str());
      }
      return written;
    });
    ASSERT_GT(writers[w], 0);
  }
  for (pid_t pid : writers) EXPECT_TRUE(ExitedCleanly(pid));
  for (int w = 0; w < kWriters; ++w) {
    for (int k = 0; k < kKeys; ++k) ASSERT_EQ(Value(key(w, k)), "v" + key(w, k));
  }
}

// Round r moves every key from value r-1 to value r, one write per key, until it is killed; the
// file must then hold, for every key, one of the two.  Values are long so that every write
// rewrites a file of some size.
TEST_F(IniPosix, AKilledWriterLeavesTheOldOrTheNewFile) {
  constexpr int kRounds = 200, kKeys = 100;
  const std::string padding(400, 'x');
  const auto value = [&](int round) { return std::to_string(round) + ":" + padding; };
  const auto key = [](int k) { return "key" + std::to_string(k); };
  const auto fill_all = [&](int round) {
    std::string entries;
    for (int k = 0; k < kKeys; ++k) entries += key(k) + "=" + value(round) + '\0';
    entries += '\0';
    return pf::profile_write_section("s", entries.c_str(), path_.c_str());
  };
  ASSERT_TRUE(fill_all(0));
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delay_us(0, 3000);
  for (int round = 1; round <= kRounds; ++round) {
    const pid_t child = Spawn([&] {
      for (;;) {
        for (int k = 0; k < kKeys; ++k) {
          pf::profile_write_string("s", key(k).c_str(), value(round).c_str(), path_.c_str());
        }
      }
      return true;
    });
    ASSERT_GT(child, 0);
    usleep(delay_us(random));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    for (int k = 0; k < kKeys; ++k) {
      const std::string found = Value(key(k));
      ASSERT_TRUE(found == value(round - 1) || found == value(round))
          << "round " << round << " " << key(k) << " = " << found.substr(0, 20);
    }
    ASSERT_TRUE(fill_all(round));
    ASSERT_EQ(Entries(), std::set<fs::path>{path_});  // the dead writer's temporary is gone
  }
}

// Each file call of a write fails in turn, with EIO and with EINTR (a call the write retries): the
// directory then holds the old file or the new one and no temporary, and the result says which,
// but for one call: the flush of the directory after the rename, which fails the write (the new
// file is not known to survive a crash) with the new file in place.
TEST_F(IniPosix, AFailedFileCallLeavesTheOldOrTheNewFile) {
  const std::string old_text = "[s]\r\nk=old\r\nj=1\r\n";
  const struct {
    const char* before;  // null: no file
    std::function<bool(const char*)> write;
    const char* after;
  } cases[] = {
      {old_text.c_str(), [](const char* f) { return pf::profile_write_string("s", "k", "new", f); },
       "[s]\r\nk=new\r\nj=1\r\n"},
      {nullptr, [](const char* f) { return pf::profile_write_section("s", "k=new\0", f); },
       "[s]\r\nk=new\r\n"}};
  for (const auto& c : cases) {
    // A failed first write may leave the file it created, empty, and nothing else.
    const Tree before{{"test.ini", c.before ? c.before : ""}}, after{{"test.ini", c.after}};
    for (const int error : {EIO, EINTR}) {
      const auto write = [&] {
        fs::remove(path_);
        if (c.before != nullptr) WriteFile(path_, c.before);
        return c.write(path_.c_str());
      };
      int unflushed = 0;
      SweepFileCalls(error, write, [&](bool written, bool) {
        Tree now = Snapshot(dir_);
        now.try_emplace("test.ini");
        if (!written && now == after) {
          ++unflushed;
          return;
        }
        ASSERT_EQ(now, written ? after : before) << error;
      });
      EXPECT_EQ(unflushed, error == EIO ? 1 : 0) << error;
    }
  }
}

// A file dated in the future, even after 2038 (when a 32-bit time_t ends; 32-bit builds use a
// 64-bit one), is read and written; writes quicker than the file system's clock, of values of one
// size, still give every version a later modification time than the one before.
TEST_F(IniPosix, EveryWriteStampsALaterModificationTime) {
  ASSERT_TRUE(pf::profile_write_string("s", "k", "a", path_.c_str()));
  const timespec year2040[2] = {{0, UTIME_OMIT}, {2208988800, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), year2040, 0), 0);
  EXPECT_EQ(getfiletype(path_.c_str()), 1);
  EXPECT_EQ(Value("k"), "a");
  struct stat before, after;
  ASSERT_EQ(stat(path_.c_str(), &before), 0);
  for (int i = 0; i < 20; ++i) {
    const char* value = i % 2 == 0 ? "b" : "a";
    ASSERT_TRUE(pf::profile_write_string("s", "k", value, path_.c_str()));
    ASSERT_EQ(stat(path_.c_str(), &after), 0);
    ASSERT_GT(std::pair(after.st_mtim.tv_sec, after.st_mtim.tv_nsec),
              std::pair(before.st_mtim.tv_sec, before.st_mtim.tv_nsec))
        << i;
    ASSERT_EQ(Value("k"), value);
    before = after;
  }
}

TEST_F(IniPosix, UnchangedFilesAreParsedOnce) {
  ASSERT_TRUE(pf::profile_write_string("s", "k", "one", path_.c_str()));
  EXPECT_EQ(Value("k"), "one");
  const uint64_t parses = kav::platform::posix::ini::profile_parse_count();
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(Value("k"), "one");
  EXPECT_EQ(kav::platform::posix::ini::profile_parse_count(), parses);

  // Another process rewrites the file in place: same inode, same size, another time stamp.
  const pid_t child = Spawn([&] {
    FILE* file = std::fopen(path_.c_str(), "r+");
    if (file == nullptr) return false;
    const bool written = std::fputs("[s]\r\nk=two\r\n", file) >= 0;
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    return std::fclose(file) == 0 && written && utimensat(AT_FDCWD, path_.c_str(), times, 0) == 0;
  });
  ASSERT_TRUE(ExitedCleanly(child));
  EXPECT_EQ(Value("k"), "two");
  EXPECT_EQ(kav::platform::posix::ini::profile_parse_count(), parses + 1);
  fs::remove(path_);
  EXPECT_EQ(Value("k"), "<missing>");
}

// A read by full path checks an unchanged file with one stat and no other call, and sees what
// another process does to the file: a replacement by rename that keeps the size and the times
// while a hard link keeps the old file (which a held descriptor would still find linked), and an
// in-place rewrite to another size with the old times put back.
TEST_F(IniPosix, AReadChecksWithOneStatAndSeesOtherProcessesChanges) {
  namespace io = kav::platform::io;
  ASSERT_TRUE(pf::profile_write_string("s", "k", "one", path_.c_str()));
  EXPECT_EQ(Value("k"), "one");
  io::fail_call("none", LONG_MAX, EIO);  // counts every call and fails none
  EXPECT_EQ(Value("k"), "one");
  EXPECT_EQ(io::calls_made(), 1);
  io::fail_call("stat", 1, EIO);  // that call is the stat
  EXPECT_EQ(Value("k"), "<missing>");
  io::fail_call(nullptr, 0, 0);
  EXPECT_EQ(Value("k"), "one");  // cached again

  struct stat cached;
  const auto rewrite = [&](const std::string& path, const char* mode, const char* text) {
    FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr) return false;
    const bool written = std::fputs(text, file) >= 0;
    const timespec times[2] = {cached.st_atim, cached.st_mtim};
    return std::fclose(file) == 0 && written && utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
  };
  ASSERT_EQ(stat(path_.c_str(), &cached), 0);
  ASSERT_TRUE(ExitedCleanly(Spawn([&] {
    const std::string aside = path_ + ".new";
    return link(path_.c_str(), (path_ + ".old").c_str()) == 0 &&
           rewrite(aside, "w", "[s]\r\nk=two\r\n") && rename(aside.c_str(), path_.c_str()) == 0;
  })));
  EXPECT_EQ(Value("k"), "two");
  ASSERT_EQ(stat(path_.c_str(), &cached), 0);
  ASSERT_TRUE(ExitedCleanly(Spawn([&] { return rewrite(path_, "r+", "[s]\r\nk=three\r\n"); })));
  EXPECT_EQ(Value("k"), "three");
}

// A write through a link replaces the file it leads to, with its permission bits, and removes
// that file's temporaries that no living writer holds; it leaves none of its own.  Its own
// temporary takes the first slot that no living writer holds.
TEST_F(IniPosix, AWriteKeepsLinksAndPermissionsAndRemovesOnlyDeadWritersTemporaries) {
  const std::string real = (dir_ / "real.ini").string();
  ASSERT_TRUE(pf::profile_write_string("s", "k", "1", real.c_str()));
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  fs::create_symlink(real, path_);
  const fs::path live = dir_ / ".real.ini.kavtmp.0", dead = dir_ / ".real.ini.kavtmp.2",
                 other = dir_ / ".other.ini.kavtmp.3";
  for (const fs::path& name : {dead, live, other}) WriteFile(name, "partial");
  const int held = open(live.c_str(), O_RDONLY | O_CLOEXEC);  // a writer still at work
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  ASSERT_TRUE(pf::profile_write_string("s", "k", "2", path_.c_str()));
  EXPECT_EQ(Entries(), (std::set<fs::path>{real, path_, live, other}));
  WriteFile(dead, "partial");  // a write that changes nothing cleans up too
  ASSERT_TRUE(pf::profile_write_string("s", "k", "2", path_.c_str()));
  close(held);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(Value("k", real), "2");
  EXPECT_EQ(ReadFile(live), "partial");
  struct stat status;
  ASSERT_EQ(stat(real.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(), (std::set<fs::path>{real, path_, live, other}));
}

// With every fixed temporary name held by a living writer, a write goes through under a fresh
// name and leaves nothing of its own; the next write clears the names once their writers are
// gone.  A file system that cannot flush directories (EINVAL) takes the write.
TEST_F(IniPosix, AWriteGoesThroughWithEverySlotHeldAndWithoutDirectoryFlushes) {
  ASSERT_TRUE(pf::profile_write_string("s", "k", "1", path_.c_str()));
  std::vector<int> writers;
  std::set<fs::path> entries{path_};
  for (int slot = 0; slot < 4; ++slot) {
    const fs::path name = dir_ / (".test.ini.kavtmp." + std::to_string(slot));
    WriteFile(name, "partial");
    writers.push_back(open(name.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(flock(writers.back(), LOCK_EX), 0);
    entries.insert(name);
  }
  ASSERT_TRUE(pf::profile_write_string("s", "k", "2", path_.c_str()));
  EXPECT_EQ(Value("k"), "2");
  EXPECT_EQ(Entries(), entries);
  for (const int fd : writers) close(fd);

  kav::platform::io::fail_call("fsync", 2, EINVAL);  // the second is the directory's
  EXPECT_TRUE(pf::profile_write_string("s", "k", "3", path_.c_str()));
  kav::platform::io::fail_call(nullptr, 0, 0);
  EXPECT_EQ(Value("k"), "3");
  EXPECT_EQ(Entries(), std::set<fs::path>{path_});
}

TEST_F(IniPosix, BareNamesAndNullAreInTheWindowsDirectory) {
  const std::string saved = std::getenv("SYSTEMROOT") != nullptr ? std::getenv("SYSTEMROOT") : "";
  SetEnv("SYSTEMROOT", dir_.string());
  EXPECT_TRUE(pf::profile_write_string("s", "k", "bare", "bare.ini"));
  EXPECT_TRUE(pf::profile_write_string("s", "k", "null", nullptr));
  SetEnv("SYSTEMROOT", saved);
  EXPECT_EQ(Value("k", (dir_ / "bare.ini").string()), "bare");
  EXPECT_EQ(Value("k", (dir_ / "win.ini").string()), "null");
}

}  // namespace

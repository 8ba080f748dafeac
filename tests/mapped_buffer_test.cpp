// mapped_buffer_test.cpp - the file-backed scratch buffers and the free-space query
// (system/mapped_buffer.cpp).  Every test points QELTMP at a fresh directory and clears TMP, which
// Windows' _tempnam would prefer; Wine's _tempnam makes other names (below).

#include <set>

#include "support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace kavtest;

namespace {

constexpr uint32_t kFailed = 0xFFFFFFFFu;

#if defined(_WIN32)
unsigned long ThreadId() { return GetCurrentThreadId(); }
#else
unsigned long ThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }
#endif

std::string Pattern(uint32_t size) {
  std::string bytes(size, '\0');
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
  return bytes;
}

class MappedBufferTest : public InDirectory {
 protected:
  void SetUp() override {
    InDirectory::SetUp();
    SetEnv("QELTMP", dir_.string());
    SetEnv("TMP", "");
  }
};

TEST_F(MappedBufferTest, BufferIsAMappedTemporaryFileUntilDeleted) {
  MappedBuffer* buffers[2] = {CreateMappedBuffer(4096), CreateMappedBuffer(100000)};
  // Wine's _tempnam makes the name with GetTempFileNameA, which keeps 3 characters of a prefix.
  const std::string prefix =
      kav::platform::wine_version() ? "~mm" : "~mmft_" + std::to_string(ThreadId()) + "_";
  std::set<std::string> names;
  for (MappedBuffer* buffer : buffers) {
    ASSERT_NE(buffer, nullptr);
    const fs::path file = buffer->file_name;
    names.insert(file.string());
    EXPECT_TRUE(fs::equivalent(file.parent_path(), dir_)) << file;
    EXPECT_EQ(file.filename().string().rfind(prefix, 0), 0u) << file;
    EXPECT_EQ(fs::file_size(file), buffer->size);
    std::memcpy(buffer->view, Pattern(buffer->size).data(), buffer->size);
  }
  EXPECT_EQ(names.size(), 2u);
#if !defined(_WIN32)
  // The view is the file: its bytes are there to read; the file is private and close-on-exec.
  EXPECT_EQ(ReadFile(buffers[1]->file_name), Pattern(100000));
  struct stat status;
  ASSERT_EQ(stat(buffers[0]->file_name, &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(buffers[0]->file));
  EXPECT_GT(fd, 2);
  EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
#endif
  for (MappedBuffer* buffer : buffers) DeleteMappedBuffer(buffer);
  for (const std::string& name : names) EXPECT_FALSE(fs::exists(name)) << name;
  DeleteMappedBuffer(nullptr);
}

TEST_F(MappedBufferTest, FailuresLeaveNothingBehind) {
  const long descriptors = OpenDescriptors();  // refused allocations: see the fault sweeps
  EXPECT_EQ(CreateMappedBuffer(0), nullptr);
  // No QELTMP, one too long, and (on POSIX: Windows' _tempnam picks another) a missing one.
  std::vector<std::string> directories{"", std::string(256, 'd')};
  if (kPosix) directories.push_back((dir_ / "missing").string());
  for (const std::string& directory : directories) {
    SetEnv("QELTMP", directory);
    EXPECT_EQ(CreateMappedBuffer(4096), nullptr) << directory.substr(0, 40);
  }
  EXPECT_TRUE(fs::is_empty(dir_));
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST(DiskFreeSpace, FreeMegabytesOfThePathsDisk) {
  EXPECT_EQ(GetDiskFreeSpaceInMB(nullptr), kFailed);
  EXPECT_EQ(GetDiskFreeSpaceInMB(""), kFailed);
  // Other programs write to the disk meanwhile: figures agree within 256 MB.
  const fs::path temp = fs::temp_directory_path();
  const uint32_t here = GetDiskFreeSpaceInMB(temp.string().c_str());
  EXPECT_NE(here, kFailed);
#if defined(_WIN32)
  const std::string drive = temp.string().substr(0, 2);  // "C:" alone names the drive
  EXPECT_NEAR(GetDiskFreeSpaceInMB(drive.c_str()), here, 256);
  EXPECT_NEAR(GetDiskFreeSpaceInMB((drive + "\\no\\such\\file").c_str()), here, 256);
  EXPECT_EQ(GetDiskFreeSpaceInMB("Q:\\"), kFailed);  // a drive that is not there
#else
  struct statvfs status;
  ASSERT_EQ(statvfs(temp.c_str(), &status), 0);
  const double whole = static_cast<double>(status.f_bfree) * status.f_frsize / 1048576;
  EXPECT_NEAR(here, whole, 256);  // all free blocks, also those kept for root
  EXPECT_NEAR(GetDiskFreeSpaceInMB((temp / "no/such/file").c_str()), here, 256);
#endif
}

#if !defined(_WIN32)
uint32_t FreeMegabytes(const char* path) {
  struct statvfs status;
  if (statvfs(path, &status) != 0) return 0;
  return static_cast<uint32_t>(static_cast<double>(status.f_bfree) * status.f_frsize / 1048576);
}

// Runs check in a child process, after dropping root's rights when it has them; the child must
// end by itself (no signal) and check must hold.
template <typename Check>
void InChild(bool unprivileged, Check check) {
  const pid_t child = fork();
  if (child == 0) {
    if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    bool held = false;
    try {
      held = check();
    } catch (...) {  // the rest of the suite is not to run in the child
    }
    _exit(held ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Any path that cannot be is answered for its nearest existing parent: one that is missing, runs
// through a file, has a name or a length beyond the system's limits, or passes a directory that
// the caller may not search (tried as an unprivileged user).
TEST_F(MappedBufferTest, FreeSpaceClimbsOutOfEveryPathThatCannotBe) {
  const uint32_t here = FreeMegabytes(dir_.c_str());
  EXPECT_NEAR(GetDiskFreeSpaceInMB("/etc/passwd/x"), FreeMegabytes("/etc/passwd"), 256);
  std::string deep = dir_.string();
  while (deep.size() < 5000) deep += "/a";
  const std::string paths[] = {(dir_ / std::string(300, 'n')).string(),
                               (dir_ / std::string(300, 'n') / "x").string(), deep};
  for (const std::string& path : paths)
    EXPECT_NEAR(GetDiskFreeSpaceInMB(path.c_str()), here, 256) << path.substr(0, 80);
  const fs::path locked = dir_ / "locked";
  fs::create_directory(locked);
  fs::permissions(dir_, fs::perms::all);
  fs::permissions(locked, fs::perms::none);
  const std::string inside = (locked / "x" / "y").string();
  InChild(true, [&] {
    const uint32_t free = GetDiskFreeSpaceInMB(inside.c_str());
    return free != kFailed && free + 256 > here && free < here + 256;
  });
  fs::permissions(locked, fs::perms::owner_all);
}

// Resource limits make the calls fail with their results, never end the caller, and leave no
// file behind: a file-size limit below the buffer's size (which raises SIGXFSZ), too few
// descriptors, too little address space (not under the address sanitizer, which reserves
// terabytes).  The copies and appends of the file family meet the file-size limit the same way.
TEST_F(MappedBufferTest, ResourceLimitsMakeCallsFailNotEndTheCaller) {
  const auto limited = [](int resource, rlim_t value) {
    rlimit limit{};
    getrlimit(resource, &limit);
    limit.rlim_cur = value;
    return setrlimit(resource, &limit) == 0;
  };
  const fs::path files = dir_ / "files";
  fs::create_directory(files);
  WriteFile(files / "big", std::string(2 << 20, 'b'));
  WriteFile(files / "old", "old");
  const auto nothing_left = [&] {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir_, error))
      if (entry.path().filename().string().starts_with("~mmft_")) return false;
    return Snapshot(files).size() == 2 && ReadFile(files / "old") == "old";
  };
  const std::string big = (files / "big").string(), old = (files / "old").string();
  InChild(false, [&] {
    MappedBuffer* small = nullptr;
    const bool failed = limited(RLIMIT_FSIZE, 1 << 20) && CreateMappedBuffer(4 << 20) == nullptr &&
                        copy_file(big.c_str(), old.c_str()) == 1 &&
                        append_file(big.c_str(), old.c_str()) == 1 && nothing_left();
    small = CreateMappedBuffer(65536);
    const bool made = small != nullptr;
    DeleteMappedBuffer(small);
    return failed && made && nothing_left();
  });
  InChild(false, [&] {
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    const bool failed = limited(RLIMIT_NOFILE, 3) &&  // every descriptor from 3 on is refused
                        CreateMappedBuffer(4096) == nullptr &&
                        copy_file(old.c_str(), big.c_str()) == 1;
    setrlimit(RLIMIT_NOFILE, &saved);
    return failed && nothing_left();
  });
#if !defined(__SANITIZE_ADDRESS__)
  InChild(false, [&] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && !line.starts_with("VmSize:")) {
    }
    const rlim_t size = std::stoull(line.substr(7)) * 1024;
    return limited(RLIMIT_AS, size + (16 << 20)) && CreateMappedBuffer(256 << 20) == nullptr &&
           nothing_left();
  });
#endif
}
#endif

}  // namespace

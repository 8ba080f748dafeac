// mapped_buffer_test.cpp - the file-backed scratch buffers and the free-space query
// (system/mapped_buffer.cpp).  Every test points QELTMP at a fresh directory and clears TMP, which
// Windows' _tempnam would prefer; Wine's _tempnam makes other names (below).

#include <set>

#include "support.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
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
  EXPECT_EQ(GetDiskFreeSpaceInMB("/etc/passwd/x"), kFailed);
#endif
}

}  // namespace

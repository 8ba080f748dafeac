// profile_test.cpp - tests for profile locations, reads and writes (config/profile_location.cpp,
// config/profile_access.cpp) and their internal helpers, in the folders support.h fixes.

#include "config/profile.h"

#include "support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>

#include "platform/posix/io.h"
#endif

namespace fs = std::filesystem;

namespace {

const std::string kSep(1, kav::platform::kSeparator);
const char kOtherSep = kav::platform::kSeparator == '/' ? '\\' : '/';
const char kScratch[] = "profile_test_scratch";  // relative to the working directory
[[maybe_unused]] auto* const folders = ::testing::AddGlobalTestEnvironment(
    new kavtest::ProfileFolders(kScratch, {"reads.ini", "buffers.ini", "windir.ini", "TASMOR.ini",
                                           "server.ini", "kinds.ini", "race.ini"}));

std::string Version() {
  return std::string(QelGetVerMajor()) + "." + QelGetVerMinor() + "." + QelGetVerBuild();
}

std::string In(int location, const char* name) {
  return std::string(QelGetINIPath(location)) + name;
}

// The result and the text of a string read.
std::string Read(const char* key, const char* file, int location) {
  char out[64];
  const int result = QelGetPrivateProfileString("s", key, "def", out, sizeof out, file, location);
  return std::to_string(result) + " " + out;
}

TEST(ProfileLocation, TrailingSeparator) {
  struct Case {
    std::string path;
    int size;
    std::string expected;
  } cases[] = {{"dir" + kSep, 260, "dir" + kSep},
               {"dir", 260, "dir" + kSep},
               {"dir" + std::string(1, kOtherSep), 260, "dir" + std::string(1, kOtherSep) + kSep},
               {"abcd", 5, "abc" + kSep},  // never more than size - 1 characters
               {"abcd", 1, "abcd"},
               {"", 260, ""}};
  for (const auto& c : cases) {
    char buffer[16] = {};
    std::memcpy(buffer, c.path.c_str(), c.path.size());
    kav::config::ensure_trailing_backslash(buffer, c.size);
    EXPECT_EQ(buffer, c.expected) << c.path << " " << c.size;
  }
  kav::config::ensure_trailing_backslash(nullptr, 260);
}

TEST(ProfileLocation, Directories) {
  const std::string tail = kSep + "KAV" + kSep + "VELTRA" + kSep + Version() + kSep;
  const std::string common = QelGetINIPath(1), user = QelGetINIPath(2), windows = QelGetINIPath(0);
  EXPECT_EQ(QelGetINIPath(1), QelGetCommonAppDataPath());
  EXPECT_EQ(QelGetINIPath(2), QelGetUsersAppDataPath());
  EXPECT_EQ(QelGetINIPath(0), QelGetSystemStroagePath());
#ifndef _WIN32
  const std::string root = fs::path(std::getenv("SYSTEMROOT")).parent_path().string();
  EXPECT_EQ(common, root + "/common" + tail);
  EXPECT_EQ(user, root + "/user" + tail);
  EXPECT_EQ(windows, root + "/windows/");
#else
  EXPECT_TRUE(common.ends_with(tail) && user.ends_with(tail) && common != user) << common << user;
  EXPECT_TRUE(windows.size() >= 2 && windows.ends_with("\\") && !windows.ends_with("\\\\"))
      << windows;
#endif
  for (int location : {3, 5, -1}) EXPECT_EQ(QelGetINIPath(location), nullptr) << location;
  char out[260];
  EXPECT_STREQ(QelGetINIPathAppend(3, "a.ini", out), "a.ini");
  EXPECT_EQ(QelGetINIPathAppend(5, nullptr, out), nullptr);
  EXPECT_EQ(QelGetINIPathAppend(1, nullptr, out), common);
  EXPECT_EQ(QelGetINIPathAppend(2, "a.ini", out), user + "a.ini");
}

TEST(ProfileLocation, ProfileIds) {
  char buffer[260];
  EXPECT_EQ(QelGetAppProfileID(buffer, sizeof buffer, 1), "profile_test" + kSep + Version());
  EXPECT_EQ(QelGetAppProfileID(buffer, sizeof buffer, 0), "VELTRA" + kSep + Version());
  EXPECT_EQ(QelGetAppProfileID(buffer, 0, 0), nullptr);
  EXPECT_EQ(QelGetAppProfileID(nullptr, 260, 0), nullptr);
  char small[10];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(QelGetAppProfileID(small, 8, 0), "VELTRA" + kSep);  // kept within its size
  EXPECT_EQ(small[8], 'x');
  char id[64] = "NAME";
  EXPECT_EQ(QelFormatProfileID(id), "NAME" + kSep + Version());
  id[0] = '\0';
  EXPECT_EQ(QelFormatProfileID(id), nullptr);
  EXPECT_EQ(QelFormatProfileID(nullptr), nullptr);
}

TEST(ProfileReads, UserFileOverridesCommonKeyByKey) {
  ASSERT_EQ(QelWritePrivateProfileSection("s", "a=common_a\0b=common_b\0e=common_e\0n=12\0big=5\0",
                                          "reads.ini", 1),
            1);
  ASSERT_EQ(QelWritePrivateProfileSection("s", "a=user_a\0e=\0big=2147483647\0", "reads.ini", 2),
            1);
  EXPECT_EQ(Read("a", "reads.ini", 5), "1 user_a");
  EXPECT_EQ(Read("b", "reads.ini", 5), "1 common_b");
  EXPECT_EQ(Read("e", "reads.ini", 5), "1 ");
  EXPECT_EQ(Read("none", "reads.ini", 5), "0 def");
  EXPECT_EQ(Read("a", "reads.ini", 1), "1 common_a");
  EXPECT_EQ(QelGetPrivateProfileInt("s", "n", 7, "reads.ini", 5), 12);
  EXPECT_EQ(QelGetPrivateProfileInt("s", "big", 7, "reads.ini", 5), 5);  // 2147483647 is none
  EXPECT_EQ(QelGetPrivateProfileInt("s", "big", 7, "reads.ini", 2), 7);
  EXPECT_EQ(QelGetPrivateProfileInt("s", "big", 7, In(2, "reads.ini").c_str(), 9), 7);
}

TEST(ProfileReads, StringBuffersAndDefaults) {
  const std::string value(30, 'v');
  ASSERT_EQ(QelWritePrivateProfileString("s", "long", value.c_str(), "buffers.ini", 2), 1);
  ASSERT_EQ(QelWritePrivateProfileString("s", "k2", "2", "buffers.ini", 2), 1);
  char out[16];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(QelGetPrivateProfileString("s", "long", "", out, 10, "buffers.ini", 5), 1);
  EXPECT_EQ(std::string(out), value.substr(0, 9));
  EXPECT_EQ(out[10], 'x');
  char keep[16] = "keep it";
  EXPECT_EQ(QelGetPrivateProfileString("s", "none", keep, keep, 5, "buffers.ini", 5), 0);
  EXPECT_STREQ(keep, "keep it");
  EXPECT_EQ(QelGetPrivateProfileString("s", "none", "defaults", out, 5, "buffers.ini", 5), 0);
  EXPECT_STREQ(out, "defa");
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(QelGetPrivateProfileString("s", "none", nullptr, out, 16, "buffers.ini", 5), 0);
  EXPECT_EQ(std::string(out, 16), std::string(16, '\0'));
  char keys[64];
  EXPECT_EQ(QelGetPrivateProfileString("s", nullptr, "", keys, 64, "buffers.ini", 5), 1);
  EXPECT_EQ(std::string(keys, 9), std::string("long\0k2\0\0", 9));
}

TEST(ProfileReads, LocationsAndPaths) {
  const std::string windows_file = In(0, "windir.ini");
  ASSERT_EQ(QelWritePrivateProfileString("w", "k", "windows", windows_file.c_str(), 1), 1);
  char out[16];
  EXPECT_EQ(QelGetPrivateProfileString("w", "k", "", out, 16, "windir.ini", 0), 1);
  EXPECT_STREQ(out, "windows");
  EXPECT_EQ(QelGetPrivateProfileString("w", "k", "", out, 16, "windir.ini", 5), 0);

  const int data[2] = {3, -9};
  ASSERT_EQ(QelWritePrivateProfileStruct("t", "data", data, sizeof data, "kinds.ini", 1), 1);
  ASSERT_EQ(QelWritePrivateProfileSection("u", "x=1\0y=2\0", "kinds.ini", 1), 1);
  int back[2] = {};
  EXPECT_EQ(QelGetPrivateProfileStruct("t", "data", back, sizeof back, "kinds.ini", 5), 1);
  EXPECT_EQ(back[1], -9);
  char list[64];
  EXPECT_EQ(QelGetPrivateProfileSection("u", list, 64, "kinds.ini", 5), 1);
  EXPECT_EQ(std::string(list, 9), std::string("x=1\0y=2\0\0", 9));
  const std::string kinds = In(1, "kinds.ini");
  EXPECT_EQ(QelGetPrivateProfileSection("u", list, 64, kinds.c_str(), 2), 8);  // the count
  EXPECT_EQ(QelGetPrivateProfileSectionNames(list, 64, "kinds.ini", 5), 1);
  EXPECT_EQ(QelGetPrivateProfileSectionNames(list, 64, "kinds.ini", 2), 0);
}

TEST(ProfileWrites, PerUserProgramsAndTargets) {
  for (const char* name : {"TASMOR", "tasmor.ini", "GordaLin.InI"})
    EXPECT_EQ(kav::config::is_per_user_ini(name), 1) << name;
  for (const char* name : {"TASMOR.INI.INI", "ini", "server.ini", "xTASMOR", "TASMO"})
    EXPECT_EQ(kav::config::is_per_user_ini(name), 0) << name;
  ASSERT_EQ(QelWritePrivateProfileString("s", "k", "user", "TASMOR.ini", 1), 1);
  EXPECT_EQ(Read("k", "TASMOR.ini", 2), "1 user");
  EXPECT_FALSE(fs::exists(In(1, "TASMOR.ini")));
  char out[260];
  for (const auto& [location, target] : {std::pair{5, 1}, {0, 1}, {2, 2}}) {
    ASSERT_EQ(QelGetDestConfigFile(out, "server.ini", location), 1);
    EXPECT_EQ(out, In(target, "server.ini"));
    EXPECT_TRUE(fs::exists(out));  // created empty
  }
  EXPECT_EQ(QelGetDestConfigFile(out, "", 1), 0);
  EXPECT_EQ(QelGetDestConfigFile(out, nullptr, 1), 0);
  EXPECT_EQ(QelGetDestConfigFile(nullptr, "server.ini", 1), 0);
}

TEST(ProfileWrites, RelativePathsCreateTheirDirectories) {
  const std::string name = std::string(kScratch) + "/a\\b/app.ini";
  ASSERT_EQ(QelWritePrivateProfileString("s", "k", "v", name.c_str(), 2), 1);
  const fs::path written = fs::current_path() / kScratch / "a" / "b" / "app.ini";
  EXPECT_TRUE(fs::is_regular_file(written));
  char out[260];
  ASSERT_EQ(QelGetDestConfigFile(out, name.c_str(), 1), 1);
  EXPECT_EQ(out, written.string());
  EXPECT_EQ(Read("k", out, 1), "1 v");
  EXPECT_TRUE(fs::is_directory(QelGetINIPath(2)));  // made by the first write into it
  // Reads resolve a name that holds a backslash as writes do.
  const std::string backslashed = std::string(kScratch) + "\\e\\x.ini";
  ASSERT_EQ(QelWritePrivateProfileString("s", "k", "w", backslashed.c_str(), 1), 1);
  EXPECT_TRUE(fs::is_regular_file(fs::path(kScratch) / "e" / "x.ini"));
  EXPECT_EQ(Read("k", backslashed.c_str(), 5), "1 w");
  EXPECT_EQ(Read("k", name.c_str(), 5), "1 v");

  char text[] = "x,y";
  std::strtok(text, ",");
  kav::config::create_directory_chain((std::string(kScratch) + "\\c/d").c_str());
  EXPECT_STREQ(std::strtok(nullptr, ","), "y");
  EXPECT_TRUE(fs::is_directory(fs::path(kScratch) / "c" / "d"));
}

#ifndef _WIN32
// Another process creates and fills the profile between this write's look for the file and its
// creation of it: creating must not truncate what that process wrote.
const char* race_target = nullptr;
bool race_staged = false;
int (*real_open)(const char*, int, ...) = nullptr;

int OpenAfterAnotherWriter(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(arguments, mode_t) : 0;
  va_end(arguments);
  if (!race_staged && (flags & O_CREAT) != 0 && std::strcmp(path, race_target) == 0) {
    race_staged = true;
    const pid_t other = fork();
    if (other == 0) {
      for (int i = 0; i < 20; ++i)
        QelWritePrivateProfileString("s", ("k" + std::to_string(i)).c_str(), "x", "race.ini", 1);
      _exit(0);
    }
    waitpid(other, nullptr, 0);
  }
  return real_open(path, flags, mode);
}

TEST(ProfileWrites, CreatingNeverTruncatesAnotherWritersFile) {
  const std::string target = In(1, "race.ini");
  race_target = target.c_str();
  real_open = kav::platform::io::system_calls().open;
  kav::platform::io::system_calls().open = OpenAfterAnotherWriter;
  const int written = QelWritePrivateProfileString("s", "mine", "y", "race.ini", 1);
  kav::platform::io::system_calls().open = real_open;
  ASSERT_TRUE(race_staged);
  EXPECT_EQ(written, 1);
  for (const char* key : {"k0", "k19"}) EXPECT_EQ(Read(key, "race.ini", 1), "1 x") << key;
  EXPECT_EQ(Read("mine", "race.ini", 1), "1 y");
}
#endif

}  // namespace

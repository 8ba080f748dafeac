// profile_init_test.cpp - tests for profile initialization, setting migration and tool keys
// (config/profile_init.cpp), in the folders support.h fixes.  The versions the tests lay out lie
// below the running one (4.93.0), so its own directories never count as earlier ones; each test
// removes the version directories and files it makes.

#include <algorithm>

#include "config/profile.h"
#include "support.h"

namespace fs = std::filesystem;

namespace {

const fs::path scratch = fs::absolute("profile_init_scratch");  // files named by path
[[maybe_unused]] auto* const folders =
    ::testing::AddGlobalTestEnvironment(new kavtest::ProfileFolders(scratch.string()));

fs::path Versions(bool common) {
  using kav::platform::Folder;
  return fs::path(*kav::platform::special_folder(common ? Folder::kCommonAppData
                                                        : Folder::kUserAppData)) /
         "KAV" / "VELTRA";
}

std::string Profile(bool common, const char* version, const char* name = "app.ini") {
  return (Versions(common) / version / name).string();
}

std::string In(int location, const char* name) {
  return QelGetINIPath(location) + std::string(name);
}

std::string Read(const std::string& file, const char* section, const char* key) {
  char out[64];
  QelGetPrivateProfileString(section, key, "<none>", out, sizeof out, file.c_str(), 1);
  return out;
}

class ProfileInit : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GT(std::atoi(QelGetVerMajor()), 2); }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& file : files_) fs::remove(file, ignored);
    for (const auto& directory : directories_) fs::remove_all(directory, ignored);
  }
  // Writes text as the profile name of a version, or, with a null name, makes the version's
  // directory alone.
  void Place(bool common, const char* version, const char* name = "app.ini",
             const char* text = "[s]\r\nk=v\r\n") {
    const fs::path directory = Versions(common) / version;
    if (!fs::exists(directory)) directories_.push_back(directory);
    fs::create_directories(directory);
    if (name != nullptr) Write(directory / name, text);
  }
  void Write(const fs::path& file, const char* text) {
    files_.push_back(file);
    std::ofstream(file, std::ios::binary) << text;
  }
  void Track(const std::string& file) { files_.push_back(file); }

 private:
  std::vector<fs::path> files_, directories_;
};

TEST_F(ProfileInit, PreviousProfileIsAnEarlierVersionDirectory) {
  for (const char* version : {"1.5.3", "1.5.4", "1.6.0", "2.0.0", "1.4", "0..7", ".1.2", "1.1"})
    Place(true, version);
  for (const char* file : {"1.4.1", "1.3.2", "0.8.3"}) Write(Versions(true) / file, "a file");
  char out[260] = "untouched";
  EXPECT_EQ(QelFindPreviousProfile(out, "app.ini", 1, 5, 3, 1), 0);
  EXPECT_STREQ(out, "untouched");
  Place(true, "1.2.9");
  Place(false, "0.9.9");
  EXPECT_EQ(QelFindPreviousProfile(out, "app.ini", 1, 5, 3, 1), 1);
  EXPECT_EQ(out, Profile(true, "1.2.9"));
  EXPECT_EQ(QelFindPreviousProfile(out, "app.ini", 1, 5, 3, 0), 1);
  EXPECT_EQ(out, Profile(false, "0.9.9"));
  EXPECT_EQ(QelFindPreviousProfile(out, "other.ini", 1, 5, 3, 1), 0);
  EXPECT_EQ(QelCheckProfileExists("app.ini", 0, 9, 9, 0), 1);
  EXPECT_EQ(QelCheckProfileExists("app.ini", 0, 9, 9, 1), 0);
  EXPECT_EQ(QelCheckProfileExists("", 1, 2, 9, 1), 0);
  EXPECT_EQ(QelCheckProfileExists(nullptr, 1, 2, 9, 1), 0);
}

TEST_F(ProfileInit, PreviousProfileLooksOnlyAtTheFirstCandidateListed) {
  const std::vector<std::string> candidates = {"1.0.5", "1.1.0", "1.2.0", "..1.2...0.x", "1.3.0"};
  for (const auto& version : candidates) Place(true, version.c_str(), nullptr);
  Place(true, "1.2.0");  // the only one with the file, also for "..1.2...0.x"
  const auto entries = kav::platform::find_entries((Versions(true) / "*").string());
  ASSERT_TRUE(entries);
  std::string first;
  for (const auto& entry : *entries) {
    if (first.empty() && std::count(candidates.begin(), candidates.end(), entry.name))
      first = entry.name;
  }
  char out[260];
  EXPECT_EQ(QelFindPreviousProfile(out, "app.ini", 1, 5, 0, 1),
            first.find("1.2") != std::string::npos ? 1 : 0)
      << first;
}

TEST_F(ProfileInit, PreviousProfile2CountsDownInTheCommonRoot) {
  for (const char* version : {"1.999.999", "1.5.998", "1.5.5", "1.4.999"}) Place(true, version);
  Place(false, "1.5.999");
  struct Case {
    int major, minor, build;
    const char* found;
  } cases[] = {{1, 6, 0, "1.5.998"}, {1, 5, 998, "1.5.998"}, {1, 5, 997, "1.5.5"},
               {1, 5, 4, "1.4.999"}, {2, 0, 0, "1.999.999"}, {0, 0, 3, nullptr}};
  for (const auto& c : cases) {
    char out[260] = "";
    const int result = QelFindPreviousProfile2(out, "app.ini", c.major, c.minor, c.build);
    EXPECT_EQ(result, c.found != nullptr ? 1 : 0) << c.major << "." << c.minor << "." << c.build;
    if (c.found != nullptr) {
      EXPECT_EQ(out, Profile(true, c.found));
    }
  }
  char out[260];
  EXPECT_EQ(QelFindPreviousProfile2(out, nullptr, 1, 5, 998), 0);
  EXPECT_EQ(QelFindPreviousProfile2(nullptr, "app.ini", 1, 5, 998), 0);
}

TEST_F(ProfileInit, InitializeCopiesWithoutOverwritingAndStripsUserEnvironment) {
  const char text[] =
      "[Environment]\r\nQELTMP=t\r\nLOGFILE=l\r\nTREVANE=r\r\nOTHER=o\r\n[s]\r\nk=v\r\n";
  Place(true, "1.2.3", "init.ini", text);
  Place(false, "1.2.3", "init.ini", text);
  const std::string common = In(1, "init.ini"), user = In(2, "init.ini");
  Track(common);
  Track(user);
  ASSERT_EQ(QelInitializeProfile("init.ini"), 1);
  EXPECT_EQ(Read(common, "Environment", "LOGFILE"), "l");
  for (const char* key : {"QELTMP", "LOGFILE", "TREVANE"})
    EXPECT_EQ(Read(user, "Environment", key), "<none>") << key;
  EXPECT_EQ(Read(user, "Environment", "OTHER"), "o");
  ASSERT_EQ(QelWritePrivateProfileString("s", "k", "common", common.c_str(), 1), 1);
  ASSERT_EQ(QelWritePrivateProfileString("s", "k", "user", user.c_str(), 2), 1);
  ASSERT_EQ(QelWritePrivateProfileString("Environment", "TREVANE", "x", user.c_str(), 2), 1);
  ASSERT_EQ(QelInitializeProfile("init.ini"), 1);
  EXPECT_EQ(Read(common, "s", "k"), "common");
  EXPECT_EQ(Read(user, "s", "k"), "user");
  EXPECT_EQ(Read(user, "Environment", "TREVANE"), "<none>");
}

TEST_F(ProfileInit, InitializeNamesAndTheWindowsDirectory) {
  Place(true, "1.2.3", "path.ini");
  Track(In(1, "path.ini"));
  EXPECT_EQ(QelInitializeProfile("no-such-dir/sub\\path.ini"), 1);
  EXPECT_TRUE(fs::exists(In(1, "path.ini")));
  EXPECT_FALSE(fs::exists(In(2, "path.ini")));  // no earlier per-user profile
  for (const char* none : {"", "sub/", "absent.ini"}) EXPECT_EQ(QelInitializeProfile(none), 0);
  EXPECT_EQ(QelInitializeProfile(nullptr), 0);
  EXPECT_FALSE(fs::exists(In(1, "absent.ini")));

  Write(In(0, "kavinit_win.ini"), "[s]\r\nk=windows\r\n");
  Place(false, "1.2.3", "kavinit_win.ini");  // not looked for: the common search found nothing
  Track(In(1, "kavinit_win.ini"));
  Track(In(2, "kavinit_win.ini"));
  EXPECT_EQ(QelInitializeProfile("kavinit_win.ini"), 1);
  EXPECT_EQ(Read(In(1, "kavinit_win.ini"), "s", "k"), "windows");
  EXPECT_FALSE(fs::exists(In(2, "kavinit_win.ini")));
}

TEST_F(ProfileInit, MigrateWritesByModeAndPresence) {
  struct Case {
    const char* source;  // the source's value, null when missing
    bool in_dest;
    int mode;
    const char* def;
    int result;
    const char* after;
  } cases[] = {{"src", false, 0, "d", 1, "src"},    {"src", true, 0, "d", 1, "src"},
               {"src", false, 1, "d", 1, "src"},    {"src", true, 1, "d", 0, "dst"},
               {"src", false, 2, "d", 0, "<none>"}, {"src", true, 2, "d", 1, "src"},
               {"src", true, 3, "d", 0, "dst"},     {nullptr, false, 0, "d", 1, "d"},
               {nullptr, true, 0, nullptr, 1, ""},  {kav::config::kNoValue, true, 2, "d", 1, "d"}};
  int n = 0;
  fs::create_directory(scratch);
  for (const auto& c : cases) {
    const std::string source = (scratch / ("src" + std::to_string(n))).string();
    const std::string dest = (scratch / ("dst" + std::to_string(n++))).string();
    Write(source, c.source != nullptr ? (std::string("[s]\r\nk=") + c.source).c_str() : "[s]\r\n");
    Write(dest, c.in_dest ? "[s]\r\nk=dst\r\n" : "[s]\r\n");
    EXPECT_EQ(QelProfileSettingMigrate("s", "k", c.def, source.c_str(), dest.c_str(), c.mode),
              c.result)
        << n;
    EXPECT_EQ(Read(dest, "s", "k"), c.after) << n;
  }
  const std::string file = (scratch / "src0").string();
  EXPECT_EQ(QelProfileSettingMigrate("s", "k", "d", file.c_str(), "", 0), 0);
  EXPECT_EQ(QelProfileSettingMigrate("", "k", "d", file.c_str(), file.c_str(), 0), 0);
}

TEST_F(ProfileInit, UpdateWritesByModeAndPresence) {
  Track(In(1, "update.ini"));
  for (const char* key : {"p0", "p1", "p2", "p7", "gone"})
    ASSERT_EQ(QelWritePrivateProfileString("s", key, "old", "update.ini", 1), 1);
  ASSERT_EQ(QelWritePrivateProfileString("s", "sentinel", kav::config::kNoValue, "update.ini", 1),
            1);
  struct Case {
    const char* key;
    int mode;
    int result;
    const char* after;
  } cases[] = {{"p0", 0, 1, "new"}, {"m0", 0, 1, "new"},     {"p1", 1, 0, "old"},
               {"m1", 1, 1, "new"}, {"p2", 2, 1, "new"},     {"m2", 2, 0, "<none>"},
               {"p7", 7, 0, "old"}, {"m7", -1, 0, "<none>"}, {"sentinel", 1, 1, "new"}};
  for (const auto& c : cases) {
    EXPECT_EQ(QelProfileSettingUpdate("s", c.key, "new", "update.ini", c.mode, 5), c.result)
        << c.key;
    EXPECT_EQ(Read(In(1, "update.ini"), "s", c.key), c.after) << c.key;
  }
  EXPECT_EQ(QelProfileSettingUpdate("s", "gone", nullptr, "update.ini", 2, 1), 1);
  EXPECT_EQ(Read(In(1, "update.ini"), "s", "gone"), "<none>");
  EXPECT_EQ(QelProfileSettingUpdate("s", "", "new", "update.ini", 0, 1), 0);
}

TEST_F(ProfileInit, ToolKeys) {
  Track(In(1, "tools.ini"));
  ASSERT_EQ(QelWritePrivateProfileSection("Tools", "1=alpha tool\0003=Beta\0x=gamma\0-9=delta\0",
                                          "tools.ini", 1),
            1);
  char out[1024];
  EXPECT_EQ(QelGetNextToolKey(out, "tools.ini", 5), 4);
  EXPECT_STREQ(out, "4");
  for (auto [text, key] : {std::pair{"ta", "3"}, {"amm", "x"}, {"a", "1"}, {"lt", "-9"}}) {
    EXPECT_EQ(QelFindToolKey(out, text, "tools.ini", 5), 1) << text;
    EXPECT_STREQ(out, key);
  }
  EXPECT_EQ(QelFindToolKey(out, "beta", "tools.ini", 5), 0);  // case matters
  EXPECT_EQ(QelFindToolKey(out, "a", "missing.ini", 5), 0);
  EXPECT_EQ(QelGetNextToolKey(out, "missing.ini", 5), 1);
  EXPECT_STREQ(out, "1");
  EXPECT_EQ(QelGetNextToolKey(nullptr, "tools.ini", 5), -1);
  EXPECT_EQ(QelGetNextToolKey(out, "", 5), -1);
  EXPECT_EQ(QelFindToolKey(nullptr, "a", "tools.ini", 5), 0);
}

}  // namespace

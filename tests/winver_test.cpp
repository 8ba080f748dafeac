// winver_test.cpp - kav_getwinver: the name table row by row, and what the running system
// reports.  On POSIX that is uname's answer.  In the Windows build, CTest runs copies of this
// program under Wine with the Windows version set for each copy in the prefix
// (HKCU\Software\Wine\AppDefaults\<copy>.exe\Version), and KAV_WINVER_CASE names the version.

#include "system/winver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kavutil.h"

#if !defined(_WIN32)
#include <sys/utsname.h>
#endif

namespace {

struct Row {
  std::uint32_t platform, major, minor, suite, product;
  const char *name;  // null: the caller's buffer is left as it was
};

TEST(WindowsVersionName, EveryRowOfTheTable) {
  const Row rows[] = {
      {0, 3, 10, 0, 0, "32"},      {1, 4, 0, 0, 0, "95"},       {1, 4, 10, 0, 0, "98"},
      {1, 4, 90, 0, 0, "ME"},      {1, 4, 3, 0, 0, nullptr},    {1, 5, 0, 0, 0, nullptr},
      {2, 5, 0, 0, 1, "2K"},       {2, 5, 1, 0x200, 1, "XP"},   {2, 5, 1, 0x300, 1, "XP"},
      {2, 5, 1, 0x100, 1, "XPP"},  {2, 5, 2, 0, 3, "2K3"},      {2, 6, 0, 0, 1, "Vista "},
      {2, 6, 0, 0, 3, "2k8 "},     {2, 6, 0, 0, 2, "2k8 "},     {2, 6, 1, 0, 1, "Windows 7 "},
      {2, 6, 1, 0, 3, "2008 R2 "}, {2, 6, 1, 0, 0, "2008 R2 "}, {2, 6, 2, 0, 1, nullptr},
      {2, 6, 3, 0, 1, nullptr},    {2, 4, 0, 0, 1, "NT"},       {2, 3, 51, 0, 1, "NT"},
      {2, 5, 3, 0, 1, "NT"},       {2, 10, 0, 0, 1, "NT"},      {3, 10, 0, 0, 1, ""},
  };
  for (const Row &r : rows) {
    const char *name = kav::windows_version_name(r.platform, r.major, r.minor, r.suite, r.product);
    const std::string row = std::to_string(r.platform) + " " + std::to_string(r.major) + "." +
                            std::to_string(r.minor) + " suite " + std::to_string(r.suite) +
                            " product " + std::to_string(r.product);
    if (r.name == nullptr) {
      EXPECT_EQ(name, nullptr) << row;
    } else {
      ASSERT_NE(name, nullptr) << row;
      EXPECT_STREQ(name, r.name) << row;
    }
  }
}

TEST(KavGetwinver, NullEverywhereStillSucceeds) {
  EXPECT_EQ(kav_getwinver(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
}

struct Expected {
  std::string name;  // "" for a name left as it was
  std::uint32_t major, minor, build, sp_major, sp_minor;
};

#if defined(_WIN32)
// What Wine 8.0 reports for each version setting.  Its "win7" is a server (product type 3) and
// its "win2008r2" a workstation: its table of versions lists those two the other way round from
// its list of names.  Its XP has no personal-edition suite bit.  Without a setting, the prefix's
// own registry gives Windows 7 as a workstation.
Expected ExpectedHere() {
  const char *setting = std::getenv("KAV_WINVER_CASE");
  const std::string version = setting == nullptr ? "" : setting;
  if (version == "winxp") return {"XPP", 5, 1, 2600, 3, 0};
  if (version == "win7") return {"2008 R2 ", 6, 1, 7601, 1, 0};
  if (version == "win2008r2") return {"Windows 7 ", 6, 1, 7601, 1, 0};
  if (version == "win8") return {"", 6, 2, 9200, 0, 0};
  if (version == "vista") return {"Vista ", 6, 0, 6002, 2, 0};
  if (version == "win98") return {"98", 4, 10, 0x40A08AE, 0, 0};
  if (version == "nt40") return {"NT", 4, 0, 1381, 6, 0};
  return {"Windows 7 ", 6, 1, 7601, 1, 0};
}
#else
// The system's own name and the first three numbers of its release; no service packs.
Expected ExpectedHere() {
  utsname system{};
  EXPECT_EQ(uname(&system), 0);
  Expected expected{std::string(system.sysname).substr(0, 10), 0, 0, 0, 0, 0};
  std::sscanf(system.release, "%u.%u.%u", &expected.major, &expected.minor, &expected.build);
  return expected;
}
#endif

TEST(KavGetwinver, ReportsTheRunningSystem) {
  const Expected expected = ExpectedHere();
  char name[32];
  std::memset(name, '#', sizeof name);
  std::uint32_t numbers[5] = {~0u, ~0u, ~0u, ~0u, ~0u};
  ASSERT_EQ(kav_getwinver(name, &numbers[0], &numbers[1], &numbers[2], &numbers[3], &numbers[4]),
            1);
  if (expected.name.empty()) {
    EXPECT_EQ(std::string(name, sizeof name), std::string(sizeof name, '#'));
  } else {
    EXPECT_EQ(std::string(name), expected.name);
    // Nothing past the name's NUL, and never more than 11 bytes.
    EXPECT_EQ(std::string(name + expected.name.size() + 1, sizeof name - expected.name.size() - 1),
              std::string(sizeof name - expected.name.size() - 1, '#'));
    EXPECT_LE(expected.name.size(), 10u);
  }
  EXPECT_EQ(numbers[0], expected.major);
  EXPECT_EQ(numbers[1], expected.minor);
  EXPECT_EQ(numbers[2], expected.build);
  EXPECT_EQ(numbers[3], expected.sp_major);
  EXPECT_EQ(numbers[4], expected.sp_minor);
}

}  // namespace

// winver_test.cpp - kav_getwinver: the name table row by row, and what the running system
// reports: uname's answer on POSIX; in the Windows build, copies of this program run under Wine
// with the version set for each copy in the prefix, which KAV_WINVER_CASE names.

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

TEST(WindowsVersionName, EveryRowOfTheTable) {
  struct Row {
    std::uint32_t platform, major, minor, suite, product;
    const char *name;  // null: the caller's buffer is left as it was
  };
  const Row rows[] = {
      {0, 3, 10, 0, 0, "32"},        {1, 4, 0, 0, 0, "95"},       {1, 4, 10, 0, 0, "98"},
      {1, 4, 90, 0, 0, "ME"},        {1, 4, 3, 0, 0, nullptr},    {1, 5, 0, 0, 0, nullptr},
      {2, 5, 0, 0, 1, "2K"},         {2, 5, 1, 0x300, 1, "XP"},   {2, 5, 1, 0x100, 1, "XPP"},
      {2, 5, 2, 0, 3, "2K3"},        {2, 6, 0, 0, 1, "Vista "},   {2, 6, 0, 0, 2, "2k8 "},
      {2, 6, 1, 0, 1, "Windows 7 "}, {2, 6, 1, 0, 0, "2008 R2 "}, {2, 6, 2, 0, 1, nullptr},
      {2, 6, 3, 0, 1, nullptr},      {2, 4, 0, 0, 1, "NT"},       {2, 5, 3, 0, 1, "NT"},
      {2, 10, 0, 0, 1, "NT"},        {3, 10, 0, 0, 1, ""},
  };
  for (const Row &r : rows) {
    const char *name =
        kav::system::windows_version_name(r.platform, r.major, r.minor, r.suite, r.product);
    EXPECT_EQ(std::string(name ? name : "(none)"), std::string(r.name ? r.name : "(none)"))
        << r.platform << " " << r.major << "." << r.minor << " " << r.suite << " " << r.product;
  }
}

struct Expected {
  std::string name;  // "" where the name is left as it was
  std::uint32_t numbers[5];
};

#if defined(_WIN32)
// What Wine 8.0 reports for each version setting: "win7" as a server and "win2008r2" as a
// workstation (its version table has the two the other way round from its list of names), XP
// without the personal-edition suite bit; with no setting, the prefix's Windows 7 workstation.
Expected ExpectedHere() {
  const char *setting = std::getenv("KAV_WINVER_CASE");
  const std::string version = setting == nullptr ? "" : setting;
  if (version == "winxp") return {"XPP", {5, 1, 2600, 3, 0}};
  if (version == "win7") return {"2008 R2 ", {6, 1, 7601, 1, 0}};
  if (version == "win8") return {"", {6, 2, 9200, 0, 0}};
  if (version == "vista") return {"Vista ", {6, 0, 6002, 2, 0}};
  if (version == "win98") return {"98", {4, 10, 0x40A08AE, 0, 0}};  // the full build number
  if (version == "nt40") return {"NT", {4, 0, 1381, 6, 0}};
  return {"Windows 7 ", {6, 1, 7601, 1, 0}};  // also "win2008r2"
}
#else
// The system's own name and the first three numbers of its release; no service packs.
Expected ExpectedHere() {
  utsname system{};
  EXPECT_EQ(uname(&system), 0);
  Expected expected{std::string(system.sysname).substr(0, 10), {0, 0, 0, 0, 0}};
  std::sscanf(system.release, "%u.%u.%u", &expected.numbers[0], &expected.numbers[1],
              &expected.numbers[2]);
  return expected;
}
#endif

TEST(KavGetwinver, ReportsTheRunningSystem) {
  const Expected expected = ExpectedHere();
  char name[32];
  std::memset(name, '#', sizeof name);
  std::uint32_t n[5] = {~0u, ~0u, ~0u, ~0u, ~0u};
  ASSERT_EQ(kav_getwinver(name, &n[0], &n[1], &n[2], &n[3], &n[4]), 1);
  const std::size_t written = expected.name.empty() ? 0 : expected.name.size() + 1;
  EXPECT_LE(written, 11u);
  EXPECT_EQ(std::string(name, written), expected.name + (written ? std::string(1, '\0') : ""));
  EXPECT_EQ(std::string(name + written, sizeof name - written),
            std::string(sizeof name - written, '#'));  // nothing past the name
  for (int i = 0; i < 5; ++i) EXPECT_EQ(n[i], expected.numbers[i]) << "number " << i;
  EXPECT_EQ(kav_getwinver(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
}

}  // namespace

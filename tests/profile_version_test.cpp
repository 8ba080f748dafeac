// profile_version_test.cpp - the version as read from the working directory's "version" file.
//
// CTest runs this program once per kind of file and names the kind in KAV_TEST_VERSION_CASE:
// "none" (no file), "short" (5, 1 and 12 on three lines), "long" (a first line of nine
// characters, whose last two become the minor version) or "crlf" (6, 2 and 3 on lines ended by
// CR LF, as written on Windows).

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kavutil.h"

namespace {

#ifdef _WIN32
const std::string kSep = "\\";
#else
const std::string kSep = "/";
#endif

struct Expected {
  const char* name;
  const char* major;
  const char* minor;
  const char* build;
  const char* display;
};

const Expected kCases[] = {{"none", "4", "93", "0", "4.93"},
                           {"short", "5", "1", "12", "5.1"},
                           {"long", "1234567", "89", "2", "1234567.89"},
                           {"crlf", "6", "2", "3", "6.2"}};

const Expected* CurrentCase() {
  const char* name = std::getenv("KAV_TEST_VERSION_CASE");
  for (const auto& c : kCases) {
    if (name != nullptr && std::strcmp(name, c.name) == 0) return &c;
  }
  return nullptr;
}

TEST(ProfileVersion, FromTheVersionFile) {
  const Expected* expected = CurrentCase();
  ASSERT_NE(expected, nullptr) << "KAV_TEST_VERSION_CASE names no known case";
  EXPECT_STREQ(QelGetVerMajor(), expected->major);
  EXPECT_STREQ(QelGetVerMinor(), expected->minor);
  EXPECT_STREQ(QelGetVerBuild(), expected->build);
  EXPECT_STREQ(QelGetDisplayVersion(), expected->display);
  const std::string version =
      std::string(expected->major) + "." + expected->minor + "." + expected->build;
  char id[64];
  EXPECT_EQ(QelGetAppProfileID(id, sizeof id, 0), "VELTRA" + kSep + version);
  const std::string common = QelGetCommonAppDataPath();
  const std::string tail = kSep + "KAV" + kSep + "VELTRA" + kSep + version + kSep;
  ASSERT_GT(common.size(), tail.size());
  EXPECT_EQ(common.substr(common.size() - tail.size()), tail);
}

}  // namespace

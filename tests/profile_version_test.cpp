// profile_version_test.cpp - the version as read from the working directory's "version" file.
// CTest runs this program once per kind of file, named in KAV_TEST_VERSION_CASE (see
// tests/CMakeLists.txt): none, short lines, a long first line, CR LF line ends.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "kavutil.h"

namespace {

const std::string kSep(1, char(std::filesystem::path::preferred_separator));

TEST(ProfileVersion, FromTheVersionFile) {
  // Major, minor, build, then the display version, by the kind of file.
  const std::map<std::string, std::string> cases = {{"none", "4 93 0 4.93"},
                                                    {"short", "5 1 12 5.1"},
                                                    {"long", "1234567 89 2 1234567.89"},
                                                    {"crlf", "6 2 3 6.2"}};
  const char* name = std::getenv("KAV_TEST_VERSION_CASE");
  ASSERT_TRUE(name != nullptr && cases.count(name)) << "KAV_TEST_VERSION_CASE names no case";
  const std::string got = std::string(QelGetVerMajor()) + " " + QelGetVerMinor() + " " +
                          QelGetVerBuild() + " " + QelGetDisplayVersion();
  EXPECT_EQ(got, cases.at(name));
  // The profile ID, and so the profile directories built on it, carry the version read.
  const std::string version =
      std::string(QelGetVerMajor()) + "." + QelGetVerMinor() + "." + QelGetVerBuild();
  char id[64];
  EXPECT_EQ(QelGetAppProfileID(id, sizeof id, 0), "VELTRA" + kSep + version);
}

}  // namespace

// cfstore_test.cpp - the configuration file store in config/cfstore.cpp; file calls fail through
// the I/O seam's fault plan.

#include <cerrno>
#include <cstdio>

#include "support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using kavtest::WriteFile;

class CfsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    cfs_free();
    std::remove("cfs_site.cfg");
    std::remove("cfs_other.cfg");
    std::remove("cfs_fifo");
  }
};

TEST_F(CfsTest, ParsesSectionsAndEntries) {
  WriteFile("cfs_site.cfg",
            "orphan=ignored\n; comment\n\n   \r\n[ Site ]\r\nhost=alpha\r\nport=8080\nname = x\n"
            "a=b=c\ntab\t=t\nhost=beta\n[]\n[Broken\nempty=\n[A]\nk=1\n[B]\n[A]\nk=2\nj=3\n");
  // The first host wins, "[]" and "[Broken" leave Site open, and section names keep their case.
  const char* const none = nullptr;
  const char* cases[][3] = {
      {none, "host", "alpha"}, {"", "port", "8080"},     {"Site", "name ", " x"},
      {"Site", "name", none},  {"Site", "a", "b=c"},     {"Site", "tab\t", "t"},
      {"Site", "empty", ""},   {"Site", "orphan", none}, {"site", "host", none},
      {"A", "k", "1"},         {"A", "j", "3"}};
  for (const auto& [section, key, value] : cases)
    EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", section, key), value) << section << "." << key;
  EXPECT_EQ(get_cfsvalue_int("cfs_site.cfg", "Site", "port", -1), 8080);
  EXPECT_EQ(get_cfsvalue_int("cfs_site.cfg", "Site", "missing", -1), -1);
  EXPECT_STREQ(get_cfsvalue_def("cfs_site.cfg", "B", "k", "dflt"), "dflt");
}

TEST_F(CfsTest, LongLinesAreReadInPieces) {
  // 1023 characters fit one read; the rest of the line is read as a line of its own.
  const std::string key(1020, 'k');
  WriteFile("cfs_site.cfg", "[Site]\n" + key + "=abcdef=g\n");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", nullptr, key.c_str()), "ab");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", nullptr, "cdef"), "g");
}

TEST_F(CfsTest, MalformedOrMissingFilesGiveDefaults) {
  WriteFile("cfs_site.cfg", "[Site]\nhost=alpha\ngarbage\n");
  EXPECT_STREQ(get_cfsvalue_def("cfs_site.cfg", nullptr, "host", "none"), "none");
  EXPECT_EQ(get_cfsvalue_int("cfs_site.cfg", nullptr, "host", 7), 7);

  // A failed load is retried on the next query, so a repaired file is read.
  WriteFile("cfs_site.cfg", "garbage\n[Site]\nhost=alpha\n");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", nullptr, "host"), "alpha");

  EXPECT_STREQ(get_cfsvalue_def("cfs_site.cfg", nullptr, nullptr, "d"), "d");  // "" is the same
}

TEST_F(CfsTest, OneFileIsCachedUntilAnotherIsAskedFor) {
  WriteFile("cfs_site.cfg", "[Site]\nhost=alpha\n");
  WriteFile("cfs_other.cfg", "[Site]\nhost=other\n");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", nullptr, "host"), "alpha");

  WriteFile("cfs_site.cfg", "[Site]\nhost=changed\n");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", nullptr, "host"), "alpha");  // from the cache
  EXPECT_STREQ(get_cfsvalue("cfs_other.cfg", nullptr, "host"), "other");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", nullptr, "host"), "changed");  // reloaded

  WriteFile("cfs_site.cfg", "[Site]\nhost=again\n");
  cfs_free();
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", nullptr, "host"), "again");
}

// Reading a device or a FIFO could block or never end.  No name, a missing file or a directory
// give nothing either.
TEST_F(CfsTest, OnlyRegularFilesAreRead) {
#ifdef _WIN32
  const char* others[] = {"NUL", ".", nullptr, "", "cfs_missing.cfg"};
#else
  ASSERT_EQ(mkfifo("cfs_fifo", 0600), 0);
  const char* others[] = {"/dev/zero", "cfs_fifo", ".", nullptr, "", "cfs_missing.cfg"};
#endif
  for (const char* other : others) {
    EXPECT_EQ(get_cfsvalue(other, nullptr, "k"), nullptr) << other;
    EXPECT_STREQ(get_cfsvalue_def(other, nullptr, "k", "d"), "d") << other;
  }
}

// Each file call of a load fails in turn: the query gives the value or nothing, and no cache is
// kept of part of the file.
TEST_F(CfsTest, AFailedFileCallLeavesNoPartialCache) {
  WriteFile("cfs_site.cfg", "[Site]\nhost=alpha\n[Last]\nkey=omega\n");
  const auto load = [] { return cfs_free(), get_cfsvalue("cfs_site.cfg", nullptr, "host"); };
  kavtest::SweepFileCalls(EIO, load, [](const char* value, bool faulted) {
    EXPECT_TRUE(value == nullptr ? faulted : std::string(value) == "alpha");
    EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", "Last", "key"), "omega");
  });
}

}  // namespace

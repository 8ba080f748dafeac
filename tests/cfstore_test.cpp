// cfstore_test.cpp - tests for the configuration file store in config/cfstore.cpp; file calls
// fail through the I/O seam's fault plan.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "kavutil.h"
#include "platform/io.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// Writes a file in the working directory (binary mode: the text is written as it stands).
void WriteFile(const char* name, const std::string& text) {
  std::FILE* file = std::fopen(name, "wb");
  ASSERT_NE(file, nullptr) << name;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

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
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", nullptr, "host"), "alpha");  // the first one wins
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", "", "port"), "8080");
  EXPECT_EQ(get_cfsvalue_int("cfs_site.cfg", "Site", "port", -1), 8080);
  EXPECT_EQ(get_cfsvalue_int("cfs_site.cfg", "Site", "missing", -1), -1);
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", "Site", "name "), " x");
  EXPECT_EQ(get_cfsvalue("cfs_site.cfg", "Site", "name"), nullptr);
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", "Site", "a"), "b=c");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", "Site", "tab\t"), "t");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", "Site", "empty"), "");  // still in Site
  EXPECT_EQ(get_cfsvalue("cfs_site.cfg", "Site", "orphan"), nullptr);
  EXPECT_EQ(get_cfsvalue("cfs_site.cfg", "site", "host"), nullptr);  // case counts
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", "A", "k"), "1");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", "A", "j"), "3");
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
  EXPECT_EQ(get_cfsvalue("cfs_missing.cfg", nullptr, "host"), nullptr);

  // A failed load is retried on the next query, so a repaired file is read.
  WriteFile("cfs_site.cfg", "garbage\n[Site]\nhost=alpha\n");
  EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", nullptr, "host"), "alpha");

  EXPECT_STREQ(get_cfsvalue_def(nullptr, nullptr, "host", "d"), "d");
  EXPECT_STREQ(get_cfsvalue_def("", nullptr, "host", "d"), "d");
  EXPECT_STREQ(get_cfsvalue_def("cfs_site.cfg", nullptr, nullptr, "d"), "d");
  EXPECT_STREQ(get_cfsvalue_def("cfs_site.cfg", nullptr, "", "d"), "d");
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

// Reading a device or a FIFO could block or never end.
TEST_F(CfsTest, OnlyRegularFilesAreRead) {
#ifdef _WIN32
  const char* others[] = {"NUL", "."};
#else
  ASSERT_EQ(mkfifo("cfs_fifo", 0600), 0);
  const char* others[] = {"/dev/zero", "cfs_fifo", "."};
#endif
  for (const char* other : others) EXPECT_EQ(get_cfsvalue(other, nullptr, "k"), nullptr) << other;
}

// The k-th file call of a load fails, for every k until the load runs through: the query gives
// the value or nothing, and no cache is kept of part of the file.
TEST_F(CfsTest, AFailedFileCallLeavesNoPartialCache) {
  WriteFile("cfs_site.cfg", "[Site]\nhost=alpha\n[Last]\nkey=omega\n");
  for (long k = 1;; ++k) {
    cfs_free();
    kav::io::fail_call(nullptr, k, EIO);
    const char* value = get_cfsvalue("cfs_site.cfg", nullptr, "host");
    const long calls = kav::io::calls_made();
    kav::io::fail_call(nullptr, 0, 0);
    EXPECT_TRUE(value == nullptr ? k <= calls : std::string(value) == "alpha") << k;
    EXPECT_STREQ(get_cfsvalue("cfs_site.cfg", "Last", "key"), "omega") << k;
    if (k > calls) break;
  }
}

}  // namespace

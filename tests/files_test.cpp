// files_test.cpp - tests for the file and directory utilities (system/files.cpp,
// system/checksum.cpp) and the platform's directory and file services beneath them.
//
// Every test works in a fresh temporary directory and writes its paths with '/', which At()
// turns into the platform's separator.  Directory listings come in the file system's order, so
// no test depends on it.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

#include "kavutil.h"
#include "platform/platform.h"

namespace fs = std::filesystem;
using Set = std::set<std::string>;

namespace {

const char kSep = kav::platform::kSeparator;
const bool kPosix = kSep == '/';

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

Set Names(const std::string& directory) {
  Set names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// The checksum as the archive programs define it, one byte at a time.
unsigned int ByteLoop(const std::string& bytes) {
  std::uint32_t sum = 0;
  for (std::size_t block = 0; block < bytes.size(); block += 4096) {
    for (std::size_t i = std::min(bytes.size(), block + 4096); i-- > block;) {
      const auto extended = static_cast<std::uint32_t>(static_cast<signed char>(bytes[i]));
      sum = ((sum << 1) | (sum >> 31)) ^ extended;
    }
  }
  return sum == 0 ? 1 : sum;
}

std::string FullPath(const char* path) {
  char out[4096];
  make_fullpath(path, out);
  return out;
}

class WorkingDirectory {
 public:
  explicit WorkingDirectory(const fs::path& directory) { fs::current_path(directory); }
  ~WorkingDirectory() { fs::current_path(saved_); }

 private:
  fs::path saved_ = fs::current_path();
};

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    do {
      root_ = (fs::temp_directory_path() / ("kav-files-" + std::to_string(seed()))).string();
    } while (!fs::create_directory(root_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string At(std::string relative) const {
    for (char& c : relative) c = c == '/' ? kSep : c;
    return root_ + kSep + relative;
  }
  std::string root_;
};

struct Visits {
  std::multiset<std::string> seen;  // names, with a '/' after directories
  std::size_t stop_after = 0;
  const char* pattern = "unset";
  void (*self)(void) = nullptr;
};

int Record(const char*, const char* pattern, void (*self)(void), void* context, const char* name,
           int is_directory) {
  auto& visits = *static_cast<Visits*>(context);
  visits.seen.insert(std::string(name) + (is_directory ? "/" : ""));
  visits.pattern = pattern;
  visits.self = self;
  return visits.seen.size() == visits.stop_after ? 42 : 0;
}

TEST(Paths, FullPathsAndTheirCompletion) {
  for (const char* full : {"\\x", "/x", "C:x"}) EXPECT_EQ(is_fullpath(full), 1) << full;
  for (const char* relative : {"x\\y", "x/y", "", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(is_fullpath(relative), 0);
  }
  const std::string cwd = fs::current_path().string();
  EXPECT_EQ(FullPath("C:\\w\\"), "C:\\w");
  EXPECT_EQ(FullPath("/"), "");
  EXPECT_EQ(FullPath("a"), cwd + kSep + "a");
  EXPECT_EQ(FullPath("x/"), cwd + kSep + "x");
  EXPECT_EQ(FullPath(""), cwd);
  const fs::path root = fs::current_path().root_path();  // ends with its separator
  WorkingDirectory in_root(root);
  EXPECT_EQ(FullPath("a"), root.string() + "a");
}

TEST(Paths, ComparePathFoldsCaseLikeStricmp) {
  EXPECT_EQ(compare_path("C:\\W\\", "c:\\w"), 0);
  EXPECT_EQ(compare_path("a", (fs::current_path().string() + kSep + "A").c_str()), 0);
  EXPECT_LT(compare_path("/x/a_", "/x/AB"), 0);  // letters fold to lower case, after '_'
  EXPECT_GT(compare_path("/x/b", "/x/A"), 0);
  EXPECT_LT(compare_path("/x/a", "/x/ab"), 0);
}

TEST(Paths, SeparatorsAndIllegalCharacters) {
  char path[] = "a/b\\c";
  EXPECT_EQ(fix_dir_slash(path), 1);
  EXPECT_EQ(path, std::string("a") + kSep + "b" + kSep + "c");
  char name[] = "a<b>c:d\"e/f\\g|h\ni*?.txt";
  EXPECT_EQ(strip_illegal_filename_chars(name), name);
  EXPECT_STREQ(name, "abcdefghi*?.txt");
  EXPECT_STREQ(get_illegal_filename_chars(), "<>:\"/\\|\n");
}

TEST_F(Files, SizeAndType) {
  WriteAll(At("five"), "12345");
  EXPECT_EQ(getfilesize(At("five").c_str()), 5);
  EXPECT_EQ(getfiletype(At("five").c_str()), 1);
  EXPECT_EQ(getfiletype(root_.c_str()), 2);
  EXPECT_EQ(getfiletype((root_ + kSep).c_str()), 2);
  EXPECT_EQ(getfiletype(kPosix ? "/dev/null" : At("five").c_str()), kPosix ? 3 : 1);
  const std::string missing = At("missing"), file_as_directory = At("five") + kSep;
  for (const char* none :
       {static_cast<const char*>(nullptr), "", missing.c_str(), file_as_directory.c_str()}) {
    EXPECT_EQ(getfilesize(none), 0);
    EXPECT_EQ(getfiletype(none), 0);
  }
  for (std::uintmax_t size : {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 32) + 5}) {
    std::error_code error;
    fs::resize_file(At("five"), size, error);  // sparse where the file system allows
    if (error) GTEST_SKIP() << "no file of " << size << " bytes: " << error.message();
    EXPECT_EQ(getfilesize(At("five").c_str()), INT_MAX) << size;
  }
}

TEST_F(Files, CopyFileReplacesTheDestination) {
  const std::string bytes = std::string("a\r\nb\0c\x1A\xFF", 8) + RandomBytes(70000, 1);
  WriteAll(At("src"), bytes);
  WriteAll(At("dst"), std::string(100000, 'y'));
  EXPECT_EQ(copy_file(At("src").c_str(), At("dst").c_str()), 0);
  EXPECT_EQ(ReadAll(At("dst")), bytes);
  EXPECT_EQ(copy_file(At("missing").c_str(), At("dst").c_str()), 1);
  EXPECT_EQ(ReadAll(At("dst")), bytes);  // the source is opened before the destination goes
  EXPECT_EQ(copy_file(At("src").c_str(), At("no/dst").c_str()), 1);
  std::error_code error;
  fs::create_hard_link(At("dst"), At("link"), error);
  if (error) GTEST_SKIP() << "no hard links here";
  WriteAll(At("src"), "other");
  EXPECT_EQ(copy_file(At("src").c_str(), At("dst").c_str()), 0);
  EXPECT_EQ(ReadAll(At("link")), bytes);  // the destination was deleted, not overwritten
}

TEST_F(Files, CopyDirCopiesFilesOnlyAndNeverIntoItself) {
  fs::create_directories(At("src/a/b"));
  fs::create_directories(At("src/empty/deeper"));
  WriteAll(At("src/top"), "1");
  WriteAll(At("src/a/b/leaf"), "2");
  EXPECT_EQ(copy_dir(At("src").c_str(), (At("SRC") + kSep).c_str()), 1);
  EXPECT_EQ(Names(root_), Set{"src"});
  fs::create_directory(At("dst"));
  WriteAll(At("dst/top"), "old");
  EXPECT_EQ(copy_dir(At("src").c_str(), At("dst").c_str()), 0);
  EXPECT_EQ(ReadAll(At("dst/top")), "1");
  EXPECT_EQ(ReadAll(At("dst/a/b/leaf")), "2");
  EXPECT_FALSE(fs::exists(At("dst/empty")));
  fs::remove_all(At("dst/a"));
  WriteAll(At("dst/a"), "a file where a directory belongs");
  EXPECT_EQ(copy_dir(At("src").c_str(), At("dst").c_str()), 1);
}

TEST_F(Files, ParentDirCreatesTheDirectoriesBeforeTheLastSeparator) {
  EXPECT_EQ(parent_dir(At("a/b/file.txt").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(At("a/b")));
  EXPECT_FALSE(fs::exists(At("a/b/file.txt")));
  EXPECT_EQ(parent_dir((At("c/d") + kSep).c_str()), 0);
  EXPECT_TRUE(fs::is_directory(At("c/d")));
  WriteAll(At("file"), "");
  EXPECT_EQ(parent_dir(At("file/y").c_str()), 1);
  WorkingDirectory in_root(root_);
  const std::string relative = std::string("r") + kSep + "s" + kSep + "t.txt";
  EXPECT_EQ(parent_dir(relative.c_str()), 1);  // "r" is never created, so "r/s" cannot be
  EXPECT_FALSE(fs::exists(At("r")));
  // With root_ "/<tmp>/<name>", "//<tmp>/<name>-share/..." is a network path on POSIX.
  if (kPosix && fs::path(root_).parent_path().parent_path() == "/") {
    EXPECT_EQ(parent_dir(("/" + root_ + "-share/a/f").c_str()), 1);
    EXPECT_FALSE(fs::exists(root_ + "-share"));
  }
}

TEST_F(Files, MkdirFullpathCreatesEveryComponentAndLeavesStrtokAlone) {
  char words[] = "one two";
  ASSERT_STREQ(std::strtok(words, " "), "one");
  const std::string mixed = root_ + "/a\\b/c";
  EXPECT_EQ(mkdir_fullpath(mixed.c_str()), 1);
  EXPECT_EQ(mkdir_fullpath(mixed.c_str()), 1);
  EXPECT_TRUE(fs::is_directory(At("a/b/c")));
  EXPECT_STREQ(std::strtok(nullptr, " "), "two");
}

TEST_F(Files, RecursiveUnlinkRemovesTreesFilesAndLinksButKeepsDotNames) {
  fs::create_directories(At("t/a/b"));
  fs::create_directories(At("u/c"));
  WriteAll(At("t/a/b/f"), "x");
  WriteAll(At("u/c/g"), "y");
  WriteAll(At("file"), "z");
  std::error_code no_links;  // a link is removed, never what it points to
  fs::create_directory_symlink(At("u"), At("t/link"), no_links);
  for (const std::string& path : {At("t"), At("u") + kSep, At("file"), At("missing")}) {
    EXPECT_EQ(recursive_unlink(path.c_str()), 1) << path;
    EXPECT_FALSE(fs::exists(path)) << path;
  }
  fs::create_directories(At("t/sub"));
  WriteAll(At("t/sub/.keep"), "");
  EXPECT_EQ(recursive_unlink(At("t").c_str()), 0);
  EXPECT_TRUE(fs::exists(At("t/sub/.keep")));
}

TEST_F(Files, AppendsOfFilesAndRanges) {
  const std::string bytes = RandomBytes(40000, 2);
  WriteAll(At("in"), bytes);
  WriteAll(At("dst"), "head");
  EXPECT_EQ(append_file(At("in").c_str(), At("dst").c_str()), 0);
  EXPECT_EQ(append_file(At("in").c_str(), At("new").c_str()), 0);
  EXPECT_EQ(ReadAll(At("dst")), "head" + bytes);
  EXPECT_EQ(ReadAll(At("new")), bytes);
  EXPECT_EQ(append_file(At("missing").c_str(), At("dst").c_str()), 1);
  EXPECT_EQ(append_file(At("in").c_str(), At("no/dst").c_str()), 1);

  std::FILE* in = std::fopen(At("in").c_str(), "rb");
  std::FILE* out = std::fopen(At("out").c_str(), "wb");
  ASSERT_TRUE(in != nullptr && out != nullptr);
  std::fseek(in, 7, SEEK_SET);
  for (const auto& [start, end] : {std::pair{2, 5}, {4, 4}, {6, 3}, {100, 39000}, {39998, 50000}}) {
    EXPECT_EQ(append_file_chunk(in, start, end, out), 0);
  }
  EXPECT_EQ(append_file_chunk_with_formfeed(in, 1, 1, out), 0);
  EXPECT_EQ(append_file_chunk_with_formfeed(in, 0, 2, out), 0);
  EXPECT_EQ(std::ftell(in), 7);
  std::fclose(out);
  EXPECT_EQ(ReadAll(At("out")), bytes.substr(2, 3) + bytes.substr(100, 38900) +
                                    bytes.substr(39998) + "formfeed()\n" + bytes.substr(0, 2) +
                                    "formfeed()\n");
  EXPECT_EQ(create_file_from_chunk(in, 3, 6, At("new").c_str()), 0);
  EXPECT_EQ(ReadAll(At("new")), bytes.substr(3, 3));
  EXPECT_EQ(create_file_from_chunk(in, 3, 6, At("no/new").c_str()), 1);
  std::fclose(in);
}

TEST_F(Files, TraverseTreeVisitsEachMatchingEntryOfOneLevelOnce) {
  fs::create_directories(At("d/sub/deeper"));
  for (const char* name : {"a.txt", "b.txt", "ab.txt", "c.dat", "noext"}) {
    WriteAll(At("d/") + name, "");
  }
  Visits all;
  EXPECT_EQ(traverse_tree(At("d").c_str(), nullptr, Record, &all), 0);
  EXPECT_EQ(all.seen,
            (std::multiset<std::string>{"a.txt", "ab.txt", "b.txt", "c.dat", "noext", "sub/"}));
  EXPECT_EQ(all.pattern, nullptr);
  EXPECT_EQ(all.self, reinterpret_cast<void (*)(void)>(Record));
  const std::pair<const char*, std::multiset<std::string>> patterns[] = {
      {"*.txt", {"a.txt", "ab.txt", "b.txt"}},
      {"?.txt", {"a.txt", "b.txt"}},
      {"*.*", all.seen},
      {"s*", {"sub/"}},
      {"noext*", {"noext"}},
      {"x*", {}}};
  for (const auto& [pattern, expected] : patterns) {
    Visits visits;
    EXPECT_EQ(traverse_tree(At("d").c_str(), pattern, Record, &visits), 0);
    EXPECT_EQ(visits.seen, expected) << pattern;
  }
  Visits stopped;
  stopped.stop_after = 2;
  EXPECT_EQ(traverse_tree(At("d").c_str(), "*", Record, &stopped), 42);
  EXPECT_EQ(stopped.seen.size(), 2u);
  Visits none;
  EXPECT_EQ(traverse_tree(At("missing").c_str(), "*", Record, &none), 0);
  EXPECT_TRUE(none.seen.empty());
}

TEST_F(Files, FixFilenameCaseRenamesOneCaseVariantOverNoOtherFile) {
  WriteAll(At("report.txt"), "first");
  EXPECT_EQ(fix_filename_case(At("other.txt").c_str(), root_.c_str()), 0);
  EXPECT_EQ(fix_filename_case(At("Report.TXT").c_str(), root_.c_str()), 0);
  if (kav::platform::wine_version()) GTEST_SKIP() << "Wine renames keep the old letter case";
  EXPECT_EQ(Names(root_), Set{"Report.TXT"});
  WriteAll(At("report.txt"), "second");
  if (Names(root_).size() != 2) return;  // only where names differing in case sit side by side
  EXPECT_EQ(fix_filename_case(At("Report.TXT").c_str(), root_.c_str()), 0);
  EXPECT_EQ(Names(root_), (Set{"Report.TXT", "report.txt"}));
  fs::rename(At("Report.TXT"), At("REPORT.TXT"));
  EXPECT_EQ(fix_filename_case(At("Report.TXT").c_str(), root_.c_str()), 0);
  Set contents;
  for (const auto& name : Names(root_)) contents.insert(ReadAll(At(name)));
  EXPECT_EQ(contents, (Set{"first", "second"}));
  EXPECT_EQ(Names(root_).count("Report.TXT"), 1u);
}

TEST_F(Files, PlatformListingsAndCopies) {
  namespace platform = kav::platform;
  WriteAll(At("f"), "new");
  for (const char* missing : {"missing/x", "f/x"}) {
    EXPECT_EQ(platform::path_kind(At(missing).c_str()), platform::PathKind::kMissing) << missing;
  }
  std::error_code error;
  fs::create_directory_symlink(root_, At("link"), error);
  const auto entries = platform::find_entries(At("*"));
  ASSERT_TRUE(entries);
  for (const auto& entry : *entries) {
    EXPECT_EQ(entry.directory, entry.name == "link") << entry.name;
    EXPECT_FALSE(entry.system);
  }

  WriteAll(At("dst"), "old");
  EXPECT_FALSE(platform::copy_file_if_absent(At("f").c_str(), At("dst").c_str()));
  EXPECT_EQ(ReadAll(At("dst")), "old");
  EXPECT_FALSE(platform::copy_file_if_absent(At("missing").c_str(), At("none").c_str()));
  EXPECT_FALSE(fs::exists(At("none")));
  using fs::perms;  // on POSIX, bits that a usual umask clears
  const auto permissions = kPosix ? perms::owner_all | perms::group_write | perms::others_write
                                  : fs::status(At("f")).permissions();
  fs::permissions(At("f"), permissions);
  EXPECT_TRUE(platform::copy_file_if_absent(At("f").c_str(), At("fresh").c_str()));
  EXPECT_EQ(ReadAll(At("fresh")), "new");
  EXPECT_EQ(fs::status(At("fresh")).permissions(), permissions);
}

TEST_F(Files, ChecksumMatchesTheByteLoopAtEverySizeUpToThreeBlocks) {
  EXPECT_EQ(get_check_sum(At("missing").c_str()), 0u);
  EXPECT_EQ(get_check_sum(nullptr), 0u);
  WriteAll(At("abc"), "abc");
  EXPECT_EQ(get_check_sum(At("abc").c_str()), 0x129u);
  const std::string block = RandomBytes(4096, 4);
  WriteAll(At("twice"), block + block);  // two equal blocks cancel out to 0
  EXPECT_EQ(get_check_sum(At("twice").c_str()), 1u);
  const std::string all = RandomBytes(3 * 4096 + 1, 5);
  std::FILE* growing = std::fopen(At("growing").c_str(), "wb");
  ASSERT_NE(growing, nullptr);
  for (std::size_t size = 0; size <= all.size(); ++size) {
    if (size > 0) std::fputc(static_cast<unsigned char>(all[size - 1]), growing);
    std::fflush(growing);
    ASSERT_EQ(get_check_sum(At("growing").c_str()), ByteLoop(all.substr(0, size))) << size;
  }
  std::fclose(growing);
}

TEST_F(Files, ChecksumMatchesTheByteLoopOnLargeFiles) {
  const std::size_t kMiB = 1 << 20;
  for (std::size_t size : {kMiB - 1, kMiB + 7, 2 * kMiB + 4096 + 33, 5 * kMiB}) {
    const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
    WriteAll(At("large"), bytes);
    EXPECT_EQ(get_check_sum(At("large").c_str()), ByteLoop(bytes)) << size;
  }
}

}  // namespace

// ini_engine_test.cpp - the private-profile functions of platform.h against the behaviour of
// Windows' GetPrivateProfile*A and WritePrivateProfile*A.
//
// The same tests run natively against kavutil's own engine and, in the Windows build, against
// the system's functions under Wine.  Where Wine 8.0 is known to differ from Windows, Expect()
// names both results; the engine follows Windows.  Wine rewrites the whole file on every change,
// so checks that untouched bytes stay run only where Wine does not.  Every call works on files
// in a fresh temporary directory, named by absolute path.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;
namespace pf = kav::platform;
using namespace std::string_literals;

bool OnWine() { return pf::wine_version().has_value(); }

template <typename T>
T Expect(T windows, T wine) {
  return OnWine() ? wine : windows;
}

// Windows' ANSI functions hand out a UTF-8 or UTF-16 file in the ANSI code page (1252 here);
// POSIX hands out UTF-8.
bool AnsiCodePage() { return pf::kSeparator == '\\'; }

constexpr char kUnwritten = '\x01';  // fills buffers, so that bytes a call left can be told

struct Result {
  uint32_t ret;
  std::string bytes;  // the buffer up to the last byte the call wrote
  bool operator==(const Result&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Result& result) {
  out << result.ret << " \"";
  for (char c : result.bytes) {
    if (c == '\0') {
      out << "\\0";
    } else {
      out << c;
    }
  }
  return out << '"';
}

// What Wine 8.0 writes for a truncated list: the same, without the final NUL at buf[N-1].
Result WithoutLastNul(Result windows) {
  return Expect(windows, Result{windows.ret, windows.bytes.substr(0, windows.bytes.size() - 1)});
}

template <typename Call>
Result Capture(uint32_t size, Call call) {
  std::vector<char> buffer(size + 8, kUnwritten);
  const uint32_t ret = call(buffer.data(), size);
  std::string bytes(buffer.begin(), buffer.end());
  bytes.erase(bytes.find_last_not_of(kUnwritten) + 1);
  return {ret, bytes};
}

class Ini : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = fs::temp_directory_path() / ("kav-ini-" + std::to_string(std::random_device{}()));
    fs::create_directories(directory_);
  }
  static void TearDownTestSuite() { fs::remove_all(directory_); }

  void SetUp() override {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    path_ = (directory_ / (test + ".ini")).string();
  }

  const char* file() const { return path_.c_str(); }

  // Replaces the file through a rename, as an editor saving it would.
  void Put(const std::string& bytes) const {
    std::ofstream(path_ + ".new", std::ios::binary) << bytes;
    fs::rename(path_ + ".new", path_);
  }

  std::string Bytes() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }

  Result String(const char* section, const char* key, const char* fallback, uint32_t size) const {
    return Capture(size, [&](char* buffer, uint32_t n) {
      return pf::profile_get_string(section, key, fallback, buffer, n, file());
    });
  }

  // The value as a string, "DEF" when the key is missing.
  std::string Value(const char* section, const char* key) const {
    char buffer[4096];
    const uint32_t length = pf::profile_get_string(section, key, "DEF", buffer, 4096, file());
    return std::string(buffer, length);
  }

  Result Section(const char* section, uint32_t size) const {
    return Capture(size, [&](char* buffer, uint32_t n) {
      return pf::profile_get_section(section, buffer, n, file());
    });
  }

  Result Names(uint32_t size) const {
    return Capture(size, [&](char* buffer, uint32_t n) {
      return pf::profile_get_section_names(buffer, n, file());
    });
  }

  bool Write(const char* section, const char* key, const char* value) const {
    return pf::profile_write_string(section, key, value, file());
  }

  static fs::path directory_;
  std::string path_;
};

fs::path Ini::directory_;

// ---------------------------------------------------------------------------
// Single values
// ---------------------------------------------------------------------------

TEST_F(Ini, ValueLookupFollowsTheLineRules) {
  Put("[s]\r\n  key1  =  value one  \r\nmy key = a  b \r\nk=a=b=c\r\n"
      "empty=\r\n\"qk\"=1\r\n;k=commented\r\n#hash=1\r\nv=v ; not a comment\r\n"
      "bare\r\nbare=hidden\r\ndup=first\r\ndup=second\r\n[ spaced ]\r\nx=1\r\n"
      "[tail] junk here\r\nt=1\r\n[x]y]\r\nxy=1\r\n[k]=v\r\nkk=1\r\n[broken\r\n[broken=3\r\n"
      "[S]\r\nonly2=yes\r\n[MySection]\r\nMyKey=Value\r\n[\xe9t\xe9]\r\ne=1\r\n");
  // A bare line hides later lines of its name; only ASCII letters fold.
  const char* cases[][3] = {{"s", "key1", "value one"},
                            {"  s  ", "  key1  ", "value one"},
                            {"s", "my key", "a  b"},
                            {"s", "k", "a=b=c"},
                            {"s", "empty", ""},
                            {"s", "\"qk\"", "1"},
                            {"s", ";k", "commented"},
                            {"s", "#hash", "1"},
                            {"s", "v", "v ; not a comment"},
                            {"s", "bare", "DEF"},
                            {"s", "dup", "first"},
                            {"S", "DUP", "first"},
                            {"s", "only2", "DEF"},
                            {"s", "missing", "DEF"},
                            {"spaced", "x", "1"},
                            {"tail", "t", "1"},
                            {"x]y", "xy", "1"},
                            {"k", "kk", "1"},
                            {"k", "[broken", "DEF"},
                            {"MYSECTION", "mykey", "Value"},
                            {"\xe9T\xe9", "e", "1"},
                            {"\xc9T\xc9", "e", "DEF"}};
  for (const auto& c : cases) EXPECT_EQ(Value(c[0], c[1]), c[2]) << c[0] << "." << c[1];
}

TEST_F(Ini, EmptyNamesFindTheTopOrTheEmptySection) {
  // Windows can crash on empty names in read-only memory, so they come from writable buffers.
  char empty[] = "", blanks[] = "   ";
  Put("top=1\r\n=noname\r\n[s]\r\n=v\r\n");
  EXPECT_EQ(Value(empty, "top"), "1");
  EXPECT_EQ(Value(blanks, "top"), "1");
  EXPECT_EQ(Value("s", empty), "v");
  EXPECT_EQ(Value("s", blanks), "v");
  EXPECT_EQ(Section(empty, 50), (Result{14, "top=1\0=noname\0\0"s}));
  Put("\r\nkey=val_no_section\r\n[]\r\nkey=val_e_section\r\n[s]\r\nk=1\r\n");
  EXPECT_EQ(Value(empty, "key"), Expect("val_e_section"s, "val_no_section"s));
  EXPECT_EQ(Section(empty, 50),
            Expect(Result{18, "key=val_e_section\0\0"s}, Result{19, "key=val_no_section\0\0"s}));
}

TEST_F(Ini, QuotesAreStrippedInMatchingPairsOnly) {
  const char* cases[][2] = {{"\"hello\"", "hello"},
                            {"'hello'", "hello"},
                            {"\"hello'", "\"hello'"},
                            {"\"", "\""},
                            {"\"\"", ""},
                            {"  \" a b \"  ", " a b "},
                            {"abc\"", "abc\""},
                            {"\"ab\"cd\"", "ab\"cd"},
                            {"\"\"x\"\"", "\"x\""}};
  for (const auto& c : cases) {
    Put("[s]\r\nq=" + std::string(c[0]) + "\r\n");
    EXPECT_EQ(Value("s", "q"), c[1]) << c[0];
  }
}

TEST_F(Ini, DefaultsLoseTrailingSpacesAndQuotes) {
  Put("[s]\r\n");
  const char* cases[][2] = {
      {"DEF   ", "DEF"}, {"  DEF", "  DEF"}, {"DEF\t", "DEF\t"}, {"one two  ", "one two"},
      {"   ", " "},      {"\"D \"  ", "D "}, {"'D'", "D"},       {"\"dflt", "\"dflt"}};
  for (const auto& c : cases) {
    EXPECT_EQ(String("s", "k", c[0], 50), (Result{uint32_t(strlen(c[1])), c[1] + "\0"s})) << c[0];
  }
  EXPECT_EQ(String("s", "k", nullptr, 50), (Result{0, "\0"s}));
}

TEST_F(Ini, ValuesAreCutToTheBuffer) {
  Put("[s]\r\nk=abcdef\r\nq=\"abcdef\"\r\n");
  const struct {
    const char *key, *fallback;
    uint32_t size;
    Result expected;
  } cases[] = {{"k", "", 0, {0, ""}},
               {"k", "", 1, {0, "\0"s}},
               {"k", "", 2, {1, "a\0"s}},
               {"k", "", 3, {2, "ab\0"s}},
               {"k", "", 6, {5, "abcde\0"s}},
               {"k", "", 7, {6, "abcdef\0"s}},
               {"k", "", 100, {6, "abcdef\0"s}},
               {"missing", "DEFAULT", 4, {3, "DEF\0"s}},
               {"missing", "DEFAULT", 1, {0, "\0"s}},
               {"q", "", 9, {6, "abcdef\0"s}},
               {"q", "", 8, {6, "abcdef\0"s}},
               {"q", "", 6, {5, "abcde\0"s}},
               {"q", "", 2, {1, "a\0"s}},
               {"q", "", 1, {0, "\0"s}}};
  for (const auto& c : cases) {
    EXPECT_EQ(String("s", c.key, c.fallback, c.size), c.expected) << c.key << " " << c.size;
  }
  // Wine cuts a quoted value one character short when the buffer fits it exactly.
  EXPECT_EQ(String("s", "q", "", 7), Expect(Result{6, "abcdef\0"s}, Result{5, "abcde\0"s}));
}

// ---------------------------------------------------------------------------
// Lists
// ---------------------------------------------------------------------------

TEST_F(Ini, ListsShowEveryNameOrLineInFileOrder) {
  Put("[s]\r\nab=1\r\ncd=22\r\nbare\r\n;c=1\r\n#h=1\r\nempty=\r\nab=dup\r\n");
  EXPECT_EQ(String("s", nullptr, "DEF", 100), (Result{18, "ab\0cd\0#h\0empty\0ab\0\0"s}));
  Put("[s]\r\n  a = 1 \r\n;comment\r\n#hash=2\r\nbare\r\nq=\"x\"\r\n=noname\r\nempty=\r\n");
  EXPECT_EQ(Section("s", 100), (Result{38, "a=1\0#hash=2\0bare\0q=\"x\"\0=noname\0empty=\0\0"s}));
  EXPECT_EQ(Section("  s  ", 100), (Result{0, "\0\0"s}));  // lists compare names untrimmed
  EXPECT_EQ(String("  s  ", nullptr, "DEF", 100), (Result{3, "DEF\0"s}));
  Put("top=1\r\n[s]\r\nk=1\r\n[ t ]\r\n[]\r\nx=1\r\n[uu]\r\n[S]\r\n[ ]\r\n[last]   trailing\r\n");
  EXPECT_EQ(Names(100), (Result{14, "s\0t\0uu\0S\0last\0\0"s}));
  EXPECT_EQ(String(nullptr, "ab", "DEF", 100), Names(100));
  Put("[s]\r\n=one\r\n=two\r\nk=v\r\n=three\r\n");  // Wine skips a repeated empty name
  EXPECT_EQ(Section("s", 100), (Result{16, "=one\0k=v\0=three\0\0"s}));
}

TEST_F(Ini, AnEmptyKeyListGivesTheDefault) {
  Put("[t]\r\n[s]\r\n=first\r\nk=v\r\n[m]\r\nk=v\r\n=mid\r\nj=w\r\n");
  EXPECT_EQ(String("t", nullptr, "DEF", 50), (Result{3, "DEF\0"s}));
  EXPECT_EQ(String("none", nullptr, nullptr, 50), (Result{0, "\0"s}));
  EXPECT_EQ(String("none", nullptr, "DEFAULT", 3), (Result{2, "DE\0"s}));
  EXPECT_EQ(String("s", nullptr, "DEF", 50), (Result{3, "DEF\0"s}));
  EXPECT_EQ(String("m", nullptr, "DEF", 50), (Result{5, "k\0\0j\0\0"s}));
}

// Rows give N and the result by the Windows rule: a list that does not fit with a byte to spare
// keeps its first N-2 bytes and two NULs.  Wine 8.0 leaves the second of them unwritten, except
// in GetPrivateProfileSection.
struct Row {
  uint32_t size;
  Result windows;
};

TEST_F(Ini, TruncatedListsEndWithTwoNuls) {
  const auto cut = [](const Row& row, uint32_t full_size) {
    return row.size >= 2 && row.size <= full_size ? WithoutLastNul(row.windows) : row.windows;
  };
  Put("[k]\r\nab=1\r\ncd=22\r\n");  // keys "ab\0cd\0\0", 7 bytes; lines 12 bytes
  const Row keys[] = {{0, {0, ""}},          {1, {0, "\0"s}},         {3, {1, "a\0\0"s}},
                      {5, {3, "ab\0\0\0"s}}, {7, {5, "ab\0cd\0\0"s}}, {8, {6, "ab\0cd\0\0"s}}};
  for (const Row& row : keys) {
    EXPECT_EQ(String("k", nullptr, "DEF", row.size), cut(row, 7)) << row.size;
  }
  // Wine then finds the list empty and gives the default.
  EXPECT_EQ(String("k", nullptr, "DEF", 2), Expect(Result{0, "\0\0"s}, Result{1, "D\0"s}));
  const Row lines[] = {{0, {0, ""}},
                       {1, {0, "\0"s}},
                       {3, {1, "a\0\0"s}},
                       {6, {4, "ab=1\0\0"s}},
                       {12, {10, "ab=1\0cd=22\0\0"s}},
                       {13, {11, "ab=1\0cd=22\0\0"s}}};
  for (const Row& row : lines) {
    if (row.size < 2 && OnWine()) continue;  // Wine 8.0 writes outside such buffers
    EXPECT_EQ(Section("k", row.size), row.windows) << row.size;
  }
  Put("[k]\r\n[t]\r\n[uu]\r\n");  // "k\0t\0uu\0\0", 8 bytes
  const Row names[] = {{0, {0, ""}},         {1, {0, "\0"s}},           {2, {0, "\0\0"s}},
                       {4, {2, "k\0\0\0"s}}, {8, {6, "k\0t\0uu\0\0"s}}, {9, {7, "k\0t\0uu\0\0"s}}};
  for (const Row& row : names) {
    EXPECT_EQ(Names(row.size), cut(row, 8)) << row.size;
    EXPECT_EQ(String(nullptr, nullptr, "DEF", row.size), cut(row, 8)) << row.size;
  }
  Put("[ section1 ]\r\n[section2]\r\n[section3]\r\n");  // 28 bytes
  EXPECT_EQ(Names(29), (Result{27, "section1\0section2\0section3\0\0"s}));
  EXPECT_EQ(Names(28), WithoutLastNul({26, "section1\0section2\0section3\0\0"s}));
  EXPECT_EQ(Names(27), WithoutLastNul({25, "section1\0section2\0section\0\0"s}));
  EXPECT_EQ(String(nullptr, "k", "DEF", 16), WithoutLastNul({14, "section1\0secti\0\0"s}));
}

// ---------------------------------------------------------------------------
// Lines, NUL bytes and files
// ---------------------------------------------------------------------------

TEST_F(Ini, LinesEndAtCrLfOrBoth) {
  Put("[lf]\nk=lf\n[cr]\rk=cr\r[crlf]\r\nk=crlf\r\n[crcr]\r\r\nk=crcrlf\n\n[last]\r\n"
      "k=no-final-newline");
  for (const char* s : {"lf", "cr", "crlf"}) EXPECT_EQ(Value(s, "k"), s);
  EXPECT_EQ(Value("crcr", "k"), "crcrlf");
  EXPECT_EQ(Value("last", "k"), "no-final-newline");
  Put("[s]\r\nk=ab\rcd=ef");
  EXPECT_EQ(Value("s", "k"), "ab");
  EXPECT_EQ(Value("s", "cd"), "ef");
}

TEST_F(Ini, NulBytesEndNamesAndValues) {
  Put("[s]\r\nk=a\0b\r\nn\0x=1\r\n\0[t]\r\nj=2\r\n"s);
  EXPECT_EQ(Value("s", "k"), "a");
  EXPECT_EQ(Value("s", "n"), "1");
  EXPECT_EQ(Value("s", "j"), "2");  // "\0[t]" is no header
  EXPECT_EQ(Names(50), (Result{2, "s\0\0"s}));
  if (!OnWine()) {  // Wine drops what follows a NUL when it rewrites the file
    Put("Data \0 before \0 first \0 section\r\n[s]\r\nk=1\r\n"s);
    ASSERT_TRUE(Write("s", "k", "2"));
    EXPECT_EQ(Bytes(), "Data \0 before \0 first \0 section\r\n[s]\r\nk=2\r\n"s);
  }
}

TEST_F(Ini, MissingAndUnusableFilesGiveDefaults) {
  EXPECT_EQ(String("s", "k", "DEF", 10), (Result{3, "DEF\0"s}));
  EXPECT_EQ(Names(10), (Result{0, "\0"s}));
  EXPECT_EQ(String(nullptr, nullptr, "DEF", 10), (Result{0, "\0"s}));
  EXPECT_EQ(Section("s", 10), (Result{0, "\0\0"s}));
  EXPECT_EQ(pf::profile_get_int("s", "k", 7, file()), 7u);
  const std::string missing_directory = (Ini::directory_ / "no-such-dir" / "x.ini").string();
  const std::string directory = Ini::directory_.string();
  for (const std::string& name : {missing_directory, directory, std::string()}) {
    char buffer[10];
    EXPECT_EQ(pf::profile_get_string("s", "k", "DEF", buffer, 10, name.c_str()), 3u) << name;
    EXPECT_FALSE(pf::profile_write_string("s", "k", "v", name.c_str())) << name;
    // Wine 8.0 reports success for a section written to "", though it writes nothing.
    EXPECT_EQ(pf::profile_write_section("s", "k=v\0", name.c_str()), OnWine() && name.empty())
        << name;
  }
  EXPECT_FALSE(fs::exists(missing_directory));
  EXPECT_FALSE(Write(nullptr, "k", "v"));
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_TRUE(Write("s", "k", nullptr));  // Windows creates an empty file, Wine none
  EXPECT_TRUE(Write("s", nullptr, nullptr));
  EXPECT_EQ(fs::exists(path_), Expect(true, false));
  EXPECT_EQ(Expect(true, false), Write(nullptr, nullptr, nullptr));  // the "flush" call
  Put("");
  EXPECT_EQ(Names(10), (Result{0, "\0"s}));
  ASSERT_TRUE(Write("s", "k", "v"));
  EXPECT_EQ(Bytes(), "[s]\r\nk=v\r\n");
}

TEST_F(Ini, EveryCallSeesTheFileAsItIsNow) {
  Put("[s]\r\nk=1\r\n");
  EXPECT_EQ(Value("s", "k"), "1");
  Put("[s]\r\nk=2\r\n");
  EXPECT_EQ(Value("s", "k"), "2");
  fs::remove(path_);
  EXPECT_EQ(Value("s", "k"), "DEF");
}

TEST_F(Ini, ANameWithoutSeparatorIsInTheWindowsDirectory) {
  const fs::path previous = fs::current_path();
  fs::current_path(Ini::directory_);
  const std::string name = "kav-bare-" + std::to_string(std::random_device{}()) + ".ini";
  std::ofstream(name, std::ios::binary) << "[s]\r\nk=here\r\n";
  char buffer[20];
  pf::profile_get_string("s", "k", "DEF", buffer, 20, name.c_str());
  EXPECT_STREQ(buffer, "DEF");
  pf::profile_get_string("s", "k", "DEF", buffer, 20, ("./" + name).c_str());
  EXPECT_STREQ(buffer, "here");
  fs::current_path(previous);
  const auto windows = pf::special_folder(pf::Folder::kWindows);
  if (std::getenv("SYSTEMROOT") != nullptr && windows) {  // a Windows directory we may write to
    ASSERT_TRUE(pf::profile_write_string("s", "k", "there", name.c_str()));
    const std::string full = *windows + pf::kSeparator + name;
    pf::profile_get_string("s", "k", "DEF", buffer, 20, full.c_str());
    EXPECT_STREQ(buffer, "there");
    fs::remove(full);
  }
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

TEST_F(Ini, NewSectionsAndKeysGoAtTheEndOfTheirPlace) {
  const char* writes[][2] = {
      {"App1", "key1"}, {"App2", "key4"}, {"App1", "key2"}, {"App3", "key5"}, {"App1", "key3"}};
  for (const auto& w : writes) {
    ASSERT_TRUE(Write(w[0], w[1], ("string"s + w[1][3]).c_str()));
  }
  EXPECT_EQ(Bytes(),
            "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
            "[App3]\r\nkey5=string5\r\n");
  const struct {
    const char *before, *section, *key, *value, *after;
  } cases[] = {{"[App]\r\nkey=string\r\nkey2=two\r\nkey3=three\r\n", "App", "key2", "TWO",
                "[App]\r\nkey=string\r\nkey2=TWO\r\nkey3=three\r\n"},
               {"[a]\r\nk=1\r\n;c\r\nbare\r\n[b]\r\nj=2\r\n", "a", "n", "3",
                "[a]\r\nk=1\r\n;c\r\nbare\r\nn=3\r\n[b]\r\nj=2\r\n"},
               {"[s]\r\nname3\r\nk=1\r\n", "s", "name3", "v", "[s]\r\nname3=v\r\nk=1\r\n"},
               {"[MySection]\r\nMyKey=Value\r\n", "MYSECTION", "MYKEY", "NewValue",
                "[MySection]\r\nMyKey=NewValue\r\n"},
               {"[s]\r\na=1\r\n[t]\r\nx=1\r\n[S]\r\nonly2=yes\r\n", "s", "only2", "new",
                "[s]\r\na=1\r\nonly2=new\r\n[t]\r\nx=1\r\n[S]\r\nonly2=yes\r\n"},
               {"[App]\r\nk=1\r\n", "  App  ", "  new  ", "v", "[App]\r\nk=1\r\nnew  =v\r\n"},
               {"[App]\r\n", "  New  ", "x", "1", "[App]\r\n[New  ]\r\nx=1\r\n"},
               {"[s]\r\nk=1", "s", "j", "2", "[s]\r\nk=1\r\nj=2\r\n"},
               {"[s]\r\n", "s", "key", "", "[s]\r\nkey=\r\n"},
               {"[s]\r\n", "s", "key2", " \t v2  ", "[s]\r\nkey2=v2  \r\n"},
               {"[s]\r\n", "s", "q", "\"q\"", "[s]\r\nq=\"q\"\r\n"},
               {"[s]\r\n", "s", "a=b", "v", "[s]\r\na=b=v\r\n"},
               {"[s]\r\n", "s", "crlf", "line1\r\nline2=x", "[s]\r\ncrlf=line1\r\nline2=x\r\n"}};
  for (const auto& c : cases) {
    Put(c.before);
    ASSERT_TRUE(Write(c.section, c.key, c.value));
    EXPECT_EQ(Bytes(), c.after) << c.before << " + " << c.key;
  }
  EXPECT_EQ(Value("s", "line2"), "x");
  char top[] = "";
  Put("top=1\r\n[s]\r\nk=1\r\n");
  ASSERT_TRUE(Write(top, "new", "v"));
  ASSERT_TRUE(Write(top, "top", "2"));
  EXPECT_EQ(Bytes(), "top=2\r\nnew=v\r\n[s]\r\nk=1\r\n");
}

TEST_F(Ini, AWriteChangesOnlyTheLinesItConcerns) {
  const std::string odd = "[s]\r\n  a = 1  \r\n\r\n[ t ] tail\r\n";
  Put(odd);
  ASSERT_TRUE(Write("S", "A", "1"));  // the same value: the file is not written at all
  EXPECT_EQ(Bytes(), odd);
  Put(";head\r\n\r\njunk line\r\n[s]\r\n  a = 1  \r\n\r\n;c2\r\nbare\r\n#h=2\r\n\r\n[ t ] tail\r\n"
      " x = 1\r\n\r\n");
  ASSERT_TRUE(Write("s", "a", "2"));
  EXPECT_EQ(Value("s", "a"), "2");
  EXPECT_EQ(Value("s", "#h"), "2");
  EXPECT_EQ(Value("t", "x"), "1");
  if (!OnWine()) {
    EXPECT_EQ(
        Bytes(),
        ";head\r\n\r\njunk line\r\n[s]\r\na=2\r\n\r\n;c2\r\nbare\r\n#h=2\r\n\r\n[ t ] tail\r\n"
        " x = 1\r\n\r\n");
    Put("[s]\nk=1\n\n[t]\nx=1\n");  // new lines end like the file's first line
    ASSERT_TRUE(Write("s", "j", "2"));
    ASSERT_TRUE(Write("u", "y", "3"));
    EXPECT_EQ(Bytes(), "[s]\nk=1\nj=2\n\n[t]\nx=1\n[u]\ny=3\n");
  }
}

TEST_F(Ini, DeletionsRemoveLinesAndSections) {
  const struct {
    const char *before, *section, *key, *after;
  } cases[] = {
      {"[x]\r\nk=1\r\n[y]\r\nj=2\r\n", "x", "k", "[x]\r\n[y]\r\nj=2\r\n"},
      {"[s]\r\na=1\r\n[t]\r\nx=1\r\n[S]\r\nonly2=yes\r\n", "s", "only2",
       "[s]\r\na=1\r\n[t]\r\nx=1\r\n[S]\r\n"},
      {"[s]\r\nbare\r\nk=1\r\n", "s", "bare", "[s]\r\nk=1\r\n"},
      {";top\r\n[a]\r\nk=1\r\n;c\r\nbare\r\n[b]\r\nj=2\r\n", "a", nullptr,
       ";top\r\n[b]\r\nj=2\r\n"},
      {"[a]\r\nk=1\r\n;about b\r\n[b]\r\nj=2\r\n", "b", nullptr, "[a]\r\nk=1\r\n;about b\r\n"},
      {"[a]\r\nk=1\r\n", "  a  ", "  k  ", "[a]\r\nk=1\r\n"},  // names compared untrimmed
      {"[a]\r\nk=1\r\n", "  a  ", nullptr, "[a]\r\nk=1\r\n"},
      {"[a]\r\nk=1\r\n", "a", "missing", "[a]\r\nk=1\r\n"},
      {"[a]\r\nk=1\r\n", "missing", nullptr, "[a]\r\nk=1\r\n"}};
  for (const auto& c : cases) {
    Put(c.before);
    EXPECT_TRUE(Write(c.section, c.key, nullptr));
    EXPECT_EQ(Bytes(), c.after) << c.before << " - " << (c.key ? c.key : "section");
  }
  Put("[s]\r\nk=first\r\nk=second\r\n");
  ASSERT_TRUE(Write("s", "k", nullptr));
  EXPECT_EQ(Value("s", "k"), "second");
}

TEST_F(Ini, WriteSectionReplacesTheEntries) {
  Put(";top\r\n[a]\r\nx=1\r\n;comment in a\r\ny=2\r\nbare\r\n[b]\r\nz=3\r\n");
  ASSERT_TRUE(pf::profile_write_section("a", "n1=v1\0n2=v2\0", file()));
  EXPECT_EQ(Bytes(), Expect(";top\r\n[a]\r\nn1=v1\r\n;comment in a\r\nn2=v2\r\n[b]\r\nz=3\r\n"s,
                            ";top\r\n[a]\r\nn1=v1\r\nn2=v2\r\n[b]\r\nz=3\r\n"s));
  const struct {
    const char *before, *section;
    std::string entries;
    const char* after;
  } cases[] = {{"[a]\r\n", "n", "  spaced  =  val  \0noequals\0k=1\0k=2\0=empty\0q=\"quoted\"\0"s,
                "[a]\r\n[n]\r\nspaced  =val  \r\nk=1\r\nk=2\r\n=empty\r\nq=\"quoted\"\r\n"},
               {"[a]\r\nx=1\r\n", "a", ""s, "[a]\r\n"},
               {"[a]\r\nx=1\r\n", "a", "a=1\r\nb=2\0"s, "[a]\r\na=1\r\nb=2\r\n"},
               {"[s]\r\na=1\r\n[t]\r\nx=1\r\n[S]\r\nb=2\r\n", "s", "c=3\0"s,
                "[s]\r\nc=3\r\n[t]\r\nx=1\r\n[S]\r\n"},
               {"[a]\r\nold=1\r\n", "  a  ", "new=2\0"s, "[a]\r\nold=1\r\nnew=2\r\n"}};
  for (const auto& c : cases) {
    Put(c.before);
    const std::string entries = c.entries + '\0';
    ASSERT_TRUE(pf::profile_write_section(c.section, entries.c_str(), file()));
    EXPECT_EQ(Bytes(), c.after) << c.before;
  }
  ASSERT_TRUE(pf::profile_write_section("a", nullptr, file()));
  EXPECT_EQ(Bytes(), "");
  EXPECT_EQ(pf::profile_write_section(nullptr, nullptr, file()), Expect(true, false));
}

// ---------------------------------------------------------------------------
// Structs and integers
// ---------------------------------------------------------------------------

TEST_F(Ini, StructsAreHexWithAChecksum) {
  const struct {
    std::string data, stored;
  } writes[] = {{"abacus\0"s, "616261637573006F"},
                {"\xff", "FFFF"},
                {"\x80\x80\x80\x80", "8080808000"},
                {"", "00"}};
  for (const auto& w : writes) {
    Put("");
    ASSERT_TRUE(pf::profile_write_struct("s", "key", w.data.data(), w.data.size(), file()));
    EXPECT_EQ(Bytes(), "[s]\r\nkey=" + w.stored + "\r\n");
    std::string back(w.data.size(), '?');
    EXPECT_TRUE(pf::profile_get_struct("s", "key", back.data(), back.size(), file()));
    EXPECT_EQ(back, w.data);
  }
  const struct {
    const char* stored;
    uint32_t size;
    bool ok;
    std::string data;
  } reads[] = {{"616261637573006F", 7, true, "abacus\0"s},
               {"  0a0b15  ", 2, true, "\x0a\x0b"},
               {"00", 0, true, ""},
               {"616261637573006F", 6, false, ""},
               {"01020", 2, false, ""},
               {"01 0203", 2, false, ""},
               {"0102FF", 2, false, ""},
               {"636163747573008Q", 7, false, ""},
               {"0G10", 1, Expect(false, true), "\x10"},
               {"010203FFFF", 2, Expect(false, true), "\1\2"}};
  for (const auto& r : reads) {
    Put("[s]\r\nk=" + std::string(r.stored) + "\r\n");
    std::string data(r.size, '?');
    EXPECT_EQ(pf::profile_get_struct("s", "k", data.data(), r.size, file()), r.ok) << r.stored;
    if (r.ok) {
      EXPECT_EQ(data, r.data) << r.stored;
    } else if (!OnWine()) {  // Wine may have written part of the data
      EXPECT_EQ(data, std::string(r.size, '?')) << r.stored;
    }
  }
  char data[4];
  EXPECT_FALSE(pf::profile_get_struct("s", "missing", data, 0, file()));
  EXPECT_FALSE(pf::profile_get_struct("s", "k", data, 4, (path_ + ".none").c_str()));
  Put("[s]\r\na=1\r\nk=00\r\n[t]\r\nx=1\r\n");
  ASSERT_TRUE(pf::profile_write_struct("s", "k", nullptr, 4, file()));
  ASSERT_TRUE(pf::profile_write_struct("t", nullptr, data, 4, file()));
  EXPECT_EQ(Bytes(), "[s]\r\na=1\r\n");
  EXPECT_EQ(pf::profile_write_struct(nullptr, nullptr, nullptr, 0, file()), Expect(true, false));
}

TEST_F(Ini, IntegersFollowTheNtRules) {
  const struct {
    std::string stored;
    int32_t expected;
  } cases[] = {{"42", 42},
               {"-42", -42},
               {"0x1F", 31},
               {"0X1f", 0},
               {"-0x10", -16},
               {"0x-5", 0},
               {"0o17", 15},
               {"010", 10},
               {"4294967295", -1},
               {"4294967296", 0},
               {"-4294967297", -1},
               {"2147483648", INT32_MIN},
               {"-2147483649", INT32_MAX},
               {"99999999999999999999", 1661992959},
               {"0xfffffffff", -1},
               {"abc", 0},
               {"--5", 0},
               {"102abc", 102},
               {"1 2", 1},
               {"12;c", 12},
               {"\t 9 ", 9},
               {"\" 7\"", 7},
               {"42A94967297", 42},
               {std::string(28, '0') + "123", 1}};  // only 29 characters count
  for (const auto& c : cases) {
    Put("[s]\r\nn=" + c.stored + "\r\n");
    EXPECT_EQ(pf::profile_get_int("s", "n", 99, file()), static_cast<uint32_t>(c.expected))
        << c.stored;
  }
  Put("[s]\r\nempty=\r\nblank=   \r\nbare\r\n");
  for (const char* key : {"empty", "blank", "bare", "missing"}) {
    EXPECT_EQ(pf::profile_get_int("s", key, -3, file()), 4294967293u) << key;
  }
  Put("[77]\r\n[s]\r\n12=x\r\n");  // a null name reads the list and parses its first name
  EXPECT_EQ(pf::profile_get_int(nullptr, "k", 5, file()), 77u);
  EXPECT_EQ(pf::profile_get_int("s", nullptr, 5, file()), 12u);
}

// ---------------------------------------------------------------------------
// Encodings
// ---------------------------------------------------------------------------

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string out = big_endian ? "\xfe\xff" : "\xff\xfe";
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += big_endian ? high : low;
    out += big_endian ? low : high;
  }
  return out;
}

TEST_F(Ini, ByteOrderMarksChooseTheEncoding) {
  const std::string cafe = AnsiCodePage() ? "caf\xe9" : "caf\xc3\xa9";
  Put("\xef\xbb\xbf[s]\r\nk=caf\xc3\xa9\r\n");
  EXPECT_EQ(Value("s", "k"), cafe);
  Put("[s]\r\nk=caf\xc3\xa9\r\n\xef\xbb\xbfk2=v\r\n");
  EXPECT_EQ(Value("s", "k"), "caf\xc3\xa9");
  EXPECT_EQ(Value("s", "\xef\xbb\xbfk2"), "v");
  EXPECT_EQ(Value("s", "k2"), "DEF");
  for (bool big_endian : {false, true}) {
    Put(Utf16(u"[s]\r\nk=caf\u00e9\r\nface=\U0001F600\r\n", big_endian));
    EXPECT_EQ(Value("s", "k"), cafe);
    ASSERT_TRUE(Write("s", "k2", "v"));
    EXPECT_EQ(Bytes(), Utf16(u"[s]\r\nk=caf\u00e9\r\nface=\U0001F600\r\nk2=v\r\n", big_endian));
  }
  Put("[\0s\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s);  // UTF-16 without a mark is not read as such
  EXPECT_EQ(Names(10), (Result{0, "\0"s}));
  EXPECT_EQ(Value("s", "k"), "DEF");
  Put("\xef\xbb\xbf");
  ASSERT_TRUE(Write("s", "k", "v"));
  EXPECT_EQ(Bytes(), "\xef\xbb\xbf[s]\r\nk=v\r\n");
  ASSERT_TRUE(Write("s", "new", AnsiCodePage() ? "\xe9\x80" : "\xc3\xa9\xe2\x82\xac"));
  EXPECT_EQ(Bytes(), "\xef\xbb\xbf[s]\r\nk=v\r\nnew=\xc3\xa9\xe2\x82\xac\r\n");
  Put("[s]\r\nk=v\r\n");
  ASSERT_TRUE(Write("s", "raw", "\xe9\x80\x81"));  // a file without mark takes bytes as they are
  EXPECT_EQ(Value("s", "raw"), "\xe9\x80\x81");
  EXPECT_EQ(Bytes(), "[s]\r\nk=v\r\nraw=\xe9\x80\x81\r\n");
}

}  // namespace

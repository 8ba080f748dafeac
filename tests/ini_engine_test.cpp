// ini_engine_test.cpp - the private-profile functions of platform.h against the behaviour of
// Windows' GetPrivateProfile*A and WritePrivateProfile*A: natively against kavutil's own engine,
// in the Windows build against the system's functions under Wine.  Where Wine 8.0 is known to
// differ from Windows, Expect() names both results (the engine follows Windows); Wine rewrites the
// whole file on every change, so checks that untouched bytes stay run only elsewhere.

#include <cstdint>
#include <string_view>
#include <tuple>

#include "support.h"

namespace {

using namespace kavtest;
namespace pf = kav::platform;
using namespace std::string_literals;

bool OnWine() { return pf::wine_version().has_value(); }

template <typename T>
T Expect(T windows, T wine) {
  return OnWine() ? wine : windows;
}

struct Result {
  uint32_t ret;
  std::string bytes;  // the buffer up to the last byte the call wrote
  bool operator==(const Result&) const = default;
  friend void PrintTo(const Result& r, std::ostream* out) {
    *out << r.ret << " " << ::testing::PrintToString(r.bytes);
  }
};

// What Wine 8.0 writes for a truncated list: the same, without the final NUL at buf[N-1].
Result WithoutLastNul(Result windows) {
  return Expect(windows, Result{windows.ret, windows.bytes.substr(0, windows.bytes.size() - 1)});
}

// Runs call on a buffer of size bytes (and some more) filled with a byte that no call writes.
template <typename Call>
Result Capture(uint32_t size, Call call) {
  std::string buffer(size + 8, '\x01');
  const uint32_t ret = call(buffer.data(), size);
  buffer.erase(buffer.find_last_not_of('\x01') + 1);
  return {ret, buffer};
}

class Ini : public InDirectory {
 protected:
  void SetUp() override {
    InDirectory::SetUp();
    path_ = At("test.ini");
  }
  const char* file() const { return path_.c_str(); }
  // Replaces the file through a rename, as an editor saving it would.
  void Put(const std::string& bytes) const {
    WriteFile(path_ + ".new", bytes);
    fs::rename(path_ + ".new", path_);
  }
  std::string Bytes() const { return ReadFile(path_); }
  Result String(const char* section, const char* key, const char* fallback, uint32_t size) const {
    return Capture(size, [&](char* buffer, uint32_t n) {
      return pf::profile_get_string(section, key, fallback, buffer, n, file());
    });
  }
  // The value as a string, "DEF" when the key is missing; in another file when one is named.
  std::string Value(const char* section, const char* key, const char* in = nullptr) const {
    char buffer[4096];
    return std::string(buffer, pf::profile_get_string(section, key, "DEF", buffer, 4096,
                                                      in != nullptr ? in : file()));
  }
  // Rows of section, key and value (as Value gives it).
  template <size_t N>
  void ExpectValues(const char* const (&rows)[N][3]) const {
    for (const auto& [section, key, value] : rows)
      EXPECT_EQ(Value(section, key), value) << section << "." << key;
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

  std::string path_;
};

TEST_F(Ini, ValueLookupFollowsTheLineRules) {
  Put("[s]\r\n  key1  =  value one  \r\nmy key = a  b \r\nk=a=b=c\r\n"
      "empty=\r\n\"qk\"=1\r\n;k=commented\r\n#hash=1\r\nv=v ; not a comment\r\n"
      "bare\r\nbare=hidden\r\ndup=first\r\ndup=second\r\n[ spaced ]\r\nx=1\r\n"
      "[tail] junk here\r\nt=1\r\n[x]y]\r\nxy=1\r\n[k]=v\r\nkk=1\r\n[broken\r\n[broken=3\r\n"
      "[S]\r\nonly2=yes\r\n[MySection]\r\nMyKey=Value\r\n[\xe9t\xe9]\r\ne=1\r\n");
  // A bare line hides later lines of its name; only ASCII letters fold.
  const char* cases[][3] = {
      {"s", "key1", "value one"}, {"s", "my key", "a  b"},   {"s", "k", "a=b=c"},
      {"s", "empty", ""},         {"s", "\"qk\"", "1"},      {"s", ";k", "commented"},
      {"s", "#hash", "1"},        {"s", "bare", "DEF"},      {"s", "dup", "first"},
      {"s", "only2", "DEF"},      {"spaced", "x", "1"},      {"tail", "t", "1"},
      {"x]y", "xy", "1"},         {"k", "kk", "1"},          {"k", "[broken", "DEF"},
      {"\xe9T\xe9", "e", "1"},    {"\xc9T\xc9", "e", "DEF"}, {"MYSECTION", "mykey", "Value"}};
  ExpectValues(cases);
  ExpectValues({{"  s  ", "  key1  ", "value one"}, {"s", "v", "v ; not a comment"}});
  // Empty names find the top or the empty section.  Windows can crash on empty names in read-only
  // memory, so they come from writable buffers.
  char empty[] = "";
  Put("top=1\r\n=noname\r\n[s]\r\n=v\r\n");
  ExpectValues({{empty, "top", "1"}, {"s", empty, "v"}});
  EXPECT_EQ(Section(empty, 50), (Result{14, "top=1\0=noname\0\0"s}));
  Put("\r\nkey=val_no_section\r\n[]\r\nkey=val_e_section\r\n[s]\r\nk=1\r\n");
  EXPECT_EQ(Value(empty, "key"), Expect("val_e_section"s, "val_no_section"s));
  EXPECT_EQ(Section(empty, 50),
            Expect(Result{18, "key=val_e_section\0\0"s}, Result{19, "key=val_no_section\0\0"s}));
}

TEST_F(Ini, QuotesTrailingSpacesAndBufferSizes) {
  const char* values[][2] = {
      {"\"hello\"", "hello"}, {"'hello'", "hello"},      {"\"hello'", "\"hello'"},
      {"\"\"", ""},           {"abc\"", "abc\""},        {"\"ab\"cd\"", "ab\"cd"},
      {"\"", "\""},           {"  \" a b \"  ", " a b "}};
  for (const auto& c : values) {
    Put("[s]\r\nq=" + std::string(c[0]) + "\r\n");
    EXPECT_EQ(Value("s", "q"), c[1]) << c[0];
  }
  const char* defaults[][2] = {{"DEF   ", "DEF"}, {"  DEF", "  DEF"}, {"DEF\t", "DEF\t"},
                               {"   ", " "},      {"\"D \"  ", "D "}, {"\"dflt", "\"dflt"},
                               {nullptr, ""}};
  for (const auto& c : defaults)
    EXPECT_EQ(String("s", "k", c[0], 50), (Result{uint32_t(strlen(c[1])), c[1] + "\0"s})) << c[0];
  Put("[s]\r\nk=abcdef\r\nq=\"abcdef\"\r\n");
  const std::tuple<const char*, const char*, uint32_t, Result> sizes[] = {
      {"k", "", 0, {0, ""}},         {"k", "", 1, {0, "\0"s}},
      {"k", "", 6, {5, "abcde\0"s}}, {"k", "", 7, {6, "abcdef\0"s}},
      {"q", "", 6, {5, "abcde\0"s}}, {"missing", "DEFAULT", 4, {3, "DEF\0"s}}};
  for (const auto& [key, fallback, size, result] : sizes)
    EXPECT_EQ(String("s", key, fallback, size), result) << key << " in " << size;
  // Wine cuts a quoted value one character short when the buffer fits it exactly.
  EXPECT_EQ(String("s", "q", "", 7), Expect(Result{6, "abcdef\0"s}, Result{5, "abcde\0"s}));
}

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
  // An empty key list, or one that starts with an empty name, gives the default.
  Put("[s]\r\n=first\r\nk=v\r\n[m]\r\nk=v\r\n=mid\r\nj=w\r\n");
  EXPECT_EQ(String("none", nullptr, nullptr, 50), (Result{0, "\0"s}));
  EXPECT_EQ(String("s", nullptr, "DEF", 50), (Result{3, "DEF\0"s}));
  EXPECT_EQ(String("m", nullptr, "DEF", 50), (Result{5, "k\0\0j\0\0"s}));
}

// A list that does not fit with a byte to spare keeps its first N-2 bytes and two NULs.  Wine 8.0
// leaves the second of them unwritten, except in GetPrivateProfileSection.
TEST_F(Ini, TruncatedListsEndWithTwoNuls) {
  struct Row {
    uint32_t size;
    Result windows;
  };
  const auto cut = [](const Row& row, uint32_t full_size) {
    return row.size >= 2 && row.size <= full_size ? WithoutLastNul(row.windows) : row.windows;
  };
  Put("[k]\r\nab=1\r\ncd=22\r\n");  // keys "ab\0cd\0\0", 7 bytes; lines 12 bytes
  for (const Row& row : {Row{0, {0, ""}}, Row{3, {1, "a\0\0"s}}, Row{7, {5, "ab\0cd\0\0"s}},
                         Row{8, {6, "ab\0cd\0\0"s}}}) {
    EXPECT_EQ(String("k", nullptr, "DEF", row.size), cut(row, 7)) << row.size;
  }
  // Wine then finds the list empty and gives the default.
  EXPECT_EQ(String("k", nullptr, "DEF", 2), Expect(Result{0, "\0\0"s}, Result{1, "D\0"s}));
  for (const Row& row : {Row{6, {4, "ab=1\0\0"s}}, Row{12, {10, "ab=1\0cd=22\0\0"s}},
                         Row{13, {11, "ab=1\0cd=22\0\0"s}}}) {
    EXPECT_EQ(Section("k", row.size), row.windows) << row.size;
  }
  Put("[k]\r\n[t]\r\n[uu]\r\n");  // "k\0t\0uu\0\0", 8 bytes
  for (const Row& row : {Row{1, {0, "\0"s}}, Row{2, {0, "\0\0"s}}, Row{4, {2, "k\0\0\0"s}},
                         Row{8, {6, "k\0t\0uu\0\0"s}}, Row{9, {7, "k\0t\0uu\0\0"s}}}) {
    EXPECT_EQ(Names(row.size), cut(row, 8)) << row.size;
    EXPECT_EQ(String(nullptr, nullptr, "DEF", row.size), cut(row, 8)) << row.size;
  }
}

TEST_F(Ini, LinesEndAtCrOrLfAndNamesAndValuesAtNul) {
  Put("[lf]\nk=lf\n[cr]\rk=cr\r[crlf]\r\nk=crlf\r\n[crcr]\r\r\nk=crcrlf\n\n[last]\r\n"
      "k=no-final-newline");
  for (const char* s : {"lf", "cr", "crlf"}) EXPECT_EQ(Value(s, "k"), s);
  ExpectValues({{"crcr", "k", "crcrlf"}, {"last", "k", "no-final-newline"}});
  Put("[s]\r\nk=ab\rcd=ef");
  ExpectValues({{"s", "k", "ab"}, {"s", "cd", "ef"}});
  Put("[s]\r\nk=a\0b\r\nn\0x=1\r\n\0[t]\r\nj=2\r\n"s);
  ExpectValues({{"s", "k", "a"}, {"s", "n", "1"}, {"s", "j", "2"}});  // "\0[t]" is no header
  EXPECT_EQ(Names(50), (Result{2, "s\0\0"s}));
  Put("[s]\r\n\0\r\nk=v\r\n"s);  // a line that starts with NUL is empty
  EXPECT_EQ(Section("s", 50), (Result{4, "k=v\0\0"s}));
  if (!OnWine()) {  // Wine drops what follows a NUL when it rewrites the file
    Put("Data \0 before \0 first \0 section\r\n[s]\r\nk=1\r\n"s);
    ASSERT_TRUE(Write("s", "k", "2"));
    EXPECT_EQ(Bytes(), "Data \0 before \0 first \0 section\r\n[s]\r\nk=2\r\n"s);
  }
}

TEST_F(Ini, MissingFilesAndBareNames) {
  EXPECT_EQ(String("s", "k", "DEF", 10), (Result{3, "DEF\0"s}));
  EXPECT_EQ(Names(10), (Result{0, "\0"s}));
  const std::string missing_directory = At("no-such-dir/x.ini");
  for (const std::string& name : {missing_directory, dir_.string(), std::string()}) {
    EXPECT_EQ(Value("s", "k", name.c_str()), "DEF") << name;
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

  // A name without separator is in the Windows directory.
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  const std::string name = "kav-bare-" + std::to_string(std::random_device{}()) + ".ini";
  WriteFile(name, "[s]\r\nk=here\r\n");
  EXPECT_EQ(Value("s", "k", name.c_str()), "DEF");
  EXPECT_EQ(Value("s", "k", ("./" + name).c_str()), "here");
  fs::current_path(previous);
}

// New sections and keys go at the end of their place; deletions (a null value) remove lines.
TEST_F(Ini, WritesAddAtTheEndOfTheirPlaceAndDeletionsRemoveLines) {
  ASSERT_TRUE(Write("App1", "key1", "string1") && Write("App2", "key4", "string4") &&
              Write("App1", "key2", "string2"));
  EXPECT_EQ(Bytes(), "[App1]\r\nkey1=string1\r\nkey2=string2\r\n[App2]\r\nkey4=string4\r\n");
  const struct {
    const char *before, *section, *key, *value, *after;
  } cases[] = {{"[a]\r\nk=1\r\n;c\r\nbare\r\n[b]\r\nj=2\r\n", "a", "n", "3",
                "[a]\r\nk=1\r\n;c\r\nbare\r\nn=3\r\n[b]\r\nj=2\r\n"},
               {"[s]\r\nname3\r\nk=1\r\n", "s", "name3", "v", "[s]\r\nname3=v\r\nk=1\r\n"},
               {"[MySection]\r\nMyKey=Value\r\n", "MYSECTION", "MYKEY", "NewValue",
                "[MySection]\r\nMyKey=NewValue\r\n"},
               {"[s]\r\na=1\r\n[t]\r\nx=1\r\n[S]\r\nonly2=yes\r\n", "s", "only2", "new",
                "[s]\r\na=1\r\nonly2=new\r\n[t]\r\nx=1\r\n[S]\r\nonly2=yes\r\n"},
               {"[App]\r\nk=1\r\n", "  App  ", "  new  ", "v", "[App]\r\nk=1\r\nnew  =v\r\n"},
               {"[App]\r\n", "  New  ", "x", "1", "[App]\r\n[New  ]\r\nx=1\r\n"},
               {"[s]\r\nk=1", "s", "j", "2", "[s]\r\nk=1\r\nj=2\r\n"},
               {"[s]\r\na=1\r\n[t]\r\nx=1\r\n[S]\r\nonly2=yes\r\n", "s", "only2", nullptr,
                "[s]\r\na=1\r\n[t]\r\nx=1\r\n[S]\r\n"},
               {"[s]\r\nbare\r\nk=1\r\n", "s", "bare", nullptr, "[s]\r\nk=1\r\n"},
               {";top\r\n[a]\r\nk=1\r\n;c\r\nbare\r\n[b]\r\nj=2\r\n", "a", nullptr, nullptr,
                ";top\r\n[b]\r\nj=2\r\n"},
               {"[a]\r\nk=1\r\n;about b\r\n[b]\r\nj=2\r\n", "b", nullptr, nullptr,
                "[a]\r\nk=1\r\n;about b\r\n"},
               // Deletions compare names untrimmed.
               {"[a]\r\nk=1\r\n", "  a  ", "  k  ", nullptr, "[a]\r\nk=1\r\n"},
               {"[a]\r\nk=1\r\n", "  a  ", nullptr, nullptr, "[a]\r\nk=1\r\n"}};
  for (const auto& c : cases) {
    Put(c.before);
    ASSERT_TRUE(Write(c.section, c.key, c.value));
    EXPECT_EQ(Bytes(), c.after) << c.before << " + " << c.key << "=" << c.value;
  }
  Put("[s]\r\nk=first\r\nk=second\r\n");
  ASSERT_TRUE(Write("s", "k", nullptr));
  EXPECT_EQ(Value("s", "k"), "second");
  // Values are stored as given, but for leading blanks.
  Put("[s]\r\n");
  ASSERT_TRUE(Write("s", "key", "") && Write("s", "q", "\"q\"") && Write("s", "a=b", "v"));
  // Last, as Wine drops the trailing blanks of values when it rewrites the file.
  ASSERT_TRUE(Write("s", "crlf", "line1\r\nline2=x") && Write("s", "key2", " \t v2  "));
  EXPECT_EQ(Bytes(), "[s]\r\nkey=\r\nq=\"q\"\r\na=b=v\r\ncrlf=line1\r\nline2=x\r\nkey2=v2  \r\n");
  EXPECT_EQ(Value("s", "line2"), "x");
  char top[] = "";
  Put("top=1\r\n[s]\r\nk=1\r\n");
  ASSERT_TRUE(Write(top, "new", "v") && Write(top, "top", "2"));
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
  ExpectValues({{"s", "a", "2"}, {"s", "#h", "2"}, {"t", "x", "1"}});
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

TEST_F(Ini, StructsAreHexWithAChecksum) {
  const struct {
    std::string data, stored;
  } writes[] = {{"abacus\0"s, "616261637573006F"}, {"\x80\x80\x80\x80", "8080808000"}, {"", "00"}};
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
  } reads[] = {{"  0a0b15  ", 2, true, "\x0a\x0b"},
               {"0102FF", 2, false, "??"},
               {"010283", 2, false, "??"},  // the sum differs in its high bit only
               {"0G10", 1, Expect(false, true), Expect("?"s, "\x10"s)},
               {"010203FFFF", 2, Expect(false, true), Expect("??"s, "\1\2"s)}};
  for (const auto& r : reads) {
    Put("[s]\r\nk=" + std::string(r.stored) + "\r\n");
    std::string data(r.size, '?');
    EXPECT_EQ(pf::profile_get_struct("s", "k", data.data(), r.size, file()), r.ok) << r.stored;
    // A failed read leaves the data as it was; Wine may have written some of it.
    if (r.ok || !OnWine()) {
      EXPECT_EQ(data, r.data) << r.stored;
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
  // Values wrap at 32 bits, and only the first 29 characters count.
  const auto expect = [&](const char* stored, int32_t expected) {
    Put("[s]\r\nn=" + std::string(stored) + "\r\n");
    EXPECT_EQ(int32_t(pf::profile_get_int("s", "n", 99, file())), expected) << stored;
  };
  const std::pair<const char*, int32_t> cases[] = {
      {"-42", -42}, {"0x1F", 31}, {"0X1f", 0}, {"-0x10", -16},  {"0x-5", 0},
      {"0o17", 15}, {"010", 10},  {"--5", 0},  {"102abc", 102}, {"\" 7\"", 7}};
  for (const auto& [stored, expected] : cases) expect(stored, expected);
  expect("2147483648", INT32_MIN);
  expect("-2147483649", INT32_MAX);
  expect("99999999999999999999", 1661992959);
  expect("0000000000000000000000000000123", 1);
  Put("[s]\r\nblank=   \r\n");
  for (const char* key : {"blank", "missing"})
    EXPECT_EQ(pf::profile_get_int("s", key, -3, file()), 4294967293u) << key;
  Put("[77]\r\n[s]\r\n12=x\r\n");  // a null name reads the list and parses its first name
  EXPECT_EQ(pf::profile_get_int(nullptr, "k", 5, file()), 77u);
  EXPECT_EQ(pf::profile_get_int("s", nullptr, 5, file()), 12u);
}

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
  // Windows' ANSI functions hand out a UTF-8 or UTF-16 file in the ANSI code page (1252 here);
  // POSIX hands out UTF-8.
  const std::string cafe = kPosix ? "caf\xc3\xa9" : "caf\xe9";
  Put("\xef\xbb\xbf[s]\r\nk=caf\xc3\xa9\r\n");
  EXPECT_EQ(Value("s", "k"), cafe);
  Put("[s]\r\nk=caf\xc3\xa9\r\n\xef\xbb\xbfk2=v\r\n");  // a mark elsewhere belongs to the text
  ExpectValues({{"s", "k", "caf\xc3\xa9"}, {"s", "\xef\xbb\xbfk2", "v"}});
  for (bool big_endian : {false, true}) {
    Put(Utf16(u"[s]\r\nk=caf\u00e9\r\nface=\U0001F600\r\n", big_endian));
    EXPECT_EQ(Value("s", "k"), cafe);
    ASSERT_TRUE(Write("s", "k2", "v"));
    EXPECT_EQ(Bytes(), Utf16(u"[s]\r\nk=caf\u00e9\r\nface=\U0001F600\r\nk2=v\r\n", big_endian));
  }
  Put("[\0s\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s);  // UTF-16 without a mark is not read as such
  EXPECT_EQ(Value("s", "k"), "DEF");
  Put("\xef\xbb\xbf");
  ASSERT_TRUE(Write("s", "k", "v"));
  EXPECT_EQ(Bytes(), "\xef\xbb\xbf[s]\r\nk=v\r\n");
  ASSERT_TRUE(Write("s", "new", kPosix ? "\xc3\xa9\xe2\x82\xac" : "\xe9\x80"));
  EXPECT_EQ(Bytes(), "\xef\xbb\xbf[s]\r\nk=v\r\nnew=\xc3\xa9\xe2\x82\xac\r\n");
  Put("[s]\r\nk=v\r\n");
  ASSERT_TRUE(Write("s", "raw", "\xe9\x80\x81"));  // a file without mark takes bytes as they are
  EXPECT_EQ(Value("s", "raw"), "\xe9\x80\x81");
  EXPECT_EQ(Bytes(), "[s]\r\nk=v\r\nraw=\xe9\x80\x81\r\n");
}

}  // namespace

// environment_test.cpp - the library's environment (config/environment.cpp): the overlay over
// the process environment, $NAME expansion with instances, the reverse step from a path to $NAME,
// and the line reader.

#include "support.h"

namespace {

const std::string kSep(1, kav::platform::kSeparator);
const std::string kOtherSep = kSep == "/" ? "\\" : "/";
// A drive that no system variable names, so that only the tests' variables match its paths.
const std::string kRoot = (kSep == "/" ? "" : "Q:") + kSep + "kavtest";

class Environment : public ::testing::Test {
 protected:
  void TearDown() override {
    kav_clearenv();
    fill_env_vars_set_instance(-1);
    for (char* entry : given_back_) std::free(entry);
  }
  // Hands a heap copy to the overlay; keep marks an entry that a later put replaces, which the
  // overlay then no longer owns.
  void Put(const std::string& entry, bool keep = false) {
    char* copy = kavtest::PutEnv(entry);
    if (keep) given_back_.push_back(copy);
  }
  std::vector<char*> given_back_;
};

std::string Get(const char* name) {
  const char* value = kav_getenv(name);
  return value != nullptr ? value : "(null)";
}

// The buffer is exactly size bytes, so the sanitizers catch a write past it.
std::string Expand(const std::string& text, size_t size = 1024) {
  std::vector<char> buffer(size);
  std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
  EXPECT_EQ(fill_env_vars(buffer.data(), static_cast<int>(size)), buffer.data());
  return std::string(buffer.data(), strnlen(buffer.data(), size));
}

std::string Reverse(const std::string& path, int mode) {
  std::vector<char> buffer(1024);
  std::memcpy(buffer.data(), path.c_str(), path.size() + 1);
  str2env(buffer.data(), mode);
  return buffer.data();
}

TEST_F(Environment, OverlayOverProcess) {
  Put("KAVTEST_X=1", true);
  Put("KAVTEST_X=2");
  Put("kavtest_x=3");
  EXPECT_EQ(Get("KAVTEST_X"), "2");
  EXPECT_EQ(Get("kavtest_x"), "3");
  char bare[] = "KAVTEST_Y";
  EXPECT_EQ(kav_putenv(bare), -1);
  EXPECT_EQ(kav_putenv(nullptr), -1);

  ASSERT_TRUE(kav::platform::put_environment("KAVTEST_P=process"));
  Put("KAVTEST_PX=prefix only");
  EXPECT_EQ(Get("KAVTEST_P"), "process");
  // Only the overlay's names are always case-sensitive; the process environment's follow getenv.
  EXPECT_EQ(Get("kavtest_p"), kSep == "/" ? "(null)" : "process");
  Put("KAVTEST_P=overlay");
  EXPECT_EQ(Get("KAVTEST_P"), "overlay");

  EXPECT_EQ(kav_clearenv(), 0);
  EXPECT_EQ(Get("KAVTEST_X"), "(null)");
  EXPECT_EQ(Get("KAVTEST_P"), "process");
}

TEST_F(Environment, Expansion) {
  const std::string root = kRoot + kSep + "srv";
  Put("ROOT=" + root);
  Put("DIGIT_1=d");
  const std::string cases[][2] = {{"$ROOT" + kSep + "in", root + kSep + "in"},
                                  {"$ROOT$ROOT", root + "$ROOT"},
                                  {"$NOSUCH\\x", "\\x"},
                                  {"<$DIGIT_1>$", "<d>"},
                                  {"no references", "no references"}};
  for (const auto& c : cases) EXPECT_EQ(Expand(c[0]), c[1]) << c[0];

  const std::string name(63, 'N');
  Put(name + "=v");
  EXPECT_EQ(Expand("$" + name + "XY."), "vXY.");  // the name is cut at 63 characters

  Put("KAVTEST_LONG=" + std::string(3000, 'v'));
  EXPECT_EQ(Expand("$KAVTEST_LONG tail", 100), std::string(99, 'v'));
  EXPECT_EQ(Expand("$ROOT", 6), root.substr(0, 5));
  EXPECT_EQ(Expand("", 1), "");
}

TEST_F(Environment, InstanceBase) {
  const std::string a = kRoot + kSep + "a", b = kRoot + kSep + "b";
  Put("INSTANCE2BASE=" + a + " " + b);
  Put("WORK=$QELINSTANCE_BASE" + kSep + "work");
  Put("TWICE=$QELINSTANCE_BASE:$QELINSTANCE_BASE");
  EXPECT_EQ(Expand("$WORK"), "$QELINSTANCE_BASE" + kSep + "work");
  for (const auto& [instance, base] : {std::pair{1, b}, {0, a}, {9, b}}) {  // 9: the last word
    fill_env_vars_set_instance(instance);
    EXPECT_EQ(Expand("$WORK"), base + kSep + "work") << instance;
  }
  EXPECT_EQ(Expand("$TWICE"), b + ":$QELINSTANCE_BASE");
}

TEST(InstancePath, Words) {
  const std::string long_word(2000, 'w');
  const struct {
    int instance;
    const char* list;
    const char* expected;
  } cases[] = {{0, "A B", "A"},       {5, "A B", "B"},
               {1, "A  B", ""},       {2, "A  B", "B"},
               {-1, "A", nullptr},    {0, "", nullptr},
               {0, nullptr, nullptr}, {1, long_word.c_str(), long_word.c_str()}};
  for (const auto& c : cases) {
    char* path = instance2path(c.instance, c.list);
    if (c.expected == nullptr) {
      EXPECT_EQ(path, nullptr) << c.instance;
    } else {
      EXPECT_EQ(std::string(path), std::string(c.expected).substr(0, 1023)) << c.instance;
    }
    std::free(path);
  }
}

TEST_F(Environment, InstanceToEnvironment) {
  Put("KAVTEST_W=$TOK" + kSep + "work", true);
  Put("KAVTEST_N=plain");
  ASSERT_TRUE(kav::platform::put_environment("KAVTEST_PROC=x$TOKy"));
  instance2env(-1, "a b", "$TOK");
  EXPECT_EQ(Get("KAVTEST_W"), "$TOK" + kSep + "work");
  instance2env(1, "a b", "$TOK");
  EXPECT_EQ(Get("KAVTEST_W"), "b" + kSep + "work");
  EXPECT_EQ(Get("KAVTEST_N"), "plain");
  EXPECT_STREQ(std::getenv("KAVTEST_PROC"), "xby");
}

// The longest value wins; among equal values, names that start with QEL; PWD never counts.
TEST_F(Environment, PathToReference) {
  const std::string data = kRoot + kSep + "data", in = data + kSep + "in", x = kSep + "x";
  const std::string long_name(300, 'L');
  for (const std::string& entry :
       {"DATA=" + data, "DATAIN=" + in, "PLAIN=" + kRoot + "1", "QELONE=" + kRoot + "1",
        "QELTWO=" + kRoot + "2", "OTHER=" + kRoot + "2", "PWD=" + kRoot + "3",
        long_name + "=" + kRoot + "5"})
    Put(entry);
  ASSERT_TRUE(kav::platform::put_environment("KAVTEST_PDIR=" + kRoot + "4"));
  const struct {
    std::string path;
    int mode;
    std::string expected;
  } cases[] = {{data + kSep + "a.txt", 0, "$DATA" + kSep + "a.txt"},
               {in + kSep + "a", 0, "$DATAIN" + kSep + "a"},
               {data + kSep, 0, "$DATA"},
               {data, 0, "$DATA"},
               {data + kOtherSep + "x", 0, "$DATA" + kOtherSep + "x"},
               {data + "base", 0, data + "base"},
               {data + ".txt", 1, "$DATA.txt"},
               {data + x, 1, data + x},
               {kRoot + "1" + x, 0, "$QELONE" + x},
               {kRoot + "2" + x, 0, "$QELTWO" + x},
               {kRoot + "3" + x, 0, kRoot + "3" + x},
               {kRoot + "4" + x, 0, "$KAVTEST_PDIR" + x},
               {kRoot + "5" + x, 0, "$" + long_name.substr(0, 255) + x}};
  for (const auto& c : cases) EXPECT_EQ(Reverse(c.path, c.mode), c.expected) << c.path;
}

TEST(LineReader, DropsLineEnds) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fputs("one\r\n\ntwo\r\r\nabcdefghij\nlast", file);
  std::rewind(file);
  char buffer[8];
  std::vector<std::string> lines;
  while (kav_fgets(buffer, sizeof buffer, file) != nullptr) lines.emplace_back(buffer);
  std::fclose(file);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "", "two", "abcdefg", "hij", "last"}));
}

}  // namespace

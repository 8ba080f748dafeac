// sheaf_test.cpp - colon record files: the documented cases, and the block reader of sheaf_next
// against the definition itself (fgets into a 1024-byte line, split at the colons) over random
// files of short, long and exactly-1023-character lines, CR LF, '|' and NUL bytes: the same
// records in the same order, and the stream left at the same place after each, on byte-mode and
// text-mode streams and on a pipe.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "kavutil.h"
#include "platform/memory.h"

namespace {

struct Result {
  int status = 1;
  std::vector<std::string> fields;
  long position = -1;
  bool operator==(const Result &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Result &r) {
  out << r.status << " at " << r.position << ":";
  for (const auto &f : r.fields) out << " [" << f << "]";
  return out;
}

// What a record holds, after checking that nothing points outside it.
Result Fields(int status, const sheaf_record &record, std::FILE *stream) {
  Result result{status, {}, std::ftell(stream)};
  const char *begin = record.line;
  for (std::uint32_t i = 0; i < SHEAF_MAX_FIELDS; ++i) {
    EXPECT_TRUE(record.fields[i] >= begin && record.fields[i] < begin + SHEAF_LINE_SIZE);
    if (i < record.count) {
      result.fields.push_back(record.fields[i]);
    } else {
      EXPECT_STREQ(record.fields[i], "");
    }
  }
  return result;
}

// The definition: fgets, then every colon cuts a field, '|' is ':', the last field loses one
// LF and one CR; from the 16th field on, the rest of the line stays whole.
Result Definition(const std::string &key, std::FILE *stream) {
  char line[SHEAF_LINE_SIZE];
  while (std::fgets(line, sizeof line, stream) != nullptr) {
    if (std::strncmp(line, key.c_str(), key.size()) != 0 || line[key.size()] != ':') continue;
    Result result{0, {}, std::ftell(stream)};
    std::string rest = line;
    std::size_t colon;
    while (result.fields.size() < 15 && (colon = rest.find(':')) != std::string::npos) {
      result.fields.push_back(rest.substr(0, colon));
      rest.erase(0, colon + 1);
    }
    if (!rest.empty() && rest.back() == '\n') rest.pop_back();
    if (!rest.empty() && rest.back() == '\r') rest.pop_back();
    result.fields.push_back(rest);
    for (auto &field : result.fields)
      for (char &c : field) c = c == '|' ? ':' : c;
    return result;
  }
  return {1, {}, std::ftell(stream)};
}

class SheafTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("kav-sheaf-" + std::to_string(std::random_device{}()) + ".txt"))
                .string();
  }
  void TearDown() override { std::filesystem::remove(path_); }
  void Write(const std::string &bytes) { std::ofstream(path_, std::ios::binary) << bytes; }

  // Every record of key, through sheaf_first and sheaf_next until they report the end.
  std::vector<Result> All(const std::string &key, std::FILE *stream) {
    std::vector<Result> all{Fields(sheaf_first(key.c_str(), &record_, stream), record_, stream)};
    while (all.back().status == 0 && all.size() < 100000)
      all.push_back(Fields(sheaf_next(key.c_str(), &record_, stream), record_, stream));
    return all;
  }

  std::vector<Result> AllByDefinition(const std::string &key, const char *mode) {
    std::FILE *stream = std::fopen(path_.c_str(), mode);
    std::vector<Result> all{Definition(key, stream)};
    while (all.back().status == 0) all.push_back(Definition(key, stream));
    std::fclose(stream);
    return all;
  }

  std::string path_;
  sheaf_record record_{};
};

TEST_F(SheafTest, DocumentedCases) {
  Write("bobby:1\nbob\nbob:1|2:x\r\nalice:a\nbob:\n" + std::string(1000, 'x') + "bob:no\n" +
        std::string(1023, 'y') + "bob:piece:\n" + "k:1:2:3:4:5:6:7:8:9:10:11:12:13:14:15:16:17\n");
  std::FILE *stream = sheaf_open(path_.c_str());
  ASSERT_NE(stream, nullptr);
  using Fields = std::vector<std::string>;
  const auto all = All("bob", stream);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].fields, (Fields{"bob", "1:2", "x"}));
  EXPECT_EQ(all[1].fields, (Fields{"bob", ""}));
  EXPECT_EQ(all[2].fields, (Fields{"bob", "piece", ""}));  // the second piece of a long line
  EXPECT_EQ(all[3].status, 1);
  EXPECT_EQ(record_.count, 0u);

  ASSERT_EQ(sheaf_first("k", &record_, stream), 0);
  EXPECT_EQ(record_.count, 16u);
  EXPECT_STREQ(record_.fields[14], "14");
  EXPECT_STREQ(record_.fields[15], "15:16:17");
  EXPECT_EQ(sheaf_first("", &record_, stream), 1);

  // The stream stays right after the matched line, for the caller's own reads.
  char line[64];
  ASSERT_EQ(sheaf_first("bob", &record_, stream), 0);
  ASSERT_NE(std::fgets(line, sizeof line, stream), nullptr);
  EXPECT_STREQ(line, "alice:a\n");
  EXPECT_EQ(sheaf_close(stream), 0);
  EXPECT_EQ(sheaf_open((path_ + ".missing").c_str()), nullptr);
}

// Past the first 16 lines of a call the file is read in blocks: a key as long as a whole piece
// must not take the next piece's first byte for its colon, and a last line without a line
// end is still a line.
TEST_F(SheafTest, BlockReaderEdges) {
  std::string filler;
  for (int i = 0; i < 20; ++i) filler += "filler:" + std::to_string(i) + "\n";
  const std::string key(1023, 'a');
  Write(filler + key + ":x\n" + filler + "bob:last");
  std::FILE *stream = sheaf_open(path_.c_str());
  EXPECT_EQ(sheaf_first(key.c_str(), &record_, stream), 1);
  ASSERT_EQ(sheaf_first("bob", &record_, stream), 0);
  EXPECT_STREQ(record_.fields[1], "last");
  sheaf_close(stream);
}

TEST(SheafQuote, ColonsBecomeBarsAndReadBack) {
  EXPECT_STREQ(sheaf_quote("a:b:c"), "a|b|c");
  EXPECT_STREQ(sheaf_quote(""), "");
  EXPECT_EQ(std::strlen(sheaf_quote(std::string(5000, ':').c_str())), 1023u);  // cut, not overrun
}

// Random files built from the characters that matter, with lines around the 1023 limit.
std::string RandomFile(std::mt19937 &random) {
  static const std::string kAlphabet("ab::||\r\0x", 9);
  static const std::size_t kLengths[] = {0,    1,    2,    5,    1021, 1022,
                                         1023, 1024, 1025, 2046, 2047, 3000};
  std::string file;
  for (int line = random() % 160; line > 0; --line) {
    const std::size_t length = random() % 3 == 0 ? kLengths[random() % 12] : random() % 12;
    for (std::size_t i = 0; i < length; ++i) file += kAlphabet[random() % kAlphabet.size()];
    if (random() % 8 != 0) file += random() % 4 == 0 ? "\r\n" : "\n";
  }
  return file;
}

TEST_F(SheafTest, BlockReaderFindsWhatTheDefinitionFinds) {
  const std::vector<std::string> keys{"a", "ab", "", "b|", std::string(1022, 'a')};
  std::mt19937 random(20240611);
  for (int round = 0; round < 150; ++round) {
    Write(RandomFile(random));
    for (const std::string &key : keys) {
      for (const char *mode : {"rb", "r"}) {  // "r" translates CR LF on Windows
        std::FILE *stream = std::fopen(path_.c_str(), mode);
        const auto got = All(key, stream);
        std::fclose(stream);
        ASSERT_EQ(got, AllByDefinition(key, mode)) << "round " << round << " key " << key.size();
      }
    }
  }
}

TEST_F(SheafTest, ReadsByLinesWithoutMemoryForBlocks) {
  std::string file;
  for (int i = 0; i < 200; ++i)
    file += "k" + std::to_string(i % 7) + ":" + std::to_string(i) + "\n";
  Write(file);
  const auto expected = AllByDefinition("k3", "rb");
  std::FILE *stream = std::fopen(path_.c_str(), "rb");
  kav::memory::fail_after(0);
  const auto got = All("k3", stream);
  kav::memory::fail_after(-1);
  std::fclose(stream);
  EXPECT_EQ(got, expected);
}

#if !defined(_WIN32)
TEST_F(SheafTest, ReadsAPipeLineByLine) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    Write(RandomFile(random));
    auto expected = AllByDefinition("a", "rb");
    std::FILE *pipe = popen(("cat " + path_).c_str(), "r");
    auto got = All("a", pipe);
    pclose(pipe);
    for (auto *results : {&got, &expected})
      for (auto &r : *results) r.position = 0;  // a pipe has none
    // sheaf_first cannot rewind a pipe: it searches from where the pipe is, the start here.
    ASSERT_EQ(got, expected) << "round " << round;
  }
}
#endif

}  // namespace

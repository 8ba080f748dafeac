// sheaf_test.cpp - colon record files: the documented cases, and sheaf_next against the definition
// (fgets into a 1024-byte line, split at the colons) on random files of lines around 1023
// characters, CR LF, '|' and NUL bytes, and with an empty key.  A missing file is a kav_cli check.

#include "support.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using Records = std::vector<std::string>;  // each: status, fields and position, as text

// The definition: fgets, every colon cuts a field, '|' is ':', the last field loses one LF and
// then one CR; from the 16th field on the rest of the line stays whole.
std::string Definition(const std::string &key, std::FILE *stream) {
  char line[SHEAF_LINE_SIZE];
  while (std::fgets(line, sizeof line, stream) != nullptr) {
    if (std::strncmp(line, key.c_str(), key.size()) != 0 || line[key.size()] != ':') continue;
    std::string rest = line, text = "0 ";
    for (int n = 1; n < 16 && rest.find(':') != std::string::npos; ++n) {
      text += rest.substr(0, rest.find(':')) + '\x01';
      rest.erase(0, rest.find(':') + 1);
    }
    if (!rest.empty() && rest.back() == '\n') rest.pop_back();
    if (!rest.empty() && rest.back() == '\r') rest.pop_back();
    text += rest;
    for (char &c : text) c = c == '|' ? ':' : c == '\x01' ? '|' : c;
    return text + "@" + std::to_string(std::ftell(stream));
  }
  return "1 @" + std::to_string(std::ftell(stream));
}

// The same text for a record, after checking that no field points outside it.
std::string Text(int status, const sheaf_record &r, std::FILE *stream) {
  std::string text = std::to_string(status) + " ";
  for (std::uint32_t i = 0; i < SHEAF_MAX_FIELDS; ++i) {
    EXPECT_TRUE(r.fields[i] >= r.line && r.fields[i] < r.line + SHEAF_LINE_SIZE);
    if (i < r.count) text += std::string(r.fields[i]) + (i + 1 < r.count ? "|" : "");
    EXPECT_TRUE(i < r.count || r.fields[i][0] == '\0');
  }
  return (r.count == 0 ? text.substr(0, 2) : text) + "@" + std::to_string(std::ftell(stream));
}

class SheafTest : public kavtest::InDirectory {
 protected:
  void SetUp() override {
    InDirectory::SetUp();
    path_ = At("records.txt");
  }
  void Write(const std::string &bytes) { kavtest::WriteFile(path_, bytes); }

  Records All(const std::string &key, std::FILE *stream) {
    Records all{Text(sheaf_first(key.c_str(), &record_, stream), record_, stream)};
    while (all.back()[0] == '0')
      all.push_back(Text(sheaf_next(key.c_str(), &record_, stream), record_, stream));
    return all;
  }
  Records ByDefinition(const std::string &key, const char *mode) {
    std::FILE *stream = std::fopen(path_.c_str(), mode);
    Records all{Definition(key, stream)};
    while (all.back()[0] == '0') all.push_back(Definition(key, stream));
    std::fclose(stream);
    return all;
  }

  std::string path_;
  sheaf_record record_{};
};

TEST_F(SheafTest, DocumentedCases) {
  Write("bobby:1\nbob\nbob:1|2:x\r\nalice:a\nbob:\n" + std::string(1000, 'x') + "bob:no\n" +
        std::string(1023, 'y') + "bob:piece:\nk:1:2:3:4:5:6:7:8:9:10:11:12:13:14:15:16:17\n");
  std::FILE *stream = sheaf_open(path_.c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(All("bob", stream), (Records{"0 bob|1:2|x@23", "0 bob|@36", "0 bob|piece|@2077",
                                         "1 @2121"}));  // the third: a long line's second piece
  ASSERT_EQ(sheaf_first("k", &record_, stream), 0);
  EXPECT_EQ(record_.count, 16u);
  EXPECT_STREQ(record_.fields[15], "15:16:17");
  EXPECT_EQ(sheaf_first(std::string(1023, 'y').c_str(), &record_, stream), 1);  // no room for ':'

  char line[64];  // the stream stays after the matched line, for the caller's own reads
  ASSERT_EQ(sheaf_first("bob", &record_, stream), 0);
  EXPECT_STREQ(std::fgets(line, sizeof line, stream), "alice:a\n");
  EXPECT_EQ(sheaf_close(stream), 0);

  EXPECT_STREQ(sheaf_quote("a:b:c"), "a|b|c");
  EXPECT_EQ(std::strlen(sheaf_quote(std::string(5000, ':').c_str())), 1023u);  // cut, not overrun
}

// After the end, sheaf_next finds lines appended since, as sheaf_first does.
TEST_F(SheafTest, NextAfterTheEndFindsLinesAppendedSince) {
  Write("bob:1\n");
  std::FILE *stream = sheaf_open(path_.c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(sheaf_next("bob", &record_, stream), 0);
  EXPECT_EQ(sheaf_next("bob", &record_, stream), 1);
  std::ofstream(path_, std::ios::app | std::ios::binary) << "alice:x\nbob:2\n";
  ASSERT_EQ(sheaf_next("bob", &record_, stream), 0);
  EXPECT_STREQ(record_.fields[1], "2");
  EXPECT_EQ(sheaf_next("bob", &record_, stream), 1);
  sheaf_close(stream);
}

#if !defined(_WIN32)
// sheaf_open never waits: a FIFO without a writer is a file that does not open; one with a
// writer is read, to its end when the writer has gone.
TEST_F(SheafTest, OpenNeverWaitsOnAFifo) {
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_EQ(sheaf_open(path_.c_str()), nullptr);
  const int writer = open(path_.c_str(), O_RDWR | O_CLOEXEC);  // opens without a reader
  ASSERT_GE(writer, 0);
  std::FILE *stream = sheaf_open(path_.c_str());
  ASSERT_NE(stream, nullptr);
  ASSERT_EQ(write(writer, "bob:1\n", 6), 6);
  close(writer);
  EXPECT_EQ(sheaf_next("bob", &record_, stream), 0);
  EXPECT_STREQ(record_.fields[1], "1");
  EXPECT_EQ(sheaf_next("bob", &record_, stream), 1);
  sheaf_close(stream);
}
#endif

// Random files of the characters that matter, with lines around the 1023 limit.
std::string RandomFile(std::mt19937 &random) {
  static const std::string kAlphabet("ab::||\r\0x", 9);
  static const std::size_t kLengths[] = {0, 1, 5, 1021, 1022, 1023, 1024, 1025, 2046, 3000};
  std::string file;
  for (int line = random() % 160; line > 0; --line) {
    const std::size_t length = random() % 3 == 0 ? kLengths[random() % 10] : random() % 12;
    for (std::size_t i = 0; i < length; ++i) file += kAlphabet[random() % kAlphabet.size()];
    if (random() % 8 != 0) file += random() % 4 == 0 ? "\r\n" : "\n";
  }
  return file;
}

TEST_F(SheafTest, FindsWhatTheDefinitionFinds) {
  const std::vector<std::string> keys{"a", "ab", "", "b|", std::string(1022, 'a')};
  std::mt19937 random(20240611);
  for (int round = 0; round < 150; ++round) {
    Write(RandomFile(random));
    for (const std::string &key : keys) {
      std::FILE *stream = std::fopen(path_.c_str(), "rb");
      const Records got = All(key, stream);
      std::fclose(stream);
      ASSERT_EQ(got, ByDefinition(key, "rb")) << "round " << round << ", key of " << key.size();
    }
  }
}

}  // namespace

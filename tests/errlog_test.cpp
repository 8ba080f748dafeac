// errlog_test.cpp - the error log and console prompts (console/errlog.cpp): where a message goes,
// the log-file record, kav_logerrno's line, s_prompterr's directives, texts longer than the
// buffers (the sanitizers catch a write past them), log files that cannot take a record (a FIFO
// without a reader) and a fault at every call of a record's write.  Standard error is captured by
// pointing its descriptor at a file for a moment.

#include "console/errlog.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <regex>
#include <set>

#include "support.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/io.h"
#endif

using namespace kavtest;

namespace {

const std::string kLineEnd = kPosix ? "\n" : "\r\n";  // the log file is written in text mode

class ErrorLog : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = fs::temp_directory_path() / ("kavtest-" + std::to_string(std::random_device{}()));
    ASSERT_TRUE(kav::platform::put_environment("LOGFILE="));  // unset on Windows, empty on POSIX
  }
  void TearDown() override {
    kav_logerr_redirect(nullptr);
    kav_clearenv();
    kav_logerr_id(0);
    fs::remove(log_);
  }
  // Makes LOGFILE the overlay's only entry.
  void LogTo(const std::string& file) {
    kav_clearenv();
    PutEnv("LOGFILE=" + file);
  }
  fs::path log_;
};

// What log() sends to a redirect stream.
template <typename Log>
std::string Redirected(Log log) {
  std::FILE* stream = std::tmpfile();
  if (stream == nullptr) return "(no stream)";
  kav_logerr_redirect(stream);
  log();
  kav_logerr_redirect(nullptr);
  std::string text(30000, '\0');
  std::rewind(stream);
  text.resize(std::fread(text.data(), 1, text.size(), stream));
  std::fclose(stream);
  return text;
}

// What s_prompterr sends to a redirect stream; it must report 1.
template <typename... Args>
std::string Prompt(const char* format, Args... args) {
  return Redirected([&] { EXPECT_EQ(s_prompterr(format, args...), 1); });
}

template <typename Log>
std::string StandardError(const fs::path& capture, Log log) {
  std::FILE* file = std::fopen(capture.string().c_str(), "wb");
  if (file == nullptr) return "(no capture)";
  std::fflush(stderr);
  const int saved = dup(fileno(stderr));
  dup2(fileno(file), fileno(stderr));
  log();
  std::fflush(stderr);
  dup2(saved, fileno(stderr));
  close(saved);
  std::fclose(file);
  return ReadFile(capture);
}

TEST_F(ErrorLog, Destinations) {
  LogTo(log_.string());
  EXPECT_EQ(Redirected([] { EXPECT_EQ(kav_logerr("a %d %s", 5, "b"), 1); }), "a 5 b\n");
  EXPECT_EQ(Redirected([] { EXPECT_EQ(kav_logerr_write("raw %d"), 1); }), "raw %d");
  EXPECT_FALSE(fs::exists(log_));

  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(kav_logerr_redirect(stream), nullptr);
  EXPECT_EQ(kav_logerr_redirect(nullptr), stream);
  std::fclose(stream);
  kav_logerr("to the file");
  EXPECT_TRUE(fs::exists(log_));

  kav_clearenv();  // LOGFILE unset (Windows) or empty (POSIX) in the process environment
  EXPECT_EQ(StandardError(log_, [] { kav_logerr("m %d", 1); }), "m 1\n");
  const fs::path process_log = log_.string() + "-process";
  ASSERT_TRUE(kav::platform::put_environment("LOGFILE=" + process_log.string()));
  LogTo("");  // an empty overlay value hides the process one
  EXPECT_EQ(StandardError(log_, [] { kav_logerr("m %d", 2); }), "m 2\n");
  EXPECT_TRUE(kav::console::errlog::last_text_delivered());
  LogTo((log_ / "missing" / "log").string());  // a log that cannot be opened: lost silently
  EXPECT_EQ(StandardError(log_, [] { EXPECT_EQ(kav_logerr("lost"), 1); }), "");
  EXPECT_FALSE(kav::console::errlog::last_text_delivered());  // which only the kav tool asks

  kav_clearenv();
  kav_logerr("from the process environment");
  EXPECT_NE(ReadFile(process_log).find("from the process environment"), std::string::npos);
  fs::remove(process_log);
  ASSERT_TRUE(kav::platform::put_environment("LOGFILE="));
}

TEST_F(ErrorLog, FileRecords) {
  WriteFile(log_, "old\n");
  LogTo(log_.string());
  const std::time_t start = std::time(nullptr);
  kav_logerr_id(7);
  kav_logerr("x");
  kav_logerr_id(-2);
  kav_logerr_write("no newline");
  const std::time_t end = std::time(nullptr);
  const std::string text = ReadFile(log_);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(text, match,
                               std::regex("old\n(.{19}) 7 x" + kLineEnd + "(.{19}) -2 no newline")))
      << text;
  std::set<std::string> stamps;  // the stamps of the seconds the records were written in
  for (std::time_t t = start; t <= end; ++t) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%m/%d/%Y %H:%M:%S", std::localtime(&t));
    stamps.insert(stamp);
  }
  EXPECT_EQ(stamps.count(match[1]), 1u) << match[1];
  EXPECT_EQ(stamps.count(match[2]), 1u) << match[2];
}

TEST_F(ErrorLog, FormatsAndPromptDirectives) {
  EXPECT_EQ(Redirected([] { errno = ERANGE, kav_logerrno("m%d", 1); }),
            "m1; errno=" + std::to_string(ERANGE) + " \"" + std::strerror(ERANGE) + "\"\n");
  EXPECT_EQ(Redirected([] {
              EXPECT_EQ(kav_logerr(nullptr), 0);
              EXPECT_EQ(kav_logerrno(nullptr), 0);
              EXPECT_EQ(s_prompterr(nullptr), 0);
              EXPECT_EQ(s_confirm("Proceed? %s", "y"), 0);
            }),
            "");
  EXPECT_EQ(Prompt("n=%d l=%ld %d u=%u lu=%lu c=%c f=%f %lf s=%s 100%%", -42, LONG_MAX, 9,
                   4000000000u, ULONG_MAX, 'Z', 3.14, 2.5, "str"),
            "n=-42 l=" + std::to_string(LONG_MAX) + " 9 u=4000000000 lu=" +
                std::to_string(ULONG_MAX) + " c=Z f=3.140000 2.500000 s=str 100%\n");
  EXPECT_EQ(Prompt("[%-10s][%8.2f][%05d][%+d][%3c][%.2s][%5%]", "ab", 3.14159, 42, 7, 'x', "abc"),
            "[ab        ][    3.14][00042][+7][  x][ab][%]\n");
  // Directives that sprintf could misread produce nothing but still take their argument.
  EXPECT_EQ(Prompt("%x d|%*d|%nd|%hd|%d", 1, 2, 3, 4, 5), "||||5\n");
  EXPECT_EQ(Prompt("%s|rest 50%", static_cast<const char*>(nullptr)), "(null)|rest 50\n");
  EXPECT_EQ(Prompt("ab%-5"), "ab\n");
}

TEST_F(ErrorLog, LongTextsAreCut) {
  const std::string big(20000, 'a'), kept = std::string(10238, 'a') + "\n";
  EXPECT_EQ(Redirected([&] { EXPECT_EQ(kav_logerr("%s", big.c_str()), 1); }), kept);
  EXPECT_EQ(Redirected([&] { kav_logerrno("%s", big.c_str()); }), kept);
  const std::string composed = std::string(511, 'a') + "\n";
  EXPECT_EQ(Prompt("%s", big.c_str()), composed);
  EXPECT_EQ(Prompt(big.c_str()), composed);
  EXPECT_EQ(Prompt("%600d|", 1), std::string(511, ' ') + "\n");
  // The directive buffer holds 79 characters: one more and the directive is dropped.
  const std::string zeros(76, '0');
  EXPECT_EQ(Prompt(("%" + zeros + "5d|%d").c_str(), 1, 2), "00001|2\n");
  EXPECT_EQ(Prompt(("%0" + zeros + "5d|%d").c_str(), 1, 2), "|2\n");
}

// Each call of the record's write fails in turn, in an old log and a new one: the log keeps its
// old text (a new one is not left behind) or holds the whole record after it.
TEST_F(ErrorLog, EveryFailingCallLeavesTheLogWholeOrTheRecordComplete) {
  LogTo(log_.string());
  for (const std::string old : {"old\n", ""}) {
    const std::regex record(old + ".{19} 0 record" + kLineEnd);
    const auto log = [&] {
      fs::remove(log_);
      if (!old.empty()) WriteFile(log_, old);
      return kav_logerr("record");
    };
    SweepFileCalls(ENOSPC, log, [&](int result, bool faulted) {
      const bool kept = old.empty() ? !fs::exists(log_) : ReadFile(log_) == old;
      ASSERT_TRUE(result == 1 && ((kept && faulted) || std::regex_match(ReadFile(log_), record)));
    });
  }
}

#ifndef _WIN32
// A disk that takes 10 bytes of the record, then is full: the 10 bytes are taken back.
ssize_t ShortWrite(int fd, const void* data, size_t size) {
  static int calls = 0;
  errno = ENOSPC;
  return ++calls % 2 == 0 ? -1 : ::write(fd, data, std::min<size_t>(size, 10));
}

TEST_F(ErrorLog, ARecordCutShortIsTakenBackAndAFifoIsWrittenOnlyWithAReader) {
  WriteFile(log_, "old\n");
  LogTo(log_.string());
  auto& calls = kav::platform::io::system_calls();
  const auto saved = calls;
  calls.write = ShortWrite;
  EXPECT_EQ(kav_logerr("a record longer than ten bytes"), 1);
  calls = saved;
  EXPECT_EQ(ReadFile(log_), "old\n");
  const fs::path fifo = log_.string() + "-fifo";  // without a reader, the open would block
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  LogTo(fifo.string());
  EXPECT_EQ(StandardError(log_, [] { EXPECT_EQ(kav_logerr("lost"), 1); }), "");
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  kav_logerr("read");
  std::string text(100, '\0');
  text.resize(std::max<ssize_t>(0, read(reader, text.data(), text.size())));
  close(reader);
  fs::remove(fifo);
  EXPECT_TRUE(std::regex_match(text, std::regex(".{19} 0 read\n"))) << text;
}
#endif

}  // namespace

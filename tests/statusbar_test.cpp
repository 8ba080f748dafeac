// statusbar_test.cpp - the console status bar (console/statusbar.cpp), its clock moved by hand.

#include "console/statusbar.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "kavutil.h"

namespace {

std::int64_t now = 0;
std::int64_t TestClock() { return now; }

// Captures what the bar writes to its stream, one drawing at a time.
class StatusBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    now = 1'000'000;
    previous_ = kav::console::set_status_bar_clock(TestClock);
    stream_ = std::tmpfile();
    ASSERT_NE(stream_, nullptr);
  }
  void TearDown() override {
    kav::console::set_status_bar_clock(previous_);
    std::fclose(stream_);
  }
  // Everything written since the last call; reading to the end leaves the stream ready to write.
  std::string Drawn() {
    std::fseek(stream_, read_, SEEK_SET);
    std::string text;
    for (int c; (c = std::fgetc(stream_)) != EOF;) text += static_cast<char>(c);
    read_ = std::ftell(stream_);
    return text;
  }
  std::string UpdateAt(std::int64_t seconds_after_start, unsigned int current) {
    now = 1'000'000 + seconds_after_start;
    StatusBarUpdate(current);
    return Drawn();
  }

  std::FILE* stream_ = nullptr;
  long read_ = 0;
  kav::console::Clock previous_ = nullptr;
};

TEST_F(StatusBarTest, DrawsBarPercentageAndTimeLeft) {
  StatusBarInit(stream_, "Copying ", 20, 200, 0);
  EXPECT_EQ(UpdateAt(0, 50), "\rCopying [*****  25.0%        ]");  // no time has passed yet
  EXPECT_EQ(UpdateAt(10, 50), "\rCopying [*****  25.0%        ] 30 seconds left  ");
  EXPECT_EQ(UpdateAt(40, 80), "\rCopying [*******40.0%        ] 1 minute left   ");   // 60 s
  EXPECT_EQ(UpdateAt(61, 100), "\rCopying [*******50.0%        ] 2 minutes left  ");  // 61 s
  EXPECT_EQ(UpdateAt(199, 199), "\rCopying [*******99.5%******* ] 1 second left   ");
  EXPECT_EQ(UpdateAt(200, 200), "\rCopying [*******100.0%*******] 0 seconds left  ");
  EXPECT_EQ(UpdateAt(201, 0), "\rCopying [        0.0%        ]");
  StatusBarDone();
  EXPECT_EQ(Drawn(), "\rCopying [********100%********] Done            \n");
}

TEST_F(StatusBarTest, ThrottlesByWholeSecondsAlsoAfterDone) {
  StatusBarInit(stream_, nullptr, 12, 10, 5);
  EXPECT_EQ(UpdateAt(0, 1), "\r[*  10.0%    ]");  // the first update always draws
  EXPECT_EQ(UpdateAt(4, 2), "");
  EXPECT_EQ(UpdateAt(5, 3), "\r[***30.0%    ] 11 seconds left  ");
  EXPECT_EQ(UpdateAt(9, 4), "");
  StatusBarInit(stream_, "caption", 12, 10, 5);  // a new bar draws at once, restarts the clock
  EXPECT_EQ(UpdateAt(9, 5), "\rcaption[***50.0%    ]");
  StatusBarDone();
  Drawn();
  EXPECT_EQ(UpdateAt(12, 10), "");  // after Done: still throttled against the last drawing
  EXPECT_EQ(UpdateAt(15, 10), "\r[***100.0%***] 0 seconds left  ");  // and without its caption
}

TEST_F(StatusBarTest, NarrowWideAndEmptyBars) {
  StatusBarInit(stream_, "n", 10, 4, 0);
  EXPECT_EQ(UpdateAt(0, 1), "\rn[**        ]");  // no percentage at 10 or less
  StatusBarDone();
  EXPECT_EQ(Drawn(), "\rn[***100%***] Done            \n");
  StatusBarInit(stream_, "n", 3, 4, 0);
  StatusBarDone();
  EXPECT_EQ(Drawn(), "\rn[***] Done            \n");
  StatusBarInit(stream_, nullptr, 11, 0, 0);  // nothing to do: a full bar
  EXPECT_EQ(UpdateAt(0, 0), "\r[**100.0%***]");
  StatusBarInit(stream_, nullptr, 1000, 10, 0);  // wider than a bar can be: 255
  EXPECT_EQ(UpdateAt(0, 10).size(), 1 + 1 + 255 + 1u);
  StatusBarInit(stream_, nullptr, 12, 1, 0);  // more done than the total: the text is clipped
  EXPECT_EQ(UpdateAt(0, 4000000000u), "\r[400000000000]");
}

}  // namespace

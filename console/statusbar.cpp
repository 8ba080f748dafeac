// statusbar.cpp - the console status bar: a caption, a bar of '*' between brackets with the
// percentage in its middle, and an estimate of the time left, redrawn in place with a carriage
// return at most once per interval and finished with a full bar and " Done".
//
// There is one bar per process, so its settings and times are process-wide.  Time is calendar
// time in whole seconds, read through a replaceable clock.  The bar is built in a std::string;
// widths are kept within 0..255 and the percentage is clipped to the bar, so no input writes past
// anything.

#include "console/statusbar.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "base/boundary.h"
#include "kavutil.h"
#include "platform/io.h"
#include "platform/memory.h"

namespace {

constexpr int kMaxWidth = 255;
constexpr char kDoneText[] = " Done            ";

std::int64_t CalendarSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

struct Bar {
  std::FILE* stream = nullptr;
  char* caption = nullptr;  // malloc'ed copy, or null
  int width = 0;
  unsigned int total = 0;
  int interval = 0;
  std::int64_t start = 0;
  std::int64_t last_drawing = 0;  // 0: nothing drawn since StatusBarInit
  kav::console::Clock clock = CalendarSeconds;
};

Bar& TheBar() {
  static Bar bar;
  return bar;
}

char* CopyCaption(const char* caption) {
  return caption != nullptr ? kav::platform::memory::duplicate(caption) : nullptr;
}

// The estimate of the time left, padded so that a shorter text covers a longer one; empty until
// some work is done and some time has passed.
std::string TimeLeftText(unsigned int current, unsigned int total, std::int64_t elapsed) {
  if (current == 0 || elapsed == 0) return {};
  const double estimate = static_cast<double>(elapsed) * total / current - elapsed;
  const long long left = static_cast<long long>(estimate);
  char text[64];
  if (left == 1) {
    std::snprintf(text, sizeof text, " %lld second left   ", left);
  } else if (left < 60) {
    std::snprintf(text, sizeof text, " %lld seconds left  ", left);
  } else if (left == 60) {
    std::snprintf(text, sizeof text, " %lld minute left   ", (left + 59) / 60);
  } else {
    std::snprintf(text, sizeof text, " %lld minutes left  ", (left + 59) / 60);
  }
  return text;
}

// Writes text over the middle of bar, starting at (width - length) / 2, clipped to the bar.
void CenterInBar(std::string& bar, const char* text) {
  const int width = static_cast<int>(bar.size());
  const int length = static_cast<int>(std::strlen(text));
  const int start = std::max(0, (width - length) / 2);
  bar.replace(start, std::min(length, width - start), text, std::min(length, width - start));
}

// With no work to measure (total 0) the bar is drawn full and reads 100.0%.
std::string UpdatedBar(const Bar& state, unsigned int current) {
  int filled = state.width;
  if (state.total > 0) {
    const double share = static_cast<double>(state.width) * current / state.total;
    filled = static_cast<int>(std::min(share, static_cast<double>(state.width)));
  }
  std::string bar(filled, '*');
  bar.append(state.width - filled, ' ');
  if (state.width > 10) {
    const double percent = state.total > 0 ? current * 100.0 / state.total : 100.0;
    char text[64];
    std::snprintf(text, sizeof text, "%3.1lf%%", percent);
    CenterInBar(bar, text);
  }
  return bar;
}

// The line is written whole, through the I/O seam.
void DrawLine(const Bar& state, const std::string& bar, const char* tail, const char* end) {
  if (state.stream == nullptr) return;
  const std::string line = "\r" + std::string(state.caption != nullptr ? state.caption : "") + '[' +
                           bar + ']' + tail + end;
  kav::platform::io::fputs(line.c_str(), state.stream);
  kav::platform::io::fflush(state.stream);
}

int Update(unsigned int current) {
  Bar& state = TheBar();
  const std::int64_t now = state.clock();
  if (state.last_drawing != 0 && state.last_drawing + state.interval > now) return 0;
  if (state.last_drawing == 0) state.start = state.last_drawing = now;
  const std::string time_left = TimeLeftText(current, state.total, now - state.start);
  DrawLine(state, UpdatedBar(state, current), time_left.c_str(), "");
  state.last_drawing = state.clock();
  return 0;
}

void DrawDone() {
  const Bar& state = TheBar();
  std::string bar(state.width, '*');
  if (state.width >= 4) CenterInBar(bar, "100%");
  DrawLine(state, bar, kDoneText, "\n");
}

}  // namespace

namespace kav::console {

Clock set_status_bar_clock(Clock clock) {
  Bar& state = TheBar();
  const Clock previous = state.clock;
  state.clock = clock != nullptr ? clock : CalendarSeconds;
  return previous;
}

}  // namespace kav::console

// A caption that cannot be copied is drawn as none.  Widths outside 0..255 are brought to the
// nearest end of that range.
extern "C" KAV_API int KAV_CALL StatusBarInit(FILE* stream, const char* caption, int width,
                                              unsigned int total, int interval) KAV_NOEXCEPT {
  Bar& state = TheBar();
  state.stream = stream;
  state.width = std::clamp(width, 0, kMaxWidth);
  state.total = total;
  state.interval = interval;
  kav::platform::memory::release(state.caption);
  state.caption = CopyCaption(caption);
  state.last_drawing = 0;
  return 0;
}

extern "C" KAV_API int KAV_CALL StatusBarUpdate(unsigned int current) KAV_NOEXCEPT {
  return kav::base::guarded(0, [&] {  // the line is then not drawn
    return Update(current);
  });
}

extern "C" KAV_API int KAV_CALL StatusBarDone(void) KAV_NOEXCEPT {
  kav::base::guarded([&] {  // the line is then not drawn
    DrawDone();
  });
  kav::platform::memory::release(TheBar().caption);
  TheBar().caption = nullptr;
  return 0;
}

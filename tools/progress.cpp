// The progress bar of kav's long commands.  The library's status bar counts
// in 32 bits, so a total of more than 4 GiB is counted in KiB (or MiB...)
// instead; a total of 0 is drawn as 1, which keeps the percentage defined.
// The first drawing comes at once, so a long first file shows an empty bar
// rather than nothing.
#include "progress.h"

#include <algorithm>
#include <cstring>

#include "host.h"
#include "kavutil.h"

namespace kav::tool {
namespace {

constexpr int kWidth = 40;
constexpr int kIntervalSeconds = 1;
// What the library writes after the closing bracket: the time left, 17
// characters with a one-digit number, and room for a longer number.
constexpr std::size_t kTimeLeftLength = 24;

bool forced = false;
const Progress *active = nullptr;

}  // namespace

void force_progress() { forced = true; }

bool progress_wanted() { return active == nullptr && (forced || is_terminal(stderr)); }

Progress::Progress(const char *caption, std::uint64_t total)
    : shown_(progress_wanted()),
      total_(total),
      line_length_(std::strlen(caption) + kWidth + 2 + kTimeLeftLength),
      shares_terminal_(is_terminal(stdout) && is_terminal(stderr)) {
  if (!shown_) return;
  while ((total >> shift_) > 0xFFFFFFFFu) shift_ += 10;
  active = this;
  StatusBarInit(stderr, caption, kWidth, std::max<unsigned>(unsigned(total >> shift_), 1u),
                kIntervalSeconds);
  StatusBarUpdate(0);
}

Progress::~Progress() {
  if (!shown_) return;
  StatusBarDone();
  active = nullptr;
}

void Progress::advance(std::uint64_t amount) {
  if (!shown_) return;
  done_ = std::min(done_ + amount, total_);
  StatusBarUpdate(unsigned(done_ >> shift_));
}

void clear_progress_line(std::FILE *stream) {
  if (active == nullptr || (stream != stderr && !active->shares_terminal_)) return;
  std::fprintf(stderr, "\r%*s\r", int(active->line_length_), "");
}

}  // namespace kav::tool

// progress.h - the progress bar of kav's long commands: the library's status
// bar on standard error, drawn when standard error is a terminal or when
// --progress asks for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kav::tool {

// Draws the bar even when standard error is not a terminal (--progress).
void force_progress();

// Whether a Progress made now would draw its bar.
bool progress_wanted();

// A bar over total units of work (bytes or files), redrawn at most once a
// second, or nothing at all when no bar is wanted.  The library keeps one bar
// per process, so one Progress exists at a time; its end draws the full bar
// with "Done".
class Progress {
 public:
  Progress(const char *caption, std::uint64_t total);
  ~Progress();
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;

  bool shown() const { return shown_; }
  // Counts amount more units done and redraws when the interval has passed.
  void advance(std::uint64_t amount);

 private:
  bool shown_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  unsigned shift_ = 0;  // the bar counts units of 2^shift_, so its total fits 32 bits
  std::size_t line_length_;
  bool shares_terminal_;  // standard output and standard error are both terminals

  friend void clear_progress_line(std::FILE *stream);
};

// Rubs out the bar's line before the caller writes a line to stream, so the
// line does not land behind the bar.  Standard output needs it only when it
// shares the terminal; the bar comes back at its next drawing.
void clear_progress_line(std::FILE *stream);

}  // namespace kav::tool

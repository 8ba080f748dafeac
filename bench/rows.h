// rows.h - how a benchmark program hands its comparisons to the one table at the end of
// "make bench": each row is appended, tab-separated, to the file that KAV_BENCH_ROWS names
// (nothing happens when it is unset), and scripts/bench-table.sh joins the rows of every
// program into a Markdown table.
//
// A row holds the work, our time, the peer's name and time, and the goal.  Times are seconds
// per repetition, wall clock and CPU (the process's own plus that of the children it waited
// for; negative when not measured).  A row without our times names a peer measured by another
// program (Wine's profile functions, by the Windows build) and takes our times from the row of
// the same work.  A goal is empty or a comma-separated list: "r1.2" ours / peer at most 1.2,
// "t0.001" ours at most 1 ms.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace bench {

struct Side {
  double real;
  double cpu;
};

inline void AppendRow(const char *work, Side ours, const char *peer_label, Side peer,
                      const char *goal) {
  const char *path = std::getenv("KAV_BENCH_ROWS");
  if (path == nullptr || *path == '\0') return;
  std::FILE *rows = std::fopen(path, "a");
  if (rows == nullptr) return;
  std::fprintf(rows, "%s\t%.6g\t%.6g\t%s\t%.6g\t%.6g\t%s\n", work, ours.real, ours.cpu, peer_label,
               peer.real, peer.cpu, goal);
  std::fclose(rows);
}

}  // namespace bench

// comparison.h - the end of a benchmark program's output: one table row per comparison of ours
// against its peer, both measured in the same run, with the ratio (ours / peer).  The rows also
// go to the table of the whole "make bench" run (bench/rows.h).
//
// A program lists its rows and calls RunWithComparisons from its own main.  Each side names a
// benchmark by function and argument ("BM_DsList/100000").  Times are CPU times, so that other
// load on the machine does not count: the process's own, plus that of the child processes a
// benchmark waited for when it counts them with ChildCpu (a peer that runs as a program).  Rows
// whose benchmarks did not run (filtered out, failed) are left out.  Work that waits on a disk is
// compared on the wall clock instead (Options::wall): its CPU time says little.  A benchmark run
// with repetitions (->Repetitions(n), or --benchmark_repetitions) is represented by its median; a
// program may ask for its repetitions to run interleaved in random order (ours, the peer's,
// ours, ...) so that a change of load on the machine falls on both sides alike.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "rows.h"

namespace bench {

struct Comparison {
  const char *work;        // what is measured, for the table
  const char *ours;        // benchmark name of our side
  const char *peer;        // benchmark name of the peer
  const char *peer_label;  // how the table names the peer
  const char *goal = "";   // as in bench/rows.h: "r1.2", "t0.001", or both
};

// Counts the CPU time of the children that a benchmark waits for, from construction to the end
// of the benchmark function, as the counter "child_cpu" (seconds per iteration).
class ChildCpu {
 public:
  explicit ChildCpu(benchmark::State &state) : state_(state), start_(Now()) {}
  ~ChildCpu() {
    state_.counters["child_cpu"] =
        benchmark::Counter(Now() - start_, benchmark::Counter::kAvgIterations);
  }
  ChildCpu(const ChildCpu &) = delete;
  ChildCpu &operator=(const ChildCpu &) = delete;

 private:
  static double Now() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  }
  static double Seconds(const timeval &t) {
    return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6;
  }

  benchmark::State &state_;
  double start_;
};

class ComparisonReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, as the library's own reporter does.
  ComparisonReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Color : OO_None) {}

  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if ((run.run_type != Run::RT_Iteration && !median) || run.error_occurred) continue;
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
      const auto child = run.counters.find("child_cpu");
      times_[name] = {run.GetAdjustedRealTime() / unit,
                      run.GetAdjustedCPUTime() / unit +
                          (child == run.counters.end() ? 0.0 : child->second.value)};
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // wall: compare wall-clock times, and hand the rows on without CPU times.
  void PrintTable(const std::vector<Comparison> &rows, bool wall = false) const {
    const char *basis = wall ? "wall" : "CPU";
    std::printf("\n| Work | ours (%s) | peer (%s) | ours / peer |\n|---|---|---|---|\n", basis,
                basis);
    for (const Comparison &row : rows) {
      const auto ours = times_.find(row.ours);
      const auto peer = times_.find(row.peer);
      if (ours == times_.end() || peer == times_.end()) continue;
      Side a = ours->second, b = peer->second;
      if (wall) a.cpu = b.cpu = -1;
      const double x = wall ? a.real : a.cpu, y = wall ? b.real : b.cpu;
      std::printf("| %s | %s | %s %s | %.3g |\n", row.work, Duration(x).c_str(), row.peer_label,
                  Duration(y).c_str(), y > 0 ? x / y : 0.0);
      AppendRow(row.work, a, row.peer_label, b, row.goal);
    }
    std::fflush(stdout);
  }

 private:
  static std::string Duration(double seconds) {
    char text[32];
    const char *unit = seconds >= 1 ? "s" : seconds >= 1e-3 ? "ms" : seconds >= 1e-6 ? "us" : "ns";
    const double scale = seconds >= 1 ? 1 : seconds >= 1e-3 ? 1e3 : seconds >= 1e-6 ? 1e6 : 1e9;
    std::snprintf(text, sizeof text, "%.4g %s", seconds * scale, unit);
    return text;
  }

  std::map<std::string, Side> times_;
};

struct Options {
  bool interleave = false;  // the repetitions of all benchmarks in one random order
  bool wall = false;        // compare wall-clock times (work that waits on a disk)
};

inline int RunWithComparisons(int argc, char **argv, const std::vector<Comparison> &rows,
                              Options options = {}) {
  // The program's name, the options' flags, then the command line's, which override them.
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  std::vector<char *> args;
  for (int i = 0; i < argc; ++i) {
    args.push_back(argv[i]);
    if (i == 0 && options.interleave) args.push_back(interleave);
  }
  args.push_back(nullptr);
  argc = static_cast<int>(args.size()) - 1;
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ComparisonReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable(rows, options.wall);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench

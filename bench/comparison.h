// comparison.h - the end of a benchmark program's output: one table row per comparison of ours
// against its peer, both measured in the same run, with the ratio (ours / peer).
//
// A program lists its rows and calls RunWithComparisons from its own main.  Each side names a
// benchmark by function and argument ("BM_DsList/100000").  Times are CPU times, so that other
// load on the machine does not count; a row where either side measures real time (a peer that
// runs as a child process) compares real times.  Rows whose benchmarks did not run (filtered
// out, failed) are left out.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench {

struct Comparison {
  const char *work;        // what is measured, for the table
  const char *ours;        // benchmark name of our side
  const char *peer;        // benchmark name of the peer
  const char *peer_label;  // how the table names the peer
};

class ComparisonReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, as the library's own reporter does.
  ComparisonReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Color : OO_None) {}

  struct Time {
    double real;
    double cpu;
    bool real_time;
    const char *unit;
  };

  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      times_[name] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(),
                      !run.run_name.time_type.empty(), benchmark::GetTimeUnitString(run.time_unit)};
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintTable(const std::vector<Comparison> &rows) const {
    std::printf("\n| Work | ours | peer | ours / peer |\n|---|---|---|---|\n");
    for (const Comparison &row : rows) {
      const auto ours = times_.find(row.ours);
      const auto peer = times_.find(row.peer);
      if (ours == times_.end() || peer == times_.end()) continue;
      const bool real = ours->second.real_time || peer->second.real_time;
      const double a = real ? ours->second.real : ours->second.cpu;
      const double b = real ? peer->second.real : peer->second.cpu;
      std::printf("| %s | %.4g %s | %s %.4g %s | %.3g |\n", row.work, a, ours->second.unit,
                  row.peer_label, b, peer->second.unit, b > 0 ? a / b : 0.0);
    }
    std::fflush(stdout);
  }

 private:
  std::map<std::string, Time> times_;
};

// Both sides of a row must use the same time unit; the benchmarks set it.
inline int RunWithComparisons(int argc, char **argv, const std::vector<Comparison> &rows) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ComparisonReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable(rows);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench

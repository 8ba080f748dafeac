// kav_sscanf against glibc's sscanf on the record lines client programs split: a pipe-separated
// invoice line, a colon-separated account line and a line of seven numbers, each with the format
// that reads the same fields out of it (sscanf needs "%[^|]" where kav_sscanf reads "%s" up to
// the delimiter).  A line of 64 pipe-separated fields shows that a line costs its length, and
// the per-field sscanf that kav_sscanf used before (tests/scan_reference.h) is measured on the
// same lines for the record.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "comparison.h"
#include "kavutil.h"
#include "tests/scan_reference.h"

namespace {

struct Line {
  const char* text;
  const char* ours;  // kav_sscanf's format
  const char* peer;  // sscanf's format for the same fields
};

const Line kPipe = {"ACME Supplies Ltd|INV-2024-0457|2024-03-15|1250|99.95|EUR",
                    "%s|%s|%s|%d|%lf|%s", "%[^|]|%[^|]|%[^|]|%d|%lf|%s"};
const Line kColon = {"jsmith:x:1001:100:John Smith,Room 12:/home/jsmith:/bin/bash",
                     "%s:%s:%d:%d:%s:%s:%s", "%[^:]:%[^:]:%d:%d:%[^:]:%[^:]:%s"};
const Line kNumbers = {"2024 12 31 1250 -75 99.95 0.125", "%d %d %d %d %d %lf %lf",
                       "%d %d %d %d %d %lf %lf"};

// Seven targets, big enough for any field of the lines above.
struct Targets {
  char text[4][64];
  int numbers[4];
  double reals[2];
};

template <typename Scan>
int ScanLine(Scan scan, const Line& line, const char* format, Targets& t) {
  if (&line == &kPipe) {
    return scan(line.text, format, t.text[0], t.text[1], t.text[2], &t.numbers[0], &t.reals[0],
                t.text[3]);
  }
  if (&line == &kColon) {
    return scan(line.text, format, t.text[0], t.text[1], &t.numbers[0], &t.numbers[1], t.text[2],
                t.text[3], t.text[0]);
  }
  return scan(line.text, format, &t.numbers[0], &t.numbers[1], &t.numbers[2], &t.numbers[3],
              &t.numbers[0], &t.reals[0], &t.reals[1]);
}

const Line& LineOf(int which) { return which == 0 ? kPipe : which == 1 ? kColon : kNumbers; }

int Kav(const char* input, const char* format, auto... targets) {
  return kav_sscanf(input, format, targets...);
}
int Glibc(const char* input, const char* format, auto... targets) {
  return std::sscanf(input, format, targets...);
}
int PerField(const char* input, const char* format, auto... targets) {
  return reference_sscanf(input, format, targets...);
}

void BM_kav_sscanf(benchmark::State& state) {
  const Line& line = LineOf(static_cast<int>(state.range(0)));
  Targets t{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ScanLine([](const char* i, const char* f, auto... a) { return Kav(i, f, a...); }, line,
                 line.ours, t));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_kav_sscanf)->DenseRange(0, 2)->Repetitions(5);

void BM_sscanf(benchmark::State& state) {
  const Line& line = LineOf(static_cast<int>(state.range(0)));
  Targets t{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ScanLine([](const char* i, const char* f, auto... a) { return Glibc(i, f, a...); }, line,
                 line.peer, t));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_sscanf)->DenseRange(0, 2)->Repetitions(5);

void BM_per_field_sscanf(benchmark::State& state) {
  const Line& line = LineOf(static_cast<int>(state.range(0)));
  Targets t{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ScanLine([](const char* i, const char* f, auto... a) { return PerField(i, f, a...); }, line,
                 line.ours, t));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_per_field_sscanf)->DenseRange(0, 2);

// A line of 64 fields "name-N|" read by a format of 64 "%s|" (kav_sscanf) or "%[^|]|"
// (sscanf), whose targets the C calling convention takes as one array of 64 pointers only up
// to the first 16; the rest of the fields are read and skipped with "%*s|" and "%*[^|]|".
std::string WideLine() {
  std::string line;
  for (int i = 0; i < 64; ++i) line += "field-" + std::to_string(i) + "|";
  return line;
}

std::string WideFormat(const char* read, const char* skip) {
  std::string format;
  for (int i = 0; i < 64; ++i) format += std::string(i < 16 ? read : skip) + "|";
  return format;
}

template <typename Scan>
void ScanWide(benchmark::State& state, Scan scan, const char* read, const char* skip) {
  const std::string line = WideLine();
  const std::string format = WideFormat(read, skip);
  char f[16][32];
  for (auto _ : state) {
    benchmark::DoNotOptimize(scan(line.c_str(), format.c_str(), f[0], f[1], f[2], f[3], f[4], f[5],
                                  f[6], f[7], f[8], f[9], f[10], f[11], f[12], f[13], f[14],
                                  f[15]));
    benchmark::ClobberMemory();
  }
}

void BM_kav_sscanf_wide(benchmark::State& state) {
  ScanWide(
      state, [](const char* i, const char* f, auto... a) { return Kav(i, f, a...); }, "%s", "%*s");
}
BENCHMARK(BM_kav_sscanf_wide)->Repetitions(5);

void BM_sscanf_wide(benchmark::State& state) {
  ScanWide(
      state, [](const char* i, const char* f, auto... a) { return Glibc(i, f, a...); }, "%[^|]",
      "%*[^|]");
}
BENCHMARK(BM_sscanf_wide)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithComparisons(
      argc, argv,
      {{"kav_sscanf, pipe-separated invoice line (6 fields)", "BM_kav_sscanf/0", "BM_sscanf/0",
        "glibc sscanf", "r1"},
       {"kav_sscanf, colon-separated account line (7 fields)", "BM_kav_sscanf/1", "BM_sscanf/1",
        "glibc sscanf", "r1"},
       {"kav_sscanf, line of 7 numbers (5 integers, 2 reals)", "BM_kav_sscanf/2", "BM_sscanf/2",
        "glibc sscanf", "r1"},
       {"kav_sscanf, line of 64 pipe-separated fields", "BM_kav_sscanf_wide", "BM_sscanf_wide",
        "glibc sscanf", "r1"},
       {"kav_sscanf, pipe-separated invoice line (6 fields)", "BM_kav_sscanf/0",
        "BM_per_field_sscanf/0", "sscanf per field (before)"},
       {"kav_sscanf, colon-separated account line (7 fields)", "BM_kav_sscanf/1",
        "BM_per_field_sscanf/1", "sscanf per field (before)"},
       {"kav_sscanf, line of 7 numbers (5 integers, 2 reals)", "BM_kav_sscanf/2",
        "BM_per_field_sscanf/2", "sscanf per field (before)"}},
      {.interleave = true});
}

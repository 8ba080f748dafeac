// kav_sprintf against the C library's snprintf on the directive mixes client programs use:
// integer columns, padded string fields and a record line that mixes both.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "comparison.h"
#include "kavutil.h"

namespace {

constexpr const char* kIntegers = "%d %5u %08x %-6d|%X %+d";
constexpr const char* kStrings = "%s: %-12s [%.4s] %8s";
constexpr const char* kRecord = "%-10s %6d %08X %s=%u";

void BM_kav_integers(benchmark::State& state) {
  char buffer[128];
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(kav_sprintf(nullptr, buffer, kIntegers, i, 4660u + i, 0xBEEFu * i, -i,
                                         255u + i, 123456789 - i));
    ++i;
  }
}
BENCHMARK(BM_kav_integers);

void BM_snprintf_integers(benchmark::State& state) {
  char buffer[128];
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, kIntegers, i, 4660u + i,
                                           0xBEEFu * i, -i, 255u + i, 123456789 - i));
    ++i;
  }
}
BENCHMARK(BM_snprintf_integers);

void BM_kav_strings(benchmark::State& state) {
  char buffer[128];
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        kav_sprintf(nullptr, buffer, kStrings, "account", "ACME Supplies", "remittance", "EUR"));
  }
}
BENCHMARK(BM_kav_strings);

void BM_snprintf_strings(benchmark::State& state) {
  char buffer[128];
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, kStrings, "account",
                                           "ACME Supplies", "remittance", "EUR"));
  }
}
BENCHMARK(BM_snprintf_strings);

void BM_kav_record(benchmark::State& state) {
  char buffer[128];
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        kav_sprintf(nullptr, buffer, kRecord, "invoice", i, 0xC0FFEEu + i, "total", 4570u + i));
    ++i;
  }
}
BENCHMARK(BM_kav_record);

void BM_snprintf_record(benchmark::State& state) {
  char buffer[128];
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, kRecord, "invoice", i,
                                           0xC0FFEEu + i, "total", 4570u + i));
    ++i;
  }
}
BENCHMARK(BM_snprintf_record);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithComparisons(argc, argv,
                                   {{"kav_sprintf, integers `%d %5u %08x %-6d\\|%X %+d`",
                                     "BM_kav_integers", "BM_snprintf_integers", "snprintf", "r1"},
                                    {"kav_sprintf, strings `%s: %-12s [%.4s] %8s`",
                                     "BM_kav_strings", "BM_snprintf_strings", "snprintf", "r1"},
                                    {"kav_sprintf, record `%-10s %6d %08X %s=%u`", "BM_kav_record",
                                     "BM_snprintf_record", "snprintf", "r1"}});
}

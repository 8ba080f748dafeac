// Placeholder while the benchmark is being written.
#include <benchmark/benchmark.h>

#include "kavutil.h"

static void BM_Placeholder(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kav_test_re("a", "a"));
}
BENCHMARK(BM_Placeholder);

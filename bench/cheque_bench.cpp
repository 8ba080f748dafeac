// Cost of the per-cheque calls of a cheque print run: the amount in words,
// the MICR code line and an identifier template.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "kavutil.h"

namespace {

void BM_spellno(benchmark::State &state) {
  long n = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(spellno(n));
    n = (n * 7919 + 13) % 2147483647;
  }
}
BENCHMARK(BM_spellno);

void BM_micr_build_line(benchmark::State &state) {
  auto record = std::make_unique<MICR_Line_E13B>();
  MICR_DecodeFormat_E13B(nullptr, record.get());
  std::strcpy(record->transit, "123456780");
  std::strcpy(record->on_us, "000123456789");
  for (auto _ : state) benchmark::DoNotOptimize(MICR_BuildLine_E13B(record.get(), nullptr));
}
BENCHMARK(BM_micr_build_line);

void BM_fill_with_id(benchmark::State &state) {
  char tmpl[] = "TUSR-<\"CHQ\"Z";
  char buffer[64];
  for (auto _ : state) {
    std::strcpy(buffer, "  chq 12-34/5 ");
    fill_with_id(tmpl, buffer, 12);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_fill_with_id);

}  // namespace

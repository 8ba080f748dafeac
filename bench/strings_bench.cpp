// Throughput of the string primitives that client programs run over whole
// documents: case-insensitive search, escaping, line breaking, blank squeezing.  The search
// and the escaping have peers that programs reach for without kavutil: glibc's strcasestr and
// GLib's g_strescape (which also writes control bytes and bytes above 0x7E as octal escapes,
// and C escapes for the common ones); line breaking and blank squeezing have none.
#include <benchmark/benchmark.h>
#include <glib.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "comparison.h"
#include "kavutil.h"

namespace {

std::string sample_text(size_t size) {
  static const char words[] = "Remittance advice for invoice 2024-0457 payable to ACME Supplies\t ";
  std::string text;
  while (text.size() < size) text += words;
  text.resize(size);
  return text;
}

void BM_stristr_miss(benchmark::State &state) {
  std::string text = sample_text(size_t(state.range(0)));
  char needle[] = "cheque number";
  for (auto _ : state) benchmark::DoNotOptimize(kav_stristr(text.data(), needle));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_stristr_miss)->Arg(4096)->Arg(65536)->Repetitions(5);

void BM_strcasestr_miss(benchmark::State &state) {
  std::string text = sample_text(size_t(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(strcasestr(text.c_str(), "cheque number"));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_strcasestr_miss)->Arg(65536)->Repetitions(5);

void BM_escape_control(benchmark::State &state) {
  std::string text = sample_text(size_t(state.range(0)));
  for (auto _ : state) std::free(escape_control(text.c_str(), nullptr));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_escape_control)->Arg(4096)->Arg(65536);

void BM_g_strescape(benchmark::State &state) {
  std::string text = sample_text(size_t(state.range(0)));
  for (auto _ : state) g_free(g_strescape(text.c_str(), nullptr));
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_g_strescape)->Arg(65536);

void BM_strbrk_lines(benchmark::State &state) {
  std::string text = sample_text(size_t(state.range(0)));
  char piece[73];
  for (auto _ : state) {
    for (int n = kav_strbrk(piece, text.c_str(), 72); n > 0; n = kav_strbrk(piece, nullptr, 72))
      benchmark::DoNotOptimize(piece);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_strbrk_lines)->Arg(4096)->Arg(65536);

void BM_stripblanks_begendmult(benchmark::State &state) {
  std::string text = "   " + sample_text(size_t(state.range(0))) + "   ";
  std::vector<char> work(text.size() + 1);
  for (auto _ : state) {
    std::copy(text.c_str(), text.c_str() + text.size() + 1, work.begin());
    benchmark::DoNotOptimize(stripblanks_begendmult(work.data(), unsigned(text.size())));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_stripblanks_begendmult)->Arg(4096)->Arg(65536);

}  // namespace

int main(int argc, char **argv) {
  return bench::RunWithComparisons(
      argc, argv,
      {{"kav_stristr, needle absent, 64 KiB text", "BM_stristr_miss/65536",
        "BM_strcasestr_miss/65536", "glibc strcasestr", "r1"},
       {"escape_control to the heap, 64 KiB text", "BM_escape_control/65536",
        "BM_g_strescape/65536", "GLib g_strescape"}},
      {.interleave = true});
}

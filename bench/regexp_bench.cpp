// Wildcard filters over 1,000,000 file names: kav_setup_regexp and kav_test_re per name, against
// the C library's regcomp (basic syntax, REG_NOSUB) and regexec per name.  Both sides compile
// and match on every call, as a client program filtering a directory listing does.

#include <benchmark/benchmark.h>
#include <regex.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "kavutil.h"

namespace {

constexpr int kNameCount = 1000000;
const char* const kFilters[] = {"*.txt", "report??.pdf", "*2024*.log", "a*b*c"};

const std::vector<std::string>& Names() {
  static const std::vector<std::string> names = [] {
    static const char* const kStems[] = {"report", "invoice", "a", "backup", "scan", "abc"};
    static const char* const kExtensions[] = {".txt", ".pdf", ".log", ".bak", ".c", ".txt.old"};
    std::mt19937 random(42);
    const auto pick = [&random](unsigned n) { return static_cast<unsigned>(random() % n); };
    std::vector<std::string> out;
    out.reserve(kNameCount);
    char name[64];
    for (int i = 0; i < kNameCount; ++i) {
      const char* stem = kStems[pick(6)];
      const char* extension = kExtensions[pick(6)];
      if (pick(2) == 0) {
        std::snprintf(name, sizeof name, "%s%02u%s", stem, pick(100), extension);
      } else {
        std::snprintf(name, sizeof name, "%s%02u_%04u%s", stem, pick(100), 2020 + pick(8),
                      extension);
      }
      out.emplace_back(name);
    }
    return out;
  }();
  return names;
}

std::string Translate(const char* wildcard) {
  std::string regex(2 * std::string(wildcard).size() + 2, '\0');
  kav_setup_regexp(wildcard, regex.data());
  return regex.c_str();
}

void BM_kav_filter(benchmark::State& state) {
  const char* wildcard = kFilters[state.range(0)];
  const auto& names = Names();
  std::size_t matched = 0;
  for (auto _ : state) {
    const std::string regex = Translate(wildcard);
    for (const auto& name : names) matched += kav_test_re(name.c_str(), regex.c_str());
  }
  benchmark::DoNotOptimize(matched);
  state.SetLabel(wildcard);
  state.SetItemsProcessed(state.iterations() * kNameCount);
}
BENCHMARK(BM_kav_filter)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_regcomp_filter(benchmark::State& state) {
  const char* wildcard = kFilters[state.range(0)];
  const auto& names = Names();
  std::size_t matched = 0;
  for (auto _ : state) {
    const std::string regex = Translate(wildcard);
    for (const auto& name : names) {
      regex_t compiled;
      if (regcomp(&compiled, regex.c_str(), REG_NOSUB) != 0) continue;
      matched += regexec(&compiled, name.c_str(), 0, nullptr, 0) == 0;
      regfree(&compiled);
    }
  }
  benchmark::DoNotOptimize(matched);
  state.SetLabel(wildcard);
  state.SetItemsProcessed(state.iterations() * kNameCount);
}
BENCHMARK(BM_regcomp_filter)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

// Wildcard filters over 1,000,000 file names: kav_setup_regexp and kav_test_re per name, against
// the C library's regcomp (basic syntax, REG_NOSUB) and regexec per name.  Both sides compile
// and match on every call, as a client program filtering a directory listing does.  Then
// expressions with many repetitions over texts of 20,000 characters, which a backtracking
// matcher takes time to the power of the repetitions for.  The run ends with the table of each
// comparison (bench/comparison.h).

#include <benchmark/benchmark.h>
#include <regex.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "comparison.h"
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

// An expression and a text of 20,000 characters that it does not match.  The last is the
// linear matcher's worst case: a program near the 2048-byte limit whose position sets stay
// half full all along the text.
struct LongCase {
  std::string regex;
  const char* label;
  std::string text;
};

std::string Repeated(const char* part, std::size_t length) {
  std::string out;
  while (out.size() < length) out += part;
  return out;
}

const LongCase& Long(std::int64_t index) {
  static const LongCase cases[] = {
      {"a*a*a*a*b", "a*a*a*a*b, 20,000 a's", std::string(20000, 'a')},
      {".*.*.*x", ".*.*.*x, 20,000 characters", Repeated("abcdefgh", 20000)},
      {Repeated("ab*", 1500) + "c", "ab* 500 times then c (2003 bytes), 20,000 characters",
       Repeated("ab", 20000)}};
  return cases[index];
}

void BM_kav_long(benchmark::State& state) {
  const LongCase& c = Long(state.range(0));
  int matched = 0;
  for (auto _ : state) matched += kav_test_re(c.text.c_str(), c.regex.c_str());
  benchmark::DoNotOptimize(matched);
  state.SetLabel(c.label);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_kav_long)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

void BM_regcomp_long(benchmark::State& state) {
  const LongCase& c = Long(state.range(0));
  int matched = 0;
  for (auto _ : state) {
    regex_t compiled;
    if (regcomp(&compiled, c.regex.c_str(), REG_NOSUB) != 0) continue;
    matched += regexec(&compiled, c.text.c_str(), 0, nullptr, 0) == 0;
    regfree(&compiled);
  }
  benchmark::DoNotOptimize(matched);
  state.SetLabel(c.label);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_regcomp_long)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace

// Times per iteration: 1,000,000 names for the filters, one text for the long cases.
int main(int argc, char** argv) {
  return bench::RunWithComparisons(argc, argv,
                                   {{"wildcard `*.txt`, 1,000,000 names", "BM_kav_filter/0",
                                     "BM_regcomp_filter/0", "regcomp + regexec", "r0.05"},
                                    {"wildcard `report??.pdf`, 1,000,000 names", "BM_kav_filter/1",
                                     "BM_regcomp_filter/1", "regcomp + regexec", "r0.05"},
                                    {"wildcard `*2024*.log`, 1,000,000 names", "BM_kav_filter/2",
                                     "BM_regcomp_filter/2", "regcomp + regexec", "r0.05"},
                                    {"wildcard `a*b*c`, 1,000,000 names", "BM_kav_filter/3",
                                     "BM_regcomp_filter/3", "regcomp + regexec", "r0.05"},
                                    {"`a*a*a*a*b` on 20,000 a's", "BM_kav_long/0",
                                     "BM_regcomp_long/0", "regcomp + regexec", "t0.001"},
                                    {"`.*.*.*x` on 20,000 characters", "BM_kav_long/1",
                                     "BM_regcomp_long/1", "regcomp + regexec", "t0.001"},
                                    {"`ab*` 500 times then `c` (2003 bytes) on 20,000 characters",
                                     "BM_kav_long/2", "BM_regcomp_long/2", "regcomp + regexec"}});
}

// dslist_bench.cpp - sorting lines with a dsList ("+S0|-D3": name without case, then amount
// descending) against the scan that the contract describes and against GNU sort.
//
// The lines look like "Name|City|Ref|Amount" with 2,000 names.  The plain scan walks the list
// from the start for every line, copying each key text it looks at into a heap block of its own;
// it is quadratic, so it runs at 10,000 lines only.  GNU sort reads the same lines from a
// temporary file with the same keys (-k1,1f -k4,4nr); its time (the CPU time of the shell and
// of sort, which run as children) includes starting them.  The "OneName" case gives every line the
// same name, the worst case for the walk over equal names; its peer is the mixed case.
//
// The kav tool's sort gives the order of appending every line in O(n log n)
// (kav::containers::dslist::sorted_order): "kav sort" on 400,000 lines, run as a program like GNU
// sort, must stay within twice GNU sort's time; the bulk order alone is measured in the process.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "comparison.h"
#include "containers/dslist.h"
#include "kavutil.h"

namespace {

std::vector<std::string> MakeLines(int n, int names) {
  static const char* const first[] = {"Anna", "Ben", "Carl", "Dora", "Emil",
                                      "Fay",  "Gus", "Hana", "Ivo",  "Jana"};
  std::mt19937 rng(7);
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) {
    const unsigned who = rng() % static_cast<unsigned>(names);
    lines.push_back(std::string(first[who % 10]) + " Surname" + std::to_string(who / 10) + "|City" +
                    std::to_string(rng() % 50) + "|R" + std::to_string(i) + "|" +
                    std::to_string(rng() % 100000));
  }
  return lines;
}

// A key text copied into a heap block, or null when the line has too few fields.
char* FieldCopy(const char* s, int field) {
  for (int n = 0; n < field; ++n) {
    s += std::strcspn(s, "|\n");
    if (*s != '|') return nullptr;
    ++s;
  }
  const std::size_t length = std::strcspn(s, "|\n");
  auto* copy = static_cast<char*>(std::malloc(length + 1));
  std::memcpy(copy, s, length);
  copy[length] = '\0';
  return copy;
}

int CompareCopies(const char* x, const char* t, bool numeric) {
  if (x == nullptr) return -1;
  if (t == nullptr) return 1;
  if (numeric) return (std::atoi(x) > std::atoi(t)) - (std::atoi(x) < std::atoi(t));
  for (;; ++x, ++t) {
    const int a = std::tolower(static_cast<unsigned char>(*x));
    const int b = std::tolower(static_cast<unsigned char>(*t));
    if (a != b || a == 0) return (a > b) - (a < b);
  }
}

// The scan for "+S0|-D3": key 0 field 0 ascending as text, key 1 field 3 descending as number.
int PlainInsert(const std::vector<char*>& list, const char* t, int from, int key,
                const char* probe) {
  const int field = key == 0 ? 0 : 3;
  char* tk = FieldCopy(t, field);
  int result = static_cast<int>(list.size());
  for (int i = from; i < static_cast<int>(list.size()); ++i) {
    if (key == 1) {
      char* run = FieldCopy(list[i], 0);
      const bool same = run != nullptr && probe != nullptr && std::strcmp(run, probe) == 0;
      std::free(run);
      if (!same) {
        result = i;
        break;
      }
    }
    char* x = FieldCopy(list[i], field);
    const int c = CompareCopies(x, tk, key == 1);
    std::free(x);
    if ((key == 0 && c > 0) || (key == 1 && c < 0) || (c == 0 && key == 1)) {
      result = i;
      break;
    }
    if (c == 0) {
      result = PlainInsert(list, t, i, 1, tk);
      break;
    }
  }
  std::free(tk);
  return result;
}

void SortWithList(benchmark::State& state, int names) {
  const auto lines = MakeLines(static_cast<int>(state.range(0)), names);
  for (auto _ : state) {
    dsList list;
    dsInitialize(&list);
    dsSetSort(&list, "+S0|-D3");
    for (const auto& line : lines) dsAppend(&list, line.c_str());
    benchmark::DoNotOptimize(list.strings);
    state.PauseTiming();
    dsFree(&list);
    state.ResumeTiming();
  }
}

void BM_DsList(benchmark::State& state) { SortWithList(state, 2000); }
void BM_DsListOneName(benchmark::State& state) { SortWithList(state, 1); }

void BM_PlainScan(benchmark::State& state) {
  const auto lines = MakeLines(static_cast<int>(state.range(0)), 2000);
  for (auto _ : state) {
    std::vector<char*> list;
    for (const auto& line : lines) {
      const auto at = static_cast<std::size_t>(PlainInsert(list, line.c_str(), 0, 0, nullptr));
      list.insert(std::next(list.begin(), static_cast<std::ptrdiff_t>(at)), strdup(line.c_str()));
    }
    state.PauseTiming();
    for (char* s : list) std::free(s);
    state.ResumeTiming();
  }
}

void BM_BulkOrder(benchmark::State& state) {
  const auto lines = MakeLines(static_cast<int>(state.range(0)), 2000);
  std::vector<const char*> texts;
  for (const auto& line : lines) texts.push_back(line.c_str());
  dsList settings;
  dsInitialize(&settings);
  dsSetSort(&settings, "+S0|-D3");
  for (auto _ : state)
    benchmark::DoNotOptimize(kav::containers::dslist::sorted_order(settings, texts));
}

// Runs command, the lines of n names in its input file, once per iteration as a child.
void RunSorter(benchmark::State& state, const std::string& sorter) {
  const auto lines = MakeLines(static_cast<int>(state.range(0)), 2000);
  const std::string in = "dslist_bench_in.txt";
  const std::string out = "dslist_bench_out.txt";
  FILE* file = std::fopen(in.c_str(), "w");
  for (const auto& line : lines) std::fprintf(file, "%s\n", line.c_str());
  std::fclose(file);
  const std::string command = sorter + " " + in + " > " + out;
  const bench::ChildCpu children(state);
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("the sort failed");
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
}

void BM_GnuSort(benchmark::State& state) { RunSorter(state, "sort -t'|' -k1,1f -k4,4nr"); }

// The kav tool built beside this program.
void BM_KavSort(benchmark::State& state) {
  const auto kav = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kav";
  if (!std::filesystem::exists(kav)) {
    state.SkipWithError("no kav beside the benchmark");
    return;
  }
  RunSorter(state, kav.string() + " sort '+S0|-D3'");
}

BENCHMARK(BM_DsList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DsListOneName)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainScan)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GnuSort)
    ->Arg(100000)
    ->Arg(400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_KavSort)->Arg(400000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_BulkOrder)->Arg(400000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithComparisons(
      argc, argv,
      {{"dsList +S0\\|-D3, 100,000 lines of one first field", "BM_DsListOneName/100000",
        "BM_DsList/100000", "dsList, 2,000 first fields", "r4,t2"},
       {"dsList +S0\\|-D3, 100,000 lines of 2,000 first fields", "BM_DsList/100000",
        "BM_GnuSort/100000", "GNU sort", "t1"},
       {"dsList +S0\\|-D3, 10,000 lines", "BM_DsList/10000", "BM_PlainScan/10000",
        "the plain scan"},
       {"kav sort +S0\\|-D3, 400,000 lines (the library's order)", "BM_KavSort/400000",
        "BM_GnuSort/400000", "GNU sort", "r2"}});
}

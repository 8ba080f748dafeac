// dslist_bench.cpp - sorting lines with a dsList ("+S0|-D3": name without case, then amount
// descending) against the scan that the contract describes and against GNU sort.
//
// The lines look like "Name|City|Ref|Amount" with 2,000 names.  The plain scan walks the list
// from the start for every line, copying each key text it looks at into a heap block of its own;
// it is quadratic, so it runs at 10,000 lines only.  GNU sort reads the same lines from a
// temporary file with the same keys (-k1,1f -k4,4nr, C locale); its time (the CPU time of the
// shell and of sort, which run as children) includes starting them.  The "OneName" case gives
// every line the same name, the worst case for the walk over equal names; its peer is the mixed
// case.  Appends one at a time must stay within 1.5 times GNU sort at 100,000 lines.
//
// Where many lines arrive at once they are ordered at once, in O(n log n), in the order that
// appending them one at a time gives (kav::containers::dslist::sorted_order): a read of a file
// of 100,000 lines into a sorted list must be at least as fast as GNU sort, and "kav sort" on
// 400,000 and 4,000,000 lines, run as a program like GNU sort, within twice its time (the
// 4,000,000 lines, about 150 MB, run once each and are left out when KAV_BENCH_SMALL is set).
// The bulk order alone is measured in the process.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "comparison.h"
#include "containers/dslist.h"
#include "kavutil.h"

namespace {

// Line i of the input: "Name|City|Ref|Amount", the name one of names.
std::string MakeLine(std::mt19937& rng, int i, int names) {
  static const char* const first[] = {"Anna", "Ben", "Carl", "Dora", "Emil",
                                      "Fay",  "Gus", "Hana", "Ivo",  "Jana"};
  const unsigned who = rng() % static_cast<unsigned>(names);
  return std::string(first[who % 10]) + " Surname" + std::to_string(who / 10) + "|City" +
         std::to_string(rng() % 50) + "|R" + std::to_string(i) + "|" +
         std::to_string(rng() % 100000);
}

std::vector<std::string> MakeLines(int n, int names) {
  std::mt19937 rng(7);
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) lines.push_back(MakeLine(rng, i, names));
  return lines;
}

// The same lines (2,000 names), one per line in a file; its name.
std::string WriteLines(int n) {
  const std::string path = "dslist_bench_" + std::to_string(n) + ".txt";
  FILE* file = std::fopen(path.c_str(), "w");
  std::mt19937 rng(7);
  for (int i = 0; i < n; ++i) std::fprintf(file, "%s\n", MakeLine(rng, i, 2000).c_str());
  std::fclose(file);
  return path;
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

// A file of the lines read into an empty sorted list: ordered at once.
void BM_DsListRead(benchmark::State& state) {
  const std::string in = WriteLines(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    dsList list;
    dsInitialize(&list);
    dsSetSort(&list, "+S0|-D3");
    if (dsReadFromFile(&list, in.c_str()) != 1) state.SkipWithError("the read failed");
    benchmark::DoNotOptimize(list.strings);
    state.PauseTiming();
    dsFree(&list);
    state.ResumeTiming();
  }
  std::remove(in.c_str());
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
  const std::string in = WriteLines(static_cast<int>(state.range(0)));
  const std::string out = "dslist_bench_out.txt";
  const std::string command = sorter + " " + in + " > " + out;
  const bench::ChildCpu children(state);
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("the sort failed");
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
}

// In the C locale, which folds case as the list does (ASCII only) and compares bytes; a UTF-8
// locale makes GNU sort a quarter slower.
void BM_GnuSort(benchmark::State& state) { RunSorter(state, "LC_ALL=C sort -t'|' -k1,1f -k4,4nr"); }

// The kav tool built beside this program.
void BM_KavSort(benchmark::State& state) {
  const auto kav = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kav";
  if (!std::filesystem::exists(kav)) {
    state.SkipWithError("no kav beside the benchmark");
    return;
  }
  RunSorter(state, kav.string() + " sort '+S0|-D3'");
}

// The pairs run 3 times each, in one random order (ours, GNU sort, GNU sort, ours, ...), and the
// table takes the medians: the memory-bound inserts suffer more than GNU sort from other load.
BENCHMARK(BM_DsList)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3);
BENCHMARK(BM_DsListOneName)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3);
BENCHMARK(BM_DsListRead)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK(BM_PlainScan)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GnuSort)
    ->Arg(100000)
    ->Arg(400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(3);
BENCHMARK(BM_KavSort)
    ->Arg(400000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3)
    ->Repetitions(3);
BENCHMARK(BM_BulkOrder)->Arg(400000)->Unit(benchmark::kMillisecond)->Iterations(3);

// 4,000,000 lines, once each: kav sort and GNU sort take seconds.
void RegisterLarge() {
  const char* small = std::getenv("KAV_BENCH_SMALL");
  if (small != nullptr && *small != '\0') return;
  using Run = void (*)(benchmark::State&);
  for (const auto& [name, run] : {std::pair<const char*, Run>{"BM_GnuSort", BM_GnuSort},
                                  std::pair<const char*, Run>{"BM_KavSort", BM_KavSort}}) {
    benchmark::RegisterBenchmark(name, run)
        ->Arg(4000000)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterLarge();
  return bench::RunWithComparisons(
      argc, argv,
      {{"dsList +S0\\|-D3, 100,000 lines of one first field", "BM_DsListOneName/100000",
        "BM_DsList/100000", "dsList, 2,000 first fields", "r4,t2"},
       {"dsList +S0\\|-D3, 100,000 lines of 2,000 first fields", "BM_DsList/100000",
        "BM_GnuSort/100000", "GNU sort", "r1.5,t1"},
       {"dsList +S0\\|-D3, read of a file of 100,000 lines", "BM_DsListRead/100000",
        "BM_GnuSort/100000", "GNU sort", "r1"},
       {"dsList +S0\\|-D3, 10,000 lines", "BM_DsList/10000", "BM_PlainScan/10000",
        "the plain scan"},
       {"kav sort +S0\\|-D3, 400,000 lines (the library's order)", "BM_KavSort/400000",
        "BM_GnuSort/400000", "GNU sort", "r2"},
       {"kav sort +S0\\|-D3, 4,000,000 lines (the library's order)", "BM_KavSort/4000000",
        "BM_GnuSort/4000000", "GNU sort", "r2"}},
      {.interleave = true});
}

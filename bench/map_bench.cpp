// map_bench.cpp - IMap against std::map and glibc's tsearch on 1,000,000 random keys: insert,
// find, erase and an in-order walk (IMapFirst/IMapNext against std::map's iterator and glibc's
// twalk).  All three order keys by the same comparison function, called through a pointer that
// the optimizer cannot see through; tsearch reaches it through a small adapter because its
// callback takes pointers.  The table at the end compares the walk with twalk and each
// operation with std::map.
#include <benchmark/benchmark.h>
#include <search.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "comparison.h"
#include "kavutil.h"

namespace {

constexpr size_t kKeys = 1000000;

int CompareWords(kav_word a, kav_word b) { return a < b ? -1 : a > b ? 1 : 0; }
kav_map_compare volatile compare_words = CompareWords;

kav_word Same(kav_word value) { return value; }

int CompareNodes(const void *a, const void *b) {
  return compare_words(reinterpret_cast<kav_word>(a), reinterpret_cast<kav_word>(b));
}

struct Less {
  kav_map_compare compare = compare_words;
  bool operator()(kav_word a, kav_word b) const { return compare(a, b) < 0; }
};
using StdMap = std::map<kav_word, kav_word, Less>;

// Distinct non-zero keys in random order, and the same keys shuffled again for lookups.
const std::vector<kav_word> &Keys(bool lookup_order) {
  static const auto keys = [] {
    std::mt19937_64 random(42);
    std::vector<kav_word> inserted(kKeys);
    for (kav_word &key : inserted) key = static_cast<kav_word>(random() >> 2) + 1;
    std::vector<kav_word> probed = inserted;
    std::shuffle(probed.begin(), probed.end(), random);
    return std::pair{inserted, probed};
  }();
  return lookup_order ? keys.second : keys.first;
}

IMap *FilledIMap() {
  const IMap prototype{Same, nullptr, compare_words, nullptr, nullptr, 0, 0, nullptr, nullptr};
  IMap *map = IMapDup(&prototype);
  for (kav_word key : Keys(false)) IMapSet(map, key, key);
  return map;
}

StdMap FilledStdMap() {
  StdMap map;
  for (kav_word key : Keys(false)) map.emplace(key, key);
  return map;
}

void *FilledTsearch() {
  void *root = nullptr;
  for (kav_word key : Keys(false)) tsearch(reinterpret_cast<void *>(key), &root, CompareNodes);
  return root;
}

void Nothing(void *) {}

void Finish(benchmark::State &state) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kKeys));
}

void BM_Insert_IMap(benchmark::State &state) {
  for (auto _ : state) {
    IMap *map = FilledIMap();
    state.PauseTiming();
    IMapFree(map);
    state.ResumeTiming();
  }
  Finish(state);
}

void BM_Insert_StdMap(benchmark::State &state) {
  for (auto _ : state) {
    auto *map = new StdMap(FilledStdMap());
    state.PauseTiming();
    delete map;
    state.ResumeTiming();
  }
  Finish(state);
}

void BM_Insert_Tsearch(benchmark::State &state) {
  for (auto _ : state) {
    void *root = FilledTsearch();
    state.PauseTiming();
    tdestroy(root, Nothing);
    state.ResumeTiming();
  }
  Finish(state);
}

void BM_Find_IMap(benchmark::State &state) {
  IMap *map = FilledIMap();
  for (auto _ : state) {
    for (kav_word key : Keys(true)) benchmark::DoNotOptimize(IMapGet(map, key));
  }
  IMapFree(map);
  Finish(state);
}

void BM_Find_StdMap(benchmark::State &state) {
  const StdMap map = FilledStdMap();
  for (auto _ : state) {
    for (kav_word key : Keys(true)) benchmark::DoNotOptimize(map.find(key)->second);
  }
  Finish(state);
}

void BM_Find_Tsearch(benchmark::State &state) {
  void *root = FilledTsearch();
  for (auto _ : state) {
    for (kav_word key : Keys(true))
      benchmark::DoNotOptimize(tfind(reinterpret_cast<void *>(key), &root, CompareNodes));
  }
  tdestroy(root, Nothing);
  Finish(state);
}

void BM_Erase_IMap(benchmark::State &state) {
  for (auto _ : state) {
    state.PauseTiming();
    IMap *map = FilledIMap();
    state.ResumeTiming();
    for (kav_word key : Keys(true)) IMapDelete(map, key);
    IMapFree(map);
  }
  Finish(state);
}

void BM_Erase_StdMap(benchmark::State &state) {
  for (auto _ : state) {
    state.PauseTiming();
    StdMap map = FilledStdMap();
    state.ResumeTiming();
    for (kav_word key : Keys(true)) map.erase(key);
  }
  Finish(state);
}

void BM_Erase_Tsearch(benchmark::State &state) {
  for (auto _ : state) {
    state.PauseTiming();
    void *root = FilledTsearch();
    state.ResumeTiming();
    for (kav_word key : Keys(true)) tdelete(reinterpret_cast<void *>(key), &root, CompareNodes);
  }
  Finish(state);
}

void BM_Walk_IMap(benchmark::State &state) {
  IMap *map = FilledIMap();
  for (auto _ : state) {
    IMapIterator at;
    kav_word sum = 0;
    for (IMapFirst(&at, map); at.node != nullptr; IMapNext(&at)) sum += at.payload;
    benchmark::DoNotOptimize(sum);
  }
  IMapFree(map);
  Finish(state);
}

void BM_Walk_StdMap(benchmark::State &state) {
  const StdMap map = FilledStdMap();
  for (auto _ : state) {
    kav_word sum = 0;
    for (const auto &entry : map) sum += entry.second;
    benchmark::DoNotOptimize(sum);
  }
  Finish(state);
}

kav_word walk_sum = 0;

void AddLeaf(const void *node, VISIT visit, int) {
  if (visit == postorder || visit == leaf) walk_sum += *static_cast<const kav_word *>(node);
}

void BM_Walk_Tsearch(benchmark::State &state) {
  void *root = FilledTsearch();
  for (auto _ : state) {
    walk_sum = 0;
    twalk(root, AddLeaf);
    benchmark::DoNotOptimize(walk_sum);
  }
  tdestroy(root, Nothing);
  Finish(state);
}

}  // namespace

BENCHMARK(BM_Insert_IMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_StdMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Insert_Tsearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_IMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_StdMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_Tsearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Erase_IMap)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_Erase_StdMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Erase_Tsearch)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_Walk_IMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_StdMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Tsearch)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
  return bench::RunWithComparisons(
      argc, argv,
      {{"IMap in-order walk, 1,000,000 keys", "BM_Walk_IMap", "BM_Walk_Tsearch", "glibc twalk",
        "r2"},
       {"IMap in-order walk, 1,000,000 keys", "BM_Walk_IMap", "BM_Walk_StdMap", "std::map", "r1.2"},
       {"IMap insert, 1,000,000 keys", "BM_Insert_IMap", "BM_Insert_StdMap", "std::map", "r1.2"},
       {"IMap find, 1,000,000 keys", "BM_Find_IMap", "BM_Find_StdMap", "std::map", "r1.2"},
       {"IMap erase, 1,000,000 keys", "BM_Erase_IMap", "BM_Erase_StdMap", "std::map", "r1.2"},
       {"IMap insert, 1,000,000 keys", "BM_Insert_IMap", "BM_Insert_Tsearch", "glibc tsearch"},
       {"IMap find, 1,000,000 keys", "BM_Find_IMap", "BM_Find_Tsearch", "glibc tfind"},
       {"IMap erase, 1,000,000 keys", "BM_Erase_IMap", "BM_Erase_Tsearch", "glibc tdelete",
        "r1.2"}},
      {.interleave = true});
}

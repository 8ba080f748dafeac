// map_test.cpp - the IMap family (containers/map.cpp) with integer keys and payloads whose
// callbacks count what enters and leaves a map: a randomized run against std::map (red-black
// rules, parent links, counts, stable IMapElement pointers), then payloads, renames, the cursor's
// edges, copies, two-level maps, a copy running out of memory and the slabs the nodes live in.

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "support.h"

namespace {

struct Counts {
  long copy_key, release_key, compare, copy_payload, release_payload;
} counts;

kav_word CopyKey(kav_word key) { return ++counts.copy_key, key; }
void ReleaseKey(kav_word) { ++counts.release_key; }
int Compare(kav_word a, kav_word b) { return ++counts.compare, a < b ? -1 : a > b ? 1 : 0; }
int CompareTens(kav_word a, kav_word b) { return Compare(a / 10, b / 10); }
kav_word CopyPayload(kav_word payload) { return ++counts.copy_payload, payload; }
void ReleasePayload(kav_word) { ++counts.release_payload; }
kav_word DupMap(kav_word map) {
  return reinterpret_cast<kav_word>(IMapDup(reinterpret_cast<IMap *>(map)));
}
void FreeMap(kav_word map) { IMapFree(reinterpret_cast<IMap *>(map)); }

IMap Prototype(bool release_payload = true) {
  counts = {};
  return IMap{CopyKey, ReleaseKey, Compare, CopyPayload, release_payload ? ReleasePayload : nullptr,
              0,       0,          nullptr, nullptr};
}

const IMapNode *End(const IMap *map) { return map->tree->right; }

// Checks the red-black rules and parent links below node, appends it in order; black height.
int Walk(const IMapNode *node, const IMapNode *end, std::vector<const IMapNode *> *order) {
  if (node == end) return 1;
  for (const IMapNode *child : {node->left, node->right}) {
    if (child != end && child->parent != node) return -1000;
    if (node->red && child->red) return -1000;
  }
  const int left = Walk(node->left, end, order);
  order->push_back(node);
  const int right = Walk(node->right, end, order);
  return left == right ? left + (node->red ? 0 : 1) : -1000;
}

// Checks the whole tree; its entries in order.
std::vector<const IMapNode *> CheckTree(const IMap *map) {
  const IMapNode *holder = map->tree, *end = End(map), *root = holder->left;
  std::vector<const IMapNode *> order;
  EXPECT_TRUE(!holder->red && !end->red && holder->parent == end && end->left == end &&
              end->right == end && end->key == 0 && end->payload == 0);
  EXPECT_TRUE(root == end || (root->parent == holder && !root->red));
  EXPECT_GT(Walk(root, end, &order), 0) << "red-black rules or parent links broken";
  EXPECT_EQ(static_cast<int>(order.size()), map->count);
  return order;
}

TEST(Randomized, HundredThousandOperationsAgainstStdMap) {
  IMap prototype = Prototype();
  IMap *map = IMapDup(&prototype);
  std::map<kav_word, kav_word> reference;
  std::map<kav_word, IMapElement *> elements;  // taken when each entry was made
  std::mt19937 random(20240501);
  auto key = [&] { return static_cast<kav_word>(random() % 800 + 1); };
  for (int step = 0; step < 100000; ++step) {
    const kav_word k = key(), other = key(), payload = static_cast<kav_word>(random() % 999 + 1);
    if (const unsigned operation = random() % 8; operation < 3) {
      ASSERT_EQ(IMapSet(map, k, payload), payload);
      reference[k] = payload;
      IMapSetCurrent(map, k);
      elements.emplace(k, IMapElementCurrent(map));
    } else if (operation < 5) {
      IMapDelete(map, k);
      reference.erase(k), elements.erase(k);
    } else if (operation == 5) {
      IMapRename(map, k, other);
      if (reference.count(k) == 1 && reference.count(other) == 0) {
        reference[other] = reference[k];
        reference.erase(k), elements.erase(k);
        elements[other] = IMapElementN(map, IMapPos(map, other));
      }
    } else {
      IMapIterator at;
      const auto bound = reference.lower_bound(k);
      ASSERT_EQ(IMapGTE(&at, map, k), bound == reference.end() ? 0 : bound->second);
      ASSERT_EQ(IMapPos(map, k), reference.count(k) ? std::distance(reference.begin(), bound) : -1);
      continue;
    }
    const auto nodes = CheckTree(map);
    ASSERT_FALSE(HasFailure()) << "step " << step;
    ASSERT_TRUE(map->count == int(reference.size()) && elements.size() == reference.size());
    ASSERT_EQ(counts.copy_key - counts.release_key, map->count);
    ASSERT_EQ(counts.copy_payload - counts.release_payload, map->count);
    ASSERT_EQ(IMapGet(map, k), reference.count(k) ? reference[k] : 0);
    if (step % 32 != 0) continue;  // the full comparison and walks in O(n log n) now and then
    auto expected = reference.begin();
    auto element = elements.begin();
    IMapIterator at;
    IMapFirst(&at, map);
    for (IMapElement *cursor = IMapElementFirst(map); const IMapNode *node : nodes) {
      ASSERT_TRUE(node->key == expected->first && node->payload == expected->second) << step;
      ASSERT_EQ(reinterpret_cast<const void *>(element->second), &node->key) << step;
      ASSERT_TRUE(at.node == node && at.key == node->key && cursor == element->second) << step;
      IMapNext(&at), cursor = IMapElementNext(map);
      ++expected, ++element;
    }
    ASSERT_TRUE(at.node == nullptr && IMapElementCurrent(map) == nullptr) << step;
  }
  IMapFree(map);
  EXPECT_EQ(counts.copy_key, counts.release_key);
  EXPECT_EQ(counts.copy_payload, counts.release_payload);
}

TEST(Payloads, ReplacedOnlyWhenTheMapCanReleaseThem) {
  IMap prototype = Prototype();
  IMap *map = IMapDup(&prototype);
  IMapSet(map, 1, 10);
  EXPECT_EQ(IMapSet(map, 1, 20), 20);
  EXPECT_TRUE(counts.release_payload == 1 && counts.copy_payload == 2);
  EXPECT_EQ(IMapSet(map, 1, 0), 20);  // payload 0 never replaces
  EXPECT_EQ(IMapSet(map, 2, 0), 0);   // no default: the entry holds 0
  map->default_payload = 7;
  EXPECT_EQ(IMapSet(map, 2, 0), 7);  // an empty entry takes a copy of the default
  EXPECT_TRUE(counts.copy_payload == 3 && counts.copy_key == 2);
  IMap keeping = Prototype(false);
  IMap *kept = IMapDup(&keeping);
  IMapSet(kept, 1, 10);
  EXPECT_EQ(IMapSet(kept, 1, 20), 10);
  IMapFree(map), IMapFree(kept);
}

// Lookups, ranks, bounds and walks are held to std::map above; these are the edges it leaves out.
TEST(Lookups, NullMapsOutOfRangeAndTheCursor) {
  IMap prototype = Prototype();
  IMap *map = IMapDup(&prototype);
  EXPECT_TRUE(IMapDup(nullptr) == nullptr && IMapSet(nullptr, 1, 1) == 0);
  EXPECT_TRUE(IMapCount(nullptr) == -1 && IMapCount2(map, 5) == -1);
  EXPECT_TRUE(IMapElementFirst(map) == nullptr && IMapElementNext(map) == nullptr);
  for (kav_word k : {30, 10, 20}) IMapSet(map, k, k + 1);
  EXPECT_TRUE(IMapElementN(map, 3) == nullptr && IMapElementN(map, -1) == nullptr);
  EXPECT_EQ(IMapElementFirst(map)->key, 10);
  IMapSet(map, 40, 41), IMapDelete(map, 30);  // the cursor stays on its entry
  EXPECT_TRUE(IMapKeyCurrent(map) == 10 && IMapElementNext(map)->key == 20);
  EXPECT_TRUE(IMapElementNext(map)->key == 40 && IMapElementNext(map) == nullptr);
  EXPECT_EQ(IMapElementNext(map), nullptr);  // past the end, and stays there
  IMapSetCurrent(map, 20);
  EXPECT_EQ(IMapPayloadCurrent(map), 21);
  IMapDelete(map, 20);
  EXPECT_EQ(IMapElementCurrent(map), nullptr);  // the cursor left with its entry
  IMapFree(map);
}

TEST(Rename, MovesThePayloadOrChangesNothing) {
  IMap prototype = Prototype();
  prototype.compare = CompareTens;
  IMap *map = IMapDup(&prototype);
  IMapSet(map, 10, 100), IMapSet(map, 20, 200);
  counts = {};
  IMapRename(map, 10, 20);  // present
  IMapRename(map, 10, 15);  // equal under compare
  IMapRename(map, 30, 40);  // absent
  EXPECT_EQ(counts.copy_key + counts.release_key + counts.release_payload, 0);
  IMapRename(map, 10, 40);
  EXPECT_TRUE(IMapGet(map, 40) == 100 && IMapGet(map, 10) == 0);
  EXPECT_TRUE(counts.copy_key == 1 && counts.release_key == 1);
  EXPECT_TRUE(counts.copy_payload == 0 && counts.release_payload == 0);
  IMapSet(map, 60, 600), IMapSet(map, 70, 700);  // the map's first slab (4 slots) is full
  kav::platform::memory::fail_after(0);
  IMapRename(map, 40, 50);  // no node for the new key: nothing moves
  kav::platform::memory::fail_after(-1);
  EXPECT_TRUE(IMapGet(map, 40) == 100 && IMapCount(map) == 4);
  IMapFree(map);
}

TEST(Copies, KeepShapeAndColoursWithoutComparing) {
  IMap prototype = Prototype();
  IMap *map = IMapDup(&prototype);
  for (kav_word k = 1; k <= 100; ++k) IMapSet(map, k * 7 % 101, k);
  counts = {};
  IMap *copy = IMapDup(map);
  EXPECT_TRUE(counts.copy_key == 100 && counts.compare == 0 && copy->count == 100);
  EXPECT_EQ(copy->current, nullptr);
  EXPECT_NE(End(copy), End(map));  // its own end marker: maps may change on different threads
  const auto original = CheckTree(map), copied = CheckTree(copy);
  for (size_t i = 0; i < copied.size(); ++i) {
    const bool same_shape = (copied[i]->left == End(copy)) == (original[i]->left == End(map));
    EXPECT_TRUE(same_shape && copied[i]->red == original[i]->red &&
                copied[i]->key == original[i]->key);
  }
  counts = {};
  IMapClear(copy);
  EXPECT_TRUE(counts.release_key == 100 && counts.release_payload == 100 && copy->count == 0);
  EXPECT_EQ(IMapSet(copy, 5, 6), 6);
  IMapFree(map), IMapFree(copy);
}

TEST(TwoLevel, InnerMapsAreMadeOnDemand) {
  IMap inner = Prototype(), outer = inner;
  outer.default_payload = reinterpret_cast<kav_word>(&inner);
  outer.copy_payload = DupMap, outer.release_payload = FreeMap;
  IMap *map = IMapDup(&outer);
  EXPECT_EQ(IMapSet2(map, 1, 10, 100), 100);
  EXPECT_EQ(IMapSet2(map, 1, 20, 200), 200);
  EXPECT_TRUE(IMapGet2(map, 1, 20) == 200 && IMapCount2(map, 1) == 2);
  IMapRename2(map, 1, 20, 30);
  EXPECT_EQ(IMapPos2(map, 1, 30), 1);
  IMapDelete2(map, 1, 10);
  EXPECT_TRUE(IMapCount2(map, 1) == 1 && IMapGet2(map, 2, 10) == 0);
  IMapFree(map);
  EXPECT_EQ(counts.copy_key, counts.release_key);
  outer.default_payload = 0;
  map = IMapDup(&outer);
  EXPECT_EQ(IMapSet2(map, 1, 10, 100), 0);  // k1 entered with payload 0, no inner map
  EXPECT_EQ(IMapPos(map, 1), 0);
  IMapFree(map);
}

// A copy that runs out part-way gives back every key it copied (the library's own blocks are
// counted by the fault sweep; the keys are the caller's).
TEST(Memory, ACopyThatRunsOutReleasesWhatItCopied) {
  IMap prototype = Prototype();
  IMap *map = IMapDup(&prototype), *copy = nullptr;
  for (kav_word k = 1; k <= 50; ++k) IMapSet(map, k, k);
  kavtest::SweepAllocations([&] { return copy = IMapDup(map); },
                            [&](long, const IMap *made) {
                              EXPECT_EQ(counts.copy_key - counts.release_key,
                                        made != nullptr ? 100 : 50);
                            });
  EXPECT_EQ(CheckTree(copy).size(), 50u);
  IMapFree(map), IMapFree(copy);
  EXPECT_EQ(counts.copy_key, counts.release_key);
}

// Nodes come from slabs that the map allocates as it grows (70,000 entries take slabs of every
// size, up to a large page where there are large pages); a slab goes back to the heap when its
// last entry leaves, except the one slab the map would take its next node from.
TEST(Memory, SlabsGoBackToTheHeapAsTheyEmpty) {
  kav::platform::memory::fail_after(-1);  // starts the count of blocks
  const long before = kav::platform::memory::live_blocks();
  IMap prototype = Prototype(false);
  IMap *map = IMapDup(&prototype);
  std::vector<kav_word> keys(70000);
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = static_cast<kav_word>(i + 1);
  std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
  for (kav_word key : keys) IMapSet(map, key, key);
  kav_word expected = 1;
  for (IMapElement *e = IMapElementFirst(map); e != nullptr; e = IMapElementNext(map)) {
    ASSERT_TRUE(e->key == expected && e->payload == expected);
    ++expected;
  }
  EXPECT_EQ(expected, 70001);
  EXPECT_GT(kav::platform::memory::live_blocks() - before, 6);  // the record, the tree and slabs
  std::shuffle(keys.begin(), keys.end(), std::mt19937(8));
  for (kav_word key : keys) IMapDelete(map, key);
  EXPECT_EQ(kav::platform::memory::live_blocks() - before, 3);  // the record, the tree and one slab
  for (kav_word key : keys) IMapSet(map, key, key);
  IMapClear(map);
  EXPECT_EQ(kav::platform::memory::live_blocks() - before, 2);
  IMapFree(map);
  EXPECT_EQ(kav::platform::memory::live_blocks(), before);
}

}  // namespace

// arraylist_test.cpp - the IArrayList family (containers/arraylist.cpp): growth, owned copies,
// null lists and running out of memory at the growth step.  ExpectConsistent compares count and
// capacity with the slots, so an add that fails part-way shows as a broken record; leaked items
// and copies show under LeakSanitizer.  Random sequences against a model (sorts, deletes, adding
// lists, allocations failing in each) are the container fuzzer's (fuzz_containers, make
// fuzz-smoke).

#include <gtest/gtest.h>

#include <cstddef>

#include "kavutil.h"
#include "platform/memory.h"

namespace {

void ExpectConsistent(const IArrayList &list) {
  EXPECT_EQ(list.capacity % 500, 0u);
  ASSERT_LE(list.count, list.capacity);
  for (unsigned int i = 0; i < list.capacity; ++i)
    EXPECT_EQ(list.items[i] != nullptr, i < list.count);
}

const char *Text(const IArrayList *list, unsigned int position) {
  return reinterpret_cast<const char *>(IArrayListGetPos(list, position));
}

// The records callers lay out, field by field.
static_assert(offsetof(IArrayList, count) == 4 && offsetof(IArrayList, items) == 8);
static_assert(offsetof(IArrayListItem, size) == 4 && offsetof(IArrayListItem, data) == 8);

TEST(ArrayList, GrowsBy500AndKeepsOrder) {
  IArrayList *list = IArrayListInit();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->capacity, 500u);
  for (kav_word v = 1; v <= 501; ++v) ASSERT_EQ(IArrayListAdd(list, v)->data, v);
  EXPECT_EQ(list->capacity, 1000u);
  for (unsigned int i = 0; i < 501; ++i) ASSERT_EQ(IArrayListGetPos(list, i), kav_word(i + 1));
  EXPECT_EQ(IArrayListGetPos(list, 501), 0);
  IArrayListItem **const items = list->items;
  IArrayListDeleteAll(list);
  ExpectConsistent(*list);
  for (kav_word v = 1; v <= 1000; ++v) IArrayListAdd(list, v);
  EXPECT_EQ(list->items, items);
  EXPECT_EQ(list->capacity, 1000u);
  IArrayListDestroy(list);
}

TEST(ArrayList, CopiesAreOwnedAndEmptyCopiesStillAdded) {
  IArrayList *list = IArrayListInit();
  char text[] = "abc";
  char *copy = static_cast<char *>(IArrayListAddAsCopy(list, text, sizeof text));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, text);
  text[0] = 'x';
  EXPECT_STREQ(Text(list, 0), "abc");
  EXPECT_EQ(IArrayListAddAsCopy(list, text, 0), nullptr);
  EXPECT_EQ(IArrayListAddAsCopy(list, nullptr, 4), nullptr);
  EXPECT_EQ(list->count, 3u);
  EXPECT_EQ(list->items[1]->owned, 1);
  EXPECT_EQ(IArrayListGetPos(list, 1), 0);
  ExpectConsistent(*list);
  IArrayListDestroy(list);
}

TEST(ArrayList, NullListsChangeNothing) {
  EXPECT_EQ(IArrayListAdd(nullptr, 1), nullptr);
  EXPECT_EQ(IArrayListAddAsCopy(nullptr, "a", 1), nullptr);
  EXPECT_EQ(IArrayListGetPos(nullptr, 0), 0);
  IArrayList *list = IArrayListInit();
  EXPECT_EQ(IArrayListAddAll(nullptr, list) + IArrayListAddAll(list, nullptr), 2);
  IArrayListDestroy(list);
  IArrayListDeletePos(nullptr, 0);
  IArrayListDestroy(nullptr);
}

// Allocations fail from each point of three adds on, the growth step included: the record must
// stay whole and only the adds that completed may show.
TEST(ArrayList, RunningOutOfMemoryAddsNothing) {
  const unsigned int completed[] = {0, 1, 1, 1, 2, 3};  // copy, item, growth for the second
  for (long n = 0; n < 6; ++n) {
    kav::memory::fail_after(-1);
    IArrayList *list = IArrayListInit();
    for (kav_word v = 0; v < 499; ++v) IArrayListAdd(list, v);
    kav::memory::fail_after(n);
    IArrayListAdd(list, 1) && IArrayListAddAsCopy(list, "x", 2) && IArrayListAdd(list, 2);
    kav::memory::fail_after(-1);
    EXPECT_EQ(list->count, 499 + completed[n]) << "failing after " << n;
    EXPECT_EQ(list->capacity, list->count > 500 ? 1000u : 500u);
    ExpectConsistent(*list);
    IArrayListDestroy(list);
  }
}

}  // namespace

// arraylist_test.cpp - the IArrayList family (containers/arraylist.cpp).  ExpectConsistent
// compares count and capacity with the slots, so an add that fails part-way under failing
// allocations shows as a broken record; leaked items and copies show under LeakSanitizer.

#include <cstddef>

#include "support.h"

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

int CompareData(const void *a, const void *b) {
  const kav_word x = (*static_cast<IArrayListItem *const *>(a))->data;
  const kav_word y = (*static_cast<IArrayListItem *const *>(b))->data;
  return x < y ? -1 : x > y ? 1 : 0;
}

// The records callers lay out, field by field.
static_assert(offsetof(IArrayList, count) == 4 && offsetof(IArrayList, items) == 8);
static_assert(offsetof(IArrayListItem, size) == 4 && offsetof(IArrayListItem, data) == 8);

TEST(ArrayList, GrowsBy500KeepsOrderAndSorts) {
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
  for (kav_word v = 1000; v >= 1; --v) IArrayListAdd(list, v);
  EXPECT_EQ(list->items, items);
  EXPECT_EQ(list->capacity, 1000u);
  IArrayListSort(list, CompareData);
  for (unsigned int i = 0; i < 1000; ++i) ASSERT_EQ(IArrayListGetPos(list, i), kav_word(i + 1));
  IArrayListDestroy(list);
}

TEST(ArrayList, CopiesAreOwnedAndEmptyCopiesStillAdded) {
  IArrayList *list = IArrayListInit();
  char text[] = "abc";
  char *copy = static_cast<char *>(IArrayListAddAsCopy(list, text, sizeof text));
  ASSERT_NE(copy, nullptr);
  text[0] = 'x';
  EXPECT_STREQ(Text(list, 0), "abc");
  EXPECT_EQ(IArrayListAddAsCopy(list, text, 0), nullptr);
  EXPECT_EQ(IArrayListAddAsCopy(list, nullptr, 4), nullptr);
  EXPECT_EQ(list->count, 3u);
  EXPECT_EQ(list->items[1]->owned, 1);
  EXPECT_EQ(IArrayListGetPos(list, 1), 0);
  IArrayListAdd(list, 7);
  IArrayListDeletePos(list, 0);
  IArrayListDeletePos(list, 3);
  EXPECT_EQ(list->count, 3u);
  EXPECT_EQ(IArrayListGetPos(list, 2), 7);
  ExpectConsistent(*list);
  IArrayListDestroy(list);
}

TEST(ArrayList, AddAllCopiesOwnedDataSharesValuesAndSkipsNullLists) {
  IArrayList *source = IArrayListInit();
  IArrayList *destination = IArrayListInit();
  IArrayListAdd(source, 5);
  IArrayListAddAsCopy(source, "hi", 3);
  EXPECT_EQ(IArrayListAddAll(destination, source), 0);
  EXPECT_EQ(IArrayListAddAll(source, source), 0);
  EXPECT_EQ(source->count, 4u);
  EXPECT_NE(Text(source, 3), Text(source, 1));
  IArrayListDestroy(source);
  EXPECT_EQ(IArrayListGetPos(destination, 0), 5);
  EXPECT_STREQ(Text(destination, 1), "hi");
  IArrayListAddAsCopy(destination, nullptr, 0);
  IArrayListAdd(destination, 6);
  IArrayList *third = IArrayListInit();
  EXPECT_EQ(IArrayListAddAll(third, destination), 1);  // stops after the empty copy
  EXPECT_EQ(third->count, 3u);
  EXPECT_EQ(IArrayListAddAll(nullptr, third) + IArrayListAddAll(third, nullptr), 2);
  IArrayListDestroy(third);
  IArrayListDestroy(destination);
  EXPECT_EQ(IArrayListAdd(nullptr, 1), nullptr);
  EXPECT_EQ(IArrayListAddAsCopy(nullptr, "a", 1), nullptr);
  EXPECT_EQ(IArrayListGetPos(nullptr, 0), 0);
  IArrayListDeletePos(nullptr, 0);
  IArrayListDestroy(nullptr);
}

// Every allocation in turn fails, at the growth step too; the records must stay whole and only
// the adds that completed may show, also of an IArrayListAddAll.
TEST(ArrayList, RunningOutOfMemoryKeepsWhatCompleted) {
  kavtest::SweepAllocations(IArrayListInit, [](long n, IArrayList *list) {
    EXPECT_EQ(list != nullptr, n >= 2);  // the record, then its slots
    IArrayListDestroy(list);
  });
  const unsigned int completed[] = {0, 1, 1, 1, 2, 3};  // copy, item, growth for the second
  for (long n = 0; n < 6; ++n) {
    IArrayList *list = IArrayListInit();
    for (kav_word v = 0; v < 499; ++v) IArrayListAdd(list, v);
    kav::platform::memory::fail_after(n);
    IArrayListAdd(list, 1) && IArrayListAddAsCopy(list, "x", 2) && IArrayListAdd(list, 2);
    kav::platform::memory::fail_after(-1);
    EXPECT_EQ(list->count, 499 + completed[n]) << "failing after " << n;
    EXPECT_EQ(list->capacity, list->count > 500 ? 1000u : 500u);
    ExpectConsistent(*list);
    IArrayListDestroy(list);
  }
  IArrayList *source = IArrayListInit();
  IArrayListAdd(source, 1), IArrayListAddAsCopy(source, "ab", 3), IArrayListAdd(source, 3);
  const unsigned int added[] = {0, 1, 1, 2, 3};  // item; copy, item; item
  for (long n = 0; n < 5; ++n) {
    IArrayList *destination = IArrayListInit();
    kav::platform::memory::fail_after(n);
    EXPECT_EQ(IArrayListAddAll(destination, source), n < 4 ? 1 : 0);
    kav::platform::memory::fail_after(-1);
    EXPECT_EQ(destination->count, added[n]);
    ExpectConsistent(*destination);
    IArrayListDestroy(destination);
  }
  IArrayListDestroy(source);
}

}  // namespace

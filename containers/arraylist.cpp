// arraylist.cpp - the IArrayList family: a growable array of item records.
//
// The list record holds an array of pointers to items, 500 slots to start with and 500 more
// whenever an add finds it full.  Each item is its own heap block and says whether its data is
// the caller's value or the list's copy of a block of bytes; copies are released with their
// item.  Slots past `count` are kept null.
//
// An add prepares everything it needs (the copy, the item record, room in the array) before it
// stores the item, and gives back what it prepared when a later step fails, so running out of
// memory leaves the list exactly as it was.  Nothing here throws.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kavutil.h"
#include "platform/memory.h"

namespace {

constexpr unsigned int kGrowth = 500;

void ClearSlots(IArrayListItem **slots, std::size_t count) {
  std::memset(static_cast<void *>(slots), 0, count * sizeof(IArrayListItem *));
}

IArrayListItem **NewSlots(std::size_t count) {
  auto *slots = static_cast<IArrayListItem **>(
      kav::platform::memory::allocate(count * sizeof(IArrayListItem *)));
  if (slots != nullptr) ClearSlots(slots, count);
  return slots;
}

// Makes a free slot at `count`.  A capacity that would overflow counts as no memory; a failed
// reallocation keeps the old array and capacity.
bool MakeRoom(IArrayList *list) {
  if (list->count < list->capacity) return true;
  if (list->capacity > UINT_MAX - kGrowth) return false;
  const std::size_t capacity = std::size_t{list->capacity} + kGrowth;
  if (capacity > SIZE_MAX / sizeof(IArrayListItem *)) return false;
  void *grown = kav::platform::memory::reallocate(list->items, capacity * sizeof(IArrayListItem *));
  if (grown == nullptr) return false;
  list->items = static_cast<IArrayListItem **>(grown);
  ClearSlots(list->items + list->capacity, kGrowth);
  list->capacity = static_cast<unsigned int>(capacity);
  return true;
}

IArrayListItem *NewItem(int owned, unsigned int size, kav_word data) {
  auto *item =
      static_cast<IArrayListItem *>(kav::platform::memory::allocate(sizeof(IArrayListItem)));
  if (item != nullptr) *item = IArrayListItem{owned, size, data};
  return item;
}

void ReleaseItem(IArrayListItem *item) {
  if (item->owned != 0) kav::platform::memory::release(reinterpret_cast<void *>(item->data));
  kav::platform::memory::release(item);
}

// Stores a prepared item at the end; on failure the item goes back and the result is false.
bool Store(IArrayList *list, IArrayListItem *item) {
  if (!MakeRoom(list)) {
    ReleaseItem(item);
    return false;
  }
  list->items[list->count++] = item;
  return true;
}

// The list's copy of size bytes; null for an empty copy and, with *failed set, for no memory.
void *CopyOf(const void *data, unsigned int size, bool *failed) {
  *failed = false;
  if (data == nullptr || size == 0) return nullptr;
  void *copy = kav::platform::memory::allocate(size);
  if (copy == nullptr) {
    *failed = true;
    return nullptr;
  }
  std::memcpy(copy, data, size);
  return copy;
}

// Adds an owned copy; false when memory runs out (nothing is added then).
bool AddCopy(IArrayList *list, const void *data, unsigned int size, void **copy) {
  bool failed = false;
  *copy = CopyOf(data, size, &failed);
  if (failed) return false;
  IArrayListItem *item = NewItem(1, size, reinterpret_cast<kav_word>(*copy));
  if (item == nullptr) {
    kav::platform::memory::release(*copy);
    return false;
  }
  return Store(list, item);
}

}  // namespace

extern "C" KAV_API IArrayList *KAV_CALL IArrayListInit(void) KAV_NOEXCEPT {
  auto *list = static_cast<IArrayList *>(kav::platform::memory::allocate(sizeof(IArrayList)));
  if (list == nullptr) return nullptr;
  list->items = NewSlots(kGrowth);
  if (list->items == nullptr) {
    kav::platform::memory::release(list);
    return nullptr;
  }
  list->capacity = kGrowth;
  list->count = 0;
  return list;
}

extern "C" KAV_API void KAV_CALL IArrayListDestroy(IArrayList *list) KAV_NOEXCEPT {
  if (list == nullptr) return;
  IArrayListDeleteAll(list);
  kav::platform::memory::release(list->items);
  kav::platform::memory::release(list);
}

extern "C" KAV_API IArrayListItem *KAV_CALL IArrayListAdd(IArrayList *list,
                                                          kav_word value) KAV_NOEXCEPT {
  if (list == nullptr) return nullptr;
  IArrayListItem *item = NewItem(0, 0, value);
  if (item == nullptr || !Store(list, item)) return nullptr;
  return item;
}

extern "C" KAV_API void *KAV_CALL IArrayListAddAsCopy(IArrayList *list, const void *data,
                                                      unsigned int size) KAV_NOEXCEPT {
  void *copy = nullptr;
  if (list == nullptr || !AddCopy(list, data, size, &copy)) return nullptr;
  return copy;
}

// The source's count is read once, so adding a list to itself appends its items once.
extern "C" KAV_API int KAV_CALL IArrayListAddAll(IArrayList *destination,
                                                 const IArrayList *source) KAV_NOEXCEPT {
  if (destination == nullptr || source == nullptr) return 1;
  const unsigned int count = source->count;
  for (unsigned int i = 0; i < count; ++i) {
    const IArrayListItem *item = source->items[i];
    const bool added =
        item->owned != 0
            ? IArrayListAddAsCopy(destination, reinterpret_cast<const void *>(item->data),
                                  item->size) != nullptr
            : IArrayListAdd(destination, item->data) != nullptr;
    if (!added) return 1;
  }
  return 0;
}

extern "C" KAV_API kav_word KAV_CALL IArrayListGetPos(const IArrayList *list,
                                                      unsigned int position) KAV_NOEXCEPT {
  if (list == nullptr || position >= list->count) return 0;
  return list->items[position]->data;
}

extern "C" KAV_API void KAV_CALL IArrayListDeletePos(IArrayList *list,
                                                     unsigned int position) KAV_NOEXCEPT {
  if (list == nullptr || position >= list->count) return;
  ReleaseItem(list->items[position]);
  IArrayListItem **slot = list->items + position;
  std::memmove(static_cast<void *>(slot), slot + 1,
               (list->count - position - 1) * sizeof(IArrayListItem *));
  list->items[--list->count] = nullptr;
}

extern "C" KAV_API void KAV_CALL IArrayListDeleteAll(IArrayList *list) KAV_NOEXCEPT {
  if (list == nullptr) return;
  for (unsigned int i = 0; i < list->count; ++i) {
    ReleaseItem(list->items[i]);
    list->items[i] = nullptr;
  }
  list->count = 0;
}

// A null list or comparison function sorts nothing.
extern "C" KAV_API void KAV_CALL IArrayListSort(IArrayList *list,
                                                kav_arraylist_compare compare) KAV_NOEXCEPT {
  if (list == nullptr || compare == nullptr || list->count < 2) return;
  std::qsort(list->items, list->count, sizeof(IArrayListItem *), compare);
}

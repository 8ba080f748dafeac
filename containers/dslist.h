// dslist.h - the sorted string list's order for many strings at once, for the list's own reads,
// the kav tool's sort and the tests.  Appending n strings one by one costs on the order of n
// squared (every insert moves pointers); this gives the same order in O(n log n) where the order
// can be told from the strings' key texts alone, which is the case for every field key and for
// character ranges that stay clear of the stored line feed, and falls back to inserting one at a
// time (exactly as dsAppend does) where it cannot.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "kavutil.h"

namespace kav::containers::dslist {

// The order in which a list with list's sort settings (sorted, keys, key_count; its strings are
// not looked at) would hold texts had each been added with dsAppend in turn, starting empty:
// element i is the index in texts of the string at position i.  An unsorted list keeps the
// order of arrival.  Throws std::bad_alloc when memory runs out.
std::vector<std::size_t> sorted_order(const dsList &list, std::span<const char *const> texts);

// Whether sorted_order finds that order by sorting; otherwise it inserts one at a time.
bool sorts_in_bulk(const dsList &list, std::span<const char *const> texts);

}  // namespace kav::containers::dslist

// memory.h - the heap that records and returned strings come from.
//
// Everything the library hands to callers, or that callers hand back to be
// released, lives in the C heap (malloc/realloc/free).  The families allocate
// through these functions so that tests can make the n-th allocation fail
// and check that nothing is lost or left inconsistent.
#pragma once

#include <cstddef>

namespace kav::memory {

void *allocate(std::size_t size);                 // malloc
void *reallocate(void *block, std::size_t size);  // realloc
void release(void *block);                        // free

// For tests: after `allocations` more successful allocations, every further
// one fails until fail_after(-1) is called again.
void fail_after(long allocations);

}  // namespace kav::memory

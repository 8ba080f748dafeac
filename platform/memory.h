// memory.h - the heap that records and returned strings come from.
//
// Everything the library hands to callers, or that callers hand back to be
// released, lives in the C heap (malloc/realloc/free).  Every allocation the
// library makes goes through these functions, so that tests can make the
// n-th allocation fail and check that nothing is lost or left inconsistent;
// the test programs route operator new through allocate as well, so that
// the library's C++ containers and strings fail at the same count.
#pragma once

#include <cstddef>

namespace kav::platform::memory {

void *allocate(std::size_t size);                            // malloc
void *allocate_zeroed(std::size_t count, std::size_t size);  // calloc
void *reallocate(void *block, std::size_t size);             // realloc
void release(void *block);                                   // free

// A malloc'ed copy of text, or null when memory runs out.
char *duplicate(const char *text);

// For tests: after `allocations` more successful allocations, every further
// one fails until fail_after(-1) is called again.  The first call also starts
// the two counts below, which cost an atomic operation per call from then on.
void fail_after(long allocations);

// Allocations refused since fail_after was last called.
long refused();

// Blocks allocated through the seam and not yet released through it, since
// counting started.  A block that came from malloc elsewhere (a caller's, or
// the C library's) lowers it when released here.
long live_blocks();

}  // namespace kav::platform::memory

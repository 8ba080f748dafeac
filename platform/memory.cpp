// The heap seam: malloc, realloc and free, with a countdown that tests use to
// make allocations fail.  The countdown is process-wide test state; -1 (the
// default) never fails.
#include "platform/memory.h"

#include <cstdlib>

namespace kav::memory {
namespace {

long allocations_left = -1;

bool should_fail() {
  if (allocations_left < 0) return false;
  if (allocations_left == 0) return true;
  --allocations_left;
  return false;
}

}  // namespace

void *allocate(std::size_t size) { return should_fail() ? nullptr : std::malloc(size); }

void *reallocate(void *block, std::size_t size) {
  return should_fail() ? nullptr : std::realloc(block, size);
}

void release(void *block) { std::free(block); }

void fail_after(long allocations) { allocations_left = allocations; }

}  // namespace kav::memory

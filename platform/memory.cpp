// The heap seam: malloc, calloc, realloc and free, with a countdown that tests use to make
// allocations fail and a count of the blocks that are out.  Both are process-wide test state,
// off until a test first calls fail_after; until then each call costs one relaxed load.  The
// countdown -1 never fails.
#include "platform/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace kav::platform::memory {
namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations_left{-1};
std::atomic<long> refusals{0};
std::atomic<long> blocks{0};

bool should_fail() {
  if (!counting.load(std::memory_order_relaxed)) return false;
  long left = allocations_left.load(std::memory_order_relaxed);
  while (left > 0 &&
         !allocations_left.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
  }
  if (left != 0) return false;
  refusals.fetch_add(1, std::memory_order_relaxed);
  return true;
}

// Counts a block that came out of the heap (change +1) or went back (-1).
void *counted(void *block, long change) {
  if (block != nullptr && counting.load(std::memory_order_relaxed)) {
    blocks.fetch_add(change, std::memory_order_relaxed);
  }
  return block;
}

}  // namespace

void *allocate(std::size_t size) { return should_fail() ? nullptr : counted(std::malloc(size), 1); }

void *allocate_zeroed(std::size_t count, std::size_t size) {
  return should_fail() ? nullptr : counted(std::calloc(count, size), 1);
}

void *reallocate(void *block, std::size_t size) {
  if (should_fail()) return nullptr;
  void *grown = std::realloc(block, size);
  return block == nullptr ? counted(grown, 1) : grown;
}

void release(void *block) {
  counted(block, -1);
  std::free(block);
}

char *duplicate(const char *text) {
  const std::size_t size = std::strlen(text) + 1;
  auto *copy = static_cast<char *>(allocate(size));
  if (copy != nullptr) std::memcpy(copy, text, size);
  return copy;
}

void fail_after(long allocations) {
  counting.store(true, std::memory_order_relaxed);
  refusals.store(0, std::memory_order_relaxed);
  allocations_left.store(allocations, std::memory_order_relaxed);
}

long refused() { return refusals.load(std::memory_order_relaxed); }

long live_blocks() { return blocks.load(std::memory_order_relaxed); }

}  // namespace kav::platform::memory

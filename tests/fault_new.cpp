// fault_new.cpp - operator new and delete for the fault sweep: every C++ allocation of the test
// program, the library's strings and containers among them, goes through the heap seam
// (platform/memory.h), so the seam's countdown fails them at the same count as the library's C
// allocations and its block count covers them.  A refused allocation throws std::bad_alloc, as
// the standard one does when memory runs out.
#include <cstddef>
#include <new>

#include "platform/memory.h"

void* operator new(std::size_t size) {
  if (void* block = kav::platform::memory::allocate(size != 0 ? size : 1)) return block;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return kav::platform::memory::allocate(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return kav::platform::memory::allocate(size != 0 ? size : 1);
}

void operator delete(void* block) noexcept { kav::platform::memory::release(block); }
void operator delete[](void* block) noexcept { kav::platform::memory::release(block); }
void operator delete(void* block, std::size_t) noexcept { kav::platform::memory::release(block); }
void operator delete[](void* block, std::size_t) noexcept { kav::platform::memory::release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept {
  kav::platform::memory::release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  kav::platform::memory::release(block);
}

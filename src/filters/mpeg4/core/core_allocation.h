// The one allocation function of the decoder core. Every object, table and
// plane block of an instance is obtained here, aligned for the vector
// kernels, so a test can make the n-th allocation fail and reach every
// out-of-memory path (the system's overcommitting heap never fails by itself).
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace tlx::mpeg4 {

inline constexpr size_t kCoreAlignment = 32;

// Returns `size` bytes aligned to kCoreAlignment, or null when the heap (or
// the failure injection) refuses.
void* CoreAllocate(size_t size);
void CoreFree(void* block);

// Constructs a T in core memory; null on failure.
template <typename T, typename... Args>
T* CoreNew(Args&&... args) {
  static_assert(alignof(T) <= kCoreAlignment);
  void* block = CoreAllocate(sizeof(T));
  return block == nullptr ? nullptr : new (block) T(std::forward<Args>(args)...);
}

template <typename T>
void CoreDelete(T* object) {
  if (object == nullptr) return;
  object->~T();
  CoreFree(object);
}

// Placement for tests: while one is set, CoreAllocate takes its blocks from
// place(context, size) (size already rounded up to a multiple of
// kCoreAlignment; the block must be aligned to it, or null) and CoreFree
// hands them to release(context, block). Null returns to the heap. A block
// is freed under the placement that gave it. Failure injection still
// applies first.
struct CorePlacement {
  void* (*place)(void* context, size_t size);
  void (*release)(void* context, void* block);
  void* context;
};
void SetCorePlacement(const CorePlacement* placement);

// Failure injection: the n-th allocation from now on (1 = the next one)
// fails, once; 0 switches the injection off. CoreAllocationCount counts the
// allocations made since the last call to SetCoreAllocationFailure.
void SetCoreAllocationFailure(unsigned n);
unsigned CoreAllocationCount();

}  // namespace tlx::mpeg4

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

// Failure injection: the n-th allocation from now on (1 = the next one)
// fails, once; 0 switches the injection off. CoreAllocationCount counts the
// allocations made since the last call to SetCoreAllocationFailure.
void SetCoreAllocationFailure(unsigned n);
unsigned CoreAllocationCount();

}  // namespace tlx::mpeg4

#include "core_allocation.h"

#include <atomic>
#include <cstdlib>

namespace tlx::mpeg4 {
namespace {

std::atomic<unsigned> failAt{0};
std::atomic<unsigned> allocations{0};

}  // namespace

void* CoreAllocate(size_t size) {
  const unsigned count = allocations.fetch_add(1) + 1;
  if (failAt.load() != 0 && count == failAt.load()) return nullptr;
  const size_t rounded = (size + kCoreAlignment - 1) / kCoreAlignment * kCoreAlignment;
  return std::aligned_alloc(kCoreAlignment, rounded == 0 ? kCoreAlignment : rounded);
}

void CoreFree(void* block) { std::free(block); }

void SetCoreAllocationFailure(unsigned n) {
  allocations.store(0);
  failAt.store(n);
}

unsigned CoreAllocationCount() { return allocations.load(); }

}  // namespace tlx::mpeg4

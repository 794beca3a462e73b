#include "filters/mpeg4/core/core_allocation.h"

#include <atomic>
#include <cstdlib>

namespace tlx::mpeg4 {
namespace {

std::atomic<unsigned> failAt{0};
std::atomic<unsigned> allocations{0};
std::atomic<const CorePlacement*> placement{nullptr};

}  // namespace

void* CoreAllocate(size_t size) {
  const unsigned count = allocations.fetch_add(1) + 1;
  if (failAt.load() != 0 && count == failAt.load()) return nullptr;
  size_t rounded = (size + kCoreAlignment - 1) / kCoreAlignment * kCoreAlignment;
  if (rounded == 0) rounded = kCoreAlignment;
  if (const CorePlacement* p = placement.load()) return p->place(p->context, rounded);
  return std::aligned_alloc(kCoreAlignment, rounded);
}

void CoreFree(void* block) {
  const CorePlacement* p = placement.load();
  if (p != nullptr && block != nullptr) {
    p->release(p->context, block);
  } else {
    std::free(block);
  }
}

void SetCorePlacement(const CorePlacement* newPlacement) { placement.store(newPlacement); }

void SetCoreAllocationFailure(unsigned n) {
  allocations.store(0);
  failAt.store(n);
}

unsigned CoreAllocationCount() { return allocations.load(); }

}  // namespace tlx::mpeg4

// Memory between two inaccessible pages: a kernel that reads or writes past
// either end of the window it documents faults.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace tlx::mpeg4::test {

class GuardedBlock {
 public:
  explicit GuardedBlock(size_t bytes) {
    page_ = size_t(sysconf(_SC_PAGESIZE));
    pages_ = (bytes + page_ - 1) / page_ + 2;
    base_ = static_cast<uint8_t*>(mmap(nullptr, pages_ * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                                       -1, 0));
    EXPECT_NE(base_, MAP_FAILED);
    EXPECT_EQ(mprotect(base_, page_, PROT_NONE), 0);
    EXPECT_EQ(mprotect(base_ + (pages_ - 1) * page_, page_, PROT_NONE), 0);
    end_ = base_ + (pages_ - 1) * page_;
  }
  GuardedBlock(const GuardedBlock&) = delete;
  GuardedBlock& operator=(const GuardedBlock&) = delete;
  ~GuardedBlock() { munmap(base_, pages_ * page_); }
  // The first byte of `bytes` bytes ending flush against the guard page.
  uint8_t* Tail(size_t bytes) const { return end_ - bytes; }
  // The first accessible byte, flush against the guard page before it.
  uint8_t* Head() const { return base_ + page_; }

 private:
  size_t page_ = 0, pages_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* end_ = nullptr;
};

}  // namespace tlx::mpeg4::test

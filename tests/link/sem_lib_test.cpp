#include "link/os/sem_lib.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link_test_support.h"

namespace tlx::link::test {
namespace {

using Clock = std::chrono::steady_clock;

class Semaphores : public LinkTest {};

// A thread that holds a semaphore until told to let go.
class Holder {
 public:
  explicit Holder(SEM_ID sem)
      : thread_([this, sem] {
          taken_ = semTake(sem, -1) == 0;
          held_ = true;
          while (!release_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          semGive(sem);
        }) {
    while (!held_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Holder() {
    release_ = true;
    thread_.join();
  }
  bool taken() const { return taken_; }

 private:
  std::atomic<bool> taken_{false};
  std::atomic<bool> held_{false};
  std::atomic<bool> release_{false};
  std::thread thread_;
};

// The eight mutex slots are one resource of the process: this test walks
// through their whole life.
TEST_F(Semaphores, MutexSlotsTakeRecursivelyPollAndRunOut) {
  SEM_ID first = semMCreate(0);
  if (first == nullptr) GTEST_SKIP() << "the mutex slots were used up earlier in this process";
  {
    Holder holder(first);
    ASSERT_TRUE(holder.taken());
    struct Case {
      int timeoutTicks;
      long minMs;
      long maxMs;
    };
    for (const Case& c : {Case{0, 0, 15}, Case{3, 48, 150}, Case{1, 16, 100}}) {
      SCOPED_TRACE(c.timeoutTicks);
      const auto start = Clock::now();
      EXPECT_EQ(semTake(first, c.timeoutTicks), -1);
      EXPECT_GE(ElapsedMs(start), c.minMs);
      EXPECT_LT(ElapsedMs(start), c.maxMs + kSchedulingSlackMs);
    }
    EXPECT_EQ(semGive(first), -1) << "only the holder gives";
  }
  EXPECT_EQ(semTake(first, 0), 0);
  EXPECT_EQ(semTake(first, 0), 0);  // the owner enters again
  EXPECT_EQ(semGive(first), 0);
  std::atomic<int> elsewhere{0};
  std::thread([&] { elsewhere = semTake(first, 0); }).join();
  EXPECT_EQ(elsewhere, -1) << "still held once";
  EXPECT_EQ(semGive(first), 0);
  std::thread([&] {
    elsewhere = semTake(first, 0);
    semGive(first);
  }).join();
  EXPECT_EQ(elsewhere, 0);

  for (int i = 1; i < 8; ++i) EXPECT_NE(semMCreate(0), nullptr) << i;
  EXPECT_EQ(semMCreate(0), nullptr);
  EXPECT_EQ(semDelete(first), 0);
  EXPECT_EQ(semDelete(first), -1);
  EXPECT_EQ(semTake(first, 0), -1);
  EXPECT_EQ(semGive(first), -1);
  EXPECT_EQ(semMCreate(0), nullptr) << "a deleted slot is not handed out again";
}

TEST_F(Semaphores, BinarySemaphoreCountsToOne) {
  SEM_ID sem = semBCreate(0, 0);
  ASSERT_NE(sem, nullptr);
  EXPECT_EQ(semTake(sem, 0), -1);
  EXPECT_EQ(semGive(sem), 0);
  EXPECT_EQ(semGive(sem), -1);
  EXPECT_EQ(semTake(sem, 0), 0);
  const auto start = Clock::now();
  EXPECT_EQ(semTake(sem, 3), -1);
  EXPECT_GE(ElapsedMs(start), 50 / TickScale() - 1);
  EXPECT_EQ(semGive(sem), 0);
  {
    Holder holder(sem);
    EXPECT_EQ(semTake(sem, 0), -1);
  }
  EXPECT_EQ(semTake(sem, 0), 0) << "given back by the holder";
  EXPECT_EQ(semDelete(sem), 0);
  EXPECT_EQ(semTake(nullptr, 0), -1);
  EXPECT_EQ(semGive(nullptr), -1);
}

}  // namespace
}  // namespace tlx::link::test

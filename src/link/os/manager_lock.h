// The lock each manager takes around its start, shut-down, pauses and
// sends: held by one caller at a time, taken with a time-out in ticks. It
// is a lockable type, so std::lock_guard (with std::adopt_lock after
// TakeFor) releases it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "win32/ticks.h"

namespace tlx::link {

class ManagerLock {
 public:
  // True once held; false when it stayed held elsewhere for `ticks`.
  bool TakeFor(int ticks) {
    std::unique_lock guard(lock_);
    if (!free_.wait_for(guard, std::chrono::milliseconds(TimeoutMilliseconds(ticks, TimeoutUnit::kTicks)),
                        [this] { return !held_; })) {
      return false;
    }
    held_ = true;
    return true;
  }
  void lock() {
    std::unique_lock guard(lock_);
    free_.wait(guard, [this] { return !held_; });
    held_ = true;
  }
  void unlock() {
    {
      std::lock_guard guard(lock_);
      held_ = false;
    }
    free_.notify_one();
  }

 private:
  std::mutex lock_;
  std::condition_variable free_;
  bool held_ = false;  // under lock_
};

}  // namespace tlx::link

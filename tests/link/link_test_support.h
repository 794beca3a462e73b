// Shared by the link library's tests: a fixture that starts and ends the task
// layer and checks that a test leaves no thread behind, and a task that runs a
// function.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "link/os/task_lib.h"

namespace tlx::link::test {

inline int ThreadCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

// Starts the task layer for each test; afterwards the process must be back to
// the threads it had before (ended threads may take a moment to go).
class LinkTest : public testing::Test {
 protected:
  void SetUp() override {
    // A sanitizer starts a helper thread of its own with the first thread it
    // sees; let that happen before counting.
    static const bool warmedUp = (std::thread([] {}).join(), true);
    (void)warmedUp;
    threadsBefore_ = ThreadCount();
    taskLibInit();
  }
  void TearDown() override {
    taskLibCleanup();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // Fewer is fine: a thread joined just before the count may still have
    // been listed then, until the system reaped it.
    while (ThreadCount() > threadsBefore_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_LE(ThreadCount(), threadsBefore_) << "a thread outlived the test";
  }

 private:
  int threadsBefore_ = 0;
};

// Runs `body` as a task named `name`; the destructor waits for it to finish.
class TestTask {
 public:
  TestTask(const char* name, std::function<void()> body) : body_(std::move(body)) {
    id_ = taskSpawn(name, 100, 0, 8192, &TestTask::Entry, reinterpret_cast<intptr_t>(this));
    if (id_ == -1) done_ = true;
  }
  ~TestTask() { Join(); }
  TestTask(const TestTask&) = delete;
  TestTask& operator=(const TestTask&) = delete;

  int id() const { return id_; }
  // True once `body` has returned or unwound.
  bool Join(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, limit, [this] { return done_; });
  }
  bool done() {
    std::lock_guard lock(lock_);
    return done_;
  }

 private:
  struct Finish {
    TestTask* task;
    ~Finish() {
      std::lock_guard lock(task->lock_);
      task->done_ = true;
      task->changed_.notify_all();
    }
  };
  static void Entry(intptr_t self) {
    auto* task = reinterpret_cast<TestTask*>(self);
    Finish finish{task};
    task->body_();
  }

  std::function<void()> body_;
  int id_ = -1;
  std::mutex lock_;
  std::condition_variable changed_;
  bool done_ = false;
};

// Waits until the task's thread has ended (its name no longer resolves).
inline bool WaitTaskEnded(const char* name, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (taskNameToId(name) != -1) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Upper bounds on waits allow this much for a loaded machine to schedule the
// thread: wide enough for a busy two-core runner, narrow enough that an
// unscaled one-second wait still fails a check for a scaled 100 ms one.
inline constexpr long kSchedulingSlackMs = 600;

// The milliseconds since `start`.
inline long ElapsedMs(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

// The time-out scale this test program runs with (TLX_TICK_SCALE, default 1).
inline int TickScale() {
  const char* text = std::getenv("TLX_TICK_SCALE");
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 1;
}

}  // namespace tlx::link::test

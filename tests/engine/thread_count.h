// How many threads the test process runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <thread>

namespace tlx::engine::test {

inline size_t ThreadCount() {
  // A sanitizer starts its own thread with the first thread a program makes:
  // make one first, so every count includes it.
  static const bool warmed = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)warmed;
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

// The count once no thread has started or ended for 50 ms (or after the
// time-out): a test's baseline, taken after the threads its set-up started
// and ended have gone, which a loaded machine lets linger.
inline size_t SteadyThreadCount(std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  size_t count = ThreadCount();
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const size_t now = ThreadCount();
    if (now == count) break;
    count = now;
  }
  return count;
}

// The count once it has come down to `expected`, or after the time-out. A
// thread that has signalled its end still runs its last instructions.
inline size_t ThreadCountSettledAt(size_t expected, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  size_t count = ThreadCount();
  while (count > expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    count = ThreadCount();
  }
  return count;
}

}  // namespace tlx::engine::test

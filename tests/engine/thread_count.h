// How many threads the test process runs.
#pragma once

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

}  // namespace tlx::engine::test

// How many threads the test process runs.
#pragma once

#include <cstddef>
#include <filesystem>

namespace tlx::engine::test {

inline size_t ThreadCount() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

}  // namespace tlx::engine::test

// Shared by the tests that use the library only through its exports: the
// process's thread count, and the comparator endpoint that receives the
// command mirror's texts.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "win32/copy_data.h"

namespace tlx::link::test {

inline int Threads() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

// Waits up to 10 s for the thread count to come back to `count`.
inline bool ThreadsBackTo(int count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Threads() != count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The comparator endpoint: the mirror looks for it once per process, so it
// exists before the first command of the program.
class Comparator {
 public:
  Comparator() {
    endpoint_ = tlx::win32::CopyDataEndpoint::Create(
        {"TRCMainForm", "Remote Command Comparator"},
        [this](const tlx::win32::CopyDataAddress&, const COPYDATASTRUCT& data) -> LRESULT {
          std::lock_guard guard(lock_);
          texts_.emplace_back(static_cast<const char*>(data.lpData));
          return 1;
        });
  }
  bool WaitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard guard(lock_);
        for (const std::string& seen : texts_) {
          if (seen == text) return true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

 private:
  std::unique_ptr<tlx::win32::CopyDataEndpoint> endpoint_;
  std::mutex lock_;
  std::vector<std::string> texts_;
};

}  // namespace tlx::link::test

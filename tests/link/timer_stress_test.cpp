// Restarts racing the expiry. Built into the scaled test program, where one
// tick is a millisecond, so a thousand armings take about a second.
#include <gtest/gtest.h>

#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "link/os/timer_lib.h"
#include "link_test_support.h"

namespace tlx::link::test {
namespace {

std::mutex g_lock;
std::vector<intptr_t> g_fired;
void Record(intptr_t arming) {
  std::lock_guard lock(g_lock);
  g_fired.push_back(arming);
}

class TimerStress : public LinkTest {};

TEST_F(TimerStress, EveryArmingFiresAtMostOnceAndTheLastExactlyOnce) {
  ASSERT_EQ(TickScale(), 10);
  constexpr int kArmings = 1000;
  g_fired.clear();
  const int id = wdCreate();
  std::mt19937 random(5);
  std::uniform_int_distribution<int> pause(0, 2500);
  for (int i = 0; i < kArmings; ++i) {
    ASSERT_EQ(wdStart(id, 1, &Record, i), 0);
    std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
  }
  const auto lastFired = [] {
    std::lock_guard lock(g_lock);
    return !g_fired.empty() && g_fired.back() == kArmings - 1;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!lastFired() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // room for a wrong second expiry
  std::vector<intptr_t> fired;
  {
    std::lock_guard lock(g_lock);
    fired = g_fired;
  }
  ASSERT_FALSE(fired.empty());
  for (size_t i = 1; i < fired.size(); ++i) {
    EXPECT_LT(fired[i - 1], fired[i]) << "an arming fired twice, or after it was replaced";
  }
  EXPECT_EQ(fired.back(), kArmings - 1);
  EXPECT_GT(fired.size(), 1u) << "some armings expire before their restart";
  EXPECT_EQ(wdDelete(id), 0);
}

}  // namespace
}  // namespace tlx::link::test

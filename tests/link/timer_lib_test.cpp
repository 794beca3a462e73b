#include "link/os/timer_lib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "link_test_support.h"

namespace tlx::link::test {
namespace {

using Clock = std::chrono::steady_clock;

class Timers : public LinkTest {};

std::atomic<int> g_calls{0};
void Count(intptr_t) { ++g_calls; }

TEST_F(Timers, ZeroTicksCancelsAndFails) {
  g_calls = 0;
  const int id = wdCreate();
  ASSERT_EQ(wdStart(id, 6, &Count, 0), 0);
  EXPECT_EQ(wdStart(id, 0, &Count, 0), -1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(g_calls, 0);
  EXPECT_EQ(wdCancel(id), 0);
  EXPECT_EQ(wdDelete(id), 0);
  EXPECT_EQ(wdStart(0, 6, &Count, 0), -1);
  EXPECT_EQ(wdStart(17, 6, &Count, 0), -1);
}

TEST_F(Timers, PoolHoldsSixteenSlotsSharedByBothKinds) {
  std::vector<int> ids;
  for (int i = 0; i < 16; ++i) ids.push_back(wdCreate());
  for (int i = 0; i < 16; ++i) EXPECT_GE(ids[i], 1) << i;
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
  EXPECT_EQ(wdCreate(), 0);
  int timer = -1;
  EXPECT_EQ(timer_create(0, nullptr, &timer), -1);
  EXPECT_EQ(wdDelete(ids[5]), 0);
  EXPECT_EQ(timer_create(0, nullptr, &timer), 0);
  EXPECT_EQ(timer, ids[5] - 1) << "watchdog ids are timer ids plus one";
  EXPECT_EQ(timer_delete(timer), 0);
  for (int id : ids) wdDelete(id);
}

std::atomic<int> g_timerId{-1};
std::atomic<intptr_t> g_timerArgument{0};
void TimerFired(int id, intptr_t argument) {
  g_timerId = id;
  g_timerArgument = argument;
  ++g_calls;
}

TEST_F(Timers, SetTimeChecksItsArgumentsAndCallsWithTimerAndArgument) {
  struct Case {
    int flags;
    bool oldValue;
    TLX_ITIMERSPEC value;
    int result;
  };
  const Case cases[] = {
      {1, false, {0, 1000000, 0, 0}, -1},
      {0, true, {0, 1000000, 0, 0}, -1},
      {0, false, {0, 1000000, 1, 0}, -1},
      {0, false, {0, 1000000, 0, 1}, -1},
      {0, false, {0, 0, 0, 0}, 0},  // zero delay cancels: not started
      {0, false, {0, 20000000, 0, 0}, 1},
  };
  int timer = -1;
  int dummy = 0;
  EXPECT_EQ(timer_create(0, &dummy, &timer), -1) << "no signal events";
  ASSERT_EQ(timer_create(0, nullptr, &timer), 0);
  ASSERT_EQ(timer_connect(timer, &TimerFired, 77), 0);
  g_calls = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.flags << " " << c.oldValue << " " << c.value.nanoseconds << " "
                                    << c.value.word3 << " " << c.value.word4);
    TLX_ITIMERSPEC old{};
    EXPECT_EQ(timer_settime(timer, c.flags, &c.value, c.oldValue ? &old : nullptr), c.result);
  }
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  while (g_calls == 0 && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(g_timerId, timer);
  EXPECT_EQ(g_timerArgument, 77);
  EXPECT_EQ(timer_delete(timer), 0);
}

// A cancel from another thread returns only after a running callback has
// returned; from inside the callback it does not wait for itself.
std::atomic<bool> g_inside{false};
std::atomic<bool> g_returned{false};
std::atomic<int> g_selfId{0};
void SlowCallback(intptr_t cancelSelf) {
  g_inside = true;
  if (cancelSelf != 0) wdCancel(g_selfId);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  g_returned = true;
}

TEST_F(Timers, CancelWaitsForARunningCallback) {
  for (intptr_t cancelSelf : {0, 1}) {
    SCOPED_TRACE(cancelSelf);
    g_inside = false;
    g_returned = false;
    const int id = wdCreate();
    g_selfId = id;
    ASSERT_EQ(wdStart(id, 1, &SlowCallback, cancelSelf), 0);
    while (!g_inside) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(wdDelete(id), 0);
    EXPECT_TRUE(g_returned);
  }
}

}  // namespace
}  // namespace tlx::link::test

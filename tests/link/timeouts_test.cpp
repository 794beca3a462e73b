// Waits counted in ticks, under the scale this program runs with (the test
// program is built twice: unscaled and with TLX_TICK_SCALE=10).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "link/os/msg_q_lib.h"
#include "link/os/timer_lib.h"
#include "link_test_support.h"

namespace tlx::link::test {
namespace {

using Clock = std::chrono::steady_clock;

class Timeouts : public LinkTest {};

TEST_F(Timeouts, ReceiveOfSixtyTicksGivesUpAfterOneScaledSecond) {
  MSG_Q_ID queue = msgQCreate(1, 4, 0);
  const long expectedMs = 1000 / TickScale();
  int result = 0;
  const auto start = Clock::now();
  {
    TestTask task("tReceiver", [&] {
      char buffer[4];
      result = msgQReceive(queue, buffer, 4, 60);
    });
  }
  const long elapsed = ElapsedMs(start);
  EXPECT_EQ(result, -1);
  EXPECT_GE(elapsed, expectedMs - 1);
  EXPECT_LT(elapsed, expectedMs + kSchedulingSlackMs);
  msgQDelete(queue);
}

std::atomic<int> g_fired{0};
std::atomic<Clock::rep> g_firedAt{0};
void Fire(intptr_t) {
  g_firedAt = Clock::now().time_since_epoch().count();
  ++g_fired;
}

TEST_F(Timeouts, RestartedWatchdogFiresOnceAfterTheFullDelayFromTheRestart) {
  const long delayMs = 1000 / TickScale();
  g_fired = 0;
  const int id = wdCreate();
  ASSERT_GT(id, 0);
  // The restart must come before the first arming expires; a machine too
  // busy to wake this thread in time gets another try.
  Clock::time_point restart;
  for (int attempt = 0;; ++attempt) {
    ASSERT_LT(attempt, 5) << "never restarted in time";
    g_fired = 0;
    const auto start = Clock::now();
    ASSERT_EQ(wdStart(id, 60, &Fire, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs / 2));
    restart = Clock::now();
    ASSERT_EQ(wdStart(id, 60, &Fire, 0), 0);
    if (ElapsedMs(start) < delayMs * 3 / 4 && g_fired == 0) break;
    ASSERT_EQ(wdCancel(id), 0);
  }
  while (g_fired == 0 && ElapsedMs(restart) < delayMs + 2000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(delayMs / 2));  // room for a wrong second expiry
  EXPECT_EQ(g_fired, 1);
  const long firedAfter = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                Clock::duration(g_firedAt.load()) - restart.time_since_epoch())
                                                .count());
  EXPECT_GE(firedAfter, delayMs - 1);
  EXPECT_LT(firedAfter, delayMs + kSchedulingSlackMs);
  EXPECT_EQ(wdDelete(id), 0);
}

}  // namespace
}  // namespace tlx::link::test

// The link library's time-out conversion, under the scale this program runs
// with (the test program is built twice: unscaled and with TLX_TICK_SCALE=10).
#include <gtest/gtest.h>

#include "link_test_support.h"
#include "win32/ticks.h"

namespace tlx::link::test {
namespace {

struct ConversionCase {
  LONG amount;
  TimeoutUnit unit;
  DWORD unscaled;
  DWORD scaledBy10;
};

TEST(TickConversion, TicksAndMillisecondsFollowTheScale) {
  const ConversionCase cases[] = {
      {0, TimeoutUnit::kTicks, 0, 0},                   // 0 keeps meaning "do not wait"
      {-1, TimeoutUnit::kTicks, INFINITE, INFINITE},    // no limit
      {-1, TimeoutUnit::kMilliseconds, INFINITE, INFINITE},
      {1, TimeoutUnit::kTicks, 16, 1},                  // integer division, never 0
      {3, TimeoutUnit::kTicks, 50, 5},
      {60, TimeoutUnit::kTicks, 1000, 100},
      {600, TimeoutUnit::kTicks, 10000, 1000},
      {18000, TimeoutUnit::kTicks, 300000, 30000},     // a five-minute watchdog
      {0x7FFFFFFF, TimeoutUnit::kTicks, INFINITE - 1, 3579139411u},
      {1, TimeoutUnit::kMilliseconds, 1, 1},
      {9, TimeoutUnit::kMilliseconds, 9, 1},
      {5000, TimeoutUnit::kMilliseconds, 5000, 500},
  };
  const int scale = TickScale();
  ASSERT_TRUE(scale == 1 || scale == 10) << "expectations exist for scales 1 and 10";
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.amount << (c.unit == TimeoutUnit::kTicks ? " ticks" : " ms"));
    EXPECT_EQ(TimeoutMilliseconds(c.amount, c.unit), scale == 1 ? c.unscaled : c.scaledBy10);
  }
}

}  // namespace
}  // namespace tlx::link::test

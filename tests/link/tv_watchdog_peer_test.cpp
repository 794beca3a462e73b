// The auto-preset's watchdog of 18000 ticks against the test peer, in a
// program of its own whose times are divided by two hundred.
#include <gtest/gtest.h>

#include "session_peer_support.h"

namespace tlx::link::test {
namespace {

class TvWatchdogPeerTest : public SessionPeerTest {};

TEST_F(TvWatchdogPeerTest, AnAutoPresetWithoutResultEndsWithState4) {
  // The start is acknowledged; the result is never answered.
  auto peer = StartPeer("\"tv\": {\"script\": [{\"status\": 100}], \"silent\": true}");
  ASSERT_TRUE(peer->running()) << peer->error();
  ASSERT_EQ(0, TvMgr_Init(0));
  UseInternetLink(*peer);
  EventLog preset(EVENT_ID_AUTOPRESET);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(0, tlxTvMgr_StartAutoPreset(2));
  ASSERT_TRUE(preset.WaitFor([](const EventLog::Event&) { return true; }, 20s));
  const long watchdogMs = 18000L * 1000 / 60 / TickScale();
  EXPECT_GE(ElapsedMs(start), watchdogMs * 9 / 10);
  EXPECT_EQ((std::vector<int32_t>{kPresetTimedOut}), preset.events()[0].words);
  // The end sends the cancel with the identifier.
  EXPECT_TRUE(WaitRecords(*peer, {"tv_record", "[14, 1, -1"}, 1));
  uint8_t table[kPresetTableSize];
  EXPECT_EQ(-1, tlxTvMgr_GetAutoPresetResult(2, table)) << "no result";
}

}  // namespace
}  // namespace tlx::link::test

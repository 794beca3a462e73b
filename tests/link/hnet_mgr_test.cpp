// The home-network manager without a base: its one-minute timer (a network
// that stays down for it tells the network manager's group "ANET"; a test
// group stands in) and the local network without direct-link addresses.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "link_peer_fixture.h"

namespace tlx::link::test {
namespace {

class HnetMgrTest : public LinkTest {
 protected:
  static void SetUpTestSuite() { UseTestEnvironment(); }
  void SetUp() override {
    LinkTest::SetUp();
    ASSERT_EQ(0, tlxInitConfig(0x300));
    ASSERT_EQ(0, eventMgrStart());
    ASSERT_EQ(0, HnetMgr_Init());
  }
  void TearDown() override {
    HnetMgr_Cleanup();
    eventMgrStop();
    tlxCleanupConfig();
    LinkTest::TearDown();
  }
  static void Network(int32_t state) {
    const int32_t words[3] = {state, 1, 0};
    ASSERT_EQ(0, eventMgrPost(EVENT_ID_NETWORK, words, sizeof words, -1));
  }
};

// 3600 ticks are 300 ms at this program's scale.
constexpr auto kTimer = 300ms;

TEST_F(HnetMgrTest, ADownNetworkTellsTheNetworkManagerAfterAMinute) {
  RecordingGroup anet("ANET", 64);
  Network(1);
  ASSERT_TRUE(anet.WaitCount(1));
  const std::string message = anet.received()[0];
  ASSERT_EQ(28u, message.size());
  EXPECT_EQ(Message("HNET", 1, Words({310, 0, 0})).substr(8), message.substr(8));

  // Up before it fires cancels it.
  Network(1);
  std::this_thread::sleep_for(kTimer / 3);
  Network(0);
  std::this_thread::sleep_for(kTimer * 2);
  EXPECT_EQ(1u, anet.received().size());
}

TEST_F(HnetMgrTest, TheLocalNetworkWithoutAddressesStaysPaused) {
  ASSERT_TRUE(tlxCfgBaseDirectAddress().empty());
  ASSERT_EQ(0, HnetMgr_ChangeLinkMode(kLinkNone));
  ASSERT_EQ(0, HnetMgr_ChangeLinkMode(kLinkLocal));
  EXPECT_EQ(kHnetPaused, HnetMgr_State());
  EXPECT_EQ(-1, taskNameToId("tHnetMgrS"));
  EXPECT_EQ(-1, taskNameToId("tKachC"));
  EXPECT_EQ(0, HnetMgr_Restart());
  EXPECT_EQ(kHnetPaused, HnetMgr_State());
}

}  // namespace
}  // namespace tlx::link::test

// The home-network manager: its life cycle, the link modes, the connection
// type and the network event, against the test peer.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "link/network/anet_mgr.h"
#include "link/network/hnet_sock.h"
#include "link_peer_fixture.h"

namespace tlx::link::test {
namespace {

using tlx::test::PeerProcess;

class HnetMgrPeerTest : public LinkPeerTest {
 protected:
  // A request of the group "TESTW" that the peer answers.
  static int Request(RecordingGroup& group) {
    group.setType(3);
    group.setLength(4);
    return HnetMgr_SendAndWait(&group, 5, 1000, 2);
  }
  static std::string Replies() { return "\"replies\": {\"TESTW\": [{\"hex\": \"" + Hex(Message("TESTW", 5, "ok")) + "\"}]}"; }
};

TEST_F(HnetMgrPeerTest, LinkModesAndRestartsKeepTheRoadOpen) {
  auto peer = StartPeer("", "", Replies(), Replies());
  ASSERT_TRUE(peer->running()) << peer->error();
  RecordingGroup group("TESTW", 16);
  for (int round = 0; round < 2; ++round) {
    UseLocalNetwork();
    ASSERT_TRUE(WaitUntil([] { return KACH_LinkState() == kKachLinkUp; }));
    EXPECT_EQ(kWackAcked, Request(group)) << "UDP, round " << round;
    UseInternetLink(*peer);
    EXPECT_EQ(-1, taskNameToId("tKachC")) << "no keep-alive channel over the internet link";
    EXPECT_EQ(kWackAcked, Request(group)) << "link, round " << round;
    // An address check after the switch leaves the internet link alone.
    KACH_CheckAddress("192.0.2.1", std::to_string(round).c_str());
    EXPECT_EQ(kWackAcked, Request(group)) << "link after the address check, round " << round;
    tlxLinkMgrDisconnect();
  }
  // Shut-down and start again, twice.
  for (int round = 0; round < 2; ++round) {
    AnetMgr_Cleanup();
    HnetMgr_Cleanup();
    EXPECT_EQ(kHnetNotStarted, HnetMgr_State());
    EXPECT_EQ(kLinkLocal, HnetMgr_LinkMode());
    ASSERT_EQ(0, HnetMgr_Init());
    ASSERT_EQ(0, AnetMgr_Init());
    EXPECT_EQ(kHnetUp, HnetMgr_State());
  }
  UseInternetLink(*peer);
  EXPECT_EQ(kWackAcked, Request(group));
}

TEST_F(HnetMgrPeerTest, ARestartWithoutASocketKindStaysPaused) {
  EXPECT_EQ(kHnetSockNone, HnetMgr_SocketKind());
  ASSERT_EQ(0, HnetMgr_Pause());
  EXPECT_EQ(0, HnetMgr_Restart());
  EXPECT_EQ(kHnetPaused, HnetMgr_State());
  EXPECT_EQ(-1, taskNameToId("tHnetMgrS"));
}

TEST_F(HnetMgrPeerTest, TheConnectionTypeRestartsTheNetworkManagerWhenItChanges) {
  EXPECT_EQ(kConnNone, tlxHnetMgr_GetConnType());
  EXPECT_EQ(-1, tlxHnetMgr_SetConnType(4));
  EXPECT_EQ(-1, tlxHnetMgr_SetConnType(-1));
  const struct {
    int type;
    bool restarts;
  } steps[] = {{kConnEther, true}, {kConnEther, true}, {kConnWlan, true}, {kConnWlan, false}, {kConnRavix, true}};
  for (const auto& step : steps) {
    const int before = taskNameToId("tAnetMgr");
    ASSERT_NE(-1, before);
    EXPECT_EQ(0, tlxHnetMgr_SetConnType(step.type));
    EXPECT_EQ(step.type, tlxHnetMgr_GetConnType());
    ASSERT_TRUE(WaitUntil([] { return taskNameToId("tAnetMgr") != -1; }));
    EXPECT_EQ(step.restarts, taskNameToId("tAnetMgr") != before) << "type " << step.type;
  }
}

TEST_F(HnetMgrPeerTest, TheNetworkEventFollowsTheLinkModeAndTheKeepAliveState) {
  auto peer = StartPeer();
  ASSERT_TRUE(peer->running()) << peer->error();
  EventLog events(EVENT_ID_NETWORK);
  // Posts the event until it reports `expected`: a change of state posts an
  // event of its own, which may still be on its way when one is asked for,
  // and a loaded machine can miss a keep-alive answer for a moment. Gives
  // the last words reported.
  auto reports = [&](const std::vector<int32_t>& expected) {
    std::vector<int32_t> seen;
    WaitUntil([&] {
      HnetMgr_PostNetworkEvent();
      const size_t count = events.events().size();
      WaitUntil([&] { return events.events().size() > count; });
      seen = events.events().back().words;
      return seen == expected;
    });
    return seen;
  };
  const std::vector<int32_t> down{1, kConnNone, 0};
  const std::vector<int32_t> up{0, kConnNone, 1};
  // Before a keep-alive answer the local link counts as down.
  EXPECT_EQ(down, reports(down));
  UseLocalNetwork();
  ASSERT_TRUE(WaitUntil([] { return KACH_LinkState() == kKachLinkUp; }));
  EXPECT_EQ(up, reports(up));
  ASSERT_EQ("done", peer->Command("{\"do\": \"kach_set\", \"flags\": 24}"));
  ASSERT_TRUE(WaitUntil([] { return !KACH_LinkUp(); }));
  const std::vector<int32_t> flagClear{0, kConnNone, 2};
  EXPECT_EQ(flagClear, reports(flagClear)) << "the base's link flag is clear";
  ASSERT_EQ(0, HnetMgr_ChangeLinkMode(kLinkNone));
  EXPECT_EQ(down, reports(down));
  UseInternetLink(*peer);
  EXPECT_EQ(up, reports(up));
  EXPECT_EQ(-1, HnetMgr_ChangeLinkMode(3));
}

}  // namespace
}  // namespace tlx::link::test

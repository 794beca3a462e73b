// The "HNET" relay against the test peer: what the base sends, well-formed
// or not, over the internet link (link mode 0) and over UDP (link mode 1),
// and the acknowledged requests of the reply-wait table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base_datagram_flood.h"
#include "link_peer_fixture.h"

namespace tlx::link::test {
namespace {

using tlx::test::PeerProcess;

class HnetRelayPeerTest : public LinkPeerTest {
 protected:
  // Sends bytes to the player as the base would.
  static void Inject(PeerProcess& peer, const std::string& via, const std::string& bytes, const char* from = nullptr) {
    std::string command = "{\"do\": \"send\", \"via\": \"" + via + "\", \"hex\": \"" + Hex(bytes) + "\"";
    if (from != nullptr) command += std::string(", \"from\": \"") + from + "\"";
    ASSERT_EQ("done", peer.Command(command + "}"));
  }
};

struct RelayCase {
  const char* what;
  std::string bytes;
  bool udpOnly;  // not a frame the link can carry, or a sender only UDP has
  const char* from = nullptr;
};

std::vector<RelayCase> BadInputs() {
  std::string noNul = Message("RAVIX", 1, "abcd");
  std::memset(noNul.data(), 'R', 8);
  std::string longName = Message("RAVIX", 1, "abcd");
  return {
      {"length above the bytes received", Message("RAVIX", 1, 40, std::string(20, 'x')), false},
      {"negative length", Message("RAVIX", 1, -4, std::string(20, 'x')), false},
      {"15 bytes", Message("RAVIX", 1, 0, "").substr(0, 15), true},
      {"name HNET", Message("HNET", 1, "abcd"), false},
      {"name without NUL", noNul, false},
      {"unknown group", Message("NOSUCH", 1, "abcd"), false},
      {"1041 bytes", Message("RAVIX", 1, std::string(1025, 'x')), true},
      {"from 127.0.0.3", Message("RAVIX", 1, "abcd"), true, "127.0.0.3"},
      {"longer than the group's slot", Message("RAVIX", 1, std::string(144, 'x')), false},
      {"event of 49 bytes", Message("EVENT", EVENT_ID_TV, std::string(49, 'e')), false},
      {"discovery event with a pointer", Message("EVENT", EVENT_ID_DISCOVERY, Words({255, 0x1000, 0})), false},
      {"event of two identifiers", Message("EVENT", EVENT_ID_DISCOVERY | EVENT_ID_TV, Words({1, 2, 3})), false},
      {"notice of type 2", Message("NOTIFY", 2, std::string(16, 'n')), false},
      {"notice of 15 bytes", Message("NOTIFY", 0, std::string(15, 'n')), false},
  };
}

TEST_F(HnetRelayPeerTest, WhatTheBaseSendsIsCheckedBeforeAnyGroupSeesIt) {
  for (const char* via : {"link", "udp"}) {
    SCOPED_TRACE(via);
    auto peer = StartPeer();
    ASSERT_TRUE(peer->running()) << peer->error();
    if (std::string(via) == "link") {
      UseInternetLink(*peer);
    } else {
      UseLocalNetwork();
    }
    RecordingGroup ravix("RAVIX", 128);
    EventLog events(~0u);
    const std::string good = Message("RAVIX", 1, std::string(44, 'g'));
    Inject(*peer, via, good);
    Inject(*peer, via, Message("EVENT", EVENT_ID_TV, Words({1, 2, 3})));
    for (const RelayCase& bad : BadInputs()) {
      if (bad.udpOnly && std::string(via) == "link") continue;
      SCOPED_TRACE(bad.what);
      Inject(*peer, via, bad.bytes, bad.from);
    }
    // A notice of 16 bytes without NUL is kept to its fields.
    tlxCfgSet("network/ravix/port", "1");
    tlxCfgSet("network/ravix/useRavix", "1");
    Inject(*peer, via, Message("NOTIFY", 0, "8765432101234567"));
    const std::string last = Message("RAVIX", 2, "last");
    Inject(*peer, via, last);
    ASSERT_TRUE(ravix.WaitCount(2));
    EXPECT_EQ((std::vector<std::string>{good, last}), ravix.received());
    EXPECT_TRUE(WaitUntil([] {
      return tlxCfgGet("network/ravix/port") == "87654321" && tlxCfgGet("network/ravix/useRavix") == "0123";
    }));
    const auto relayed = events.events();
    ASSERT_FALSE(relayed.empty());
    for (const auto& event : relayed) {
      if (event.id == EVENT_ID_NETWORK || event.id == EVENT_ID_ANET || event.id == EVENT_ID_NETCONFIG) continue;
      EXPECT_EQ(EVENT_ID_TV, event.id);
      EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), event.words);
    }
    KACH_Shutdown();
  }
}

TEST_F(HnetRelayPeerTest, TvAndNetworkEventsWaitForTheKeepAliveLinkOnUdp) {
  auto peer = StartPeer("", "\"flags\": 24");  // link flag clear
  ASSERT_TRUE(peer->running()) << peer->error();
  UseLocalNetwork();
  ASSERT_TRUE(WaitUntil([] { return !KACH_LinkUp(); }));
  EventLog events(EVENT_ID_TV | EVENT_ID_AUTOPRESET);
  Inject(*peer, "udp", Message("EVENT", EVENT_ID_TV, Words({1})));
  Inject(*peer, "udp", Message("EVENT", EVENT_ID_AUTOPRESET, Words({2})));
  ASSERT_TRUE(events.WaitFor([](const EventLog::Event& e) { return e.id == EVENT_ID_AUTOPRESET; }));
  for (const auto& event : events.events()) EXPECT_NE(EVENT_ID_TV, event.id);
}

TEST_F(HnetRelayPeerTest, WhatArrivesWhileThePlayerIsPausedIsDroppedWithoutHoldingTheLink) {
  auto peer = StartPeer();
  ASSERT_TRUE(peer->running()) << peer->error();
  UseInternetLink(*peer);
  RecordingGroup ravix("RAVIX", 128);
  ASSERT_EQ(0, HnetMgr_Pause());
  for (int i = 0; i < 5; ++i) Inject(*peer, "link", Message("RAVIX", i, "held"));
  std::this_thread::sleep_for(50ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(tlxLinkMgrDisconnect());
  EXPECT_LT(ElapsedMs(start), kSchedulingSlackMs);
  EXPECT_TRUE(ravix.received().empty());
}

// A flood from another address costs the base's own datagrams nothing worth
// a mention: none is lost and none waits long behind the flood, which never
// reaches a group. (The figure itself is the link benchmark's.)
TEST_F(HnetRelayPeerTest, AFloodFromAnotherSenderNeitherDelaysNorDropsTheBasesDatagrams) {
  UseLocalNetwork();
  FloodPlan plan;
  plan.playerPort = tlxLinkPorts().hnetRecv;
  const FloodFigures figures = MeasureBaseDatagramsUnderFlood(plan);
  EXPECT_EQ(plan.floodCount, figures.floodSent);
  ASSERT_EQ(plan.baseCount, figures.baseSent);
  EXPECT_EQ(static_cast<size_t>(plan.baseCount), figures.delaysMs.size()) << "the base's datagrams were dropped";
  EXPECT_EQ(0, figures.foreignReceived);
  if (!figures.delaysMs.empty()) {
    EXPECT_LT(*std::max_element(figures.delaysMs.begin(), figures.delaysMs.end()), 500);
  }
}

// A group that sends its requests through "HNET" and is acknowledged by its
// own messages coming back.
constexpr char kGroup[] = "TESTW";

TEST_F(HnetRelayPeerTest, ARequestIsSentUntilAnswered) {
  const std::string answer = Message(kGroup, 5, "ok");
  for (const bool answering : {false, true}) {
    SCOPED_TRACE(answering ? "answered" : "silent");
    auto peer = StartPeer("", "",
                          answering ? "\"replies\": {\"TESTW\": [{\"hex\": \"" + Hex(answer) + "\"}]}" : std::string());
    ASSERT_TRUE(peer->running()) << peer->error();
    UseInternetLink(*peer);
    RecordingGroup group(kGroup, 16);
    group.setType(1);
    group.setLength(4);
    EXPECT_EQ(answering ? kWackAcked : kWackTimedOut, HnetMgr_SendAndWait(&group, 5, 1000, 2));
    EXPECT_TRUE(WaitRecords(*peer, {"vexlink_frame", "TESTW"}, answering ? 1 : 3));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(answering ? 1u : 3u, Records(*peer, {"vexlink_frame", "TESTW"}).size());
    tlxLinkMgrDisconnect();
  }
}

TEST_F(HnetRelayPeerTest, RequestsEndWithTheirReason) {
  auto peer = StartPeer();
  ASSERT_TRUE(peer->running()) << peer->error();
  UseInternetLink(*peer);
  RecordingGroup group(kGroup, 16);
  group.setLength(4);
  // Cancelled while waiting.
  std::thread canceller([] {
    std::this_thread::sleep_for(30ms);
    HnetWack_Cancel(kGroup);
  });
  EXPECT_EQ(kWackCancelled, HnetMgr_SendAndWait(&group, 9, 60000, 0));
  canceller.join();
  EXPECT_EQ(kHnetResultFailed, HnetMgr_SendAndWait(&group, 9, 1000, -1));
  EXPECT_EQ(kHnetResultFailed, HnetMgr_SendAndWait(nullptr, 9, 1000, 0));
  EXPECT_EQ(-1, HnetWack_Wait(kGroup, 9)) << "no waiter";
  EXPECT_EQ(0, HnetMgr_SendMsg(&group));

  // Not up.
  ASSERT_EQ(0, HnetMgr_Pause());
  EXPECT_EQ(kHnetResultFailed, HnetMgr_SendAndWait(&group, 9, 1000, 0));
  EXPECT_EQ(-1, HnetMgr_SendMsg(&group));
  EXPECT_EQ(-1, HnetMgr_SendData(&group, 1, "abcd", 4));
}

TEST_F(HnetRelayPeerTest, OnUdpARequestNeedsTheKeepAliveLink) {
  auto peer = StartPeer("", "\"flags\": 24");  // link flag clear
  ASSERT_TRUE(peer->running()) << peer->error();
  UseLocalNetwork();
  ASSERT_TRUE(WaitUntil([] { return !KACH_LinkUp(); }));
  RecordingGroup group(kGroup, 16);
  EXPECT_EQ(kHnetResultLinkDown, HnetMgr_SendAndWait(&group, 9, 1000, 2));
  EXPECT_EQ(-1, HnetMgr_SendMsg(&group));
  ASSERT_EQ("done", peer->Command("{\"do\": \"kach_set\", \"flags\": 26}"));
  ASSERT_TRUE(WaitUntil([] { return KACH_LinkUp(); }));
  group.setLength(2);
  EXPECT_EQ(0, HnetMgr_SendMsg(&group));
  EXPECT_TRUE(WaitRecords(*peer, {"hnet_datagram", "TESTW"}, 1));
}

}  // namespace
}  // namespace tlx::link::test

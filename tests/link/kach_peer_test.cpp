// The keep-alive channel over UDP against the test peer's keep-alive end.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "link_peer_fixture.h"

namespace tlx::link::test {
namespace {

using tlx::test::PeerProcess;

class KachPeerTest : public LinkPeerTest {
 protected:
  static int LinkDownEvents(EventLog& log) {
    int count = 0;
    for (const auto& event : log.events()) count += event.id == EVENT_ID_NETWORK && event.words[0] == 1;
    return count;
  }
  // The flags byte of the player's answer to a poll of the peer.
  static int PolledFlags(PeerProcess& peer, int type = KACH_MSG_POLL) {
    const size_t before = Records(peer, {"kach_answer"}).size();
    EXPECT_EQ("done", peer.Command("{\"do\": \"kach_send\", \"type\": " + std::to_string(type) + "}"));
    if (!WaitRecords(peer, {"kach_answer"}, before + 1)) return -1;
    const std::string line = Records(peer, {"kach_answer"})[before];
    const size_t hex = line.find("\"hex\": \"") + 8;
    return std::stoi(line.substr(hex + 32, 2), nullptr, 16);
  }
};

TEST_F(KachPeerTest, SilencePutsTheLinkDownOnceAndAnAnswerBringsItBack) {
  auto peer = StartPeer();
  ASSERT_TRUE(peer->running()) << peer->error();
  UseLocalNetwork();
  EventLog events(EVENT_ID_NETWORK);
  ASSERT_TRUE(events.WaitFor([](const EventLog::Event& e) { return e.words[0] == 0; }));
  events.Clear();
  ASSERT_EQ("done", peer->Command("{\"do\": \"kach_set\", \"silent\": true}"));
  ASSERT_TRUE(WaitUntil([] { return KACH_LinkState() == kKachLinkDown; }));
  // Three more silent periods add no event.
  std::this_thread::sleep_for(800ms);
  EXPECT_EQ(1, LinkDownEvents(events));
  EXPECT_EQ(1u, events.events().size());
  events.Clear();
  ASSERT_EQ("done", peer->Command("{\"do\": \"kach_set\", \"silent\": false}"));
  EXPECT_TRUE(events.WaitFor([](const EventLog::Event& e) { return e.words[0] == 0; }));
  EXPECT_EQ(kKachLinkUp, KACH_LinkState());
}

TEST_F(KachPeerTest, TheServerAnswersTheBasesRequests) {
  auto peer = StartPeer();
  ASSERT_TRUE(peer->running()) << peer->error();
  UseLocalNetwork();
  ASSERT_TRUE(WaitUntil([] { return KACH_LinkState() == kKachLinkUp; }));
  const int client = taskNameToId("tKachC");

  // Another pair is acknowledged and changes nothing.
  const std::string pair = "0900007f0800007f";
  ASSERT_EQ("done", peer->Command("{\"do\": \"kach_send\", \"type\": 2, \"hex\": \"" + pair + "\"}"));
  ASSERT_TRUE(WaitRecords(*peer, {"kach_answer", "\"type\": 3"}, 1));
  EXPECT_NE(std::string::npos, Records(*peer, {"kach_answer", "\"type\": 3"})[0].find(pair));
  ASSERT_EQ("done", peer->Command("{\"do\": \"kach_send\", \"type\": 4, \"hex\": \"0a00007f\"}"));
  ASSERT_TRUE(WaitRecords(*peer, {"kach_answer", "\"type\": 5"}, 1));
  EXPECT_EQ(client, taskNameToId("tKachC"));
  EXPECT_EQ(kHnetUp, HnetMgr_State());

  // A poll is answered with the player's flags.
  EXPECT_GE(PolledFlags(*peer), 0);
  // Type 7 sets the link down and is answered like a poll.
  const size_t answers = Records(*peer, {"kach_answer", "\"type\": 1}"}).size();
  EXPECT_GE(PolledFlags(*peer, KACH_MSG_NOTIFY_UP), 0);
  EXPECT_EQ(answers + 1, Records(*peer, {"kach_answer", "\"type\": 1}"}).size());
  EXPECT_EQ(kKachLinkDown, KACH_LinkState());
  // A datagram on the control socket does not bring back a link the base
  // reported down; DOWN sets it down again after an answer.
  ASSERT_EQ("done", peer->Command("{\"do\": \"kach_send\", \"type\": 0}"));
  ASSERT_TRUE(WaitUntil([] { return KACH_LinkState() == kKachLinkUp; }));
  ASSERT_EQ("done", peer->Command("{\"do\": \"kach_send\", \"type\": 6}"));
  EXPECT_TRUE(WaitUntil([] { return KACH_LinkState() == kKachLinkDown; }));
}

TEST_F(KachPeerTest, AnAcceptedPairRemakesTheSocketsAndMalformedRequestsAreIgnored) {
  auto peer = StartPeer();
  ASSERT_TRUE(peer->running()) << peer->error();
  UseLocalNetwork();
  ASSERT_TRUE(WaitUntil([] { return KACH_LinkState() == kKachLinkUp; }));
  // Requests without the payload their type needs get no answer.
  for (const char* bad : {"{\"type\": 2, \"hex\": \"0102\"}", "{\"type\": 4, \"hex\": \"\"}",
                          "{\"type\": 0, \"hex\": \"00\"}", "{\"type\": 9}"}) {
    ASSERT_EQ("done", peer->Command("{\"do\": \"kach_send\", " + std::string(bad + 1)));
  }
  // 10.231.71.1 and 10.231.71.2: the addresses in use stay on loopback.
  const int client = taskNameToId("tKachC");
  const std::string pair = "0ae747010ae74702";
  ASSERT_EQ("done", peer->Command("{\"do\": \"kach_send\", \"type\": 2, \"hex\": \"" + pair + "\"}"));
  ASSERT_TRUE(WaitRecords(*peer, {"kach_answer", "\"type\": 3"}, 1));
  EXPECT_EQ(1u, Records(*peer, {"kach_answer"}).size()) << "only the good request was answered";
  ASSERT_TRUE(WaitUntil([&] { return taskNameToId("tKachC") != client && taskNameToId("tKachC") != -1; }));
  EXPECT_EQ(kHnetUp, HnetMgr_State());
  EXPECT_GE(PolledFlags(*peer), 0) << "the server answers on its new socket";
}

TEST_F(KachPeerTest, TheFlagsByteFollowsTheNetworkState) {
  auto peer = StartPeer();
  ASSERT_TRUE(peer->running()) << peer->error();
  UseLocalNetwork();
  ASSERT_TRUE(WaitUntil([] { return KACH_LinkState() == kKachLinkUp; }));
  const struct {
    int32_t words[2];
    int flags;
  } cases[] = {
      {{1, 0}, 0x0F},  // state 7
      {{0, 2}, 0x17},  // state 6
      {{0, 1}, 0x1F},  // state 5
      {{0, 0}, 0x1F},  // state 5
  };
  for (const auto& c : cases) {
    ASSERT_EQ(0, eventMgrPost(EVENT_ID_NETCONFIG, c.words, sizeof c.words, 0));
    int flags = -1;
    EXPECT_TRUE(WaitUntil([&] { return (flags = PolledFlags(*peer)) == c.flags; }, 3s))
        << c.words[0] << "," << c.words[1] << " flags " << flags;
  }
}

int g_sends = 0;
int FailForBuffers(const void*, int) {
  ++g_sends;
  errno = ENOBUFS;
  return -1;
}

TEST_F(KachPeerTest, SendErrorsAndMissesAreCounted) {
  auto peer = StartPeer("", "\"error\": 7");
  ASSERT_TRUE(peer->running()) << peer->error();
  // On Ethernet seven missed answers ask for a restart.
  UseInternetLink(*peer);
  ASSERT_EQ(0, tlxHnetMgr_SetConnType(kConnEther));
  tlxLinkMgrDisconnect();
  UseLocalNetwork();
  ASSERT_TRUE(WaitUntil([] { return KACH_LinkState() == kKachLinkUp; }));
  EXPECT_EQ(3, KACH_ErrorLevel()) << "the base's three error bits";
  KACH_TakeRestartRequest(0);
  KACH_SetSendFunction(FailForBuffers);
  EXPECT_TRUE(WaitUntil([] { return KACH_ErrorLevel() == 6; }, 5s)) << "six failed sends in the history";
  EXPECT_TRUE(KACH_TakeRestartRequest(600));
  KACH_SetSendFunction(nullptr);
}

TEST_F(KachPeerTest, ShutDownSaysDownAndReportsItOnce) {
  auto peer = StartPeer();
  ASSERT_TRUE(peer->running()) << peer->error();
  EventLog events(EVENT_ID_NETWORK);
  UseLocalNetwork();
  ASSERT_TRUE(events.WaitFor([](const EventLog::Event& e) { return e.words[0] == 0; }));
  events.Clear();
  ASSERT_EQ(0, KACH_Shutdown());
  EXPECT_TRUE(WaitRecords(*peer, {"\"event\": \"kach\"", "\"type\": 6"}, 1));
  EXPECT_TRUE(events.WaitFor([](const EventLog::Event& e) { return e.words[0] == 1; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(1, LinkDownEvents(events));
  EXPECT_EQ(-1, taskNameToId("tKachC"));
  EXPECT_EQ(-1, taskNameToId("tKachS"));
  EXPECT_EQ(kKachLinkUnknown, KACH_LinkState());
}

}  // namespace
}  // namespace tlx::link::test

// The stream-session manager against the test peer: its transitions, the
// keep-alive exchange over the internet link and the ways a session ends.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "session_peer_support.h"

namespace tlx::link::test {
namespace {

using tlx::test::PeerProcess;

class RavixPeerTest : public SessionPeerTest {};

// The keep-alive period and one pass of two, scaled.
long AliveMs() { return 480 * 1000 / 60 / TickScale(); }

TEST_F(RavixPeerTest, TransitionsFromEveryState) {
  auto peer = StartPeer("\"ravix\": {}");
  ASSERT_TRUE(peer->running()) << peer->error();
  Target(*peer);
  struct Case {
    int from;
    int to;
    int result;
    int state;
  };
  const Case cases[] = {
      {0, 0, 0, 0},  {0, 1, 0, 1},  {0, 2, 0, 2},  {0, 3, 0, 3},  {0, 256, 0, 0},
      {1, 0, 0, 0},  {1, 1, 0, 1},  {1, 2, 0, 2},  {1, 3, 0, 3},  {1, 256, 0, 1},
      {2, 0, 0, 0},  {2, 1, -1, 2}, {2, 2, 0, 2},  {2, 3, 0, 3},  {2, 256, 0, 2},
      {3, 0, 0, 0},  {3, 1, -1, 3}, {3, 2, -1, 3}, {3, 3, 0, 3},  {3, 256, 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
    if (c.from != 0) {
      ASSERT_EQ(0, tlxRavixMgr_ChangeState(c.from));
    }
    ASSERT_EQ(c.from, tlxRavixMgr_GetState());
    EXPECT_EQ(c.result, tlxRavixMgr_ChangeState(c.to));
    EXPECT_EQ(c.state, tlxRavixMgr_GetState());
    EXPECT_EQ(c.state == 1 || (c.from == 1 && c.state != 0), taskNameToId("tRavix") != -1);
    EXPECT_EQ(0, tlxRavixMgr_ChangeState(0));
    EXPECT_EQ(0, tlxRavixMgr_GetState());
    EXPECT_EQ(-1, taskNameToId("tRavix"));
  }
}

TEST_F(RavixPeerTest, AnsweredAlivesKeepTheSessionAtTheirCadence) {
  auto peer = StartPeer("\"ravix\": {}");
  ASSERT_TRUE(peer->running()) << peer->error();
  Target(*peer);
  ASSERT_EQ(0, tlxRavixMgr_SetBitrate(2107, nullptr));
  EventLog ended(EVENT_ID_RAVIX);
  ASSERT_EQ(0, tlxRavixMgr_ChangeState(1));
  EXPECT_NE(-1, taskNameToId("tRavix"));
  EXPECT_TRUE(WaitUntil([] { return taskNameToId("tRavixMsg") != -1; }));
  EXPECT_EQ(kLinkInternet, HnetMgr_LinkMode());
  ASSERT_TRUE(WaitRecords(*peer, {"ravix_alive"}, 4));
  const std::vector<std::string> alives = Records(*peer, {"ravix_alive"});
  const std::string text = Hex(std::string("ALIVE") + std::string(27, '\0'));
  for (size_t i = 0; i < alives.size(); ++i) {
    SCOPED_TRACE(alives[i]);
    EXPECT_EQ(2100, RecordNumber(alives[i], "rate"));
    EXPECT_EQ((std::vector<int>{2, 3}), RecordInts(alives[i], "words"));
    EXPECT_NE(std::string::npos, alives[i].find("\"text\": \"" + text + "\""));
    if (i == 0) continue;
    const long gap = static_cast<long>(1000 * (RecordNumber(alives[i], "time") - RecordNumber(alives[i - 1], "time")));
    EXPECT_GE(gap, AliveMs() * 8 / 10);
    EXPECT_LE(gap, AliveMs() + kSchedulingSlackMs);
  }
  EXPECT_EQ(1, tlxRavixMgr_GetState());
  EXPECT_TRUE(ended.events().empty());

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, tlxRavixMgr_ChangeState(0));
  EXPECT_LT(ElapsedMs(start), AliveMs() + kSchedulingSlackMs);
  EXPECT_EQ(-1, taskNameToId("tRavix"));
  EXPECT_TRUE(WaitTaskEnded("tRavixMsg"));
  EXPECT_FALSE(tlxLinkMgrConnected());
  EXPECT_EQ(kHnetUp, HnetMgr_State());
  EXPECT_EQ(kLinkLocal, HnetMgr_LinkMode()) << "the home network was started again";
  std::this_thread::sleep_for(std::chrono::milliseconds(AliveMs()));
  EXPECT_TRUE(ended.events().empty()) << "a stop request is not a session that ended by itself";
}

TEST_F(RavixPeerTest, ASessionEndsByItselfOnKillOrSilence) {
  struct Case {
    const char* what;
    const char* options;
    size_t alives;  // sent before the end
    bool traffic;
  };
  const Case cases[] = {
      {"kill", "\"kill_after\": 2", 2, false},
      {"silence", "\"silent\": true", 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto peer = StartPeer(std::string("\"ravix\": {") + c.options + "}");
    ASSERT_TRUE(peer->running()) << peer->error();
    Target(*peer);
    EventLog ended(EVENT_ID_RAVIX);
    ASSERT_EQ(0, tlxRavixMgr_ChangeState(1));
    ASSERT_TRUE(ended.WaitFor([](const EventLog::Event&) { return true; }));
    EXPECT_TRUE(WaitTaskEnded("tRavix"));
    EXPECT_TRUE(WaitTaskEnded("tRavixMsg"));
    std::this_thread::sleep_for(std::chrono::milliseconds(AliveMs()));
    ASSERT_EQ(1u, ended.events().size());
    EXPECT_EQ((std::vector<int32_t>{6, 3}), ended.events()[0].words);
    EXPECT_EQ(c.alives, Records(*peer, {"ravix_alive"}).size());
    EXPECT_EQ(1, tlxRavixMgr_GetState()) << "the stream engine stops with 3 and 0";
    EXPECT_EQ(0, tlxRavixMgr_ChangeState(3));
    EXPECT_EQ(0, tlxRavixMgr_ChangeState(0));
  }
}

TEST_F(RavixPeerTest, TrafficKeepsASessionWithoutAnswers) {
  auto peer = StartPeer("\"ravix\": {\"silent\": true}");
  ASSERT_TRUE(peer->running()) << peer->error();
  Target(*peer);
  EventLog ended(EVENT_ID_RAVIX);
  ASSERT_EQ(0, tlxRavixMgr_ChangeState(1));
  std::atomic<bool> feeding{true};
  std::thread traffic([&] {
    while (feeding) {
      EXPECT_EQ(0, tlxRavixMgr_ChangeState(256));
      std::this_thread::sleep_for(std::chrono::milliseconds(AliveMs() / 4));
    }
  });
  const bool fourPasses = WaitRecords(*peer, {"ravix_alive"}, 5);
  const bool alive = taskNameToId("tRavix") != -1;
  feeding = false;
  traffic.join();
  EXPECT_TRUE(fourPasses);
  EXPECT_TRUE(alive);
  EXPECT_TRUE(ended.events().empty());
  EXPECT_EQ(1, tlxRavixMgr_GetState());
}

TEST_F(RavixPeerTest, ARefusedConnectStoresNothing) {
  for (const auto& [status, code] : {std::pair{4106, 1}, std::pair{4121, 2}, std::pair{4117, 7}}) {
    SCOPED_TRACE(status);
    auto peer = StartPeer("\"ravix\": {}", "", "\"answer\": \"refuse\", \"status\": " + std::to_string(status));
    ASSERT_TRUE(peer->running()) << peer->error();
    Target(*peer);
    EXPECT_EQ(code, tlxRavixMgr_ChangeState(1));
    EXPECT_EQ(0, tlxRavixMgr_GetState());
    EXPECT_EQ(-1, taskNameToId("tRavix"));
    EXPECT_EQ(kLinkLocal, HnetMgr_LinkMode());
  }
}

TEST_F(RavixPeerTest, AnAbortEndsAStartWaitingForASilentBase) {
  auto peer = StartPeer("\"ravix\": {}", "", "\"answer\": \"silent\"");
  ASSERT_TRUE(peer->running()) << peer->error();
  Target(*peer);
  int started = 0;
  std::thread starter([&] { started = tlxRavixMgr_ChangeState(1); });
  ASSERT_TRUE(WaitRecords(*peer, {"vexlink_hello"}, 1));
  EXPECT_EQ(-1, tlxRavixMgr_ChangeState(1)) << "a second start during the connect";
  EXPECT_EQ(0, tlxRavixMgr_ChangeState(256));
  EXPECT_EQ(0, tlxRavixMgr_GetState());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, tlxRavixMgr_ChangeState(3));
  starter.join();
  EXPECT_LT(ElapsedMs(start), kSchedulingSlackMs);
  EXPECT_EQ(2, started);
  EXPECT_EQ(3, tlxRavixMgr_GetState());
  EXPECT_EQ(-1, taskNameToId("tRavix"));
  EXPECT_EQ(0, tlxRavixMgr_ChangeState(0));
}

// Every authentication the stub module was asked for since the last look.
std::vector<std::string> Authentications() {
  static const auto take = StubEntry<void (*)(char*, int)>("libTlxAuthStub.so", "StubAuthTakeCalls");
  char calls[8192];
  take(calls, sizeof calls);
  std::vector<std::string> found;
  std::istringstream lines(calls);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Authentication ", 0) == 0) found.push_back(line);
  }
  return found;
}

TEST_F(RavixPeerTest, AStartAuthenticatesOnceOnAConnectionOfItsOwn) {
  auto peer = StartPeer("\"ravix\": {}");
  ASSERT_TRUE(peer->running()) << peer->error();
  Target(*peer);
  Authentications();
  ASSERT_EQ(0, tlxRavixMgr_ChangeState(1));
  const std::vector<std::string> asked = Authentications();
  ASSERT_EQ(asked.size(), 1u);
  int socket = -1;
  char host[64] = {};
  int port = 0;
  int proxy = -1;
  ASSERT_EQ(4, std::sscanf(asked[0].c_str(), "Authentication %d %63s %d %d", &socket, host, &port, &proxy));
  EXPECT_GE(socket, 0);
  EXPECT_STREQ(host, "127.0.0.1");
  EXPECT_EQ(port, peer->port());
  EXPECT_EQ(proxy, 0);
  // The probe's connection is closed again; the session goes on.
  EXPECT_EQ(1, tlxRavixMgr_GetState());
  EXPECT_EQ(0, tlxRavixMgr_ChangeState(0));
  EXPECT_TRUE(Authentications().empty()) << "a stop authenticates nothing";
}

TEST_F(RavixPeerTest, AnAbortEndsAStartWhileItAuthenticates) {
  static const auto waits = StubEntry<void (*)(int)>("libTlxAuthStub.so", "StubAuthSetWaits");
  auto peer = StartPeer("\"ravix\": {}");
  ASSERT_TRUE(peer->running()) << peer->error();
  Target(*peer);
  Authentications();
  waits(1);
  int started = 0;
  std::thread starter([&] { started = tlxRavixMgr_ChangeState(1); });
  std::vector<std::string> asked;
  EXPECT_TRUE(WaitUntil([&] {
    for (const std::string& line : Authentications()) asked.push_back(line);
    return !asked.empty();
  }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, tlxRavixMgr_ChangeState(3));
  starter.join();
  waits(0);
  EXPECT_LT(ElapsedMs(start), kSchedulingSlackMs);
  EXPECT_EQ(-1, started);
  EXPECT_EQ(3, tlxRavixMgr_GetState());
  EXPECT_EQ(-1, taskNameToId("tRavix"));
  EXPECT_EQ(0, tlxRavixMgr_ChangeState(0));
}

TEST_F(RavixPeerTest, BitRateAndTimeOutSettings) {
  // The stub authentication module reports base type 7.
  int out = 77;
  EXPECT_EQ(-1, tlxRavixMgr_SetBitrate(0, &out));
  EXPECT_EQ(-1, tlxRavixMgr_SetBitrate(5008, &out));
  EXPECT_EQ(77, out);
  EXPECT_EQ(0, tlxRavixMgr_SetBitrate(5, &out));
  EXPECT_EQ(0, tlxRavixMgr_SetBitrate(5007, &out));
  EXPECT_EQ(0, out) << "steps 5 and 7";
  EXPECT_EQ(0, tlxRavixMgr_SetBitrate(1, &out));
  EXPECT_EQ(1, out) << "steps 7 and 1";
  EXPECT_EQ(1, tlxRavixMgr_GetBitrate());
  for (const auto& [seconds, result] : {std::pair{0, 0}, {7200, 0}, {-1, -1}, {7201, -1}}) {
    EXPECT_EQ(result, tlxRavixMgr_SetTimeout(seconds)) << seconds;
  }
  EXPECT_EQ(7200, tlxRavixMgr_GetTimeout());
}

}  // namespace
}  // namespace tlx::link::test

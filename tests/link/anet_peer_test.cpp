// The network manager against the test peer's network manager: the
// configuration exchange with its checksum, the status query, the commands
// and the state reports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "link/network/anet_config.h"
#include "link_peer_fixture.h"

namespace tlx::link::test {
namespace {

using tlx::test::PeerProcess;

class AnetPeerTest : public LinkPeerTest {
 protected:
  // A peer whose network manager takes `options`, over the internet link.
  std::unique_ptr<PeerProcess> Base(const std::string& options) {
    auto peer = StartPeer("\"anet\": {" + options + "}");
    if (peer->running()) UseInternetLink(*peer);
    return peer;
  }
  static size_t Sent(PeerProcess& peer, int code) {
    return Records(peer, {"\"event\": \"anet\"", "\"code\": " + std::to_string(code) + ","}).size();
  }
};

std::string RavixRecordHex() {
  ANET_CFG_RAVIX record{};
  std::strcpy(record.useRavix, "1");
  std::strcpy(record.port, "5021");
  std::memset(record.hostName, 0xE9, sizeof record.hostName - 1);  // negative bytes count in the sum
  return Hex(std::string(reinterpret_cast<const char*>(&record), sizeof record));
}

TEST_F(AnetPeerTest, TheBasesConfigurationComesWithItsChecksum) {
  const std::string hex = RavixRecordHex();
  const struct {
    std::string options;
    int result;
    size_t sends;
  } cases[] = {
      {"\"config\": {\"6\": \"" + hex + "\"}", 1, 1},
      {"\"config\": {\"6\": \"" + hex + "\"}, \"wrong_checksum\": true", 4, 1},
      {"\"wrong_cfg_type\": 7", kWackTimedOut, 3},
      {"\"wrong_size\": 67", kWackTimedOut, 3},
      {"\"wrong_size\": 200", kWackTimedOut, 3},
      {"\"silent\": [200]", kWackTimedOut, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    auto peer = Base(c.options);
    ASSERT_TRUE(peer->running()) << peer->error();
    ANET_CFG_RAVIX out;
    std::memset(&out, 0x5A, sizeof out);
    EXPECT_EQ(c.result, tlxAnetMgrAPI_GetConfig(kAnetDeviceBase, ANET_CFG_RAVIX_TYPE, &out));
    if (c.result == 1) {
      EXPECT_EQ(hex, Hex(std::string(reinterpret_cast<const char*>(&out), sizeof out)));
    } else {
      EXPECT_EQ(std::string(sizeof out, 0x5A), std::string(reinterpret_cast<const char*>(&out), sizeof out))
          << "untouched";
    }
    EXPECT_EQ(c.sends, Sent(*peer, 200));
    tlxLinkMgrDisconnect();
  }
}

TEST_F(AnetPeerTest, SetsQueriesAndTheCategoriesWithoutAnAnswerPath) {
  auto peer = Base("");
  ASSERT_TRUE(peer->running()) << peer->error();
  ANET_CFG_RAVIX record{};
  std::strcpy(record.port, "6021");
  EXPECT_EQ(1, tlxAnetMgrAPI_SetConfig(kAnetDeviceBase, ANET_CFG_RAVIX_TYPE, &record));
  ASSERT_EQ(1u, Sent(*peer, 201));
  EXPECT_NE(std::string::npos, Records(*peer, {"\"code\": 201,"})[0].find("[201, 6, 68, 201]")) << "the byte sum";
  uint8_t status[16] = {};
  EXPECT_EQ(1, AnetMgr_QueryStatus(status));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(i + 1, status[i]);
  uint8_t ddns[sizeof(ANET_CFG_DDNS)] = {};
  EXPECT_EQ(6, tlxAnetMgrAPI_GetConfig(kAnetDeviceBase, ANET_CFG_DDNS_TYPE, ddns));
  EXPECT_EQ(6, tlxAnetMgrAPI_SetConfig(kAnetDeviceBase, ANET_CFG_DDNS2_TYPE, ddns));
  EXPECT_EQ(0u, Sent(*peer, 200) + Records(*peer, {"\"code\": 201,", "13"}).size());
  tlxLinkMgrDisconnect();
  peer.reset();

  // A query is sent once, without resends.
  auto silent = Base("\"silent\": [400]");
  ASSERT_TRUE(silent->running()) << silent->error();
  EXPECT_EQ(kWackTimedOut, AnetMgr_QueryStatus(status));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(1u, Sent(*silent, 400));
}

TEST_F(AnetPeerTest, TheBasesEventsAreAnsweredAndOurStateIsReported) {
  auto peer = StartPeer("\"anet\": {}");
  ASSERT_TRUE(peer->running()) << peer->error();
  // With the link up the interface comes up again and says so to the base.
  AnetMgr_Cleanup();
  UseInternetLink(*peer);
  EventLog status(EVENT_ID_ANET);
  ASSERT_EQ(0, AnetMgr_Init());
  ASSERT_TRUE(status.WaitFor([](const EventLog::Event& e) { return e.words[0] == 3; }));
  const auto report = status.events()[0];
  EXPECT_EQ(0, report.words[1]);
  EXPECT_EQ(kAnetKindStatic, report.words[2]);
  EXPECT_EQ(16u, report.length);
  EXPECT_TRUE(WaitRecords(*peer, {"\"event\": \"anet\"", "\"kind\": 1", "\"code\": 303,"}, 1));
  for (int code : {303, 305, 307}) {
    ASSERT_EQ("done", peer->Command("{\"do\": \"send\", \"via\": \"link\", \"hex\": \"" +
                                    Hex(Message("ANET", 1, Words({code, 0, 0}))) + "\"}"));
    EXPECT_TRUE(WaitRecords(*peer, {"\"code\": " + std::to_string(code + 1) + ",", "[" + std::to_string(code + 1) +
                                    ", 999, 999]"}, 1))
        << code;
  }
  // Messages too short for the words they need change nothing.
  ASSERT_EQ("done", peer->Command("{\"do\": \"send\", \"via\": \"link\", \"hex\": \"" +
                                  Hex(Message("ANET", 2, Words({220, 6}))) + "\"}"));
  ASSERT_EQ("done", peer->Command("{\"do\": \"send\", \"via\": \"link\", \"hex\": \"" +
                                  Hex(Message("ANET", 3, Words({450, 0}))) + "\"}"));
  ASSERT_EQ("done", peer->Command("{\"do\": \"send\", \"via\": \"link\", \"hex\": \"" +
                                  Hex(Message("ANET", 0, "")) + "\"}"));
  EXPECT_EQ(kAnetStateUp, AnetMgr_State());
}

TEST_F(AnetPeerTest, TheCommandQueueKeepsItsLimits) {
  AnetMgr_Cleanup();
  for (int i = 0; i < kAnetCommandQueueMax; ++i) {
    EXPECT_EQ(0, AnetMgr_QueueCommand(ANET_CMD_CONNECT)) << i;
    EXPECT_EQ(1, AnetMgr_CommandCount()) << "connect is queued once";
  }
  for (int i = 0; i < kAnetCommandQueueMax - 1; ++i) {
    ASSERT_EQ(0, AnetMgr_QueueCommand(i == 0 ? ANET_CMD_DISCONNECT : ANET_CMD_CONNECT));
  }
  EXPECT_EQ(2, AnetMgr_CommandCount()) << "disconnect emptied the queue; connect once more";
  EXPECT_EQ(-1, AnetMgr_QueueCommand(102));
  EXPECT_EQ(-1, AnetMgr_QueueCommand(240));
  EXPECT_EQ(0, AnetMgr_QueueCommand(ANET_CMD_CONFIG_CHANGED));
  EXPECT_EQ(1, AnetMgr_CommandCount());
}

}  // namespace
}  // namespace tlx::link::test

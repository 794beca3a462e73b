// The link-manager client over the internet link component against the base
// station's end in the test peer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/config/tlx_cfg.h"
#include "link/network/link_mgr_client.h"
#include "link_env_support.h"
#include "link_test_support.h"
#include "support/peer_process.h"

namespace tlx::link {
namespace {

using namespace std::chrono_literals;
using tlx::test::PeerProcess;

std::mutex receivedLock;
std::condition_variable arrived;
std::vector<std::string> received;

void Receive(const uint8_t* data, uint32_t length) {
  std::lock_guard guard(receivedLock);
  received.emplace_back(reinterpret_cast<const char*>(data), length);
  arrived.notify_all();
}

std::vector<std::string> WaitReceived(size_t count) {
  std::unique_lock lock(receivedLock);
  arrived.wait_for(lock, 10s, [&] { return received.size() >= count; });
  return std::exchange(received, {});
}

std::string Scenario(const std::string& options) { return "{\"services\": {\"vexlink\": {" + options + "}}}"; }

class LinkMgrPeerTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { test::UseTestEnvironment(); }
  void SetUp() override {
    static const bool warmedUp = (std::thread([] {}).join(), true);
    (void)warmedUp;
    threadsBefore_ = test::ThreadCount();
    test::DeleteTree(test::kTlxKey);
    ASSERT_EQ(0, tlxInitConfig(0x300));
    ASSERT_TRUE(tlxLinkMgrCreate());
  }
  void TearDown() override {
    tlxLinkMgrRelease();
    tlxCleanupConfig();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (test::ThreadCount() > threadsBefore_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    EXPECT_GE(threadsBefore_, test::ThreadCount()) << "a thread of the component outlived its release";
  }
  // Points the store at the peer.
  static void Target(const PeerProcess& peer) {
    tlxCfgSet("network/ravix/hostname", "127.0.0.1");
    tlxCfgSet("network/ravix/port", std::to_string(peer.port()).c_str());
  }

 private:
  int threadsBefore_ = 0;
};

TEST_F(LinkMgrPeerTest, AConnectedLinkCarriesMessagesBothWays) {
  PeerProcess peer(Scenario("\"echo\": true"));
  ASSERT_TRUE(peer.running()) << peer.error();
  Target(peer);
  ASSERT_EQ(0, tlxLinkMgrSetCallback(Receive));
  ASSERT_EQ(0, tlxRavixConnect());
  std::vector<std::string> sent;
  for (size_t size : {16, 100, 1040}) {
    std::string message(size, '\0');
    message.replace(0, 4, "NETW");
    for (size_t i = 16; i < size; ++i) message[i] = static_cast<char>(i);
    EXPECT_EQ(S_OK, tlxLinkMgrCall(message.data(), static_cast<uint16_t>(size)));
    sent.push_back(message);
  }
  EXPECT_EQ(sent, WaitReceived(sent.size()));
  size_t frames = 0;
  for (const std::string& line : peer.RecordLines()) frames += line.find("vexlink_frame") != std::string::npos;
  EXPECT_EQ(sent.size(), frames);
  EXPECT_TRUE(tlxLinkMgrDisconnect());
  EXPECT_EQ(TLX_E_LINK_SEND, tlxLinkMgrCall(sent[0].data(), 16));
}

// Sends back what came, a number of times over.
std::atomic<int> echoesLeft{0};
void SendBack(const uint8_t* data, uint32_t length) {
  if (echoesLeft.fetch_sub(1) > 0) tlxLinkMgrCall(data, static_cast<uint16_t>(length));
  Receive(data, length);
}

TEST_F(LinkMgrPeerTest, ACallbackMaySendWhileTheLinkIsDisconnected) {
  PeerProcess peer(Scenario("\"echo\": true"));
  ASSERT_TRUE(peer.running()) << peer.error();
  Target(peer);
  echoesLeft = 1000000;
  ASSERT_EQ(0, tlxLinkMgrSetCallback(SendBack));
  ASSERT_EQ(0, tlxRavixConnect());
  const std::string message = "PING" + std::string(60, 'p');
  ASSERT_EQ(S_OK, tlxLinkMgrCall(message.data(), static_cast<uint16_t>(message.size())));
  EXPECT_FALSE(WaitReceived(20).empty());
  // The messages keep going round while the link ends.
  EXPECT_TRUE(tlxLinkMgrDisconnect());
  echoesLeft = 0;
  WaitReceived(0);
}

TEST_F(LinkMgrPeerTest, TheBaseAnswerGivesTheResultCode) {
  const struct {
    std::string options;
    int code;
  } cases[] = {
      {"\"answer\": \"refuse\", \"status\": 4106", 1},  {"\"answer\": \"refuse\", \"status\": 4117", 7},
      {"\"answer\": \"refuse\", \"status\": 4118", 8},  {"\"answer\": \"refuse\", \"status\": 4119", 9},
      {"\"answer\": \"refuse\", \"status\": 4120", 10}, {"\"answer\": \"refuse\", \"status\": 4123", 12},
      {"\"answer\": \"refuse\", \"status\": 4121", 2},  {"\"answer\": \"garbage\"", 3},
      {"\"answer\": \"close\"", 4},                     {"\"answer\": \"silent\"", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    PeerProcess peer(Scenario(c.options));
    ASSERT_TRUE(peer.running()) << peer.error();
    Target(peer);
    EXPECT_EQ(c.code, tlxRavixConnect());
    EXPECT_FALSE(tlxLinkMgrConnected());
  }
  int closedPort;
  {
    PeerProcess gone(Scenario(""));
    closedPort = gone.port();
  }
  tlxCfgSet("network/ravix/port", std::to_string(closedPort).c_str());
  EXPECT_EQ(4, tlxRavixConnect()) << "nothing listening";
}

TEST_F(LinkMgrPeerTest, ADisconnectAbortsAConnectWaitingForTheBase) {
  PeerProcess peer(Scenario("\"answer\": \"silent\""));
  ASSERT_TRUE(peer.running()) << peer.error();
  Target(peer);
  int code = -1;
  std::thread connector([&] { code = tlxRavixConnect(); });
  // The hello has reached the peer: the connect waits for the answer.
  for (int i = 0; i < 2000; ++i) {
    const auto lines = peer.RecordLines();
    if (!lines.empty() && lines.back().find("vexlink_hello") != std::string::npos) break;
    std::this_thread::sleep_for(1ms);
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(tlxLinkMgrDisconnect());
  connector.join();
  EXPECT_LT(test::ElapsedMs(start), test::kSchedulingSlackMs);
  EXPECT_EQ(2, code);
}

}  // namespace
}  // namespace tlx::link

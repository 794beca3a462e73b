// The link-manager client over a scripted stand-in of the internet link
// component.
#include "link/network/link_mgr_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "com/class_registry.h"
#include "link/config/auth_target.h"
#include "link/config/tlx_cfg.h"
#include "link/config/tlx_module.h"
#include "link_env_support.h"
#include "link_test_support.h"
#include "vexlink/vexlink.h"

namespace tlx::link {
namespace {

using namespace std::chrono_literals;

constexpr char kStub[] = "libVexlinkStub.so";

struct Stub {
  void (*script)(HRESULT, bool, bool, HRESULT) = test::StubEntry<decltype(script)>(kStub, "VexlinkStubScript");
  void (*release)() = test::StubEntry<decltype(release)>(kStub, "VexlinkStubRelease");
  bool (*waitConnecting)() = test::StubEntry<decltype(waitConnecting)>(kStub, "VexlinkStubWaitConnecting");
  void (*counts)(int*, int*, int*) = test::StubEntry<decltype(counts)>(kStub, "VexlinkStubCounts");
  void (*last)(char*, int, char*, int*) = test::StubEntry<decltype(last)>(kStub, "VexlinkStubLast");
  bool (*deliver)(const uint8_t*, uint32_t) = test::StubEntry<decltype(deliver)>(kStub, "VexlinkStubDeliver");

  int Connects() const {
    int connects, disconnects, sends;
    counts(&connects, &disconnects, &sends);
    return connects;
  }
  // The host text of the last connect and the bytes of the last send.
  std::pair<std::string, std::string> Last() const {
    char host[512];
    char sent[vexlink::kMaxFrame];
    int length;
    last(host, sizeof host, sent, &length);
    return {host, std::string(sent, static_cast<size_t>(length))};
  }
  std::string Host() const { return Last().first; }
  std::string Sent() const { return Last().second; }
};

std::mutex receivedLock;
std::vector<std::string> received;

void Receive(const uint8_t* data, uint32_t length) {
  std::lock_guard guard(receivedLock);
  received.emplace_back(reinterpret_cast<const char*>(data), length);
}

std::vector<std::string> TakeReceived() {
  std::lock_guard guard(receivedLock);
  return std::exchange(received, {});
}

class LinkMgrClientTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::UseTestEnvironment();
    setenv("TLX_VEXLINK_MODULE", "VexlinkStub.dll", 1);
  }
  void SetUp() override {
    ASSERT_NE(nullptr, stub.script);
    stub.script(S_OK, false, false, S_OK);
    test::DeleteTree(test::kTlxKey);
    ASSERT_EQ(0, tlxInitConfig(0x300));
    tlxCfgSet("network/ravix/hostname", "base.test");
    TakeReceived();
  }
  void TearDown() override {
    tlxLinkMgrRelease();
    tlxSetAuthTarget(TLX_AUTH_TARGET{});
    tlxCleanupConfig();
  }

  Stub stub;
};

TEST_F(LinkMgrClientTest, ConnectResultsMapToTheirCodes) {
  const struct {
    uint32_t low;
    int code;
  } cases[] = {
      {0x1007, 4}, {0x1008, 4}, {0x100A, 1},  {0x100B, 6},  {0x100C, 7},  {0x1015, 7},
      {0x100D, 5}, {0x1014, 3}, {0x101A, 3},  {0x1016, 8},  {0x1017, 9},  {0x1018, 10},
      {0x101B, 12}, {0x1019, 2}, {0x4004, 2}, {0x0057, 2},
  };
  ASSERT_TRUE(tlxLinkMgrCreate());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.low);
    stub.script(static_cast<HRESULT>((c.low == 0x4004 || c.low == 0x0057 ? 0x80000000u : 0x80040000u) | c.low), false,
                false, S_OK);
    EXPECT_EQ(c.code, tlxRavixConnect());
    EXPECT_EQ(static_cast<int>(c.low), tlxLinkMgrConnect("base.test", 5021, nullptr, 0));
    EXPECT_FALSE(tlxLinkMgrConnected());
  }
  stub.script(S_OK, false, false, S_OK);
  EXPECT_EQ(0, tlxRavixConnect());
  EXPECT_EQ("base.test:5021 proxy (null):0", stub.Host());
  EXPECT_TRUE(tlxLinkMgrConnected());
}

TEST_F(LinkMgrClientTest, TheProxyComesFromTheAuthenticationTarget) {
  ASSERT_TRUE(tlxLinkMgrCreate());
  stub.script(VEXLINK_E_UNREACHABLE, false, false, S_OK);
  TLX_AUTH_TARGET target{};
  std::strcpy(target.host, "proxy.test");
  target.port = 8080;
  tlxSetAuthTarget(target);
  EXPECT_EQ(4, tlxRavixConnect());
  EXPECT_EQ("base.test:5021 proxy (null):8080", stub.Host()) << "no proxy host without the flag";
  target.proxy = 1;
  tlxSetAuthTarget(target);
  tlxCfgSet("network/ravix/port", "6000");
  EXPECT_EQ(4, tlxRavixConnect());
  EXPECT_EQ("base.test:6000 proxy proxy.test:8080", stub.Host());
}

TEST_F(LinkMgrClientTest, ASecondConnectWhileConnectedMakesNoCall) {
  ASSERT_TRUE(tlxLinkMgrCreate());
  EXPECT_EQ(0, tlxRavixConnect());
  EXPECT_EQ(0, tlxRavixConnect());
  EXPECT_EQ(0, tlxLinkMgrConnect("other.test", 1, nullptr, 0));
  EXPECT_EQ(1, stub.Connects());
  EXPECT_TRUE(tlxLinkMgrDisconnect());
  EXPECT_FALSE(tlxLinkMgrDisconnect());
  EXPECT_EQ(0, tlxRavixConnect());
  EXPECT_EQ(2, stub.Connects());
}

TEST_F(LinkMgrClientTest, ADisconnectEndsABlockingConnectPromptly) {
  ASSERT_TRUE(tlxLinkMgrCreate());
  stub.script(S_OK, true, false, S_OK);
  int result = 0;
  std::thread connector([&] { result = tlxLinkMgrConnect("base.test", 5021, nullptr, 0); });
  ASSERT_TRUE(stub.waitConnecting());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(tlxLinkMgrDisconnect());
  connector.join();
  EXPECT_LT(test::ElapsedMs(start), test::kSchedulingSlackMs);
  EXPECT_EQ(0x4004, result);
  EXPECT_FALSE(tlxLinkMgrConnected());
}

TEST_F(LinkMgrClientTest, TheSinkDeliversToTheCallback) {
  ASSERT_TRUE(tlxLinkMgrCreate());
  // Installed before the connect: handed over with it.
  ASSERT_EQ(0, tlxLinkMgrSetCallback(Receive));
  EXPECT_FALSE(stub.deliver(reinterpret_cast<const uint8_t*>("early message..."), 16));
  ASSERT_EQ(0, tlxRavixConnect());
  ASSERT_TRUE(stub.deliver(reinterpret_cast<const uint8_t*>("first message..."), 16));
  ASSERT_TRUE(stub.deliver(nullptr, 0));  // no data: no call
  // Replaced while connected: the new sink goes over at once.
  ASSERT_EQ(0, tlxLinkMgrSetCallback(nullptr));
  ASSERT_TRUE(stub.deliver(reinterpret_cast<const uint8_t*>("ignored message."), 16));
  ASSERT_EQ(0, tlxLinkMgrSetCallback(Receive));
  ASSERT_TRUE(stub.deliver(reinterpret_cast<const uint8_t*>("second message.."), 16));
  EXPECT_EQ((std::vector<std::string>{"first message...", "second message.."}), TakeReceived());
  // A component that refuses the sink.
  stub.script(S_OK, false, false, E_FAIL);
  EXPECT_EQ(-1, tlxLinkMgrSetCallback(Receive));
}

TEST_F(LinkMgrClientTest, CallsSendTheBytesAsTheyAre) {
  EXPECT_EQ(TLX_E_LINK_SEND, tlxLinkMgrCall("0123456789abcdef", 16)) << "no object";
  ASSERT_TRUE(tlxLinkMgrCreate());
  std::string message(300, '\0');
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 7);
  EXPECT_EQ(S_OK, tlxLinkMgrCall(message.data(), static_cast<uint16_t>(message.size())));
  EXPECT_EQ(message, stub.Sent());
  EXPECT_EQ(TLX_E_LINK_SEND, tlxLinkMgrCall(message.data(), 15));
}

TEST_F(LinkMgrClientTest, CreationThroughTheModuleOrTheClassRegistry) {
  stub.script(S_OK, false, true, S_OK);
  EXPECT_FALSE(tlxLinkMgrCreate()) << "the factory fails and no class is registered";
  EXPECT_EQ(-1, tlxLinkMgrConnect("base.test", 5021, nullptr, 0));
  EXPECT_FALSE(tlxLinkMgrDisconnect());

  // A registered class serves when the module's factory fails.
  int created = 0;
  tlx::com::RegisterClassObject(CLSID_VexlinkManager, [&](REFCLSID clsid, REFIID iid, void** object) {
    ++created;
    stub.script(S_OK, false, false, S_OK);
    const auto get = test::StubEntry<LPFNGETCLASSOBJECT>(kStub, kDllGetClassObjectName);
    return get(clsid, iid, object);
  });
  EXPECT_TRUE(tlxLinkMgrCreate());
  EXPECT_EQ(1, created);
  EXPECT_TRUE(tlxLinkMgrCreate()) << "exists already";
  EXPECT_EQ(1, created);
  tlxLinkMgrRelease();

  // And when the module is not found.
  setenv("TLX_VEXLINK_MODULE", "NoSuchLink.dll", 1);
  EXPECT_TRUE(tlxLinkMgrCreate());
  EXPECT_EQ(2, created);
  tlxLinkMgrRelease();
  tlx::com::UnregisterClassObject(CLSID_VexlinkManager);
  EXPECT_FALSE(tlxLinkMgrCreate());
  setenv("TLX_VEXLINK_MODULE", "VexlinkStub.dll", 1);
}

}  // namespace
}  // namespace tlx::link

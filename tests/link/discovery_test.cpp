// Discovery against the test peer on loopback: the injected interface
// 127.0.0.2/8 with the extra range 127.0.0.0/8 sends the SEARCH to the
// directed broadcast 127.255.255.255, where the peer listens on the search
// port. The program's ports: search 47777, reply 47778 (TLX_LINK_PORTS).
#include "link/discovery/discovery.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "auth/tlx_authentication.h"
#include "link/config/identity_read.h"
#include "link/config/identity_values.h"
#include "link/config/link_ports.h"
#include "link/config/tlx_cfg.h"
#include "link/discovery/discovery_ifaces.h"
#include "link/discovery/discovery_reporter.h"
#include "link/os/event_mgr.h"
#include "link_env_support.h"
#include "link_test_support.h"
#include "support/peer_process.h"
#include "win32/sockets.h"

namespace tlx::link {
namespace {

using Clock = std::chrono::steady_clock;
using tlx::test::PeerProcess;

constexpr char kNonce[] = "0123456789abcdef0123456789ABCDEF";

// A base's NOTIFY lines as scenario JSON, with its identifier.
std::string Lines(const std::string& identifier, const std::string& extra = "") {
  return R"("lines": [["Version", "2.1"], ["Ravix_Host", "base.example"], ["Ravix_Port", "5021"],
    ["Identifier", ")" +
         identifier + R"("], ["BaseStation_Mode", "setup"], ["Model", "QZA-K20US"], ["Nonce", ")" + kNonce + R"("])" +
         extra + "]";
}

std::string Scenario(const std::string& bases, const std::string& options = "") {
  return R"({"services": {"discovery": {"search_port": )" + std::to_string(tlxLinkPorts().search) + R"(, "bases": [)" +
         bases + "]" + options + "}}}";
}

// What the reporter was given.
struct Found {
  int ifIndex;
  TLX_DISCOVERED_BASE base;
};

struct Reports {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<Found> found;
};

Reports& reports() {
  static Reports r;
  return r;
}

void Collect(int ifIndex, const TLX_DISCOVERED_BASE* base) {
  Reports& r = reports();
  std::lock_guard guard(r.lock);
  r.found.push_back({ifIndex, *base});
  r.changed.notify_all();
}

// Waits until `count` reports came; returns them.
std::vector<Found> WaitReports(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  Reports& r = reports();
  std::unique_lock lock(r.lock);
  r.changed.wait_for(lock, limit, [&] { return r.found.size() >= count; });
  return r.found;
}

bool WaitEnded(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (tlxDiscoveryRunning()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The SEARCH texts the peer recorded.
std::vector<std::string> Searches(const PeerProcess& peer) {
  std::vector<std::string> texts;
  for (const std::string& line : peer.RecordLines()) {
    const auto at = line.find("\"text\": \"SEARCH");
    if (line.find("discovery_search") == std::string::npos || at == std::string::npos) continue;
    const auto start = at + 9;
    texts.push_back(line.substr(start, line.find('"', start) - start));
  }
  return texts;
}

std::string JsonSearch(int port) {
  return "SEARCH Telvara_BaseStation\\r\\nVersion: 1.0.2\\r\\nModel: QZA-K20US\\r\\nPort: " + std::to_string(port) +
         " b\\r\\n\\r\\n";
}

std::vector<std::string> WaitSearches(const PeerProcess& peer, size_t count) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  std::vector<std::string> texts;
  while ((texts = Searches(peer)).size() < count && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return texts;
}

win32::Descriptor BindUdp(uint32_t address, int port) {
  win32::Descriptor socket = win32::OpenSocket(AF_INET, SOCK_DGRAM);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(address);
  at.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) return {};
  return socket;
}

class DiscoveryTest : public test::LinkTest {
 protected:
  static void SetUpTestSuite() { test::UseTestEnvironment(); }
  void SetUp() override {
    test::LinkTest::SetUp();
    ASSERT_EQ(0, tlxInitConfig(0x300));
    UseInterfaces({{0x7F000002, 0xFF000000, IFF_UP | IFF_BROADCAST}});
    tlxDiscoverySetReporter(Collect);
    std::lock_guard guard(reports().lock);
    reports().found.clear();
  }
  void TearDown() override {
    tlxDiscoveryStop();
    tlxDiscoverySetReporter(nullptr);
    tlxSetDiscoveryInterfaceSource({}, {});
    tlxCleanupConfig();
    test::LinkTest::TearDown();
  }
  static void UseInterfaces(std::vector<TlxIfaceInfo> interfaces) {
    tlxSetDiscoveryInterfaceSource([interfaces] { return interfaces; },
                                   [] {
                                     return std::vector<TlxAddressRange>{{0x7F000000, 0xFF000000}};
                                   });
  }
};

TEST_F(DiscoveryTest, TheSearchReachesThePeerAndItsAnswersAreReported) {
  PeerProcess peer(Scenario("{" + Lines("BASE-1") + "}, {\"raw\": \"HELLO\\r\\n\"}, {" +
                            Lines("BASE-2", R"(, ["SoftVersion", "9.9"])") + ", \"delay_ms\": 50}"));
  ASSERT_TRUE(peer.running()) << peer.error();
  ASSERT_EQ(tlxDiscoveryStart(2000), 0);
  const std::vector<Found> found = WaitReports(2);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(WaitSearches(peer, 1), std::vector<std::string>{JsonSearch(tlxLinkPorts().reply)});
  EXPECT_EQ(found[0].ifIndex, -1) << "answers come to the reply socket";
  EXPECT_STREQ(found[0].base.identifier, "BASE-1");
  EXPECT_STREQ(found[0].base.address, "127.0.0.1");
  EXPECT_EQ(found[0].base.ravixPort, 5021);
  EXPECT_EQ(found[0].base.mode, 2);
  EXPECT_EQ(std::string(found[0].base.nonce, 32), kNonce);
  EXPECT_STREQ(found[0].base.softVersion, "");
  EXPECT_STREQ(found[1].base.identifier, "BASE-2");
  EXPECT_STREQ(found[1].base.softVersion, "9.9");
}

TEST_F(DiscoveryTest, WithoutALocalInterfaceNothingIsSentButAnswersAreHeard) {
  UseInterfaces({{0x7F000001, 0xFF000000, IFF_UP | IFF_BROADCAST}, {0x08080808, 0xFFFFFF00, IFF_UP | IFF_BROADCAST}});
  PeerProcess peer(Scenario("{" + Lines("BASE-1") + "}"));
  ASSERT_TRUE(peer.running()) << peer.error();
  ASSERT_EQ(tlxDiscoveryStart(2000), 0);
  // An answer straight to the reply port, as a base that saw an earlier search.
  win32::Descriptor sender = BindUdp(INADDR_LOOPBACK, 0);
  std::string notify =
      "NOTIFY Telvara_BaseStation\r\nVersion: 1\r\nRavix_Host: h\r\nRavix_Port: 1\r\nIdentifier: "
      "DIRECT\r\nBaseStation_Mode: x\r\nModel: m\r\nNonce: n\r\n";
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(tlxDiscoveryReplyPort()));
  ASSERT_EQ(sendto(sender.get(), notify.data(), notify.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
            static_cast<ssize_t>(notify.size()));
  const std::vector<Found> found = WaitReports(1);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_STREQ(found[0].base.identifier, "DIRECT");
  EXPECT_EQ(found[0].base.mode, 3);
  EXPECT_TRUE(Searches(peer).empty());
}

TEST_F(DiscoveryTest, ATakenReplyPortGivesAFallbackPortThatTheSearchNames) {
  const int tableReply = tlxLinkPorts().reply;
  win32::Descriptor taken = BindUdp(INADDR_ANY, tlxDiscoveryReplyPort());
  ASSERT_TRUE(taken);
  PeerProcess peer(Scenario("{" + Lines("BASE-1") + "}"));
  ASSERT_TRUE(peer.running()) << peer.error();
  ASSERT_EQ(tlxDiscoveryStart(2000), 0);
  const int port = tlxDiscoveryReplyPort();
  EXPECT_GE(port, tableReply);
  EXPECT_LT(port, tableReply + 2000);
  EXPECT_EQ(WaitSearches(peer, 1), std::vector<std::string>{JsonSearch(port)});
  EXPECT_EQ(WaitReports(1).size(), 1u);
  ASSERT_EQ(tlxDiscoveryStop(), 0);

  // Holding the port: the same retries, and the port bound is remembered.
  win32::Descriptor alsoTaken = BindUdp(INADDR_ANY, port);
  ASSERT_TRUE(alsoTaken);
  EXPECT_EQ(tlxDiscoverBase(3, 1), 0);
  EXPECT_NE(tlxDiscoveryReplyPort(), port);
  EXPECT_GE(tlxDiscoveryReplyPort(), tableReply);
  EXPECT_LT(tlxDiscoveryReplyPort(), tableReply + 2000);
}

TEST_F(DiscoveryTest, EachDatagramRestartsTheTimeOut) {
  PeerProcess peer(Scenario("{" + Lines("BASE-1") + R"(, "repeat": 5, "interval_ms": 200})"));
  ASSERT_TRUE(peer.running()) << peer.error();
  const auto start = Clock::now();
  ASSERT_EQ(tlxDiscoveryStart(300), 0);
  EXPECT_EQ(WaitReports(5).size(), 5u);
  EXPECT_TRUE(tlxDiscoveryRunning()) << "an answer came less than 300 ms ago";
  EXPECT_TRUE(WaitEnded(std::chrono::seconds(5)));
  EXPECT_GE(test::ElapsedMs(start), 800 + 300);
}

TEST_F(DiscoveryTest, StopEndsTheTaskAtOnceAndASecondStartChangesNothing) {
  PeerProcess peer(Scenario("{" + Lines("BASE-1") + R"(, "repeat": 2, "interval_ms": 300})"));
  ASSERT_TRUE(peer.running()) << peer.error();
  ASSERT_EQ(tlxDiscoveryStart(5000), 0);
  ASSERT_EQ(WaitReports(1).size(), 1u);
  const int port = tlxDiscoveryReplyPort();
  EXPECT_EQ(tlxDiscoveryStart(5000), -1);
  EXPECT_EQ(tlxDiscoveryReplyPort(), port);
  EXPECT_EQ(WaitReports(2).size(), 2u) << "the first search still hears its answers";
  EXPECT_EQ(WaitSearches(peer, 1).size(), 1u) << "the second start sent nothing";

  const auto start = Clock::now();
  EXPECT_EQ(tlxDiscoveryStop(), 0);
  EXPECT_FALSE(tlxDiscoveryRunning());
  EXPECT_LT(test::ElapsedMs(start), 100 + test::kSchedulingSlackMs);
  EXPECT_TRUE(test::WaitTaskEnded("tDiscovery"));
  EXPECT_EQ(tlxDiscoveryStop(), 0);
}

TEST_F(DiscoveryTest, IdentityReadGivesTextsAndUpperCaseHex) {
  char buffer[32];
  ASSERT_EQ(tlxIdentityRead(4100, sizeof buffer, buffer), 0);
  EXPECT_STREQ(buffer, "QZA-K20US");
  ASSERT_EQ(tlxIdentityRead(SYSINFO_ETHER_MAC_ADDR_P, 13, buffer), 0);
  EXPECT_EQ(std::strlen(buffer), 12u);
  EXPECT_EQ(std::string(buffer).find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(tlxIdentityRead(SYSINFO_ETHER_MAC_ADDR_P, 12, buffer), -1);
  EXPECT_STREQ(buffer, "") << "the buffer is zeroed";
  EXPECT_EQ(tlxIdentityRead(4099, sizeof buffer, buffer), -1) << "an id without a value";

  // The wireless MAC as the authentication library registers it.
  char mac[kIdentityMacSize];
  ASSERT_EQ(tlxIdentityValueRead(SYSINFO_WLAN_MAC_ADDR_P, mac, sizeof mac), kIdentityMacSize);
  char hex[2 * kIdentityMacSize + 1];
  for (int i = 0; i < kIdentityMacSize; ++i) std::snprintf(hex + 2 * i, 3, "%02X", static_cast<uint8_t>(mac[i]));
  const struct {
    const char* name;
    int size;
    int result;
  } cases[] = {{"SYSID_WLAN_MAC_ADDR_P", 20, 0},
               {"SYSID_WLAN_MAC_ADDR_P", 13, 0},
               {"SYSID_WLAN_MAC_ADDR_P", 12, -1},
               {"SYSID_ETHER_MAC_ADDR_P", 20, -1},
               {nullptr, 20, -1}};
  for (const auto& c : cases) {
    char out[20];
    std::memset(out, 0x5A, sizeof out);
    EXPECT_EQ(tlxLdInfo(c.name, out, c.size), c.result) << c.size;
    EXPECT_EQ(std::string(out, static_cast<size_t>(c.size)),
              c.result == 0 ? std::string(hex) + std::string(static_cast<size_t>(c.size) - 12, '\0')
                            : std::string(static_cast<size_t>(c.size), '\0'));
  }
  EXPECT_EQ(tlxLdInfo("SYSID_WLAN_MAC_ADDR_P", nullptr, 20), -1);
}

// The reporter of the library: events at code 0 and 255, and every copy freed.
struct Events {
  std::mutex lock;
  std::vector<int32_t> codes;
  std::vector<std::string> nonces;
  std::vector<int32_t> ifIndexes;
};

Events& events() {
  static Events e;
  return e;
}

void OnDiscovery(void*, const TLX_EVENT_MSG* message) {
  TLX_DISCOVERY_EVENT event;
  ASSERT_EQ(message->length, sizeof event);
  std::memcpy(&event, message->payload, sizeof event);
  Events& e = events();
  std::lock_guard guard(e.lock);
  e.codes.push_back(event.code);
  e.ifIndexes.push_back(event.ifIndex);
  if (event.code == 0 && event.base != nullptr) e.nonces.push_back(event.base->nonce);
}

TEST_F(DiscoveryTest, TheLibraryPostsEachBaseTwiceAndFreesItsCopy) {
  ASSERT_EQ(eventMgrStart(), 0);
  ASSERT_EQ(eventMgrCallbackAttach(OnDiscovery, nullptr, EVENT_ID_DISCOVERY), 0);
  {
    PeerProcess peer(Scenario("{" + Lines("BASE-1") + "}"));
    ASSERT_TRUE(peer.running()) << peer.error();
    ASSERT_EQ(tlxDiscoverBase(1, 3000), 0);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (tlxDiscoveryCopiesOutstanding() != 0 || [] {
      std::lock_guard guard(events().lock);
      return events().codes.size() < 2;
    }()) {
      ASSERT_LT(Clock::now(), deadline);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::lock_guard guard(events().lock);
    EXPECT_EQ(events().codes, (std::vector<int32_t>{0, 255}));
    EXPECT_EQ(events().ifIndexes, (std::vector<int32_t>{-1, -1}));
    EXPECT_EQ(events().nonces, std::vector<std::string>{kNonce}) << "the whole 32-character nonce";
  }
  EXPECT_EQ(tlxDiscoverBase(2, 0), 0);

  // A hundred answers in a burst: whether or not each fits the event queue,
  // no copy is left behind (the leak sanitizer checks the rest).
  PeerProcess burst(Scenario("{" + Lines("BASE-1") + R"(, "repeat": 100, "interval_ms": 1})"));
  ASSERT_TRUE(burst.running()) << burst.error();
  ASSERT_EQ(tlxDiscoverBase(1, 300), 0);
  EXPECT_TRUE(WaitEnded(std::chrono::seconds(10)));
  EXPECT_EQ(tlxDiscoverBase(2, 0), 0);
  EXPECT_EQ(tlxDiscoveryCopiesOutstanding(), 0);
  EXPECT_EQ(tlxDiscoverBase(4, 0), -1);
  eventMgrCallbackDetach(OnDiscovery);
  EXPECT_EQ(eventMgrStop(), 0);
}

}  // namespace
}  // namespace tlx::link

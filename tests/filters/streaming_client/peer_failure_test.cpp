// What a start reports when the connection fails at each step, the events
// that came before, and that a Stop afterwards leaves no descriptor or thread
// behind.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <functional>
#include <future>

#include "platform/rtsp/peer/peer_record.h"
#include "source_graph.h"
#include "win32/sockets.h"

namespace tlx::dshow::test {
namespace {

using tlx::test::PeerProcess;

// A loopback port nothing listens on.
int UnusedPort() {
  tlx::win32::Descriptor s = tlx::win32::OpenSocket(AF_INET, SOCK_STREAM);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

bool Settles(int descriptors, int threads) {
  const auto until = SteadyClock::now() + std::chrono::seconds(2);
  while (SteadyClock::now() < until) {
    if (OpenDescriptorCount() == descriptors && ThreadCount() == threads) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

struct FailureCase {
  const char* name;
  std::string stream;  // members added to the peer's stream options
  std::string http;    // members added to its service options
  std::function<void(SourceGraph&, int port)> setUp;
  HRESULT result;
  std::vector<long> events;
  // What the peer's record shows once it has caught up with the player.
  std::function<bool(const PeerProcess&)> check;
};

std::vector<std::string> RtspMethods(const PeerProcess& peer) {
  std::vector<std::string> methods;
  for (const PeerEvent& e : PeerEvents(peer.RecordLines(), "rtsp_request")) methods.push_back(e["method"]);
  return methods;
}

void Serve(SourceGraph& g, int port) { g.control->SetServer("127.0.0.1", port); }

TEST(PeerFailure, EachStepReportsItsFailureAndStopLeavesNothingBehind) {
  const std::vector<long> connectOnly{EC_TLX_CONNECT_BEGIN, EC_TLX_CONNECT_END};
  // Authenticated on the GET connection only: the attempt ended before the POST.
  const std::vector<long> authRefused{EC_TLX_CONNECT_BEGIN, EC_TLX_AUTH_BEGIN, EC_TLX_CONNECT_END};
  const std::vector<long> authenticated{EC_TLX_CONNECT_BEGIN, EC_TLX_AUTH_BEGIN, EC_TLX_AUTH_END, EC_TLX_CONNECT_END};
  const FailureCase cases[] = {
      {"no server", "", "", [](SourceGraph&, int) {}, TLX_E_NO_SERVER, {}, nullptr},
      {"nothing listening", "", "", [](SourceGraph& g, int) { g.control->SetServer("127.0.0.1", UnusedPort()); },
       static_cast<HRESULT>(0x8007274D), connectOnly, nullptr},
      {"digest refused", "",
       R"(, "answers": {"ravix": [{"do": "auto"}, {"do": "reply", "status": 401, "reason": "Unauthorized"}]})", Serve,
       static_cast<HRESULT>(0x8004100A), authRefused, nullptr},
      {"in use", "",
       R"x(, "answers": {"ravix": [{"do": "reply", "status": 503, "reason": "Service Unavailable (in use)"}]})x", Serve,
       static_cast<HRESULT>(0x80041018), authRefused, nullptr},
      {"tunnel GET 404", R"(, "faults": {"get_status": 404})", "", Serve, TLX_E_TUNNEL_GET, authRefused, nullptr},
      {"no authentication where none is asked", R"(, "auth": false, "key": null, "faults": {"get_status": 404})", "",
       [](SourceGraph& g, int port) {
         g.control->SetMode(1);
         g.control->SetServer("127.0.0.1", port);
       },
       TLX_E_TUNNEL_GET, connectOnly,
       [](const PeerProcess& peer) { return PeerEvents(peer.RecordLines(), "auth").empty(); }},
      {"no authentication where it is asked", "", "",
       [](SourceGraph& g, int port) {
         g.control->SetMode(1);
         g.control->SetServer("127.0.0.1", port);
       },
       TLX_E_TUNNEL_GET, connectOnly,
       [](const PeerProcess& peer) {
         const auto tunnels = PeerEvents(peer.RecordLines(), "tunnel");
         return tunnels.size() == 1 && tunnels[0]["authenticated"] == "false";
       }},
      {"DESCRIBE 404", R"(, "faults": {"answers": {"DESCRIBE": {"status": 404}}})", "", Serve, TLX_E_DESCRIBE_SETUP,
       authenticated, nullptr},
      {"a description without a medium", R"(, "faults": {"sdp": "v=0\r\ns=none\r\n"})", "", Serve,
       TLX_E_DESCRIBE_SETUP, authenticated, nullptr},
      {"SETUP 461", R"(, "faults": {"answers": {"SETUP": {"status": 461}}})", "", Serve, TLX_E_DESCRIBE_SETUP,
       authenticated,
       [](const PeerProcess& peer) {
         return RtspMethods(peer) == std::vector<std::string>{"DESCRIBE", "SETUP"};  // no PLAY
       }},
      {"PLAY 454", R"(, "faults": {"answers": {"PLAY": {"status": 454}}})", "", Serve, TLX_E_START_FAILED,
       authenticated,
       [](const PeerProcess& peer) {
         return RtspMethods(peer) == std::vector<std::string>{"DESCRIBE", "SETUP", "SETUP", "PLAY", "TEARDOWN"};
       }},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    PeerProcess peer(StreamScenario(kMpeg4Media, c.stream, c.http));
    ASSERT_TRUE(peer.running()) << peer.error();
    SourceGraph g;
    g.SetQuality(kMpeg4Media);
    c.setUp(g, peer.port());
    const int descriptors = OpenDescriptorCount(), threads = ThreadCount();
    EXPECT_EQ(g.Run(), c.result);
    EXPECT_TRUE(SUCCEEDED(g.Stop()));
    EXPECT_TRUE(Settles(descriptors, threads)) << OpenDescriptorCount() << " " << ThreadCount();
    ASSERT_TRUE(g.CatchUp(5000));
    EXPECT_EQ(g.EventCodes(), c.events);
    if (c.check) {
      const auto until = SteadyClock::now() + std::chrono::seconds(5);
      while (!c.check(peer) && SteadyClock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      EXPECT_TRUE(c.check(peer)) << ::testing::PrintToString(peer.RecordLines());
    }
  }
}

TEST(PeerFailure, AnAbortBeforeRunFailsOneStartOnly) {
  PeerProcess peer(StreamScenario(kMpeg4Media, R"(, "end": "hold")"));
  ASSERT_TRUE(peer.running()) << peer.error();
  SourceGraph g;
  g.Use(kMpeg4Media, peer.port());
  EXPECT_EQ(g.control->Abort(), S_OK);
  EXPECT_EQ(g.Run(), TLX_E_ABORTED);
  EXPECT_TRUE(g.EventCodes().empty());
  EXPECT_EQ(g.Run(), S_OK) << "the abort was used up";
  EXPECT_EQ(g.Stop(), S_OK);
}

TEST(PeerFailure, AbortEndsASilentDescribeWithinASecond) {
  PeerProcess peer(StreamScenario(kMpeg4Media, R"(, "faults": {"answers": {"DESCRIBE": {"do": "silence"}}})"));
  ASSERT_TRUE(peer.running()) << peer.error();
  SourceGraph g;
  g.Use(kMpeg4Media, peer.port());
  auto run = std::async(std::launch::async, [&] { return g.Run(); });
  ASSERT_TRUE(g.WaitForEvent(EC_TLX_AUTH_END, 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto aborted = SteadyClock::now();
  g.control->Abort();
  ASSERT_EQ(run.wait_for(std::chrono::seconds(1)), std::future_status::ready);
  EXPECT_LT(SteadyClock::now() - aborted, std::chrono::seconds(1));
  EXPECT_TRUE(FAILED(run.get()));
  EXPECT_TRUE(SUCCEEDED(g.Stop()));
}

TEST(PeerFailure, AbortEndsAConnectThatHangsWithinASecond) {
  // A listener whose backlog is full: further connects wait for ever.
  tlx::win32::Descriptor listener = tlx::win32::OpenSocket(AF_INET, SOCK_STREAM);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
  ASSERT_EQ(listen(listener.get(), 0), 0);
  std::vector<tlx::win32::Descriptor> fillers;
  for (int i = 0; i < 4; ++i) {
    fillers.push_back(tlx::win32::OpenSocket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK));
    connect(fillers.back().get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  SourceGraph g;
  g.Use(kMpeg4Media, ntohs(address.sin_port));
  auto run = std::async(std::launch::async, [&] { return g.Run(); });
  ASSERT_TRUE(g.WaitForEvent(EC_TLX_CONNECT_BEGIN, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_NE(run.wait_for(std::chrono::milliseconds(0)), std::future_status::ready) << "the connect hangs";
  g.control->Abort();
  ASSERT_EQ(run.wait_for(std::chrono::seconds(1)), std::future_status::ready);
  EXPECT_EQ(run.get(), static_cast<HRESULT>(0x80072714));
  EXPECT_TRUE(SUCCEEDED(g.Stop()));
}

TEST(PeerFailure, ThroughAProxyTheTunnelAsksForTheServersUrl) {
  PeerProcess peer(StreamScenario(kMpeg4Media, R"(, "faults": {"get_status": 404})"));
  ASSERT_TRUE(peer.running()) << peer.error();
  SourceGraph g;
  g.Use(kMpeg4Media, 9);
  ASSERT_EQ(g.control->SetProxy("127.0.0.1", peer.port()), S_OK);
  EXPECT_EQ(g.Run(), TLX_E_TUNNEL_GET);
  g.Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  bool sawGet = false;
  for (const PeerEvent& e : PeerEvents(peer.RecordLines(), "request")) {
    if (e["method"] != "GET" || e["target"] != "http://127.0.0.1:9/connect") continue;
    sawGet = true;
    EXPECT_NE(FromHex(e["head_hex"]).find("GET http://127.0.0.1:9/connect HTTP/1.0\r\nHOST: 127.0.0.1 \r\n"),
              std::string::npos);
  }
  EXPECT_TRUE(sawGet);
  const auto auths = PeerEvents(peer.RecordLines(), "auth");
  ASSERT_FALSE(auths.empty());
  EXPECT_EQ(auths[0]["proxy_form"], "true");
}

}  // namespace
}  // namespace tlx::dshow::test

// The link library's socket class over loopback.
#include "link/os/socket_for_vxworks.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "win32/ticks.h"

namespace tlx::link {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TLX_SOCK_ADDR Loopback(uint16_t port, const char* text = "127.0.0.1") {
  TLX_SOCK_ADDR address{port, {}};
  std::strncpy(address.address, text, sizeof address.address - 1);
  return address;
}

uint16_t LocalPort(SOCKET socket) {
  sockaddr_in self{};
  socklen_t length = sizeof self;
  getsockname(socket, reinterpret_cast<sockaddr*>(&self), &length);
  return ntohs(self.sin_port);
}

// A TCP listener on a free port of 127.0.0.1.
struct Listener {
  explicit Listener(int backlog = 8) {
    EXPECT_EQ(0, socket.open(SOCK_STREAM));
    EXPECT_EQ(0, socket.bind(nullptr, 0));
    EXPECT_EQ(0, socket.listen(backlog));
    port = LocalPort(socket.handle());
  }
  SocketForVxWorks socket;
  uint16_t port = 0;
};

TEST(SocketForVxWorks, OpenTwiceKeepsTheFirstSocket) {
  SocketForVxWorks socket;
  ASSERT_EQ(0, socket.open(SOCK_DGRAM));
  const SOCKET first = socket.handle();
  EXPECT_EQ(-1, socket.open(SOCK_DGRAM));
  EXPECT_EQ(first, socket.handle());
  EXPECT_EQ(0, socket.close());
  EXPECT_EQ(INVALID_SOCKET, socket.handle());
  EXPECT_EQ(0, socket.close());
}

TEST(SocketForVxWorks, ConnectsAcceptsAndCarriesBytes) {
  Listener listener;
  tlxSetSocketPortCounter(19999);
  SocketForVxWorks client;
  ASSERT_EQ(0, client.open(SOCK_STREAM));
  ASSERT_EQ(0, client.connect(Loopback(listener.port)));
  EXPECT_EQ(19999, LocalPort(client.handle()));
  EXPECT_EQ(10000, tlxSocketPortCounter()) << "the counter wraps after 19999";

  SocketForVxWorks served;
  TLX_SOCK_ADDR peer{};
  const int accepted = listener.socket.acceptFrom(served, &peer, 100);
  ASSERT_GE(accepted, 0);
  EXPECT_EQ(accepted, served.handle());
  EXPECT_EQ(19999, peer.port);
  EXPECT_STREQ("127.0.0.1", peer.address);
  SocketForVxWorks another;
  EXPECT_EQ(-1, listener.socket.accept(served, 1)) << "into must be empty";
  EXPECT_EQ(-2, listener.socket.accept(another, 3)) << "nobody else connects";

  const std::string text(100000, 'x');
  std::thread sender([&] { EXPECT_EQ(static_cast<int>(text.size()), client.send(text.data(), text.size(), 1000)); });
  std::string received;
  std::vector<char> buffer(4096);
  while (received.size() < text.size()) {
    const int got = served.receive(buffer.data(), static_cast<int>(buffer.size()), 1000);
    ASSERT_GT(got, 0);
    received.append(buffer.data(), static_cast<size_t>(got));
  }
  sender.join();
  EXPECT_EQ(text, received);
}

TEST(SocketForVxWorks, ReceiveGivesUpAfterItsTries) {
  SocketForVxWorks socket;
  ASSERT_EQ(0, socket.open(SOCK_DGRAM));
  ASSERT_EQ(0, socket.bind(nullptr, 0));
  char buffer[16];
  const auto start = Clock::now();
  EXPECT_EQ(-2, socket.receive(buffer, sizeof buffer, 5));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(5 * TimeoutMilliseconds(1, TimeoutUnit::kTicks)) - 2ms);
}

TEST(SocketForVxWorks, ARefusedConnectFailsAtOnce) {
  uint16_t closedPort;
  {
    Listener gone;
    closedPort = gone.port;
  }
  SocketForVxWorks client;
  ASSERT_EQ(0, client.open(SOCK_STREAM));
  const auto start = Clock::now();
  EXPECT_EQ(-1, client.connect(Loopback(closedPort)));
  EXPECT_LT(Clock::now() - start, 1s);
}

TEST(SocketForVxWorks, AFullAcceptQueueEndsAfterThreeTimedTries) {
  Listener listener(0);
  SocketForVxWorks waiting;
  ASSERT_EQ(0, waiting.open(SOCK_STREAM));
  ASSERT_EQ(0, waiting.connect(Loopback(listener.port)));  // fills the queue
  SocketForVxWorks late;
  ASSERT_EQ(0, late.open(SOCK_STREAM));
  const auto start = Clock::now();
  EXPECT_EQ(-1, late.connect(Loopback(listener.port)));
  const auto waited = Clock::now() - start;
  const auto oneTry = std::chrono::milliseconds(TimeoutMilliseconds(5000, TimeoutUnit::kMilliseconds));
  EXPECT_GE(waited, 3 * oneTry - 10ms);
  EXPECT_LT(waited, 3 * oneTry + 2s);
}

TEST(SocketForVxWorks, CloseFromAnotherThreadWakesABlockedReceive) {
  Listener listener;
  SocketForVxWorks client;
  ASSERT_EQ(0, client.open(SOCK_STREAM));
  ASSERT_EQ(0, client.connect(Loopback(listener.port)));
  SocketForVxWorks served;
  ASSERT_GE(listener.socket.accept(served, 100), 0);

  std::atomic<int> result{0};
  std::thread receiver([&] {
    char byte;
    result = served.receive(&byte, 1, -1);
  });
  std::this_thread::sleep_for(50ms);
  const auto start = Clock::now();
  EXPECT_EQ(0, served.close());
  receiver.join();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_LE(result.load(), 0);
  EXPECT_EQ(INVALID_SOCKET, served.handle());
}

TEST(SocketForVxWorks, DatagramsToAnyLocalAddressAndOversizedOnesShow) {
  SocketForVxWorks receiver;
  ASSERT_EQ(0, receiver.open(SOCK_DGRAM));
  ASSERT_EQ(0, receiver.bind("127.0.0.1", 0));
  const uint16_t port = LocalPort(receiver.handle());
  SocketForVxWorks sender;
  ASSERT_EQ(0, sender.open(SOCK_DGRAM));

  ASSERT_EQ(5, sender.sendTo("hello", 5, Loopback(port, "127.0.0.2")));
  char buffer[1040];
  TLX_SOCK_ADDR from{};
  EXPECT_EQ(5, receiver.receiveFrom(buffer, sizeof buffer, &from, 2000));
  EXPECT_EQ(0, std::memcmp(buffer, "hello", 5));
  EXPECT_EQ(LocalPort(sender.handle()), from.port);

  const std::vector<char> big(1041, 'b');
  ASSERT_EQ(1041, sender.sendTo(big.data(), static_cast<int>(big.size()), Loopback(port)));
  EXPECT_EQ(1041, receiver.receiveFrom(buffer, sizeof buffer, &from, 2000)) << "a cut datagram shows its size";
  EXPECT_EQ(-1, receiver.receiveFrom(buffer, sizeof buffer, &from, 50)) << "nothing more";

  // Below 0 takes only a datagram that is there: none returns at once.
  EXPECT_EQ(-1, receiver.receiveFrom(buffer, sizeof buffer, &from, -1));
  ASSERT_EQ(5, sender.sendTo("again", 5, Loopback(port)));
  int got = -1;
  for (int attempt = 0; attempt < 1000 && got == -1; ++attempt) {
    got = receiver.receiveFrom(buffer, sizeof buffer, &from, -1);
    if (got == -1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(5, got);
  EXPECT_EQ(0, std::memcmp(buffer, "again", 5));
}

TEST(SocketAddresses, ParseFormatResolveAndTokens) {
  in_addr address{};
  EXPECT_EQ(0, tlxParseAddress("10.1.2.3", &address));
  EXPECT_EQ(-1, tlxParseAddress("10.1.2", &address));
  EXPECT_EQ(-1, tlxParseAddress(nullptr, &address));
  char text[16];
  ASSERT_EQ(0, tlxParseAddress("192.168.0.40", &address));
  EXPECT_EQ(text + std::strlen("192.168.0.40") + 1, tlxFormatAddress(address, text));
  EXPECT_STREQ("192.168.0.40", text);
  EXPECT_EQ(htonl(INADDR_LOOPBACK), tlxResolveHost("127.0.0.1"));
  EXPECT_EQ(INADDR_NONE, tlxResolveHost(nullptr));

  const struct {
    const char* text;
    std::vector<std::string> tokens;
  } cases[] = {
      {"a:b", {"a", "b"}},
      {"a::b", {"a", "", "b"}},
      {":a", {"", "a"}},
      {"a:", {"a"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string copy = c.text;
    char* context = nullptr;
    std::vector<std::string> tokens;
    for (char* token = tlxNextToken(copy.data(), ":", &context); token != nullptr;
         token = tlxNextToken(nullptr, ":", &context)) {
      tokens.emplace_back(token);
    }
    EXPECT_EQ(c.tokens, tokens);
  }
}

TEST(SocketAddresses, LingerRefusedByTheProtocolCountsAsSet) {
  SocketForVxWorks socket;
  ASSERT_EQ(0, socket.open(SOCK_STREAM));
  const linger off{1, 0};
  EXPECT_EQ(0, tlxSetSockOpt(socket.handle(), SOL_SOCKET, SO_LINGER, &off, sizeof off));
  int value = 1;
  EXPECT_EQ(SOCKET_ERROR, tlxSetSockOpt(socket.handle(), SOL_SOCKET, 0x7777, &value, sizeof value));
}

}  // namespace
}  // namespace tlx::link

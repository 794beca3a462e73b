#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "utility/tlx_utility.h"
#include "win32/sockets.h"
#include "win32/winsock.h"

namespace {

using namespace std::chrono_literals;
using tlx::win32::Descriptor;
using tlx::win32::OpenSocket;
using Clock = std::chrono::steady_clock;

const sockaddr* AsAddress(const sockaddr_in& a) { return reinterpret_cast<const sockaddr*>(&a); }

struct Listener {
  explicit Listener(int backlog = 8) {
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, bind(socket.get(), AsAddress(address), sizeof address));
    EXPECT_EQ(0, listen(socket.get(), backlog));
    socklen_t length = sizeof address;
    EXPECT_EQ(0, getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length));
  }
  Descriptor accept() const { return Descriptor(accept4(socket.get(), nullptr, nullptr, SOCK_CLOEXEC)); }
  Descriptor socket = OpenSocket(AF_INET, SOCK_STREAM);
  sockaddr_in address{};
};

// A listener whose queue is full, so a further connect blocks.
struct FullListener : Listener {
  FullListener() : Listener(0) {
    EXPECT_EQ(0, tlxConnect(waiting.get(), AsAddress(address), sizeof address));
  }
  Descriptor waiting = OpenSocket(AF_INET, SOCK_STREAM);
};

class AbortableSockets : public ::testing::Test {
 protected:
  void TearDown() override { tlxInitAbortion(); }
};

TEST_F(AbortableSockets, AbortEndsABlockedConnectAndReceiveAndStaysUntilCleared) {
  FullListener full;
  Listener open;
  Descriptor connected = OpenSocket(AF_INET, SOCK_STREAM);
  ASSERT_EQ(0, tlxConnect(connected.get(), AsAddress(open.address), sizeof open.address));
  tlxRegisterSocket(connected.get());

  Descriptor blocked = OpenSocket(AF_INET, SOCK_STREAM);
  std::atomic<int> connectResult{1}, connectError{0};
  std::atomic<long> recvResult{1};
  std::thread connector([&] {
    connectResult = tlxConnect(blocked.get(), AsAddress(full.address), sizeof full.address);
    connectError = GetLastSocketError();
  });
  std::thread receiver([&] {
    char byte;
    recvResult = recv(connected.get(), &byte, 1, 0);
  });
  std::this_thread::sleep_for(100ms);
  const auto start = Clock::now();
  tlxAbortConnection();
  connector.join();
  receiver.join();
  EXPECT_LT(Clock::now() - start, 100ms);
  EXPECT_EQ(connectResult.load(), SOCKET_ERROR);
  EXPECT_EQ(connectError.load(), WSAEINTR);
  EXPECT_EQ(recvResult.load(), 0) << "the registered socket was shut down";

  Descriptor later = OpenSocket(AF_INET, SOCK_STREAM);
  EXPECT_EQ(tlxConnect(later.get(), AsAddress(open.address), sizeof open.address), SOCKET_ERROR);
  EXPECT_EQ(GetLastSocketError(), WSAEINTR);
  tlxInitAbortion();
  EXPECT_EQ(tlxConnect(later.get(), AsAddress(open.address), sizeof open.address), 0);
  EXPECT_EQ(GetLastSocketError(), 0);
  tlxUnregisterSocket(connected.get());
}

TEST_F(AbortableSockets, AbortOnOneSocketTouchesOnlyARegisteredOne) {
  Listener listener;
  auto connect = [&] {
    Descriptor s = OpenSocket(AF_INET, SOCK_STREAM);
    EXPECT_EQ(0, tlxConnect(s.get(), AsAddress(listener.address), sizeof listener.address));
    return s;
  };
  auto alive = [](const Descriptor& s) {
    return tlxsend(s.get(), "x", 1, 0) == 1;
  };
  Descriptor a = connect(), b = connect();
  Descriptor acceptedA = listener.accept(), acceptedB = listener.accept();
  tlxRegisterSocket(a.get());
  tlxRegisterSocket(b.get());
  tlxAbortTaskOnSocket(a.get());
  EXPECT_FALSE(alive(a));
  EXPECT_TRUE(alive(b));

  // A number unregistered and closed, then reused by a new socket, is left alone.
  const int number = b.get();
  tlxUnregisterSocket(number);
  b.reset();
  Descriptor reused = connect();
  Descriptor acceptedReused = listener.accept();
  ASSERT_EQ(reused.get(), number);
  tlxAbortTaskOnSocket(number);
  EXPECT_TRUE(alive(reused));
  tlxUnregisterSocket(a.get());
}

TEST_F(AbortableSockets, SendIsWholeOrAnErrorWithoutSignal) {
  Listener listener;
  Descriptor s = OpenSocket(AF_INET, SOCK_STREAM);
  ASSERT_EQ(0, tlxConnect(s.get(), AsAddress(listener.address), sizeof listener.address));
  Descriptor peer = listener.accept();
  std::string data(4 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  std::string received;
  std::thread reader([&] {
    char buffer[4096];
    while (received.size() < data.size()) {
      std::this_thread::sleep_for(std::chrono::microseconds(received.size() < 65536 ? 1000 : 0));
      const long got = recv(peer.get(), buffer, sizeof buffer, 0);
      if (got <= 0) break;
      received.append(buffer, static_cast<size_t>(got));
    }
  });
  EXPECT_EQ(tlxsend(s.get(), data.data(), static_cast<int>(data.size()), 0), static_cast<int>(data.size()));
  reader.join();
  EXPECT_TRUE(received == data);

  // The peer is gone: an error, and the test process gets no SIGPIPE.
  peer.reset();
  std::this_thread::sleep_for(20ms);
  int result = 0;
  for (int i = 0; i < 3 && result != SOCKET_ERROR; ++i) result = tlxsend(s.get(), data.data(), 65536, 0);
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_NE(GetLastSocketError(), 0);
}

TEST_F(AbortableSockets, RefusedConnectGivesItsWinsockNumber) {
  sockaddr_in closed{};
  {
    Listener gone;
    closed = gone.address;
  }
  Descriptor s = OpenSocket(AF_INET, SOCK_STREAM);
  EXPECT_EQ(tlxConnect(s.get(), AsAddress(closed), sizeof closed), SOCKET_ERROR);
  EXPECT_EQ(GetLastSocketError(), WSAECONNREFUSED);
}

TEST_F(AbortableSockets, RegistryHoldsUnderConcurrentUse) {
  std::vector<std::thread> threads;
  std::atomic<bool> stop{false};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        const int number = 100000 + t * 10000 + i;  // numbers no descriptor uses
        tlxRegisterSocket(number);
        tlxAbortTaskOnSocket(number);
        tlxUnregisterSocket(number);
      }
    });
  }
  threads.emplace_back([&] {
    while (!stop) {
      tlxAbortConnection();
      tlxInitAbortion();
    }
  });
  for (size_t i = 0; i + 1 < threads.size(); ++i) threads[i].join();
  stop = true;
  threads.back().join();
}

}  // namespace

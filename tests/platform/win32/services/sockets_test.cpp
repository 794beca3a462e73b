#include "win32/sockets.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "win32/internal/unix_socket.h"
#include "win32/winsock.h"

namespace {

using namespace std::chrono_literals;
using tlx::win32::ConnectWithin;
using tlx::win32::Deadline;
using tlx::win32::DeadlineAfter;
using tlx::win32::Descriptor;
using tlx::win32::OpenSocket;
using tlx::win32::ReadAll;
using tlx::win32::ReadSome;
using tlx::win32::SetReceiveBuffer;
using tlx::win32::WakeBlocked;
using tlx::win32::WriteAll;
using Clock = std::chrono::steady_clock;

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

const sockaddr* AsAddress(const sockaddr_in& address) { return reinterpret_cast<const sockaddr*>(&address); }

// A TCP listener on a free loopback port.
struct Listener {
  explicit Listener(int backlog = 8) {
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, bind(socket.get(), AsAddress(address), sizeof address));
    EXPECT_EQ(0, listen(socket.get(), backlog));
    socklen_t length = sizeof address;
    EXPECT_EQ(0, getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length));
  }
  Descriptor socket = OpenSocket(AF_INET, SOCK_STREAM);
  sockaddr_in address{};
};

int Connect(const Descriptor& socket, const sockaddr_in& address, Deadline deadline) {
  return ConnectWithin(socket.get(), AsAddress(address), sizeof address, deadline);
}

// A connected TCP pair over loopback: [0] the client, [1] the accepted end.
struct Connection {
  Connection() {
    Listener listener;
    EXPECT_EQ(0, Connect(ends[0], listener.address, DeadlineAfter(2000)));
    ends[1].reset(accept4(listener.socket.get(), nullptr, nullptr, SOCK_CLOEXEC));
    EXPECT_TRUE(ends[1]);
  }
  Descriptor ends[2] = {OpenSocket(AF_INET, SOCK_STREAM), {}};
};

TEST(Descriptor, ClosesOnceAndMovesOwnership) {
  Descriptor first = OpenSocket(AF_INET, SOCK_STREAM);
  ASSERT_TRUE(first);
  const int fd = first.get();
  EXPECT_NE(0, fcntl(fd, F_GETFD) & FD_CLOEXEC);

  Descriptor second(std::move(first));
  EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): the moved-from state is the point
  EXPECT_EQ(fd, second.get());
  Descriptor third;
  third = std::move(second);
  EXPECT_EQ(fd, third.get());
  EXPECT_TRUE(IsOpen(fd));

  // Assigning another descriptor closes the held one.
  third = OpenSocket(AF_INET, SOCK_STREAM);
  EXPECT_NE(fd, third.get());
  EXPECT_FALSE(IsOpen(fd));

  const int released = third.release();
  EXPECT_FALSE(third);
  EXPECT_TRUE(IsOpen(released));
  EXPECT_EQ(0, closesocket(released));
}

TEST(ConnectWithin, ConnectsKeepingTheModeAndReportsRefusalAtOnce) {
  Listener listener;
  for (const int type : {static_cast<int>(SOCK_STREAM), SOCK_STREAM | SOCK_NONBLOCK}) {
    const Descriptor socket = OpenSocket(AF_INET, type);
    EXPECT_EQ(0, Connect(socket, listener.address, DeadlineAfter(2000)));
    EXPECT_EQ(type & SOCK_NONBLOCK ? O_NONBLOCK : 0, fcntl(socket.get(), F_GETFL) & O_NONBLOCK);
  }

  // A closed port refuses; the socket turns writable then too, and only
  // SO_ERROR tells the two apart.
  const sockaddr_in closed = listener.address;
  listener.socket.reset();
  const Descriptor socket = OpenSocket(AF_INET, SOCK_STREAM);
  const auto start = Clock::now();
  EXPECT_EQ(ECONNREFUSED, Connect(socket, closed, DeadlineAfter(5000)));
  EXPECT_LT(Clock::now() - start, 2s);
}

TEST(ConnectWithin, AFullAcceptQueueEndsAtTheDeadline) {
  Listener listener(0);
  const Descriptor waiting = OpenSocket(AF_INET, SOCK_STREAM);
  ASSERT_EQ(0, Connect(waiting, listener.address, DeadlineAfter(2000)));  // fills the queue
  const Descriptor late = OpenSocket(AF_INET, SOCK_STREAM);
  const auto start = Clock::now();
  EXPECT_EQ(ETIMEDOUT, Connect(late, listener.address, DeadlineAfter(300)));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, 250ms);
  EXPECT_LT(waited, 3s);
}

TEST(ConnectWithin, AUnixListenerWithAFullQueueIsWaitedFor) {
  tlx::win32::UnixAddress address;
  ASSERT_EQ(0u, tlx::win32::AbstractAddress("sockets-test", std::to_string(getpid()), &address));
  const Descriptor listener = OpenSocket(AF_UNIX, SOCK_STREAM);
  ASSERT_EQ(0, bind(listener.get(), address.sockaddr(), address.length));
  ASSERT_EQ(0, listen(listener.get(), 0));
  std::vector<Descriptor> queued;
  // Fill the queue (its length is the backlog plus one).
  for (int error = 0; error == 0;) {
    queued.push_back(OpenSocket(AF_UNIX, SOCK_STREAM));
    error = ConnectWithin(queued.back().get(), address.sockaddr(), address.length, DeadlineAfter(100));
    if (error != 0) {
      EXPECT_EQ(ETIMEDOUT, error);
    }
  }

  // Room made while a connect waits lets it through.
  std::thread acceptor([&] {
    std::this_thread::sleep_for(100ms);
    const Descriptor accepted(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    EXPECT_TRUE(accepted);
  });
  const Descriptor patient = OpenSocket(AF_UNIX, SOCK_STREAM);
  EXPECT_EQ(0, ConnectWithin(patient.get(), address.sockaddr(), address.length, DeadlineAfter(5000)));
  acceptor.join();
}

TEST(Transfers, CarryMoreThanTheSocketBuffersByteExact) {
  Connection connection;
  std::vector<char> sent(4 << 20);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7 + i / 4093);
  std::vector<char> received(sent.size());
  std::thread reader([&] {
    EXPECT_EQ(0, ReadAll(connection.ends[1].get(), received.data(), received.size(), DeadlineAfter(20000)));
  });
  EXPECT_EQ(0, WriteAll(connection.ends[0].get(), sent.data(), sent.size(), DeadlineAfter(20000)));
  reader.join();
  EXPECT_TRUE(sent == received);
}

TEST(Transfers, FailInBoundedTimeOrAtOnceWithTheCause) {
  {  // a partial message, then nothing
    Connection connection;
    ASSERT_EQ(3, send(connection.ends[0].get(), "abc", 3, MSG_NOSIGNAL));
    char buffer[8];
    const auto start = Clock::now();
    EXPECT_EQ(ETIMEDOUT, ReadAll(connection.ends[1].get(), buffer, sizeof buffer, DeadlineAfter(200)));
    EXPECT_GE(Clock::now() - start, 150ms);
    // The peer leaves before the rest.
    connection.ends[0].reset();
    EXPECT_EQ(ECONNRESET, ReadAll(connection.ends[1].get(), buffer, sizeof buffer, DeadlineAfter(2000)));
  }
  {  // a peer that does not read
    Connection connection;
    const std::vector<char> data(16 << 20, 'x');
    const auto start = Clock::now();
    EXPECT_EQ(ETIMEDOUT, WriteAll(connection.ends[0].get(), data.data(), data.size(), DeadlineAfter(200)));
    EXPECT_LT(Clock::now() - start, 3s);
  }
  {  // a peer that has gone: an error, and no SIGPIPE ends the test
    Connection connection;
    connection.ends[1].reset();
    const std::vector<char> data(1 << 20, 'x');
    const int error = WriteAll(connection.ends[0].get(), data.data(), data.size(), DeadlineAfter(2000));
    EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
  }
}

TEST(ReadSome, TakesWhatIsThereAndTellsCloseFromTimeOut) {
  Connection connection;
  char buffer[16];
  EXPECT_EQ(-1, ReadSome(connection.ends[1].get(), buffer, sizeof buffer, Clock::now()));
  EXPECT_EQ(ETIMEDOUT, errno) << "a passed deadline reads without waiting";
  const auto start = Clock::now();
  EXPECT_EQ(-1, ReadSome(connection.ends[1].get(), buffer, sizeof buffer, DeadlineAfter(100)));
  EXPECT_EQ(ETIMEDOUT, errno);
  EXPECT_GE(Clock::now() - start, 90ms);
  ASSERT_EQ(0, WriteAll(connection.ends[0].get(), "abc", 3, DeadlineAfter(1000)));
  EXPECT_EQ(2, ReadSome(connection.ends[1].get(), buffer, 2, DeadlineAfter(1000)));
  EXPECT_EQ(1, ReadSome(connection.ends[1].get(), buffer, sizeof buffer, DeadlineAfter(1000)));
  EXPECT_EQ('c', buffer[0]);
  connection.ends[0].reset();
  EXPECT_EQ(0, ReadSome(connection.ends[1].get(), buffer, sizeof buffer, DeadlineAfter(1000)));
  EXPECT_EQ(-1, ReadSome(-1, buffer, sizeof buffer, DeadlineAfter(1000)));
  EXPECT_EQ(EBADF, errno);
}

TEST(SetReceiveBuffer, ReportsWhatTheKernelGranted) {
  const Descriptor socket = OpenSocket(AF_INET, SOCK_STREAM);
  const int granted = SetReceiveBuffer(socket.get(), 73000);
  EXPECT_GE(granted, 73000);
  EXPECT_EQ(-1, SetReceiveBuffer(-1, 73000));
}

TEST(WakeBlocked, EndsABlockedReadAndConnectFromAnotherThread) {
  Connection connection;
  std::atomic<int> readResult{-1};
  std::thread reader([&] {
    char byte;
    readResult = ReadAll(connection.ends[1].get(), &byte, 1, Deadline::max());
  });
  std::this_thread::sleep_for(50ms);
  const auto start = Clock::now();
  WakeBlocked(connection.ends[1].get());
  reader.join();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_NE(0, readResult.load());
  EXPECT_TRUE(connection.ends[1]) << "the descriptor stays with its owner";

  Listener full(0);
  const Descriptor waiting = OpenSocket(AF_INET, SOCK_STREAM);
  ASSERT_EQ(0, Connect(waiting, full.address, DeadlineAfter(2000)));
  const Descriptor late = OpenSocket(AF_INET, SOCK_STREAM);
  std::atomic<int> connectResult{0};
  std::thread connector([&] { connectResult = Connect(late, full.address, Deadline::max()); });
  std::this_thread::sleep_for(50ms);
  WakeBlocked(late.get());
  connector.join();
  EXPECT_NE(0, connectResult.load());
}

TEST(Winsock, StartsAndReportsErrorsInItsNumbering) {
  WSADATA data;
  EXPECT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
  EXPECT_EQ(0x0202, data.wVersion);
  EXPECT_EQ(0, WSACleanup());

  Listener listener;
  const sockaddr_in closed = listener.address;
  listener.socket.reset();
  const Descriptor refused = OpenSocket(AF_INET, SOCK_STREAM);
  errno = Connect(refused, closed, DeadlineAfter(2000));
  EXPECT_EQ(WSAECONNREFUSED, WSAGetLastError());

  const Descriptor idle = OpenSocket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK);
  char byte;
  EXPECT_EQ(SOCKET_ERROR, recv(idle.get(), &byte, 1, 0));
  EXPECT_EQ(WSAEWOULDBLOCK, WSAGetLastError());
  int value = 0;
  socklen_t length = sizeof value;
  EXPECT_EQ(SOCKET_ERROR, getsockopt(idle.get(), SOL_SOCKET, 0x7777, &value, &length));
  EXPECT_EQ(WSAENOPROTOOPT, WSAGetLastError());

  const struct {
    int errnoValue;
    int winsock;
  } numbers[] = {
      {0, 0},
      {EINTR, 10004},
      {EINPROGRESS, WSAEWOULDBLOCK},
      {ENOBUFS, 10055},
      {ENETUNREACH, 10051},
      {ECONNRESET, 10054},
      {ETIMEDOUT, 10060},
      {ECONNREFUSED, 10061},
      {EHOSTUNREACH, 10065},
      {ENOENT, WSASYSCALLFAILURE},
  };
  for (const auto& number : numbers) EXPECT_EQ(number.winsock, WinsockError(number.errnoValue)) << number.errnoValue;
  EXPECT_EQ(SOCKET_ERROR, closesocket(INVALID_SOCKET));
}

}  // namespace

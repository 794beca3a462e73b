#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <chrono>

#include "utility/tlx_utility.h"
#include "win32/sockets.h"
#include "win32/winsock.h"

namespace {

using tlx::win32::Descriptor;
using tlx::win32::OpenSocket;

// A connect that the listener never takes gives up after about 20 s.
TEST(AbortableSocketsSlow, BlockedConnectTimesOutAfterTwentySeconds) {
  Descriptor listener = OpenSocket(AF_INET, SOCK_STREAM);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(0, bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address));
  ASSERT_EQ(0, listen(listener.get(), 0));
  socklen_t length = sizeof address;
  ASSERT_EQ(0, getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length));
  Descriptor waiting = OpenSocket(AF_INET, SOCK_STREAM);
  ASSERT_EQ(0, tlxConnect(waiting.get(), reinterpret_cast<sockaddr*>(&address), sizeof address));
  Descriptor late = OpenSocket(AF_INET, SOCK_STREAM);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(tlxConnect(late.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), SOCKET_ERROR);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(GetLastSocketError(), WSAETIMEDOUT);
  EXPECT_GE(waited, std::chrono::seconds(19));
  EXPECT_LT(waited, std::chrono::seconds(30));
}

}  // namespace

// The socket primitives on connected socket pairs, with a writer thread
// playing the base station.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "http_client.h"

namespace {

using namespace std::chrono_literals;

using tlx::win32::Descriptor;

// A connected pair of stream sockets.
struct Pair {
  Pair() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ends[0].reset(fds[0]);
    ends[1].reset(fds[1]);
  }
  Descriptor ends[2];
};

class SocketPair : public ::testing::Test {
 protected:
  void TearDown() override {
    if (writer_.joinable()) writer_.join();
  }

  int reader() const { return pair_.ends[0].get(); }
  int writer() const { return pair_.ends[1].get(); }
  void CloseWriter() { pair_.ends[1].reset(); }

  // Writes the pieces with a pause before each after the first; shuts the
  // writing side down at the end when asked.
  void Write(std::vector<std::string> pieces, bool shutDown = false) {
    writer_ = std::thread([this, pieces = std::move(pieces), shutDown] {
      for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(30ms);
        ASSERT_EQ(send(writer(), pieces[i].data(), pieces[i].size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(pieces[i].size()));
      }
      if (shutDown) shutdown(writer(), SHUT_WR);
    });
  }

  std::string ReadRest() {
    std::string rest;
    char buffer[4096];
    for (;;) {
      const ssize_t got = recv(reader(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (got <= 0) break;
      rest.append(buffer, static_cast<size_t>(got));
    }
    return rest;
  }

  std::string Sent() {
    CloseWriter();
    std::string all;
    char buffer[4096];
    ssize_t got;
    while ((got = recv(reader(), buffer, sizeof buffer, 0)) > 0) all.append(buffer, static_cast<size_t>(got));
    return all;
  }

  Pair pair_;
  std::thread writer_;
};

TEST_F(SocketPair, ReceiveStopsRightAfterATerminatorSplitAcrossWrites) {
  Write({"HTTP/1.1 200 OK\r\nA: b\r\n\r", "\nBODY"});
  char buffer[2048];
  const std::string header = "HTTP/1.1 200 OK\r\nA: b\r\n\r\n";
  ASSERT_EQ(ReceiveSocket(buffer, reader(), sizeof buffer, "\r\n\r\n", 5), static_cast<int>(header.size()));
  EXPECT_EQ(std::string(buffer), header);
  writer_.join();
  EXPECT_EQ(ReadRest(), "BODY");
}

TEST_F(SocketPair, ReceiveFindsTheFirstTerminatorAfterFalseStarts) {
  Write({"a\r\nb\r\n\r", "x\r\n\r\nrest\r\n\r\n"});
  char buffer[64];
  ASSERT_EQ(ReceiveSocket(buffer, reader(), sizeof buffer, "\r\n\r\n", 5), 12);
  EXPECT_STREQ(buffer, "a\r\nb\r\n\rx\r\n\r\n");
  writer_.join();
  EXPECT_EQ(ReadRest(), "rest\r\n\r\n");
}

TEST_F(SocketPair, ReceiveStoresAtMostSizeMinusOne) {
  Write({std::string(100, 'z')});
  writer_.join();
  char buffer[10];
  ASSERT_EQ(ReceiveSocket(buffer, reader(), sizeof buffer, "\r\n\r\n", 1), 9);
  EXPECT_EQ(std::string(buffer), std::string(9, 'z'));
  ASSERT_EQ(ReceiveSocket(buffer, reader(), sizeof buffer, nullptr, 1), 9);
  EXPECT_EQ(ReadRest().size(), 82u);
  EXPECT_EQ(ReceiveSocket(buffer, reader(), 1, nullptr, 1), 0);
  EXPECT_EQ(ReceiveSocket(buffer, reader(), 0, "\r\n", 1), 0);
}

TEST_F(SocketPair, ReceiveFailsOnTimeOutAndOnClose) {
  Write({"HTTP/1.1 200"});
  writer_.join();
  char buffer[64];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReceiveSocket(buffer, reader(), sizeof buffer, "\r\n\r\n", 1), -1);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 900ms);
  EXPECT_LT(waited, 3s);

  CloseWriter();
  EXPECT_EQ(ReceiveSocket(buffer, reader(), sizeof buffer, "\r\n\r\n", 5), -1);
  EXPECT_EQ(ReceiveSocket(buffer, reader(), sizeof buffer, nullptr, 5), -1);
}

TEST_F(SocketPair, ReceiveFailsAtOnceWhenThePeerLeavesMidTerminator) {
  // What is held back as a possible start of the terminator can never become
  // one once the peer has gone.
  Write({"HTTP/1.1 200 OK\r\n\r"}, true);
  writer_.join();
  char buffer[64];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReceiveSocket(buffer, reader(), sizeof buffer, "\r\n\r\n", 5), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_STREQ(buffer, "");
}

TEST_F(SocketPair, ChunkedBodies) {
  struct {
    std::vector<std::string> pieces;
    int capacity;
    int result;
    std::string data;
  } const cases[] = {
      {{"1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n"}, 2048, 26, "abcdefghijklmnopqrstuvwxyz"},
      {{"3\r\nabc\r\n", "4\r\nde", "fg\r\n0\r\n", "\r\n"}, 2048, 7, "abcdefg"},
      {{"A\r\n0123456789\r\n0\r\n\r\n"}, 14, 10, "0123456789"},
      {{"0\r\n\r\n"}, 2048, 0, ""},                        // no data at all
      {{"A\r\n0123456789\r\n0\r\n\r\n"}, 13, -1, ""},  // 3 or less left after a chunk
      {{"A\r\n0123456789\r\n0\r\n\r\n"}, 12, -1, ""},  // capacity = size + 2
      {{"zz\r\nabc\r\n0\r\n\r\n"}, 2048, -1, ""},          // not hex
      {{"\r\n0\r\n\r\n"}, 2048, -1, ""},                   // no digits
      {{"000000003\r\nabc\r\n0\r\n\r\n"}, 2048, -1, ""},   // size line too long
      {{"3\r\nabcXY0\r\n\r\n"}, 2048, -1, ""},             // no CRLF after the data
      {{"3\r\nabc\r\n0\r\nX-Trailer: 1\r\n\r\n"}, 2048, -1, ""},
      {{"3\r\nabc\r\n"}, 2048, -1, ""},                    // ends without the last chunk
      {{"10\r\nshort"}, 2048, -1, ""},
      {{""}, 2048, -1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pieces.front());
    const Pair pair;
    const int feedSocket = pair.ends[1].get();
    std::thread feeder([&] {
      for (const std::string& piece : c.pieces) {
        send(feedSocket, piece.data(), piece.size(), MSG_NOSIGNAL);
        std::this_thread::sleep_for(5ms);
      }
      shutdown(feedSocket, SHUT_WR);
    });
    std::vector<char> out(static_cast<size_t>(c.capacity) + 16, '#');
    const int result = tlxHttpReadChunked(pair.ends[0].get(), out.data(), c.capacity);
    feeder.join();
    EXPECT_EQ(result, c.result);
    if (result >= 0) {
      EXPECT_EQ(std::string(out.data()), c.data);
    }
    EXPECT_TRUE(std::all_of(out.begin() + c.capacity, out.end(), [](char b) { return b == '#'; }));
  }
}

TEST_F(SocketPair, SendsAreByteExact) {
  ASSERT_EQ(SendHTTP("GET / HTTP/1.1\r\nA: b\r\n", writer(), nullptr), 0);
  ASSERT_EQ(SendHTTP("POST / HTTP/1.1\r\n", writer(), "xyz"), 0);
  const std::string data(26, 'q');
  ASSERT_EQ(SendHTTP_chunk(static_cast<int>(data.size()), writer(), data.c_str()), 0);
  ASSERT_EQ(SendHTTP_chunk(0, writer(), data.c_str()), 0);
  ASSERT_EQ(SendHTTP_chunk(5, writer(), nullptr), 0);
  EXPECT_EQ(Sent(), "GET / HTTP/1.1\r\nA: b\r\n\r\n"
                    "POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nxyz"
                    "1a\r\n" + data + "\r\n"
                    "0\r\n\r\n");
}

TEST(HttpSend, ToAClosedPeerFailsWithoutSignal) {
  Pair pair;
  pair.ends[1].reset();
  const int sender = pair.ends[0].get();
  EXPECT_EQ(SendHTTP("GET / HTTP/1.1\r\n", sender, nullptr), -1);
  EXPECT_EQ(SendHTTP_chunk(3, sender, "abc"), -1);
  EXPECT_EQ(SendHTTP_chunk(0, sender, nullptr), -1);
}

TEST(HttpConnect, LoopbackListenerRefusedPortAndBadNames) {
  Descriptor listening = tlx::win32::OpenSocket(AF_INET, SOCK_STREAM);
  ASSERT_TRUE(listening);
  const int listener = listening.get();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int port = ntohs(address.sin_port);

  EXPECT_TRUE(tlxHttpConnect("127.0.0.1", port));
  listening.reset();
  EXPECT_FALSE(tlxHttpConnect("127.0.0.1", port));

  for (const char* host : {static_cast<const char*>(nullptr), "", " 127.0.0.1", "\t127.0.0.1", "\x01x"}) {
    EXPECT_FALSE(tlxHttpConnect(host, port));
  }
}

}  // namespace

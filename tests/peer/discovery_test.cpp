// The peer's discovery responder, driven the way the player searches: a SEARCH
// datagram on loopback, a NOTIFY answer at the port the SEARCH names.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <map>
#include <sstream>
#include <string>

#include "support/peer_process.h"
#include "win32/sockets.h"

namespace {

class UdpSocket {
 public:
  UdpSocket() : socket_(tlx::win32::OpenSocket(AF_INET, SOCK_DGRAM)), fd_(socket_.get()) {
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any);
  }
  int port() const {
    sockaddr_in self{};
    socklen_t size = sizeof self;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&self), &size);
    return ntohs(self.sin_port);
  }
  void SendTo(int port, const std::string& text) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  // Empty when nothing arrives within the time.
  std::string Receive(int timeoutMs) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return {};
    char buffer[2048];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }

 private:
  const tlx::win32::Descriptor socket_;
  const int fd_;
};

std::string Search(int replyPort) {
  return "SEARCH Telvara_BaseStation\r\nVersion: 1.0.2\r\nModel: QZA-K20US\r\nPort: " + std::to_string(replyPort) +
         " b\r\n\r\n";
}

// First line, then name -> value for every "name: value" line.
std::pair<std::string, std::map<std::string, std::string>> ParseNotify(const std::string& text) {
  std::istringstream in(text);
  std::string first, line;
  std::getline(in, first);
  if (!first.empty() && first.back() == '\r') first.pop_back();
  std::map<std::string, std::string> lines;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    lines[line.substr(0, colon)] = line.substr(line.find_first_not_of(" \t", colon + 1));
  }
  return {first, lines};
}

const char* kScenario = R"({"services": {"discovery": {"lines": [
  ["Version", "2.1"], ["Ravix_Host", "base.example"], ["Ravix_Port", "5021"], ["Identifier", "00A0B0C0D0E0"],
  ["BaseStation_Mode", "NORMAL"], ["Model", "QZA-K20US"], ["Nonce", "0123456789abcdef"]]}}})";

TEST(Discovery, AnswersSearchWithNotifyAtTheNamedPort) {
  tlx::test::PeerProcess peer(kScenario);
  ASSERT_TRUE(peer.running()) << peer.error();
  UdpSocket sender, replies;
  sender.SendTo(peer.port(), Search(replies.port()));

  const auto [first, lines] = ParseNotify(replies.Receive(5000));
  EXPECT_EQ(first, "NOTIFY Telvara_BaseStation");
  EXPECT_EQ(lines.at("Identifier"), "00A0B0C0D0E0");
  EXPECT_EQ(lines.at("Ravix_Port"), "5021");
  EXPECT_EQ(lines.at("Nonce"), "0123456789abcdef");
  EXPECT_EQ(lines.size(), 7u);
  EXPECT_TRUE(sender.Receive(100).empty()) << "the answer must go to the SEARCH's reply port";
}

TEST(Discovery, IgnoresOtherDatagramsAndRecordsThem) {
  tlx::test::PeerProcess peer(kScenario);
  ASSERT_TRUE(peer.running()) << peer.error();
  UdpSocket sender;
  sender.SendTo(peer.port(), "SEARCH Somebody_Else\r\n\r\n");
  EXPECT_TRUE(sender.Receive(300).empty());
  sender.SendTo(peer.port(), "SEARCH Telvara_BaseStation\r\n\r\n");
  EXPECT_FALSE(sender.Receive(5000).empty()) << "without a Port line the answer goes back to the sender";
  const auto record = peer.RecordLines();
  ASSERT_EQ(record.size(), 2u);
  EXPECT_NE(record[0].find("discovery_ignored"), std::string::npos);
  EXPECT_NE(record[1].find("discovery_search"), std::string::npos);
}

TEST(PeerProcess, ReportsAScenarioItCannotRun) {
  tlx::test::PeerProcess peer(R"({"services": {"no_such": {}}})");
  EXPECT_FALSE(peer.running());
  EXPECT_FALSE(peer.error().empty());
}

}  // namespace

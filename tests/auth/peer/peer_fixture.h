// Runs the library against the base-station test peer: scenarios in JSON, the
// peer's record read back, loopback connections.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "auth/identity_fixture.h"
#include "auth/state_fixture.h"
#include "support/peer_process.h"
#include "win32/sockets.h"

namespace tlx::test {

// A JSON string literal of latin-1 text.
inline std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The test identity as the peer knows it.
inline std::string IdentityJson(const char* model = "QZA-K20US") {
  return std::string("{\"model\": ") + Json(model) +
         ", \"ether_mac\": \"001122334455\", \"wlan_mac\": \"66:77:88:99:AA:BB\", \"ident\": \"ABCD1234\", "
         "\"shared_key\": \"" + TestSharedKeyHex() + "\"}";
}

// A scenario with the http service; `options` are further members of its
// options object ("\"nonce\": \"...\", \"answers\": {...}").
inline std::string HttpScenario(const std::string& options = "") {
  return "{\"services\": {\"http\": {\"identities\": [" + IdentityJson() + "]" +
         (options.empty() ? "" : ", " + options) + "}}}";
}

// The value of "key" in one JSON record line: a string (unescaped) or the raw
// text of any other value. Keys are unique enough in the peer's records.
inline std::string JsonValue(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\": ";
  const size_t at = line.find(marker);
  if (at == std::string::npos) return {};
  size_t p = at + marker.size();
  if (line[p] != '"') {
    const size_t end = line.find_first_of(",}", p);
    return line.substr(p, end - p);
  }
  std::string value;
  for (++p; p < line.size() && line[p] != '"'; ++p) {
    if (line[p] != '\\') {
      value += line[p];
      continue;
    }
    const char e = line[++p];
    switch (e) {
      case 'n': value += '\n'; break;
      case 'r': value += '\r'; break;
      case 't': value += '\t'; break;
      case 'u': value += static_cast<char>(std::stoi(line.substr(p + 1, 4), nullptr, 16)); p += 4; break;
      default: value += e; break;
    }
  }
  return value;
}

inline std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

inline int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

// Starts a peer per test (or more, with Start) and registers the test identity.
class PeerTest : public AuthStateTest {
 protected:
  void SetUp() override {
    AuthStateTest::SetUp();
    const TLX_SYSINFO_RECORD identity = TestIdentity();
    ASSERT_TRUE(TlxRavixSysInfoRegister(&identity));
  }

  void Start(const std::string& scenario) {
    peer_ = std::make_unique<PeerProcess>(scenario);
    ASSERT_TRUE(peer_->running()) << peer_->error();
  }

  int port() const { return peer_->port(); }

  tlx::win32::Descriptor Connect() const {
    tlx::win32::Descriptor socket = tlx::win32::OpenSocket(AF_INET, SOCK_STREAM);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return socket;
  }

  // One stream connection authenticated the way the source filter does it.
  HRESULT Authenticate(unsigned char proxyUse = 0) const {
    return TlxRavixAuthentication(Connect().get(), "127.0.0.1", port(), proxyUse);
  }

  // Record lines of one event.
  std::vector<std::string> Events(const std::string& event) const {
    std::vector<std::string> lines;
    for (const std::string& line : peer_->RecordLines()) {
      if (JsonValue(line, "event") == event) lines.push_back(line);
    }
    return lines;
  }

  // The request header blocks the peer received, in order.
  std::vector<std::string> RequestHeads() const {
    std::vector<std::string> heads;
    for (const std::string& line : Events("request")) heads.push_back(FromHex(JsonValue(line, "head_hex")));
    return heads;
  }

  std::unique_ptr<PeerProcess> peer_;
};

}  // namespace tlx::test

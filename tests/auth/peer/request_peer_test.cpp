// Authenticated single requests against the test peer, and curl as a digest
// client nobody here wrote.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "digest.h"
#include "peer_fixture.h"
#include "tlx_authentication.h"
#include "win32/sockets.h"

namespace {

using tlx::test::JsonValue;
using tlx::test::PeerTest;

const std::string kNonce = "fedcba9876543210fedcba9876543210";

// Everything the server sends until it closes or goes quiet for a second.
std::string ReadAnswer(int fd) {
  std::string answer;
  char buffer[4096];
  pollfd entry{fd, POLLIN, 0};
  while (poll(&entry, 1, 1000) == 1) {
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    answer.append(buffer, static_cast<size_t>(got));
    if (answer.find("\r\n\r\nspeed") != std::string::npos) break;
  }
  return answer;
}

using RequestAuthentication = PeerTest;

TEST_F(RequestAuthentication, ChallengeThenTheAuthorisedRequestOnASecondConnection) {
  Start(tlx::test::HttpScenario("\"nonce\": \"" + kNonce + "\", \"speedtest\": {\"body\": \"speed\"}"));
  const tlx::win32::Descriptor connection(
      TlxRavixRequestAuthentication("127.0.0.1", port(), "GET", "/tlx/speedtest?tm=1"));
  ASSERT_TRUE(connection);
  const std::string answer = ReadAnswer(connection.get());
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
  EXPECT_TRUE(answer.ends_with("\r\n\r\nspeed")) << answer;

  const std::string hostLine = "Host: 127.0.0.1:" + std::to_string(port()) + "\r\n";
  const auto heads = RequestHeads();
  const auto auths = Events("auth");
  ASSERT_EQ(heads.size(), 2u);
  ASSERT_EQ(auths.size(), 1u);
  EXPECT_EQ(JsonValue(auths[0], "ok"), "true");
  EXPECT_EQ(heads[0], "GET /tlx/speedtest?tm=1 HTTP/1.1\r\n" + hostLine +
                          "User-Agent: Telvara\r\nProxy-Connection: Keep-Alive\r\nConnection: close\r\n"
                          "Pragma: no-cache\r\nCache-control: no-cache, no-store\r\n\r\n");
  EXPECT_EQ(heads[1], "GET /tlx/speedtest?tm=1 HTTP/1.1\r\n" + hostLine +
                          "Proxy-Connection: Keep-Alive\r\nConnection: Keep-Alive\r\n"
                          "Authorization: Digest username=\"001122334455\", realm=\"Ravix\", uri=\"/tlx/speedtest?tm=1\", "
                          "algorithm=MD5, nonce=\"" + kNonce + "\", qop=\"auth\", nc=00000001, response=\"" +
                          JsonValue(auths[0], "response") + "\"\r\n"
                          "Pragma: no-cache\r\nCache-control: no-cache, no-store\r\n\r\n");
  std::vector<std::string> connections;
  for (const std::string& line : Events("request")) connections.push_back(JsonValue(line, "conn"));
  EXPECT_NE(connections[0], connections[1]);
}

TEST_F(RequestAuthentication, EveryFailureClosesWhatItOpened) {
  struct {
    const char* answers;  // the scenario's "answers.speedtest" list
    const char* uri;
  } const cases[] = {
      {R"([{"do": "reply", "status": 200, "reason": "OK"}])", "/tlx/speedtest?tm=1"},
      {R"([{"do": "reply", "status": 401, "reason": "Unauthorized", "challenge": false}])", "/tlx/speedtest?tm=1"},
      {R"([{"do": "reply", "status": 401, "reason": "Unauthorized", "headers": [["WWW-Authenticate", "Digest realm=\"Ravix\""]], "challenge": false}])",
       "/tlx/speedtest?tm=1"},
      {R"([{"do": "raw", "text": "junk\r\n\r\n"}])", "/tlx/speedtest?tm=1"},
      {R"([{"do": "close"}])", "/tlx/speedtest?tm=1"},
      {R"([{"do": "oversized", "size": 3000}])", "/tlx/speedtest?tm=1"},
      {"[]", "/tlx/speedtest?this-uri-is-longer-than-the-digest-record-holds"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answers);
    Start(tlx::test::HttpScenario(std::string("\"answers\": {\"speedtest\": ") + c.answers + "}"));
    const int before = tlx::test::OpenDescriptors();
    EXPECT_EQ(TlxRavixRequestAuthentication("127.0.0.1", port(), "GET", c.uri), -1);
    EXPECT_EQ(tlx::test::OpenDescriptors(), before);
  }
  const int gone = port();
  peer_.reset();
  const int before = tlx::test::OpenDescriptors();
  EXPECT_EQ(TlxRavixRequestAuthentication("127.0.0.1", gone, "GET", "/tlx/speedtest?tm=1"), -1);
  EXPECT_EQ(TlxRavixRequestAuthentication(nullptr, gone, "GET", "/tlx/speedtest?tm=1"), -1);
  EXPECT_EQ(TlxRavixRequestAuthentication("127.0.0.1", gone, nullptr, "/"), -1);
  EXPECT_EQ(tlx::test::OpenDescriptors(), before);
}

TEST_F(RequestAuthentication, CurlAgreesOnTheDigestResponse) {
  Start(tlx::test::HttpScenario());
  const std::string url = "http://127.0.0.1:" + std::to_string(port()) + "/probe";
  const std::string command = "curl --silent --noproxy '*' --digest --user probe:probe --output /dev/null "
                              "--write-out '%{http_code}' '" + url + "'";
  FILE* curl = popen(command.c_str(), "r");
  ASSERT_NE(curl, nullptr);
  char status[16] = {};
  const size_t got = fread(status, 1, sizeof status - 1, curl);
  const int exit = pclose(curl);
  ASSERT_TRUE(WIFEXITED(exit) && WEXITSTATUS(exit) == 0) << "curl failed: " << exit;
  EXPECT_EQ(std::string(status, got), "200");

  const auto auths = Events("auth");
  ASSERT_EQ(auths.size(), 1u);
  const std::string& p = auths[0];
  EXPECT_EQ(JsonValue(p, "ok"), "true");
  EXPECT_EQ(tlxDigestResponseText(JsonValue(p, "username"), JsonValue(p, "realm"), "probe", JsonValue(p, "nonce"),
                                  JsonValue(p, "nc"), JsonValue(p, "cnonce"), JsonValue(p, "qop"), JsonValue(p, "uri")),
            JsonValue(p, "response"));
}

}  // namespace

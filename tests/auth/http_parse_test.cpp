// Response header parsing and the base station's reason phrases.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "auth/http_client.h"

using namespace tlx::auth;

namespace {

std::string OrNull(const char* text) { return text != nullptr ? text : "(null)"; }

TEST(HttpParseResponse, WellFormedHeaderBlocks) {
  struct {
    const char* text;
    int status;
    const char* reason;
    const char* www;
    const char* server;
    const char* transfer;
    int contentLength;
    const char* body;
  } const cases[] = {
      {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"Ravix\"\r\nContent-Length: 12\r\n\r\nBODY", 401,
       "Unauthorized", " Digest realm=\"Ravix\"", nullptr, nullptr, 12, "BODY"},
      // The value keeps its leading blanks; the reason phrase is the rest of the line.
      {"HTTP/1.1 503 Service Unavailable (in use)\r\nServer:  x;y\r\n\r\n", 503, "Service Unavailable (in use)", nullptr,
       "  x;y", nullptr, 0, ""},
      {"HTTP/1.1 200\r\nTransfer-Encoding: chunked\r\n\r\n", 200, "", nullptr, nullptr, " chunked", 0, ""},
      // A folded header is dropped with its continuation; names are case-sensitive.
      {"HTTP/1.1 200 OK\r\nServer: a\r\n b\r\n\tc\r\nserver: d\r\nWWW-Authenticate:e\r\n\r\n", 200, "OK", "e", nullptr,
       nullptr, 0, ""},
      // The first of repeated headers counts.
      {"HTTP/1.1 200 OK\r\nServer: one\r\nServer: two\r\n\r\n", 200, "OK", nullptr, " one", nullptr, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    tlxHttpResponse response;
    ASSERT_EQ(tlxHttpParseResponse(text.data(), &response), 0);
    EXPECT_EQ(response.status, c.status);
    EXPECT_STREQ(response.version, "HTTP/1.1");
    EXPECT_EQ(OrNull(response.reason), OrNull(c.reason));
    EXPECT_EQ(OrNull(response.wwwAuthenticate), OrNull(c.www));
    EXPECT_EQ(OrNull(response.server), OrNull(c.server));
    EXPECT_EQ(OrNull(response.transferEncoding), OrNull(c.transfer));
    EXPECT_EQ(response.contentLength, c.contentLength);
    EXPECT_EQ(OrNull(response.body), OrNull(c.body));
  }
}

TEST(HttpParseResponse, MalformedHeaderBlocksFail) {
  const char* const cases[] = {
      "",
      "HTTP/1.1 200 OK",                                  // no line end
      "HTTP/1.1\r\n\r\n",                                 // no status
      " 200 OK\r\n\r\n",                                  // no version
      "HTTP/1.1  OK\r\n\r\n",                             // empty status
      "HTTP/1.1 2x0 OK\r\n\r\n",                          // not a number
      "HTTP/1.1 200 OK\r\n: value\r\n\r\n",               // ':' at the line start
      "HTTP/1.1 200 OK\r\nNoColon\r\n\r\n",               // not a header line
      "HTTP/1.1 200 OK\r\nServer: a\r\n",                 // no empty line
      "HTTP/1.1 200 OK\r\nServer: a\r\n b",               // continuation never ends
      "HTTP/1.1 200 OK\r\nContent-Length: -4\r\n\r\n",    // negative length
      "HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n",
      "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n",
  };
  for (const char* c : cases) {
    std::string text = c;
    tlxHttpResponse response;
    EXPECT_EQ(tlxHttpParseResponse(text.data(), &response), -1) << c;
  }
}

TEST(HttpParseResponse, ArbitraryBytesNeverCrash) {
  // Pieces of real headers mixed with binary bytes and NULs, and oversized
  // blocks: every result is 0 or -1 and pointers stay inside the text.
  const std::vector<std::string> pieces = {"HTTP/1.1 ", "200", " OK", "\r\n", "\r", "\n", ":", " ", "\t",
                                           "Server:", "Content-Length: 5", "WWW-Authenticate: Digest nonce=\"",
                                           std::string(1, '\0'), "\xff\xfe", std::string(3000, 'h'),
                                           std::string(10000, 'v')};
  std::mt19937 random(1234);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int count = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    tlxHttpResponse response;
    const int result = tlxHttpParseResponse(buffer.data(), &response);
    ASSERT_TRUE(result == 0 || result == -1);
    if (result == 0) {
      ASSERT_GE(response.body, buffer.data());
      ASSERT_LT(response.body, buffer.data() + buffer.size());
    }
  }
}

TEST(HttpReasonCode, EveryPhraseAndNearMisses) {
  struct {
    const char* reason;
    int code;
  } const cases[] = {
      {"Unauthorized", -2},
      {"Incompatible", -6},
      {"Service Unavailable (in use)", -17},
      {"Service Unavailable (connection mode)", -18},
      {"Service Unavailable (setting mode)", -19},
      {"Service Unavailable (registration mode)", -20},
      {"Service Unavailable (disabled)", -16},
      {"Service Unavailable (version up)", -15},
      {"Service Unavailable", -14},
      {"unauthorized", -1},
      {"Unauthorized ", -1},
      {"Service Unavailable ", -1},
      {"Service Unavailable(in use)", -1},
      {"Service Unavailable (In Use)", -1},
      {"Service Unavailable (in use) ", -1},
      {"", -1},
      {nullptr, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(tlxHttpReasonCode(c.reason), c.code) << OrNull(c.reason);
}

}  // namespace

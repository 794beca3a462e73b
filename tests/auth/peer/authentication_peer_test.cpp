// Stream-connection authentication against the test peer: the message cycle
// byte for byte, what each answer of the base station turns into, the base
// spec, the stream key, and callers on several threads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "auth/http_client.h"
#include "peer_fixture.h"
#include "auth/registration.h"
#include "auth/tlx_authentication.h"

using namespace tlx::auth;

namespace {

using tlx::test::JsonValue;
using tlx::test::PeerTest;

const std::string kNonce = "0123456789abcdef0123456789abcdef";
const std::string kClientSpec =
    "TLXStreamingClient, model=QZA-K20US, modeltype=5, generation=3, support=1/2/3, scaling=1";

class Authentication : public PeerTest {
 protected:
  std::string ChallengeRequest(int n, const std::string& path) const {
    return "GET " + path + std::to_string(n) + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port()) +
           "\r\nUser-Agent: TLXStreamingClient\r\nProxy-Connection: Keep-Alive\r\nConnection: Keep-Alive\r\n"
           "Pragma: no-cache\r\nCache-control: no-cache, no-store\r\n\r\n";
  }
  // The authorised request the peer verified in `auth` (a record line).
  std::string AuthorisedRequest(int n, const std::string& nc, const std::string& auth) const {
    return "GET /ravix/message" + std::to_string(n) + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port()) +
           "\r\nProxy-Connection: Keep-Alive\r\nConnection: Keep-Alive\r\n"
           "Authorization: Digest username=\"001122334455\", realm=\"Ravix\", uri=\"/ravix/message\", algorithm=MD5, "
           "nonce=\"" + kNonce + "\", cnonce=\"" + JsonValue(auth, "cnonce") + "\", qop=\"auth\", nc=" + nc +
           ", response=\"" + JsonValue(auth, "response") + "\"\r\n"
           "Pragma: no-cache\r\nCache-control: no-cache, no-store\r\n"
           "User-Agent: " + kClientSpec + "\r\n\r\n";
  }
};

TEST_F(Authentication, FourMessagesThenAChallengeAgain) {
  Start(tlx::test::HttpScenario("\"nonce\": \"" + kNonce + "\""));
  for (int i = 0; i < 5; ++i) ASSERT_EQ(Authenticate(), S_OK) << "authentication " << i;

  const auto heads = RequestHeads();
  const auto auths = Events("auth");
  ASSERT_EQ(heads.size(), 7u);
  ASSERT_EQ(auths.size(), 5u);
  for (const std::string& auth : auths) EXPECT_EQ(JsonValue(auth, "ok"), "true") << auth;
  EXPECT_EQ(heads[0], ChallengeRequest(0, "/ravix/message"));
  EXPECT_EQ(heads[1], AuthorisedRequest(0, "00000001", auths[0]));
  EXPECT_EQ(heads[2], AuthorisedRequest(1, "00000002", auths[1]));
  EXPECT_EQ(heads[3], AuthorisedRequest(2, "00000003", auths[2]));
  EXPECT_EQ(heads[4], AuthorisedRequest(3, "00000004", auths[3]));
  EXPECT_EQ(heads[5], ChallengeRequest(0, "/ravix/message"));
  EXPECT_EQ(heads[6], AuthorisedRequest(0, "00000001", auths[4]));
}

TEST_F(Authentication, AFailureStartsTheNextAtMessage0) {
  Start(tlx::test::HttpScenario(
      R"("answers": {"ravix": [{"do": "auto"}, {"do": "auto"},
                               {"do": "reply", "status": 401, "reason": "Unauthorized", "challenge": false}]})"));
  EXPECT_EQ(Authenticate(), S_OK);
  EXPECT_EQ(Authenticate(), TLX_E_AUTH_UNAUTHORIZED);
  EXPECT_EQ(Authenticate(), S_OK);
  std::vector<std::string> targets;
  for (const std::string& line : Events("request")) targets.push_back(JsonValue(line, "target"));
  EXPECT_EQ(targets, (std::vector<std::string>{"/ravix/message0", "/ravix/message0", "/ravix/message1",
                                                "/ravix/message0", "/ravix/message0"}));
}

TEST_F(Authentication, ProxyFormPath) {
  Start(tlx::test::HttpScenario());
  ASSERT_EQ(Authenticate(1), S_OK);
  ASSERT_EQ(Authenticate(1), S_OK);
  const std::string prefix = "127.0.0.1:" + std::to_string(port()) + "/ravix/message";
  const auto heads = RequestHeads();
  ASSERT_EQ(heads.size(), 3u);
  EXPECT_EQ(heads[0], ChallengeRequest(0, prefix));
  EXPECT_TRUE(heads[2].starts_with("GET " + prefix + "1 HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port()) + "\r\n"))
      << heads[2];
  for (const std::string& auth : Events("auth")) {
    EXPECT_EQ(JsonValue(auth, "ok"), "true");
    EXPECT_EQ(JsonValue(auth, "proxy_form"), "true");
    EXPECT_EQ(JsonValue(auth, "uri"), "/ravix/message");
  }
}

TEST_F(Authentication, ServerHeaderSetsTheBaseSpecAndItsAbsenceClearsIt) {
  Start(tlx::test::HttpScenario());
  ASSERT_EQ(Authenticate(), S_OK);
  EXPECT_EQ(TlxRavixGetBaseType(), 3);
  EXPECT_EQ(TlxRavixGetCodecType(), 0x06u);
  EXPECT_EQ(TlxRavixGetScalingMode(), 0);
  EXPECT_STREQ(TlxRavixGetBaseId(), "peer");
  // Messages 1 to 3 leave it alone.
  ASSERT_EQ(Authenticate(), S_OK);
  EXPECT_STREQ(TlxRavixGetBaseId(), "peer");

  TlxRavixAuthInit();
  Start(tlx::test::HttpScenario("\"server\": \"Ravix; TLXStreamingServer, support=1, id=second\""));
  ASSERT_EQ(Authenticate(), S_OK);
  EXPECT_EQ(TlxRavixGetBaseType(), 1);
  EXPECT_STREQ(TlxRavixGetBaseId(), "second");

  TlxRavixAuthInit();
  Start(tlx::test::HttpScenario("\"server\": null"));
  ASSERT_EQ(Authenticate(), S_OK);
  EXPECT_EQ(TlxRavixGetBaseType(), 0);
  EXPECT_EQ(TlxRavixGetCodecType(), 0u);
  EXPECT_STREQ(TlxRavixGetBaseId(), "");
}

TEST_F(Authentication, StreamKeyIsTheOneThePeerDerived) {
  Start(tlx::test::HttpScenario());
  char key[33];
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(Authenticate(), S_OK);
    const auto keys = Events("stream_key");
    ASSERT_EQ(keys.size(), i < 4 ? 1u : 2u);
    ASSERT_EQ(TlxRavixGetAKS(key), 0);
    EXPECT_EQ(std::string(key), JsonValue(keys.back(), "key")) << "after authentication " << i;
  }
  const auto keys = Events("stream_key");
  EXPECT_NE(JsonValue(keys[0], "key"), JsonValue(keys[1], "key"));
}

TEST_F(Authentication, ConnectionsInOneSecondSendDifferentCnonces) {
  Start(tlx::test::HttpScenario());
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Authenticate(), S_OK);
  TlxRavixAuthInit();
  ASSERT_EQ(Authenticate(), S_OK);
  ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  const auto auths = Events("auth");
  ASSERT_EQ(auths.size(), 2u);
  EXPECT_NE(JsonValue(auths[0], "cnonce"), JsonValue(auths[1], "cnonce"));
}

TEST_F(Authentication, CallersOnOtherThreadsSeeWholeValues) {
  Start(tlx::test::HttpScenario());
  tlxRegValueSet("TUNER", "1");
  tlxRegValueSet("TUNER", "2");
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done.load()) {
      char key[33];
      if (TlxRavixGetAKS(key) == 0) {
        EXPECT_EQ(std::strlen(key), 32u);
        EXPECT_EQ(std::strspn(key, "0123456789abcdef"), 32u);
      }
      const int type = TlxRavixGetBaseType();
      EXPECT_TRUE(type == 0 || type == 3) << type;
      const std::string id = TlxRavixGetBaseId();
      EXPECT_TRUE(id.empty() || id == "peer") << id;
      EXPECT_STREQ(TlxRavixGetRegValue("TUNER"), "1\x01" "2");
    }
  });
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(Authenticate(), S_OK);
    if (i % 5 == 4) TlxRavixAuthInit();
  }
  done = true;
  reader.join();
}

// What each answer of the base station to an authentication turns into.
struct AnswerCase {
  const char* name;
  std::string answers;   // the scenario's "answers.ravix" list
  HRESULT result;
  const char* directly;  // the same bytes for the parser, when the answer is raw
};

void PrintTo(const AnswerCase& c, std::ostream* out) { *out << c.name; }

class AuthenticationAnswer : public PeerTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AuthenticationAnswer, MapsToItsResult) {
  const AnswerCase& c = GetParam();
  Start(tlx::test::HttpScenario(std::string("\"answers\": {\"ravix\": ") + c.answers + "}"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Authenticate(), c.result);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  if (c.directly != nullptr) {
    std::string text = c.directly;
    tlxHttpResponse response;
    EXPECT_EQ(tlxHttpParseResponse(text.data(), &response), -1);
  }
  // Whatever happened, the next connection starts with a challenge.
  if (c.result != S_OK) {
    EXPECT_EQ(Authenticate(), S_OK);
    EXPECT_EQ(JsonValue(Events("request").back(), "target"), "/ravix/message0");
  }
}

#define BUSY(reason) R"([{"do": "reply", "status": 503, "reason": ")" reason R"("}])"
#define SECOND(answer) R"([{"do": "auto"}, )" answer "]"

const AnswerCase kAnswerCases[] = {
    {"InUse", BUSY("Service Unavailable (in use)"), TLX_E_AUTH_IN_USE, nullptr},
    {"ConnectionMode", BUSY("Service Unavailable (connection mode)"), TLX_E_AUTH_CONNECTION_MODE, nullptr},
    {"BareBusy", BUSY("Service Unavailable"), TLX_E_AUTH_CONNECTION_MODE, nullptr},
    {"SettingMode", BUSY("Service Unavailable (setting mode)"), TLX_E_AUTH_SETTING_MODE, nullptr},
    {"RegistrationMode", BUSY("Service Unavailable (registration mode)"), TLX_E_AUTH_REGISTRATION_MODE, nullptr},
    {"Disabled", BUSY("Service Unavailable (disabled)"), TLX_E_AUTH_DISABLED, nullptr},
    {"VersionUp", BUSY("Service Unavailable (version up)"), TLX_E_AUTH_FAILED, nullptr},
    {"OtherBusyReason", BUSY("Service Unavailable (lunch)"), TLX_E_AUTH_FAILED, nullptr},
    {"BusyOnTheAuthorisedRequest",
     SECOND(R"j({"do": "reply", "status": 503, "reason": "Service Unavailable (in use)"})j"), TLX_E_AUTH_IN_USE, nullptr},
    {"Unauthorized", SECOND(R"({"do": "reply", "status": 401, "reason": "Unauthorized"})"), TLX_E_AUTH_UNAUTHORIZED,
     nullptr},
    {"Incompatible", SECOND(R"({"do": "reply", "status": 401, "reason": "Incompatible"})"), TLX_E_AUTH_INCOMPATIBLE,
     nullptr},
    {"OtherRefusal", SECOND(R"({"do": "reply", "status": 401, "reason": "Go away"})"), TLX_E_AUTH_FAILED, nullptr},
    {"NotFoundOnTheAuthorisedRequest", SECOND(R"({"do": "reply", "status": 404, "reason": "Not Found"})"),
     TLX_E_AUTH_FAILED, nullptr},
    {"OkWithoutChallenge", R"([{"do": "reply", "status": 200, "reason": "OK"}])", TLX_E_AUTH_NO_CHALLENGE, nullptr},
    {"NotFound", R"([{"do": "reply", "status": 404, "reason": "Not Found"}])", TLX_E_AUTH_NO_CHALLENGE, nullptr},
    {"ChallengeWithoutParameters",
     R"([{"do": "reply", "status": 401, "reason": "Unauthorized", "challenge": false}])", TLX_E_AUTH_NO_CHALLENGE,
     nullptr},
    {"Unparsable", R"([{"do": "raw", "text": "garbage\r\n\r\n"}])", TLX_E_AUTH_BAD_RESPONSE, "garbage\r\n\r\n"},
    {"UnparsableSecond", SECOND(R"({"do": "raw", "text": "HTTP/1.1 2OO OK\r\n\r\n"})"), TLX_E_AUTH_BAD_RESPONSE,
     "HTTP/1.1 2OO OK\r\n\r\n"},
    {"Binary", R"([{"do": "raw", "hex": "00ff8001020d0a0d0a"}])", TLX_E_AUTH_BAD_RESPONSE, nullptr},
    {"OversizedHeaderBlock", R"([{"do": "oversized", "size": 3000}])", TLX_E_AUTH_BAD_RESPONSE, nullptr},
    {"HugeHeaderValue",
     R"([{"do": "reply", "status": 401, "reason": "Unauthorized", "headers": [["X-Long", ")" +
         std::string(10000, 'v') + R"("]]}])",
     TLX_E_AUTH_BAD_RESPONSE, nullptr},
    {"Truncated", R"([{"do": "raw", "text": "HTTP/1.1 401 Unauth", "close": true}])", TLX_E_AUTH_FAILED, nullptr},
    {"Closed", R"([{"do": "close"}])", TLX_E_AUTH_FAILED, nullptr},
    {"ClosedBeforeTheAuthorisedAnswer", SECOND(R"({"do": "close"})"), TLX_E_AUTH_FAILED, nullptr},
    {"EndlessChunks", R"([{"do": "endless_chunks"}])", TLX_E_AUTH_NO_CHALLENGE, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Answers, AuthenticationAnswer, ::testing::ValuesIn(kAnswerCases),
                         [](const ::testing::TestParamInfo<AnswerCase>& info) { return info.param.name; });

}  // namespace

// Registration against the test peer: both ways of proving the code, the
// reply texts and statuses, the host rules and the base data that comes back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <string>

#include "auth/auth_state.h"
#include "peer_fixture.h"
#include "auth/tlx_authentication.h"

using namespace tlx::auth;

namespace {

using tlx::test::Json;
using tlx::test::JsonValue;
using tlx::test::PeerTest;

const char kCode[] = "8372";

class Registration : public PeerTest {
 protected:
  // A peer that knows kCode, with further registration options.
  void StartWith(const std::string& registration = "", const std::string& more = "") {
    Start(tlx::test::HttpScenario("\"registration\": {\"code\": \"" + std::string(kCode) + "\"" +
                                  (registration.empty() ? "" : ", " + registration) + "}" +
                                  (more.empty() ? "" : ", " + more)));
  }
  HRESULT Register(const char* code = kCode, int easy = 0, const char* host = "127.0.0.1") const {
    return TlxRavixRegistration(code, "Den", host, port(), 0, easy);
  }
  std::string ExpectedPortableInfo() const {
    return "REGISTRATION_VER: 1.0.1.1\nACCEPTABLE_MODEL: *\nALIAS: Den\nETHER_MAC_ADDR_P: 001122334455\n"
           "WLAN_MAC_ADDR_P: 66778899AABB\nINFO_SERIAL_P: ABCD1234\nINFO_MODEL_P: QZA-K20US\n"
           "TLX_SHRD_KEY_1: " + tlx::test::TestSharedKeyHex() + "\n";
  }
};

TEST_F(Registration, WithTheTypedCode) {
  StartWith();
  ASSERT_EQ(Register(), 0);
  const std::string hostLine = "Host: 127.0.0.1:" + std::to_string(port()) + "\r\n";
  const auto heads = RequestHeads();
  const auto auths = Events("auth");
  ASSERT_EQ(heads.size(), 2u);
  ASSERT_EQ(auths.size(), 1u);
  EXPECT_EQ(JsonValue(auths[0], "ok"), "true");
  EXPECT_EQ(heads[0], "GET /tlx/registration HTTP/1.1\r\n" + hostLine +
                          "User-Agent: TLXStreamingClient\r\nProxy-Connection: Keep-Alive\r\nConnection: Keep-Alive\r\n"
                          "Pragma: no-cache\r\nCache-control: no-cache, no-store\r\n\r\n");
  EXPECT_EQ(heads[1], "POST /tlx/registration HTTP/1.1\r\n" + hostLine +
                          "User-Agent: TLXStreamingClient\r\nProxy-Connection: Keep-Alive\r\nConnection: Keep-Alive\r\n"
                          "Authorization: Digest username=\"tlx_registration\", realm=\"Ravix\", "
                          "uri=\"/tlx/registration\", algorithm=MD5, nonce=\"" + JsonValue(auths[0], "nonce") +
                          "\", cnonce=\"" + JsonValue(auths[0], "cnonce") + "\", qop=\"auth\", nc=00000001, "
                          "response=\"" + JsonValue(auths[0], "response") + "\"\r\n"
                          "Pragma: no-cache\r\nCache-control: no-cache, no-store\r\nTransfer-Encoding: chunked\r\n\r\n");
  const auto registrations = Events("registration");
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(JsonValue(registrations[0], "text"), ExpectedPortableInfo());
  EXPECT_EQ(JsonValue(registrations[0], "problems"), "[]");
  // The sample base data: only the model is left over for the value map.
  EXPECT_STREQ(TlxRavixGetRegValue("INFO_MODEL_B"), "HX-R10");
  EXPECT_EQ(tlxAuthState().regValues.size(), 1u);

  EXPECT_EQ(Register("1111"), -6);
  EXPECT_STREQ(TlxRavixGetRegValue("INFO_MODEL_B"), "");
}

TEST_F(Registration, EasyWithThePasswordOfTheAnnouncedNonce) {
  StartWith();
  const auto announced = Events("easy_nonce");
  ASSERT_EQ(announced.size(), 1u);
  char password[33];
  ASSERT_EQ(TlxRavixMakePassword(password, sizeof password, JsonValue(announced[0], "nonce").c_str()), 0);
  EXPECT_EQ(std::string(password), JsonValue(announced[0], "password"));
  ASSERT_EQ(Register(password, 1), 0);
  const auto auths = Events("auth");
  ASSERT_EQ(auths.size(), 1u);
  EXPECT_EQ(JsonValue(auths[0], "username"), "tlx_easy_registration");
  EXPECT_EQ(JsonValue(auths[0], "ok"), "true");
  EXPECT_EQ(JsonValue(Events("registration")[0], "problems"), "[]");
  // The typed code is not the easy password.
  EXPECT_EQ(Register(kCode, 1), -6);
}

TEST_F(Registration, BaseDataComesBackWhateverTheFraming) {
  const std::string baseData =
      "STATUS: 1\nREGISTRATION_VER: 1.0.1.1\nALIAS: hall\nETHER_MAC_ADDR_B: 0A1B2C3D4E5F\nINFO_SERIAL_B: PEER0001\n"
      "INFO_MODEL_B: HX-R10\nBASE_NAME: Hall station\nTUNER: 1\nTUNER: 2\nALIAS: again\n";
  for (const char* framing : {"chunked", "content_length"}) {
    SCOPED_TRACE(framing);
    StartWith("\"framing\": \"" + std::string(framing) + "\", \"base_data\": " + Json(baseData));
    ASSERT_EQ(Register(), 0);
    EXPECT_STREQ(TlxRavixGetRegValue("BASE_NAME"), "Hall station");
    EXPECT_STREQ(TlxRavixGetRegValue("TUNER"), "1\x01" "2");
    EXPECT_STREQ(TlxRavixGetRegValue("ALIAS"), "again");
    EXPECT_STREQ(TlxRavixGetRegValue("INFO_MODEL_B"), "HX-R10");
    EXPECT_STREQ(TlxRavixGetRegValue("STATUS"), "");
    EXPECT_EQ(tlxAuthState().regValues.size(), 4u);
  }
}

TEST_F(Registration, BaseDataOfWholeBlocksParsesCleanly) {
  const std::string baseData = "STATUS: 1\nINFO_MODEL_B: HX-R10\nK: 0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHI\n";
  ASSERT_EQ(baseData.size() % 16, 0u);
  StartWith("\"base_data\": " + Json(baseData));
  ASSERT_EQ(Register(), 0);
  EXPECT_STREQ(TlxRavixGetRegValue("K"), "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHI");
  EXPECT_EQ(tlxAuthState().regValues.size(), 2u);
}

TEST_F(Registration, ContentLengthBeyondTheBufferFails) {
  StartWith("\"framing\": \"content_length\", \"base_data\": " + Json("BIG: " + std::string(2990, 'b') + "\n"));
  EXPECT_EQ(Register(), -3);
  EXPECT_EQ(tlxAuthState().regValues.size(), 0u);
}

TEST_F(Registration, HostRules) {
  StartWith();
  EXPECT_EQ(TlxRavixRegistration(kCode, "Den", nullptr, port(), 0, 0), E_POINTER);
  EXPECT_EQ(Register(kCode, 0, ""), TLX_E_INVALID_HOST);
  EXPECT_EQ(Register(kCode, 0, std::string(257, 'h').c_str()), TLX_E_INVALID_HOST);
  EXPECT_EQ(Register(kCode, 0, " x"), -13);
  EXPECT_EQ(Register(kCode, 0, "\tx"), -13);
  EXPECT_TRUE(RequestHeads().empty());

  // 127.0.0.1 written in 200 characters: long hosts go through whole.
  const std::string longHost = "127.0.0." + std::string(191, '0') + "1";
  ASSERT_EQ(longHost.size(), 200u);
  EXPECT_EQ(Register(kCode, 0, longHost.c_str()), 0);
  ASSERT_FALSE(RequestHeads().empty());
  EXPECT_NE(RequestHeads()[0].find("Host: " + longHost + ":" + std::to_string(port()) + "\r\n"), std::string::npos);

  // Nothing listens on the port of a peer that has gone.
  const int gone = port();
  peer_.reset();
  EXPECT_EQ(TlxRavixRegistration(kCode, "Den", "127.0.0.1", gone, 0, 0), -5);
}

struct ReplyCase {
  std::string reply;
  int result;
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
  *out << '"' << c.reply.substr(0, c.reply.find('\n')) << (c.reply.ends_with('\n') ? "\\n" : "") << '"';
}

class RegistrationReply : public Registration, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(RegistrationReply, GivesItsCode) {
  StartWith("\"reply\": " + Json(GetParam().reply));
  EXPECT_EQ(Register(), GetParam().result);
}

std::vector<ReplyCase> ReplyCases() {
  const ReplyCase texts[] = {
      {"Registration OK\n", 0},
      {"Registration NG: duplicated\n", -10},
      {"Registration NG: bad request\n", -2},
      {"Registration NG: write failed\n", -11},
      {"Registration NG: exceeds maximum monitors\n", -9},
      {"Registration NG: incompatible version\n", -8},
      {"Registration NG: incompatible model\n", -7},
      {"Registration NG: registration disabled\n", -12},
  };
  std::vector<ReplyCase> cases;
  for (const ReplyCase& c : texts) {
    cases.push_back(c);
    cases.push_back({c.reply.substr(0, c.reply.size() - 1), c.result});
  }
  cases.push_back({"Registration NG: something else\n", -3});
  cases.push_back({"registration ok\n", -3});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Replies, RegistrationReply, ::testing::ValuesIn(ReplyCases()),
                         [](const ::testing::TestParamInfo<ReplyCase>& info) {
                           std::string name;
                           for (const char c : info.param.reply) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name + (info.param.reply.ends_with('\n') ? "" : "WithoutLineBreak");
                         });

struct StatusCase {
  const char* name;
  const char* answers;  // the scenario's "answers.registration" list
  int result;
};

void PrintTo(const StatusCase& c, std::ostream* out) { *out << c.name; }

class RegistrationStatus : public Registration, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(RegistrationStatus, GivesItsCode) {
  StartWith("", std::string("\"answers\": {\"registration\": ") + GetParam().answers + "}");
  EXPECT_EQ(Register(), GetParam().result);
}

#define ON_GET(answer) "[" answer "]"
#define ON_POST(answer) R"([{"do": "auto"}, )" answer "]"

const StatusCase kStatusCases[] = {
    {"GetDisabled", ON_GET(R"j({"do": "reply", "status": 503, "reason": "Service Unavailable (disabled)"})j"), -12},
    {"GetBareBusy", ON_GET(R"({"do": "reply", "status": 503, "reason": "Service Unavailable"})"), -12},
    {"GetVersionUp", ON_GET(R"j({"do": "reply", "status": 503, "reason": "Service Unavailable (version up)"})j"), -1},
    {"GetInUse", ON_GET(R"j({"do": "reply", "status": 503, "reason": "Service Unavailable (in use)"})j"), -1},
    {"GetNotFound", ON_GET(R"({"do": "reply", "status": 404, "reason": "Not Found"})"), -1},
    {"GetOk", ON_GET(R"({"do": "reply", "status": 200, "reason": "OK"})"), -1},
    {"GetChallengeWithoutParameters",
     ON_GET(R"({"do": "reply", "status": 401, "reason": "Unauthorized", "challenge": false})"), -6},
    {"GetUnparsable", ON_GET(R"({"do": "raw", "text": "nonsense\r\n\r\n"})"), -1},
    {"GetClosed", ON_GET(R"({"do": "close"})"), -4},
    {"PostUnauthorized", ON_POST(R"({"do": "reply", "status": 401, "reason": "Unauthorized"})"), -6},
    {"PostServerError", ON_POST(R"({"do": "reply", "status": 500, "reason": "Internal"})"), -1},
    {"PostEmptyBody", ON_POST(R"({"do": "reply", "status": 200, "reason": "OK"})"), -3},
    {"PostUnparsable", ON_POST(R"({"do": "raw", "hex": "ff00ff0d0a0d0a"})"), -3},
    {"PostOversizedHeaderBlock", ON_POST(R"({"do": "oversized", "size": 3000})"), -3},
    {"PostEndlessChunks", ON_POST(R"({"do": "endless_chunks"})"), -3},
    {"PostBadChunk", ON_POST(R"({"do": "raw", "text": "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nxyz\r\n"})"),
     -3},
    {"PostTruncatedBody",
     ON_POST(R"({"do": "raw", "text": "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nRegistration OK\n", "close": true})"),
     -3},
    {"PostClosed", ON_POST(R"({"do": "close"})"), -3},
};

INSTANTIATE_TEST_SUITE_P(Statuses, RegistrationStatus, ::testing::ValuesIn(kStatusCases),
                         [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

}  // namespace

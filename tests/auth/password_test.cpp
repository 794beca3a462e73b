// The easy-registration password and the stream key against values worked
// out independently of this code.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "identity_fixture.h"
#include "state_fixture.h"
#include "auth/tlx_authentication.h"

namespace {

using Password = tlx::test::AuthStateTest;

TEST_F(Password, MixedDigestOfTheNonce) {
  struct {
    const char* nonce;
    const char* password;
  } const cases[] = {
      {"a", "517f66908b366c8355ecf6d049a7f419"},
      {"0123456789abcdef", "de0230ba8bd88ee4f929ea1ec760c0ad"},
      {"5f3a9c0e1b7d2468ace013579bdf2468", "0da5cce3a086dd388cfa280b6bc0fbef"},
  };
  for (const auto& c : cases) {
    char out[33];
    EXPECT_EQ(TlxRavixMakePassword(out, sizeof out, c.nonce), 0);
    EXPECT_STREQ(out, c.password) << c.nonce;
  }
}

TEST_F(Password, OutputLengths) {
  const std::string full = "517f66908b366c8355ecf6d049a7f419";
  struct {
    int outLen;
    const char* nonce;
    int result;
    std::string written;  // the bytes out[0, max(outLen, 0)) hold afterwards
  } const cases[] = {
      {9, "a", 0, full.substr(0, 8) + '\0'},
      {10, "a", 0, full.substr(0, 9) + '\0'},
      {33, "a", 0, full + '\0'},
      {64, "a", 0, full + std::string(32, '\0')},
      {1, "a", 0, std::string(1, '\0')},
      {0, "a", -1, ""},
      {-5, "a", -1, ""},
      {16, nullptr, -1, std::string(16, '\0')},
      {16, "", -1, std::string(16, '\0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outLen);
    char out[80];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(TlxRavixMakePassword(out, c.outLen, c.nonce), c.result);
    const size_t written = c.written.size();
    EXPECT_EQ(std::string(out, written), c.written);
    EXPECT_EQ(std::string(out + written, sizeof out - written), std::string(sizeof out - written, '#'));
  }
}

TEST_F(Password, StreamKeyFromTheSavedNonceAndTheSharedKey) {
  const TLX_SYSINFO_RECORD identity = tlx::test::TestIdentity();
  ASSERT_TRUE(TlxRavixSysInfoRegister(&identity));
  char key[33];
  ASSERT_EQ(TlxRavixGetAKS(key), 0);
  EXPECT_STREQ(key, "32b2ce0910c9ba9b4d284a4d3ebbd5ed");

  std::strcpy(tlx::auth::tlxAuthState().serverNonce, "abc");
  ASSERT_EQ(TlxRavixGetAKS(key), 0);
  EXPECT_STREQ(key, "0f867be06e4738dcdeaadfa0d24f34e5");
  EXPECT_EQ(TlxRavixAuthInit(), 0);
  ASSERT_EQ(TlxRavixGetAKS(key), 0);
  EXPECT_STREQ(key, "0f867be06e4738dcdeaadfa0d24f34e5");
}

}  // namespace

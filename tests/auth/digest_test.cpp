// Digest authentication: the published response vectors, challenge parsing
// and the Authorization parameters.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "auth/digest.h"

using namespace tlx::auth;

namespace {

struct ResponseCase {
  const char* name;
  const char* username;
  const char* realm;
  const char* password;
  const char* nonce;
  const char* nc;
  const char* cnonce;
  const char* qop;
  const char* uri;
  const char* response;
};

const ResponseCase kRfc2617 = {"RFC 2617 3.5",      "Mufasa",   "testrealm@host.com",
                               "Circle Of Life",    "dcd98b7102dd2f0e8b11d0f600bfb0c093",
                               "00000001",          "0a4f113b", "auth",
                               "/dir/index.html",   "6629fae49393a05397450978507c4ef1"};
const ResponseCase kRfc7616 = {"RFC 7616 3.9.1",
                               "Mufasa",
                               "http-auth@example.org",
                               "Circle of Life",
                               "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v",
                               "00000001",
                               "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ",
                               "auth",
                               "/dir/index.html",
                               "8ca523f5e9506fed4657c9700eebdbec"};

TEST(DigestResponse, PublishedVectors) {
  for (const ResponseCase* c : {&kRfc2617, &kRfc7616}) {
    EXPECT_EQ(tlxDigestResponseText(c->username, c->realm, c->password, c->nonce, c->nc, c->cnonce, c->qop, c->uri),
              c->response)
        << c->name;
  }
}

TEST(DigestResponse, RecordFormCutsAtTheFieldCapacities) {
  // Both vectors have a nonce or cnonce longer than the record holds: the
  // record keeps what fits and computes exactly over that.
  for (const ResponseCase* c : {&kRfc2617, &kRfc7616}) {
    tlxDigestRecord record;
    std::memset(&record, 0x5A, sizeof record);
    tlxDigestSetField(record.username, sizeof record.username, c->username);
    tlxDigestSetField(record.realm, sizeof record.realm, c->realm);
    tlxDigestSetField(record.password, sizeof record.password, c->password);
    tlxDigestSetField(record.nonce, sizeof record.nonce, c->nonce);
    tlxDigestSetField(record.nc, sizeof record.nc, c->nc);
    tlxDigestSetField(record.cnonce, sizeof record.cnonce, c->cnonce);
    tlxDigestSetField(record.qop, sizeof record.qop, c->qop);
    tlxDigestSetField(record.uri, sizeof record.uri, c->uri);
    EXPECT_EQ(std::strlen(record.nonce), std::min<size_t>(std::strlen(c->nonce), 32));
    EXPECT_EQ(std::strlen(record.cnonce), std::min<size_t>(std::strlen(c->cnonce), 32));
    tlxDigestResponse(&record);
    EXPECT_EQ(std::string(record.response),
              tlxDigestResponseText(c->username, c->realm, c->password, std::string(c->nonce).substr(0, 32), c->nc,
                                    std::string(c->cnonce).substr(0, 32), c->qop, c->uri))
        << c->name;
    EXPECT_EQ(std::strlen(record.response), 32u);
  }
}

TEST(DigestParse, ChallengeParameters) {
  struct {
    const char* header;
    const char* realm;
    const char* nonce;
    const char* cnonce;
    const char* qop;
  } const cases[] = {
      {R"(Digest realm="Ravix", nonce="0123456789abcdef0123456789abcdef", algorithm=MD5, domain="/ravix/", qop="auth")",
       "Ravix", "0123456789abcdef0123456789abcdef", "", "auth"},
      // The nonce, not the cnonce standing before it.
      {R"(Digest cnonce="c1c1", nonce="n2n2", realm="R")", "R", "n2n2", "c1c1", ""},
      {R"(Digest cnonce="only")", "", "", "only", ""},
      // An unquoted value ends at the comma, blank, tab or line end.
      {"Digest nonce=abc,realm=R qop=auth\tx", "R", "abc", "", "auth"},
      {"Digest realm='Single Quoted', nonce='n\"1'", "Single Quoted", "n\"1", "", ""},
      // A realm of 40 characters keeps 31; a nonce of 40 keeps 32.
      {R"(Digest realm="0123456789012345678901234567890123456789", nonce="0123456789abcdef0123456789abcdefXXXXXXXX")",
       "0123456789012345678901234567890", "0123456789abcdef0123456789abcdef", "", ""},
      // A quote that is never closed gives no value.
      {R"(Digest nonce="abc, realm=R)", "R", "", "", ""},
      {"", "", "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    tlxDigestRecord record;
    std::memset(&record, 0x5A, sizeof record);
    ASSERT_EQ(tlxDigestParse(&record, c.header), 1);
    EXPECT_STREQ(record.realm, c.realm);
    EXPECT_STREQ(record.nonce, c.nonce);
    EXPECT_STREQ(record.cnonce, c.cnonce);
    EXPECT_STREQ(record.qop, c.qop);
    EXPECT_STREQ(record.username, "");
  }
  tlxDigestRecord record;
  EXPECT_EQ(tlxDigestParse(&record, nullptr), 0);
  EXPECT_STREQ(record.nonce, "");
}

TEST(DigestAuthorization, ParameterOrderWithAndWithoutCnonce) {
  tlxDigestRecord record{};
  tlxDigestSetField(record.username, sizeof record.username, "U");
  tlxDigestSetField(record.realm, sizeof record.realm, "R");
  tlxDigestSetField(record.uri, sizeof record.uri, "/ravix/message");
  tlxDigestSetField(record.algorithm, sizeof record.algorithm, "ignored");
  tlxDigestSetField(record.nonce, sizeof record.nonce, "N");
  tlxDigestSetField(record.cnonce, sizeof record.cnonce, "C");
  tlxDigestSetField(record.qop, sizeof record.qop, "auth");
  tlxDigestSetField(record.nc, sizeof record.nc, "00000002");
  tlxDigestSetField(record.response, sizeof record.response, "X");
  EXPECT_EQ(tlxDigestAuthorization(record, true),
            R"(username="U", realm="R", uri="/ravix/message", algorithm=MD5, nonce="N", cnonce="C", qop="auth", )"
            R"(nc=00000002, response="X")");
  EXPECT_EQ(tlxDigestAuthorization(record, false),
            R"(username="U", realm="R", uri="/ravix/message", algorithm=MD5, nonce="N", qop="auth", )"
            R"(nc=00000002, response="X")");
}

TEST(DigestCnonce, FreshEachTimeAndLeavesRandAlone) {
  std::srand(7);
  const int first = std::rand();
  std::srand(7);
  char a[33];
  char b[33];
  tlxDigestCnonce(a);
  tlxDigestCnonce(b);
  EXPECT_EQ(std::rand(), first);
  EXPECT_EQ(std::strlen(a), 32u);
  EXPECT_EQ(std::strspn(a, "0123456789abcdef"), 32u);
  EXPECT_STRNE(a, b);
}

}  // namespace

// The seals against the test peer's independent implementation.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "ses_test_support.h"

namespace {

// The remote-command and easy-registration key texts, a one-letter key and
// a key whose MD5 has a zero byte at position 5.
const char* const kKeyTexts[] = {"BrandolQuist", "KTqrwpsVNB", "q", "Tlx38"};

class SealAgainstPeer : public testing::TestWithParam<std::tuple<bool, const char*>> {
 protected:
  bool packet() const { return std::get<0>(GetParam()); }
  const char* keyText() const { return std::get<1>(GetParam()); }
  std::string peerArgs(const char* command) const {
    return std::string(command) + " --variant " + variantName(packet()) + " --key " + keyText();
  }
};

}  // namespace

TEST_P(SealAgainstPeer, FixedRandomBytesSealIdentically) {
  for (size_t length : {0, 1, 15, 16, 17, 31, 32, 255, 1024}) {
    SCOPED_TRACE(length);
    Bytes payload = patternBytes(length, static_cast<uint8_t>(length));
    Bytes r = patternBytes(8, static_cast<uint8_t>(length + 100));
    Bytes padding = patternBytes(SesPaddedBytes::paddingFor(static_cast<uint32_t>(length), 16),
                                 static_cast<uint8_t>(length + 200));
    Bytes draws = r;
    if (packet()) draws.insert(draws.end(), padding.begin(), padding.end());
    Bytes sealed;
    {
      FixedRandom fixed(draws);
      sealed = sealPayload(packet(), keyText(), payload);
      EXPECT_EQ(fixed.left(), 0u);
    }
    std::string args = peerArgs("seal") + " --r " + toHex(r);
    if (packet() && !padding.empty()) args += " --padding " + toHex(padding);
    PeerResult peer = runSealPeer(args + " " + (payload.empty() ? "''" : toHex(payload)));
    ASSERT_EQ(peer.status, 0);
    EXPECT_EQ(peer.out, toHex(sealed));
  }
}

TEST_P(SealAgainstPeer, EachSideOpensTheOthersSeals) {
  for (size_t length : {0, 37}) {
    SCOPED_TRACE(length);
    Bytes payload = patternBytes(length, 11);
    std::string payloadHex = payload.empty() ? "''" : toHex(payload);

    PeerResult opened = runSealPeer(peerArgs("open") + " " + toHex(sealPayload(packet(), keyText(), payload)));
    ASSERT_EQ(opened.status, 0);
    EXPECT_EQ(opened.out, toHex(payload));

    PeerResult sealed = runSealPeer(peerArgs("seal") + " " + payloadHex);
    ASSERT_EQ(sealed.status, 0);
    Bytes mine;
    ASSERT_TRUE(openPayload(packet(), keyText(), fromHex(sealed.out), &mine));
    EXPECT_EQ(mine, payload);
  }
  // And both refuse a seal under another key.
  Bytes other = sealPayload(packet(), "anotherKey", patternBytes(5, 1));
  EXPECT_EQ(runSealPeer(peerArgs("open") + " " + toHex(other)).status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, SealAgainstPeer,
    testing::Combine(testing::Bool(), testing::ValuesIn(kKeyTexts)),
    [](const testing::TestParamInfo<SealAgainstPeer::ParamType>& info) {
      return std::string(variantName(std::get<0>(info.param))) + "_" + std::get<1>(info.param);
    });

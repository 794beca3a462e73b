#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "ses/ses_cipher.h"
#include "ses/ses_filter.h"
#include "ses/ses_message.h"
#include "ses/ses_packet.h"
#include "ses_test_support.h"

namespace {

const Bytes kR = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

// R followed by enough padding bytes for any payload.
Bytes fixedDraws() {
  Bytes draws = kR;
  for (uint8_t i = 0; i < 15; ++i) draws.push_back(static_cast<uint8_t>(0xA0 + i));
  return draws;
}

Bytes md5Of(const Bytes& bytes) {
  Bytes digest(16);
  sesMd5(bytes.data(), bytes.size(), digest.data());
  return digest;
}

}  // namespace

TEST(SesKeyedTransform, BlocksAreIndependentAndEachByteDependsOnlyOnEarlierOnes) {
  SesBlockFilter transform("BrandolQuist");
  Bytes a = patternBytes(32, 9);
  Bytes b = a;
  b[3] ^= 0x40;
  Bytes ca = a, cb = b;
  ASSERT_TRUE(transform.forward(ca.data(), ca.size()));
  ASSERT_TRUE(transform.forward(cb.data(), cb.size()));
  EXPECT_EQ(Bytes(ca.begin(), ca.begin() + 3), Bytes(cb.begin(), cb.begin() + 3));
  EXPECT_NE(ca[3], cb[3]);
  EXPECT_EQ(Bytes(ca.begin() + 16, ca.end()), Bytes(cb.begin() + 16, cb.end()));

  ASSERT_TRUE(transform.inverse(ca.data(), ca.size()));
  EXPECT_EQ(ca, a);

  // A last partial block is transformed as far as it goes.
  Bytes partial = patternBytes(21, 2), original = partial;
  ASSERT_TRUE(transform.forward(partial.data(), partial.size()));
  EXPECT_NE(partial, original);
  ASSERT_TRUE(transform.inverse(partial.data(), partial.size()));
  EXPECT_EQ(partial, original);

  EXPECT_FALSE(sesKeyedTransform(a.data(), a.size(), nullptr, 0, SesDirection::Forward));
}

TEST(SesKeyedTransform, PacketKeyEndsAtTheDigestsFirstZeroByte) {
  // MD5("Tlx38") = 9c2b7b7a41 00 57b8eea88b8af001a553: a zero byte at position 5.
  EXPECT_EQ(toHex(SesCipherKey("Tlx38").key()), "9c2b7b7a410000000000000000000000");
  EXPECT_EQ(toHex(SesBlockFilter("Tlx38").key()), "9c2b7b7a410057b8eea88b8af001a553");
  EXPECT_EQ(SesCipherKey("BrandolQuist").key(), SesBlockFilter("BrandolQuist").key());
}

TEST(Seal, SizesAndRoundTripBothVariants) {
  struct Case {
    size_t length, sealed;
  };
  for (bool packet : {true, false}) {
    for (Case c : {Case{0, 20}, Case{1, 36}, Case{16, 36}, Case{17, 52}, Case{65535, 65556}}) {
      SCOPED_TRACE(testing::Message() << variantName(packet) << " " << c.length);
      Bytes payload = patternBytes(c.length, 4);
      Bytes sealed = sealPayload(packet, "BrandolQuist", payload);
      ASSERT_EQ(sealed.size(), c.sealed);
      EXPECT_EQ(SesPacket::sealedSize(c.length), c.sealed);
      EXPECT_EQ(toHex(sealed.data(), 4), "ffffffff");
      Bytes opened;
      ASSERT_TRUE(openPayload(packet, "BrandolQuist", sealed, &opened));
      EXPECT_EQ(opened, payload);
      EXPECT_FALSE(openPayload(packet, "BrandolQuisT", sealed, &opened));
    }
    EXPECT_TRUE(sealPayload(packet, "BrandolQuist", Bytes(65536)).empty());
  }
}

TEST(Seal, AnyChangedByteOfPrefixHeaderOrPayloadFailsTheOpen) {
  // 20 payload bytes: prefix 0..3, header 4..19, payload 20..39, padding 40..51.
  Bytes payload = patternBytes(20, 6);
  for (bool packet : {true, false}) {
    Bytes sealed;
    {
      FixedRandom fixed(fixedDraws());
      sealed = sealPayload(packet, "KTqrwpsVNB", payload);
    }
    ASSERT_EQ(sealed.size(), 52u);
    for (size_t i = 0; i < sealed.size(); ++i) {
      Bytes changed = sealed;
      changed[i] ^= 0x01;
      // Padding is not covered by the digest, and a message's prefix is not read.
      bool opens = i >= 40 || (!packet && i < 4);
      Bytes opened;
      EXPECT_EQ(openPayload(packet, "KTqrwpsVNB", changed, &opened), opens)
          << variantName(packet) << " byte " << i;
      if (opens) {
        EXPECT_EQ(opened, payload);
      }
    }
  }
}

TEST(SesPacket, HeaderLayoutAndRandomPadding) {
  Bytes payload = patternBytes(300, 7);
  SesPacket packet;
  packet.setKeyText("KTqrwpsVNB");
  Bytes sealed(SesPacket::sealedSize(300));
  {
    FixedRandom fixed(fixedDraws());
    ASSERT_TRUE(packet.seal(payload.data(), payload.size(), sealed.data()));
    EXPECT_EQ(fixed.left(), 15u - 4u);  // R and 4 padding bytes drawn
  }
  Bytes body(sealed.begin() + 4, sealed.end());
  ASSERT_TRUE(SesCipherKey("KTqrwpsVNB").inverse(body.data(), body.size()));
  EXPECT_EQ(Bytes(body.begin(), body.begin() + 8), kR);
  EXPECT_EQ(toHex(&body[8], 4), "012c0000");  // length high byte first
  EXPECT_EQ(toHex(&body[12], 4), toHex(md5Of(payload).data(), 4));
  EXPECT_EQ(toHex(&body[316], 4), "a0a1a2a3");
  // The caller's payload is left as it was.
  EXPECT_EQ(payload, patternBytes(300, 7));
}

TEST(SesPacket, RefusesWhatDoesNotOpen) {
  Bytes payload = patternBytes(10, 8);
  const uint8_t other[4] = {0x11, 0x11, 0x92, 0x4F};
  SesPacket sealer;
  Bytes sealed(SesPacket::sealedSize(10));
  EXPECT_FALSE(sealer.seal(payload.data(), 10, sealed.data()));  // no key text
  sealer.setKeyText("KTqrwpsVNB");
  sealer.setPrefix(other);
  ASSERT_TRUE(sealer.seal(payload.data(), 10, sealed.data()));
  EXPECT_EQ(toHex(sealed.data(), 4), "1111924f");

  SesPacket opener;
  Bytes out(sealed.size());
  EXPECT_FALSE(opener.open(sealed.data(), sealed.size(), out.data()));  // no key text
  opener.setKeyText("KTqrwpsVNB");
  EXPECT_FALSE(opener.open(sealed.data(), sealed.size(), out.data()));  // prefix FF FF FF FF
  opener.setPrefix(other);
  size_t length = 0;
  ASSERT_TRUE(opener.open(sealed.data(), sealed.size(), out.data(), &length));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(length)), payload);

  for (size_t n : {size_t{0}, size_t{4}, size_t{19}, size_t{35}, size_t{37}}) {
    Bytes cut(sealed.begin(), sealed.begin() + static_cast<long>(std::min(n, sealed.size())));
    cut.resize(n, 0);
    EXPECT_FALSE(opener.open(cut.data(), n, out.data())) << n;
  }
}

TEST(SesMessage, LengthAboveTheDataIsCutThenChecked) {
  // A 48-byte body whose header claims 40 payload bytes: 32 are present.
  Bytes masked = patternBytes(32, 10);
  Bytes cut = masked;
  SesXorCipher(kR.data(), kR.size()).apply(cut.data(), cut.size());
  struct Case {
    Bytes digestOf;
    bool opens;
  };
  for (const Case& c : {Case{cut, true}, Case{Bytes(cut.begin(), cut.begin() + 20), false}}) {
    Bytes body = kR;
    body.insert(body.end(), {40, 0, 0, 0});
    Bytes digest = md5Of(c.digestOf);
    body.insert(body.end(), digest.begin(), digest.begin() + 4);
    body.insert(body.end(), masked.begin(), masked.end());
    ASSERT_TRUE(SesBlockFilter("BrandolQuist").forward(body.data(), body.size()));
    Bytes sealed = {0x12, 0x34, 0x56, 0x78};
    sealed.insert(sealed.end(), body.begin(), body.end());

    SesBytes opened;
    ASSERT_EQ(SesMessage::open(sealed.data(), sealed.size(), "BrandolQuist", opened), c.opens);
    if (c.opens) {
      EXPECT_EQ(Bytes(opened.data(), opened.data() + opened.size()), cut);
    }
  }
}

TEST(SesMessage, TooShortToHoldAHeaderFails) {
  Bytes sealed = sealPayload(false, "BrandolQuist", {});
  ASSERT_EQ(sealed.size(), 20u);
  SesBytes opened;
  for (size_t n : {size_t{0}, size_t{3}, size_t{19}}) {
    EXPECT_FALSE(SesMessage::open(sealed.data(), n, "BrandolQuist", opened)) << n;
  }
  EXPECT_TRUE(SesMessage::open(sealed.data(), 20, "BrandolQuist", opened));
  EXPECT_EQ(opened.size(), 0u);
}

namespace {

// A transform that copies: no padding, no key.
class CopyTransform : public SesBlockTransform {
 public:
  uint32_t blockSize() const override { return 1; }
  bool forward(uint8_t*, size_t) const override { return true; }
  bool inverse(uint8_t*, size_t) const override { return true; }
};

class FailingTransform : public CopyTransform {
 public:
  bool forward(uint8_t*, size_t) const override { return false; }
};

}  // namespace

TEST(SesMessage, TakesAnyBlockTransform) {
  const Bytes payload = {'h', 'e', 'l', 'l', 'o'};
  SesBytes sealed;
  {
    FixedRandom fixed(kR);
    ASSERT_TRUE(SesMessage::seal(payload.data(), payload.size(), CopyTransform(), sealed));
  }
  // Unpadded: prefix, R, length low byte first, zeros, digest word, masked payload.
  Bytes masked = payload;
  SesXorCipher(kR.data(), kR.size()).apply(masked.data(), masked.size());
  EXPECT_EQ(toHex(sealed.data(), sealed.size()),
            "ffffffff" + toHex(kR) + "05000000" + toHex(md5Of(payload).data(), 4) + toHex(masked));

  SesBytes opened;
  ASSERT_TRUE(SesMessage::open(sealed.data(), sealed.size(), CopyTransform(), opened));
  EXPECT_EQ(Bytes(opened.data(), opened.data() + opened.size()), payload);
  EXPECT_FALSE(SesMessage::seal(payload.data(), payload.size(), FailingTransform(), sealed));
}

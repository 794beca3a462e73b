// The remote-code files' block cipher, against its Python twin and by the
// properties its users rely on.
#include <gtest/gtest.h>

#include <string>

#include "remote/data/ses_if.h"
#include "ses/ses_message.h"
#include "twin_runner.h"

namespace {

Bytes encrypt(const char* key, const Bytes& plain) {
  SesBytes out;
  EXPECT_TRUE(SesIf(key).Encrypt(plain.data(), static_cast<uint32_t>(plain.size()), out));
  return Bytes(out.data(), out.data() + out.size());
}

Bytes decrypt(const char* key, const Bytes& cipher) {
  SesBytes out;
  EXPECT_TRUE(SesIf(key).Decrypt(cipher.data(), static_cast<uint32_t>(cipher.size()), out));
  return Bytes(out.data(), out.data() + out.size());
}

}  // namespace

TEST(SesIf, PadsToWholeBlocksAndDecryptsBack) {
  Bytes plain = patternBytes(20, 3);
  Bytes cipher = encrypt("BrandolQuist", plain);
  ASSERT_EQ(cipher.size(), 32u);
  Bytes padded = plain;
  padded.resize(32, 0);
  EXPECT_EQ(decrypt("BrandolQuist", cipher), padded);
}

TEST(SesIf, AByteChangesOnlyItsOwnCiphertextByteAmongEarlierBytesAndOtherBlocks) {
  Bytes plain = patternBytes(48, 9);
  Bytes changed = plain;
  changed[16 + 3] ^= 0x5A;
  Bytes a = encrypt("BrandolQuist", plain);
  Bytes b = encrypt("BrandolQuist", changed);
  for (size_t j = 0; j < 48; ++j) {
    bool sameBlockAfter = j > 16 + 3 && j < 32;
    if (j == 16 + 3) {
      EXPECT_NE(a[j], b[j]);
    } else if (!sameBlockAfter) {
      EXPECT_EQ(a[j], b[j]) << j;
    }
  }
}

TEST(SesIf, EveryByteDependsOnAOneByteKey) {
  Bytes plain = patternBytes(32, 1);
  Bytes a = encrypt("a", plain);
  Bytes b = encrypt("b", plain);
  for (size_t j = 0; j < a.size(); ++j) EXPECT_NE(a[j], b[j]) << j;
}

TEST(SesIf, AnEmptyKeyRefuses) {
  SesBytes out(3);
  EXPECT_FALSE(SesIf("").Encrypt("abc", 3, out));
  EXPECT_FALSE(SesIf(nullptr).Decrypt("abc", 3, out));
  EXPECT_EQ(out.size(), 3u);
}

TEST(SesIf, AgreesWithTheTwinInBothDirections) {
  // Key lengths around the index's steps (17, 277) and buffers past them.
  const char* keys[] = {"BrandolQuist", "k", "0123456789abcdefghij", "COM-key:with blanks"};
  for (const char* key : keys) {
    for (size_t length : {0, 1, 16, 33, 300}) {
      SCOPED_TRACE(std::string(key) + " " + std::to_string(length));
      Bytes plain = patternBytes(length, static_cast<uint8_t>(length));
      Bytes cipher = encrypt(key, plain);
      std::string quoted = std::string("'") + key + "' ";
      PeerResult twin = runTwin("ses_if_twin.py", "encrypt " + quoted + (plain.empty() ? "''" : toHex(plain)));
      ASSERT_EQ(twin.status, 0);
      EXPECT_EQ(twin.out, toHex(cipher));
      PeerResult back = runTwin("ses_if_twin.py", "decrypt " + quoted + (twin.out.empty() ? "''" : twin.out));
      ASSERT_EQ(back.status, 0);
      EXPECT_EQ(back.out, toHex(decrypt(key, cipher)));
    }
  }
}

TEST(SesCopyTransform, SealsWithoutPaddingAndOpensBack) {
  Bytes code = patternBytes(21, 4);
  SesBytes sealed;
  ASSERT_TRUE(SesMessage::seal(code.data(), code.size(), SesCopyTransform(), sealed));
  EXPECT_EQ(sealed.size(), 4u + 16u + 21u);
  SesBytes opened;
  ASSERT_TRUE(SesMessage::open(sealed.data(), sealed.size(), SesCopyTransform(), opened));
  EXPECT_EQ(Bytes(opened.data(), opened.data() + opened.size()), code);
}

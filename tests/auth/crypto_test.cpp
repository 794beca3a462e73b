// MD5 and AES against the published vectors, and the registration cipher's
// block and key rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "auth/md5.h"
#include "auth/registration.h"
#include "auth/tlx_authentication.h"

using namespace tlx::auth;

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string ToHex(const uint8_t* data, size_t length) {
  std::string hex;
  char pair[3];
  for (size_t i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", data[i]);
    hex += pair;
  }
  return hex;
}

struct Md5Case {
  const char* input;
  const char* digest;
};

// RFC 1321, appendix A.5.
const Md5Case kMd5Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, Rfc1321SuiteWholeAndByteByByte) {
  for (const Md5Case& c : kMd5Suite) {
    SCOPED_TRACE(c.input);
    const auto* input = reinterpret_cast<const unsigned char*>(c.input);
    const unsigned length = static_cast<unsigned>(std::strlen(c.input));
    unsigned char digest[16];

    TLX_MD5_CONTEXT whole;
    MD5Init(&whole);
    MD5Update(&whole, input, length);
    MD5Final(digest, &whole);
    EXPECT_EQ(ToHex(digest, 16), c.digest);
    EXPECT_EQ(whole.evp, nullptr);

    TLX_MD5_CONTEXT pieces;
    MD5Init(&pieces);
    for (unsigned i = 0; i < length; ++i) MD5Update(&pieces, input + i, 1);
    MD5Final(digest, &pieces);
    EXPECT_EQ(ToHex(digest, 16), c.digest);

    char hex[33];
    tlxMd5Hex(c.input, length, hex, sizeof hex);
    EXPECT_STREQ(hex, c.digest);
  }
}

TEST(Md5, HexDigestKeepsToTheBufferSize) {
  struct {
    int size;
    const char* expected;
  } const cases[] = {{1, ""}, {2, ""}, {3, "90"}, {9, "90015098"}, {10, "90015098"}, {64, kMd5Suite[2].digest}};
  for (const auto& c : cases) {
    char out[64];
    std::memset(out, 'x', sizeof out);
    tlxMd5Hex("abc", 3, out, c.size);
    EXPECT_STREQ(out, c.expected) << "size " << c.size;
  }
}

// FIPS-197 appendix C.1.
const char kFipsKey[] = "000102030405060708090a0b0c0d0e0f";
const char kFipsPlain[] = "00112233445566778899aabbccddeeff";
const char kFipsCipher[] = "69c4e0d86a7b0430d8cdb78070b4c55a";

// NIST SP 800-38A F.1.1 and F.1.2, ECB-AES128.
const char kNistKey[] = "2b7e151628aed2a6abf7158809cf4f3c";
const char kNistPlain[] =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
const char kNistCipher[] =
    "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf"
    "43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4";

TEST(Rijndael, PublishedVectorsBothDirections) {
  struct {
    const char* key;
    const char* plain;
    const char* cipher;
  } const cases[] = {{kFipsKey, kFipsPlain, kFipsCipher}, {kNistKey, kNistPlain, kNistCipher}};
  for (const auto& c : cases) {
    const auto key = FromHex(c.key);
    const auto plain = FromHex(c.plain);
    const size_t blocks = plain.size() / 16;

    Rijndael encrypt;
    ASSERT_EQ(encrypt.MakeKey(key.data(), Rijndael::Encrypt), 0);
    std::vector<uint8_t> out(plain.size());
    EXPECT_EQ(encrypt.EncryptBlocks(plain.data(), blocks, out.data()), static_cast<int>(blocks));
    EXPECT_EQ(ToHex(out.data(), out.size()), c.cipher);

    Rijndael decrypt;
    ASSERT_EQ(decrypt.MakeKey(key.data(), Rijndael::Decrypt), 0);
    std::vector<uint8_t> inPlace = FromHex(c.cipher);
    EXPECT_EQ(decrypt.DecryptBlocks(inPlace.data(), blocks, inPlace.data()), static_cast<int>(blocks));
    EXPECT_EQ(ToHex(inPlace.data(), inPlace.size()), c.plain);
  }
}

TEST(Rijndael, RefusesADirectionItIsNotKeyedFor) {
  const auto key = FromHex(kFipsKey);
  uint8_t block[16] = {};
  Rijndael cipher;
  EXPECT_EQ(cipher.EncryptBlocks(block, 1, block), -1);
  ASSERT_EQ(cipher.MakeKey(key.data(), Rijndael::Encrypt), 0);
  EXPECT_EQ(cipher.DecryptBlocks(block, 1, block), -1);
  EXPECT_EQ(cipher.EncryptBlocks(block, 0, block), 0);

  Rijndael moved(std::move(cipher));
  EXPECT_EQ(cipher.EncryptBlocks(block, 1, block), -1);  // NOLINT(bugprone-use-after-move)
  const auto plain = FromHex(kFipsPlain);
  EXPECT_EQ(moved.EncryptBlocks(plain.data(), 1, block), 1);
  EXPECT_EQ(ToHex(block, 16), kFipsCipher);
}

TEST(RegistrationCipher, PublishedVectorsThroughTheBodyCipher) {
  const auto key = FromHex(kNistKey);
  const auto plain = FromHex(kNistPlain);
  std::vector<uint8_t> sent;
  ASSERT_EQ(Auth_AES_encrypt(key.data(), plain.data(), plain.size(), sent), 0);
  ASSERT_EQ(sent.size(), 80u);
  EXPECT_EQ(ToHex(sent.data(), 64), kNistCipher);
  EXPECT_EQ(ToHex(sent.data() + 64, 16), std::string(32, '0'));

  const auto cipher = FromHex(kNistCipher);
  std::vector<uint8_t> received;
  ASSERT_EQ(Auth_AES_decrypt(key.data(), cipher.data(), cipher.size(), received), 0);
  EXPECT_EQ(ToHex(received.data(), received.size()), kNistPlain);
}

TEST(RegistrationCipher, BlockRulesOfSenderAndReceiver) {
  const auto key = FromHex(kFipsKey);
  std::vector<uint8_t> input(64);
  for (size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(i + 1);
  struct {
    size_t length;
    size_t sent;
  } const cases[] = {{0, 16}, {1, 16}, {15, 16}, {16, 32}, {17, 32}, {64, 80}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    std::vector<uint8_t> sent;
    ASSERT_EQ(Auth_AES_encrypt(key.data(), input.data(), c.length, sent), 0);
    ASSERT_EQ(sent.size(), c.sent);
    const bool wholeBlocks = c.length % 16 == 0;
    // A whole number of blocks ends with a zero block that is not encrypted.
    EXPECT_EQ(std::vector<uint8_t>(sent.end() - 16, sent.end()) == std::vector<uint8_t>(16, 0), wholeBlocks);

    std::vector<uint8_t> plain;
    const size_t cipherLength = wholeBlocks ? c.sent - 16 : c.sent;
    ASSERT_EQ(Auth_AES_decrypt(key.data(), sent.data(), cipherLength, plain), 0);
    ASSERT_EQ(plain.size(), cipherLength);
    EXPECT_TRUE(std::equal(input.begin(), input.begin() + static_cast<long>(c.length), plain.begin()));
    EXPECT_TRUE(std::all_of(plain.begin() + static_cast<long>(c.length), plain.end(), [](uint8_t b) { return b == 0; }));
  }

  // A length that is not whole blocks is rounded up, the tail taken as zeros.
  std::vector<uint8_t> plain;
  ASSERT_EQ(Auth_AES_decrypt(key.data(), input.data(), 17, plain), 0);
  EXPECT_EQ(plain.size(), 32u);
}

TEST(RegistrationCipher, KeyFromCode) {
  struct {
    const char* code;
    std::string key;
  } const cases[] = {
      {"1234", std::string("1234\0 Nardi Vast", 16)},
      {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOP"},
      {"ABCDEFGHIJKLMNO", std::string("ABCDEFGHIJKLMNO\0", 16)},
      {"", std::string("\0uell Nardi Vast", 16)},
  };
  for (const auto& c : cases) {
    unsigned char key[16];
    tlxRegistrationKey(c.code, key);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(key), 16), c.key) << c.code;
  }
}

}  // namespace

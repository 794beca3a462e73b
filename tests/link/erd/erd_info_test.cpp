#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <random>
#include <string>

#include "erd_test_support.h"
#include "ses/ses_packet.h"

namespace {

const uint8_t kErdPrefix[4] = {0x11, 0x11, 0x92, 0x4F};

// Seals any text the way a block is sealed, or with another key or prefix.
Bytes sealText(const std::string& text, const char* keyText = "KTqrwpsVNB",
               const uint8_t* prefix = kErdPrefix) {
  SesPacket packet;
  packet.setKeyText(keyText);
  packet.setPrefix(prefix);
  Bytes block(SesPacket::sealedSize(text.size()));
  EXPECT_TRUE(packet.seal(text.data(), text.size(), block.data()));
  return block;
}

int decrypt(const Bytes& block, TLX_ERD_INFO* out) {
  return tlxErdLib_decryptErdInfo(block.data(), static_cast<int>(block.size()), out);
}

const TLX_ERD_INFO kRecord = makeRecord("base.example.net", 8080, "s3cret", "BX-100", "1.02", "00A1B2");

}  // namespace

TEST(ErdInfo, LayoutAndRoundTrip) {
  // The text estimate covers labels, line ends, five port digits and the NUL.
  TLX_ERD_INFO longest = makeRecord(std::string(51, 'd'), 99999, std::string(63, 'p'),
                                    std::string(23, 'm'), std::string(7, 'v'), std::string(31, 'i'));
  EXPECT_EQ(tlxErdLib_getErdEncryptedSize(&longest), (51 + 63 + 23 + 7 + 31 + 56 + 15) / 16 * 16 + 20);
  for (const TLX_ERD_INFO& record : {kRecord, longest, makeRecord("", 0, "", "", "", "")}) {
    Bytes block = encryptRecord(record);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(toHex(block.data(), 4), "1111924f");
    TLX_ERD_INFO opened;
    ASSERT_EQ(decrypt(block, &opened), 0);
    EXPECT_TRUE(sameRecord(opened, record)) << opened.domain;
  }
}

TEST(ErdInfo, EncryptRefusesFieldsThatDoNotFit) {
  struct Case {
    const char* what;
    TLX_ERD_INFO record;
    int result;
  };
  const Case cases[] = {
      {"domain 52", makeRecord(std::string(52, 'd'), 1, "", "", "", ""), -15},
      {"password 64", makeRecord("", 1, std::string(64, 'p'), "", "", ""), -15},
      {"model 24", makeRecord("", 1, "", std::string(24, 'm'), "", ""), -15},
      {"softver 8", makeRecord("", 1, "", "", std::string(8, 'v'), ""), -15},
      {"id 32", makeRecord("", 1, "", "", "", std::string(32, 'i')), -15},
      {"port 100000", makeRecord("", 100000, "", "", "", ""), -15},
      {"port -1", makeRecord("", -1, "", "", "", ""), -15},
      {"domain 51", makeRecord(std::string(51, 'd'), 1, "", "", "", ""), 0},
      {"port 99999", makeRecord("", 99999, "", "", "", ""), 0},
  };
  Bytes out(512);
  for (const Case& c : cases) {
    EXPECT_EQ(tlxErdLib_encryptErdInfo(&c.record, out.data(), static_cast<int>(out.size())), c.result)
        << c.what;
  }
}

TEST(ErdInfo, EncryptChecksItsArguments) {
  int size = tlxErdLib_getErdEncryptedSize(&kRecord);
  Bytes out(static_cast<size_t>(size));
  EXPECT_EQ(tlxErdLib_encryptErdInfo(&kRecord, out.data(), size - 1), -11);
  EXPECT_EQ(tlxErdLib_encryptErdInfo(&kRecord, out.data(), -1), -11);
  EXPECT_EQ(tlxErdLib_encryptErdInfo(&kRecord, out.data(), size), 0);
  EXPECT_EQ(tlxErdLib_encryptErdInfo(nullptr, out.data(), size), -16);
  EXPECT_EQ(tlxErdLib_encryptErdInfo(&kRecord, nullptr, size), -16);
  EXPECT_EQ(tlxErdLib_getErdEncryptedSize(nullptr), -16);
}

TEST(ErdInfo, DecryptRefusesBlocksThatDoNotOpen) {
  Bytes block = encryptRecord(kRecord);
  const uint8_t otherPrefix[4] = {0x11, 0x11, 0x92, 0x4E};
  struct Case {
    const char* what;
    Bytes block;
    int result;
  };
  const Case cases[] = {
      {"another key", sealText("ID:x\r\n", "KTqrwpsVNb"), -13},
      {"another prefix", sealText("ID:x\r\n", "KTqrwpsVNB", otherPrefix), -13},
      {"cut by a byte", Bytes(block.begin(), block.end() - 1), -13},
      {"changed byte", [&] { Bytes b = block; b[30] ^= 1; return b; }(), -13},
      {"20 bytes", Bytes(block.begin(), block.begin() + 20), -10},
      {"nothing sealed", sealText(""), -10},
  };
  for (const Case& c : cases) {
    TLX_ERD_INFO out;
    std::memset(&out, 0xAA, sizeof out);
    EXPECT_EQ(decrypt(c.block, &out), c.result) << c.what;
    EXPECT_TRUE(sameRecord(out, makeRecord("", 0, "", "", "", ""))) << c.what;
  }
  TLX_ERD_INFO out;
  EXPECT_EQ(tlxErdLib_decryptErdInfo(block.data(), 0, &out), -10);
  EXPECT_EQ(tlxErdLib_decryptErdInfo(block.data(), -5, &out), -10);
  EXPECT_EQ(tlxErdLib_decryptErdInfo(block.data(), INT_MAX, &out), -13) << "larger than any block";
  EXPECT_EQ(tlxErdLib_decryptErdInfo(nullptr, 100, &out), -16);
  EXPECT_EQ(tlxErdLib_decryptErdInfo(block.data(), static_cast<int>(block.size()), nullptr), -16);
}

TEST(ErdInfo, ParseIsStrict) {
  struct Case {
    const char* what;
    std::string text;
    int result;
    TLX_ERD_INFO record;
  };
  const TLX_ERD_INFO empty = makeRecord("", 0, "", "", "", "");
  const Case cases[] = {
      {"empty text", std::string(1, '\0'), 0, empty},
      {"any order", "ID:i\r\nPORT:7\r\nDOMAIN:d\r\n", 0, makeRecord("d", 7, "", "", "", "i")},
      {"repeated label keeps the last", "DOMAIN:first.long\r\nDOMAIN:x\r\n", 0,
       makeRecord("x", 0, "", "", "", "")},
      {"text ends at its NUL", std::string("MODEL:m\r\n\0junk", 15), 0, makeRecord("", 0, "", "m", "", "")},
      {"port with leading zeros", "PORT:00099999\r\n", 0, makeRecord("", 99999, "", "", "", "")},
      {"empty port", "PORT:\r\n", 0, empty},
      {"longest model", "MODEL:" + std::string(23, 'm') + "\r\n", 0,
       makeRecord("", 0, "", std::string(23, 'm'), "", "")},
      {"ID ended by LF alone", "ID:abc\n", -14, empty},
      {"LF alone then another line", "ID:abc\nDOMAIN:d\r\n", -14, empty},
      {"CR without LF", "ID:a\rb\r\n", -14, empty},
      {"no line end", "DOMAIN:d\r\nID:abc", -14, empty},
      {"unknown label", "DOMAIN:d\r\nHOST:h\r\n", -14, empty},
      {"lowercase label", "domain:d\r\n", -14, empty},
      {"NUL inside a line", std::string("DOMAIN:a\0b\r\n", 12), -14, empty},
      {"overlong model", "MODEL:" + std::string(24, 'm') + "\r\n", -14, empty},
      {"overlong domain", "DOMAIN:" + std::string(52, 'd') + "\r\n", -14, empty},
      {"port not a number", "PORT:80a\r\n", -14, empty},
      {"negative port", "PORT:-1\r\n", -14, empty},
      {"port beyond 32 bits", "PORT:99999999999\r\n", -14, empty},
  };
  for (const Case& c : cases) {
    TLX_ERD_INFO out;
    EXPECT_EQ(decrypt(sealText(c.text), &out), c.result) << c.what;
    EXPECT_TRUE(sameRecord(out, c.record)) << c.what;
  }
}

// Texts pieced together from labels, values and stray bytes, and damaged
// blocks, each in a block of exactly its size: decrypt gives a defined code,
// a record whose every text ends inside its field, or a zeroed record.
TEST(ErdInfo, PiecedTextsAndDamagedBlocks) {
  const std::string pieces[] = {"DOMAIN:", "PORT:", "PASSWORD:", "MODEL:", "SOFTVER:", "ID:", "\r\n", "\r", "\n",
                                std::string(1, '\0'), "12345", "99999999999", "-", "abc", std::string(30, 'x'),
                                ":", "\xff"};
  const Bytes good = encryptRecord(kRecord);
  std::mt19937 random(42);
  for (int round = 0; round < 2000; ++round) {
    Bytes block;
    if (round % 2 == 0) {
      std::string text;
      for (int k = random() % 12; k > 0; --k) text += pieces[random() % std::size(pieces)];
      block = sealText(text);
    } else {
      block = good;
      for (int k = 1 + random() % 3; k > 0; --k) block[random() % block.size()] ^= static_cast<uint8_t>(random());
      if (random() % 2) block.resize(random() % (block.size() + 1));
    }
    std::unique_ptr<uint8_t[]> exact(new uint8_t[block.size()]);
    std::copy(block.begin(), block.end(), exact.get());
    TLX_ERD_INFO out;
    std::memset(&out, 0xAA, sizeof out);
    const int result = tlxErdLib_decryptErdInfo(exact.get(), static_cast<int>(block.size()), &out);
    SCOPED_TRACE(toHex(block));
    ASSERT_TRUE(result == 0 || result == -10 || result == -13 || result == -14) << result;
    if (result != 0) {
      EXPECT_TRUE(sameRecord(out, makeRecord("", 0, "", "", "", "")));
      continue;
    }
    EXPECT_LT(strnlen(out.domain, sizeof out.domain), sizeof out.domain);
    EXPECT_LT(strnlen(out.password, sizeof out.password), sizeof out.password);
    EXPECT_LT(strnlen(out.model, sizeof out.model), sizeof out.model);
    EXPECT_LT(strnlen(out.softVersion, sizeof out.softVersion), sizeof out.softVersion);
    EXPECT_LT(strnlen(out.id, sizeof out.id), sizeof out.id);
  }
}

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ses/ses_coding.h"
#include "ses/ses_filter.h"
#include "ses_test_support.h"

namespace {

std::string encode(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '?');
  int n = sesBase64Encode(bytes.data(), static_cast<int>(bytes.size()), out.data());
  EXPECT_EQ(out[static_cast<size_t>(n)], '\0');
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string decode(const std::string& text) {
  std::string out(text.size() * 3 / 4 + 1, '\0');
  int n = sesBase64Decode(text.data(), static_cast<int>(text.size()), out.data());
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

TEST(Base64, StandardVectorsBothWays) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {std::string("\0", 1), "AA=="}, {std::string("\0\0", 2), "AAA="},
      {"\xff\xfe\xfd", "//79"}};
  for (const auto& [bytes, text] : vectors) {
    EXPECT_EQ(encode(bytes), text);
    EXPECT_EQ(decode(text), bytes) << text;
  }
}

TEST(Base64, DecodingSkipsForeignCharactersAndStopsAtPadding) {
  const std::pair<std::string, std::string> cases[] = {
      {"Zm9v\r\nYmFy", "foobar"},
      {" Zm 9v\tYm\nFy ", "foobar"},
      {"Zm8=Zm9v", "fo"},
      {"Zg==garbage", "f"},
      {"=Zm9v", ""},
      {"Zm9vY", "foo"},   // one character cannot complete a byte
      {"Zm9vYm", "foob"},
      {std::string("Zm\0\x80\xff" "9v", 7), "foo"},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(decode(text), bytes) << text;
}

TEST(Base64, DecodingRandomTextStaysInsideItsBuffer) {
  const std::string pool = "ABCxyz019+/= \r\n-_\x80\xff";
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    size_t n = random() % 70;
    std::string text(n, ' ');
    for (char& c : text) c = pool[random() % pool.size()];
    // Exactly the documented room, so any write past it is a heap overflow.
    size_t room = n * 3 / 4 + 1;
    std::unique_ptr<uint8_t[]> out(new uint8_t[room]);
    int written = sesBase64Decode(text.data(), static_cast<int>(n), out.get());
    ASSERT_GE(written, 0);
    ASSERT_LE(static_cast<size_t>(written), n * 3 / 4) << text;
  }
}

TEST(Hex, LowercaseTwoDigitsPerByte) {
  const uint8_t bytes[] = {0x0A, 0xFF, 0x00, 0x9c};
  char out[9];
  EXPECT_EQ(sesHexEncode(bytes, 2, out), 4);
  EXPECT_STREQ(out, "0aff");
  EXPECT_EQ(sesHexEncode(bytes, 4, out), 8);
  EXPECT_STREQ(out, "0aff009c");
  EXPECT_EQ(sesHexEncode(bytes, 0, out), 0);
  EXPECT_STREQ(out, "");
}

TEST(Split, DropsEmptyTokens) {
  struct Case {
    const char* delimiters;
    const char* text;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {",", ",a,,b,", {"a", "b"}},
      {"+", "base64++c3", {"base64", "c3"}},
      {", ", "1, 2 ,,3", {"1", "2", "3"}},
      {",", "", {}},
      {",", ",,,", {}},
      {"", "abc", {"abc"}},
      {",", nullptr, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tlxSplit(c.delimiters, c.text), c.tokens) << (c.text ? c.text : "(null)");
  }
}

TEST(SesBase64Filter, OutputIsTheTextWithItsNul) {
  SesBase64Filter three("foo", 3);
  ASSERT_EQ(three.outputSize(), 5u);
  EXPECT_STREQ(reinterpret_cast<const char*>(three.outputData()), "Zm9v");

  SesBase64Filter none(nullptr, 0);
  ASSERT_EQ(none.outputSize(), 1u);
  EXPECT_EQ(none.outputData()[0], '\0');

  Bytes bytes = patternBytes(100, 3);
  SesBase64Filter longer(bytes.data(), 100);
  EXPECT_EQ(longer.outputSize(), 137u);
  EXPECT_EQ(decode(reinterpret_cast<const char*>(longer.outputData())),
            std::string(bytes.begin(), bytes.end()));
}

TEST(SesMd5Filter, DigestSuite) {
  const std::pair<std::string, std::string> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, digest] : suite) {
    SesMd5Filter filter(text.data(), static_cast<uint32_t>(text.size()));
    ASSERT_EQ(filter.outputSize(), 16u);
    EXPECT_EQ(toHex(filter.outputData(), 16), digest) << text;
  }
}

// The hexadecimal and Base64 filters, the hexadecimal helpers, the UTF
// conversions (against Qt's) and the splitter of encoding names.
#include <gtest/gtest.h>

#include <QString>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "remote/data/hex_text.h"
#include "remote/data/text_filters.h"
#include "remote/data/utf_text.h"
#include "ses/ses_coding.h"
#include "twin_runner.h"

namespace {

std::string outputText(const SesFilter& filter) {
  return std::string(reinterpret_cast<const char*>(filter.outputData()), filter.outputSize());
}

Bytes outputBytes(const SesFilter& filter) {
  return Bytes(filter.outputData(), filter.outputData() + filter.outputSize());
}

Bytes hexDecode(const std::string& text) {
  return outputBytes(SesHexDecodeFilter(text.data(), static_cast<uint32_t>(text.size())));
}

}  // namespace

TEST(HexFilter, UppercasePairsWithBlanksAndTheTerminatorCounted) {
  const uint8_t bytes[] = {0x00, 0xAB, 0x5F};
  EXPECT_EQ(outputText(SesHexFilter(bytes, 3)), std::string("00 AB 5F\0", 9));
  EXPECT_EQ(outputText(SesHexFilter(bytes, 0)), std::string("\0", 1));
}

TEST(HexDecodeFilter, Cases) {
  const std::pair<std::string, Bytes> cases[] = {
      {"ab cd", {0xAB, 0xCD}},
      {"ABCD", {0xAB, 0xCD}},
      {"AB CD\r\n", {0xAB, 0xCD}},
      {"zz1", {0x01}},          // foreign characters skipped, a last lone digit
      {"1 2", {0x01, 0x02}},    // a digit before a non-digit is one byte
      {"a:bc", {0x0A, 0xBC}},   // the non-digit after a lone digit is skipped with it
      {"", {}},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(hexDecode(text), bytes) << text;
}

TEST(Base64DecodeFilter, DecodesTextWithLineEnds) {
  const char text[] = "Zm9v\r\nYmFy\r\n";
  EXPECT_EQ(outputText(SesBase64DecodeFilter(text, sizeof text - 1)), "foobar");
}

TEST(HexToBytes, Cases) {
  struct Case {
    const char* text;
    int count;
    bool skipBlanks;
    Bytes bytes;
  };
  const Case cases[] = {
      {"0aFF", 8, false, {0x0A, 0xFF}},
      {"0a FF", 8, false, {0x0A}},            // stops at the first blank
      {"0a \tFF  10", 8, true, {0x0A, 0xFF, 0x10}},
      {"0aFF10", 2, false, {0x0A, 0xFF}},     // at most count bytes
      {"0aF", 8, false, {0x0A}},              // a lone digit is not a pair
      {"x0", 8, false, {}},
  };
  for (const Case& c : cases) {
    uint8_t out[8];
    std::memset(out, 0xEE, sizeof out);
    int n = tlxHexToBytes(c.text, out, c.count, c.skipBlanks);
    EXPECT_EQ(Bytes(out, out + n), c.bytes) << c.text;
    for (int i = n; i < c.count; ++i) EXPECT_EQ(out[i], 0) << c.text;  // the rest cleared
    for (int i = c.count; i < 8; ++i) EXPECT_EQ(out[i], 0xEE) << c.text;
  }
}

TEST(BytesToHex, LowercaseWithoutSeparators) {
  const uint8_t bytes[] = {0x00, 0xAB, 0x5F};
  EXPECT_EQ(tlxBytesToHex(bytes, 3), "00ab5f");
  EXPECT_EQ(tlxBytesToHex(bytes, 0), "");
}

TEST(TrimRight, CutsEveryControlAndBlank) {
  char text[] = "value \t\r\n\x01 ";
  tlxTrimRight(text);
  EXPECT_STREQ(text, "value");
  char blank[] = " \r\n";
  tlxTrimRight(blank);
  EXPECT_STREQ(blank, "");
}

TEST(Split, DropsEmptyNames) {
  EXPECT_EQ(tlxSplit("+", "base64++c3"), (std::vector<std::string>{"base64", "c3"}));
}

TEST(Utf, ValidTextRoundTripsLikeQt) {
  std::mt19937 random(7);
  // Code points from every length class, surrogate pairs included.
  const char32_t ranges[][2] = {{0x20, 0x7E}, {0x80, 0x7FF}, {0x800, 0xD7FF}, {0xE000, 0xFFFF},
                                {0x10000, 0x10FFFF}};
  for (int round = 0; round < 200; ++round) {
    std::u32string points;
    for (int k = 0; k < round % 23; ++k) {
      const auto& range = ranges[random() % 5];
      points += static_cast<char32_t>(range[0] + random() % (range[1] - range[0] + 1));
    }
    QString q = QString::fromUcs4(points.data(), static_cast<qsizetype>(points.size()));
    std::u16string utf16(reinterpret_cast<const char16_t*>(q.utf16()), static_cast<size_t>(q.size()));
    QByteArray qUtf8 = q.toUtf8();
    std::string utf8(qUtf8.constData(), static_cast<size_t>(qUtf8.size()));
    EXPECT_EQ(tlxUtf8Of(utf16), utf8);
    EXPECT_EQ(tlxUtf16Of(utf8), utf16);
  }
}

TEST(Utf, SurrogatePairIsOneFourByteSequence) {
  const char16_t pair[] = {0xD83D, 0xDE00, 0};
  char out[4 * 2 + 1];
  ASSERT_EQ(tlxUtf16ToUtf8(pair, -1, out), 4);
  EXPECT_STREQ(out, "\xF0\x9F\x98\x80");
  char16_t back[5];
  ASSERT_EQ(tlxUtf8ToUtf16(out, -1, back), 2);
  EXPECT_EQ(std::u16string(back), std::u16string(pair));
}

TEST(Utf, LaxCases) {
  // A lone high surrogate takes the unit after it along; a lone low one is kept.
  EXPECT_EQ(tlxUtf8Of(u"a\xD800" u"bc"), "ac");
  EXPECT_EQ(tlxUtf8Of(u"a\xDC00"), "a\xED\xB0\x80");
  EXPECT_EQ(tlxUtf8Of(std::u16string(u"a\xD800", 2)), "a");
  // Values above 0x10FFFF are dropped; continuation bytes are not checked.
  EXPECT_EQ(tlxUtf16Of("a\xF4\x90\x80\x80z"), u"az");
  EXPECT_EQ(tlxUtf16Of("\xC3\x29"), u"\x00E9");
  // The count ends the text as the zero does.
  char16_t out[8];
  EXPECT_EQ(tlxUtf8ToUtf16("abc", 2, out), 2);
  EXPECT_EQ(std::u16string(out), u"ab");
  EXPECT_EQ(tlxUtf8ToUtf16("a\xE3\x81", -1, out), 1);  // cut at the zero
  EXPECT_EQ(std::u16string(out), u"a");
}

TEST(Utf, ASequenceCutAtTheEndReadsNothingPastIt) {
  // Heap copies of exactly the given bytes, so a read past them is reported.
  const std::pair<std::string, std::u16string> cases[] = {
      {"\xF0\x9F\x98", u""}, {"ab\xE3", u"ab"}, {"\xC3", u""}};
  for (const auto& [text, expected] : cases) {
    auto bytes = std::make_unique<char[]>(text.size());
    std::memcpy(bytes.get(), text.data(), text.size());
    char16_t out[8];
    int n = tlxUtf8ToUtf16(bytes.get(), static_cast<int>(text.size()), out);
    EXPECT_EQ(std::u16string(out, static_cast<size_t>(n)), expected);
  }
  auto units = std::make_unique<char16_t[]>(2);
  units[0] = u'x';
  units[1] = 0xD800;
  char out[8];
  EXPECT_EQ(tlxUtf16ToUtf8(units.get(), 2, out), 1);
}

TEST(SesText, EachFormMadeFromTheOther) {
  SesText fromWide(u"K\u00E4se");
  EXPECT_EQ(fromWide.utf8(), "K\xC3\xA4se");
  SesText fromNarrow("K\xC3\xA4se!", 5);
  EXPECT_EQ(fromNarrow.utf16(), u"K\u00E4se");
  EXPECT_EQ(SesText(static_cast<const char*>(nullptr), -1).utf16(), u"");
  EXPECT_EQ(SesText().utf8(), "");
}

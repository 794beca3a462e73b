#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/synch.h"
#include "win32/text.h"

namespace {

TEST(CharNextW, StepsOverOneCharacterAndASurrogatePairAsOne) {
  const std::u16string text = u"a\U00020BB7\u6f22";  // ASCII, a pair, a kanji
  const WCHAR* p = text.c_str();
  EXPECT_EQ(CharNextW(p), p + 1);
  EXPECT_EQ(CharNextW(p + 1), p + 3);
  EXPECT_EQ(CharNextW(p + 3), p + 4);
  EXPECT_EQ(CharNextW(p + 4), p + 4);  // the terminating zero
  EXPECT_EQ(CharNextW(nullptr), nullptr);
  // A lone high surrogate is one unit; so is a lone low one.
  const std::u16string lone = {0xD800, u'x', 0xDC00, 0};
  EXPECT_EQ(CharNextW(lone.c_str()), lone.c_str() + 1);
  EXPECT_EQ(CharNextW(lone.c_str() + 2), lone.c_str() + 3);
}

std::vector<WORD> Classes(DWORD type, const std::u16string& text) {
  std::vector<WORD> out(text.size(), 0xFFFF);
  EXPECT_TRUE(GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, type, text.c_str(), static_cast<int>(text.size()), out.data()));
  return out;
}

TEST(GetStringTypeExW, ControlAndSpaceClasses) {
  struct Case {
    char16_t c;
    WORD expected;
  };
  const Case cases[] = {
      {0x0000, C1_CNTRL},           {0x0009, C1_CNTRL | C1_SPACE}, {0x000A, C1_CNTRL | C1_SPACE},
      {0x001F, C1_CNTRL},           {0x007F, C1_CNTRL},            {0x009F, C1_CNTRL},
      {0x00A0, C1_SPACE},           {0x0020, C1_SPACE},            {0x3000, C1_SPACE},
      {0x2003, C1_SPACE},           {u'a', 0},                     {0x3042, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Classes(CT_CTYPE1, std::u16string(1, c.c))[0], c.expected) << std::hex << int(c.c);
  }
}

TEST(GetStringTypeExW, WidthClassesSeparateAsciiKanaAndKanji) {
  constexpr WORD kHalf = C3_HALFWIDTH, kFull = C3_FULLWIDTH, kIdeo = C3_FULLWIDTH | C3_IDEOGRAPH;
  struct Case {
    char16_t c;
    WORD expected;
  };
  const Case cases[] = {
      {0x001F, 0},     {0x0020, kHalf}, {u'A', kHalf},  {0x007E, kHalf}, {0x007F, 0},
      {0xFF61, kHalf}, {0xFF9F, kHalf}, {0xFFDC, kHalf}, {0xFFE8, kHalf}, {0xFFEE, kHalf},
      {0x3042, kFull}, {0x30A2, kFull}, {0x303F, 0},     {0x303E, kFull}, {0xFF01, kFull},
      {0xFF60, kFull}, {0xFFE6, kFull}, {0x1100, kFull}, {0xAC00, kFull}, {0xFE30, kFull},
      {0x3005, kIdeo}, {0x3021, kIdeo}, {0x3400, kIdeo}, {0x6F22, kIdeo}, {0x9FFF, kIdeo},
      {0xF900, kIdeo}, {0x00E9, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Classes(CT_CTYPE3, std::u16string(1, c.c))[0], c.expected) << std::hex << int(c.c);
  }
  // Runs of the three scripts fall into three different classes.
  const std::vector<WORD> run = Classes(CT_CTYPE3, u"ab\u3042\u6f22");
  EXPECT_NE(run[1], run[2]);
  EXPECT_NE(run[2], run[3]);
  EXPECT_NE(run[1], run[3]);
}

TEST(GetStringTypeExW, CountsToTheZeroAndRejectsBadArguments) {
  WORD types[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
  ASSERT_TRUE(GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, CT_CTYPE1, u"a\t", -1, types));
  EXPECT_EQ(types[0], 0);
  EXPECT_EQ(types[1], C1_CNTRL | C1_SPACE);
  EXPECT_EQ(types[2], 0xFFFF);  // the terminating zero is not classified

  const WCHAR text[] = u"ab";
  EXPECT_FALSE(GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, CT_CTYPE1, nullptr, 1, types));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, CT_CTYPE1, text, 2, nullptr));
  EXPECT_FALSE(GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, CT_CTYPE1, text, 0, types));
  EXPECT_FALSE(GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, CT_CTYPE1, text, -2, types));
  EXPECT_FALSE(GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, 0x0002, text, 2, types));
  WCHAR shared[4] = {u'a', u'b', 0, 0};
  EXPECT_FALSE(GetStringTypeExW(LOCALE_SYSTEM_DEFAULT, CT_CTYPE1, shared, 2, reinterpret_cast<WORD*>(shared + 1)));
}

}  // namespace

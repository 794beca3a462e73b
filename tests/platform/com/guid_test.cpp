#include "com/guid.h"

#include <gtest/gtest.h>

#include "com/hresult.h"

namespace {

constexpr GUID kSample{0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

TEST(Guid, FormatsAndParsesTheBracedForm) {
  EXPECT_EQ(GuidToString(kSample), "{56A86895-0AD4-11CE-B03A-0020AF0BA770}");
  GUID parsed{};
  ASSERT_TRUE(GuidFromString("{56a86895-0ad4-11ce-b03a-0020af0ba770}", &parsed));
  EXPECT_EQ(parsed, kSample);

  WCHAR wide[kGuidStringLength + 1];
  EXPECT_EQ(StringFromGUID2(kSample, wide, 38), 0) << "no room for the terminating zero";
  ASSERT_EQ(StringFromGUID2(kSample, wide, 39), 39);
  CLSID back{};
  ASSERT_EQ(CLSIDFromString(wide, &back), S_OK);
  EXPECT_EQ(back, kSample);
}

TEST(Guid, RefusesMalformedText) {
  const char* cases[] = {
      "",
      "56A86895-0AD4-11CE-B03A-0020AF0BA770",      // no braces
      "{56A86895-0AD4-11CE-B03A-0020AF0BA770",     // unterminated
      "{56A86895-0AD4-11CE-B03A-0020AF0BA770}x",   // trailing text
      "{56A86895-0AD4-11CE-B03A-0020AF0BA7G0}",    // not hex
      "{56A868950AD4-11CE-B03A-0020AF0BA770-}",    // dash misplaced
      "{+6A86895-0AD4-11CE-B03A-0020AF0BA770}",    // sign
  };
  for (const char* text : cases) {
    GUID g = GUID_NULL;
    EXPECT_FALSE(GuidFromString(text, &g)) << text;
    EXPECT_EQ(g, GUID_NULL) << text;
  }
  const WCHAR wideLong[] = u"{56A86895-0AD4-11CE-B03A-0020AF0BA770}{56A86895}";
  CLSID c{};
  EXPECT_EQ(CLSIDFromString(wideLong, &c), CO_E_CLASSSTRING);
  const WCHAR wideNonAscii[] = u"{56A86895-0AD4-11CE-B03A-0020AF0BA77\u0660}";
  EXPECT_EQ(CLSIDFromString(wideNonAscii, &c), CO_E_CLASSSTRING);
}

TEST(Guid, OrdersByFieldsForUseAsKey) {
  GUID a = kSample;
  GUID b = kSample;
  b.Data4[7] = 0x71;
  EXPECT_LT(a, b);
  EXPECT_NE(a, b);
  EXPECT_NE(std::hash<GUID>()(a), std::hash<GUID>()(b));
}

}  // namespace

#include <gtest/gtest.h>

#include "com/automation.h"

namespace {

TEST(Bstr, KeepsLengthIncludingEmbeddedZeros) {
  const WCHAR text[] = {u'a', 0, u'b'};
  BSTR s = SysAllocStringLen(text, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[2], u'b');
  EXPECT_EQ(s[3], 0) << "a zero follows the characters";
  SysFreeString(s);

  BSTR hello = SysAllocString(u"hello");
  EXPECT_EQ(SysStringLen(hello), 5u);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);

  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = hello;
  EXPECT_EQ(VariantClear(&v), S_OK);  // frees the string (checked by the leak sanitizer)
  EXPECT_EQ(v.vt, VT_EMPTY);
}

}  // namespace

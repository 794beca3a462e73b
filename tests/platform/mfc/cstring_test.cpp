#include <gtest/gtest.h>

#include "mfc/cstring.h"
#include "support/fixture_module.h"

namespace {

TEST(CStringText, FormatTakesWideAndNarrowTextAndWindowsWidths) {
  CString s;
  s.Format(u"%s=%d, %hs %05.1f %ld %c %%", u"ch", -42, "utf8", 3.14159, 123456, u'Z');
  EXPECT_EQ(s, CString(u"ch=-42, utf8 003.1 123456 Z %"));
  s.Format("%-4s|%3d|%x", u"\u00e9", 7, 255u);
  EXPECT_EQ(s, CString(u"\u00e9   |  7|ff"));
  EXPECT_EQ(s.ToUtf8(), "\xc3\xa9   |  7|ff");
}

TEST(CStringText, PiecesSearchesTrimAndCase) {
  CString s(u"  Channel 12 ");
  s.Trim();
  EXPECT_EQ(s, CString(u"Channel 12"));
  EXPECT_EQ(s.Left(4), CString(u"Chan"));
  EXPECT_EQ(s.Right(2), CString(u"12"));
  EXPECT_EQ(s.Mid(8), CString(u"12"));
  EXPECT_EQ(s.Mid(2, 3), CString(u"ann"));
  EXPECT_EQ(s.Mid(50), CString());
  EXPECT_EQ(s.Left(-1), CString());
  EXPECT_EQ(s.Find(u'n'), 3);
  EXPECT_EQ(s.Find(u'n', 4), 4);
  EXPECT_EQ(s.Find(u"12"), 8);
  EXPECT_EQ(s.Find(u'x'), -1);
  EXPECT_EQ(s.ReverseFind(u'n'), 4);
  EXPECT_EQ(CString(s).MakeUpper(), CString(u"CHANNEL 12"));
  EXPECT_EQ(CString(s).MakeLower(), CString(u"channel 12"));
  EXPECT_EQ(s.CompareNoCase(u"CHANNEL 12"), 0);
  EXPECT_NE(s.Compare(u"CHANNEL 12"), 0);
  EXPECT_LT(CString(u"a"), CString(u"b"));
  EXPECT_EQ(s.GetLength(), 10);
}

TEST(CStringText, LoadStringComesFromTheResourceChain) {
  CString s(u"kept");
  {
    tlx::resources::ModuleBuilder builder;
    builder.String(57344, "Player");
    mfc_test::FixtureModule fixtures(builder);
    EXPECT_TRUE(s.LoadString(57344));
    EXPECT_EQ(s, CString(u"Player"));
    EXPECT_FALSE(s.LoadString(1));
    EXPECT_EQ(s, CString(u"Player"));
  }
  EXPECT_FALSE(s.LoadString(57344));
}

}  // namespace

// The limit edit, the transparent static and the text drawing in a dialog,
// offscreen: what they show is read from the control and from grabbed pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <memory>

#include "common/tlx_pc_cmn_draw_text.h"
#include "common/tlx_pc_cmn_limit_edit.h"
#include "common/tlx_pc_cmn_transparent_static.h"
#include "open_dialog.h"
#include "support/fixture_module.h"
#include "support/gui_app.h"

namespace {

using mfc_test::PumpUntil;

constexpr UINT kDialog = 320;
constexpr int kEdit = 11, kOther = 12, kStatic = 13;
constexpr COLORREF kRed = RGB(255, 0, 0);

QByteArray Template() {
  return R"({"id": 320, "caption": "Text", "size": [220, 140],
             "font": {"face": "DejaVu Sans", "size": 14, "weight": 400},
             "controls": [
               {"id": 11, "class": "Edit", "text": "", "rect": [10, 10, 120, 24], "style": 1342242816},
               {"id": 12, "class": "Edit", "text": "", "rect": [10, 40, 120, 24], "style": 1342242816},
               {"id": 13, "class": "Static", "text": "MMMM", "rect": [10, 80, 120, 30], "style": 1342177280}]})";
}

class TextDialog : public CDialog {
 public:
  TextDialog() : CDialog(kDialog) {}
  CTlxPcCmnLimitEdit m_edit;
  CEdit m_other;
  CTlxPcCmnTransparentStatic m_static;

 protected:
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, kEdit, m_edit);
    DDX_Control(dx, kOther, m_other);
    DDX_Control(dx, kStatic, m_static);
  }
  // The dialog's background is red, for the transparent static to show.
  BOOL OnEraseBkgnd(CDC* dc) override {
    CRect client;
    GetClientRect(&client);
    dc->FillSolidRect(&client, kRed);
    return TRUE;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TextDialog, CDialog)
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

class TextControls : public ::testing::Test {
 protected:
  void SetUp() override {
    mfc_test::EnsureApp();
    tlx::resources::ModuleBuilder builder;
    builder.Resource("dialogs", kDialog, Template());
    fixtures_ = std::make_unique<mfc_test::FixtureModule>(builder);
    ASSERT_TRUE(OpenDialog(dlg_, kDialog));
  }
  void TearDown() override {
    dlg_.DestroyWindow();
    fixtures_.reset();
  }
  QLineEdit* Edit() { return qobject_cast<QLineEdit*>(dlg_.m_edit.GetWidget()); }
  void Focus(CWnd& wnd) {
    wnd.SetFocus();
    ASSERT_TRUE(PumpUntil([&] { return wnd.GetWidget()->hasFocus(); }));
  }

  std::unique_ptr<mfc_test::FixtureModule> fixtures_;
  TextDialog dlg_;
};

TEST_F(TextControls, TypingStopsAtTheByteLimitAndKeepsTheCaret) {
  ASSERT_NE(Edit(), nullptr);
  dlg_.m_edit.SetLimitTextSjis(4);
  Focus(dlg_.m_edit);
  QTest::keyClicks(Edit(), "abcde");
  EXPECT_EQ(Edit()->text(), "abcd");
  EXPECT_EQ(Edit()->cursorPosition(), 4);
  EXPECT_EQ(dlg_.m_edit.GetCountSjis(), 4);

  // A character typed in the middle pushes the last one out; the caret stays after it.
  Edit()->setCursorPosition(2);
  QTest::keyClicks(Edit(), "X");
  EXPECT_EQ(Edit()->text(), "abXc");
  EXPECT_EQ(Edit()->cursorPosition(), 3);

  dlg_.m_edit.SetLimitTextSjis(-1);
  QTest::keyClicks(Edit(), "yz");
  EXPECT_EQ(Edit()->text(), "abXyzc");
}

TEST_F(TextControls, APastedTextKeepsOnlyTheAllowedCharacters) {
  dlg_.m_edit.vSetAllowingCodes(u'0', u':');
  Focus(dlg_.m_edit);
  QApplication::clipboard()->setText("12a3");
  QTest::keyClick(Edit(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(Edit()->text(), "123");
  EXPECT_EQ(Edit()->cursorPosition(), 3);
}

TEST_F(TextControls, WithoutTheInputMethodItIsOffOnlyWhileFocused) {
  dlg_.m_edit.vEnableIME(FALSE);
  Focus(dlg_.m_other);
  EXPECT_TRUE(Edit()->testAttribute(Qt::WA_InputMethodEnabled));
  Focus(dlg_.m_edit);
  EXPECT_FALSE(Edit()->testAttribute(Qt::WA_InputMethodEnabled));
  Focus(dlg_.m_other);
  EXPECT_TRUE(Edit()->testAttribute(Qt::WA_InputMethodEnabled));
}

// The static's area as shown in the dialog.
QImage StaticArea(TextDialog& dlg) {
  CRect r;
  dlg.m_static.GetWindowRect(&r);
  dlg.ScreenToClient(&r);
  const QPoint origin = dlg.m_static.GetWidget()->mapTo(dlg.GetWidget(), QPoint(0, 0));
  return dlg.GetWidget()->grab(QRect(origin, QSize(r.Width(), r.Height()))).toImage();
}

int CountColour(const QImage& image, const QColor& colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == colour;
  }
  return n;
}

TEST_F(TextControls, TheTransparentStaticShowsItsTextOverTheParentOrOverItsColour) {
  dlg_.m_static.vSetTextColor(RGB(0, 0, 255));
  ASSERT_TRUE(PumpUntil([&] { return CountColour(StaticArea(dlg_), QColor(0, 0, 255)) > 0; }));
  QImage shown = StaticArea(dlg_);
  EXPECT_EQ(shown.pixelColor(shown.width() - 2, shown.height() - 2), QColor(255, 0, 0));
  EXPECT_EQ(CountColour(shown, QColor(255, 255, 255)), 0);

  dlg_.m_static.vSetBkgMode(0);  // solid, white until a colour is set
  ASSERT_TRUE(PumpUntil([&] {
    const QImage s = StaticArea(dlg_);
    return s.pixelColor(s.width() - 2, s.height() - 2) == QColor(255, 255, 255);
  }));
  dlg_.m_static.vSetBkgColor(RGB(0, 255, 0));
  ASSERT_TRUE(PumpUntil([&] {
    const QImage s = StaticArea(dlg_);
    return s.pixelColor(s.width() - 2, s.height() - 2) == QColor(0, 255, 0);
  }));
  shown = StaticArea(dlg_);
  EXPECT_GT(CountColour(shown, QColor(0, 0, 255)), 0);
  EXPECT_EQ(CountColour(shown, QColor(255, 0, 0)), 0);
}

// Draws into a white image through a memory DC in the dialog's font.
class ImageDc {
 public:
  ImageDc(CFont* font, int width, int height) {
    bitmap_.Attach(QImage(width, height, QImage::Format_RGB32));
    dc_.CreateCompatibleDC(nullptr);
    dc_.SelectObject(&bitmap_);
    dc_.FillSolidRect(0, 0, width, height, RGB(255, 255, 255));
    dc_.SelectObject(font);
  }
  CDC& dc() { return dc_; }
  QImage Finish() {
    dc_.SelectObject(static_cast<CBitmap*>(nullptr));
    return bitmap_.image();
  }

 private:
  CBitmap bitmap_;
  CDC dc_;
};

TEST_F(TextControls, DrawTextWrapsAlignsAndEndsWithAnEllipsisAsTheLinesWouldBeDrawnByHand) {
  CFont* font = dlg_.GetFont();
  ASSERT_NE(font, nullptr);
  ImageDc probe(font, 10, 10);
  const int height = CTlxPcCmnDrawText::nGetTextHeight(probe.dc());
  ASSERT_GT(height, 0);
  const int width = probe.dc().GetTextExtent(CString(u"Play List ")).cx + 2;
  probe.Finish();

  struct Case {
    const char16_t* text;
    int lines;
    UINT align;
    std::vector<const char16_t*> expected;
  } cases[] = {
      {u"Play\nList", 3, CMNPOS_HCENTER | CMNPOS_VCENTER, {u"Play", u"List"}},
      {u"Play List Play List", 2, CMNPOS_RIGHT | CMNPOS_BOTTOM, {u"Play List", u"Play List"}},
      {u"Play List Play List Stop", 2, CMNPOS_LEFT | CMNPOS_TOP, {u"Play List", u"Play Lis..."}},
  };
  for (const Case& c : cases) {
    const CRect rect(4, 4, 4 + width, 4 + 3 * height);
    ImageDc drawn(font, width + 8, 3 * height + 8);
    drawn.dc().SetTextColor(0);
    RECT r = rect;
    CTlxPcCmnDrawText::vDrawText(&drawn.dc(), c.text, &r, c.align, c.lines);

    ImageDc byHand(font, width + 8, 3 * height + 8);
    byHand.dc().SetTextColor(0);
    byHand.dc().SetBkMode(TRANSPARENT);
    CRect area = rect;
    CString last = CTlxPcCmnDrawText::strAddEllipsis(byHand.dc(), area, CString(u"Play List Stop"));
    int y = CTlxPcCmnDrawText::nGetYStartPos(area, height, static_cast<int>(c.expected.size()), c.align);
    for (const char16_t* text : c.expected) {
      CString line(text);
      if (line == CString(u"Play Lis...")) line = last;
      byHand.dc().TextOut(CTlxPcCmnDrawText::nGetXStartPos(area, byHand.dc(), line, c.align), y, line);
      y += height;
    }
    EXPECT_EQ(drawn.Finish(), byHand.Finish()) << QString::fromUtf16(c.text).toStdString();
  }
}

}  // namespace

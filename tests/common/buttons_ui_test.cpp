// The tooltip and image buttons in a dialog, offscreen: what they draw is read
// from the pixels of a grab.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QRawFont>
#include <QTest>
#include <QToolTip>
#include <QWidget>
#include <memory>

#include "common/tlx_pc_cmn_img_btn.h"
#include "open_dialog.h"
#include "support/fixture_module.h"
#include "support/gui_app.h"

namespace {

using mfc_test::PumpUntil;

constexpr UINT kDialog = 300;
constexpr UINT kTipText = 301;
constexpr UINT kImageBase = 61000;  // kImageBase + slot: a solid image per slot
// Not IDOK or IDCANCEL, which would end the dialog.
constexpr int kPush = 11, kCheck = 12, kRadioA = 13, kRadioB = 14, kRadioC = 15, kAfter = 16, kTip = 17;
constexpr int kWidth = 40, kHeight = 24;

// The colour of each image slot.
const QColor kSlot[IMG_COUNT] = {
    QColor(0xD0, 0x20, 0x20), QColor(0x80, 0x10, 0x10), QColor(0x20, 0xC0, 0x20), QColor(0x10, 0x60, 0x10),
    QColor(0x20, 0x20, 0xD0), QColor(0x10, 0x10, 0x70), QColor(0x90, 0x90, 0x90), QColor(0x50, 0x50, 0x50),
    QColor(0xE0, 0xE0, 0x20), QColor(0x70, 0x70, 0x10), QColor(0xD0, 0x20, 0xD0)};

QByteArray Template() {
  auto control = [](int id, DWORD style, int y) {
    return "{\"id\": " + QByteArray::number(id) + ", \"class\": \"Button\", \"text\": \"Go\", \"rect\": [10, " +
           QByteArray::number(y) + ", " + QByteArray::number(kWidth) + ", " + QByteArray::number(kHeight) +
           "], \"style\": " + QByteArray::number(static_cast<qulonglong>(style | WS_VISIBLE)) + "}";
  };
  return "{\"id\": 300, \"caption\": \"Buttons\", \"size\": [200, 260],"
         " \"font\": {\"face\": \"DejaVu Sans\", \"size\": 14, \"weight\": 400},"
         " \"controls\": [" +
         control(kPush, WS_TABSTOP | BS_PUSHBUTTON, 10) + "," + control(kCheck, WS_TABSTOP | BS_AUTOCHECKBOX, 40) +
         "," + control(kRadioA, WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 70) + "," +
         control(kRadioB, BS_AUTORADIOBUTTON, 100) + "," + control(kRadioC, BS_AUTORADIOBUTTON, 130) + "," +
         control(kAfter, WS_GROUP | BS_AUTORADIOBUTTON, 160) + "," + control(kTip, WS_GROUP | BS_PUSHBUTTON, 190) +
         "]}";
}

// The pointer leaves the widget (QTest moves it over a widget without the
// window system's enter and leave).
void Leave(QWidget* w) {
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(w, &leave);
}

class ButtonsDialog : public CDialog {
 public:
  ButtonsDialog() : CDialog(kDialog) {}
  CTlxPcCmnImgBtn m_push, m_check, m_radioA, m_radioB, m_radioC, m_after;
  CTlxPcCmnToolTipBtn m_tip;
  CTlxPcCmnImgBtn* Buttons[6] = {&m_push, &m_check, &m_radioA, &m_radioB, &m_radioC, &m_after};

 protected:
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, kPush, m_push);
    DDX_Control(dx, kCheck, m_check);
    DDX_Control(dx, kRadioA, m_radioA);
    DDX_Control(dx, kRadioB, m_radioB);
    DDX_Control(dx, kRadioC, m_radioC);
    DDX_Control(dx, kAfter, m_after);
    DDX_Control(dx, kTip, m_tip);
  }
};

class ImgButtons : public ::testing::Test {
 protected:
  void SetUp() override {
    mfc_test::EnsureApp();
    tlx::resources::ModuleBuilder builder;
    builder.Resource("dialogs", kDialog, Template());
    builder.String(kTipText, "Switch the input");
    for (int slot = 0; slot < IMG_COUNT; ++slot) {
      QImage image(kWidth, kHeight, QImage::Format_RGB32);
      image.fill(kSlot[slot]);
      builder.Resource("IMAGE", kImageBase + slot, mfc_test::Png(image));
    }
    fixtures_ = std::make_unique<mfc_test::FixtureModule>(builder);
    ASSERT_TRUE(OpenDialog(dlg_, kDialog));
    dlg_.m_tip.SetFocus();  // no image button has the focus
  }
  void TearDown() override {
    dlg_.DestroyWindow();
    fixtures_.reset();
  }
  static BOOL LoadAll(CTlxPcCmnImgBtn& button) {
    UINT id[IMG_COUNT];
    for (int slot = 0; slot < IMG_COUNT; ++slot) id[slot] = kImageBase + slot;
    return button.bSetBtnImg(id[0], id[1], id[2], id[3], id[4], id[5], id[6], id[7], id[8], id[9], id[10]);
  }
  static QColor Shown(CWnd& button) { return button.GetWidget()->grab().toImage().pixelColor(2, 2); }

  std::unique_ptr<mfc_test::FixtureModule> fixtures_;
  ButtonsDialog dlg_;
};

TEST_F(ImgButtons, EachStateDrawsItsImage) {
  CTlxPcCmnImgBtn& check = dlg_.m_check;
  ASSERT_TRUE(LoadAll(check));
  QWidget* w = check.GetWidget();
  EXPECT_EQ(Shown(check), kSlot[IMG_NORMAL]);

  QTest::mouseMove(w, QPoint(5, 5));
  ASSERT_TRUE(PumpUntil([&] { return Shown(check) == kSlot[IMG_HOVER]; }));
  QTest::mousePress(w, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(Shown(check), kSlot[IMG_PRESSED]);
  QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(check.GetCheck(), BST_CHECKED);
  EXPECT_EQ(Shown(check), kSlot[IMG_HOVER_CHECKED]);

  Leave(w);
  dlg_.m_push.SetFocus();
  ASSERT_FALSE(w->hasFocus());
  EXPECT_EQ(Shown(check), kSlot[IMG_NORMAL_CHECKED]);
  check.SetFocus();
  ASSERT_TRUE(w->hasFocus());
  EXPECT_EQ(Shown(check), kSlot[IMG_FOCUS_CHECKED]);
  check.EnableWindow(FALSE);
  EXPECT_EQ(Shown(check), kSlot[IMG_DISABLED_CHECKED]);
  check.SetCheck(BST_UNCHECKED);
  EXPECT_EQ(Shown(check), kSlot[IMG_DISABLED]);

  // Only a normal image: every state draws it.
  ASSERT_TRUE(check.bSetBtnImg(kImageBase, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(Shown(check), kSlot[IMG_NORMAL]);
  check.SetCheck(BST_CHECKED);
  EXPECT_EQ(Shown(check), kSlot[IMG_NORMAL]);
  // A missing image fails the load, the others stay.
  EXPECT_FALSE(check.bSetBtnImg(kImageBase, 0, kImageBase + 99, 0, 0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(Shown(check), kSlot[IMG_NORMAL]);
  EXPECT_FALSE(check.bSetBtnImg(kImageBase + 99, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
  CSize size;
  EXPECT_FALSE(check.bGetImgSize(&size));
}

TEST_F(ImgButtons, ChecksFollowTheButtonsKind) {
  for (CTlxPcCmnImgBtn* button : dlg_.Buttons) ASSERT_TRUE(LoadAll(*button));
  // The template's logical style became the kind; the window is owner-drawn.
  EXPECT_EQ(dlg_.m_check.GetButtonStyle(), BS_OWNERDRAW);

  dlg_.m_push.SendMessage(BM_SETCHECK, BST_CHECKED);
  EXPECT_EQ(dlg_.m_push.GetCheck(), BST_UNCHECKED);

  // A check box released outside does not toggle; a click and space do.
  QWidget* check = dlg_.m_check.GetWidget();
  QTest::mousePress(check, Qt::LeftButton, {}, QPoint(5, 5));
  QTest::mouseRelease(check, Qt::LeftButton, {}, QPoint(kWidth + 20, 5));
  EXPECT_EQ(dlg_.m_check.GetCheck(), BST_UNCHECKED);
  QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(dlg_.m_check.GetCheck(), BST_CHECKED);
  QTest::keyClick(check, Qt::Key_Space);
  EXPECT_EQ(dlg_.m_check.GetCheck(), BST_UNCHECKED);
  QTest::keyClick(check, Qt::Key_Space);
  EXPECT_EQ(dlg_.m_check.GetCheck(), BST_CHECKED);

  // A radio button clears the others of its group (not the next group) and
  // stays checked when clicked again.
  // The others are cleared by posted messages.
  dlg_.m_radioC.SetCheck(BST_CHECKED);
  mfc_test::PumpFor(20);
  dlg_.m_radioA.SetCheck(BST_CHECKED);
  dlg_.m_after.SetCheck(BST_CHECKED);
  ASSERT_TRUE(PumpUntil([&] { return dlg_.m_radioC.GetCheck() == BST_UNCHECKED; }));
  EXPECT_EQ(dlg_.m_radioA.GetCheck(), BST_CHECKED);
  QTest::mouseClick(dlg_.m_radioB.GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_TRUE(PumpUntil([&] { return dlg_.m_radioA.GetCheck() == BST_UNCHECKED; }));
  EXPECT_EQ(dlg_.m_radioB.GetCheck(), BST_CHECKED);
  EXPECT_EQ(Shown(dlg_.m_radioA), kSlot[IMG_NORMAL]);
  QTest::mouseClick(dlg_.m_radioB.GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
  mfc_test::PumpFor(50);
  EXPECT_EQ(dlg_.m_radioB.GetCheck(), BST_CHECKED);
  EXPECT_EQ(dlg_.m_after.GetCheck(), BST_CHECKED);
}

TEST_F(ImgButtons, TheBlinkImageAlternatesWithTheNormalImageUntilStopped) {
  CTlxPcCmnImgBtn& push = dlg_.m_push;
  ASSERT_TRUE(LoadAll(push));
  push.vBlinkButton(TRUE);
  push.SendMessage(WM_TIMER, 12);  // not the blink timer
  EXPECT_EQ(Shown(push), kSlot[IMG_NORMAL]);
  push.SendMessage(WM_TIMER, 11);
  EXPECT_EQ(Shown(push), kSlot[IMG_BLINK]);
  push.SendMessage(WM_TIMER, 11);
  EXPECT_EQ(Shown(push), kSlot[IMG_NORMAL]);
  push.SendMessage(WM_TIMER, 11);
  EXPECT_EQ(Shown(push), kSlot[IMG_BLINK]);
  push.vBlinkButton(FALSE);
  EXPECT_EQ(Shown(push), kSlot[IMG_NORMAL]);
  push.SendMessage(WM_TIMER, 11);  // stopped: the tick is no longer the button's
  EXPECT_EQ(Shown(push), kSlot[IMG_NORMAL]);
}

TEST_F(ImgButtons, TheTextIsMeasuredAndDrawnInTheDialogsFont) {
  CTlxPcCmnImgBtn& push = dlg_.m_push;
  ASSERT_TRUE(LoadAll(push));
  ASSERT_NE(dlg_.GetFont(), nullptr);
  QFontMetrics metrics(dlg_.GetFont()->qfont());
  CSize text;
  ASSERT_TRUE(push.bGetTxtSize(&text));
  EXPECT_EQ(text.cx, metrics.horizontalAdvance("Go"));
  EXPECT_EQ(text.cy, metrics.height());

  push.vSetShowText(TRUE, CTlxPcCmnImgBtn::POS_RIGHT, 8);
  CSize preferred;
  ASSERT_TRUE(push.bGetPreferredSize(&preferred));
  EXPECT_EQ(preferred.cx, kWidth + 8 + text.cx);
  EXPECT_EQ(preferred.cy, kHeight);
  ASSERT_TRUE(push.bSizeToContent());
  CRect rect;
  push.GetClientRect(&rect);
  EXPECT_EQ(rect.Width(), preferred.cx);

  // White text right of the image, on the background colour.
  push.vSetTextColor(RGB(255, 255, 255), 0, 0, 0, 0);
  push.vSetBkgColor(RGB(0, 0, 0));
  QImage shot = push.GetWidget()->grab().toImage();
  int white = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = kWidth + 8; x < shot.width(); ++x) white += shot.pixelColor(x, y).lightness() > 128;
  EXPECT_GT(white, 10);
  EXPECT_EQ(shot.pixelColor(2, 2), kSlot[IMG_NORMAL]);

  push.SetWindowText(CString());
  EXPECT_FALSE(push.bGetTxtSize(&text));
  EXPECT_FALSE(push.bGetPreferredSize(&preferred));
  EXPECT_TRUE(push.bSetText(kTipText));
  EXPECT_EQ(push.GetWindowTextString(), CString(u"Switch the input"));
  EXPECT_FALSE(push.bSetText(kTipText + 50));
}

TEST_F(ImgButtons, TheTooltipHoldsItsStringAndHidesOnLeave) {
  CTlxPcCmnToolTipBtn& tip = dlg_.m_tip;
  QWidget* w = tip.GetWidget();
  ASSERT_TRUE(tip.bSetToolTipText(kTipText));
  EXPECT_EQ(w->toolTip(), "Switch the input");
  QTest::mouseMove(w, QPoint(5, 5));
  QToolTip::showText(w->mapToGlobal(QPoint(5, 5)), w->toolTip(), w);
  ASSERT_TRUE(PumpUntil([] { return QToolTip::isVisible(); }));
  Leave(w);
  EXPECT_TRUE(PumpUntil([] { return !QToolTip::isVisible(); }));
  ASSERT_TRUE(tip.bSetToolTipText(kDialog));  // no such string: an empty tip
  EXPECT_TRUE(w->toolTip().isEmpty());
}

// The region's UI face (string 20951) has kana, kanji and Latin, and a
// Japanese caption drawn in it shows glyphs.
TEST_F(ImgButtons, AJapaneseCaptionIsDrawnInTheRegionsFace) {
  HINSTANCE region = TlxPcLoadResourceLibrary("TlxPcResourceJP.dll");
  ASSERT_NE(region, nullptr);
  WCHAR face[LF_FACESIZE] = {};
  ASSERT_GT(LoadStringW(region, 20951, face, LF_FACESIZE), 0);
  TlxPcFreeResourceLibrary(region);
  LOGFONT lf{};
  lf.lfHeight = -16;
  lf.lfWeight = FW_BOLD;
  std::copy(face, face + LF_FACESIZE, lf.lfFaceName);
  CFont font;
  ASSERT_TRUE(font.CreateFontIndirect(&lf));
  QRawFont raw = QRawFont::fromFont(font.qfont());
  EXPECT_EQ(raw.familyName(), QString::fromUtf16(face));
  for (char16_t c : u"ほ漢A") {
    if (c != 0) EXPECT_TRUE(raw.supportsCharacter(QChar(c))) << static_cast<int>(c);
  }

  CTlxPcCmnImgBtn& push = dlg_.m_push;
  ASSERT_TRUE(LoadAll(push));
  push.SetFont(&font);
  push.SetWindowText(CString(u"接続"));
  push.vSetShowText(TRUE, CTlxPcCmnImgBtn::POS_OVER, 0);
  push.vSetTextColor(RGB(255, 255, 255), 0, 0, 0, 0);
  EXPECT_EQ(QFontInfo(push.GetWidget()->font()).family(), QString::fromUtf16(face));
  QImage shot = push.GetWidget()->grab().toImage();
  int ink = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) ink += shot.pixelColor(x, y) != kSlot[IMG_NORMAL];
  EXPECT_GT(ink, 20);
  push.SetFont(nullptr);
}

}  // namespace

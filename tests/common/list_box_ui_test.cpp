// The image list box in a dialog, offscreen: what it draws is read from the
// pixels of a grab or of a memory DC it erases.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QTest>
#include <QWidget>
#include <memory>

#include "common/tlx_pc_cmn_img_list_box.h"
#include "open_dialog.h"
#include "support/fixture_module.h"
#include "support/gui_app.h"

namespace {

using mfc_test::PumpUntil;

constexpr UINT kDialog = 320;
constexpr int kList = 21;
constexpr int kRowWidth = 200, kRowHeight = 32;
constexpr int kIconX = 4, kTextX = 40, kTextWidth = 100, kMarkX = 150;
constexpr int kBackX = 190;  // where only the row background shows
// Images and icons by id.
constexpr UINT kNormal = 62000, kSelected = 62001, kHover = 62002;
constexpr UINT kFamily1 = 62010;  // normal, selected, hover
constexpr UINT kFamily2 = 62020;
constexpr UINT kMarks = 62030;  // five
const QColor kNormalBg(0x40, 0x40, 0x48), kSelectedBg(0x20, 0x60, 0xA0), kHoverBg(0x60, 0x90, 0x30);
const QColor kFamily1Colour[3] = {QColor(0xF0, 0x80, 0x10), QColor(0xE0, 0x10, 0x10), QColor(0xF0, 0xF0, 0x10)};
const QColor kFamily2Colour[3] = {QColor(0x10, 0xC0, 0xC0), QColor(0x80, 0x10, 0xC0), QColor(0xC0, 0x10, 0x80)};
const QColor kMarkColour[5] = {QColor(0x11, 0x22, 0x33), QColor(0x44, 0x55, 0x66), QColor(0x77, 0x88, 0x99),
                               QColor(0xAA, 0xBB, 0xCC), QColor(0xDD, 0xEE, 0xFF)};

QByteArray Solid(int width, int height, const QColor& colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return mfc_test::Png(image);
}

class ListDialog : public CDialog {
 public:
  ListDialog() : CDialog(kDialog) {}
  CTlxPcCmnImgListBox m_list;
  int selChanges = 0;

 protected:
  void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kList, m_list); }
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
    if (LOWORD(wParam) == kList && HIWORD(wParam) == LBN_SELCHANGE) ++selChanges;
    return CDialog::OnCommand(wParam, lParam);
  }
};

class ImgListBox : public ::testing::Test {
 protected:
  void SetUp() override {
    mfc_test::EnsureApp();
    tlx::resources::ModuleBuilder builder;
    DWORD style = WS_VISIBLE | WS_TABSTOP | LBS_OWNERDRAWFIXED | LBS_WANTKEYBOARDINPUT;
    builder.Resource("dialogs", kDialog,
                     "{\"id\": 320, \"size\": [260, 300], \"style\": {\"visible\": true}, \"controls\": ["
                     "{\"id\": 21, \"class\": \"ListBox\", \"rect\": [10, 10, 200, 260], \"style\": " +
                         QByteArray::number(static_cast<qulonglong>(style)) +
                         "}, {\"id\": 22, \"class\": \"Edit\", \"rect\": [10, 275, 100, 20], \"style\": " +
                         QByteArray::number(static_cast<qulonglong>(WS_VISIBLE | WS_TABSTOP)) + "}]}");
    builder.String(20951, "DejaVu Sans");
    builder.String(19116, "Properties");
    builder.Resource("IMAGE", kNormal, Solid(kRowWidth, kRowHeight, kNormalBg));
    builder.Resource("IMAGE", kSelected, Solid(kRowWidth, kRowHeight, kSelectedBg));
    builder.Resource("IMAGE", kHover, Solid(kRowWidth, kRowHeight, kHoverBg));
    for (int i = 0; i < 3; ++i) {
      builder.Resource("ICON", kFamily1 + i, Solid(32, 32, kFamily1Colour[i]));
      builder.Resource("ICON", kFamily2 + i, Solid(32, 32, kFamily2Colour[i]));
    }
    for (int i = 0; i < 5; ++i) builder.Resource("ICON", kMarks + i, Solid(32, 32, kMarkColour[i]));
    fixtures_ = std::make_unique<mfc_test::FixtureModule>(builder);
    ASSERT_TRUE(OpenDialog(dlg_, kDialog));
  }
  void TearDown() override {
    dlg_.DestroyWindow();
    fixtures_.reset();
  }
  // Backgrounds, colours, icons, `rows` rows.
  void Build(int rows, int backRows, UINT attributes) {
    CTlxPcCmnImgListBox& list = dlg_.m_list;
    list.BuildBackItem(kNormal, kSelected, kHover);
    list.BuildTextColor(RGB(255, 255, 255), RGB(255, 255, 0), RGB(0, 0, 0), kTextX, kTextWidth, 0);
    // The icons come as normal, selected, hover.
    list.BuildHXR1IconItem(kFamily1 + 1, kFamily1, kFamily1 + 2, kIconX);
    list.BuildHXR2IconItem(kFamily2 + 1, kFamily2, kFamily2 + 2, kIconX);
    list.BuildPrptyIconItem(kMarks, kMarks + 1, kMarks + 2, kMarks + 3, kMarks + 4, kMarkX);
    list.ConfigAttribs(backRows, attributes);
    for (int i = 0; i < rows; ++i) {
      int row = list.AddListItem();
      CExtItem item(CString(u"Station"), i % 2 == 0 ? 2 : 3, i % 2);
      list.SetListItem(row, &item);
    }
  }
  LRESULT Mouse(UINT message, int x, int y) { return dlg_.m_list.SendMessage(message, 0, MAKELPARAM(x, y)); }
  // The pointer over the list at client point (x, y), as the user moves and
  // clicks it.
  QWidget* Viewport() { return static_cast<QListWidget*>(dlg_.m_list.GetWidget())->viewport(); }
  QPoint Over(int x, int y) { return QPoint(x, y) - Viewport()->pos(); }
  void Move(int x, int y) { QTest::mouseMove(Viewport(), Over(x, y)); }
  void Click(int x, int y) { QTest::mouseClick(Viewport(), Qt::LeftButton, {}, Over(x, y)); }
  // The colour at (x, y) of row `row` in a grab.
  QColor At(int row, int x, int y) {
    CRect rect;
    dlg_.m_list.GetItemRect(row, &rect);
    return dlg_.m_list.GetWidget()->grab().toImage().pixelColor(rect.left + x, rect.top + y);
  }

  std::unique_ptr<mfc_test::FixtureModule> fixtures_;
  ListDialog dlg_;
};

TEST_F(ImgListBox, AShortListErasesToItsBackgroundRowsAndALongerOneByDefault) {
  Build(2, 6, 0);
  auto erase = [&](QImage* out) {
    CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(nullptr, kRowWidth, 300);
    bitmap.image().fill(Qt::white);
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    dc.SelectObject(&bitmap);
    LRESULT answer = dlg_.m_list.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()));
    dc.SelectObject(static_cast<CBitmap*>(nullptr));
    *out = bitmap.image();
    return answer;
  };
  QImage shot;
  EXPECT_TRUE(erase(&shot));
  for (int row = 0; row < 6; ++row) EXPECT_EQ(shot.pixelColor(5, row * kRowHeight + 5), kNormalBg) << row;
  EXPECT_EQ(shot.pixelColor(5, 6 * kRowHeight + 5), QColor(Qt::white));

  // On screen: 2 rows drawn, then 4 background rows, then the list's base.
  QImage screen = dlg_.m_list.GetWidget()->grab().toImage();
  for (int row = 2; row < 6; ++row) EXPECT_EQ(screen.pixelColor(kBackX, row * kRowHeight + 5), kNormalBg) << row;
  EXPECT_NE(screen.pixelColor(kBackX, 6 * kRowHeight + 5), kNormalBg);

  for (int i = 0; i < 5; ++i) dlg_.m_list.AddListItem();
  erase(&shot);
  EXPECT_EQ(shot.pixelColor(5, 5), QColor(Qt::white));  // 7 rows: the list's own erase
  screen = dlg_.m_list.GetWidget()->grab().toImage();
  EXPECT_NE(screen.pixelColor(kBackX, 7 * kRowHeight + 5), kNormalBg);
}

TEST_F(ImgListBox, BackgroundRowsComeFirstThenTheAttributes) {
  Build(2, 8, LBATTR_CLICKSELECT);
  Move(20, kRowHeight + 5);  // no hover selection
  EXPECT_EQ(dlg_.m_list.GetCurSel(), -1);
  Click(20, kRowHeight + 5);
  EXPECT_EQ(dlg_.m_list.GetCurSel(), 1);
  // Selected by a click, left of the mark: the selected look and the fifth mark.
  EXPECT_EQ(At(1, kBackX, 5), kSelectedBg);
  EXPECT_EQ(At(1, kMarkX + 16, 16), kMarkColour[4]);
  EXPECT_EQ(At(1, kIconX + 16, 16), kFamily2Colour[0]);
  Click(20, 2 * kRowHeight + 5);  // below the rows: nothing
  EXPECT_EQ(dlg_.m_list.GetCurSel(), 1);

  CExtItem out(CString(), 0, 0);
  EXPECT_FALSE(dlg_.m_list.GetListItem(2, &out));
  EXPECT_FALSE(dlg_.m_list.GetListItem(-1, &out));
  ASSERT_TRUE(dlg_.m_list.GetListItem(1, &out));
  EXPECT_EQ(out.m_nIconType, 3);
  EXPECT_TRUE(dlg_.m_list.DeleteListItem(0));
  EXPECT_EQ(dlg_.m_list.GetCount(), 1);
  EXPECT_FALSE(dlg_.m_list.DeleteListItem(1));
}

TEST_F(ImgListBox, HoverSelectsTheRowUnderTheMouseAndBelowTheRowsClearsIt) {
  Build(2, 6, LBATTR_HOVERSELECT);
  Move(20, kRowHeight + 5);
  EXPECT_EQ(dlg_.m_list.GetCurSel(), 1);
  EXPECT_EQ(At(1, kBackX, 5), kHoverBg);
  EXPECT_EQ(At(1, kIconX + 16, 16), kFamily2Colour[2]);
  EXPECT_EQ(At(1, kMarkX + 16, 16), kMarkColour[3]);  // left of the mark: the fourth
  EXPECT_EQ(At(0, kBackX, 5), kNormalBg);
  EXPECT_EQ(At(0, kIconX + 16, 16), kFamily1Colour[1]);
  Move(kMarkX + 5, kRowHeight + 5);  // right of the mark: the third
  EXPECT_EQ(At(1, kMarkX + 16, 16), kMarkColour[2]);
  Move(20, 2 * kRowHeight + 5);
  EXPECT_EQ(dlg_.m_list.GetCurSel(), -1);
  EXPECT_EQ(At(1, kBackX, 5), kNormalBg);
  // Without click selection a click neither selects nor takes the focus.
  dlg_.GetDlgItem(22)->SetFocus();
  Click(20, kRowHeight + 5);
  EXPECT_FALSE(dlg_.m_list.GetWidget()->hasFocus());
  Move(20, 2 * kRowHeight + 5);
  EXPECT_EQ(dlg_.m_list.GetCurSel(), -1);
}

TEST_F(ImgListBox, TheDownKeyMovesTheSelectionAndTheParentHearsIt) {
  Build(3, 6, LBATTR_CLICKSELECT);
  dlg_.m_list.SetCurSel(0);
  dlg_.m_list.SetFocus();
  int heard = dlg_.selChanges;
  QTest::keyClick(dlg_.m_list.GetWidget(), Qt::Key_Down);
  EXPECT_EQ(dlg_.m_list.GetCurSel(), 1);
  EXPECT_GT(dlg_.selChanges, heard);  // the list took it and passed it on
  EXPECT_EQ(At(1, kBackX, 5), kHoverBg);   // selected by a key: the hover look
  EXPECT_EQ(At(0, kBackX, 5), kNormalBg);
  // The row text in its column.
  QImage row = dlg_.m_list.GetWidget()->grab().toImage();
  CRect rect;
  dlg_.m_list.GetItemRect(0, &rect);
  int ink = 0;
  for (int y = rect.top; y < rect.bottom; ++y)
    for (int x = rect.left + kTextX; x < rect.left + kTextX + kTextWidth; ++x) ink += row.pixelColor(x, y) != kNormalBg;
  EXPECT_GT(ink, 20);
  for (int y = rect.top; y < rect.bottom; ++y) EXPECT_EQ(row.pixelColor(rect.left + kTextX - 1, y), kNormalBg);
}

TEST_F(ImgListBox, WithoutABackgroundTheMouseSelectsNothing) {
  CTlxPcCmnImgListBox& list = dlg_.m_list;
  list.ConfigAttribs(6, LBATTR_HOVERSELECT | LBATTR_CLICKSELECT);
  list.AddListItem();
  list.AddListItem();
  Mouse(WM_MOUSEMOVE, 20, 5);
  Mouse(WM_LBUTTONDOWN, 20, 5);
  Mouse(WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(list.GetCurSel(), -1);
}

}  // namespace

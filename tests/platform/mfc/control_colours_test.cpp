#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <map>

#include "support/gui_app.h"

namespace {

constexpr COLORREF kBack = RGB(0x00, 0x97, 0xB0);
constexpr COLORREF kText = RGB(0xFB, 0xE7, 0x41);
constexpr COLORREF kOwnBack = RGB(0x30, 0x10, 0x60);

// Answers its controls' colour requests for the ids in `coloured` and records
// the kind each control asked with.
class ColourParent : public CWnd {
 public:
  ColourParent() {
    mfc_test::EnsureApp();
    CreateEx(0, nullptr, u"colours", WS_POPUP, 0, 0, 300, 200, nullptr, 0);
  }
  std::map<int, UINT> kinds;
  std::set<int> coloured;
  CBrush brush{kBack};

 protected:
  HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT ctlColor) override {
    kinds[control->GetDlgCtrlID()] = ctlColor;
    if (coloured.count(control->GetDlgCtrlID()) == 0) return CWnd::OnCtlColor(dc, control, ctlColor);
    dc->SetTextColor(kText);
    return brush;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ColourParent, CWnd)
  ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

// A static of a common library that chooses its own colours.
class OwnColourStatic : public CStatic {
 public:
  HBRUSH CtlColor(CDC* dc, UINT) {
    dc->SetTextColor(kText);
    return brush_;
  }

 private:
  CBrush brush_{kOwnBack};
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(OwnColourStatic, CStatic)
  ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

QImage Shot(CWnd& wnd) { return wnd.GetWidget()->grab().toImage(); }

int Count(const QImage& image, COLORREF colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == ToQColor(colour);
  return n;
}

TEST(ControlColours, TheParentsBrushAndTextColourPaintTheControlUntilItAnswersNull) {
  ColourParent parent;
  CStatic label;
  ASSERT_TRUE(label.Create(nullptr, u"WWWW", WS_CHILD | WS_VISIBLE, CRect(10, 10, 110, 40), &parent, 50));
  label.GetWidget()->setFont(QFont("Sans", 16, QFont::Bold));
  parent.ShowWindow(SW_SHOW);
  EXPECT_NE(Shot(label).pixelColor(1, 1), ToQColor(kBack));

  parent.coloured = {50};
  Shot(label);  // the request made while painting changes the colours
  QImage shot = Shot(label);
  EXPECT_EQ(shot.pixelColor(1, 1), ToQColor(kBack));
  EXPECT_EQ(shot.pixelColor(99, 29), ToQColor(kBack));
  EXPECT_GT(Count(shot, kText), 10);

  parent.coloured.clear();
  Shot(label);
  EXPECT_NE(Shot(label).pixelColor(1, 1), ToQColor(kBack));
}

TEST(ControlColours, EachControlAsksWithItsKindAndAControlWithItsOwnAnswerIsNotOfferedToTheParent) {
  ColourParent parent;
  CEdit edit;
  CListBox list;
  CButton check;
  CButton push;
  OwnColourStatic own;
  ASSERT_TRUE(edit.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 80, 20), &parent, 1));
  ASSERT_TRUE(list.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 30, 80, 90), &parent, 2));
  ASSERT_TRUE(check.Create(nullptr, u"c", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, CRect(90, 0, 160, 20), &parent, 3));
  ASSERT_TRUE(push.Create(nullptr, u"p", WS_CHILD | WS_VISIBLE, CRect(90, 30, 160, 50), &parent, 4));
  ASSERT_TRUE(own.Create(nullptr, u"own", WS_CHILD | WS_VISIBLE, CRect(90, 60, 160, 90), &parent, 5));
  parent.ShowWindow(SW_SHOW);
  for (CWnd* control : std::initializer_list<CWnd*>{&edit, &list, &check, &push, &own}) Shot(*control);
  EXPECT_EQ(parent.kinds, (std::map<int, UINT>{{1, CTLCOLOR_EDIT},
                                                {2, CTLCOLOR_LISTBOX},
                                                {3, CTLCOLOR_STATIC},
                                                {4, CTLCOLOR_BTN}}));
  EXPECT_EQ(Shot(own).pixelColor(1, 1), ToQColor(kOwnBack));
}

}  // namespace

#include <gtest/gtest.h>

#include <QImage>
#include <QListWidget>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include "support/gui_app.h"

namespace {

constexpr int kListId = 40;
constexpr COLORREF kChosen = RGB(0xC0, 0x30, 0x30);
constexpr COLORREF kOwn = RGB(0x00, 0x97, 0xB0);
const COLORREF kItemColours[] = {RGB(0x10, 0x80, 0x20), RGB(0x20, 0x20, 0xA0), RGB(0xA0, 0xA0, 0x10)};

// Fills an owner-drawn item: the chosen colour when selected, else the colour
// kept as the item's data.
void PaintItem(const DRAWITEMSTRUCT* dis) {
  CDC::FromHandle(dis->hDC)
      ->FillSolidRect(&dis->rcItem, (dis->itemState & ODS_SELECTED) ? kChosen : static_cast<COLORREF>(dis->itemData));
}

// The parent of owner-drawn lists: it measures and paints their items and
// answers their keys, recording each request.
class ListParent : public CWnd {
 public:
  ListParent() {
    mfc_test::EnsureApp();
    CreateEx(0, nullptr, u"lists", WS_POPUP, 0, 0, 260, 160, nullptr, 0);
  }
  std::vector<MEASUREITEMSTRUCT> measured;
  std::vector<DRAWITEMSTRUCT> drawn;
  std::vector<std::pair<UINT, UINT>> keys;
  int keyAnswer = -1;
  int selChanges = 0;

 protected:
  void OnMeasureItem(int, MEASUREITEMSTRUCT* mis) override {
    measured.push_back(*mis);
    mis->itemHeight = 23;
  }
  void OnDrawItem(int, DRAWITEMSTRUCT* dis) override {
    drawn.push_back(*dis);
    PaintItem(dis);
  }
  int OnVKeyToItem(UINT key, CListBox*, UINT index) override {
    keys.emplace_back(key, index);
    return keyAnswer;
  }
  void OnSelChange() { ++selChanges; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ListParent, CWnd)
  ON_WM_MEASUREITEM()
  ON_WM_DRAWITEM()
  ON_WM_VKEYTOITEM()
  ON_CONTROL(LBN_SELCHANGE, kListId, OnSelChange)
END_MESSAGE_MAP()

// A list of a common library: it measures and paints its items itself.
class SwatchList : public CListBox {
 public:
  int measured = 0;
  void MeasureItem(LPMEASUREITEMSTRUCT mis) override {
    ++measured;
    mis->itemHeight = 17;
  }
  void DrawItem(LPDRAWITEMSTRUCT dis) override { CDC::FromHandle(dis->hDC)->FillSolidRect(&dis->rcItem, kOwn); }
};

// A list that hears its own selection changes first and lets the parent hear
// them too only when it answers FALSE.
class ReflectingList : public CListBox {
 public:
  BOOL passOn = FALSE;
  int heard = 0;

 protected:
  BOOL OnReflectedSelChange() {
    ++heard;
    return !passOn;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ReflectingList, CListBox)
  ON_CONTROL_REFLECT_EX(LBN_SELCHANGE, OnReflectedSelChange)
END_MESSAGE_MAP()

// A list that erases below its items in its own colour.
class ErasingList : public SwatchList {
 protected:
  BOOL OnEraseBkgnd(CDC* dc) override {
    CRect client;
    GetClientRect(&client);
    dc->FillSolidRect(&client, kChosen);
    return TRUE;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ErasingList, SwatchList)
  ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

// A list that keeps the presses on its items (no default processing).
class KeepingList : public CListBox {
 public:
  std::vector<CPoint> pressed;
  bool keep = true;

 protected:
  void OnLButtonDown(UINT flags, CPoint point) override {
    pressed.push_back(point);
    if (!keep) CListBox::OnLButtonDown(flags, point);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(KeepingList, CListBox)
  ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

void Fill(CListBox& list) {
  for (int i = 0; i < 3; ++i) {
    list.AddString(CString(u"item"));
    list.SetItemData(i, kItemColours[i]);
  }
}

QColor Centre(CListBox& list, int index, const QImage& shot) {
  CRect item;
  list.GetItemRect(index, &item);
  return shot.pixelColor(item.CenterPoint().x, item.CenterPoint().y);
}

TEST(OwnerDrawnLists, TheParentMeasuresOnceAndPaintsEachItemWithItsState) {
  ListParent parent;
  CListBox list;
  ASSERT_TRUE(list.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED, CRect(10, 10, 110, 150),
                          &parent, kListId));
  Fill(list);
  parent.ShowWindow(SW_SHOW);
  list.SetCurSel(2);
  QImage shot = list.GetWidget()->grab().toImage();

  ASSERT_EQ(parent.measured.size(), 1u);
  EXPECT_EQ(parent.measured[0].CtlType, ODT_LISTBOX);
  EXPECT_EQ(parent.measured[0].CtlID, static_cast<UINT>(kListId));
  CRect first;
  CRect second;
  list.GetItemRect(0, &first);
  list.GetItemRect(1, &second);
  EXPECT_EQ(first.Height(), 23);
  EXPECT_EQ(second.top, first.bottom);
  EXPECT_EQ(Centre(list, 0, shot), ToQColor(kItemColours[0]));
  EXPECT_EQ(Centre(list, 1, shot), ToQColor(kItemColours[1]));
  EXPECT_EQ(Centre(list, 2, shot), ToQColor(kChosen));
  ASSERT_FALSE(parent.drawn.empty());
  for (const DRAWITEMSTRUCT& dis : parent.drawn) {
    EXPECT_EQ(dis.CtlType, ODT_LISTBOX);
    EXPECT_EQ(dis.hwndItem, list.m_hWnd);
    EXPECT_EQ(dis.itemData, kItemColours[dis.itemID]);
    EXPECT_EQ((dis.itemState & ODS_SELECTED) != 0, dis.itemID == 2u);
  }

  EXPECT_EQ(list.SetItemHeight(0, 0), LB_ERR);
  EXPECT_EQ(list.SetItemHeight(0, 256), LB_ERR);
  EXPECT_EQ(list.SetItemHeight(0, 30), 0);
  list.GetItemRect(2, &second);
  EXPECT_EQ(second, CRect(first.left, first.top + 60, first.right, first.top + 90));
  EXPECT_EQ(parent.measured.size(), 1u);
}

TEST(OwnerDrawnLists, AListOfACommonLibraryMeasuresAndPaintsItself) {
  ListParent parent;
  SwatchList list;
  ASSERT_TRUE(list.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED, CRect(10, 10, 110, 150),
                          &parent, kListId));
  Fill(list);
  parent.ShowWindow(SW_SHOW);
  QImage shot = list.GetWidget()->grab().toImage();
  EXPECT_EQ(list.measured, 1);
  CRect item;
  list.GetItemRect(1, &item);
  EXPECT_EQ(item.Height(), 17);
  EXPECT_EQ(Centre(list, 1, shot), ToQColor(kOwn));
  EXPECT_TRUE(parent.measured.empty());
  EXPECT_TRUE(parent.drawn.empty());
}

TEST(OwnerDrawnLists, TheAreaBelowTheItemsIsErasedThroughTheListsProcedure) {
  ListParent parent;
  ErasingList list;
  ASSERT_TRUE(list.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED, CRect(10, 10, 110, 150),
                          &parent, kListId));
  Fill(list);
  parent.ShowWindow(SW_SHOW);
  QImage shot = list.GetWidget()->grab().toImage();
  EXPECT_EQ(Centre(list, 2, shot), ToQColor(kOwn));
  CRect last;
  list.GetItemRect(2, &last);
  EXPECT_EQ(shot.pixelColor(last.CenterPoint().x, last.bottom + 10), ToQColor(kChosen));
}

TEST(OwnerDrawnLists, KeysOfAListThatWantsThemGoToVKeyToItemFirst) {
  ListParent parent;
  CListBox list;
  ASSERT_TRUE(list.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED | LBS_WANTKEYBOARDINPUT,
                          CRect(10, 10, 110, 150), &parent, kListId));
  Fill(list);
  parent.ShowWindow(SW_SHOW);
  list.SetCurSel(0);
  QWidget* w = list.GetWidget();

  parent.keyAnswer = 2;  // selects that item, as the user would
  QTest::keyClick(w, Qt::Key_End);
  EXPECT_EQ(parent.keys, (std::vector<std::pair<UINT, UINT>>{{VK_END, 0}}));
  EXPECT_EQ(list.GetCurSel(), 2);
  EXPECT_EQ(parent.selChanges, 1);

  parent.keyAnswer = -2;  // handled: the list does nothing
  QTest::keyClick(w, Qt::Key_Up);
  EXPECT_EQ(list.GetCurSel(), 2);

  parent.keyAnswer = -1;  // the list's own action
  QTest::keyClick(w, Qt::Key_Up);
  EXPECT_EQ(list.GetCurSel(), 1);
  EXPECT_EQ(parent.keys.back(), (std::pair<UINT, UINT>{VK_UP, 2}));

  // Without LBS_WANTKEYBOARDINPUT nobody is asked.
  CListBox plain;
  ASSERT_TRUE(plain.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(120, 10, 250, 150), &parent, kListId + 1));
  Fill(plain);
  size_t asked = parent.keys.size();
  QTest::keyClick(plain.GetWidget(), Qt::Key_Down);
  EXPECT_EQ(parent.keys.size(), asked);
}

TEST(OwnerDrawnLists, AReflectedNotificationReachesTheParentOnlyWhenTheListLetsItGo) {
  ListParent parent;
  ReflectingList list;
  ASSERT_TRUE(list.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(10, 10, 110, 150), &parent, kListId));
  Fill(list);
  parent.ShowWindow(SW_SHOW);
  QWidget* w = list.GetWidget();
  list.SetCurSel(0);
  list.SetFocus();

  QTest::keyClick(w, Qt::Key_Down);
  EXPECT_EQ(list.GetCurSel(), 1);
  EXPECT_EQ(list.heard, 1);
  EXPECT_EQ(parent.selChanges, 0);

  list.passOn = TRUE;
  QTest::keyClick(w, Qt::Key_Down);
  EXPECT_EQ(list.GetCurSel(), 2);
  EXPECT_EQ(list.heard, 2);
  EXPECT_EQ(parent.selChanges, 1);
}

TEST(OwnerDrawnLists, APressOnTheItemsReachesTheListsProcedureFirst) {
  ListParent parent;
  KeepingList list;
  ASSERT_TRUE(list.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED, CRect(10, 10, 110, 150),
                          &parent, kListId));
  Fill(list);
  CEdit other;
  ASSERT_TRUE(other.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(120, 10, 200, 30), &parent, 50));
  parent.ShowWindow(SW_SHOW);
  parent.GetWidget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(parent.GetWidget()));
  other.SetFocus();
  auto* qlist = static_cast<QListWidget*>(list.GetWidget());
  CRect item;
  list.GetItemRect(1, &item);
  QPoint centre(item.CenterPoint().x, item.CenterPoint().y);

  // Kept: neither selected nor focused.
  QTest::mouseClick(qlist->viewport(), Qt::LeftButton, {}, centre - qlist->viewport()->pos());
  ASSERT_EQ(list.pressed.size(), 1u);
  EXPECT_EQ(list.pressed[0], item.CenterPoint());  // in the list's client coordinates
  EXPECT_EQ(list.GetCurSel(), LB_ERR);
  EXPECT_FALSE(qlist->hasFocus());

  // Left to the default: the list selects and takes the focus.
  list.keep = false;
  QTest::mouseClick(qlist->viewport(), Qt::LeftButton, {}, centre - qlist->viewport()->pos());
  EXPECT_EQ(list.GetCurSel(), 1);
  EXPECT_TRUE(qlist->hasFocus());
  EXPECT_EQ(parent.selChanges, 1);
}

}  // namespace

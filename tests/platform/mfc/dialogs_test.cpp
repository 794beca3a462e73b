#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

#include "support/fixture_module.h"
#include "support/gui_app.h"

namespace {

using mfc_test::PumpUntil;

constexpr UINT kFixture = 200;
constexpr UINT kBroken = 201;
constexpr UINT kInner = 202;

QByteArray FixtureTemplate() {
  auto style = [](DWORD s) { return QByteArray::number(static_cast<qulonglong>(s)); };
  return "{\"id\": 200, \"caption\": \"Fixture\", \"size\": [420, 320],"
         " \"font\": {\"face\": \"Sans\", \"size\": 9, \"weight\": 700},"
         " \"controls\": ["
         "{\"id\": 1, \"class\": \"Button\", \"text\": \"OK\", \"rect\": [330, 10, 80, 24], \"style\": " +
         style(WS_TABSTOP | BS_DEFPUSHBUTTON) +
         "},"
         "{\"id\": 2, \"class\": \"Button\", \"textId\": 7, \"rect\": [330, 40, 80, 24], \"style\": " +
         style(WS_TABSTOP) +
         "},"
         "{\"id\": 10, \"class\": \"Button\", \"text\": \"A\", \"rect\": [10, 10, 60, 20], \"style\": " +
         style(WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON) +
         "},"
         "{\"id\": 11, \"class\": \"Button\", \"text\": \"B\", \"rect\": [10, 30, 60, 20], \"style\": " +
         style(BS_AUTORADIOBUTTON) +
         "},"
         "{\"id\": 12, \"class\": \"Button\", \"text\": \"C\", \"rect\": [10, 50, 60, 20], \"style\": " +
         style(WS_GROUP | BS_AUTORADIOBUTTON) +
         "},"
         "{\"id\": 13, \"class\": \"Button\", \"text\": \"Check\", \"rect\": [10, 70, 60, 20], \"style\": " +
         style(WS_GROUP | BS_AUTOCHECKBOX) +
         "},"
         "{\"id\": 14, \"class\": \"Button\", \"rect\": [10, 95, 40, 30], \"style\": " + style(BS_OWNERDRAW) +
         "},"
         "{\"id\": 20, \"class\": \"Static\", \"text\": \"Label\", \"rect\": [80, 10, 80, 20]},"
         "{\"id\": 21, \"class\": \"Edit\", \"rect\": [80, 35, 120, 22], \"style\": " + style(WS_TABSTOP) +
         "},"
         "{\"id\": 22, \"class\": \"ListBox\", \"rect\": [80, 60, 120, 60]},"
         "{\"id\": 23, \"class\": \"ComboBox\", \"rect\": [80, 125, 120, 24]},"
         "{\"id\": 24, \"class\": \"SysListView32\", \"rect\": [210, 60, 110, 90], \"style\": " +
         style(LVS_REPORT | LVS_SINGLESEL) +
         "},"
         "{\"id\": 25, \"class\": \"SysTreeView32\", \"rect\": [210, 160, 110, 90]},"
         "{\"id\": 26, \"class\": \"SysTabControl32\", \"rect\": [5, 260, 300, 50]},"
         "{\"id\": 27, \"class\": \"msctls_updown32\", \"rect\": [80, 160, 20, 40]},"
         "{\"id\": 28, \"class\": \"msctls_trackbar32\", \"rect\": [10, 210, 190, 30]},"
         "{\"id\": 29, \"class\": \"msctls_progress32\", \"rect\": [10, 240, 190, 12], \"style\": " +
         style(PBS_VERTICAL) +
         "},"
         // A group box after the controls it frames.
         "{\"id\": 31, \"class\": \"Button\", \"text\": \"Loud\", \"rect\": [330, 100, 80, 20], \"style\": " +
         style(WS_GROUP | WS_TABSTOP | BS_AUTOCHECKBOX) +
         "},"
         "{\"id\": 32, \"class\": \"Edit\", \"rect\": [330, 125, 80, 22], \"style\": " + style(WS_TABSTOP) +
         "},"
         "{\"id\": 30, \"class\": \"Button\", \"text\": \"Options\", \"rect\": [322, 80, 94, 80], \"style\": " +
         style(WS_GROUP | BS_GROUPBOX) + "}]}";
}


std::unique_ptr<mfc_test::FixtureModule> InstallFixtures() {
  tlx::resources::ModuleBuilder builder;
  builder.String(7, "Cancel");
  builder.Resource("dialogs", kFixture, FixtureTemplate());
  builder.Resource("dialogs", kBroken,
                   "{\"size\": [10, 10], \"controls\": [{\"id\": 1, \"class\": \"NoSuchClass\", \"rect\": [0, 0, 1, 1]}]}");
  builder.Resource("dialogs", kInner, "{\"size\": [100, 60], \"caption\": \"Inner\"}");
  return std::make_unique<mfc_test::FixtureModule>(builder);
}

// An owner-drawn button of a common library: it takes presses itself and
// paints in DrawItem.
class DrawnButton : public CButton {
 public:
  std::vector<UINT> seen;
  int drawn = 0;
  CFont* drawnFont = nullptr;
  void DrawItem(LPDRAWITEMSTRUCT dis) override {
    ++drawn;
    CDC* dc = CDC::FromHandle(dis->hDC);
    drawnFont = dc->GetCurrentFont();
    dc->FillSolidRect(&dis->rcItem, 0xFBE741);
  }

 protected:
  void OnLButtonDown(UINT flags, CPoint point) override {
    seen.push_back(WM_LBUTTONDOWN);
    CButton::OnLButtonDown(flags, point);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DrawnButton, CButton)
  ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

struct Notice {
  UINT message;
  int id;
  int code;
  long long extra;
};

class FixtureDialog : public CDialog {
 public:
  explicit FixtureDialog(UINT id = kFixture, CWnd* parent = nullptr) : CDialog(id, parent) {}
  CEdit m_edit;
  CListCtrl m_list;
  CSpinButtonCtrl m_spin;
  DrawnButton m_drawn;
  std::vector<Notice> notices;
  bool cancelSpin = false;
  int spinPosAtNotice = -1;
  int ok = 0;
  int cancel = 0;

  CWnd* Item(int id) { return GetDlgItem(id); }
  QWidget* Widget(int id) { return GetDlgItem(id)->GetWidget(); }
  std::vector<Notice> Take(UINT message) {
    std::vector<Notice> out;
    for (const auto& n : notices)
      if (n.message == message) out.push_back(n);
    notices.clear();
    return out;
  }

 protected:
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, 21, m_edit);
    DDX_Control(dx, 24, m_list);
    DDX_Control(dx, 27, m_spin);
    DDX_Control(dx, 14, m_drawn);
  }
  void OnOK() override {
    ++ok;
    CDialog::OnOK();
  }
  void OnCancel() override {
    ++cancel;
    CDialog::OnCancel();
  }
  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    long long extra = 0;
    if (header->code == NM_CLICK || header->code == NM_DBLCLK) extra = reinterpret_cast<NMITEMACTIVATE*>(header)->iItem;
    if (header->code == LVN_KEYDOWN) extra = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
    if (header->code == LVN_ITEMCHANGED) extra = reinterpret_cast<NMLISTVIEW*>(header)->uNewState;
    if (header->code == TVN_SELCHANGED) extra = reinterpret_cast<NMTREEVIEW*>(header)->itemNew.lParam;
    if (header->code == UDN_DELTAPOS) {
      extra = reinterpret_cast<NMUPDOWN*>(header)->iDelta;
      spinPosAtNotice = m_spin.GetPos();
      if (cancelSpin) {
        *result = 1;
        notices.push_back({WM_NOTIFY, static_cast<int>(header->idFrom), static_cast<int>(header->code), extra});
        return TRUE;
      }
    }
    notices.push_back({WM_NOTIFY, static_cast<int>(header->idFrom), static_cast<int>(header->code), extra});
    return CDialog::OnNotify(wParam, lParam, result);
  }
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
    notices.push_back({WM_COMMAND, LOWORD(wParam), HIWORD(wParam), 0});
    return CDialog::OnCommand(wParam, lParam);
  }
  void OnHScroll(UINT code, UINT pos, CScrollBar* bar) override {
    auto* slider = reinterpret_cast<CSliderCtrl*>(bar);
    notices.push_back({WM_HSCROLL, slider->GetDlgCtrlID(), static_cast<int>(code), pos});
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(FixtureDialog, CDialog)
  ON_WM_HSCROLL()
END_MESSAGE_MAP()

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    mfc_test::EnsureApp();
    fixtures_ = InstallFixtures();
  }
  void TearDown() override { fixtures_.reset(); }
  std::unique_ptr<mfc_test::FixtureModule> fixtures_;
};

TEST_F(Dialogs, ATemplateMakesEveryControlWithItsClassNameAndDdxBindsTheMembers) {
  FixtureDialog dlg;
  ASSERT_TRUE(dlg.Create(kFixture));
  struct Case {
    int id;
    const char16_t* name;
  } cases[] = {{1, u"Button"},          {20, u"Static"},           {21, u"Edit"},
               {22, u"ListBox"},        {23, u"ComboBox"},         {24, u"SysListView32"},
               {25, u"SysTreeView32"},  {26, u"SysTabControl32"},  {27, u"msctls_updown32"},
               {28, u"msctls_trackbar32"}, {29, u"msctls_progress32"}, {30, u"Button"}};
  for (const auto& c : cases) {
    ASSERT_NE(dlg.Item(c.id), nullptr) << c.id;
    EXPECT_EQ(std::u16string(dlg.Item(c.id)->GetWindowClassName()), std::u16string(c.name)) << c.id;
  }
  CToolTipCtrl tips;
  ASSERT_TRUE(tips.Create(&dlg));
  EXPECT_EQ(std::u16string(tips.GetWindowClassName()), u"tooltips_class32");
  EXPECT_TRUE(tips.AddTool(dlg.Item(1), CString(u"Accept")));
  EXPECT_EQ(dlg.Widget(1)->toolTip(), "Accept");

  EXPECT_EQ(dlg.Item(21), &dlg.m_edit);
  EXPECT_EQ(dlg.Item(24), &dlg.m_list);
  EXPECT_EQ(dlg.Item(14), &dlg.m_drawn);
  EXPECT_EQ(dlg.m_edit.GetDlgCtrlID(), 21);
  EXPECT_EQ(dlg.GetWindowTextString(), CString(u"Fixture"));
  EXPECT_EQ(dlg.Item(2)->GetWindowTextString(), CString(u"Cancel"));  // from the string id
  LOGFONT lf{};
  ASSERT_NE(dlg.GetFont(), nullptr);
  dlg.GetFont()->GetLogFont(&lf);
  EXPECT_EQ(lf.lfHeight, -12);
  EXPECT_EQ(lf.lfWeight, 700);
}

TEST_F(Dialogs, TheTemplatesControlsAnswerWithTheDialogsFontAndDrawInIt) {
  FixtureDialog dlg;
  ASSERT_TRUE(dlg.Create(kFixture));
  dlg.ShowWindow(SW_SHOW);
  CFont* font = dlg.GetFont();
  ASSERT_NE(font, nullptr);
  for (int id : {1, 13, 14, 20, 21, 22}) EXPECT_EQ(dlg.Item(id)->GetFont(), font) << id;
  EXPECT_EQ(dlg.Widget(20)->font().weight(), QFont::Bold);
  dlg.m_drawn.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  ASSERT_TRUE(PumpUntil([&] { return dlg.m_drawn.drawn > 0; }));
  EXPECT_EQ(dlg.m_drawn.drawnFont, font);

  // A window made by code has no font until one is set; WM_SETFONT and
  // WM_GETFONT are the same calls.
  CWnd plain;
  ASSERT_TRUE(plain.CreateEx(0, nullptr, u"plain", WS_CHILD, 0, 0, 40, 20, dlg.m_hWnd, 90));
  EXPECT_EQ(plain.GetFont(), nullptr);
  CFont own;
  ASSERT_TRUE(own.CreatePointFont(140, u"Sans"));
  plain.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(&own), TRUE);
  EXPECT_EQ(plain.GetFont(), &own);
  EXPECT_EQ(reinterpret_cast<CFont*>(plain.SendMessage(WM_GETFONT)), &own);
  EXPECT_EQ(plain.GetWidget()->font(), own.qfont());
  plain.SetFont(nullptr);
  EXPECT_EQ(plain.GetFont(), nullptr);
  plain.DestroyWindow();
}

TEST_F(Dialogs, AnyParentWalksTheGroupOfItsChildren) {
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, nullptr, u"parent", WS_POPUP, 0, 0, 200, 120, nullptr, 0));
  CButton a, b, c, other;
  ASSERT_TRUE(a.Create(nullptr, u"a", WS_CHILD | WS_GROUP | BS_AUTORADIOBUTTON, CRect(0, 0, 50, 20), &parent, 1));
  ASSERT_TRUE(b.Create(nullptr, u"b", WS_CHILD | BS_AUTORADIOBUTTON, CRect(0, 20, 50, 40), &parent, 2));
  ASSERT_TRUE(c.Create(nullptr, u"c", WS_CHILD | BS_AUTORADIOBUTTON, CRect(0, 40, 50, 60), &parent, 3));
  ASSERT_TRUE(other.Create(nullptr, u"d", WS_CHILD | WS_GROUP | BS_AUTOCHECKBOX, CRect(0, 60, 50, 80), &parent, 4));
  EXPECT_EQ(parent.GetNextDlgGroupItem(&a), &b);
  EXPECT_EQ(parent.GetNextDlgGroupItem(&c), &a);
  EXPECT_EQ(parent.GetNextDlgGroupItem(&a, TRUE), &c);
  EXPECT_EQ(parent.GetNextDlgGroupItem(&b, TRUE), &a);
  EXPECT_EQ(parent.GetNextDlgGroupItem(&other), &other);  // alone in its group
  EXPECT_EQ(a.GetNextDlgGroupItem(&b), nullptr);          // not a child of `a`
  parent.DestroyWindow();
}

TEST_F(Dialogs, RadioButtonsAreExclusiveInsideTheirGroupAndClicksNotify) {
  FixtureDialog dlg;
  ASSERT_TRUE(dlg.Create(kFixture));
  dlg.ShowWindow(SW_SHOW);
  QTest::mouseClick(dlg.Widget(12), Qt::LeftButton);
  QTest::mouseClick(dlg.Widget(10), Qt::LeftButton);
  EXPECT_EQ(dlg.IsDlgButtonChecked(10), BST_CHECKED);
  QTest::mouseClick(dlg.Widget(11), Qt::LeftButton);
  EXPECT_EQ(dlg.IsDlgButtonChecked(10), BST_UNCHECKED);
  EXPECT_EQ(dlg.IsDlgButtonChecked(11), BST_CHECKED);
  EXPECT_EQ(dlg.IsDlgButtonChecked(12), BST_CHECKED);  // another group
  auto clicks = dlg.Take(WM_COMMAND);
  ASSERT_EQ(clicks.size(), 3u);
  EXPECT_EQ(clicks[2].id, 11);
  EXPECT_EQ(clicks[2].code, static_cast<int>(BN_CLICKED));

  EXPECT_EQ(dlg.GetNextDlgGroupItem(dlg.Item(10)), dlg.Item(11));
  EXPECT_EQ(dlg.GetNextDlgGroupItem(dlg.Item(11)), dlg.Item(10));
  dlg.CheckRadioButton(10, 11, 10);
  EXPECT_EQ(dlg.IsDlgButtonChecked(10), BST_CHECKED);
  EXPECT_EQ(dlg.IsDlgButtonChecked(11), BST_UNCHECKED);
  EXPECT_TRUE(dlg.Take(WM_COMMAND).empty());  // calls notify nobody
}

TEST_F(Dialogs, ListViewTreeSpinTrackbarEditComboAndListBoxNotify) {
  FixtureDialog dlg;
  ASSERT_TRUE(dlg.Create(kFixture));
  dlg.ShowWindow(SW_SHOW);

  dlg.m_list.InsertColumn(0, CString(u"Name"), LVCFMT_LEFT, 80);
  dlg.m_list.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  for (int i = 0; i < 3; ++i) dlg.m_list.InsertItem(i, CString(u"row"));
  auto* tree = static_cast<QTreeWidget*>(dlg.Widget(24));
  QRect row1 = tree->visualItemRect(tree->topLevelItem(1));
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row1.center() + QPoint(20, 0));
  auto notes = dlg.Take(WM_NOTIFY);
  auto has = [&](UINT code, long long extra) {
    return std::any_of(notes.begin(), notes.end(),
                       [&](const Notice& n) { return n.code == static_cast<int>(code) && n.extra == extra; });
  };
  EXPECT_TRUE(has(NM_CLICK, 1));
  EXPECT_TRUE(has(LVN_ITEMCHANGED, LVIS_SELECTED));
  QTest::keyClick(tree, Qt::Key_Down);
  notes = dlg.Take(WM_NOTIFY);
  EXPECT_TRUE(has(LVN_KEYDOWN, VK_DOWN));
  tree->topLevelItem(0)->setCheckState(0, Qt::Checked);  // what a click on the box does
  notes = dlg.Take(WM_NOTIFY);
  EXPECT_TRUE(has(LVN_ITEMCHANGED, 0x2000));
  EXPECT_TRUE(dlg.m_list.GetCheck(0));
  dlg.m_list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(dlg.m_list.GetNextItem(-1, LVNI_SELECTED), 2);
  EXPECT_TRUE(dlg.Take(WM_NOTIFY).empty());

  auto* treeCtrl = static_cast<CTreeCtrl*>(dlg.Item(25));
  HTREEITEM root = treeCtrl->InsertItem(CString(u"root"));
  HTREEITEM leaf = treeCtrl->InsertItem(CString(u"leaf"), root, TVI_LAST);
  treeCtrl->SetItemData(leaf, 77);
  treeCtrl->Expand(root, TVE_EXPAND);
  treeCtrl->SelectItem(root);
  QTest::keyClick(dlg.Widget(25), Qt::Key_Down);
  notes = dlg.Take(WM_NOTIFY);
  EXPECT_TRUE(has(TVN_SELCHANGED, 77));
  EXPECT_EQ(treeCtrl->GetSelectedItem(), leaf);

  dlg.m_spin.SetRange(0, 10);
  dlg.m_spin.SetPos(5);
  auto* up = dlg.Widget(27)->findChild<QToolButton*>("up");
  QTest::mouseClick(up, Qt::LeftButton);
  notes = dlg.Take(WM_NOTIFY);
  EXPECT_TRUE(has(UDN_DELTAPOS, 1));
  EXPECT_EQ(dlg.spinPosAtNotice, 5);  // told before the change
  EXPECT_EQ(dlg.m_spin.GetPos(), 6);
  dlg.cancelSpin = true;
  QTest::mouseClick(up, Qt::LeftButton);
  EXPECT_EQ(dlg.m_spin.GetPos(), 6);  // the answer cancelled it

  auto* slider = static_cast<QSlider*>(dlg.Widget(28));
  static_cast<CSliderCtrl*>(dlg.Item(28))->SetRange(0, 100);
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  QTest::keyClick(slider, Qt::Key_Left);
  QTest::keyClick(slider, Qt::Key_PageUp);
  QTest::keyClick(slider, Qt::Key_PageDown);
  slider->setSliderDown(true);
  slider->setSliderPosition(40);
  slider->setSliderDown(false);
  mfc_test::PumpFor(20);
  std::vector<int> codes;
  for (const auto& n : dlg.Take(WM_HSCROLL)) {
    EXPECT_EQ(n.id, 28);
    codes.push_back(n.code);
  }
  for (UINT code : {SB_LINELEFT, SB_LINERIGHT, SB_PAGELEFT, SB_PAGERIGHT, SB_THUMBPOSITION, SB_THUMBTRACK}) {
    EXPECT_NE(std::find(codes.begin(), codes.end(), static_cast<int>(code)), codes.end()) << code;
  }
  EXPECT_EQ(static_cast<CSliderCtrl*>(dlg.Item(28))->GetPos(), 40);
  CRect thumb;
  static_cast<CSliderCtrl*>(dlg.Item(28))->GetThumbRect(&thumb);
  EXPECT_GT(thumb.Width(), 0);

  dlg.m_edit.LimitText(4);
  QTest::keyClicks(dlg.Widget(21), "abcdef");
  EXPECT_EQ(dlg.m_edit.GetWindowTextString(), CString(u"abcd"));
  auto commands = dlg.Take(WM_COMMAND);
  ASSERT_GE(commands.size(), 2u);
  EXPECT_EQ(commands[0].code, static_cast<int>(EN_UPDATE));
  EXPECT_EQ(commands[1].code, static_cast<int>(EN_CHANGE));
  int start = -1, end = -1;
  dlg.m_edit.SetSel(1, 3);
  dlg.m_edit.GetSel(start, end);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 3);

  auto* combo = static_cast<CComboBox*>(dlg.Item(23));
  for (const char16_t* s : {u"Alpha", u"Beta", u"Bravo"}) combo->AddString(CString(s));
  EXPECT_EQ(combo->FindString(-1, CString(u"bR")), 2);
  EXPECT_EQ(combo->FindString(-1, CString(u"x")), CB_ERR);
  EXPECT_EQ(combo->SelectString(-1, CString(u"be")), 1);
  QTest::keyClick(dlg.Widget(23), Qt::Key_Down);
  commands = dlg.Take(WM_COMMAND);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back().id, 23);
  EXPECT_EQ(commands.back().code, static_cast<int>(CBN_SELCHANGE));
  EXPECT_EQ(combo->GetCurSel(), 2);

  auto* list = static_cast<CListBox*>(dlg.Item(22));
  list->AddString(CString(u"one"));
  list->AddString(CString(u"two"));
  list->SetItemData(1, 42);
  EXPECT_EQ(list->SetCurSel(-1), LB_ERR);
  EXPECT_EQ(list->GetCurSel(), LB_ERR);
  auto* qlist = static_cast<QListWidget*>(dlg.Widget(22));
  QTest::mouseClick(qlist->viewport(), Qt::LeftButton, {}, qlist->visualItemRect(qlist->item(1)).center());
  commands = dlg.Take(WM_COMMAND);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back().code, static_cast<int>(LBN_SELCHANGE));
  EXPECT_EQ(list->GetCurSel(), 1);
  EXPECT_EQ(list->GetItemData(1), 42u);

  auto* progress = static_cast<CProgressCtrl*>(dlg.Item(29));
  progress->SetRange(0, 50);
  progress->SetStep(20);
  progress->StepIt();
  progress->StepIt();
  EXPECT_EQ(progress->GetPos(), 40);
}

TEST_F(Dialogs, ASubclassedOwnerDrawnButtonSeesPressesFirstAndPaintsThroughDrawItem) {
  FixtureDialog dlg;
  ASSERT_TRUE(dlg.Create(kFixture));
  dlg.ShowWindow(SW_SHOW);
  QTest::mouseClick(dlg.Widget(14), Qt::LeftButton);
  EXPECT_EQ(dlg.m_drawn.seen, std::vector<UINT>{WM_LBUTTONDOWN});
  auto clicks = dlg.Take(WM_COMMAND);
  ASSERT_EQ(clicks.size(), 1u);  // what the member left went on to the standard button
  EXPECT_EQ(clicks[0].id, 14);
  QImage shot = dlg.Widget(14)->grab().toImage();
  EXPECT_GT(dlg.m_drawn.drawn, 0);
  EXPECT_EQ(shot.pixelColor(20, 15), QColor(0x41, 0xE7, 0xFB));
}

TEST_F(Dialogs, AGroupBoxIsACaptionedFrameBeneathItsControlsThatTakesNeitherFocusNorClicks) {
  FixtureDialog dlg;
  ASSERT_TRUE(dlg.Create(kFixture));
  dlg.ShowWindow(SW_SHOW);
  QWidget* page = dlg.GetWidget();
  QWidget* box = dlg.Widget(30);
  QRect frame = box->geometry();
  // The controls lie over the frame that the template made after them.
  for (int id : {31, 32}) EXPECT_EQ(page->childAt(dlg.Widget(id)->geometry().center()), dlg.Widget(id)) << id;
  EXPECT_EQ(page->childAt(frame.topLeft() + QPoint(2, frame.height() / 2)), box);
  // Beneath in the picture, the frame keeps its place in the dialog's order: the
  // buttons made first are still a group of their own.
  EXPECT_EQ(dlg.GetNextDlgGroupItem(dlg.Item(2)), dlg.Item(1));

  // What the group box adds to the dialog's picture, and what its caption adds.
  QImage shown = page->grab().toImage();
  dlg.SetDlgItemText(30, CString(u""));
  QImage uncaptioned = page->grab().toImage();
  box->hide();
  QImage without = page->grab().toImage();
  auto differs = [](const QImage& a, const QImage& b, QRect area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        if (a.pixel(x, y) != b.pixel(x, y)) return true;
      }
    }
    return false;
  };
  int band = box->fontMetrics().height();
  QRect captionArea(frame.left() + 4, frame.top(), 30, band);
  QRect topEdgeBeyondCaption(frame.right() - 12, frame.top(), 8, band);
  QRect leftEdge(frame.left(), frame.top() + band + 8, 3, 20);
  QRect bottomEdge(frame.left() + 20, frame.bottom() - 3, 40, 4);
  for (QRect edge : {topEdgeBeyondCaption, leftEdge, bottomEdge}) {
    EXPECT_TRUE(differs(shown, without, edge)) << edge.x() << "," << edge.y();
    EXPECT_FALSE(differs(shown, uncaptioned, edge)) << edge.x() << "," << edge.y();
  }
  EXPECT_TRUE(differs(shown, uncaptioned, captionArea));
  for (int id : {31, 32}) EXPECT_FALSE(differs(shown, without, dlg.Widget(id)->geometry())) << id;
  box->show();

  // Tab walks every control but the group box; a click on it changes nothing.
  page->activateWindow();
  dlg.Item(31)->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::focusWidget() == dlg.Widget(31); }));
  std::vector<QWidget*> visited;
  for (int i = 0; i < 40; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(visited.front(), dlg.Widget(32));
  EXPECT_NE(std::find(visited.begin(), visited.end(), dlg.Widget(31)), visited.end());  // round again
  EXPECT_EQ(std::find(visited.begin(), visited.end(), box), visited.end());
  dlg.Item(32)->SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::focusWidget() == dlg.Widget(32); }));
  dlg.notices.clear();
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(frame.width() / 2, frame.height() - 3));
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(10, band / 2));
  EXPECT_EQ(QApplication::focusWidget(), dlg.Widget(32));
  EXPECT_TRUE(dlg.notices.empty());
}

TEST_F(Dialogs, AMalformedTemplateFailsCreation) {
  FixtureDialog broken(kBroken);
  EXPECT_FALSE(broken.Create(kBroken));
  EXPECT_EQ(broken.m_hWnd, nullptr);
  EXPECT_EQ(FixtureDialog(kBroken).DoModal(), -1);
  EXPECT_EQ(FixtureDialog(999).DoModal(), -1);  // no such template
  for (const char* json : {"", "[]", "{\"size\": [1]}", "{\"size\": [10, -1]}", "{\"size\": [10, 10], \"controls\": 3}",
                           "{\"size\": [10, 10], \"captionId\": 12345}"}) {
    tlx::resources::ModuleBuilder builder;
    builder.Resource("dialogs", kBroken, json);
    mfc_test::FixtureModule brokenTemplate(builder);
    EXPECT_FALSE(FixtureDialog(kBroken).Create(kBroken)) << json;
  }
}

void PressOnFocus(Qt::Key key, QWidget* fallback) {
  QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : fallback;
  QTest::keyClick(target, key);
}

TEST_F(Dialogs, EnterAndEscapeEndModalDialogsAndNestedOnesReturnInOrder) {
  FixtureDialog outer;
  FixtureDialog inner(kInner, &outer);
  std::vector<std::string> order;
  INT_PTR innerResult = 0;
  QTimer::singleShot(0, [&] {
    innerResult = inner.DoModal();
    order.push_back("inner");
    PressOnFocus(Qt::Key_Return, outer.GetWidget());
  });
  QTimer::singleShot(20, [&] {
    EXPECT_FALSE(outer.IsWindowEnabled());  // the owner of the inner dialog
    PressOnFocus(Qt::Key_Escape, inner.GetWidget());
  });
  INT_PTR outerResult = outer.DoModal();
  order.push_back("outer");
  EXPECT_EQ(innerResult, IDCANCEL);
  EXPECT_EQ(outerResult, IDOK);
  EXPECT_EQ(order, (std::vector<std::string>{"inner", "outer"}));
  EXPECT_EQ(inner.cancel, 1);
  EXPECT_EQ(outer.ok, 1);

  FixtureDialog ended;
  QTimer::singleShot(0, [&] { ended.EndDialog(7); });
  EXPECT_EQ(ended.DoModal(), 7);
}

// A dialog that takes every key 'Q' before the focused control sees it.
class KeyEater : public FixtureDialog {
 public:
  BOOL PreTranslateMessage(MSG* msg) override {
    if (msg->message == WM_KEYDOWN && msg->wParam == 'Q') return TRUE;
    return FixtureDialog::PreTranslateMessage(msg);
  }
};

TEST_F(Dialogs, AKeyTakenInPreTranslateMessageNeverReachesTheFocusedEdit) {
  KeyEater dlg;
  ASSERT_TRUE(dlg.Create(kFixture));
  dlg.ShowWindow(SW_SHOW);
  dlg.GetWidget()->activateWindow();
  dlg.m_edit.SetFocus();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::focusWidget() == dlg.Widget(21); }));
  QTest::keyClicks(dlg.Widget(21), "aqQb");
  EXPECT_EQ(dlg.m_edit.GetWindowTextString(), CString(u"ab"));
}

}  // namespace

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include "support/gui_app.h"

namespace {

using mfc_test::PumpUntil;

constexpr COLORREF kBand = RGB(0x20, 0x40, 0x60);
constexpr COLORREF kFace = RGB(0xFF, 0xFF, 0xFF);

// A frameless skinned frame: it paints its border band, keeps a 4:3 aspect
// while sized and never gets smaller than 200 x 150.
class SkinFrame : public CFrameWnd {
 public:
  SkinFrame() {
    mfc_test::EnsureApp();
    Create(nullptr, u"skin", WS_POPUP | WS_THICKFRAME, CRect(40, 40, 440, 340));
  }
  std::vector<UINT> painted;
  std::vector<std::pair<UINT, CRect>> sizing;
  int captionHeight = 0;

 protected:
  void OnNcPaint() override {
    CWindowDC dc(this);
    CRect window;
    GetWindowRect(&window);
    dc.FillSolidRect(0, 0, window.Width(), window.Height(), kBand);
    painted.push_back(WM_NCPAINT);
  }
  BOOL OnEraseBkgnd(CDC* dc) override {
    CRect client;
    GetClientRect(&client);
    dc->FillSolidRect(&client, kFace);
    painted.push_back(WM_ERASEBKGND);
    return TRUE;
  }
  void OnPaint() override {
    CPaintDC dc(this);
    painted.push_back(WM_PAINT);
  }
  void OnSizing(UINT side, LPRECT rect) override {
    sizing.emplace_back(side, CRect(*rect));
    rect->bottom = rect->top + (rect->right - rect->left) * 3 / 4;
  }
  void OnGetMinMaxInfo(MINMAXINFO* info) override { info->ptMinTrackSize = POINT{200, 150}; }
  LRESULT OnNcHitTest(CPoint point) override {
    LRESULT hit = CFrameWnd::OnNcHitTest(point);
    CPoint client = point;
    ScreenToClient(&client);
    if (hit == HTCLIENT && client.y < captionHeight) return HTCAPTION;
    return hit;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(SkinFrame, CFrameWnd)
  ON_WM_NCPAINT()
  ON_WM_ERASEBKGND()
  ON_WM_PAINT()
  ON_WM_SIZING()
  ON_WM_GETMINMAXINFO()
  ON_WM_NCHITTEST()
END_MESSAGE_MAP()

void Mouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
  Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(local), QPointF(local), QPointF(w->mapToGlobal(local)), button, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

TEST(FrameWindows, ASkinnedFramePaintsItsBandThenErasesAndPaintsItsClientArea) {
  SkinFrame frame;
  frame.ShowWindow(SW_SHOW);
  CRect client;
  frame.GetClientRect(&client);
  EXPECT_EQ(client, CRect(0, 0, 400 - 8, 300 - 8));
  frame.painted.clear();
  frame.Invalidate();
  ASSERT_TRUE(PumpUntil([&] { return frame.painted.size() >= 3; }));
  EXPECT_EQ(frame.painted, (std::vector<UINT>{WM_NCPAINT, WM_ERASEBKGND, WM_PAINT}));

  QImage shot = frame.GetWidget()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(0, 0), ToQColor(kBand));
  EXPECT_EQ(shot.pixelColor(3, 150), ToQColor(kBand));
  EXPECT_EQ(shot.pixelColor(399, 299), ToQColor(kBand));
  EXPECT_EQ(shot.pixelColor(4, 4), ToQColor(kFace));
  EXPECT_EQ(shot.pixelColor(395, 295), ToQColor(kFace));
}

TEST(FrameWindows, DraggingTheBottomRightBandResizesThroughSizingAndTheLimits) {
  SkinFrame frame;
  frame.ShowWindow(SW_SHOW);
  QWidget* w = frame.GetWidget();
  Mouse(w, QEvent::MouseButtonPress, QPoint(398, 298), Qt::LeftButton);
  Mouse(w, QEvent::MouseMove, QPoint(498, 310), Qt::LeftButton);
  ASSERT_FALSE(frame.sizing.empty());
  EXPECT_EQ(frame.sizing.back().first, WMSZ_BOTTOMRIGHT);
  EXPECT_EQ(frame.sizing.back().second, CRect(40, 40, 540, 352));  // screen coordinates
  CRect window;
  frame.GetWindowRect(&window);
  EXPECT_EQ(window, CRect(40, 40, 540, 415));  // the handler's 4:3 correction

  Mouse(w, QEvent::MouseMove, QPoint(50, 50), Qt::LeftButton);
  frame.GetWindowRect(&window);
  EXPECT_EQ(window.Width(), 200);
  EXPECT_EQ(window.Height(), 150);
  Mouse(w, QEvent::MouseButtonRelease, QPoint(50, 50), Qt::NoButton);
  size_t seen = frame.sizing.size();
  Mouse(w, QEvent::MouseMove, QPoint(60, 60), Qt::NoButton);
  EXPECT_EQ(frame.sizing.size(), seen);  // the loop has ended
}

TEST(FrameWindows, ACaptionHitGoesToTheSystemMoveAndAPostedSizingHitStartsTheLoop) {
  SkinFrame frame;
  frame.captionHeight = 20;
  frame.ShowWindow(SW_SHOW);
  std::vector<HWND> moved;
  tlx::mfc::SetSystemMoveHook([&](HWND h) { moved.push_back(h); });
  Mouse(frame.GetWidget(), QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton);
  Mouse(frame.GetWidget(), QEvent::MouseButtonRelease, QPoint(100, 10), Qt::NoButton);
  tlx::mfc::SetSystemMoveHook(nullptr);
  EXPECT_EQ(moved, std::vector<HWND>{frame.m_hWnd});

  CRect window;
  frame.GetWindowRect(&window);
  frame.PostMessage(WM_NCLBUTTONDOWN, HTBOTTOMRIGHT, MAKELPARAM(window.right - 1, window.bottom - 1));
  mfc_test::PumpFor(20);
  Mouse(frame.GetWidget(), QEvent::MouseMove, QPoint(399 + 40, 299), Qt::LeftButton);
  ASSERT_FALSE(frame.sizing.empty());
  EXPECT_EQ(frame.sizing.back().first, WMSZ_BOTTOMRIGHT);
  Mouse(frame.GetWidget(), QEvent::MouseButtonRelease, QPoint(439, 299), Qt::NoButton);
}

TEST(FrameWindows, ShowWindowReturnsThePreviousVisibility) {
  SkinFrame frame;
  EXPECT_FALSE(frame.ShowWindow(SW_SHOW));
  EXPECT_TRUE(frame.ShowWindow(SW_SHOWNA));
  EXPECT_TRUE(frame.ShowWindow(SW_HIDE));
  EXPECT_FALSE(frame.ShowWindow(SW_HIDE));
  EXPECT_FALSE(frame.IsWindowVisible());
  // From another thread the change is queued and the answer comes from the table.
  BOOL before = TRUE;
  std::thread other([&] { before = frame.ShowWindow(SW_SHOW); });
  other.join();
  EXPECT_FALSE(before);
  EXPECT_TRUE(PumpUntil([&] { return frame.IsWindowVisible() != FALSE; }));

  WINDOWPLACEMENT placement{};
  ASSERT_TRUE(frame.GetWindowPlacement(&placement));
  EXPECT_EQ(placement.length, 44u);
  EXPECT_EQ(placement.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
  EXPECT_EQ(CRect(placement.rcNormalPosition), CRect(40, 40, 440, 340));
}

TEST(FrameWindows, TheViewFillsTheClientAreaAndKeepsItsChildrenWhenReparented) {
  SkinFrame frame;
  CWnd view;
  ASSERT_TRUE(view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), &frame, AFX_IDW_PANE_FIRST));
  CWnd surface;
  ASSERT_TRUE(surface.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(1, 2, 30, 40), &view, 5));
  frame.RecalcLayout();
  CRect rect;
  view.GetWindowRect(&rect);
  EXPECT_EQ(rect, CRect(44, 44, 436, 336));
  EXPECT_EQ(frame.GetActiveView(), &view);

  SkinFrame other;
  view.SetParent(&other);
  EXPECT_EQ(view.GetParent(), &other);
  EXPECT_EQ(view.GetDlgItem(5), &surface);
  EXPECT_TRUE(IsWindow(surface.m_hWnd));
  surface.GetWindowRect(&rect);
  EXPECT_EQ(rect.TopLeft(), CPoint(44 + 1, 44 + 2));
}

// Records the system commands, closes and help requests it gets.
class CommandRecorder : public CWnd {
 public:
  CommandRecorder() {
    mfc_test::EnsureApp();
    CreateEx(0, nullptr, u"recorder", WS_POPUP, 0, 0, 120, 90, nullptr, 0);
    CWnd* child = new CWnd();
    child->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(0, 0, 50, 50), this, 33);
    child_.reset(child);
  }
  std::vector<std::pair<UINT, LPARAM>> seen;
  int helpId = -1;
  std::unique_ptr<CWnd> child_;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SYSCOMMAND) seen.emplace_back(static_cast<UINT>(wParam), lParam);
    if (message == WM_CLOSE) seen.emplace_back(WM_CLOSE, 0);
    if (message == WM_HELP) helpId = reinterpret_cast<HELPINFO*>(lParam)->iCtrlId;
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

TEST(FrameWindows, SystemKeysAndTheWindowManagersCloseBecomeSystemCommands) {
  CommandRecorder wnd;
  wnd.ShowWindow(SW_SHOW);
  QTest::keyClick(wnd.child_->GetWidget(), Qt::Key_F1);
  EXPECT_EQ(wnd.helpId, 33);
  QTest::keyClick(wnd.GetWidget(), Qt::Key_Space, Qt::AltModifier);
  ASSERT_EQ(wnd.seen.size(), 1u);
  EXPECT_EQ(wnd.seen[0], (std::pair<UINT, LPARAM>{SC_KEYMENU, 32}));
  wnd.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE | 0x3, 0);  // the low bits are the system's
  EXPECT_TRUE(IsIconic(wnd.m_hWnd));
  wnd.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(wnd.m_hWnd));
  wnd.seen.clear();
  QTest::keyClick(wnd.GetWidget(), Qt::Key_F4, Qt::AltModifier);
  EXPECT_EQ(wnd.seen, (std::vector<std::pair<UINT, LPARAM>>{{SC_CLOSE, 0}, {WM_CLOSE, 0}}));
  EXPECT_EQ(wnd.m_hWnd, nullptr);

  CommandRecorder closed;
  closed.ShowWindow(SW_SHOW);
  closed.GetWidget()->close();  // what the window manager's close button does
  EXPECT_EQ(closed.seen, (std::vector<std::pair<UINT, LPARAM>>{{SC_CLOSE, 0}, {WM_CLOSE, 0}}));
  EXPECT_EQ(closed.m_hWnd, nullptr);
}

class ClosingApp : public CWinApp {
 public:
  SkinFrame* frame = nullptr;
  BOOL InitInstance() override {
    frame = new SkinFrame();
    m_pMainWnd = frame;
    frame->ShowWindow(SW_SHOW);
    frame->PostMessage(WM_CLOSE);
    return TRUE;
  }
  int ExitInstance() override { return 5; }
};

TEST(Application, RunEndsWhenTheMainWindowIsClosed) {
  mfc_test::EnsureApp();
  ClosingApp app;
  char name[] = "app";
  char* argv[] = {name, nullptr};
  EXPECT_EQ(AfxWinMain(1, argv), 5);
  EXPECT_FALSE(IsWindow(app.frame->m_hWnd));
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  delete app.frame;
}

// Takes windows over with Attach; records the application messages it gets.
class Borrower : public CWnd {
 public:
  std::vector<UINT> seen;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message >= WM_APP) seen.push_back(message);
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

TEST(Windows, AttachTakesAWindowOverUntilDetachGivesItBack) {
  mfc_test::RecordingWnd owner(u"owned");
  owner.first = WM_APP;
  HWND h = owner.m_hWnd;
  Borrower borrower;
  ASSERT_TRUE(borrower.Attach(h));
  EXPECT_EQ(owner.m_hWnd, nullptr);
  EXPECT_EQ(CWnd::FromHandle(h), &borrower);
  ::SendMessage(h, WM_APP + 1, 0, 0);
  EXPECT_EQ(borrower.seen, std::vector<UINT>{WM_APP + 1});
  EXPECT_TRUE(owner.received.empty());
  borrower.SetWindowText(CString(u"borrowed"));
  EXPECT_EQ(owner.received.size(), 0u);
  EXPECT_FALSE(borrower.Attach(h));                          // it has a window
  EXPECT_FALSE(Borrower().Attach(reinterpret_cast<HWND>(3)));  // dead handle

  EXPECT_EQ(borrower.Detach(), h);
  EXPECT_EQ(borrower.m_hWnd, nullptr);
  EXPECT_EQ(borrower.Detach(), nullptr);
  EXPECT_EQ(owner.m_hWnd, h);
  ::SendMessage(h, WM_APP + 2, 0, 0);
  ASSERT_EQ(owner.received.size(), 1u);
  EXPECT_EQ(owner.received[0].message, WM_APP + 2);
  EXPECT_EQ(owner.GetWindowTextString(), CString(u"borrowed"));

  // A borrower that goes away with the window destroys it; the lender is left
  // without one.
  {
    Borrower brief;
    ASSERT_TRUE(brief.Attach(h));
  }
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(owner.m_hWnd, nullptr);
}

TEST(Windows, AWindowDetachedFromItsObjectLivesOnUntilDestroyed) {
  auto* made = new CWnd();
  mfc_test::EnsureApp();
  ASSERT_TRUE(made->CreateEx(0, nullptr, u"detached", WS_POPUP, 0, 0, 50, 50, nullptr, 0));
  HWND h = made->Detach();
  ASSERT_NE(h, nullptr);
  delete made;
  EXPECT_TRUE(IsWindow(h));
  EXPECT_EQ(FindWindowW(nullptr, u"detached"), h);
  ::SendMessage(h, WM_CLOSE, 0, 0);  // the plain keeper goes with its window
  EXPECT_FALSE(IsWindow(h));
}

}  // namespace

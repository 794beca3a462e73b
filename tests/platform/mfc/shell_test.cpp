#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "support/gui_app.h"

namespace {

using mfc_test::PumpUntil;
using mfc_test::RecordingWnd;

TEST(Shell, OpenGoesThroughTheOpenerAndReportsItsResult) {
  mfc_test::EnsureApp();
  std::vector<QUrl> opened;
  bool answer = true;
  tlx::mfc::SetShellOpener([&](const QUrl& url) {
    opened.push_back(url);
    return answer;
  });
  EXPECT_GT(ShellExecute(nullptr, u"open", u"http://127.0.0.1/help", nullptr, nullptr, SW_SHOWNORMAL), 32);
  EXPECT_GT(ShellExecute(nullptr, u"open", u"/tmp/manual.pdf", nullptr, nullptr, SW_SHOWNORMAL), 32);
  answer = false;
  EXPECT_EQ(ShellExecute(nullptr, u"open", u"/tmp/x", nullptr, nullptr, SW_SHOWNORMAL), SE_ERR_NOASSOC);
  EXPECT_EQ(ShellExecute(nullptr, u"print", u"/tmp/x", nullptr, nullptr, SW_SHOWNORMAL), SE_ERR_NOASSOC);
  tlx::mfc::SetShellOpener(nullptr);
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[0].toString(), "http://127.0.0.1/help");
  EXPECT_EQ(opened[1], QUrl::fromLocalFile("/tmp/manual.pdf"));
}

TEST(Shell, SessionEventsReachTheRegisteredWindowsOnly) {
  RecordingWnd registered;
  RecordingWnd other;
  registered.first = other.first = WM_POWERBROADCAST;
  ASSERT_TRUE(WTSRegisterSessionNotification(registered.m_hWnd, NOTIFY_FOR_THIS_SESSION));
  tlx::mfc::DeliverSessionEvent(WM_WTSSESSION_CHANGE, 7, 1);
  ASSERT_TRUE(PumpUntil([&] { return !registered.received.empty(); }));
  EXPECT_EQ(registered.received[0].message, WM_WTSSESSION_CHANGE);
  EXPECT_EQ(registered.received[0].wParam, 7u);
  EXPECT_TRUE(other.received.empty());
  EXPECT_TRUE(WTSUnRegisterSessionNotification(registered.m_hWnd));
  EXPECT_FALSE(WTSUnRegisterSessionNotification(registered.m_hWnd));
}

TEST(Shell, AHotKeyIsAShortcutOfItsWindowThatPostsWmHotkey) {
  RecordingWnd wnd;
  wnd.first = WM_HOTKEY;
  wnd.ShowWindow(SW_SHOW);
  wnd.GetWidget()->activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return wnd.GetWidget()->isActiveWindow(); }));
  ASSERT_TRUE(RegisterHotKey(wnd.m_hWnd, 3, 0, VK_RETURN));
  EXPECT_FALSE(RegisterHotKey(wnd.m_hWnd, 3, 0, VK_ESCAPE));  // the id is taken
  QTest::keyClick(wnd.GetWidget(), Qt::Key_Return);
  ASSERT_TRUE(PumpUntil([&] { return !wnd.received.empty(); }));
  EXPECT_EQ(wnd.received[0].message, WM_HOTKEY);
  EXPECT_EQ(wnd.received[0].wParam, 3u);
  EXPECT_EQ(HIWORD(static_cast<uintptr_t>(wnd.received[0].lParam)), VK_RETURN);
  EXPECT_TRUE(UnregisterHotKey(wnd.m_hWnd, 3));
  EXPECT_FALSE(UnregisterHotKey(wnd.m_hWnd, 3));
}

TEST(Shell, TheCursorCounterAndTheWaitCursorAreBalanced) {
  mfc_test::EnsureApp();
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
  EXPECT_EQ(ShowCursor(TRUE), 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  AfxBeginWaitCursor();
  AfxBeginWaitCursor();
  AfxEndWaitCursor();
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  AfxEndWaitCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  SetCursor(LoadCursor(nullptr, IDC_SIZENWSE));
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::SizeFDiagCursor);
  SetCursor(nullptr);
  POINT p{-5, -5};
  EXPECT_TRUE(GetCursorPos(&p));

  RecordingWnd wnd;
  SetCapture(wnd.m_hWnd);
  EXPECT_EQ(GetCapture(), wnd.m_hWnd);
  ReleaseCapture();
  EXPECT_EQ(GetCapture(), nullptr);
}

// A window that records the capture it loses and its enabled-state changes
// through its message map.
class StateWnd : public CWnd {
 public:
  StateWnd() {
    mfc_test::EnsureApp();
    CreateEx(0, nullptr, u"state", WS_POPUP, 0, 0, 10, 10, nullptr, 0);
  }
  std::vector<HWND> lostTo;
  std::vector<BOOL> enabled;

 protected:
  void OnCaptureChanged(CWnd* gaining) override { lostTo.push_back(gaining == nullptr ? nullptr : gaining->m_hWnd); }
  void OnEnable(BOOL enable) override { enabled.push_back(enable); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(StateWnd, CWnd)
  ON_WM_CAPTURECHANGED()
  ON_WM_ENABLE()
END_MESSAGE_MAP()

TEST(Shell, TheWindowLosingTheCaptureLearnsWhoTookIt) {
  StateWnd first;
  StateWnd second;
  SetCapture(first.m_hWnd);
  SetCapture(first.m_hWnd);  // taken again by its holder: nothing is lost
  EXPECT_TRUE(first.lostTo.empty());
  SetCapture(second.m_hWnd);
  EXPECT_EQ(first.lostTo, std::vector<HWND>{second.m_hWnd});
  ReleaseCapture();
  EXPECT_EQ(second.lostTo, std::vector<HWND>{nullptr});
  ReleaseCapture();  // nobody holds it any more
  EXPECT_EQ(second.lostTo.size(), 1u);
  EXPECT_EQ(first.lostTo.size(), 1u);

  // A pop-up menu takes the mouse from the window holding it before it shows.
  SetCapture(first.m_hWnd);
  size_t lostWhenShown = 0;
  tlx::mfc::SetPopupPresenter([&](const std::vector<tlx::mfc::MenuItemView>&, POINT) {
    lostWhenShown = first.lostTo.size();
    return 0u;
  });
  CMenu menu;
  ASSERT_TRUE(menu.CreatePopupMenu());
  ASSERT_TRUE(menu.AppendMenu(MF_STRING, 1, u"One"));
  EXPECT_TRUE(menu.TrackPopupMenu(TPM_RIGHTBUTTON, 0, 0, &second));
  tlx::mfc::SetPopupPresenter(nullptr);
  EXPECT_EQ(lostWhenShown, 2u);
  EXPECT_EQ(first.lostTo.back(), nullptr);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST(Shell, EnableWindowTellsTheWindowOfEachChange) {
  StateWnd wnd;
  EXPECT_FALSE(wnd.EnableWindow(FALSE));
  EXPECT_TRUE(wnd.EnableWindow(FALSE));  // already disabled: no message
  EXPECT_TRUE(wnd.EnableWindow(TRUE));
  EXPECT_FALSE(wnd.EnableWindow(TRUE));
  EXPECT_EQ(wnd.enabled, (std::vector<BOOL>{FALSE, TRUE}));
}

// A window that answers whether the session may end, and counts the asks.
class EndingWnd : public CWnd {
 public:
  explicit EndingWnd(BOOL allow) : allow_(allow) {
    mfc_test::EnsureApp();
    CreateEx(0, nullptr, u"ending", WS_POPUP, 0, 0, 10, 10, nullptr, 0);
  }
  int asked = 0;

 protected:
  BOOL OnQueryEndSession() override {
    ++asked;
    return allow_;
  }
  DECLARE_MESSAGE_MAP()

 private:
  BOOL allow_;
};

BEGIN_MESSAGE_MAP(EndingWnd, CWnd)
  ON_WM_QUERYENDSESSION()
END_MESSAGE_MAP()

TEST(Shell, TheSessionEndsOnlyWhenNoTopLevelWindowRefuses) {
  EndingWnd first(TRUE);
  RecordingWnd plain;  // CWnd's own answer lets the session end
  EXPECT_TRUE(tlx::mfc::QueryEndSession());
  EXPECT_EQ(first.asked, 1);

  EndingWnd refusing(FALSE);
  EndingWnd later(TRUE);
  EXPECT_FALSE(tlx::mfc::QueryEndSession());
  EXPECT_EQ(first.asked, 2);
  EXPECT_EQ(refusing.asked, 1);
  EXPECT_EQ(later.asked, 0);  // asking stops at the refusal
}

}  // namespace

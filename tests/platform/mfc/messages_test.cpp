#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <QThread>
#include <atomic>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "support/gui_app.h"
#include "win32/synch.h"
#include "win32/threads.h"
#include "win32/timing.h"

namespace {

using mfc_test::PumpFor;
using mfc_test::PumpUntil;
using mfc_test::RecordingWnd;

constexpr UINT kPost = WM_APP + 1;
constexpr UINT kSend = WM_APP + 2;

TEST(WindowMessages, PostsFromFourThreadsArriveInEachSendersOrder) {
  RecordingWnd wnd;
  constexpr int kSenders = 4;
  constexpr int kEach = 300;
  std::vector<std::thread> senders;
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s, hwnd = wnd.m_hWnd] {
      for (int i = 0; i < kEach; ++i) ASSERT_TRUE(PostMessage(hwnd, kPost, s, i));
    });
  }
  for (auto& t : senders) t.join();
  ASSERT_TRUE(PumpUntil([&] { return wnd.received.size() == kSenders * kEach; }));
  std::map<WPARAM, LPARAM> next;
  for (const auto& r : wnd.received) {
    EXPECT_EQ(r.lParam, next[r.wParam]) << "sender " << r.wParam;
    next[r.wParam] = r.lParam + 1;
  }
}

TEST(WindowMessages, ASendFromAnotherThreadGoesAheadOfEarlierPosts) {
  RecordingWnd wnd;
  std::atomic<bool> posted{false};
  LRESULT answer = -1;
  std::thread sender([&, hwnd = wnd.m_hWnd] {
    for (int i = 0; i < 3; ++i) PostMessage(hwnd, kPost, 0, i);
    posted = true;
    answer = SendMessage(hwnd, kSend, 0, 0);
  });
  while (!posted) std::this_thread::yield();
  QThread::msleep(200);  // lets the send be queued behind the posts
  ASSERT_TRUE(PumpUntil([&] { return wnd.received.size() == 4; }));
  sender.join();
  EXPECT_EQ(wnd.received.front().message, kSend);
  EXPECT_EQ(answer, 0);
  // On the GUI thread a send is a direct call.
  wnd.received.clear();
  SendMessage(wnd.m_hWnd, kSend, 5, 6);
  ASSERT_EQ(wnd.received.size(), 1u);
  EXPECT_EQ(wnd.received[0].wParam, 5u);
}

TEST(WindowMessages, ADestroyedHandleRefusesPostsAndNeverComesBack) {
  HWND dead;
  {
    RecordingWnd wnd;
    dead = wnd.m_hWnd;
    ASSERT_TRUE(IsWindow(dead));
  }
  EXPECT_FALSE(IsWindow(dead));
  int record = 0;
  bool disposed = false;
  EXPECT_FALSE(PostMessage(dead, kPost, 0, reinterpret_cast<LPARAM>(&record), [&](WPARAM, LPARAM) { disposed = true; }));
  EXPECT_FALSE(disposed);  // the sender still owns the record
  EXPECT_EQ(SendMessage(dead, kSend, 0, 0), 0);
  std::set<HWND> seen;
  for (int i = 0; i < 50; ++i) {
    RecordingWnd again;
    EXPECT_NE(again.m_hWnd, dead);
    EXPECT_TRUE(seen.insert(again.m_hWnd).second);
  }
}

TEST(WindowMessages, AMessageForAWindowDestroyedFirstIsDisposedOnceAndNeverHandled) {
  struct Record {
    int value;
  };
  int disposed = 0;
  auto wnd = std::make_unique<RecordingWnd>();
  HWND hwnd = wnd->m_hWnd;
  std::thread poster([&] {
    ASSERT_TRUE(PostMessage(hwnd, kPost, 0, reinterpret_cast<LPARAM>(new Record{7}), [&](WPARAM, LPARAM l) {
      delete reinterpret_cast<Record*>(l);
      ++disposed;
    }));
  });
  poster.join();
  wnd->DestroyWindow();
  PumpFor(50);
  EXPECT_EQ(disposed, 1);
  EXPECT_TRUE(wnd->received.empty());
}

TEST(WindowMessages, ASendToAWindowDestroyedWhileTheSenderWaitsReturnsZero) {
  RecordingWnd wnd;
  std::atomic<bool> sending{false};
  std::atomic<bool> returned{false};
  LRESULT answer = -1;
  std::thread sender([&, hwnd = wnd.m_hWnd] {
    sending = true;
    answer = SendMessage(hwnd, kSend, 0, 0);
    returned = true;
  });
  while (!sending) std::this_thread::yield();
  QThread::msleep(100);
  wnd.DestroyWindow();
  sender.join();  // returns without the GUI thread handling anything
  EXPECT_EQ(answer, 0);
  PumpFor(20);
  EXPECT_TRUE(wnd.received.empty());
}

TEST(WindowMessages, SendMessageTimeoutReportsItsTimeOutWhileTheGuiThreadIsBlocked) {
  RecordingWnd wnd;
  LRESULT ok = -1;
  DWORD error = 0;
  DWORD_PTR result = 99;
  std::thread sender([&, hwnd = wnd.m_hWnd] {
    ok = SendMessageTimeout(hwnd, kSend, 0, 0, SMTO_ABORTIFHUNG, 50, &result);
    error = GetLastError();
  });
  sender.join();  // the GUI thread does not run meanwhile
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(error, ERROR_TIMEOUT);
  // The message is still handled once the GUI thread runs.
  EXPECT_TRUE(PumpUntil([&] { return wnd.received.size() == 1; }));

  std::thread answered([&, hwnd = wnd.m_hWnd] { ok = SendMessageTimeout(hwnd, kSend, 0, 0, 0, 5000, &result); });
  ASSERT_TRUE(PumpUntil([&] { return wnd.received.size() == 2; }));
  answered.join();
  EXPECT_NE(ok, 0);
}

TEST(WindowMessages, FindWindowAndIsWindowAnswerOnAnyThread) {
  RecordingWnd wnd(u"Fixture Title");
  HWND found = nullptr;
  HWND foundWide = nullptr;
  BOOL alive = FALSE;
  char title[64] = {};
  std::thread other([&] {
    found = FindWindowA(nullptr, "fixture title");
    foundWide = FindWindowW(nullptr, u"FIXTURE TITLE");
    alive = IsWindow(found);
    GetWindowTextA(found, title, sizeof title);
  });
  other.join();
  EXPECT_EQ(found, wnd.m_hWnd);
  EXPECT_EQ(foundWide, wnd.m_hWnd);
  EXPECT_TRUE(alive);
  EXPECT_STREQ(title, "Fixture Title");
  EXPECT_EQ(FindWindowA(nullptr, "no such window"), nullptr);
}

TEST(WindowMessages, FindWindowMatchesTheClassGivenAtCreationOrTheControlsClass) {
  mfc_test::EnsureApp();
  CWnd hidden;
  ASSERT_TRUE(hidden.CreateEx(0, u"STATIC", u"", WS_POPUP, 0, 0, 1, 1, nullptr, 0));
  CButton button;
  ASSERT_TRUE(button.CreateEx(0, nullptr, u"Press", WS_POPUP, 0, 0, 40, 20, nullptr, 0));
  RecordingWnd plain(u"Press");
  struct Case {
    const char* className;
    const char* title;
    HWND expected;
  };
  const Case cases[] = {
      {"static", nullptr, hidden.m_hWnd},   {"Static", "", hidden.m_hWnd},
      {"BUTTON", nullptr, button.m_hWnd},   {"Button", "press", button.m_hWnd},
      {nullptr, "Press", button.m_hWnd},    {"Button", "other", nullptr},
      {"Edit", nullptr, nullptr},           {"", "Press", plain.m_hWnd},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindWindowA(c.className, c.title), c.expected)
        << (c.className ? c.className : "null") << " / " << (c.title ? c.title : "null");
  }
  WCHAR name[8] = {};
  EXPECT_EQ(GetClassNameW(button.m_hWnd, name, 8), 6);
  EXPECT_EQ(QString::fromUtf16(name), "Button");
  EXPECT_EQ(GetClassNameW(button.m_hWnd, name, 4), 3);  // cut to fit with its zero
  EXPECT_EQ(QString::fromUtf16(name), "But");
  HWND dead = hidden.m_hWnd;
  hidden.DestroyWindow();
  EXPECT_EQ(FindWindowA("STATIC", nullptr), nullptr);
  EXPECT_EQ(GetClassNameW(dead, name, 8), 0);
}

TEST(WindowMessages, SendMessageTimeoutFlagsFollowWhetherTheGuiThreadIsHung) {
  RecordingWnd wnd;
  HWND h = wnd.m_hWnd;
  // Not hung, only slow: without a time-out while not hung the sender waits on.
  DWORD_PTR result = 7;
  LRESULT ok = 0;
  std::thread patient([&] { ok = SendMessageTimeout(h, kSend, 0, 0, SMTO_NOTIMEOUTIFNOTHUNG, 20, &result); });
  QThread::msleep(300);
  ASSERT_TRUE(PumpUntil([&] { return wnd.received.size() == 1; }));
  patient.join();
  EXPECT_NE(ok, 0);
  EXPECT_EQ(result, 0u);

  // A message has waited longer than the hung time: SMTO_ABORTIFHUNG fails at
  // once, without queuing its message.
  ASSERT_TRUE(PostMessage(h, kPost, 0, 0));
  DWORD took = 0;
  DWORD error = 0;
  std::thread hasty([&] {
    QThread::msleep(kHungAfterMs + 200);
    DWORD start = GetTickCount();
    ok = SendMessageTimeout(h, kSend, 0, 0, SMTO_ABORTIFHUNG, 3000, &result);
    error = GetLastError();
    took = GetTickCount() - start;
  });
  hasty.join();  // the GUI thread handles nothing meanwhile
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_LT(took, 1000u);
  ASSERT_TRUE(PumpUntil([&] { return wnd.received.size() == 2; }));
  PumpFor(50);
  EXPECT_EQ(wnd.received.size(), 2u);

  // Handling again, it is no longer hung.
  std::thread again([&] { ok = SendMessageTimeout(h, kSend, 0, 0, SMTO_ABORTIFHUNG, 3000, &result); });
  ASSERT_TRUE(PumpUntil([&] { return wnd.received.size() == 3; }));
  again.join();
  EXPECT_NE(ok, 0);
}

int Timers(const RecordingWnd& wnd, UINT_PTR id) {
  int n = 0;
  for (const auto& r : wnd.received) n += r.message == WM_TIMER && r.wParam == id;
  return n;
}

TEST(WindowTimers, RestartKillAndAtMostOnePendingOnABusyThread) {
  RecordingWnd wnd;
  ASSERT_EQ(wnd.SetTimer(1, 10, nullptr), 1u);
  ASSERT_TRUE(PumpUntil([&] { return Timers(wnd, 1) >= 2; }));
  // Set again with a long period: the timer restarts and stays quiet.
  wnd.SetTimer(1, 60000, nullptr);
  wnd.received.clear();
  PumpFor(80);
  EXPECT_EQ(Timers(wnd, 1), 0);

  wnd.SetTimer(2, 5, nullptr);
  EXPECT_TRUE(wnd.KillTimer(2));
  EXPECT_FALSE(wnd.KillTimer(2));
  PumpFor(50);
  EXPECT_EQ(Timers(wnd, 2), 0);

  wnd.SetTimer(3, 5, nullptr);
  QThread::msleep(120);  // the GUI thread is busy through many periods
  QCoreApplication::processEvents();
  EXPECT_LE(Timers(wnd, 3), 1);
  wnd.KillTimer(3);
  EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(0x4), 1, 10), 0u);  // no such window
}

std::atomic<int> g_workerFires{0};
std::atomic<DWORD> g_fireThread{0};
void CountFire(HWND hwnd, UINT message, UINT_PTR, DWORD) {
  EXPECT_EQ(hwnd, nullptr);
  EXPECT_EQ(message, WM_TIMER);
  g_fireThread = GetCurrentThreadId();
  ++g_workerFires;
}

TEST(ThreadTimers, FireOnTheirOwnWorkerAndRefuseAForeignThread) {
  std::atomic<UINT_PTR> id{0};
  std::atomic<bool> checked{false};
  DWORD workerId = 0;
  int pendingWhileBusy = -1;
  std::thread worker([&] {
    workerId = GetCurrentThreadId();
    MSG msg;
    PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
    id = SetTimer(nullptr, 0, 5, CountFire);
    while (!checked) std::this_thread::yield();
    // Not retrieving for many periods leaves one WM_TIMER waiting.
    QThread::msleep(100);
    // Count what waits before dispatching, which lets the next one come.
    std::vector<MSG> waiting;
    while (PeekMessage(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) waiting.push_back(msg);
    pendingWhileBusy = static_cast<int>(waiting.size());
    for (const MSG& m : waiting) DispatchMessage(&m);
    while (g_workerFires < 3 && GetMessage(&msg, nullptr, 0, 0) > 0) DispatchMessage(&msg);
    EXPECT_TRUE(KillTimer(nullptr, id));
  });
  while (id == 0) std::this_thread::yield();
  EXPECT_FALSE(KillTimer(nullptr, id));
  EXPECT_EQ(SetTimer(nullptr, id, 5, CountFire), 0u);
  checked = true;
  worker.join();
  EXPECT_EQ(pendingWhileBusy, 1);
  EXPECT_GE(g_workerFires, 3);
  EXPECT_EQ(g_fireThread, workerId);

  // On the GUI thread a thread timer runs from the event loop.
  mfc_test::EnsureApp();
  g_workerFires = 0;
  UINT_PTR gui = SetTimer(nullptr, 0, 5, CountFire);
  ASSERT_NE(gui, 0u);
  EXPECT_NE(gui, id.load());
  EXPECT_TRUE(PumpUntil([] { return g_workerFires >= 2; }));
  EXPECT_EQ(g_fireThread, GetCurrentThreadId());
  EXPECT_TRUE(KillTimer(nullptr, gui));
}

}  // namespace

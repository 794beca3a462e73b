#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>

#include "support/gui_app.h"
#include "win32/synch.h"
#include "win32/threads.h"

namespace {

constexpr UINT kWork = WM_APP + 10;
constexpr UINT kStop = WM_APP + 11;

class UiThread : public CWinThread {
  DECLARE_DYNCREATE(UiThread)

 public:
  static std::atomic<int> handled;
  static std::atomic<int> exited;
  BOOL InitInstance() override { return TRUE; }
  int ExitInstance() override {
    ++exited;
    return 42;
  }

 protected:
  void OnWork(WPARAM w, LPARAM) { handled += static_cast<int>(w); }
  void OnStop(WPARAM, LPARAM) { PostQuitMessage(0); }
  DECLARE_MESSAGE_MAP()
};
std::atomic<int> UiThread::handled{0};
std::atomic<int> UiThread::exited{0};

IMPLEMENT_DYNCREATE(UiThread, CWinThread)
BEGIN_MESSAGE_MAP(UiThread, CWinThread)
  ON_THREAD_MESSAGE(kWork, OnWork)
  ON_THREAD_MESSAGE(kStop, OnStop)
END_MESSAGE_MAP()

TEST(WinThread, AUserInterfaceThreadTakesPostsWhileSuspendedAndEndsOnQuit) {
  CWinThread* thread = AfxBeginThread(RUNTIME_CLASS(UiThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(thread, nullptr);
  thread->m_bAutoDelete = FALSE;
  EXPECT_TRUE(thread->PostThreadMessage(kWork, 2, 0));
  EXPECT_TRUE(thread->PostThreadMessage(kWork, 3, 0));
  EXPECT_TRUE(thread->PostThreadMessage(kStop, 0, 0));
  thread->ResumeThread();
  ASSERT_TRUE(thread->JoinOrDetach(5000));
  DWORD code = 0;
  GetExitCodeThread(thread->m_hThread, &code);
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(UiThread::handled, 5);
  EXPECT_EQ(UiThread::exited, 1);
  delete thread;
}

UINT ReturnAtOnce(LPVOID) { return 7; }

TEST(WinThread, MessagesLeftInAnEndedWorkersQueueAreDisposed) {
  CWinThread* thread = AfxBeginThread(ReturnAtOnce, nullptr, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(thread, nullptr);
  thread->m_bAutoDelete = FALSE;
  std::atomic<int> disposed{0};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(thread->PostThreadMessage(kWork, 0, reinterpret_cast<LPARAM>(new int(i)), [&](WPARAM, LPARAM l) {
      delete reinterpret_cast<int*>(l);
      ++disposed;
    }));
  }
  thread->ResumeThread();
  ASSERT_TRUE(thread->JoinOrDetach(5000));
  EXPECT_EQ(disposed, 3);
  DWORD id = thread->m_nThreadID;
  delete thread;
  int kept = 0;
  EXPECT_FALSE(PostThreadMessage(id, kWork, 0, reinterpret_cast<LPARAM>(&kept), [&](WPARAM, LPARAM) { ++disposed; }));
  EXPECT_EQ(disposed, 3);
}

UINT WaitForEvent(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
  return 0;
}

TEST(WinThread, AJoinThatTimesOutDetachesAndTheThreadCleansUpAfterItself) {
  HANDLE release = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  CWinThread* thread = AfxBeginThread(WaitForEvent, release);
  ASSERT_NE(thread, nullptr);
  thread->m_bAutoDelete = FALSE;
  EXPECT_FALSE(thread->JoinOrDetach(20));
  SetEvent(release);  // the thread ends and deletes its object (ASan sees a leak otherwise)
  QThread::msleep(50);
  CloseHandle(release);
}

}  // namespace

// CWinThread: a worker thread (a function) or a user-interface thread (a class
// with InitInstance, a message loop over its thread queue, and ExitInstance)
// over the kernel threads and thread queues of the Windows layer. A thread is
// never killed: it is asked to end (WM_QUIT) and joined, with a time limit.
#pragma once

#include "mfc/cmd_target.h"
#include "win32/messages.h"
#include "win32/types.h"

class CWnd;

using AFX_THREADPROC = UINT (*)(LPVOID param);

class CWinThread : public CCmdTarget {
  DECLARE_DYNCREATE(CWinThread)

 public:
  CWinThread();
  CWinThread(AFX_THREADPROC proc, LPVOID param);
  ~CWinThread() override;

  // Starts the kernel thread. Its queue exists when this returns, so posts
  // to m_nThreadID reach it even while it is suspended (CREATE_SUSPENDED: it
  // runs on ResumeThread).
  BOOL CreateThread(DWORD flags = 0, UINT stackSize = 0, void* security = nullptr);
  DWORD ResumeThread();
  BOOL SetThreadPriority(int priority);
  BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam, MessageDisposer dispose = {});

  // Waits up to `timeoutMs` for the thread to end. TRUE when it has: the
  // caller may delete the object. FALSE on a time-out: the thread is left to
  // finish on its own and the object deletes itself when it does.
  BOOL JoinOrDetach(DWORD timeoutMs);

  virtual BOOL InitInstance();
  // The message loop: each message is offered to PreTranslateMessage, then
  // dispatched; ends on WM_QUIT with ExitInstance's result.
  virtual int Run();
  virtual int ExitInstance();
  // Thread messages (no window) go to the thread's message map
  // (ON_THREAD_MESSAGE). TRUE when taken.
  virtual BOOL PreTranslateMessage(MSG* msg);
  virtual CWnd* GetMainWnd();

  HANDLE m_hThread = nullptr;
  DWORD m_nThreadID = 0;
  // The object deletes itself when the thread ends.
  BOOL m_bAutoDelete = TRUE;
  CWnd* m_pMainWnd = nullptr;

 protected:
  DECLARE_MESSAGE_MAP()

 private:
  static DWORD Entry(void* self);
  // Deletes the object when the thread has ended and it is set to.
  void Finished();
  AFX_THREADPROC m_pfnThreadProc = nullptr;
  LPVOID m_pThreadParams = nullptr;
  HANDLE m_hResume = nullptr;
  HANDLE m_hStarted = nullptr;
  struct Ending;
  Ending* m_pEnding;
};

// Creates a worker thread running `proc(param)`, or a user-interface thread of
// the class. Null when it cannot start. The object deletes itself when the
// thread ends unless m_bAutoDelete is cleared (set it before resuming a
// suspended thread).
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0, void* security = nullptr);
CWinThread* AfxBeginThread(const CRuntimeClass* threadClass, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0, void* security = nullptr);
// The CWinThread of the calling thread (the application on the GUI thread).
CWinThread* AfxGetThread();
// The main window of the calling thread's CWinThread, or of the application.
CWnd* AfxGetMainWnd();

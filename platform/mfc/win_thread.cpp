#include "mfc/win_thread.h"

#include <atomic>
#include <mutex>

#include "mfc/winuser.h"
#include "win32/synch.h"
#include "win32/threads.h"

namespace {
thread_local CWinThread* t_thread = nullptr;
// Read from any thread by AfxGetThread.
std::atomic<CWinThread*> g_guiThread{nullptr};
}  // namespace

namespace tlx::mfc {
// Set by the application for the GUI thread.
void SetGuiThreadObject(CWinThread* thread) { g_guiThread = thread; }
}  // namespace tlx::mfc

// Whether the thread or the joiner deletes the object, decided under a lock.
struct CWinThread::Ending {
  std::mutex lock;
  bool ended = false;
  bool detached = false;
};

IMPLEMENT_DYNCREATE(CWinThread, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinThread, CCmdTarget)
END_MESSAGE_MAP()

CWinThread::CWinThread() : m_pEnding(new Ending) {}

CWinThread::CWinThread(AFX_THREADPROC proc, LPVOID param)
    : m_pfnThreadProc(proc), m_pThreadParams(param), m_pEnding(new Ending) {}

CWinThread::~CWinThread() {
  if (m_hThread != nullptr) CloseHandle(m_hThread);
  if (m_hResume != nullptr) CloseHandle(m_hResume);
  if (m_hStarted != nullptr) CloseHandle(m_hStarted);
  delete m_pEnding;
}

BOOL CWinThread::CreateThread(DWORD flags, UINT stackSize, void* security) {
  if (m_hThread != nullptr) return FALSE;
  m_hResume = CreateEvent(nullptr, TRUE, (flags & CREATE_SUSPENDED) ? FALSE : TRUE, nullptr);
  m_hStarted = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  m_hThread = ::CreateThread(security, stackSize, &CWinThread::Entry, this, 0, &m_nThreadID);
  if (m_hThread == nullptr) return FALSE;
  WaitForSingleObject(m_hStarted, INFINITE);
  return TRUE;
}

DWORD CWinThread::ResumeThread() {
  if (m_hResume == nullptr) return static_cast<DWORD>(-1);
  bool wasSuspended = WaitForSingleObject(m_hResume, 0) == WAIT_TIMEOUT;
  SetEvent(m_hResume);
  return wasSuspended ? 1 : 0;
}

BOOL CWinThread::SetThreadPriority(int priority) { return ::SetThreadPriority(m_hThread, priority); }

BOOL CWinThread::PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam, MessageDisposer dispose) {
  return ::PostThreadMessage(m_nThreadID, message, wParam, lParam, std::move(dispose));
}

DWORD CWinThread::Entry(void* self) {
  auto* thread = static_cast<CWinThread*>(self);
  t_thread = thread;
  MSG msg;
  PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists from here
  SetEvent(thread->m_hStarted);
  WaitForSingleObject(thread->m_hResume, INFINITE);
  DWORD result;
  if (thread->m_pfnThreadProc != nullptr) {
    result = thread->m_pfnThreadProc(thread->m_pThreadParams);
  } else if (thread->InitInstance()) {
    result = static_cast<DWORD>(thread->Run());
  } else {
    result = static_cast<DWORD>(thread->ExitInstance());
  }
  thread->Finished();
  t_thread = nullptr;
  return result;
}

void CWinThread::Finished() {
  bool remove;
  {
    std::lock_guard lock(m_pEnding->lock);
    m_pEnding->ended = true;
    remove = m_bAutoDelete || m_pEnding->detached;
  }
  if (remove) delete this;
}

BOOL CWinThread::JoinOrDetach(DWORD timeoutMs) {
  if (m_hThread == nullptr) return TRUE;
  if (WaitForSingleObject(m_hThread, timeoutMs) == WAIT_OBJECT_0) return TRUE;
  std::lock_guard lock(m_pEnding->lock);
  // The thread may have ended between the wait and the lock: it kept the
  // object for the caller then.
  if (m_pEnding->ended) return TRUE;
  m_pEnding->detached = true;
  return FALSE;
}

BOOL CWinThread::InitInstance() { return FALSE; }

int CWinThread::Run() {
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0) > 0) {
    if (!PreTranslateMessage(&msg)) DispatchMessage(&msg);
  }
  return ExitInstance();
}

int CWinThread::ExitInstance() { return 0; }

BOOL CWinThread::PreTranslateMessage(MSG* msg) {
  if (msg->hwnd != nullptr) return FALSE;
  const AFX_MSGMAP_ENTRY* entry = FindEntry(msg->message, 0, 0);
  if (entry == nullptr) return FALSE;
  entry->pfn(this, msg->wParam, msg->lParam);
  return TRUE;
}

CWnd* CWinThread::GetMainWnd() { return m_pMainWnd; }

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize, DWORD flags,
                           void* security) {
  auto* thread = new CWinThread(proc, param);
  if (!thread->CreateThread(flags | CREATE_SUSPENDED, stackSize, security)) {
    delete thread;
    return nullptr;
  }
  thread->SetThreadPriority(priority);
  if (!(flags & CREATE_SUSPENDED)) thread->ResumeThread();
  return thread;
}

CWinThread* AfxBeginThread(const CRuntimeClass* threadClass, int priority, UINT stackSize, DWORD flags,
                           void* security) {
  if (threadClass == nullptr || !threadClass->IsDerivedFrom(RUNTIME_CLASS(CWinThread))) return nullptr;
  auto* thread = static_cast<CWinThread*>(threadClass->CreateObject());
  if (thread == nullptr) return nullptr;
  if (!thread->CreateThread(flags | CREATE_SUSPENDED, stackSize, security)) {
    delete thread;
    return nullptr;
  }
  thread->SetThreadPriority(priority);
  if (!(flags & CREATE_SUSPENDED)) thread->ResumeThread();
  return thread;
}

CWinThread* AfxGetThread() { return t_thread != nullptr ? t_thread : g_guiThread.load(); }

CWnd* AfxGetMainWnd() {
  CWinThread* thread = AfxGetThread();
  return thread == nullptr ? nullptr : thread->GetMainWnd();
}

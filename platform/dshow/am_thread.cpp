#include "dshow/am_thread.h"

#include "win32/threads.h"

CAMEvent::CAMEvent(BOOL manualReset) : event_(CreateEvent(nullptr, manualReset, FALSE, nullptr)) {}
CAMEvent::~CAMEvent() { CloseHandle(event_); }

// A request stays signalled until it is answered, so a worker that only
// checks for it can leave its loop and answer it from another place.
CAMThread::CAMThread() : eventSend_(TRUE) {}

CAMThread::~CAMThread() { Close(); }

BOOL CAMThread::Create() {
  CAutoLock lock(&m_AccessLock);
  if (ThreadExists()) return FALSE;
  thread_ = CreateThread(nullptr, 0, &CAMThread::InitialThreadProc, this, 0, nullptr);
  return thread_ != nullptr;
}

DWORD CAMThread::InitialThreadProc(void* self) { return static_cast<CAMThread*>(self)->ThreadProc(); }

void CAMThread::Close() {
  HANDLE thread = thread_;
  if (thread == nullptr) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  thread_ = nullptr;
}

DWORD CAMThread::CallWorker(DWORD request) {
  CAutoLock lock(&m_AccessLock);
  if (!ThreadExists()) return static_cast<DWORD>(E_FAIL);
  param_ = request;
  eventSend_.Set();
  eventComplete_.Wait();
  return returnValue_;
}

DWORD CAMThread::GetRequest() {
  eventSend_.Wait();
  return param_;
}

BOOL CAMThread::CheckRequest(DWORD* request) {
  if (!eventSend_.Check()) return FALSE;
  if (request != nullptr) *request = param_;
  return TRUE;
}

void CAMThread::Reply(DWORD reply) {
  returnValue_ = reply;
  eventSend_.Reset();
  eventComplete_.Set();
}

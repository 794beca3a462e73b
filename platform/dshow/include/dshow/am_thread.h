// An event object and a worker thread with a one-slot request/reply channel.
#pragma once

#include "dshow/crit_sec.h"
#include "win32/synch.h"

class CAMEvent {
 public:
  explicit CAMEvent(BOOL manualReset = FALSE);
  ~CAMEvent();
  CAMEvent(const CAMEvent&) = delete;
  CAMEvent& operator=(const CAMEvent&) = delete;

  operator HANDLE() const { return event_; }
  void Set() { SetEvent(event_); }
  void Reset() { ResetEvent(event_); }
  // TRUE when the event was signalled within the time-out.
  BOOL Wait(DWORD milliseconds = INFINITE) { return WaitForSingleObject(event_, milliseconds) == WAIT_OBJECT_0; }
  BOOL Check() { return Wait(0); }

 private:
  HANDLE event_;
};

class CAMThread {
 public:
  CAMThread();
  virtual ~CAMThread();
  CAMThread(const CAMThread&) = delete;
  CAMThread& operator=(const CAMThread&) = delete;

  // Starts the thread; FALSE when one is already running or it cannot start.
  BOOL Create();
  BOOL ThreadExists() const { return thread_ != nullptr; }
  // Waits for the thread to end and forgets it.
  void Close();
  HANDLE GetThreadHandle() const { return thread_; }

  // Caller side: hands a request to the worker and waits for its reply.
  // One caller at a time.
  DWORD CallWorker(DWORD request);

  // Worker side.
  DWORD GetRequest();
  BOOL CheckRequest(DWORD* request);
  void Reply(DWORD reply);
  HANDLE GetRequestHandle() const { return eventSend_; }
  DWORD GetRequestParam() const { return param_; }

  CCritSec m_AccessLock;  // serializes callers
  CCritSec m_WorkerLock;  // for the worker's own use

 protected:
  virtual DWORD ThreadProc() = 0;

 private:
  static DWORD InitialThreadProc(void* self);

  HANDLE thread_ = nullptr;
  CAMEvent eventSend_;
  CAMEvent eventComplete_;
  DWORD param_ = 0;
  DWORD returnValue_ = 0;
};

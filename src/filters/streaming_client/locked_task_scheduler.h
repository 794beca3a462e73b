// The task scheduler of a stream session: the RTSP/RTP objects' delayed tasks
// and read handlers behind one lock, and a thread of its own that runs the
// event loop once the stream plays, so the application thread and the loop
// can share the objects.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "rtsp/task_scheduler.h"
#include "win32/types.h"

class LockedTaskScheduler : public BasicTaskScheduler {
 public:
  // Raises a graph event on the filter (code, parameter 1, parameter 2).
  using EventCallback = std::function<void(long code, LONG_PTR param1, LONG_PTR param2)>;
  // Longest wait of one step.
  static constexpr unsigned kMaxStepWaitUs = 500000;

  LockedTaskScheduler() = default;
  ~LockedTaskScheduler() override;

  void setEventCallback(EventCallback callback) { fCallback = std::move(callback); }

  TaskToken scheduleDelayedTask(int64_t microseconds, TaskFunc* proc, void* clientData) override;
  void unscheduleDelayedTask(TaskToken& prevTask) override;
  void turnOnBackgroundReadHandling(int socketNum, BackgroundHandlerProc* handlerProc, void* clientData) override;
  void turnOffBackgroundReadHandling(int socketNum) override;

  // One round: under the lock, the wait (to the next task, at most 0.5 s)
  // and the sockets; the wait outside it; then under it the due tasks and the
  // handlers of readable sockets. A readable socket whose peer closed (a peek
  // gives 0 bytes) or that reports an error drops every task and ends the
  // loop: false.
  bool SingleStep(unsigned maxDelayTime = 0) override;

  // Starts the loop thread; false when it cannot be created or runs already.
  bool StartThread();
  // Stops the loop: it ends within one step without raising an event, and
  // every task and handler is dropped.
  void StopThread();
  bool ThreadRunning() const { return fThread != nullptr; }

  // The lock the application thread holds while it touches the objects the
  // loop drives.
  std::recursive_mutex& lock() { return fLock; }

 private:
  // A readable socket whose peer closed (a peek gives 0 bytes) or that
  // reports an error is refused.
  bool acceptReadable(int socketNum) override;
  static DWORD ThreadProc(void* self);
  void Loop();

  std::recursive_mutex fLock;
  bool fStop = false;  // under fLock
  HANDLE fThread = nullptr;
  EventCallback fCallback;
};

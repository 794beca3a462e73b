#include "locked_task_scheduler.h"

#include <sys/socket.h>

#include <cerrno>
#include <vector>

#include "filters/streaming_client/tlx_stream_source_control.h"
#include "win32/synch.h"
#include "win32/threads.h"

LockedTaskScheduler::~LockedTaskScheduler() { StopThread(); }

TaskToken LockedTaskScheduler::scheduleDelayedTask(int64_t microseconds, TaskFunc* proc, void* clientData) {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  return BasicTaskScheduler::scheduleDelayedTask(microseconds, proc, clientData);
}

void LockedTaskScheduler::unscheduleDelayedTask(TaskToken& prevTask) {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  BasicTaskScheduler::unscheduleDelayedTask(prevTask);
}

void LockedTaskScheduler::turnOnBackgroundReadHandling(int socketNum, BackgroundHandlerProc* handlerProc,
                                                       void* clientData) {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  BasicTaskScheduler::turnOnBackgroundReadHandling(socketNum, handlerProc, clientData);
}

void LockedTaskScheduler::turnOffBackgroundReadHandling(int socketNum) {
  std::lock_guard<std::recursive_mutex> lock(fLock);
  BasicTaskScheduler::turnOffBackgroundReadHandling(socketNum);
}

bool LockedTaskScheduler::SingleStep(unsigned) {
  std::vector<pollfd> polled;
  int timeoutMs;
  {
    std::lock_guard<std::recursive_mutex> lock(fLock);
    timeoutMs = stepTimeoutMs(kMaxStepWaitUs);
    polled = pollSet();
  }
  const int n = waitForSockets(polled, timeoutMs);
  if (n < 0) return false;
  std::lock_guard<std::recursive_mutex> lock(fLock);
  fDelayQueue.handleAlarms();
  if (n == 0) return true;
  if (!callReadyHandlers(polled)) {
    fDelayQueue.clear();
    return false;
  }
  return true;
}

bool LockedTaskScheduler::acceptReadable(int socketNum) {
  char byte;
  const ssize_t peeked = ::recv(socketNum, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return peeked > 0 || (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
}

bool LockedTaskScheduler::StartThread() {
  if (fThread != nullptr) return false;
  {
    std::lock_guard<std::recursive_mutex> lock(fLock);
    fStop = false;
  }
  fThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
  if (fThread == nullptr) return false;
  // A hint the layer accepts and ignores.
  SetThreadPriority(fThread, THREAD_PRIORITY_BELOW_NORMAL);
  return true;
}

void LockedTaskScheduler::StopThread() {
  if (fThread == nullptr) return;
  {
    std::lock_guard<std::recursive_mutex> lock(fLock);
    fStop = true;
    fDelayQueue.clear();
    fHandlers.clear();
  }
  WaitForSingleObject(fThread, INFINITE);
  CloseHandle(fThread);
  fThread = nullptr;
}

DWORD LockedTaskScheduler::ThreadProc(void* self) {
  static_cast<LockedTaskScheduler*>(self)->Loop();
  return 0;
}

void LockedTaskScheduler::Loop() {
  for (;;) {
    const bool stepped = SingleStep();
    bool stop;
    {
      std::lock_guard<std::recursive_mutex> lock(fLock);
      stop = fStop;
    }
    if (stop) return;
    if (!stepped) {
      if (fCallback) fCallback(EC_TLX_LOOP_ENDED, 0, 0);
      return;
    }
  }
}

// The task scheduler that drives the RTSP/RTP objects: delayed tasks kept in a
// delay queue on the monotonic clock, and read handlers on sockets, waited for
// with poll (so there is no limit on descriptor numbers). One thread runs the
// loop; a subclass that lets other threads in overrides SingleStep, builds it
// from the same protected steps (time-out, poll set, wait, handler walk) and
// guards the queue and the handler set, which it reaches as protected members.
#pragma once

#include <poll.h>

#include <cstdint>
#include <map>
#include <vector>

using TaskFunc = void(void* clientData);
// Identifies a scheduled task; null is "no task".
using TaskToken = void*;
// Mask bits given to a background handler.
constexpr int SOCKET_READABLE = 1 << 1;
using BackgroundHandlerProc = void(void* clientData, int mask);

// Delayed tasks ordered by due time; tasks due at the same time keep the order
// in which they were scheduled.
class DelayQueue {
 public:
  // Adds a task due `delayUs` microseconds from now (a negative delay counts
  // as 0) and returns its token, never null.
  TaskToken add(int64_t delayUs, TaskFunc* proc, void* clientData);
  // Removes the task; false when the token is null, ran already or was removed.
  bool remove(TaskToken token);
  // Microseconds until the first task is due: 0 when one is due, -1 when the
  // queue is empty.
  int64_t timeToNextAlarm() const;
  // Runs, in order, every task that was due when the call began. A task may
  // add and remove tasks; those it adds run in a later call at the earliest.
  void handleAlarms();
  // Drops every task without running it.
  void clear();
  bool empty() const { return fEntries.empty(); }

 private:
  struct Key {
    int64_t dueUs;
    uint64_t seq;
    bool operator<(const Key& o) const { return dueUs != o.dueUs ? dueUs < o.dueUs : seq < o.seq; }
  };
  struct Entry {
    TaskFunc* proc;
    void* clientData;
  };
  std::map<Key, Entry> fEntries;
  std::map<uint64_t, int64_t> fDueBySeq;  // token -> due time, for removal
  uint64_t fNextSeq = 1;
};

// The read handlers, one per socket.
class HandlerSet {
 public:
  struct Handler {
    int socketNum;
    BackgroundHandlerProc* proc;
    void* clientData;
  };
  // Sets or replaces the handler of the socket.
  void set(int socketNum, BackgroundHandlerProc* proc, void* clientData);
  void remove(int socketNum);
  // The handler of the socket, or null.
  const Handler* find(int socketNum) const;
  const std::vector<Handler>& handlers() const { return fHandlers; }
  void clear() { fHandlers.clear(); }

 private:
  std::vector<Handler> fHandlers;
};

class TaskScheduler {
 public:
  virtual ~TaskScheduler() = default;
  virtual TaskToken scheduleDelayedTask(int64_t microseconds, TaskFunc* proc, void* clientData) = 0;
  // Cancels the task and clears the token; a task that already ran is a no-op.
  virtual void unscheduleDelayedTask(TaskToken& prevTask) = 0;
  virtual void turnOnBackgroundReadHandling(int socketNum, BackgroundHandlerProc* handlerProc,
                                            void* clientData) = 0;
  virtual void turnOffBackgroundReadHandling(int socketNum) = 0;
  // Runs steps until *watchVariable is non-zero (for ever with a null one),
  // or until a step fails.
  virtual void doEventLoop(char volatile* watchVariable = nullptr) = 0;
};

class BasicTaskScheduler : public TaskScheduler {
 public:
  static BasicTaskScheduler* createNew();
  ~BasicTaskScheduler() override = default;

  TaskToken scheduleDelayedTask(int64_t microseconds, TaskFunc* proc, void* clientData) override;
  void unscheduleDelayedTask(TaskToken& prevTask) override;
  void turnOnBackgroundReadHandling(int socketNum, BackgroundHandlerProc* handlerProc,
                                    void* clientData) override;
  void turnOffBackgroundReadHandling(int socketNum) override;
  void doEventLoop(char volatile* watchVariable = nullptr) override;

  // One round: waits until a handled socket is readable or the next task is
  // due, at most maxDelayTime microseconds (0: no limit beyond the next task),
  // then calls the handlers of the readable sockets that are still on and runs
  // the due tasks. Returns false when the wait itself failed, or when there is
  // neither a task nor a handler that could ever end it.
  virtual bool SingleStep(unsigned maxDelayTime = 0);

 protected:
  BasicTaskScheduler() = default;
  // The poll time-out in milliseconds for a step: the time to the next task
  // bounded by maxDelayTime (0: unbounded), rounded up; -1 waits for ever.
  int stepTimeoutMs(unsigned maxDelayTime) const;
  // One entry asking for input per socket that has a handler.
  std::vector<pollfd> pollSet() const;
  // Waits with poll on the set for at most timeoutMs (-1: for ever) and
  // returns poll's count of ready sockets; an interrupted wait counts as 0
  // ready, a failed one gives -1.
  static int waitForSockets(std::vector<pollfd>& polled, int timeoutMs);
  // Calls the handlers of the sockets poll marked readable (or hung up), each
  // only if it is still on when its turn comes and acceptReadable lets it
  // through. A socket it refuses ends the walk there: false.
  bool callReadyHandlers(const std::vector<pollfd>& polled);
  // Whether a readable socket's handler may run; every one may here.
  virtual bool acceptReadable(int socketNum);

  DelayQueue fDelayQueue;
  HandlerSet fHandlers;
};

// Message queues of the link library: fixed-size slots in a ring, a counting
// semaphore for receivers and an optional event for a task's event set.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "win32/types.h"

namespace tlx::link {

class MessageQueue;
using MSG_Q_ID = MessageQueue*;

// A queue of `depth` messages of at most `maxLength` bytes; null on failure.
MSG_Q_ID msgQCreate(int depth, int maxLength, int options);
// Deletes the queue. Receivers and senders waiting on it return -1; its memory
// goes when the last of them has left.
int msgQDelete(MSG_Q_ID queue);
// Stores the message (cut to the slot size). A full queue is retried every
// 10 ms until the time-out; 0 on success, -1 when still full or deleted.
int msgQSend(MSG_Q_ID queue, const void* data, int length, int timeoutTicks, int priority);
// Takes the oldest message, cut to `length` (the rest of it is lost). 0 when a
// message was copied; -1 on time-out, deletion or a null queue. A task that is
// asked to stop ends here. On a thread that is not a task it returns -1 at once.
int msgQReceive(MSG_Q_ID queue, void* buffer, int length, int timeoutTicks);
int msgQNumMsgs(MSG_Q_ID queue);
// Registers an auto-reset event, set at every message stored, in the calling
// task's event set under `mask`; -1 for a null queue or a caller that is not a task.
int msgQEvStart(MSG_Q_ID queue, uint32_t mask);
int msgQEvStop(MSG_Q_ID queue);

// The queue object, for the library's own managers. Every blocking user holds
// an Enter/Leave pair, so deletion can wait for the last of them.
class MessageQueue {
 public:
  MessageQueue(int depth, int slotSize, HANDLE semaphore, HANDLE deadEvent);
  ~MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // False when the queue is full or deleted.
  bool Put(const void* data, int length);
  // False when the queue is empty. Does not touch the receivers' semaphore.
  bool Get(void* buffer, int length);
  int Count();

  // Makes `event` the notification event and returns the previous one.
  HANDLE ExchangeNotification(HANDLE event);

  // False when the queue is deleted; otherwise the caller must Leave.
  bool Enter();
  // The last user of a deleted queue frees it.
  void Leave();
  // Marks the queue deleted and wakes its waiters; frees it when nobody uses it.
  void Kill();

  HANDLE semaphore() const { return semaphore_; }
  HANDLE deadEvent() const { return deadEvent_; }

 private:
  const int depth_;
  const int slotSize_;
  const std::unique_ptr<uint8_t[]> data_;
  const std::unique_ptr<int32_t[]> lengths_;
  const HANDLE semaphore_;  // counts stored messages
  const HANDLE deadEvent_;  // manual-reset, set when deleted

  std::mutex lock_;
  int readIndex_ = 0;      // under lock_
  int writeIndex_ = 0;     // under lock_
  int count_ = 0;          // under lock_
  HANDLE notification_ = nullptr;  // under lock_
  int users_ = 0;          // under lock_
  bool dead_ = false;      // under lock_
};

}  // namespace tlx::link

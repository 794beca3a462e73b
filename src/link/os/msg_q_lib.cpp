#include "link/os/msg_q_lib.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "link/os/task_events.h"
#include "link/os/task_lib.h"
#include "win32/synch.h"
#include "win32/ticks.h"
#include "win32/timing.h"

namespace tlx::link {
namespace {

constexpr LONG kMaximumStored = 10000;
constexpr DWORD kFullQueuePollMs = 10;

// Holds one Enter of a queue and leaves it on every path out, thrown ones too.
class QueueUse {
 public:
  explicit QueueUse(MSG_Q_ID queue) : queue_(queue != nullptr && queue->Enter() ? queue : nullptr) {}
  ~QueueUse() {
    if (queue_ != nullptr) queue_->Leave();
  }
  QueueUse(const QueueUse&) = delete;
  QueueUse& operator=(const QueueUse&) = delete;
  explicit operator bool() const { return queue_ != nullptr; }

 private:
  MessageQueue* const queue_;
};

}  // namespace

MessageQueue::MessageQueue(int depth, int slotSize, HANDLE semaphore, HANDLE deadEvent)
    : depth_(depth),
      slotSize_(slotSize),
      data_(new uint8_t[static_cast<size_t>(depth) * static_cast<size_t>(slotSize)]),
      lengths_(new int32_t[static_cast<size_t>(depth)]()),
      semaphore_(semaphore),
      deadEvent_(deadEvent) {}

MessageQueue::~MessageQueue() {
  CloseHandle(semaphore_);
  CloseHandle(deadEvent_);
  if (notification_ != nullptr) CloseHandle(notification_);
}

bool MessageQueue::Put(const void* data, int length) {
  {
    std::lock_guard lock(lock_);
    if (dead_ || count_ == depth_) return false;
    const int copied = std::clamp(length, 0, slotSize_);
    if (copied > 0) std::memcpy(&data_[static_cast<size_t>(writeIndex_) * slotSize_], data, copied);
    lengths_[writeIndex_] = copied;
    writeIndex_ = (writeIndex_ + 1) % depth_;
    ++count_;
    // The receivers' count first: a task woken by the notification finds the
    // message with a receive that does not wait.
    ReleaseSemaphore(semaphore_, 1, nullptr);
    if (notification_ != nullptr) SetEvent(notification_);
  }
  return true;
}

bool MessageQueue::Get(void* buffer, int length) {
  std::lock_guard lock(lock_);
  if (count_ == 0) return false;
  const int copied = std::clamp(length, 0, static_cast<int>(lengths_[readIndex_]));
  if (copied > 0) std::memcpy(buffer, &data_[static_cast<size_t>(readIndex_) * slotSize_], copied);
  readIndex_ = (readIndex_ + 1) % depth_;
  --count_;
  return true;
}

int MessageQueue::Count() {
  std::lock_guard lock(lock_);
  return count_;
}

HANDLE MessageQueue::ExchangeNotification(HANDLE event) {
  std::lock_guard lock(lock_);
  return std::exchange(notification_, event);
}

bool MessageQueue::Enter() {
  std::lock_guard lock(lock_);
  if (dead_) return false;
  ++users_;
  return true;
}

void MessageQueue::Leave() {
  bool last;
  {
    std::lock_guard lock(lock_);
    last = --users_ == 0 && dead_;
  }
  if (last) delete this;
}

void MessageQueue::Kill() {
  bool unused;
  {
    std::lock_guard lock(lock_);
    dead_ = true;
    unused = users_ == 0;
    SetEvent(deadEvent_);
  }
  if (unused) delete this;
}

MSG_Q_ID msgQCreate(int depth, int maxLength, int) {
  if (depth <= 0 || depth > kMaximumStored || maxLength <= 0) return nullptr;
  const HANDLE semaphore = CreateSemaphore(nullptr, 0, kMaximumStored, nullptr);
  const HANDLE deadEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  if (semaphore != nullptr && deadEvent != nullptr) {
    auto* queue = new (std::nothrow) MessageQueue(depth, maxLength, semaphore, deadEvent);
    if (queue != nullptr) return queue;
  }
  if (semaphore != nullptr) CloseHandle(semaphore);
  if (deadEvent != nullptr) CloseHandle(deadEvent);
  return nullptr;
}

int msgQDelete(MSG_Q_ID queue) {
  if (queue == nullptr) return -1;
  queue->Kill();
  return 0;
}

int msgQSend(MSG_Q_ID queue, const void* data, int length, int timeoutTicks, int) {
  if (data == nullptr && length > 0) return -1;
  QueueUse use(queue);
  if (!use) return -1;
  if (queue->Put(data, length)) return 0;
  const DWORD timeoutMs = TimeoutMilliseconds(timeoutTicks, TimeoutUnit::kTicks);
  const DWORD start = GetTickCount();
  while (timeoutMs != 0) {
    Sleep(kFullQueuePollMs);
    if (queue->Put(data, length)) return 0;
    if (WaitForSingleObject(queue->deadEvent(), 0) == WAIT_OBJECT_0) return -1;
    if (timeoutMs != INFINITE && GetTickCount() - start >= timeoutMs) return -1;
  }
  return -1;
}

int msgQReceive(MSG_Q_ID queue, void* buffer, int length, int timeoutTicks) {
  if (buffer == nullptr && length > 0) return -1;
  taskExitIfStopped();
  const HANDLE stopEvent = taskStopEvent();
  if (stopEvent == nullptr) return -1;  // not a task: a stop request is always pending
  int result = -1;
  {
    QueueUse use(queue);
    if (!use) return -1;
    const HANDLE handles[] = {queue->semaphore(), queue->deadEvent(), stopEvent};
    const DWORD wait =
        WaitForMultipleObjects(3, handles, FALSE, TimeoutMilliseconds(timeoutTicks, TimeoutUnit::kTicks));
    if (wait == WAIT_OBJECT_0) {
      if (taskStopRequested()) {
        ReleaseSemaphore(queue->semaphore(), 1, nullptr);  // the message stays for another receiver
      } else {
        result = queue->Get(buffer, length) ? 0 : -1;
      }
    }
  }
  taskExitIfStopped();
  return result;
}

int msgQNumMsgs(MSG_Q_ID queue) { return queue == nullptr ? -1 : queue->Count(); }

int msgQEvStart(MSG_Q_ID queue, uint32_t mask) {
  if (queue == nullptr) return -1;
  const HANDLE event = taskEventCreate(mask);
  if (event == nullptr) return -1;
  taskEventClose(queue->ExchangeNotification(event));
  return 0;
}

int msgQEvStop(MSG_Q_ID queue) {
  if (queue == nullptr) return -1;
  taskEventClose(queue->ExchangeNotification(nullptr));
  return 0;
}

}  // namespace tlx::link

#include "link/os/event_mgr.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <variant>

#include "link/os/sem_lib.h"
#include "link/os/task_lib.h"
#include "link/os/tlx_log.h"
#include "win32/threads.h"

namespace tlx::link {
namespace {

struct CallbackReceiver {
  TLX_EVENT_CALLBACK callback;
  void* context;
};
struct QueueReceiver {
  MSG_Q_ID queue;
};
using Receiver = std::variant<std::monostate, CallbackReceiver, QueueReceiver>;

struct ReceiverSlot {
  Receiver receiver;
  uint32_t mask = 0;
};

// A slot is taken again by the same callback (whatever its context) or the
// same queue.
bool SameReceiver(const Receiver& a, const Receiver& b) {
  if (a.index() != b.index()) return false;
  if (const auto* callback = std::get_if<CallbackReceiver>(&a)) {
    return callback->callback == std::get<CallbackReceiver>(b).callback;
  }
  if (const auto* queue = std::get_if<QueueReceiver>(&a)) return queue->queue == std::get<QueueReceiver>(b).queue;
  return true;
}

// What exists between start and stop. Posts and receiver changes count
// themselves in `inFlight`, so stop deletes nothing that one of them still uses.
std::mutex g_stateLock;
std::condition_variable g_idle;
bool g_running = false;     // under g_stateLock
MSG_Q_ID g_queue = nullptr;  // under g_stateLock
SEM_ID g_tableLock = nullptr;  // under g_stateLock
int g_taskId = 0;           // under g_stateLock
int g_inFlight = 0;         // under g_stateLock

std::array<ReceiverSlot, kEventReceiverSlots> g_receivers;  // under g_tableLock

struct TaskContext {
  MSG_Q_ID queue;
  SEM_ID tableLock;
};

// One post or receiver change; empty when the manager is not started, or (for
// receiver changes) when called on "tEventMgr", whose table lock is held.
class Operation {
 public:
  explicit Operation(bool receiverChange) {
    std::lock_guard lock(g_stateLock);
    if (!g_running) return;
    if (receiverChange && static_cast<DWORD>(g_taskId) == GetCurrentThreadId()) return;
    ++g_inFlight;
    queue_ = g_queue;
    tableLock_ = g_tableLock;
  }
  ~Operation() {
    if (queue_ == nullptr) return;
    std::lock_guard lock(g_stateLock);
    if (--g_inFlight == 0) g_idle.notify_all();
  }
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  explicit operator bool() const { return queue_ != nullptr; }
  MSG_Q_ID queue() const { return queue_; }
  SEM_ID tableLock() const { return tableLock_; }

 private:
  MSG_Q_ID queue_ = nullptr;
  SEM_ID tableLock_ = nullptr;
};

int Attach(const Receiver& receiver, uint32_t mask) {
  Operation operation(true);
  if (!operation || semTake(operation.tableLock(), -1) != 0) return -1;
  ReceiverSlot* target = nullptr;
  for (ReceiverSlot& slot : g_receivers) {
    if (SameReceiver(slot.receiver, receiver)) {
      target = &slot;
      break;
    }
    if (target == nullptr && std::holds_alternative<std::monostate>(slot.receiver)) target = &slot;
  }
  if (target != nullptr) *target = ReceiverSlot{receiver, mask};
  semGive(operation.tableLock());
  return target != nullptr ? 0 : -1;
}

int Detach(const Receiver& receiver) {
  Operation operation(true);
  if (!operation || semTake(operation.tableLock(), -1) != 0) return -1;
  int result = -1;
  for (ReceiverSlot& slot : g_receivers) {
    if (SameReceiver(slot.receiver, receiver)) {
      slot = ReceiverSlot{};
      result = 0;
      break;
    }
  }
  semGive(operation.tableLock());
  return result;
}

void Deliver(const TLX_EVENT_MSG& message) {
  for (const ReceiverSlot& slot : g_receivers) {
    if ((message.eventId & slot.mask) == 0) continue;
    if (const auto* callback = std::get_if<CallbackReceiver>(&slot.receiver)) {
      callback->callback(callback->context, &message);
    } else if (const auto* queue = std::get_if<QueueReceiver>(&slot.receiver)) {
      if (msgQSend(queue->queue, &message, sizeof message, 0, 0) != 0) {
        tlxLog("[ERR] msgQSend() is failed, probably msgQ is full.(MSG_Q_ID=%p)", static_cast<void*>(queue->queue));
      }
    }
  }
}

void EventTask(intptr_t argument) {
  // Each task owns its own copy: one that outlasted its stop must not read
  // what a later start sets up.
  const std::unique_ptr<const TaskContext> owned(reinterpret_cast<const TaskContext*>(argument));
  const TaskContext& context = *owned;
  for (;;) {
    TLX_EVENT_MSG message{};
    if (msgQReceive(context.queue, &message, sizeof message, -1) != 0) {
      tlxLog("[ERR] msgQReceive() is failed...\n");
      continue;
    }
    if (semTake(context.tableLock, -1) != 0) continue;
    Deliver(message);
    semGive(context.tableLock);
  }
}

// Throws away what the queue holds, which frees senders waiting for room.
void Discard(MSG_Q_ID queue) {
  TLX_EVENT_MSG message;
  while (queue->Get(&message, sizeof message)) {
  }
}

}  // namespace

int eventMgrStart() {
  std::lock_guard lock(g_stateLock);
  if (g_running) return 0;
  g_receivers.fill(ReceiverSlot{});
  MSG_Q_ID queue = msgQCreate(kEventQueueDepth, sizeof(TLX_EVENT_MSG), 0);
  SEM_ID tableLock = semBCreate(0, 1);
  if (queue != nullptr && tableLock != nullptr) {
    auto context = std::make_unique<TaskContext>(TaskContext{queue, tableLock});
    const int taskId = taskSpawn("tEventMgr", 52, 0, 4096, &EventTask, reinterpret_cast<intptr_t>(context.get()));
    if (taskId != -1) {
      context.release();  // the task's now
      g_queue = queue;
      g_tableLock = tableLock;
      g_taskId = taskId;
      g_running = true;
      return 0;
    }
  }
  tlxLog("[ERR] event manager could not start\n");
  if (tableLock != nullptr) semDelete(tableLock);
  if (queue != nullptr) msgQDelete(queue);
  return -1;
}

int eventMgrStop() {
  std::unique_lock lock(g_stateLock);
  if (!g_running) return 0;
  // From a callback the task would wait for its own end and then return into
  // the freed table lock.
  if (static_cast<DWORD>(g_taskId) == GetCurrentThreadId()) return -1;
  g_running = false;
  const MSG_Q_ID queue = std::exchange(g_queue, nullptr);
  const SEM_ID tableLock = std::exchange(g_tableLock, nullptr);
  const int taskId = std::exchange(g_taskId, 0);
  lock.unlock();
  taskDelete(taskId);
  lock.lock();
  while (g_inFlight > 0) {
    Discard(queue);
    g_idle.wait_for(lock, std::chrono::milliseconds(10));
  }
  lock.unlock();
  // A task that outlasted the stop wait is still inside a delivery; the table
  // lock is free once it has left it, and then it only reaches its stop.
  semTake(tableLock, -1);
  semDelete(tableLock);
  Discard(queue);
  msgQDelete(queue);
  return 0;
}

uint64_t eventMgrStamp() {
  TLX_TIMESPEC now;
  tickClock(0, &now);
  return uint64_t(now.tv_sec) * 1000000 + uint64_t(now.tv_nsec) / 1000;
}

int eventMgrPost(uint32_t eventId, const void* payload, int length, int timeoutTicks) {
  if (payload == nullptr || length < 0 || length > kEventPayloadMax) return -1;
  Operation operation(false);
  if (!operation) return -1;
  TLX_EVENT_MSG message{};
  message.timeStamp = eventMgrStamp();
  message.eventId = eventId;
  message.length = static_cast<uint32_t>(length);
  std::memcpy(message.payload, payload, static_cast<size_t>(length));
  return msgQSend(operation.queue(), &message, sizeof message, timeoutTicks, 0);
}

int eventMgrCallbackAttach(TLX_EVENT_CALLBACK callback, void* context, uint32_t mask) {
  if (callback == nullptr) return -1;
  return Attach(CallbackReceiver{callback, context}, mask);
}

int eventMgrCallbackDetach(TLX_EVENT_CALLBACK callback) {
  if (callback == nullptr) return -1;
  return Detach(CallbackReceiver{callback, nullptr});
}

int eventMgrQueueAttach(MSG_Q_ID queue, uint32_t mask) {
  if (queue == nullptr) return -1;
  return Attach(QueueReceiver{queue}, mask);
}

int eventMgrQueueDetach(MSG_Q_ID queue) {
  if (queue == nullptr) return -1;
  return Detach(QueueReceiver{queue});
}

}  // namespace tlx::link

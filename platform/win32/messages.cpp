#include "win32/messages.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "win32/synch.h"
#include "win32/internal/thread_identity.h"
#include "win32/timing.h"

namespace tlx::win32 {
namespace {

struct Posted {
  MSG msg;
  MessageDisposer dispose;
};

struct Queue {
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<Posted> messages;
  // Set when the owning thread ends: later posts fail.
  bool closed = false;
  bool quitPosted = false;
  int quitCode = 0;
};

struct QueueTable {
  std::mutex lock;
  std::unordered_map<DWORD, std::shared_ptr<Queue>> queues;
};

QueueTable& Table() {
  static auto* table = new QueueTable();
  return *table;
}

// Owns the calling thread's queue and removes it from the table when the
// thread ends; messages nobody retrieved are discarded through their disposers.
struct QueueOwner {
  DWORD threadId = 0;
  std::shared_ptr<Queue> queue;
  ~QueueOwner() { Close(); }
  void Close() {
    if (!queue) return;
    {
      std::lock_guard lock(Table().lock);
      Table().queues.erase(threadId);
    }
    std::deque<Posted> left;
    {
      std::lock_guard lock(queue->lock);
      queue->closed = true;
      left.swap(queue->messages);
    }
    queue.reset();
    for (Posted& posted : left) {
      if (posted.dispose) posted.dispose(posted.msg.wParam, posted.msg.lParam);
    }
  }
};
thread_local QueueOwner t_queue;

Queue& OwnQueue() {
  if (!t_queue.queue) {
    t_queue.threadId = CurrentThreadId();
    t_queue.queue = std::make_shared<Queue>();
    std::lock_guard lock(Table().lock);
    Table().queues[t_queue.threadId] = t_queue.queue;
  }
  return *t_queue.queue;
}

bool Matches(const MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (hwnd != nullptr && msg.hwnd != hwnd) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

// Finds the next message for the filter; WM_QUIT from PostQuitMessage comes
// only when no posted message matches. Under queue.lock.
bool Take(Queue& queue, MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
  for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
    if (Matches(it->msg, hwnd, filterMin, filterMax)) {
      *msg = it->msg;
      if (remove) queue.messages.erase(it);
      return true;
    }
  }
  if (queue.quitPosted) {
    *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, GetTickCount(), {0, 0}};
    if (remove) queue.quitPosted = false;
    return true;
  }
  return false;
}

}  // namespace

void CloseThreadQueue() { t_queue.Close(); }

BOOL PostQueueMessage(DWORD threadId, const MSG& msg, MessageDisposer dispose) {
  std::shared_ptr<Queue> queue;
  {
    std::lock_guard lock(Table().lock);
    auto it = Table().queues.find(threadId);
    if (it != Table().queues.end()) queue = it->second;
  }
  if (!queue) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  std::lock_guard lock(queue->lock);
  if (queue->closed) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  if (queue->messages.size() >= kThreadQueueLimit) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  queue->messages.push_back(Posted{msg, std::move(dispose)});
  queue->messages.back().msg.time = GetTickCount();
  queue->arrived.notify_all();
  return TRUE;
}

}  // namespace tlx::win32

using namespace tlx::win32;

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostQueueMessage(threadId, MSG{nullptr, message, wParam, lParam, 0, {0, 0}});
}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam, MessageDisposer dispose) {
  return PostQueueMessage(threadId, MSG{nullptr, message, wParam, lParam, 0, {0, 0}}, std::move(dispose));
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  Queue& queue = OwnQueue();
  std::unique_lock lock(queue.lock);
  queue.arrived.wait(lock, [&] { return Take(queue, msg, hwnd, filterMin, filterMax, true); });
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (msg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Queue& queue = OwnQueue();
  std::lock_guard lock(queue.lock);
  return Take(queue, msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode) {
  Queue& queue = OwnQueue();
  std::lock_guard lock(queue.lock);
  queue.quitPosted = true;
  queue.quitCode = exitCode;
  queue.arrived.notify_all();
}

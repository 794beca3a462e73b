// SetTimer and KillTimer: window timers and the GUI thread's thread timers are
// Qt timers (internal/message_pump.h); a worker's thread timers are kept here
// and handed to the worker as WM_TIMER messages in its thread queue, with the
// procedure in lParam, which DispatchMessage calls.
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "mfc/internal/message_pump.h"
#include "mfc/winuser.h"
#include "mfc/wnd.h"
#include "win32/synch.h"
#include "win32/threads.h"
#include "win32/timing.h"

using namespace tlx::mfc;

namespace {

struct ThreadTimer {
  DWORD thread;
  bool gui;
  UINT elapseMs;
  TIMERPROC proc;
  std::chrono::steady_clock::time_point due;
  // A WM_TIMER for it waits in the thread's queue.
  bool pending = false;
};

// The thread timers of the process. A service thread posts the workers' timers
// to their queues; it starts with the first worker timer and ends with the
// process.
class ThreadTimers {
 public:
  ~ThreadTimers() {
    {
      std::lock_guard lock(lock_);
      stop_ = true;
      changed_.notify_all();
    }
    if (service_.joinable()) service_.join();
  }

  UINT_PTR Set(UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    DWORD self = GetCurrentThreadId();
    bool gui = OnGuiThread();
    std::lock_guard lock(lock_);
    if (id != 0) {
      auto it = timers_.find(id);
      if (it != timers_.end() && it->second.thread != self) return 0;
      if (it == timers_.end()) id = 0;
    }
    if (id == 0) id = next_++;
    ThreadTimer& timer = timers_[id];
    timer = ThreadTimer{self, gui, elapseMs, proc, Now() + std::chrono::milliseconds(elapseMs), false};
    if (gui) {
      StartGuiTimer(nullptr, id, elapseMs, proc);
    } else {
      if (!service_.joinable()) service_ = std::thread([this] { Serve(); });
      changed_.notify_all();
    }
    return id;
  }

  BOOL Kill(UINT_PTR id) {
    std::lock_guard lock(lock_);
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.thread != GetCurrentThreadId()) return FALSE;
    if (it->second.gui) StopGuiTimer(nullptr, id);
    timers_.erase(it);
    changed_.notify_all();
    return TRUE;
  }

  // The worker retrieved the timer's WM_TIMER: the next one may be posted.
  // false when the timer no longer exists.
  bool Taken(UINT_PTR id) {
    std::lock_guard lock(lock_);
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.thread != GetCurrentThreadId()) return false;
    it->second.pending = false;
    return true;
  }

 private:
  static std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }

  void Serve() {
    std::unique_lock lock(lock_);
    while (!stop_) {
      auto next = std::chrono::steady_clock::time_point::max();
      auto now = Now();
      for (auto it = timers_.begin(); it != timers_.end();) {
        ThreadTimer& timer = it->second;
        if (timer.gui) {
          ++it;
          continue;
        }
        if (timer.due <= now) {
          timer.due = now + std::chrono::milliseconds(timer.elapseMs);
          if (!timer.pending) {
            MSG msg{nullptr, WM_TIMER, it->first, reinterpret_cast<LPARAM>(timer.proc), 0, {0, 0}};
            if (tlx::win32::PostQueueMessage(timer.thread, msg)) {
              timer.pending = true;
            } else if (GetLastError() == ERROR_INVALID_THREAD_ID) {
              // The thread has ended: its timers end with it.
              it = timers_.erase(it);
              continue;
            }
          }
        }
        next = std::min(next, timer.due);
        ++it;
      }
      if (next == std::chrono::steady_clock::time_point::max()) {
        changed_.wait(lock);
      } else {
        changed_.wait_until(lock, next);
      }
    }
  }

  std::mutex lock_;
  std::condition_variable changed_;
  std::map<UINT_PTR, ThreadTimer> timers_;
  UINT_PTR next_ = 1;
  bool stop_ = false;
  std::thread service_;
};

ThreadTimers& Timers() {
  static ThreadTimers timers;
  return timers;
}

}  // namespace

UINT_PTR SetTimer(HWND hwnd, UINT_PTR idEvent, UINT elapseMs, TIMERPROC proc) {
  if (hwnd == nullptr) return Timers().Set(idEvent, elapseMs, proc);
  if (!IsWindow(hwnd)) return 0;
  if (OnGuiThread()) {
    StartGuiTimer(hwnd, idEvent, elapseMs, proc);
  } else if (!RunOnGui([=] {
               if (IsWindow(hwnd)) StartGuiTimer(hwnd, idEvent, elapseMs, proc);
             })) {
    return 0;
  }
  return idEvent;
}

BOOL KillTimer(HWND hwnd, UINT_PTR idEvent) {
  if (hwnd == nullptr) return Timers().Kill(idEvent);
  if (!IsWindow(hwnd)) return FALSE;
  if (OnGuiThread()) return StopGuiTimer(hwnd, idEvent) ? TRUE : FALSE;
  return RunOnGui([=] { StopGuiTimer(hwnd, idEvent); }) ? TRUE : FALSE;
}

LRESULT DispatchMessage(const MSG* msg) {
  if (msg == nullptr) return 0;
  if (msg->hwnd == nullptr) {
    if (msg->message == WM_TIMER && Timers().Taken(msg->wParam) && msg->lParam != 0) {
      reinterpret_cast<TIMERPROC>(msg->lParam)(nullptr, WM_TIMER, msg->wParam, GetTickCount());
    }
    return 0;
  }
  return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

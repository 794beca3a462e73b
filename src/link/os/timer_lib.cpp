#include "link/os/timer_lib.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "link/os/tlx_log.h"
#include "win32/synch.h"
#include "win32/threads.h"
#include "win32/ticks.h"

namespace tlx::link {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSlotCount = 16;
// The smallest stack there is; the Windows layer raises it to its minimum.
constexpr size_t kTimerStackSize = 640;

// One timer. Its starter, its canceller and its thread meet under `lock`, and
// `changed` wakes the thread (new deadline, cancel) and waiting cancellers
// (callback returned).
struct TimerSlot {
  std::mutex lock;
  std::condition_variable changed;
  WD_CALLBACK callback = nullptr;
  TIMER_CALLBACK callback2 = nullptr;  // used instead when twoArguments
  bool twoArguments = false;
  intptr_t argument = 0;
  bool armed = false;
  bool forever = false;  // armed without a time limit
  Clock::time_point deadline;
  bool running = false;  // the slot's thread exists
  bool firing = false;   // its callback is being called
  DWORD firingThread = 0;
  bool reserved = false;  // handed out by wdCreate or timer_create
};

std::array<TimerSlot, kSlotCount> g_slots;
std::mutex g_allocationLock;
int g_cursor = 0;  // under g_allocationLock

bool ValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }

DWORD TimerMain(void* parameter) {
  const int index = static_cast<int>(reinterpret_cast<intptr_t>(parameter));
  TimerSlot& slot = g_slots[index];
  std::unique_lock lock(slot.lock);
  while (slot.armed) {
    if (slot.forever) {
      slot.changed.wait(lock);
      continue;
    }
    if (Clock::now() < slot.deadline) {
      slot.changed.wait_until(lock, slot.deadline);
      continue;
    }
    slot.armed = false;
    slot.firing = true;
    slot.firingThread = GetCurrentThreadId();
    const bool twoArguments = slot.twoArguments;
    const WD_CALLBACK callback = slot.callback;
    const TIMER_CALLBACK callback2 = slot.callback2;
    const intptr_t argument = slot.argument;
    lock.unlock();
    if (twoArguments && callback2 != nullptr) callback2(index, argument);
    if (!twoArguments && callback != nullptr) callback(argument);
    lock.lock();
    slot.firing = false;
    slot.firingThread = 0;
    slot.changed.notify_all();
    // A restart from the callback, or during it, keeps this thread going.
  }
  slot.running = false;
  return 0;
}

// Under slot.lock: disarms the timer and, unless called from its own
// callback, waits for a callback in progress to return.
void CancelLocked(TimerSlot& slot, std::unique_lock<std::mutex>& lock) {
  slot.armed = false;
  slot.changed.notify_all();
  if (slot.firingThread != GetCurrentThreadId()) {
    slot.changed.wait(lock, [&slot] { return !slot.firing; });
  }
}

void Cancel(int index) {
  TimerSlot& slot = g_slots[index];
  std::unique_lock lock(slot.lock);
  CancelLocked(slot, lock);
}

// Arms the timer for `delayMs` from now, starting its thread when it has none;
// a zero delay cancels it instead. A given watchdog callback and argument are
// stored in the same step, so an expiry racing the restart fires either the
// old arming with its own argument or the new one, never a mix.
bool Start(int index, DWORD delayMs, const WD_CALLBACK* callback, intptr_t argument) {
  TimerSlot& slot = g_slots[index];
  std::unique_lock lock(slot.lock);
  if (callback != nullptr) {
    slot.callback = *callback;
    slot.twoArguments = false;
    slot.argument = argument;
  }
  if (delayMs == 0) {
    CancelLocked(slot, lock);
    return false;
  }
  slot.armed = true;
  slot.forever = delayMs == INFINITE;
  slot.deadline = Clock::now() + std::chrono::milliseconds(delayMs);
  if (slot.running) {
    slot.changed.notify_all();
    return true;
  }
  const HANDLE thread =
      CreateThread(nullptr, kTimerStackSize, &TimerMain, reinterpret_cast<void*>(intptr_t{index}), 0, nullptr);
  if (thread == nullptr) {
    slot.armed = false;
    tlxLog("[ERR] CreateThread() is failed.(timer %d)\n", index);
    return false;
  }
  slot.running = true;
  CloseHandle(thread);
  return true;
}

// Reserves the next free slot, round-robin from the cursor; -1 when none is free.
int Allocate() {
  std::lock_guard allocation(g_allocationLock);
  for (int n = 0; n < kSlotCount; ++n) {
    const int index = (g_cursor + n) % kSlotCount;
    TimerSlot& slot = g_slots[index];
    std::lock_guard lock(slot.lock);
    if (!slot.armed && !slot.running && !slot.reserved) {
      slot.reserved = true;
      g_cursor = (index + 1) % kSlotCount;
      return index;
    }
  }
  return -1;
}

void Free(int index) {
  Cancel(index);
  std::lock_guard allocation(g_allocationLock);
  std::lock_guard lock(g_slots[index].lock);
  g_slots[index].reserved = false;
}

}  // namespace

int wdCreate() { return Allocate() + 1; }

int wdStart(int id, int ticks, WD_CALLBACK callback, intptr_t argument) {
  const int index = id - 1;
  if (!ValidSlot(index)) return -1;
  return Start(index, TimeoutMilliseconds(ticks, TimeoutUnit::kTicks), &callback, argument) ? 0 : -1;
}

int wdCancel(int id) {
  if (!ValidSlot(id - 1)) return -1;
  Cancel(id - 1);
  return 0;
}

int wdDelete(int id) {
  if (!ValidSlot(id - 1)) return -1;
  Free(id - 1);
  return 0;
}

int timer_create(int, void* event, int* out) {
  if (event != nullptr || out == nullptr) return -1;
  const int index = Allocate();
  if (index < 0) return -1;
  *out = index;
  return 0;
}

int timer_connect(int id, TIMER_CALLBACK callback, intptr_t argument) {
  if (!ValidSlot(id)) return -1;
  TimerSlot& slot = g_slots[id];
  std::lock_guard lock(slot.lock);
  slot.callback2 = callback;
  slot.twoArguments = true;
  slot.argument = argument;
  return 0;
}

int timer_settime(int id, int flags, const TLX_ITIMERSPEC* value, TLX_ITIMERSPEC* oldValue) {
  if (!ValidSlot(id) || flags != 0 || oldValue != nullptr || value == nullptr || value->word3 != 0 ||
      value->word4 != 0) {
    return -1;
  }
  const int64_t ms = int64_t{value->seconds} * 1000 + value->nanoseconds / 1000000;
  const LONG delay = ms <= 0 ? 0 : static_cast<LONG>(std::min<int64_t>(ms, INT32_MAX));
  return Start(id, TimeoutMilliseconds(delay, TimeoutUnit::kMilliseconds), nullptr, 0) ? 1 : 0;
}

int timer_delete(int id) {
  if (!ValidSlot(id)) return -1;
  Free(id);
  return 0;
}

}  // namespace tlx::link

#include "link/os/sem_lib.h"

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <new>

#include "link/os/task_events.h"
#include "win32/synch.h"
#include "win32/threads.h"
#include "win32/ticks.h"
#include "win32/timing.h"

namespace tlx::link {

class Semaphore {
 public:
  HANDLE handle = nullptr;  // binary semaphore; null for a mutex slot
  CRITICAL_SECTION section;
  std::atomic<DWORD> owner{0};  // thread holding the slot
  int depth = 0;                // recursion depth; touched by the owner only
};

namespace {

constexpr DWORD kMutexPollMs = 16;

enum class SlotState { kFree, kInUse, kDeleted };

std::array<Semaphore, 8> g_mutexSlots;
std::mutex g_slotLock;
std::array<SlotState, 8> g_slotStates{};  // under g_slotLock

std::mutex g_eventMapLock;
std::map<SEM_ID, HANDLE> g_eventMap;  // under g_eventMapLock

// The slot index of a mutex-slot handle, or -1 for a binary semaphore.
int SlotIndex(SEM_ID sem) {
  std::less<const Semaphore*> before;
  if (before(sem, g_mutexSlots.data()) || !before(sem, g_mutexSlots.data() + g_mutexSlots.size())) return -1;
  return static_cast<int>(sem - g_mutexSlots.data());
}

bool SlotUsable(int slot) {
  std::lock_guard lock(g_slotLock);
  return g_slotStates[slot] == SlotState::kInUse;
}

// Records the caller as the owner of a slot it has just entered.
int Entered(Semaphore& slot) {
  if (slot.depth++ == 0) slot.owner = GetCurrentThreadId();
  return 0;
}

bool EnterSlot(Semaphore& slot) { return TryEnterCriticalSection(&slot.section) && Entered(slot) == 0; }

int TakeSlot(Semaphore& slot, int timeoutTicks) {
  if (EnterSlot(slot)) return 0;
  if (timeoutTicks < 0) {
    EnterCriticalSection(&slot.section);
    return Entered(slot);
  }
  for (int polls = timeoutTicks; polls > 0; --polls) {
    Sleep(kMutexPollMs);
    if (EnterSlot(slot)) return 0;
  }
  return -1;
}

// Removes and closes the event mapped to `sem`, if any.
void DropEvent(SEM_ID sem) {
  HANDLE event = nullptr;
  {
    std::lock_guard lock(g_eventMapLock);
    auto it = g_eventMap.find(sem);
    if (it == g_eventMap.end()) return;
    event = it->second;
    g_eventMap.erase(it);
  }
  taskEventClose(event);
}

}  // namespace

SEM_ID semBCreate(int, int initialState) {
  const HANDLE handle = CreateSemaphore(nullptr, initialState == 1 ? 1 : 0, 1, nullptr);
  if (handle == nullptr) return nullptr;
  auto* sem = new (std::nothrow) Semaphore;
  if (sem == nullptr) {
    CloseHandle(handle);
    return nullptr;
  }
  sem->handle = handle;
  return sem;
}

SEM_ID semMCreate(int) {
  std::lock_guard lock(g_slotLock);
  for (size_t i = 0; i < g_slotStates.size(); ++i) {
    if (g_slotStates[i] == SlotState::kFree) {
      g_slotStates[i] = SlotState::kInUse;
      InitializeCriticalSection(&g_mutexSlots[i].section);
      return &g_mutexSlots[i];
    }
  }
  return nullptr;
}

int semTake(SEM_ID sem, int timeoutTicks) {
  if (sem == nullptr) return -1;
  const int slot = SlotIndex(sem);
  if (slot >= 0) return SlotUsable(slot) ? TakeSlot(*sem, timeoutTicks) : -1;
  return WaitForSingleObject(sem->handle, TimeoutMilliseconds(timeoutTicks, TimeoutUnit::kTicks)) == WAIT_OBJECT_0
             ? 0
             : -1;
}

int semGive(SEM_ID sem) {
  if (sem == nullptr) return -1;
  const int slot = SlotIndex(sem);
  if (slot >= 0) {
    if (!SlotUsable(slot) || sem->owner != GetCurrentThreadId()) return -1;
    if (--sem->depth == 0) sem->owner = 0;
    LeaveCriticalSection(&sem->section);
    return 0;
  }
  if (!ReleaseSemaphore(sem->handle, 1, nullptr)) return -1;
  std::lock_guard lock(g_eventMapLock);
  auto it = g_eventMap.find(sem);
  if (it != g_eventMap.end()) SetEvent(it->second);
  return 0;
}

int semDelete(SEM_ID sem) {
  if (sem == nullptr) return -1;
  const int slot = SlotIndex(sem);
  if (slot >= 0) {
    std::lock_guard lock(g_slotLock);
    if (g_slotStates[slot] != SlotState::kInUse) return -1;
    g_slotStates[slot] = SlotState::kDeleted;
    DeleteCriticalSection(&sem->section);
    return 0;
  }
  {
    // A later semaphore may get the same address; it must not inherit the event.
    std::lock_guard lock(g_eventMapLock);
    g_eventMap.erase(sem);
  }
  CloseHandle(sem->handle);
  delete sem;
  return 0;
}

int semEvStart(SEM_ID sem, uint32_t mask) {
  if (sem == nullptr) return -1;
  const HANDLE event = taskEventCreate(mask);
  if (event == nullptr) return -1;
  DropEvent(sem);
  std::lock_guard lock(g_eventMapLock);
  g_eventMap[sem] = event;
  return 0;
}

int semEvStop(SEM_ID sem) {
  DropEvent(sem);
  return 0;
}

}  // namespace tlx::link

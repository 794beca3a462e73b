#include "win32/synch.h"

#include <algorithm>
#include <chrono>
#include <unordered_set>

#include "win32/internal/kernel_object.h"

namespace tlx::win32 {
namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

// Open handles; guarded by the dispatcher lock.
std::unordered_set<KernelObject*>& OpenHandles() {
  static auto* handles = new std::unordered_set<KernelObject*>();
  return *handles;
}

class Event final : public KernelObject {
 public:
  Event(bool manualReset, bool signaled) : manualReset_(manualReset), signaled_(signaled) {}
  bool IsSignaled() const override { return signaled_; }
  void Acquire() override {
    if (!manualReset_) signaled_ = false;
  }
  void Set(bool signaled) { signaled_ = signaled; }

 private:
  const bool manualReset_;
  bool signaled_;
};

class Semaphore final : public KernelObject {
 public:
  Semaphore(LONG count, LONG maximum) : count_(count), maximum_(maximum) {}
  bool IsSignaled() const override { return count_ > 0; }
  void Acquire() override { --count_; }
  bool Add(LONG n, LONG* previous) {
    if (n <= 0 || n > maximum_ - count_) return false;
    if (previous != nullptr) *previous = count_;
    count_ += n;
    return true;
  }

 private:
  LONG count_;
  const LONG maximum_;
};

}  // namespace

struct Waiter {
  Waiter(KernelObject* const* objects, DWORD count, bool waitAll) : objects(objects), count(count), waitAll(waitAll) {}
  KernelObject* const* objects;
  DWORD count;
  bool waitAll;
  bool done = false;
  DWORD result = WAIT_TIMEOUT;
  std::condition_variable wake;
};

std::mutex& DispatcherLock() {
  static auto* lock = new std::mutex();
  return *lock;
}

HANDLE RegisterHandle(KernelObject* object) {
  std::lock_guard lock(DispatcherLock());
  OpenHandles().insert(object);
  return object;
}

KernelObject* ReferenceHandleLocked(HANDLE handle) {
  auto* object = static_cast<KernelObject*>(handle);
  if (handle == nullptr || !OpenHandles().contains(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  object->AddRef();
  return object;
}

int WaiterCount(HANDLE handle) {
  std::lock_guard lock(DispatcherLock());
  auto* object = static_cast<KernelObject*>(handle);
  if (handle == nullptr || !OpenHandles().contains(object)) return -1;
  return static_cast<int>(object->waiters.size());
}

namespace {

// Takes the objects of a waiter if its wait can be satisfied now.
bool TryGrant(Waiter& waiter) {
  if (waiter.waitAll) {
    for (DWORD i = 0; i < waiter.count; ++i) {
      if (!waiter.objects[i]->IsSignaled()) return false;
    }
    for (DWORD i = 0; i < waiter.count; ++i) waiter.objects[i]->Acquire();
    waiter.result = WAIT_OBJECT_0;
    return true;
  }
  for (DWORD i = 0; i < waiter.count; ++i) {
    if (waiter.objects[i]->IsSignaled()) {
      waiter.objects[i]->Acquire();
      waiter.result = WAIT_OBJECT_0 + i;
      return true;
    }
  }
  return false;
}

void Unlink(Waiter& waiter) {
  for (DWORD i = 0; i < waiter.count; ++i) {
    auto& list = waiter.objects[i]->waiters;
    list.erase(std::remove(list.begin(), list.end(), &waiter), list.end());
  }
}

}  // namespace

void SatisfyWaiters(KernelObject& object) {
  // Granting unlinks waiters from this list, so walk a copy.
  std::vector<Waiter*> waiters = object.waiters;
  for (Waiter* waiter : waiters) {
    if (!object.IsSignaled()) break;
    if (!waiter->done && TryGrant(*waiter)) {
      waiter->done = true;
      Unlink(*waiter);
      waiter->wake.notify_one();
    }
  }
}

namespace {

bool HasDuplicates(KernelObject* const* objects, DWORD count) {
  for (DWORD i = 1; i < count; ++i) {
    if (std::find(objects, objects + i, objects[i]) != objects + i) return true;
  }
  return false;
}

// Waits for referenced objects, with the dispatcher lock held by `lock`.
DWORD WaitLocked(std::unique_lock<std::mutex>& lock, KernelObject* const* objects, DWORD count, bool waitAll,
                 DWORD milliseconds) {
  if (waitAll && HasDuplicates(objects, count)) {
    SetLastError(ERROR_INVALID_PARAMETER);  // as Windows: one object twice in a wait-all
    return WAIT_FAILED;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  Waiter waiter(objects, count, waitAll);
  if (TryGrant(waiter)) return waiter.result;
  if (milliseconds == 0) return WAIT_TIMEOUT;
  for (DWORD i = 0; i < count; ++i) objects[i]->waiters.push_back(&waiter);
  while (!waiter.done) {
    if (milliseconds == INFINITE) {
      waiter.wake.wait(lock);
    } else if (waiter.wake.wait_until(lock, deadline) == std::cv_status::timeout) {
      break;
    }
  }
  if (!waiter.done) Unlink(waiter);
  return waiter.result;
}

DWORD Wait(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  KernelObject* objects[MAXIMUM_WAIT_OBJECTS];
  DWORD referenced = 0;
  DWORD result = WAIT_FAILED;
  {
    std::unique_lock lock(DispatcherLock());
    while (referenced < count && (objects[referenced] = ReferenceHandleLocked(handles[referenced])) != nullptr) {
      ++referenced;
    }
    if (referenced == count) result = WaitLocked(lock, objects, count, waitAll, milliseconds);
  }
  // Objects closed meanwhile may go away here, so release outside the lock.
  for (DWORD i = 0; i < referenced; ++i) objects[i]->Release();
  return result;
}

template <typename T, typename F>
BOOL WithObject(HANDLE handle, F&& action) {
  ObjectRef<T> object = ReferenceHandleAs<T>(handle);
  if (!object) return FALSE;
  std::lock_guard lock(DispatcherLock());
  return action(*object) ? TRUE : FALSE;
}

}  // namespace
}  // namespace tlx::win32

using namespace tlx::win32;

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

HANDLE CreateEvent(void*, BOOL manualReset, BOOL initialState, const char* name) {
  if (name != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return RegisterHandle(new Event(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) {
  return WithObject<Event>(event, [](Event& e) {
    e.Set(true);
    SatisfyWaiters(e);
    return true;
  });
}

BOOL ResetEvent(HANDLE event) {
  return WithObject<Event>(event, [](Event& e) {
    e.Set(false);
    return true;
  });
}

BOOL PulseEvent(HANDLE event) {
  return WithObject<Event>(event, [](Event& e) {
    e.Set(true);
    SatisfyWaiters(e);
    e.Set(false);
    return true;
  });
}

HANDLE CreateSemaphore(void*, LONG initialCount, LONG maximumCount, const char* name) {
  if (name != nullptr || maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return RegisterHandle(new Semaphore(initialCount, maximumCount));
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount) {
  return WithObject<Semaphore>(semaphore, [&](Semaphore& s) {
    if (!s.Add(releaseCount, previousCount)) {
      SetLastError(ERROR_TOO_MANY_POSTS);
      return false;
    }
    SatisfyWaiters(s);
    return true;
  });
}

BOOL CloseHandle(HANDLE handle) {
  auto* object = static_cast<KernelObject*>(handle);
  {
    std::lock_guard lock(DispatcherLock());
    if (handle == nullptr || OpenHandles().erase(object) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  object->Release();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) { return Wait(1, &object, false, milliseconds); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds) {
  return Wait(count, objects, waitAll != FALSE, milliseconds);
}

void InitializeCriticalSection(CRITICAL_SECTION*) {}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION* section) { section->mutex.lock(); }
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) { return section->mutex.try_lock() ? TRUE : FALSE; }
void LeaveCriticalSection(CRITICAL_SECTION* section) { section->mutex.unlock(); }

LONG InterlockedIncrement(volatile LONG* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(volatile LONG* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(volatile LONG* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedExchangeAdd(volatile LONG* target, LONG value) {
  return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

// Internal: the waitable object model behind synch.h and threads.h.
//
// All object state is guarded by one dispatcher lock, as in the Windows kernel,
// so a wait on several objects can test and take them in one step. A signal
// grants waiters directly (in arrival order), which gives auto-reset events and
// PulseEvent their exact semantics.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "win32/synch.h"
#include "win32/types.h"

namespace tlx::win32 {

struct Waiter;

class KernelObject {
 public:
  virtual ~KernelObject() = default;

  // Under DispatcherLock().
  virtual bool IsSignaled() const = 0;
  // Takes the object for a satisfied wait (resets an auto-reset event,
  // decrements a semaphore). Under DispatcherLock().
  virtual void Acquire() {}

  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Drops a reference; the last one deletes the object. Never under the lock.
  void Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

  std::vector<Waiter*> waiters;  // under DispatcherLock()

 private:
  std::atomic<int> refs_{1};
};

std::mutex& DispatcherLock();

// Makes a new object reachable through its HANDLE.
HANDLE RegisterHandle(KernelObject* object);
// The object behind an open handle, with a reference taken, or null (and
// ERROR_INVALID_HANDLE) for anything else. Under DispatcherLock().
KernelObject* ReferenceHandleLocked(HANDLE handle);

// Grants every waiter of `object` that can now be satisfied, in arrival order.
// Under DispatcherLock().
void SatisfyWaiters(KernelObject& object);

// A counted reference to a kernel object, released when it goes.
template <typename T>
class ObjectRef {
 public:
  ObjectRef() = default;
  explicit ObjectRef(T* object) : object_(object) {}
  ObjectRef(ObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ObjectRef& operator=(ObjectRef&&) = delete;
  ~ObjectRef() {
    if (object_ != nullptr) object_->Release();
  }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

// The object behind an open handle if it is a T; otherwise empty, with
// ERROR_INVALID_HANDLE.
template <typename T>
ObjectRef<T> ReferenceHandleAs(HANDLE handle) {
  KernelObject* object;
  {
    std::lock_guard lock(DispatcherLock());
    object = ReferenceHandleLocked(handle);
  }
  if (object == nullptr) return {};
  if (auto* typed = dynamic_cast<T*>(object)) return ObjectRef<T>(typed);
  object->Release();
  SetLastError(ERROR_INVALID_HANDLE);
  return {};
}

}  // namespace tlx::win32

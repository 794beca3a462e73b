#include "win32/threads.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "win32/internal/kernel_object.h"
#include "win32/messages.h"
#include "win32/synch.h"
#include "win32/internal/thread_identity.h"

namespace tlx::win32 {
namespace {

std::atomic<DWORD> g_nextThreadId{0x1000};
thread_local DWORD t_threadId = 0;

class Thread final : public KernelObject {
 public:
  Thread(LPTHREAD_START_ROUTINE start, void* parameter, bool suspended)
      : start_(start), parameter_(parameter), id_(g_nextThreadId.fetch_add(1)), suspendCount_(suspended ? 1 : 0) {}

  ~Thread() override {
    if (!started_) return;
    // The last reference goes either on the thread itself, as it ends (nobody
    // joins it then), or elsewhere after it has signalled its end.
    if (pthread_equal(pthread_self(), handle_)) {
      pthread_detach(handle_);
    } else {
      pthread_join(handle_, nullptr);
    }
  }

  bool Start(size_t stackSize) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackSize != 0) {
      const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
      size_t size = stackSize < kMinimumThreadStackSize ? kMinimumThreadStackSize : stackSize;
      size = (size + page - 1) / page * page;
      pthread_attr_setstacksize(&attributes, size);
    }
    AddRef();  // held by the running thread
    started_ = pthread_create(&handle_, &attributes, &Thread::Main, this) == 0;
    pthread_attr_destroy(&attributes);
    if (!started_) Release();
    return started_;
  }

  bool IsSignaled() const override { return finished_; }

  DWORD Resume() {
    std::lock_guard lock(gateLock_);
    const DWORD previous = suspendCount_;
    if (suspendCount_ > 0 && --suspendCount_ == 0) gate_.notify_one();
    return previous;
  }

  DWORD exitCode() const { return exitCode_; }  // under DispatcherLock()
  DWORD id() const { return id_; }

 private:
  static void* Main(void* self) {
    static_cast<Thread*>(self)->Run();
    return nullptr;
  }

  void Run() {
    t_threadId = id_;
    {
      std::unique_lock lock(gateLock_);
      gate_.wait(lock, [this] { return suspendCount_ == 0; });
    }
    const DWORD code = start_(parameter_);
    tlx::win32::CloseThreadQueue();
    {
      std::lock_guard lock(DispatcherLock());
      exitCode_ = code;
      finished_ = true;
      SatisfyWaiters(*this);
    }
    Release();
  }

  const LPTHREAD_START_ROUTINE start_;
  void* const parameter_;
  const DWORD id_;
  pthread_t handle_{};
  bool started_ = false;

  std::mutex gateLock_;
  std::condition_variable gate_;
  DWORD suspendCount_;

  bool finished_ = false;         // under DispatcherLock()
  DWORD exitCode_ = STILL_ACTIVE;  // under DispatcherLock()
};

}  // namespace

DWORD CurrentThreadId() {
  if (t_threadId == 0) t_threadId = g_nextThreadId.fetch_add(1);
  return t_threadId;
}

}  // namespace tlx::win32

using namespace tlx::win32;

HANDLE CreateThread(void*, size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter, DWORD creationFlags,
                    DWORD* threadId) {
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* thread = new Thread(start, parameter, (creationFlags & CREATE_SUSPENDED) != 0);
  if (!thread->Start(stackSize)) {
    thread->Release();
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId != nullptr) *threadId = thread->id();
  return RegisterHandle(thread);
}

DWORD ResumeThread(HANDLE handle) {
  ObjectRef<Thread> thread = ReferenceHandleAs<Thread>(handle);
  return thread ? thread->Resume() : static_cast<DWORD>(-1);
}

BOOL GetExitCodeThread(HANDLE handle, DWORD* exitCode) {
  ObjectRef<Thread> thread = ReferenceHandleAs<Thread>(handle);
  if (!thread || exitCode == nullptr) return FALSE;
  std::lock_guard lock(DispatcherLock());
  *exitCode = thread->exitCode();
  return TRUE;
}

DWORD GetThreadId(HANDLE handle) {
  ObjectRef<Thread> thread = ReferenceHandleAs<Thread>(handle);
  return thread ? thread->id() : 0;
}

DWORD GetCurrentThreadId() { return CurrentThreadId(); }

BOOL SetThreadPriority(HANDLE handle, int) { return ReferenceHandleAs<Thread>(handle) ? TRUE : FALSE; }

int GetThreadPriority(HANDLE handle) {
  return ReferenceHandleAs<Thread>(handle) ? THREAD_PRIORITY_NORMAL : 0x7FFFFFFF;  // THREAD_PRIORITY_ERROR_RETURN
}

// Kernel objects of the Windows layer: events, semaphores and waits on them,
// plus critical sections. Every function here is thread-safe.
//
// Objects are local to the process and unnamed: a non-null name is refused.
// A HANDLE stays valid until CloseHandle; waiting on a closed or foreign handle
// fails with ERROR_INVALID_HANDLE instead of touching freed memory.
#pragma once

#include <mutex>

#include "win32/types.h"

DWORD GetLastError();
void SetLastError(DWORD error);

HANDLE CreateEvent(void* securityAttributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Releases the waiters that are waiting at this moment (all of them for a
// manual-reset event, at most one for an auto-reset event) and leaves the event
// non-signalled; with nobody waiting it does nothing.
BOOL PulseEvent(HANDLE event);

HANDLE CreateSemaphore(void* securityAttributes, LONG initialCount, LONG maximumCount, const char* name);
// Fails, changing nothing, when the count would pass the maximum.
BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount);

BOOL CloseHandle(HANDLE object);

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Wait-any returns WAIT_OBJECT_0 + the lowest signalled index; wait-all takes
// every object in one step, so no other waiter sees a partial acquisition.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds);

// Recursive by owner thread.
struct CRITICAL_SECTION {
  std::recursive_mutex mutex;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

// Holds a critical section for the lifetime of the object.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CRITICAL_SECTION& section) : section_(section) { EnterCriticalSection(&section_); }
  ~CriticalSectionLock() { LeaveCriticalSection(&section_); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

LONG InterlockedIncrement(volatile LONG* value);
LONG InterlockedDecrement(volatile LONG* value);
LONG InterlockedExchange(volatile LONG* target, LONG value);
LONG InterlockedExchangeAdd(volatile LONG* target, LONG value);
LONG InterlockedCompareExchange(volatile LONG* target, LONG exchange, LONG comparand);

namespace tlx::win32 {
// How many threads are blocked on the object behind `handle` (for tests that
// must know a waiter has started waiting); -1 for a bad handle.
int WaiterCount(HANDLE handle);
}  // namespace tlx::win32

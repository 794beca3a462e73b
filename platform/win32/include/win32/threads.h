// Threads of the Windows layer. A thread is a waitable kernel object that is
// signalled when its function has returned. There is no way to kill a thread:
// callers ask it to stop and wait for it.
#pragma once

#include "win32/types.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

// Stack sizes below this are raised to it; 0 takes the system default.
inline constexpr size_t kMinimumThreadStackSize = 256 * 1024;

// creationFlags may hold CREATE_SUSPENDED; the thread then starts on ResumeThread.
HANDLE CreateThread(void* securityAttributes, size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD creationFlags, DWORD* threadId);
// Returns the previous suspend count, or (DWORD)-1 for a bad handle.
DWORD ResumeThread(HANDLE thread);
// STILL_ACTIVE while the thread runs, then the value its function returned.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
DWORD GetThreadId(HANDLE thread);
DWORD GetCurrentThreadId();
// Priorities are accepted and ignored: every thread runs at normal priority.
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);

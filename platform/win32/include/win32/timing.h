// Time functions of the Windows layer.
#pragma once

#include "win32/types.h"

// Monotonic milliseconds; the 32-bit forms wrap after 49.7 days like Windows.
DWORD GetTickCount();
ULONGLONG GetTickCount64();
DWORD timeGetTime();
void Sleep(DWORD milliseconds);

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
static_assert(sizeof(FILETIME) == 8);
// Wall-clock time in 100-ns units since 1601-01-01 UTC.
void GetSystemTimeAsFileTime(FILETIME* time);
ULONGLONG SystemTime100ns();

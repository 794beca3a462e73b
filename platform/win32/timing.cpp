#include "win32/timing.h"

#include <chrono>
#include <thread>

ULONGLONG GetTickCount64() {
  using namespace std::chrono;
  return static_cast<ULONGLONG>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

DWORD timeGetTime() { return GetTickCount(); }

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

ULONGLONG SystemTime100ns() {
  // 100-ns intervals between 1601-01-01 and 1970-01-01.
  constexpr ULONGLONG kEpochDifference = 116444736000000000ULL;
  using namespace std::chrono;
  const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  return kEpochDifference + static_cast<ULONGLONG>(since1970 / 100);
}

void GetSystemTimeAsFileTime(FILETIME* time) {
  const ULONGLONG now = SystemTime100ns();
  time->dwLowDateTime = static_cast<DWORD>(now);
  time->dwHighDateTime = static_cast<DWORD>(now >> 32);
}

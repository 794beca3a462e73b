// The link library's timer pool: 16 one-shot timers, used as watchdogs (ids 1
// to 16) or as interval-free timers (ids 0 to 15). A timer runs on its own
// short-lived thread and calls its callback there when it expires.
#pragma once

#include <cstdint>

namespace tlx::link {

using WD_CALLBACK = void (*)(intptr_t argument);
using TIMER_CALLBACK = void (*)(int timerId, intptr_t argument);

// A free watchdog's id, or 0 when none is free.
int wdCreate();
// Starts the watchdog, or restarts it so that it waits the full `ticks` from
// now. 0 ticks cancels it and gives -1.
int wdStart(int id, int ticks, WD_CALLBACK callback, intptr_t argument);
// Cancels it. Called from another thread while the callback runs, it returns
// after the callback has returned.
int wdCancel(int id);
// Cancels it as wdCancel does and frees it.
int wdDelete(int id);

// The time value of timer_settime: a delay of seconds and nanoseconds; the
// last two words must be 0.
struct TLX_ITIMERSPEC {
  int32_t seconds;
  int32_t nanoseconds;
  int32_t word3;
  int32_t word4;
};
static_assert(sizeof(TLX_ITIMERSPEC) == 16);

// 0 with `out` = a free timer's id; -1 when `event` is given or none is free.
int timer_create(int clock, void* event, int* out);
int timer_connect(int id, TIMER_CALLBACK callback, intptr_t argument);
// Starts or restarts the timer with the connected callback: 1 when started, 0
// when not (a zero delay cancels it), -1 for non-zero flags, an old-value
// pointer or non-zero words 3 and 4.
int timer_settime(int id, int flags, const TLX_ITIMERSPEC* value, TLX_ITIMERSPEC* oldValue);
int timer_delete(int id);

}  // namespace tlx::link

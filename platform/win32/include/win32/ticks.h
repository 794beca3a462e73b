// Time-outs of the base-station link. Its waits are counted in ticks of 1/60 s
// and a few of them in milliseconds. TLX_TICK_SCALE (a positive integer read
// once from the environment, default 1) divides every one of them, so that a
// test runs a five-minute watchdog in a fraction of a second. Pacing of polls
// (how often a full queue or a held lock is retried) is not a time-out and is
// not scaled.
#pragma once

#include "win32/types.h"

enum class TimeoutUnit { kTicks, kMilliseconds };

// The milliseconds to wait for `amount` ticks (ticks × 1000 / 60, integer
// division) or milliseconds, divided by the scale. A negative amount (-1 by
// convention) means no limit and gives INFINITE; 0 stays 0; any other amount
// gives at least 1 ms, so a short time-out never turns into "do not wait".
// Measured durations are compared against thresholds passed through here too.
DWORD TimeoutMilliseconds(LONG amount, TimeoutUnit unit);

// Internal: what the queue and semaphore functions need of the task table.
#pragma once

#include <cstdint>

#include "win32/types.h"

namespace tlx::link {

// A new auto-reset event, registered with `mask` in the calling task's event
// list; null when the caller is not a task.
HANDLE taskEventCreate(uint32_t mask);
// Removes the event from the calling task's list and closes it; null is ignored.
void taskEventClose(HANDLE event);

// The manual-reset event that taskDelete sets for the calling task, or null
// when the calling thread was not started by taskSpawn.
HANDLE taskStopEvent();
// Ends the calling task, unwinding its stack to its entry, when it was started
// by taskSpawn and is asked to stop (stop flag set, or no longer in the table).
// Returns on any other thread.
void taskExitIfStopped();

}  // namespace tlx::link

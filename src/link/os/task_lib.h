// Named tasks of the link library and the global lock that guards their table.
//
// The managers of the library are tasks: threads with a name and a record in
// one table, which block on message queues, semaphores, event sets and timers.
// Every wait is counted in ticks of 1/60 s (-1: no limit). A task is asked to
// stop, never killed: the stop takes effect when it next waits in msgQReceive
// (the task ends there, unwinding its stack) or in eventReceive (which returns
// -1 so the task can return). Ending a task in msgQReceive unwinds its stack
// with an exception private to this layer: a task's body must let it pass
// (no catch (...) that swallows it, no noexcept function on the way).
#pragma once

#include <cstdint>

#include "win32/types.h"

namespace tlx::link {

using TASK_ENTRY = void (*)(intptr_t argument);

// Creates the library's global lock (once) and empties the task table.
void taskLibInit();
// Asks every task to stop, empties the task table and deletes the global lock.
// A thread still running ends at its next wait.
void taskLibCleanup();

// Starts `entry(argument)` on a new thread named `name` and returns its task id
// (the thread id), or -1. The record is in the table before the thread runs.
// Priorities and options are ignored; the stack is at least 256 KiB. Removes
// one record of an ended task from the table, if there is one.
int taskSpawn(const char* name, int priority, int options, int stackSize, TASK_ENTRY entry, intptr_t argument,
              intptr_t = 0, intptr_t = 0, intptr_t = 0, intptr_t = 0, intptr_t = 0, intptr_t = 0, intptr_t = 0,
              intptr_t = 0, intptr_t = 0, intptr_t = 0);
// The id of the first task (in id order) named `name` whose thread still runs,
// else -1.
int taskNameToId(const char* name);
// Sets the task's stop flag, wakes it where it waits, and waits up to 100 x 10 ms
// for its thread to end; then removes its record. A thread that still runs is
// left to end by itself. 0, or -1 for an unknown id or a record without thread.
int taskDelete(int taskId);
// 0 while the task's thread runs; otherwise removes its record and returns -1
// (also -1 for an unknown id).
int taskReap(int taskId);
// True when the library is not started, when the caller is not a task, or when
// its stop flag is set.
bool taskStopRequested();
int taskDelay(int ticks);

// The calling thread's error value (each task has its own).
int errnoGet();
int errnoSet(int value);

struct TLX_TIMESPEC {
  int32_t tv_sec;
  int32_t tv_nsec;
};
// Time since the system started, from the millisecond tick count.
int tickClock(int unused, TLX_TIMESPEC* out);

// Waits on the calling task's registered events whose mask shares a bit with
// `mask` (in registration order): for any of them when `waitAny`, else for all.
// On success `out` receives 1 << n for the n-th of them (wait-any) or all bits
// (wait-all). -1 when the caller is not a task, nothing matches, the wait fails
// or times out, or the task is asked to stop.
int eventReceive(uint32_t mask, bool waitAny, int timeoutTicks, uint32_t* out);

}  // namespace tlx::link

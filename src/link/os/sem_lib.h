// Semaphores of the link library: binary semaphores and eight recursive mutex
// slots. A handle is the address of its semaphore object; the mutex slots are
// eight objects that live as long as the process.
#pragma once

#include <cstdint>

namespace tlx::link {

class Semaphore;
using SEM_ID = Semaphore*;

// A binary semaphore, given when initialState is 1, else taken; null on failure.
SEM_ID semBCreate(int options, int initialState);
// The first mutex slot never handed out before, or null when all eight have been.
SEM_ID semMCreate(int options);
// 0 when obtained, -1 otherwise. A mutex slot held elsewhere is retried every
// 16 ms, `timeoutTicks` times (0: fail at once; -1: wait for it); its owner may
// take it again.
int semTake(SEM_ID sem, int timeoutTicks);
// Binary: releases it (-1 when already given) and sets the event of semEvStart.
// Mutex slot: leaves it once; -1 when the caller does not hold it.
int semGive(SEM_ID sem);
// A deleted mutex slot is never handed out again and refuses takes and gives.
int semDelete(SEM_ID sem);
// Registers an auto-reset event, set at every give, in the calling task's
// event set under `mask`; -1 when the caller is not a task.
int semEvStart(SEM_ID sem, uint32_t mask);
int semEvStop(SEM_ID sem);

}  // namespace tlx::link

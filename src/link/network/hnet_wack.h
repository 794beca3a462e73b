// The reply-wait table: requests to the base station wait here for their
// acknowledgement, keyed by the sending group's name and a message type that
// the group chooses (usually the answer it expects).
#pragma once

namespace tlx::link {

// Waiter status.
inline constexpr int kWackPending = 0;
inline constexpr int kWackAcked = 1;
inline constexpr int kWackTimedOut = 2;
inline constexpr int kWackCancelled = 4;

// Adds a pending waiter whose timer sets it timed out after `timeoutMs`.
// 0; -1 when no timer can be had or started (nothing is added).
int HnetWack_Register(const char* name, int type, int timeoutMs);
// Polls the first waiter of that name and type once a tick until its status
// is not pending, removes it and returns the status; -1 at once when there
// is none.
int HnetWack_Wait(const char* name, int type);
// The first pending waiter of that name and type becomes acknowledged; 0,
// or -1 when there is none.
int HnetWack_Ack(const char* name, int type);
// Every waiter of that name becomes cancelled.
void HnetWack_Cancel(const char* name);
// Every waiter becomes cancelled.
void HnetWack_CancelAll();

}  // namespace tlx::link

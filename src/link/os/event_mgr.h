// The event manager: the one way the link library tells the player what
// happened. Managers post events into one queue; the task "tEventMgr" takes
// them out in order and hands each to every receiver (a callback, or a message
// queue of a manager) whose mask shares a bit with the event's identifier.
#pragma once

#include <cstdint>

#include "link/os/msg_q_lib.h"
#include "link/tlx_bcf.h"

namespace tlx::link {

inline constexpr int kEventQueueDepth = 10;
inline constexpr int kEventReceiverSlots = 16;
inline constexpr int kEventPayloadMax = 48;

// Creates the queue, the table lock and the task; 0 also when already started.
int eventMgrStart();
// Ends the task and deletes the table lock and the queue with what it holds.
// From a callback (on "tEventMgr" itself) it returns -1 and stops nothing.
int eventMgrStop();
// Queues one event (at most 48 payload bytes), waiting up to `timeoutTicks`
// for room. 0, or -1 for a null or too long payload, a full queue or a
// manager that is not started.
int eventMgrPost(uint32_t eventId, const void* payload, int length, int timeoutTicks);
// The time stamp an event posted now carries (microseconds, from the
// millisecond tick), for comparing a moment with an event's post.
uint64_t eventMgrStamp();

// Receivers. On "tEventMgr" itself (inside a callback) these return -1 at once;
// elsewhere they wait for a delivery in progress to finish.
int eventMgrCallbackAttach(TLX_EVENT_CALLBACK callback, void* context, uint32_t mask);
int eventMgrCallbackDetach(TLX_EVENT_CALLBACK callback);
// The queue receives each matching event's 64 bytes without waiting; an event
// that does not fit is dropped.
int eventMgrQueueAttach(MSG_Q_ID queue, uint32_t mask);
int eventMgrQueueDetach(MSG_Q_ID queue);

}  // namespace tlx::link

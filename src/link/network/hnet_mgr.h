// The home-network manager: owns the way control messages reach the base
// station (the "HNET" group, its transports and the tasks "tHnetMgrEv",
// "tHnetMgrC" and "tHnetMgrS"), the connection type, the link mode, and
// reports the network state as EVENT_ID_NETWORK. Other managers send through
// HnetMgr_SendMsg and the send-and-wait functions below.
#pragma once

#include <cstdint>

#include "link/network/tlx_msg.h"

namespace tlx::link {

// Connection types.
enum HnetConnType : int {
  kConnWlan = 0,
  kConnEther = 1,
  kConnRavix = 2,
  kConnHotspot = 3,
  kConnNone = 4,
};

// Link modes.
enum HnetLinkMode : int {
  kLinkInternet = 0,  // through the link-manager client
  kLinkLocal = 1,     // UDP, keep-alive channel running
  kLinkNone = 2,
};

// Manager states.
enum HnetState : int {
  kHnetNotStarted = 0,
  kHnetStarting = 1,
  kHnetUp = 2,
  kHnetStopped = 3,
  kHnetPaused = 4,
};

// Results of the send-and-wait functions beyond the waiter statuses of
// hnet_wack.h (1 acknowledged, 2 timed out, 4 cancelled).
inline constexpr int kHnetResultLinkDown = 5;  // local network, keep-alive link down
inline constexpr int kHnetResultFailed = 6;    // not up, no message, bad count or no waiter

// Starts the manager (state 0 only): defaults, connection type, "HNET"
// group, event queue, tasks; socket kind none. 0, or -1 (state 3).
int HnetMgr_Init();
// Ends the tasks and deletes everything; state 0, link mode 1.
void HnetMgr_Cleanup();
// State 4: closes and deletes the sockets, stops "tHnetMgrS". -1 when the
// manager lock is not had within 600 ticks.
int HnetMgr_Pause();
// From state 4: makes and opens the sockets of the socket kind and starts
// "tHnetMgrS"; state 2. 0 also when nothing is done (not paused, socket kind
// none, or UDP without both addresses); -1 when a socket cannot be made.
int HnetMgr_Restart();
// Restart, then start the keep-alive channel; -1 when either fails.
int HnetMgr_RestartLocal();
// Switches the link mode (0, 1, 2) and posts the network event; -1 for
// another mode.
int HnetMgr_ChangeLinkMode(int mode);

int HnetMgr_State();
int HnetMgr_LinkMode();
// The socket kind of the transport (hnet_sock.h).
int HnetMgr_SocketKind();
// Posts EVENT_ID_NETWORK {state, type, ptype} for the current link mode.
void HnetMgr_PostNetworkEvent();

// Sends the group's message to the base without waiting: 0, or -1 when the
// home network is not up or, on the local network, the keep-alive link is
// down.
int HnetMgr_SendMsg(TLXMsg* message);
// The same for a message given here (the group's own header fields are not
// touched, so any task of the group may send this way at any time).
int HnetMgr_SendData(TLXMsg* group, int32_t type, const void* payload, int32_t length);
// Sends the message and waits up to `timeoutMs` for the acknowledgement
// keyed by (the group's name, `type`), at most count + 1 times: 1, 2, 4 as
// the waiter ends, 5 or 6 (above).
int HnetMgr_SendAndWait(TLXMsg* message, int type, int timeoutMs, int count);
// Waits once for the acknowledgement without sending: 1, 2, 4 or 6.
int HnetMgr_WaitMsg(TLXMsg* message, int type, int timeoutMs);

// The connection type (0..3, 4 before the first choice) and its change:
// -1 outside 0..3; the same type again is 0 and changes nothing, except
// ETHER, which is applied again.
int tlxHnetMgr_GetConnType();
int tlxHnetMgr_SetConnType(int type);

}  // namespace tlx::link

// The network manager "AnetMgr": holds the network configuration of the base
// station (device 1, asked through "ANET" messages) and of the player
// (device 2, the configuration store), keeps the player's interface status
// and runs its commands on the tasks "tAnetMsg" and "tAnetMgr".
#pragma once

#include <cstdint>

namespace tlx::link {

// ANET message kinds (the header's type).
enum AnetMsgKind : int32_t {
  ANET_MSG_COMMAND = 0,
  ANET_MSG_EVENT = 1,
  ANET_MSG_CONFIG = 2,
  ANET_MSG_QUERY = 3,
};

// Commands and event codes of the ANET exchange.
inline constexpr int32_t ANET_CMD_CONNECT = 100;
inline constexpr int32_t ANET_CMD_DISCONNECT = 101;
inline constexpr int32_t ANET_CMD_CONFIG_CHANGED = 103;
inline constexpr int32_t ANET_EV_UP = 303;
inline constexpr int32_t ANET_EV_DOWN = 305;
inline constexpr int32_t ANET_EV_FAILED = 307;
inline constexpr int32_t ANET_EV_DOWN_TIMER = 310;
inline constexpr int32_t ANET_CFG_GET = 200;
inline constexpr int32_t ANET_CFG_SET = 201;
inline constexpr int32_t ANET_CFG_GET_ANSWER = 220;
inline constexpr int32_t ANET_CFG_SET_ANSWER = 221;
inline constexpr int32_t ANET_QUERY_STATUS = 400;
inline constexpr int32_t ANET_QUERY_ANSWER = 450;

// Devices of the configuration calls.
inline constexpr int kAnetDeviceBase = 1;
inline constexpr int kAnetDevicePlayer = 2;

// Interface states.
inline constexpr int kAnetStateFailed = -1;
inline constexpr int kAnetStateDown = 0;
inline constexpr int kAnetStateUp = 3;

// Most commands waiting.
inline constexpr int kAnetCommandQueueMax = 10;

// Starts the manager (nothing when started): defaults, interface status,
// "ANET" group, interface, event queue, tasks. 0 or -1.
int AnetMgr_Init();
// Ends the tasks, disconnects the interface and deletes everything.
void AnetMgr_Cleanup();

// Reads a category. Device 1: asks the base (200 -> 220): 1 copied to
// `out`, 2 no answer, 4 checksum mismatch (`out` untouched), 5 keep-alive
// link down, 6 failure. Device 2: 1, or 6 for a category the player does
// not read. 6 also for a null `out`, another device or a manager that is
// shutting down.
int tlxAnetMgrAPI_GetConfig(int device, int cfgType, void* out);
// Writes a category. Device 1: 201 -> 221 with the results above. Device
// 2: 1, -1 when the category cannot be written, 6 for null data; a changed
// connection kind queues command 103.
int tlxAnetMgrAPI_SetConfig(int device, int cfgType, const void* data);

// Queues a command (100, 101 or 103; the value word of a command message is
// not used): 0, or -1 for a full queue or an unknown command. 100 is queued
// once; 101 and 103 first empty the queue.
int AnetMgr_QueueCommand(int32_t command);
// Commands waiting.
int AnetMgr_CommandCount();
// The interface state and the connection kind.
int AnetMgr_State();
int AnetMgr_ConnKind();
// Asks the base for its wireless status (400 -> 450, no resend): 1 with the
// 16 data bytes in `out`, else the result of the exchange.
int AnetMgr_QueryStatus(uint8_t out[16]);

}  // namespace tlx::link

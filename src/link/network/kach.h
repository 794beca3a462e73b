// The keep-alive channel "KACH": on the local network the player polls the
// base station every 75 ticks ("tKachC") and answers the base's own requests
// ("tKachS"). It decides whether the link is up, keeps the link quality that
// the TV manager adapts to, and remakes the home-network sockets when the
// direct-link addresses change. Every link word is atomic.
#pragma once

#include <netinet/in.h>

#include <cstdint>

namespace tlx::link {

// KACH message types.
enum KachMsgType : int32_t {
  KACH_MSG_POLL = 0,
  KACH_MSG_POLL_ANSWER = 1,
  KACH_MSG_NOTIFY_WADDR = 2,
  KACH_MSG_NOTIFY_WADDR_ACK = 3,
  KACH_MSG_NOTIFY_EADDR = 4,
  KACH_MSG_NOTIFY_EADDR_ACK = 5,
  KACH_NOTIFY_DOWN = 6,
  KACH_MSG_NOTIFY_UP = 7,
  KACH_MSG_POLL_VARIANT = 8,
};

// Link states.
inline constexpr int kKachLinkUnknown = -1;
inline constexpr int kKachLinkUp = 0;
inline constexpr int kKachLinkDown = 1;

// Starts the channel when both direct-link addresses are known (else 0 and
// nothing happens): sockets, "tKachS" and "tKachC". 0 or -1.
int KACH_Start();
// Stops both tasks (the client sends DOWN), reports the link down once and
// deletes the sockets. 0, also when not running.
int KACH_Shutdown();

// The base's link flag (bit 1 of its flags): true while set.
bool KACH_LinkUp();
// The link state (-1 unknown, 0 up, 1 down).
int KACH_LinkState();
// The link quality for the TV manager: on WLAN the signal level, on
// Ethernet 7, 6 or 5 from the player's and the base's states, else 8.
int KACH_WirelessLevel();
// The larger number of set bits in the base's error byte and in the send
// history, each masked with 63.
int KACH_ErrorLevel();

// The home-network manager's start: records the connection type only.
void KACH_RecordConnType(int type);
// A change of the connection type: stops the channel and pauses the
// home-network sockets, then WLAN restarts both; ETHER and RAVIX stay paused
// until the next link-mode switch. -1 for another type or a failed pause.
int KACH_SetConnType(int type);
// The network manager's interface went up on Ethernet: compares the AV
// address and the interface address with the remembered pair. When they
// differ while the home network runs on UDP the channel is stopped, the
// home-network sockets are paused and both restarted; otherwise (internet
// link, no sockets yet) the pair is only recorded.
void KACH_CheckAddress(const char* avAddress, const char* interfaceAddress);
// A datagram came from the base on the "HNET" receive socket.
void KACH_BaseAlive();
// The player network state (5, 6 or 7) from EVENT_ID_NETCONFIG.
void KACH_SetNetState(int state);
// The next notice the client sends (0 poll, 2, 4, 6, 7, 8).
void KACH_SetNextNotice(int type);
// True, and the request consumed, when seven polls on Ethernet went
// unanswered since the last call; waits up to `timeoutTicks`.
bool KACH_TakeRestartRequest(int timeoutTicks);

// The pure parts of the channel.
// The signal level 0..8 of a wireless reading: band 0, 1 or 2 (others: 2).
int KACH_WlanLevel(int band, int qualityDbm);
// True for the two direct-link address pairs the channel accepts.
bool KACH_AcceptWlanPair(in_addr_t base, in_addr_t player);
// The base's link quality from its flags: 7, 6 or 5.
int KACH_BaseQuality(uint8_t flags);
// The flags byte of the player's poll answer.
uint8_t KACH_PlayerFlags(bool linkFlagAtUp, bool linkFlag, int netState, int wirelessLevel);

// Test seam: replaces the client's send (null restores it); the function
// returns what sendto would and sets errno on failure.
using KachSendFunction = int (*)(const void* bytes, int length);
void KACH_SetSendFunction(KachSendFunction function);

}  // namespace tlx::link

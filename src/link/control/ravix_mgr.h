// The stream-session manager: the player's session with the base station
// while a stream is requested. It connects through the link manager, runs
// the session task "tRavix" that keeps the session alive with "ALIVE"
// messages (answers in the group "RAVIX", task "tRavixMsg"), and takes the
// session through the states the stream engine asks for. It also holds the
// bit-rate setting, the rate value sent to the base, and the session
// time-out.
#pragma once

#include <cstdint>
#include <string>

namespace tlx::link {

// Session states.
enum RavixState : int {
  kRavixIdle = 0,
  kRavixStarted = 1,
  kRavixPlaying = 2,
  kRavixStopping = 3,
};
// The request that sets the traffic flag (the stream engine sees data).
inline constexpr int kRavixTraffic = 256;

// "RAVIX" message types.
inline constexpr int32_t RAVIX_MSG_ALIVE = 1;  // player: "ALIVE"; base: its rate in word 0
inline constexpr int32_t RAVIX_MSG_KILL = 2;   // base: the session ends

// The payload of "ALIVE".
struct RavixAliveMsg {
  int32_t rate;
  int32_t word2;  // always 2
  int32_t word3;  // always 3
  char text[32];  // "ALIVE", NUL-padded
};
static_assert(sizeof(RavixAliveMsg) == 44);

// The event payload of a session that ended by itself: {6, 3}.
inline constexpr int32_t kRavixEndedEvent[2] = {6, 3};

// Takes the session to `state`: the same state 0; 256 sets the traffic flag
// (0). 0 from 1, 2, 3: ends the session task, disconnects the link manager,
// restarts the home-network manager and clears the TV manager's requests.
// 1 from 0: connects (a connect error code is returned unchanged and nothing
// is stored), starts "tRavix" and switches the home network to the internet
// link (-1 when either fails). 2 from 0 and 1: nothing more. 3 from 0 aborts
// a connect under way; from 1 and 2 stops the TV. Any other transition -1.
// Success stores the state and returns 0. Transitions are serialised; the
// lock is not held across the connect, so an abort (3), 256 and GetState run
// meanwhile, and another start during a connect gives -1.
int tlxRavixMgr_ChangeState(int state);
int tlxRavixMgr_GetState();
// Stops a running session as ChangeState(0) does, without restarting the
// home network; the library's shut-down. No session thread remains.
void RavixMgr_Cleanup();

// The bit-rate setting 1..5007 (its last decimal digit is the step): -1
// outside (`out` untouched), else 0. `out`, when given, first receives the
// class-change answer of the old and the new setting.
int tlxRavixMgr_SetBitrate(int setting, int* out);
int tlxRavixMgr_GetBitrate();
// The session time-out in seconds, 0..7200: -1 outside.
int tlxRavixMgr_SetTimeout(int seconds);
int tlxRavixMgr_GetTimeout();

// Sends one "ALIVE" with the current rate value through "HNET": 0, or -1
// without a running session group or when the send fails.
int tlxRavixKeepAliveMsg_Send();

// The rate value of a setting: step 7 gives the setting with its last digit
// 0; else the step-th number (runs of digits, counted from 1) of `bitrates`
// when there is one and it is not 0; else the built-in table of the base
// type for steps 0 to 6 (types 0..2: 0, 100, 200, 300, 500, 850, 1500;
// others end in 3000) and 300 for steps 8 and 9.
int RavixMgr_RateValue(int setting, const std::string& bitrates, int baseType);
// 1 when the steps of the two settings differ and the smaller step is 1, or,
// on a base whose type is not 0..2, the larger is 6 or the pair is 6 and 7;
// else 0.
int RavixMgr_ClassChange(int oldSetting, int newSetting, int baseType);

}  // namespace tlx::link

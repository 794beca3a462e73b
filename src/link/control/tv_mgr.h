// The TV manager: every TV request of the player (channel and input
// selection, picture control, bilingual sound, stop, video-input query and
// the channel auto-preset) goes to the base station as an action record of
// the group "TV" and is acknowledged with a status. At most one record is in
// flight (the current slot) and one waits (the pending slot). The manager
// also follows the base's AV-sending state and adapts the requested bit
// rate to the link. Tasks "tTvMgr" (the group) and "tTvMgrEv" (network
// events).
#pragma once

#include <cstdint>

namespace tlx::link {

// Actions (word 0).
enum TvAction : int32_t {
  TV_ACT_STOP = 1,
  TV_ACT_CHANNEL = 3,
  TV_ACT_BILINGUAL = 7,
  TV_ACT_PICTURE = 10,
  TV_ACT_PRESET_START = 13,
  TV_ACT_PRESET_CANCEL = 14,
  TV_ACT_PRESET_RESULT = 15,
  TV_ACT_PRESET_PROGRESS = 17,
  TV_ACT_VIDEO_IN = 22,
};

// Answer statuses (word 6).
inline constexpr int32_t kTvDone = 100;
inline constexpr int32_t kTvNotSent = 101;
inline constexpr int32_t kTvNoAnswer = 103;
inline constexpr int32_t kTvNetworkDown = 104;
inline constexpr int32_t kTvBusy = 105;
inline constexpr int32_t kTvAccepted = 106;
inline constexpr int32_t kTvRefused = 108;

// "TV" message types.
inline constexpr int32_t TV_MSG_REQUEST = 0;  // records to the base; local timer messages
inline constexpr int32_t TV_MSG_ACK = 1;
inline constexpr int32_t TV_MSG_EVENT = 2;  // events of the base; the AV-state report to it

// Events of the base (word 0 of a type-2 record).
inline constexpr int32_t TV_EV_BILINGUAL = 18;  // {state, mode}
inline constexpr int32_t TV_EV_AV_STATE = 19;   // {AV state}
inline constexpr int32_t TV_EV_AV_SEND = 20;    // {status, base rate}; also the AV-state report's code
inline constexpr int32_t TV_EV_PRESET_DONE = 21;

// An action record: words 0 to 11 go to the base, 12 (resume mode) and 13
// (resend count: -1 without limit) stay here.
inline constexpr int kTvRecordWords = 14;
inline constexpr int kTvPayloadWords = 12;
inline constexpr int kTvPayloadSize = kTvPayloadWords * 4;
static_assert(kTvPayloadSize == 48);
struct TvRecord {
  int32_t w[kTvRecordWords];
};
static_assert(sizeof(TvRecord) == 56);

// Auto-preset end states.
inline constexpr int kPresetGood = 0;
inline constexpr int kPresetFailed = 1;
inline constexpr int kPresetNetworkDown = 3;
inline constexpr int kPresetTimedOut = 4;
// Entries of the auto-preset result table.
inline constexpr int kPresetTableSize = 163;

// Play states.
inline constexpr int kPlayStopped = 0;
inline constexpr int kPlaying = 1;
inline constexpr int kNotPlaying = 2;

// Starts the manager for the player option word (its low byte is the
// region code): "tvconf" values, the "TV" group, timers, both tasks. 0 or -1.
int TvMgr_Init(uint32_t optionWord);
// Writes "tvconf" back, ends both tasks and deletes everything.
void TvMgr_Cleanup();
// Forgets both slots and cancels the response timer (the session stopped).
void TvMgr_ClearRequests();

// Channel enter: -1 for a channel the band does not have; else an action-3
// record with the current bilingual mode, bit-rate code and picture word; 0.
int tlxTvMgr_ChannelEnter(int band, int channel, int store, int resume);
// Input 0..3 (else -1): action 3 with p1 = input and p2 = -1; 0.
int tlxTvMgr_InputSelect(int input, int store, int resume);
// Re-selects by the last input: 0 the last band and channel, 1..3 that input,
// 4 nothing.
int tlxTvMgr_LastChannel(int resume);
// Input non-zero selects it; else channel enter on band 2.
int tlxTvMgr_Select(int input, int channel);
// Input non-zero selects it; else channel enter with (mode, channel, p4, p5),
// where region code 3 maps mode 0 to 6 and 1 to 7.
int tlxTvMgr_SelectEx(int input, int mode, int channel, int p4, int p5);
// Stores the five picture values and sends action 10 with the picture word.
int tlxTvMgr_SetPictureCtrl(int v1, int v2, int v3, int v4, int v5);
// Only stores them.
int tlxTvMgr_SetPictureCtrlOffline(int v1, int v2, int v3, int v4, int v5);
int tlxTvMgr_GetAudioBli();
// The next bilingual mode (only while the base reports bilingual state 2):
// 0 when it does not change, -1 when not bilingual or the table has none,
// else sends action 7 and returns the mode.
int tlxTvMgr_ChangeAudioBli();
// Stop: action 1 with every parameter -1, resent twice at most.
int tlxTvMgr_Stop();
int tlxTvMgr_SetTVParams(int kind, const char* text);
// Asks the base for the video input: the input of an answer with status
// 100 within 600 ticks, else -1.
int tlxTvMgr_GetVideoIn();
// Starts an auto-preset of the band: -1 while one runs, else 0.
int tlxTvMgr_StartAutoPreset(int band);
// Sends the cancel of the running auto-preset (nothing when none runs); 0.
int tlxTvMgr_CancelAutoPreset();
// Action 1 with resend count 2; the preset state is cleared, its result
// kept; 0.
int tlxTvMgr_FinishAutoPreset();
// Copies the 0/1 flags of the last good auto-preset of `band`'s kind into
// `out` (69, 125 or 163 bytes; `out` must hold kPresetTableSize): 0, or -1
// while one runs, without a result, or for a band of another kind.
int tlxTvMgr_GetAutoPresetResult(int band, uint8_t* out);
// The play state.
int TvMgr_PlayState();
// The current bit-rate code.
int TvMgr_BitrateCode();

// The pure rules.
// True when `band` has `channel`.
bool TvMgr_ValidChannel(int band, int channel);
// The auto-preset identifier after `last`: 1..10000, wrapping to 1.
int TvMgr_NextPresetId(int last);
// The result entries of a band: 69, 125, 163, or 0 for another band.
int TvMgr_PresetEntries(int band);
// The picture word of five values (-1: the field all ones; the fifth picks
// the table entry, clamped to 0..14).
int32_t TvMgr_PictureWord(const int values[5]);
// The bilingual mode after `mode` for the kind (kinds 0..8, modes 0..2).
int TvMgr_NextBilingual(int kind, int mode);
// The kind of the table: the TV-parameter kind when it is non-zero with bit
// 7 clear and in the table, else 7 for region codes 1 and 3, else 3.
int TvMgr_BilingualKind(int parameterKind, int regionCode);
// Bit-rate adaptation: the level rate, the minimum for a reference value,
// the optimal rate after errors, and the code after the network was down
// for `downMs` (-1 unknown).
int TvMgr_LevelRate(bool adapt, int current, int level);
int TvMgr_MinimumRate(int reference, int connType);
int TvMgr_OptimalRate(int rate, int connType);
int TvMgr_RateAfterDown(int current, int levelRate, int minimum, long downMs);
// The 160 bits of five words, least significant first, into `table`
// (163 entries, the last three 0); false when status is not 100 or the
// words do not sum to the checksum.
bool TvMgr_PresetTable(int32_t status, int32_t checksum, const int32_t words[5], uint8_t table[kPresetTableSize]);

}  // namespace tlx::link

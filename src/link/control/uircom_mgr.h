// The remote-commander manager: infra-red codes go out through the base
// station's remote commander with press-and-release timing, codes of the
// user's own remotes are learned, and the remote configuration of the
// attached equipment is sent. Messages travel as frames of the group
// "UiRcom" (task "tUiRcom").
//
// Frame: kind (1: to the base), data length (big-endian 16 bits), header
// check (sum of the first three bytes), 1..275 data bytes, and for kind 1
// the sum of the data bytes; data + 5 bytes for kind 1, data + 4 otherwise.
// Code block (data of a code frame): command kind (1 short, 6 long), press
// phase (0 repeat, 1 single press released), code length (little-endian 16
// bits), the code; 9 bytes for kind 1, 260 for kind 6.
#pragma once

#include <cstdint>

#include "link/tlx_bcf.h"

namespace tlx::link {

inline constexpr int kRcomDataMax = 275;
inline constexpr int kRcomFrameMax = kRcomDataMax + 5;
inline constexpr int kRcomGroupMax = 279;
inline constexpr int kRcomCodeMin = 5;
inline constexpr int kRcomCodeMax = 255;
inline constexpr int kRcomLearnedMax = 256;
inline constexpr int kRcomConfigBlock = 272;
inline constexpr int kRcomSendParameterError = -128;

// Command kinds of the send entry points.
inline constexpr int kRcomShort = 1;
inline constexpr int kRcomRelease = 2;
inline constexpr int kRcomLong = 6;

// Learning message ids (data byte 0) and the base's answers.
inline constexpr uint8_t kRcomLearn = 51;
inline constexpr uint8_t kRcomCapture = 52;
inline constexpr uint8_t kRcomLearnedAck = 53;
inline constexpr uint8_t kRcomConfig = 54;
inline constexpr uint8_t kRcomLearnAnswer = 151;
inline constexpr uint8_t kRcomCaptureAnswer = 152;
inline constexpr uint8_t kRcomLearnedData = 153;
inline constexpr uint8_t kRcomConfigAnswer = 154;

// The id of tlxUiRcomMgr_GetParameter's key text.
inline constexpr int kRcomKeyParameter = 4097;
// The key text of sealed remote codes.
inline constexpr char kRcomKeyText[] = "BrandolQuist";

// The frame of `length` data bytes (1..275) of `kind` into `out`
// (kRcomFrameMax bytes): its size, or -128 for another length.
int UiRcom_Frame(int kind, const uint8_t* data, int length, uint8_t* out);

// Starts the manager: the "UiRcom" group and its task, the repeater and
// the learning object. 0, or -122 when the task cannot start.
int UiRcomMgr_Init();
// Ends the task and deletes everything; no call reaches the object after.
void UiRcomMgr_Cleanup();

// Sends a code of `kind`; a code longer than 3 bytes that begins FF FF FF FF
// is opened first (-1 when it does not open to bytes; a kind-6 code that
// opens to 5 bytes goes out as kind 1). Kinds 1 and 6: a code of 5..255
// bytes is pressed (0; other lengths are ignored: 0). Kind 2: releases the
// press (the pending block with phase 1, 20 ms, then {2}); the send result.
// Other kinds -1.
int UiRcomMgr_SendCode(int kind, const uint8_t* code, int length);
// The command entry: kind 1 with more than 5 bytes is sent as kind 6.
int tlxUiRcomMgr_SendCommand(int kind, const uint8_t* code, int length);
// The plain entry: kind 1 below 6 bytes, else 6.
int tlxUiRcomMgrSend(const uint8_t* code, int length);

// Learning: 3 without the manager or outside session state 2, or in a wrong
// state; 6 when the start cannot be sent; 0 once the base has started
// learning (within 5000 ms), else 2. Flags bit 0 asks for sealed codes.
int tlxUiRcomMgr_StartLearning(TLX_UIRCOM_CALLBACK callback, int flags, intptr_t user);
// Stops learning (and a capture first); with `wait`, up to 5000 ms for the
// base's answer. 0 or the error code; outside session state 2 it only
// resets. The callback is forgotten in every case.
int tlxUiRcomMgr_StopLearning(int wait);
// Capture: 3 without the manager or outside session state 2 (stop: 0
// outside state 2), else 0 or the error code (3 wrong state, 6 not sent).
int tlxUiRcomMgr_StartCapture();
int tlxUiRcomMgr_StopCapture();
// Id 4097 copies the key text with its NUL when `size` holds it: 0; else -1.
int tlxUiRcomMgr_GetParameter(int id, char* out, int size);
// Sends the 272-byte configuration block as message 54 and waits up to
// 3500 ms for answer 154: 0 for status 0; -1 for a block that fails its
// check (nothing sent), outside session state 2, on no answer or another
// status.
int UiRcomMgr_SetConfig(const uint8_t block[kRcomConfigBlock]);
// The block's check: byte 0 is 0 or 1, the input and both entries' kinds
// 0..2, and the four names free of control characters, bytes of 0x7F and
// above, '"', ',', ':' and '='.
bool UiRcomMgr_ConfigValid(const uint8_t block[kRcomConfigBlock]);

}  // namespace tlx::link

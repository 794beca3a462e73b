// Public interface of the base-station link library (libTlxBcf.so).
//
// Every export is a plain C function; nothing is thrown across it.
#pragma once

#include <cstddef>
#include <cstdint>

#define TLX_BCF_API extern "C" __attribute__((visibility("default")))

// ---------------------------------------------------------------------------
// Events

// One event as the library delivers it: 64 bytes.
struct TLX_EVENT_MSG {
  uint64_t timeStamp;   // microseconds since the system started, from the millisecond tick
  uint32_t eventId;     // one EVENT_ID_* bit, or what the base station put in its event
  uint32_t length;      // payload bytes used, at most 48
  uint8_t payload[48];  // the unused rest is zero
};
static_assert(sizeof(TLX_EVENT_MSG) == 64);
static_assert(offsetof(TLX_EVENT_MSG, timeStamp) == 0 && offsetof(TLX_EVENT_MSG, eventId) == 8 &&
              offsetof(TLX_EVENT_MSG, length) == 12 && offsetof(TLX_EVENT_MSG, payload) == 16);

// Called on the library's event task "tEventMgr" with the context given at
// attach time. The message is valid during the call only. A callback must not
// block for long; it cannot attach or detach (that returns -1 there).
using TLX_EVENT_CALLBACK = void (*)(void* context, const TLX_EVENT_MSG* message);

inline constexpr uint32_t EVENT_ID_TV = 0x00000200;
inline constexpr uint32_t EVENT_ID_NETCONFIG = 0x00001000;
inline constexpr uint32_t EVENT_ID_NETWORK = 0x00004000;
inline constexpr uint32_t EVENT_ID_ANET = 0x00008000;
inline constexpr uint32_t EVENT_ID_RAVIX = 0x00020000;
inline constexpr uint32_t EVENT_ID_AUTOPRESET = 0x01000000;
inline constexpr uint32_t EVENT_ID_DISCOVERY = 0x40000000;

// Calls `callback` for every event whose identifier shares a bit with
// `eventMask`. Attaching a callback again replaces its context and mask.
// 0, or -1 for a null callback, a full table (16 receivers) or a library that
// is not started.
TLX_BCF_API int tlxEventMgrCallbackAttach(TLX_EVENT_CALLBACK callback, void* context, unsigned eventMask);
// 0, or -1 for a null or unknown callback. Once it returns, the callback is
// not called again.
TLX_BCF_API int tlxEventMgrCallbackDetach(TLX_EVENT_CALLBACK callback);

// ---------------------------------------------------------------------------
// Easy registration, Base64 and hexadecimal text

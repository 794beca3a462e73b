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

// The 16-byte header of every message between the library's managers and of
// every control message to and from the base station; at most 1024 payload
// bytes follow it. Integers are little-endian on the wire as in memory.
struct TLX_MSG_HEADER {
  char name[8];    // the sending group's name, NUL-terminated and NUL-padded
  int32_t type;    // meaning per group
  int32_t length;  // payload bytes that follow
};
static_assert(sizeof(TLX_MSG_HEADER) == 16);
static_assert(offsetof(TLX_MSG_HEADER, name) == 0 && offsetof(TLX_MSG_HEADER, type) == 8 &&
              offsetof(TLX_MSG_HEADER, length) == 12);

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

// The easy-registration record: what a player needs to reach and register
// with one base station, exchanged as one sealed block.
// Texts are NUL-terminated within their fields.
struct TLX_ERD_INFO {
  char domain[52];       // at most 51 characters
  int32_t port;          // 0..99999
  char password[64];     // at most 63
  char model[24];        // at most 23
  char softVersion[8];   // at most 7
  char id[32];           // at most 31
};
static_assert(sizeof(TLX_ERD_INFO) == 184);
static_assert(offsetof(TLX_ERD_INFO, domain) == 0);
static_assert(offsetof(TLX_ERD_INFO, port) == 52);
static_assert(offsetof(TLX_ERD_INFO, password) == 56);
static_assert(offsetof(TLX_ERD_INFO, model) == 120);
static_assert(offsetof(TLX_ERD_INFO, softVersion) == 144);
static_assert(offsetof(TLX_ERD_INFO, id) == 152);

// Bytes the sealed block of `info` needs; -16 for a null record.
TLX_BCF_API int tlxErdLib_getErdEncryptedSize(const TLX_ERD_INFO* info);

// Seals the record into `out` of outSize bytes. 0, or -16 for a null record or
// buffer, -10 out of memory, -15 a text too long for its field or a port
// outside 0..99999, -11 outSize below tlxErdLib_getErdEncryptedSize, -12 the
// seal failed.
TLX_BCF_API int tlxErdLib_encryptErdInfo(const TLX_ERD_INFO* info, void* out, int outSize);

// Opens a sealed block into `out`, which is zeroed first and stays zeroed on
// failure. 0, or -16 for a null pointer, -10 for a block of 20 bytes or less
// or out of memory, -13 the block does not open (size, prefix, key, digest),
// -14 the opened text is not a record.
TLX_BCF_API int tlxErdLib_decryptErdInfo(const void* in, int inSize, TLX_ERD_INFO* out);

// Base64 (RFC 4648 alphabet, '=' padding) of n bytes into `out`, which must
// hold 4 * ceil(n / 3) + 1 bytes. Writes a terminating NUL and returns the
// number of characters before it. A negative n encodes nothing.
TLX_BCF_API int tlxBase64Encode(const void* bytes, int n, char* out);

// Decodes `length` characters of Base64 text into `out`, which must hold
// length * 3 / 4 + 1 bytes. Characters outside the alphabet (blanks, line
// ends) are skipped and the first '=' ends the text; bits of an incomplete
// last group that do not fill a byte are dropped. Returns the bytes written.
TLX_BCF_API int tlxBase64Decode(const char* text, int length, void* out);

// Lowercase hexadecimal text of n bytes, two digits a byte, into `out`, which
// must hold 2n + 1 bytes. Writes a terminating NUL and returns 2n.
TLX_BCF_API int tlxHexEncode(const void* bytes, int n, char* out);

// ---------------------------------------------------------------------------
// Remote commander

// The learning callback, on the remote commander's task. what 0 delivers a
// learned code: `data` is its address (valid during the call), `value` its
// length. what 1 reports a status in `value`: 2 learning failed, 3 stopping
// failed, 4 and 5 data errors, 6 no answer. `user` is the value given to
// tlxUiRcomMgr_StartLearning. (Both pointer-sized: they carry addresses.)
using TLX_UIRCOM_CALLBACK = int (*)(int what, intptr_t data, int value, intptr_t user);

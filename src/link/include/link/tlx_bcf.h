// Public interface of the base-station link library (libTlxBcf.so).
//
// Every export is a plain C function; nothing is thrown across it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "export/tlx_export.h"

// An exported function of the library: C linkage and the export mark.
#define TLX_BCF_API extern "C" TLX_EXPORT

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
// Discovery of base stations on the local network

// One base station that answered a search: 300 bytes. Texts are NUL-terminated
// within their fields, except the nonce, which may fill its 32 bytes; the zero
// word after it ends it.
struct TLX_DISCOVERED_BASE {
  char version[8];        // "Version", at most 7 characters
  char softVersion[8];    // "SoftVersion", at most 7
  char address[16];       // the sender's IPv4 address in dotted text
  char ravixHost[52];     // "Ravix_Host", at most 51
  int32_t ravixPort;      // "Ravix_Port"
  char identifier[32];    // "Identifier", at most 31
  int32_t mode;           // "BaseStation_Mode": 0 NORMAL, 1 REGISTRATION, 2 SETUP, 3 anything else
  char model[24];         // "Model", at most 23
  char nonce[32];         // "Nonce", at most 32
  int32_t reserved;       // 0
  int32_t ddnsEnable;     // "DDNS_Enable"
  char url[64];           // "URL", at most 63
  char nickname[32];      // "Nickname", at most 31
  int32_t compatibility;  // "Compatibility": decimal, 0x hexadecimal or leading-0 octal
  int32_t testSecond;     // "Ravix_Test", its second number
  int32_t testFirst;      // "Ravix_Test", its first number
  uint32_t netif;         // "NETIF": the base's network interface flags
};
static_assert(sizeof(TLX_DISCOVERED_BASE) == 300);
static_assert(offsetof(TLX_DISCOVERED_BASE, version) == 0 && offsetof(TLX_DISCOVERED_BASE, softVersion) == 8 &&
              offsetof(TLX_DISCOVERED_BASE, address) == 16 && offsetof(TLX_DISCOVERED_BASE, ravixHost) == 32 &&
              offsetof(TLX_DISCOVERED_BASE, ravixPort) == 84 && offsetof(TLX_DISCOVERED_BASE, identifier) == 88 &&
              offsetof(TLX_DISCOVERED_BASE, mode) == 120 && offsetof(TLX_DISCOVERED_BASE, model) == 124 &&
              offsetof(TLX_DISCOVERED_BASE, nonce) == 148 && offsetof(TLX_DISCOVERED_BASE, reserved) == 180 &&
              offsetof(TLX_DISCOVERED_BASE, ddnsEnable) == 184 && offsetof(TLX_DISCOVERED_BASE, url) == 188 &&
              offsetof(TLX_DISCOVERED_BASE, nickname) == 252 && offsetof(TLX_DISCOVERED_BASE, compatibility) == 284 &&
              offsetof(TLX_DISCOVERED_BASE, testSecond) == 288 && offsetof(TLX_DISCOVERED_BASE, testFirst) == 292 &&
              offsetof(TLX_DISCOVERED_BASE, netif) == 296);

// The payload of EVENT_ID_DISCOVERY. Each base found is posted twice: first
// with code 0, when `base` may be read; then with code 255, after which the
// library frees the record. A receiver copies what it needs at code 0 and
// ignores code 255. The 32-bit original kept the pointer in a 32-bit word;
// here it is pointer-sized, so the payload is 24 bytes.
struct TLX_DISCOVERY_EVENT {
  int32_t code;               // 0, or 255 for the release
  int32_t reserved;           // 0
  TLX_DISCOVERED_BASE* base;  // null when no copy could be made
  int32_t ifIndex;            // the interface the answer came on; -1 the reply socket
  int32_t zero;               // 0
};
static_assert(sizeof(TLX_DISCOVERY_EVENT) == 24);
static_assert(offsetof(TLX_DISCOVERY_EVENT, code) == 0 && offsetof(TLX_DISCOVERY_EVENT, reserved) == 4 &&
              offsetof(TLX_DISCOVERY_EVENT, base) == 8 && offsetof(TLX_DISCOVERY_EVENT, ifIndex) == 16 &&
              offsetof(TLX_DISCOVERY_EVENT, zero) == 20);

// type 1: searches, collecting answers until `arg` milliseconds pass without
// one (5000 when 0 or less); each base found is posted as EVENT_ID_DISCOVERY.
// -1 when the search cannot start (no reply port could be bound, a search is
// running). type 2: stops the search; 0. type 3: holds the reply port for
// `arg` milliseconds, so the next search answers on it; 0, or -1 when no port
// could be bound. Other types -1.
TLX_BCF_API int tlxRavixMgr_DiscoverBase(int type, int arg);

// ---------------------------------------------------------------------------
// The registered base station: registration values and capabilities

// The base's equipment on one line, as its remote-commander identification
// names it: 140 bytes.
struct TLX_CAP_EQUIP {
  uint8_t kind;         // 0 none, 1 or 2
  uint8_t reserved[3];  // 0
  int32_t makerId;      // the device's first number
  int32_t modelId;      // its second number
  char makerName[64];   // kind 2: the maker's name, at most 63 characters; else empty
  char modelName[64];   // kind 2: the model's name; else empty
};
static_assert(sizeof(TLX_CAP_EQUIP) == 140);
static_assert(offsetof(TLX_CAP_EQUIP, makerId) == 4 && offsetof(TLX_CAP_EQUIP, modelId) == 8 &&
              offsetof(TLX_CAP_EQUIP, makerName) == 12 && offsetof(TLX_CAP_EQUIP, modelName) == 76);

// One line of the base (a tuner or an external input): 348 bytes.
struct TLX_CAP_LINE_INFO {
  uint8_t type;            // 0 tuner, 1 external input
  uint8_t line;            // the line number
  uint8_t reserved[2];     // 0
  int32_t air;             // tuner lines: the terrestrial band code (0..255)
  TLX_CAP_EQUIP equip[2];  // the line's equipment, see tlxRegist_GetBaseCapLineInfo
  uint8_t reserved2[60];   // 0
};
static_assert(sizeof(TLX_CAP_LINE_INFO) == 348);
static_assert(offsetof(TLX_CAP_LINE_INFO, line) == 1 && offsetof(TLX_CAP_LINE_INFO, air) == 4 &&
              offsetof(TLX_CAP_LINE_INFO, equip) == 8 &&
              offsetof(TLX_CAP_LINE_INFO, equip) + sizeof(TLX_CAP_EQUIP) == 148 &&
              offsetof(TLX_CAP_LINE_INFO, reserved2) == 288);

// The base's wireless support: 176 bytes, of which one field varies.
struct TLX_CAP_WLAN {
  uint8_t reserved0[32];    // 0
  int32_t reserved32;       // 0
  int32_t support;          // the "WLAN" value
  int32_t unset[3];         // -1 each
  int32_t reserved52[4];    // 0
  uint8_t reserved68[36];   // 0
  int32_t unset104;         // -1
  uint8_t reserved108[64];  // 0
  int32_t reserved172;      // 0
};
static_assert(sizeof(TLX_CAP_WLAN) == 176);
static_assert(offsetof(TLX_CAP_WLAN, support) == 36 && offsetof(TLX_CAP_WLAN, unset) == 40 &&
              offsetof(TLX_CAP_WLAN, reserved52) == 52 && offsetof(TLX_CAP_WLAN, unset104) == 104 &&
              offsetof(TLX_CAP_WLAN, reserved108) == 108 && offsetof(TLX_CAP_WLAN, reserved172) == 172);

// The base's video systems and picture controls: five int32.
struct TLX_CAP_VIDEO_SYSTEM {
  int32_t formatSecond;        // "VFMT", its second number
  int32_t formatFirst;         // its first number
  int32_t formatThird;         // its third number, 508 when missing
  int32_t pictureControlMode;  // 1 when "PICTCONF" begins with 1, else 0
  int32_t pictureControlMask;  // mode 1: BRI 1, PIC 2, COL 4, HUE 8, SHA 16 (31 when none is named); else 0
};
static_assert(sizeof(TLX_CAP_VIDEO_SYSTEM) == 20);
static_assert(offsetof(TLX_CAP_VIDEO_SYSTEM, formatFirst) == 4 && offsetof(TLX_CAP_VIDEO_SYSTEM, formatThird) == 8 &&
              offsetof(TLX_CAP_VIDEO_SYSTEM, pictureControlMode) == 12 &&
              offsetof(TLX_CAP_VIDEO_SYSTEM, pictureControlMask) == 16);

// One device in the remote-commander configuration: 136 bytes.
struct UIRCOM_CONFIG_EQUIP {
  uint8_t kind;
  uint8_t reserved1;  // not read
  uint16_t makerId;
  uint16_t modelId;
  uint8_t reserved6[2];  // not read
  char makerName[64];    // at most 63 characters and a NUL
  char modelName[64];
};
static_assert(sizeof(UIRCOM_CONFIG_EQUIP) == 136);
static_assert(offsetof(UIRCOM_CONFIG_EQUIP, makerId) == 2 && offsetof(UIRCOM_CONFIG_EQUIP, modelId) == 4 &&
              offsetof(UIRCOM_CONFIG_EQUIP, makerName) == 8 && offsetof(UIRCOM_CONFIG_EQUIP, modelName) == 72);

// The remote-commander configuration of one input: 280 bytes.
struct UIRCOM_CONFIG {
  uint8_t reserved0;     // not read
  uint8_t input;         // the input number
  uint8_t reserved2[6];  // not read
  UIRCOM_CONFIG_EQUIP equip[2];
};
static_assert(sizeof(UIRCOM_CONFIG) == 280);
static_assert(offsetof(UIRCOM_CONFIG, input) == 1 && offsetof(UIRCOM_CONFIG, equip) == 8 &&
              offsetof(UIRCOM_CONFIG, equip) + sizeof(UIRCOM_CONFIG_EQUIP) == 144);

// A registration value of the base: type 0 "WLAN", 1 "VFMT", 2..5 the part
// type - 2 of "LINEINFO", 6 "INFO_MODEL_B", 7 "RCOMFUNC", 8 "ID" (a leading
// blank dropped). Empty text for another type, an absent value or part. The
// text is the calling thread's and stays valid until its next call.
TLX_BCF_API const char* tlxRegist_GetRegValue(int type);
// type 0 tlxRegist_GetBaseCapWLAN(out), 1 tlxRegist_GetBaseCapLineInfo(index,
// out), 2 tlxRegist_GetBaseCapVideoSystem(out), 3
// tlxRegist_GetBaseCapRcomFunc(out); another type -1.
TLX_BCF_API int tlxRegist_GetBaseCapability(unsigned type, int index, void* out);
// Zeroes the record; -1 for null or without a "WLAN" value, else 0.
TLX_BCF_API int tlxRegist_GetBaseCapWLAN(TLX_CAP_WLAN* out);
// Zeroes the record; -1 for null or without a "VFMT" value, else 0.
TLX_BCF_API int tlxRegist_GetBaseCapVideoSystem(TLX_CAP_VIDEO_SYSTEM* out);
// -1 for null (out untouched) or without a "RCOMFUNC" value (*out 0); else 0
// with the value as a number.
TLX_BCF_API int tlxRegist_GetBaseCapRcomFunc(int* out);
// Zeroes the record and fills it from the index-th (from 0) line of the base,
// or of the region's defaults when the base names none: type and line; the
// AIR code of a tuner; the first device of a tuner's remote-commander
// identification; both devices of an external input whose identification
// names the player's remote-commander model. -1 for null, an index past the
// last line, no lines, or a line record that does not parse.
TLX_BCF_API int tlxRegist_GetBaseCapLineInfo(int index, TLX_CAP_LINE_INFO* out);
// 0 when the base's model name ends in the player's region suffix (US, JP, TW,
// KR, EU); else -1, also for an empty name or a region without a suffix.
TLX_BCF_API int tlxRegist_IsConnectableModel(const char* baseModel);
// -1; nothing else.
TLX_BCF_API int tlxRegist_GetBaseInfo(int, int);

// ---------------------------------------------------------------------------
// System

// Zeroes `size` bytes of `out`. "SYSID_WLAN_MAC_ADDR_P": the player's
// wireless MAC as 12 upper-case hexadecimal digits and a NUL; 0. -1 for a null
// or unknown name, a null `out` or a size below 13.
TLX_BCF_API int tlxSystem_GetLdInfo(const char* name, void* out, int size);
// -1; nothing else.
TLX_BCF_API int tlxSystem_SetBaseSel(int);
// 0; nothing else.
TLX_BCF_API int tlxSetBaseAddr(void*);
// Keeps `value`; 0.
TLX_BCF_API int tlxRegistEventCallback(int value, int);
// Connects the internet link to the configured host and port; always 1.
TLX_BCF_API int tlxKACHConnect();

// ---------------------------------------------------------------------------
// The base station of the running stream session: 44 bytes.
struct TLX_BASE_INFO {
  char baseId[32];  // the base's identifier, at most 31 characters
  int32_t type3;    // 1 when the base is of type 3 (or its type is unknown), else 0;
                    // the stream engine reads it as its automatic bit-rate flag
  int32_t codec;    // the base's codec type
  int32_t scaling;  // the base's scaling mode
};
static_assert(sizeof(TLX_BASE_INFO) == 44);
static_assert(offsetof(TLX_BASE_INFO, type3) == 32 && offsetof(TLX_BASE_INFO, codec) == 36 &&
              offsetof(TLX_BASE_INFO, scaling) == 40);

// ---------------------------------------------------------------------------
// Authentication and registration through the authentication library, which
// is bound on first use. The authentication target (host, port, proxy flag)
// is the one the network configuration last set.

// False when the library cannot be bound, else its initialisation's result.
TLX_BCF_API int tlxRavixMgr_AuthInit();
// An authenticated socket, or -1; 0 when the library cannot be bound.
TLX_BCF_API int tlxRavixMgr_RequestAuthentication(const char* host, int port, const char* method, const char* uri);
// Clears the authentication target; 0.
TLX_BCF_API int tlxRavixMgr_AuthUnsetHOST();
// Authenticates the connection of `socket` at the target: the low byte of the
// library's result; 0 when it cannot be bound.
TLX_BCF_API int tlxRavixMgr_AuthClient(int socket);
// The stream key as 32 hexadecimal digits and a NUL into `out` (33 bytes);
// the library's result, or -1 when it cannot be bound. The second argument is
// not used.
TLX_BCF_API int tlxRavixMgr_GetKeyKK(char* out, int);
// Registers the player with the base at the target with the base's code;
// the library's result, or -1 when it cannot be bound.
TLX_BCF_API int tlxAuth_RequestRegistration(const char* code, const char* text2);
// The same as an easy registration.
TLX_BCF_API int tlxAuth_RequestEasyRegistration(const char* code, const char* text2);
// The easy-registration password of `nonce` into `out`; the library's result,
// or -1 when it cannot be bound or the nonce cannot be copied.
TLX_BCF_API int tlxRegist_MakePassword(char* out, int outLen, const char* nonce);

// ---------------------------------------------------------------------------
// Remote commander

// The learning callback, on the remote commander's task. what 0 delivers a
// learned code: `data` is its address (valid during the call), `value` its
// length. what 1 reports a status in `value`: 2 learning failed, 3 stopping
// failed, 4 and 5 data errors, 6 no answer. `user` is the value given to
// tlxUiRcomMgr_StartLearning. (Both pointer-sized: they carry addresses.)
using TLX_UIRCOM_CALLBACK = int (*)(int what, intptr_t data, int value, intptr_t user);

// Starts learning: 0 once the base has started, else 2 (learning failed), 3
// (no remote commander, no playing session or a wrong state) or 6 (not
// sent). Flags bit 0 asks for sealed codes. The callback runs until
// tlxUiRcomMgr_StopLearning.
TLX_BCF_API int tlxUiRcomMgr_StartLearning(TLX_UIRCOM_CALLBACK callback, int flags, intptr_t user);
// Stops learning; with `wait` non-zero waits up to 5 s for the base's answer.
// 0 or the error code above.
TLX_BCF_API int tlxUiRcomMgr_StopLearning(int wait);
// Capture of one code: 3 without a remote commander or outside session state
// 2, else 0 or the error code (3, 6).
TLX_BCF_API int tlxUiRcomMgr_StartCapture();
// 3 without a remote commander; 0 outside session state 2 or when stopped;
// else the error code.
TLX_BCF_API int tlxUiRcomMgr_StopCapture();
// Id 4097: the key text of sealed codes with its NUL, when `outLen` holds it:
// 0. Else -1.
TLX_BCF_API int tlxUiRcomMgr_GetParameter(int id, char* out, int outLen);
// Mirrors the command, then sends it: kind 1 (a short code, 5 bytes; longer
// goes as kind 6), 2 (release the press, no bytes), 6 (a long code of up to
// 255 bytes). Codes beginning FF FF FF FF are sealed and opened first. 0, or
// -1 without a remote commander, for another kind or a sealed code that does
// not open.
TLX_BCF_API int tlxUiRcomMgr_SendCommand(int cmdId, const char* data, int len);
// Mirrors as command 1; sends as kind 1 below 6 bytes, else as kind 6.
TLX_BCF_API int tlxUiRcomMgrSend(const unsigned char* data, int len);
// Sends the remote-commander configuration of one input and waits up to
// 3.5 s for the base's answer: 0 when it takes it; -1 for null, a record whose
// kinds or names are not valid (nothing is sent), outside session state 2,
// no answer or a refusal.
TLX_BCF_API int tlxUiRcomMgr_SetConfig(const UIRCOM_CONFIG* config);

// ---------------------------------------------------------------------------
// Start-up and clean-up

// Starts the library on first use: `option` (may be null) points to the
// player option word, whose low byte is the region code (0 US, 1 JP, 2 TW,
// 3 KR, 0x10..0x15 EU); only the first call takes it. Later calls only count.
// 0, or -1 when the link manager cannot be made: nothing stays started and
// nothing is counted. Safe from any thread.
TLX_BCF_API int tlxInit(int* option);
// Undoes one tlxInit; the last one shuts everything down in the reverse
// order of the start, every wait bounded. Always 0, also without tlxInit.
TLX_BCF_API int tlxCleanup();

// ---------------------------------------------------------------------------
// Configuration store

// Deletes the stored base address and internet-connection keys; 0.
TLX_BCF_API int tlxSystem_ClearConfig();
// The selected-base index.
TLX_BCF_API int tlxSystem_GetBaseSel();

// ---------------------------------------------------------------------------
// Network and home network

// Writes a category of the network configuration. Device 1 (the base): 1
// taken, 2 no answer, 4 checksum mismatch, 5 keep-alive link down, 6 failure.
// Device 2 (the player): 1, -1 when the category cannot be written, 6 for
// null data. Device 2 category 6 (the internet link: a 16-bit connect kind,
// the port as decimal text at byte 4, the host at byte 16 in 52 bytes) also
// sets the authentication target to that host (at most 51 characters) and
// port, without proxy.
TLX_BCF_API int tlxAnetMgrAPI_SetConfig(int device, int cfgType, const void* data);
// Reads a category: the results above; device 2 gives 6 for a category the
// player does not read. For device 1 category 13 the first 438 bytes of `out`
// are zeroed first.
TLX_BCF_API int tlxAnetMgrAPI_GetConfig(int device, int cfgType, void* out);
// The connection type: 0 "WLAN", 1 "ETHER", 2 "RAVIX", 3 "HOTSPOT", 4 none
// chosen yet.
TLX_BCF_API int tlxHnetMgr_GetConnType();
// Changes it: -1 outside 0..3, else 0. From 2 to 1 the home network is
// restarted before the change, from 1 to 2 after it.
TLX_BCF_API int tlxHnetMgr_SetConnType(int type);

// ---------------------------------------------------------------------------
// Stream session

// Session states: 0 idle, 1 started (connected), 2 playing, 3 stopping.
// 0 -> 1 connects (the connect's error code unchanged, or -1); 1 -> 0 and
// the like end the session; 256 marks traffic. Another transition -1.
TLX_BCF_API int tlxRavixMgr_ChangeState(int state);
TLX_BCF_API int tlxRavixMgr_GetState();
// The bit-rate setting 1..5007: -1 outside (`out` untouched), else 0.
// `out`, when given, first receives 1 when the change needs a new stream
// class, else 0.
TLX_BCF_API int tlxRavixMgr_SetBitrate(int bitrate, int* out);
TLX_BCF_API int tlxRavixMgr_GetBitrate();
// The session time-out in seconds, 0..7200: -1 outside, else 0.
TLX_BCF_API int tlxRavixMgr_SetTimeout(int seconds);
TLX_BCF_API int tlxRavixMgr_GetTimeout();
// Sends one keep-alive message of the session: 0, or -1.
TLX_BCF_API int tlxRavixKeepAliveMsg_Send();
// Fills the record of the running session's base: -1 for null or in state 0
// (the record untouched), else 0.
TLX_BCF_API int tlxRavixMgr_GetBaseInfo(TLX_BASE_INFO* out);

// ---------------------------------------------------------------------------
// TV

// The size of an auto-preset result: one 0/1 byte per channel of the band's
// kind (69, 125 or 163); `out` must hold this many bytes.
inline constexpr int TLX_AUTOPRESET_RESULT_SIZE = 163;

// Each returns 0 once the request is queued for the base, else -1.
// Input non-zero selects that video input (1..3); input 0 enters `channel`
// on band 2.
TLX_BCF_API int tlxTvMgr_Select(int input, int channel);
// Input non-zero selects it; else enters `channel` on band `mode` with the
// two further values; under region 3 (KR) bands 0 and 1 go as 6 and 7.
TLX_BCF_API int tlxTvMgr_SelectEx(int input, int mode, int channel, int p4, int p5);
// The five picture values (-1 leaves one unchanged); sent at once.
TLX_BCF_API int tlxTvMgr_SetPictureCtrl(int v1, int v2, int v3, int v4, int v5);
// Only stores them, for the next session.
TLX_BCF_API int tlxTvMgr_SetPictureCtrlOffline(int v1, int v2, int v3, int v4, int v5);
// The current bilingual sound mode.
TLX_BCF_API int tlxTvMgr_GetAudioBli();
// Switches to the next bilingual mode: the mode, 0 when it does not change,
// -1 when the programme is not bilingual.
TLX_BCF_API int tlxTvMgr_ChangeAudioBli();
TLX_BCF_API int tlxTvMgr_Stop();
// Keeps the TV parameter kind and text; 0.
TLX_BCF_API int tlxTvMgr_SetTVParams(int kind, const char* text);
// Asks the base for its video input and waits up to 10 s: the input, or -1.
TLX_BCF_API int tlxTvMgr_GetVideoIn();
// Starts an auto-preset of band `band`: -1 while one runs.
TLX_BCF_API int tlxTvMgr_StartAutoPreset(int band);
// Cancels the running auto-preset (nothing when none runs); 0.
TLX_BCF_API int tlxTvMgr_CancelAutoPreset();
// Ends the auto-preset, keeping its result; 0.
TLX_BCF_API int tlxTvMgr_FinishAutoPreset();
// Copies the result of the last good auto-preset of `band`'s kind into `out`
// (TLX_AUTOPRESET_RESULT_SIZE bytes): 0, or -1 while one runs, without a
// result, for a band of another kind or a null `out`.
TLX_BCF_API int tlxTvMgr_GetAutoPresetResult(int band, unsigned* out);

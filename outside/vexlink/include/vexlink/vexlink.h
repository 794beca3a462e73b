// The internet link component: its interface, identifiers and protocol.
//
// The component connects the player to a base station over one TCP
// connection and carries the link library's control messages both ways. It is
// an in-process COM server: the module exports DllGetClassObject, whose class
// factory makes CLSID_VexlinkManager.
//
// Protocol, over TCP to the base station's HTTP host and port ("network/ravix/
// hostname", "network/ravix/port", 5021 by default), which tells the link from
// HTTP by its first four bytes:
//   1. The client sends the hello: "VXLK", version 0x0001 (uint16 big-endian),
//      flags 0x0000 (uint16 big-endian).
//   2. The base answers 8 bytes: "VXLK", version 0x0001, status (uint16
//      big-endian): 0 accepted, otherwise a refusal.
//   3. Then, both ways, frames: a uint16 big-endian length N with
//      16 <= N <= 1040, then N bytes, which are one control message (its
//      16-byte header and payload, little-endian inside), the bytes one control
//      datagram would carry. A frame with N outside 16..1040 is a protocol
//      error: the receiving side closes the connection and delivers nothing of
//      it.
//
// Results of connect:
//   accepted                                                  S_OK
//   empty host, name not resolvable, refused, reset or closed
//   before the answer, no answer within 600 ticks (10 s)      VEXLINK_E_UNREACHABLE
//   answer of another protocol (magic or version)             VEXLINK_E_PROTOCOL
//   base refuses with status s                                0x80040000 | s
//   aborted by disconnect()                                   E_ABORT
//   a proxy host given (nothing in the system sets one)       E_INVALIDARG
// The refusal statuses reuse the numbers of the authentication library's
// results (0x100A not authorised, 0x1015 registration mode, 0x1016 setting
// mode, 0x1017 connection mode, 0x1018 in use, 0x101B incompatible).
#pragma once

#include <cstdint>

#include "com/unknown.h"

inline constexpr CLSID CLSID_VexlinkManager{
    0x5DD8123E, 0x064E, 0x48BB, {0xB7, 0x3E, 0xB5, 0x0E, 0x98, 0xA4, 0xB0, 0x72}};
inline constexpr IID IID_IVexlinkManager{
    0x07AC2911, 0x8178, 0x4BE9, {0xBE, 0x87, 0xFB, 0x5A, 0xBD, 0xC6, 0xBB, 0x37}};
inline constexpr IID IID_IVexlinkSink{0x8A59E5C2, 0x2525, 0x4C2C, {0xBC, 0x81, 0xC0, 0xFC, 0xEC, 0x21, 0x2E, 0xBB}};

inline constexpr HRESULT VEXLINK_E_UNREACHABLE = static_cast<HRESULT>(0x80041007);
inline constexpr HRESULT VEXLINK_E_PROTOCOL = static_cast<HRESULT>(0x80041014);
// The result of a refusal with status s.
constexpr HRESULT VexlinkRefusal(uint16_t status) { return static_cast<HRESULT>(0x80040000u | status); }

namespace vexlink {
inline constexpr char kMagic[4] = {'V', 'X', 'L', 'K'};
inline constexpr uint16_t kVersion = 0x0001;
inline constexpr unsigned kHelloSize = 8;
inline constexpr unsigned kMinFrame = 16;
inline constexpr unsigned kMaxFrame = 1040;
// Time-outs in ticks of 1/60 s: the answer to the hello, and one send.
inline constexpr int kAnswerTicks = 600;
inline constexpr int kSendTicks = 600;
}  // namespace vexlink

// Told of each frame received, on the connection's receive thread.
struct IVexlinkSink : IUnknown {
  STDMETHOD(notify)(const uint8_t* data, uint32_t length) PURE;

 protected:
  ~IVexlinkSink() = default;
};

struct IVexlinkManager : IUnknown {
  // Connects and waits for the base station's answer. A disconnect() from
  // another thread aborts the wait (E_ABORT).
  STDMETHOD(connect)(const char* host, int port, const char* proxyHost, int proxyPort) PURE;
  // Shuts the connection, joins its receive thread and releases the sink.
  STDMETHOD(disconnect)() PURE;
  // Sends one frame of `length` bytes (16..1040, else E_INVALIDARG). E_FAIL
  // on a connection that is closed or failed; a send that cannot finish
  // within 600 ticks fails and drops the connection.
  STDMETHOD(send)(const uint8_t* data, uint32_t length) PURE;
  // Installs the sink that receives the frames (null: none).
  STDMETHOD(setSink)(IVexlinkSink* sink) PURE;

 protected:
  ~IVexlinkManager() = default;
};

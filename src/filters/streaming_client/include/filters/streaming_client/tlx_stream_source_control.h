// What the stream source filter (TlxStreamingClient.ax) publishes: its class,
// its control interface with the parameter block, the graph events it raises
// and its error codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "com/unknown.h"
#include "dshow/errors.h"
#include "dshow/guids.h"

TLX_GUID(CLSID_TlxStreamingClient, 0x815EBE74, 0xE325, 0x4DD2, 0xB0, 0xA8, 0xCC, 0xCC, 0xCF, 0xA3, 0xB9, 0xEB);
TLX_GUID(CLSID_TlxStreamingClientAbout, 0x27E13623, 0x2945, 0x4155, 0xAE, 0xCC, 0xD1, 0x84, 0xE0, 0x69, 0xEE, 0x24);
TLX_GUID(IID_ITlxStreamSourceControl, 0x67C037D2, 0xB975, 0x4F58, 0xAB, 0x0F, 0x1F, 0xC3, 0xC9, 0x67, 0xC7, 0x86);

// Graph events (parameters 0 unless said).
inline constexpr long EC_TLX_CONNECT_BEGIN = EC_USER + 1;  // before the session connects
inline constexpr long EC_TLX_CONNECT_END = EC_USER + 2;    // after the attempt, whatever its result
inline constexpr long EC_TLX_STOP_BEGIN = EC_USER + 3;     // before the session stops
inline constexpr long EC_TLX_STOP_END = EC_USER + 4;       // after it stopped
inline constexpr long EC_TLX_FRAME_WAIT = EC_USER + 5;     // the video pin starts waiting for the first frame
inline constexpr long EC_TLX_FRAME_READY = EC_USER + 6;    // that wait ended
inline constexpr long EC_TLX_AUTH_BEGIN = EC_USER + 7;     // before the first tunnel socket is authenticated
inline constexpr long EC_TLX_AUTH_END = EC_USER + 8;       // after the second one was
inline constexpr long EC_TLX_STATISTICS = EC_USER + 9;     // each second: audio, video kbit/s
inline constexpr long EC_TLX_LOOP_ENDED = EC_USER + 10;    // the event loop ended by itself

// Results of the filter. Socket failures come as HRESULT_FROM_WIN32 of their
// Winsock code; authentication failures as the authentication library's.
inline constexpr HRESULT TLX_E_START_FAILED = static_cast<HRESULT>(0x80041001);   // initiate, PLAY or loop start
inline constexpr HRESULT TLX_E_SESSION_STATE = static_cast<HRESULT>(0x80041002);  // no session, or wrong state
inline constexpr HRESULT TLX_E_NO_SERVER = static_cast<HRESULT>(0x80041003);      // server host or stream path empty
inline constexpr HRESULT TLX_E_SAMPLE_RATE = static_cast<HRESULT>(0x80041004);    // audio rate not supported
inline constexpr HRESULT TLX_E_SESSION_CREATE = static_cast<HRESULT>(0x80041005); // scheduler, environment or client
inline constexpr HRESULT TLX_E_DESCRIBE_SETUP = static_cast<HRESULT>(0x80041006); // DESCRIBE, description or SETUP
inline constexpr HRESULT TLX_E_TUNNEL_GET = static_cast<HRESULT>(0x80041007);     // tunnel GET answer missing or not 200
inline constexpr HRESULT TLX_E_ABORTED = static_cast<HRESULT>(0x80041009);        // the connection was aborted

// Text fields of the parameter block hold at most this many bytes, NUL included.
inline constexpr size_t kTlxParamTextBytes = 256;

// The filter's parameters, moved whole by SetParams and GetParams.
struct TlxStreamSourceParams {
  int32_t mode;
  char streamPath[kTlxParamTextBytes];  // the name asked of the base station
  char serverHost[kTlxParamTextBytes];
  char proxyHost[kTlxParamTextBytes];   // empty: no proxy
  uint8_t reserved[512];
  uint16_t serverPort;
  uint16_t proxyPort;
};
static_assert(sizeof(TlxStreamSourceParams) == 1288);
static_assert(offsetof(TlxStreamSourceParams, mode) == 0 && offsetof(TlxStreamSourceParams, streamPath) == 4 &&
              offsetof(TlxStreamSourceParams, serverHost) == 260 && offsetof(TlxStreamSourceParams, proxyHost) == 516 &&
              offsetof(TlxStreamSourceParams, reserved) == 772 && offsetof(TlxStreamSourceParams, serverPort) == 1284 &&
              offsetof(TlxStreamSourceParams, proxyPort) == 1286);

struct ITlxStreamSourceControl : IUnknown {
  // E_POINTER for null, E_INVALIDARG for an empty host or one of 256
  // characters or more; keeps the low 16 bits of the port.
  STDMETHOD(SetServer)(const char* host, int port) PURE;
  // A text beginning "FILE" becomes the stream path as it is. Otherwise the
  // text after "DSP/" is read as a quality preset: the path becomes
  // "DSP/<canonical text>/" (or the text itself when it is no strict preset)
  // and ApplyQuality's result is returned.
  STDMETHOD(SetQuality)(const char* text) PURE;
  // Null clears the proxy; otherwise as SetServer.
  STDMETHOD(SetProxy)(const char* host, int port) PURE;
  // Bit 0 set turns the per-connection authentication off.
  STDMETHOD(SetMode)(int mode) PURE;
  STDMETHOD(Reserved1)(int) PURE;
  // Cancels a connection in progress; the next start fails once with
  // TLX_E_ABORTED unless a Stop came between.
  STDMETHOD(Abort)() PURE;
  STDMETHOD(Reserved2)(int, int) PURE;
  // The pins' last measured rates in kbit/s.
  STDMETHOD(GetActualBitrate)(DWORD* video, DWORD* audio) PURE;
  STDMETHOD(Reserved3)(int) PURE;
  STDMETHOD(Reserved4)(int, int) PURE;
  // E_INVALIDARG for null, or for a block whose text fields lack a NUL.
  STDMETHOD(SetParams)(const TlxStreamSourceParams* params) PURE;
  STDMETHOD(GetParams)(TlxStreamSourceParams* params) PURE;
  // Reads the quality text after its first four characters, rebuilds both
  // pins' formats and reconnects the connected pins. TLX_E_SAMPLE_RATE for a
  // rate AAC has no index for, E_INVALIDARG for a text no parser takes.
  STDMETHOD(ApplyQuality)(const char* text) PURE;

 protected:
  ~ITlxStreamSourceControl() = default;
};

// The AVC decoder filter as other deliverables see it: its class, its input
// subtypes and its control interface.
#pragma once

#include "dshow/guids.h"
#include "dshow/interfaces.h"

// The filter and its property page.
TLX_GUID(CLSID_AvcDecFilter, 0x9872C352, 0xF1E2, 0x414D, 0x80, 0x90, 0xFE, 0x32, 0x30, 0x2F, 0x43, 0x09);
TLX_GUID(CLSID_AvcDecPropertyPage, 0x1A7BCFE7, 0xF7FB, 0x40B0, 0x96, 0xCD, 0xB6, 0x16, 0x89, 0x3E, 0x8A, 0xE8);

// AVC byte stream with start codes: MEDIASUBTYPE_TlxAVC in dshow/guids.h.
// Length-prefixed AVC samples; the decoder configuration record follows the
// 112-byte VIDEOINFOHEADER2 in the format block.
TLX_GUID(MEDIASUBTYPE_TlxAVCC, 0xF3CB405D, 0x7675, 0x440B, 0x92, 0xDE, 0x23, 0x54, 0xA0, 0xF7, 0x4A, 0x27);

// The control interface, reachable under both identifiers: the stream engine
// asks for the first, the property page for the second.
TLX_GUID(IID_IAvcDecMode, 0x1402A36D, 0xD836, 0x4C5B, 0xB6, 0x38, 0xA8, 0x6C, 0xFF, 0xC2, 0x0F, 0x0E);
TLX_GUID(IID_IAvcDecModePage, 0x55027020, 0x087F, 0x4E1E, 0xB4, 0xC4, 0xA1, 0x08, 0x57, 0xAD, 0xF6, 0x06);

// Mode bits: 0x100 and 0x400 decode with several threads (one switch), 0x80
// a second switch; the low bits 0x0F go to the decoder core unchanged.
inline constexpr int kAvcModeDefault = 0x58F;
inline constexpr int kAvcModeMultiThread = 0x500;
inline constexpr int kAvcModeGpu = 0x80;

struct IAvcDecMode : IUnknown {
  // The mode, and when `connected` is given, 1 while the output pin is connected.
  STDMETHOD(GetMode)(int* mode, int* connected) PURE;
  // E_FAIL while the output pin is connected; the settings file beside the
  // module overrides the mode. It takes effect at the next output connection.
  STDMETHOD(SetMode)(int mode) PURE;
  // As GetMode; reserved receives 0.
  STDMETHOD(GetModeEx)(int* mode, int* connected, int* reserved) PURE;

 protected:
  ~IAvcDecMode() = default;
};

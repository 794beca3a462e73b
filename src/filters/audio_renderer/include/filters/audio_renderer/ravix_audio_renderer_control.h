// The audio renderer filter's class and its control interface.
#pragma once

#include "com/unknown.h"
#include "dshow/media_type.h"

// {ED79D616-724A-4CD2-A2BF-05FCAAE4E96F}
inline constexpr CLSID CLSID_RavixDSAudRenderer{
    0xED79D616, 0x724A, 0x4CD2, {0xA2, 0xBF, 0x05, 0xFC, 0xAA, 0xE4, 0xE9, 0x6F}};
// {79E907A9-7488-47D9-96DE-893B1C80F997}
inline constexpr IID IID_IRavixAudioRendererControl{
    0x79E907A9, 0x7488, 0x47D9, {0x96, 0xDE, 0x89, 0x3B, 0x1C, 0x80, 0xF9, 0x97}};

struct IRavixAudioRendererControl : IUnknown {
  STDMETHOD(Reserved)() PURE;
  // While running, plays the queue down to half a second within 700 ms when
  // more than a second is queued; the argument is not used. Always S_OK.
  STDMETHOD(FlashBuffers)(int unused) PURE;
  // Subtracted from the clock (100-ns units); set to 20 ms at each start.
  STDMETHOD(SetTimeCorrection)(REFERENCE_TIME correction) PURE;
  STDMETHOD(GetTimeCorrection)(REFERENCE_TIME* correction) PURE;
  // Scales the samples by numerator / denominator when that is above 1.
  // E_INVALIDARG for a zero denominator.
  STDMETHOD(SetGain)(unsigned numerator, unsigned denominator) PURE;

 protected:
  ~IRavixAudioRendererControl() = default;
};

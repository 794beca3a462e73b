// What the AAC decoder filter (tlxaacdec) publishes: its classes, the input
// type it takes, and IAacDecParams with its 58-value parameter block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dshow/media_type.h"

// The filter and its property page.
TLX_GUID(CLSID_AacDecFilter, 0x2C2F9587, 0xCB1B, 0x4B34, 0xB3, 0x20, 0xCC, 0x2D, 0xFC, 0x14, 0x74, 0x3D);
TLX_GUID(CLSID_AacDecPropertyPage, 0x4A2A89F4, 0xBF66, 0x4A3B, 0x81, 0x86, 0x65, 0x29, 0xE8, 0x70, 0x88, 0x18);
TLX_GUID(IID_IAacDecParams, 0x61E3D777, 0x48D5, 0x4E7F, 0x9D, 0xD1, 0x7B, 0x49, 0x24, 0xE9, 0x42, 0x5D);

// The input is MEDIASUBTYPE_TlxAAC (dshow/guids.h), tag WAVE_FORMAT_TLX_AAC
// (dshow/media_type.h): raw AAC access units, one per sample, whose format
// block is a WAVEFORMATEX followed by the stream's two-byte
// AudioSpecificConfig.

// Entries of the channel order.
inline constexpr int kAacChannelOrderSize = 48;

// The parameter block, as GetParams and SetParams move it and the filter
// keeps it in its persistent state: 58 ints. Only channels, sampleBits,
// sampleRate, downMix, channelReorder and channelOrder steer the decoder; the
// others are the encoder-style settings the property page shows.
struct AacDecParams {
  int32_t channels;      // input channel count
  int32_t sampleBits;    // bits per output sample
  int32_t sampleRate;    // Hz
  int32_t aacMode;       // 0..6, the page's "AAC Mode" choices
  int32_t bitRate;       // bits per second
  int32_t cutOff;        // Hz
  int32_t jointStereoRatio;  // the bits of a 32-bit float
  int32_t tns;           // temporal noise shaping on (1) or off (0)
  int32_t downMix;       // output channel count; 0 = as many as the input
  int32_t channelReorder;  // 1: output channel k takes channel channelOrder[k]
  int32_t channelOrder[kAacChannelOrderSize];
};
static_assert(sizeof(AacDecParams) == 232);
static_assert(offsetof(AacDecParams, jointStereoRatio) == 24 && offsetof(AacDecParams, downMix) == 32 &&
              offsetof(AacDecParams, channelOrder) == 40);

inline constexpr int kAacDecParamCount = sizeof(AacDecParams) / sizeof(int32_t);

// The block a new filter starts with: 2 channels, 16 bits, 44100 Hz, mode 4
// (stereo), 128000 bit/s, cut-off 0, ratio 0.5, no TNS, no down-mix, no
// reordering, order 0, 1, ..., 47.
AacDecParams DefaultAacDecParams();

// The output channel count: downMix when positive, else channels.
inline int OutputChannels(const AacDecParams& params) {
  return params.downMix > 0 ? params.downMix : params.channels;
}

struct IAacDecParams : IUnknown {
  // Copies the 58 ints out; the two ints are not used. S_OK.
  STDMETHOD(GetParams)(int* block, int, int) PURE;
  // Takes a new block while the decoder is not running (E_INVALIDARG while it
  // runs, or for a block the decoder cannot serve) and reconnects the output
  // with the format it gives.
  STDMETHOD(SetParams)(const int* block, int, int) PURE;

 protected:
  ~IAacDecParams() = default;
};

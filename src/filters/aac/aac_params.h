// What the parameter block decides: whether the decoder can serve it, the
// output format and the size of one output frame.
#pragma once

#include "filters/aac/aac_dec.h"

namespace tlx::aac {

// The largest output frame: the size of the output buffers.
inline constexpr int kOutputBufferBytes = 16384;
// Samples per channel in an output frame.
inline constexpr int kFrameSamples = 1024;

// Bytes of one output frame: output channels × sample bits × 1024 / 8.
int FrameBytes(const AacDecParams& params);

// True for a block the decoder can serve: 1..8 channels, 16-bit samples,
// 8000..96000 Hz, downMix 0..2, a frame that fits the output buffer, and with
// reordering on an order whose entries name output channels.
bool IsServable(const AacDecParams& params);

// The output format of a block: PCM for up to two output channels,
// WAVE_FORMAT_EXTENSIBLE with the 5.1 channel mask above that. Its block
// align and byte rate assume 16-bit samples up to two channels.
WAVEFORMATEXTENSIBLE BuildOutputFormat(const AacDecParams& params);

}  // namespace tlx::aac

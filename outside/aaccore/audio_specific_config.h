// The decoder configuration an AAC-LC stream of a given channel count and
// sample rate carries.
#pragma once

#include <cstdint>
#include <vector>

namespace tlx::aaccore {

// The AudioSpecificConfig for AAC-LC: object type 2, the sampling-frequency
// index of `sampleRate` (for a rate without one, the index of the nearest
// rate, whose tables a decoder uses for it: libavcodec refuses the escape
// that would carry the rate itself), the channel configuration (1-6 for 1-6
// channels, 7 for 8) and a plain GASpecificConfig. Always two bytes; empty
// for a channel count or rate it cannot express.
std::vector<uint8_t> BuildAudioSpecificConfig(int channels, int sampleRate);

}  // namespace tlx::aaccore

// Video object, layer, group and picture headers, the short header, the end
// marker, and the set-up of each picture before its macroblocks are decoded.
#pragma once

#include <cstdint>

#include "bit_reader.h"
#include "mpeg4_decoder.h"

namespace tlx::mpeg4 {

// Consumes a video object start code when the window holds one.
void ParseVoStartCode(Mpeg4Decoder& decoder);
// Parses the layer header at the window, or, when the window holds no layer
// start code, switches the instance to short-header mode. A refused or damaged
// layer leaves no usable layer behind (volSeen 0).
void ParseVolHeader(Mpeg4Decoder& decoder);
// Parses a group-of-VOP header: its time code becomes every seconds base.
void ParseGovHeader(Mpeg4Decoder& decoder);
// Parses a VOP header into the stream state (nothing before a good layer).
void ParseVopHeader(Mpeg4Decoder& decoder);
// Parses a short-header picture header and sizes the layer for its source
// format; formats above the largest layer size set kStatusUnsupported.
void ParseShortHeader(Mpeg4Decoder& decoder);
// Consumes the end marker and makes the last reference the one shown.
void FlushAtEndMarker(Mpeg4Decoder& decoder);
// Decodes one VOP from its start code: header, reference rotation, times,
// every video packet, and the border of the finished picture.
void DecodeVop(Mpeg4Decoder& decoder);

// Bits of vop_time_increment for a time resolution, 1-16.
uint32_t ComputeTimeIncrementBits(uint32_t resolution);
// The intra DC threshold of the stream's intra_dc_vlc_thr index; an index
// above 7 sets kStatusOutOfRange and is held to 7.
void SetIntraDcVlcThreshold(Mpeg4Decoder& decoder);
// Counts 1 bits up to the terminating 0 (modulo_time_base), consuming them.
uint32_t ReadModuloTimeBase(BitReader& reader);
// A seconds base advanced by a modulo time base. The count wraps, as the
// reported unsigned field does, instead of overflowing on a long stream.
inline int32_t AddSeconds(int32_t base, uint32_t seconds) {
  return static_cast<int32_t>(static_cast<uint32_t>(base) + seconds);
}
// One warping vector code of a sprite trajectory; an invalid code or a
// missing marker sets kStatusInvalidCode.
int32_t ReadWarpingVectorCode(Mpeg4Decoder& decoder);

}  // namespace tlx::mpeg4

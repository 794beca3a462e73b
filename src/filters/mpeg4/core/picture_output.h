// Which decoded picture a call returns, how the record describes it, and its
// conversion into the caller's buffer.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/decoder_api.h"

namespace tlx::mpeg4 {

struct Mpeg4Decoder;

// Chooses the picture the call returns (display order: a reference leaves
// once the next reference is decoded) and fills the output fields of frame;
// a store without a complete picture returns nothing, and so does a
// reference's turn after a not-coded VOP at its own time returned it
// ahead (a picture leaves once unless the stream repeats it). With an output buffer
// it then converts the area (x and y held inside the display size and only
// shortening it; width and height 0 meaning the display size) in the
// requested format, through the post-filter when the instance has one:
// planar, YUY2, or RGB555/565/24/32 (bit 0 clear: top-down rows, set:
// bottom-up); any other code converts nothing. Format bits 0x100000 and
// 0x200000 choose the colour range. The record's planes stay those of the
// unfiltered picture. kStatusInvalidArgument when the role has no store;
// conversion failures stay in the converter's status for the next call.
uint32_t OutputPicture(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame);

}  // namespace tlx::mpeg4

// Which decoded picture a call returns, and how the record describes it.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/decoder_api.h"
#include "mpeg4_decoder.h"

namespace tlx::mpeg4 {

// Chooses the picture the call returns (display order: a reference leaves
// once the next reference is decoded) and fills the output fields of frame;
// a store without a complete picture returns nothing. kStatusInvalidArgument
// when the role has no store.
uint32_t OutputPicture(const References& refs, const StreamState& stream, Mpeg4DecFrame& frame);

}  // namespace tlx::mpeg4

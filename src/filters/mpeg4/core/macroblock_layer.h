// The macroblock layer of combined (not data-partitioned) video packets.
#pragma once

#include <cstdint>

#include "mpeg4_decoder.h"

namespace tlx::mpeg4 {

// Decodes the macroblock at the current index (or consumes one stuffing
// code). On an error the reader goes back to the macroblock's start and on to
// the next resync point, and the coefficient blocks are cleared.
void DecodeMacroblocksCombined(Mpeg4Decoder& decoder);

// Fills macroblock `index` of the current picture from the past reference
// and resets its column's intra predictors.
void ConcealMacroblock(Mpeg4Decoder& decoder, uint32_t index);

}  // namespace tlx::mpeg4

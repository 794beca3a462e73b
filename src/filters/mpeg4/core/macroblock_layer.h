// The macroblock layer of combined (not data-partitioned) video packets.
#pragma once

#include <cstdint>


namespace tlx::mpeg4 {

struct Mpeg4Decoder;

// Decodes the macroblock at the current index (or consumes one stuffing
// code). On an error the reader goes back to the macroblock's start and on to
// the next resync point, and the coefficient blocks are cleared.
void DecodeMacroblocksCombined(Mpeg4Decoder& decoder);

// Decodes one data-partitioned video packet of an I- or P-VOP: the first
// partition (macroblock types with DC values, or with vectors, which predict
// at once), its marker, the second (patterns, quantisers, DC values of P),
// and the texture; then the packet must end at a resync marker or start
// code. Any error abandons the packet: the reader goes back to its start and
// on to the next resync point.
void DecodeVopPartitioned(Mpeg4Decoder& decoder);

// Fills macroblock `index` of the current picture from the past reference
// and resets its column's intra predictors.
void ConcealMacroblock(Mpeg4Decoder& decoder, uint32_t index);

}  // namespace tlx::mpeg4

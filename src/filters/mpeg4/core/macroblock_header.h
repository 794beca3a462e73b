// Macroblock-level codes: the macroblock type with the chroma pattern
// (MCBPC) and the luma pattern (CBPY). Both peek at the reader's window and
// consume exactly the code; an invalid code sets kStatusInvalidCode in the
// decoder's status and consumes nothing.
#pragma once

#include "filters/mpeg4/core/bit_reader.h"

namespace tlx::mpeg4 {

struct Mpeg4Decoder;

// Stuffing (0000 0000 1) is consumed and leaves the flags word 0, so the
// caller reads the header again. I-VOPs use the intra table, P-VOPs and
// S-VOPs with global motion compensation the inter table; MCBPC of other VOP
// types sets kStatusUnsupported and reads nothing. Sets the macroblock flags,
// the chroma pattern and bits 7-6 of the coded-block pattern.
void DecodeMcbpc(Mpeg4Decoder& decoder, BitReader& reader);

// Sets bits 11-8 of the coded-block pattern; the code gives the intra form,
// inverted for macroblocks without the intra flag.
void DecodeCbpy(Mpeg4Decoder& decoder, BitReader& reader);

// The B-VOP macroblock type: 1 direct, 01 interpolated, 001 backward, 0001
// forward (flags kMbDirect, kMbForward | kMbBackward | kMbQuant, ...); 0000
// sets kStatusInvalidCode and consumes nothing.
void DecodeBMacroblockType(Mpeg4Decoder& decoder, BitReader& reader);

// Six bits: the coded-block pattern of blocks 0-5 (bits 11-6 of the word).
void DecodeCbpb(Mpeg4Decoder& decoder, BitReader& reader);

}  // namespace tlx::mpeg4

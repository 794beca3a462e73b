// Macroblock-level codes: the macroblock type with the chroma pattern
// (MCBPC) and the luma pattern (CBPY). Both peek at the reader's window and
// consume exactly the code; an invalid code sets kStatusInvalidCode in the decoder's
// status and consumes nothing.
#pragma once

#include "bit_reader.h"
#include "mpeg4_decoder.h"

namespace tlx::mpeg4 {

// Stuffing (0000 0000 1) is consumed and leaves the flags word 0, so the
// caller reads the header again. I-VOPs use the intra table; MCBPC of other
// VOP types sets kStatusUnsupported and reads nothing. Sets the macroblock flags, the chroma
// pattern and bits 7-6 of the coded-block pattern.
void DecodeMcbpc(Mpeg4Decoder& decoder, BitReader& reader);

// Sets bits 11-8 of the coded-block pattern; the code gives the intra form,
// inverted for macroblocks without the intra flag.
void DecodeCbpy(Mpeg4Decoder& decoder, BitReader& reader);

}  // namespace tlx::mpeg4

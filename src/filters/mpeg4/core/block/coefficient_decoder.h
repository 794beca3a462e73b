// Coefficient syntax of one 8x8 block: the intra DC (size and differential,
// or the 8-bit short-header value), the run/level/last events with their
// escapes, and the reversible codes of data-partitioned packets.
//
// Events go to the coefficient list of the BlockDecoderState (magnitude x 2 +
// sign, raster position through the given scan); the count is stored when the
// last event is in. The inter forms that inverse quantise write the block
// instead. An error sets one status bit and ends the block; the bits
// of the failing code are not consumed.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/bit_reader.h"
#include "filters/mpeg4/core/block/block_decoder_state.h"

namespace tlx::mpeg4 {

// DC size 0-12; an invalid code sets kStatusInvalidCode, consumes nothing and gives 0.
uint32_t DecodeDcSizeLuma(BlockDecoderState& state, BitReader& reader);
uint32_t DecodeDcSizeChroma(BlockDecoderState& state, BitReader& reader);

// Reads `size` bits v: v when its first bit is 1, else v - (2^size - 1).
int32_t ReadDcDifferential(BitReader& reader, uint32_t size);

// The DC differential of block 0-5 into state.dc (luma codes for blocks 0-3).
void DecodeIntraDc(BlockDecoderState& state, BitReader& reader, uint32_t block);
// The 8-bit intra DC of a short-header block; clears the count.
void DecodeShortHeaderIntraDc(BlockDecoderState& state, BitReader& reader);

// The event loop from scan index `start`, with the intra or inter events.
void DecodeCoefficients(BlockDecoderState& state, BitReader& reader, bool intra, uint32_t start,
                        const uint8_t* scan);
// The same with the short-header escape (last, run, 8-bit level).
void DecodeShortHeaderCoefficients(BlockDecoderState& state, BitReader& reader, bool intra, uint32_t start,
                                   const uint8_t* scan);
// The same with the reversible codes, read forwards.
void DecodeReversibleCoefficients(BlockDecoderState& state, BitReader& reader, bool intra, uint32_t start,
                                  const uint8_t* scan);
// An inter block's events from scan index 0 (the inter codes; the second
// form with the short-header escape) inverse quantised as DequantiseBlock
// does, straight into `block`, whose other entries are left as they are.
// Returns the shape word of the written positions, or 0 on error (the block
// may then hold some of the block's values). The coefficient list is not
// touched.
uint32_t DecodeInterCoefficientsDequantised(BlockDecoderState& state, BitReader& reader, const uint8_t* scan,
                                            int16_t* block);
uint32_t DecodeShortHeaderInterCoefficientsDequantised(BlockDecoderState& state, BitReader& reader,
                                                       const uint8_t* scan, int16_t* block);
// Reversible or not, as the state's flag says.
void DecodeBlockCoefficients(BlockDecoderState& state, BitReader& reader, bool intra, uint32_t start,
                             const uint8_t* scan);

// The intra DC coded as the first event: clears the count and the DC word;
// an event of run 0 is consumed as the DC. Returns 1 when that event was the
// last (or on error), 0 when more events follow (a first event of a longer
// run is left in the stream for the event loop).
uint32_t DecodeFirstIntraCoefficient(BlockDecoderState& state, BitReader& reader);
uint32_t DecodeFirstIntraCoefficientReversible(BlockDecoderState& state, BitReader& reader);
uint32_t DecodeIntraDcAsCoefficient(BlockDecoderState& state, BitReader& reader);

}  // namespace tlx::mpeg4

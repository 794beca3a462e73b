// Block drivers of intra macroblocks and the inverse quantiser: from the
// coded syntax of six blocks to six coefficient blocks with their shape
// words, ready for the inverse DCT.
//
// A shape word has, for row r of a block, one bit for column 0, one for
// columns 1-3 and one for columns 4-7: rows 0-2 bits 3r..3r+2, rows 3-7
// bits 16+3(r-3)..16+3(r-3)+2. Intra blocks start from 1 (the DC).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "filters/mpeg4/core/bit_reader.h"
#include "filters/mpeg4/core/block/block_decoder_state.h"

namespace tlx::mpeg4 {

// Decodes the six blocks of an intra macroblock into `blocks` (all zero on
// entry) and `shapes`: DC by its own code when intraDcVlc is set, else as
// the first event (with the rest of the block reversible when the state says
// so: the texture of a data-partitioned packet); DC and AC prediction through the state's predictors of
// macroblock column `column`; inverse quantisation with `quantiser`.
// `pattern` is the coded-block pattern word (0x800 block 0 .. 0x40 block 5).
// Every block is processed even after an error; on error the six blocks are
// zeroed again, since the caller then skips their reconstruction. Returns the
// state's status.
uint32_t DecodeIntraMacroblock(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                               uint32_t* shapes, int32_t quantiser, uint32_t pattern, uint32_t intraDcVlc,
                               uint32_t acPredFlag, uint32_t column);

// Decodes the coded blocks of an inter macroblock (bits of `pattern`): the
// inter events in the state's first scan, inverse quantised, shapes from 0.
// Blocks without their bit are left as they are. Afterwards the predictors of
// `column` are reset, since the macroblock is not intra. On error the six
// blocks are zeroed. Returns the state's status.
uint32_t DecodeInterMacroblock(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64], uint32_t* shapes,
                               int32_t quantiser, uint32_t pattern, uint32_t column);

// Data-partitioned packets. The DC part of an intra macroblock (DC by its
// own code): per block the DC differential, DC prediction (which chooses the
// direction) and reconstruction, into dc, direction and the quantised DC.
uint32_t DecodeIntraDcPartition(BlockDecoderState& state, BitReader& reader, int32_t quantiser, uint32_t column,
                                int32_t dc[6], uint8_t direction[6], int32_t quantisedDc[6]);
// The texture part of such a macroblock: per block the given DC and
// direction (0 when AC prediction is off), the intra events from scan index
// 1 (reversible when the state says so), AC prediction, inverse quantisation.
uint32_t DecodeIntraMacroblockPartitioned(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                                          uint32_t* shapes, int32_t quantiser, uint32_t pattern, const int32_t dc[6],
                                          const uint8_t direction[6], const int32_t quantisedDc[6], uint32_t column);
// As DecodeInterMacroblock, with reversible events when the state says so.
uint32_t DecodeInterMacroblockPartitioned(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                                          uint32_t* shapes, int32_t quantiser, uint32_t pattern, uint32_t column);

// The short-header form: the inter events with the short-header escape.
uint32_t DecodeShortHeaderInterMacroblock(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                                          uint32_t* shapes, int32_t quantiser, uint32_t pattern, uint32_t column);

// The short-header form: 8-bit DC, no prediction, zigzag order, the inter
// events with the short-header escape.
uint32_t DecodeShortHeaderIntraMacroblock(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                                          uint32_t* shapes, int32_t quantiser, uint32_t pattern);

// The shape-word bit of each raster position.
inline constexpr std::array<uint32_t, 64> kShapeBit = [] {
  std::array<uint32_t, 64> bits{};
  for (int p = 0; p < 64; ++p) {
    const int r = p / 8, k = p % 8;
    const int g = k == 0 ? 0 : (k < 4 ? 1 : 2);
    bits[p] = r < 3 ? 1u << (3 * r + g) : 1u << (16 + 3 * (r - 3) + g);
  }
  return bits;
}();

// A listed level (magnitude x 2 + sign) inverse quantised with quantiser q:
// q(2|level|+1), less evenCorrection (1 for even q, else 0), held to
// -2048..2047.
inline int32_t DequantisedLevel(uint32_t level, int32_t q, int32_t evenCorrection) {
  const int32_t s = static_cast<int32_t>(level & 1);
  const int32_t m = std::min(static_cast<int32_t>(level >> 1), 2047 + s);
  const int32_t r = std::min(q * (2 * m + 1) - evenCorrection, 2047 + s);
  return s ? -r : r;
}

// Writes the state's coefficient list into block, inverse quantised with the
// state's quantiser (q(2|level|+1), less 1 for even q, held to -2048..2047),
// and returns `shape` with the bits of the written positions added. The
// macroblock decoders call it through the state's `dequantise` slot.
uint32_t DequantiseBlock(BlockDecoderState& state, int16_t* block, uint32_t shape);

// The SSE2 form: the same coefficients and shape word for every list.
uint32_t DequantiseBlockSse2(BlockDecoderState& state, int16_t* block, uint32_t shape);

}  // namespace tlx::mpeg4

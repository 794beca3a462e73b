#include "filters/mpeg4/core/block/block_decoding.h"

#include <algorithm>

#include "filters/mpeg4/core/block/coefficient_decoder.h"
#include "filters/mpeg4/core/block/reconstruction.h"

namespace tlx::mpeg4 {
namespace {

constexpr uint32_t kIntraShape = 1;

void ZeroBlocks(int16_t (*blocks)[64]) { std::fill(&blocks[0][0], &blocks[0][0] + 6 * 64, int16_t{0}); }

// Inter blocks have no separate DC: theirs is in the list.
void Capture(const BlockDecoderState& state, uint32_t block, bool intra) {
  if (state.levelCapture == nullptr) return;
  int16_t* out = state.levelCapture[block];
  std::fill(out, out + 64, int16_t{0});
  out[0] = intra ? static_cast<int16_t>(state.quantisedDc) : int16_t{0};
  for (uint32_t i = 0; i < state.count; ++i) out[state.position[i]] = static_cast<int16_t>(SignedLevel(state.level[i]));
}

// The predictor sets of block b of the macroblock in `column`: above-left
// DC, left set and upper set. Corner values the later blocks need are saved
// before the block overwrites them.
struct Neighbours {
  int32_t topLeft;
  int32_t* left;
  int32_t* top;
};

Neighbours TakeNeighbours(BlockDecoderState& s, uint32_t b, uint32_t column) {
  int32_t* luma = s.lumaRow + 16 * column;
  int32_t* c = s.corner;
  switch (b) {
    case 0: {
      const Neighbours n{c[kCornerBlock0], s.leftLumaTop, luma};
      c[kCornerBlock1] = luma[0];
      c[kCornerBlock2] = s.leftLumaTop[0];
      return n;
    }
    case 1: {
      const Neighbours n{c[kCornerBlock1], s.leftLumaTop, luma + 8};
      c[kCornerBlock0] = luma[8];
      return n;
    }
    case 2: {
      const Neighbours n{c[kCornerBlock2], s.leftLumaBottom, luma};
      c[kCornerBlock3] = luma[0];
      return n;
    }
    case 3:
      return {c[kCornerBlock3], s.leftLumaBottom, luma + 8};
    case 4: {
      int32_t* u = s.uRow + 8 * column;
      const Neighbours n{c[kCornerU], s.leftU, u};
      c[kCornerU] = u[0];
      return n;
    }
    default: {
      int32_t* v = s.vRow + 8 * column;
      const Neighbours n{c[kCornerV], s.leftV, v};
      c[kCornerV] = v[0];
      return n;
    }
  }
}

// The end of every intra block: AC prediction and the block's own
// predictors, the levels for inspection, the DC and the inverse quantiser.
void FinishIntraBlock(BlockDecoderState& state, const Neighbours& n, int16_t (*blocks)[64], uint32_t* shapes,
                      uint32_t b) {
  PredictAc(state, n.left, n.top);
  Capture(state, b, true);
  blocks[b][0] = static_cast<int16_t>(state.dc);
  shapes[b] = state.dequantise(state, blocks[b], kIntraShape);
}

}  // namespace

uint32_t DecodeIntraMacroblock(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                               uint32_t* shapes, int32_t quantiser, uint32_t pattern, uint32_t intraDcVlc,
                               uint32_t acPredFlag, uint32_t column) {
  state.quantiser = quantiser;
  const int32_t lumaScaler = LumaDcScaler(state, quantiser);
  const int32_t chromaScaler = ChromaDcScaler(state, quantiser);
  for (uint32_t b = 0; b < 6; ++b) {
    const Neighbours n = TakeNeighbours(state, b, column);
    state.count = 0;
    const bool coded = pattern & kCodedBlockBit[b];
    uint32_t firstWasLast = 1;
    if (intraDcVlc) {
      DecodeIntraDc(state, reader, b);
    } else if (coded) {
      firstWasLast = DecodeIntraDcAsCoefficient(state, reader);
    } else {
      state.dc = 0;
    }
    const bool dcTaken = state.dc != 0;

    PredictDc(state, b < 4 ? lumaScaler : chromaScaler, n.topLeft, n.left, n.top);
    ApplyAcPredFlag(state, acPredFlag);
    const uint8_t* scan = state.scan[state.direction];
    if (coded && intraDcVlc)
      DecodeCoefficients(state, reader, true, 1, scan);
    else if (coded && !firstWasLast)
      DecodeBlockCoefficients(state, reader, true, dcTaken ? 1 : 0, scan);
    FinishIntraBlock(state, n, blocks, shapes, b);
  }
  if (state.status != 0) ZeroBlocks(blocks);
  return state.status;
}

uint32_t DecodeShortHeaderIntraMacroblock(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                                          uint32_t* shapes, int32_t quantiser, uint32_t pattern) {
  state.quantiser = quantiser;
  for (uint32_t b = 0; b < 6; ++b) {
    DecodeShortHeaderIntraDc(state, reader);
    if (pattern & kCodedBlockBit[b]) DecodeShortHeaderCoefficients(state, reader, false, 1, state.scan[0]);
    blocks[b][0] = static_cast<int16_t>(state.dc);
    shapes[b] = state.dequantise(state, blocks[b], kIntraShape);
  }
  if (state.status != 0) ZeroBlocks(blocks);
  return state.status;
}

namespace {

using EventDecoder = decltype(&DecodeCoefficients);
using DequantisingDecoder = decltype(&DecodeInterCoefficientsDequantised);

// `direct` (null where there is none) decodes a block straight into its
// inverse-quantised values; with it the coefficient list is skipped unless
// the levels are captured for inspection.
uint32_t DecodeInterBlocks(EventDecoder events, DequantisingDecoder direct, BlockDecoderState& state,
                           BitReader& reader, int16_t (*blocks)[64], uint32_t* shapes, int32_t quantiser,
                           uint32_t pattern, uint32_t column) {
  state.quantiser = quantiser;
  if (state.levelCapture != nullptr) std::fill(&state.levelCapture[0][0], &state.levelCapture[0][0] + 6 * 64, 0);
  for (uint32_t b = 0; b < 6; ++b) {
    if ((pattern & kCodedBlockBit[b]) == 0) continue;
    if (direct != nullptr && state.levelCapture == nullptr) {
      shapes[b] = direct(state, reader, state.scan[0], blocks[b]);
      continue;
    }
    state.count = 0;
    events(state, reader, false, 0, state.scan[0]);
    Capture(state, b, false);
    shapes[b] = state.dequantise(state, blocks[b], 0);
  }
  ResetMacroblockPredictors(state, column);
  if (state.status != 0) ZeroBlocks(blocks);
  return state.status;
}

}  // namespace

uint32_t DecodeInterMacroblock(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64], uint32_t* shapes,
                               int32_t quantiser, uint32_t pattern, uint32_t column) {
  return DecodeInterBlocks(DecodeCoefficients, DecodeInterCoefficientsDequantised, state, reader, blocks, shapes,
                           quantiser, pattern, column);
}

uint32_t DecodeShortHeaderInterMacroblock(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                                          uint32_t* shapes, int32_t quantiser, uint32_t pattern, uint32_t column) {
  return DecodeInterBlocks(DecodeShortHeaderCoefficients, DecodeShortHeaderInterCoefficientsDequantised, state,
                           reader, blocks, shapes, quantiser, pattern, column);
}

uint32_t DecodeInterMacroblockPartitioned(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                                          uint32_t* shapes, int32_t quantiser, uint32_t pattern, uint32_t column) {
  return DecodeInterBlocks(DecodeBlockCoefficients, nullptr, state, reader, blocks, shapes, quantiser, pattern,
                           column);
}

uint32_t DecodeIntraDcPartition(BlockDecoderState& state, BitReader& reader, int32_t quantiser, uint32_t column,
                                int32_t dc[6], uint8_t direction[6], int32_t quantisedDc[6]) {
  state.quantiser = quantiser;
  const int32_t lumaScaler = LumaDcScaler(state, quantiser);
  const int32_t chromaScaler = ChromaDcScaler(state, quantiser);
  for (uint32_t b = 0; b < 6; ++b) {
    const Neighbours n = TakeNeighbours(state, b, column);
    state.count = 0;
    DecodeIntraDc(state, reader, b);
    PredictDc(state, b < 4 ? lumaScaler : chromaScaler, n.topLeft, n.left, n.top);
    dc[b] = state.dc;
    direction[b] = static_cast<uint8_t>(state.direction);
    quantisedDc[b] = state.quantisedDc;
  }
  return state.status;
}

uint32_t DecodeIntraMacroblockPartitioned(BlockDecoderState& state, BitReader& reader, int16_t (*blocks)[64],
                                          uint32_t* shapes, int32_t quantiser, uint32_t pattern, const int32_t dc[6],
                                          const uint8_t direction[6], const int32_t quantisedDc[6], uint32_t column) {
  state.quantiser = quantiser;
  for (uint32_t b = 0; b < 6; ++b) {
    const Neighbours n = TakeNeighbours(state, b, column);
    state.count = 0;
    state.dc = dc[b];
    state.quantisedDc = quantisedDc[b];
    state.direction = direction[b];
    if (pattern & kCodedBlockBit[b]) DecodeBlockCoefficients(state, reader, true, 1, state.scan[state.direction]);
    FinishIntraBlock(state, n, blocks, shapes, b);
  }
  if (state.status != 0) ZeroBlocks(blocks);
  return state.status;
}

uint32_t DequantiseBlock(BlockDecoderState& state, int16_t* block, uint32_t shape) {
  const int32_t q = state.quantiser;
  const int32_t evenCorrection = (q & 1) ? 0 : 1;
  for (uint32_t i = 0; i < state.count; ++i) {
    const uint32_t pos = state.position[i];
    block[pos] = static_cast<int16_t>(DequantisedLevel(state.level[i], q, evenCorrection));
    shape |= kShapeBit[pos];
  }
  return shape;
}

}  // namespace tlx::mpeg4

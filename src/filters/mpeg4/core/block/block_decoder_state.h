// Per-instance state of intra block decoding: the coefficient scans, the
// current block's coefficient list, and the DC/AC predictors that intra
// blocks take from their left and upper neighbours.
//
// Predictor sets hold 8 values: the reconstructed DC, then seven AC
// predictors (first column or first row of the block, as quantiser x level).
// The AC predictors are 32-bit, so no product of quantiser and level is cut
// short; they are clamped to -2048..2047 where they are used.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/status.h"

namespace tlx::mpeg4 {

inline constexpr int32_t kDefaultDcPredictor = 1024;

// Prediction direction, which is also the index of the scan to read in.
inline constexpr uint32_t kPredictNone = 0;
inline constexpr uint32_t kPredictFromLeft = 1;
inline constexpr uint32_t kPredictFromAbove = 2;

// Index of the six corner DC values.
enum CornerValue { kCornerBlock0, kCornerBlock1, kCornerBlock2, kCornerBlock3, kCornerU, kCornerV };

struct BlockDecoderState;

// The inverse quantiser of the current block (block_decoding.h); the plain
// one until the instance sets the one of its kernel tables (dsp.h).
uint32_t DequantiseBlock(BlockDecoderState& state, int16_t* block, uint32_t shape);
using DequantiseKernel = decltype(&DequantiseBlock);

struct BlockDecoderState {
  // scan[s][k]: raster index (row x 8 + column) of the k-th coefficient of
  // scan s (0 none, 1 from the left, 2 from above).
  uint8_t scan[3][64] = {};

  // The current block: AC coefficients as (magnitude x 2 + sign, raster
  // position), sign 1 negative; DC apart.
  uint32_t count = 0;
  uint32_t level[64] = {};
  uint32_t position[64] = {};
  int32_t dc = 0;           // the DC differential, then the reconstructed DC
  int32_t quantisedDc = 0;  // predicted quantised DC of the last PredictDc
  uint32_t direction = kPredictNone;
  int32_t quantiser = 1;

  // Predictor rows: per macroblock column 16 luma values (the left and right
  // block of its lower block row), then 8 U and 8 V values per column.
  int32_t* rows = nullptr;
  int32_t* lumaRow = nullptr;
  int32_t* uRow = nullptr;
  int32_t* vRow = nullptr;
  int32_t leftLumaTop[8] = {};
  int32_t leftLumaBottom[8] = {};
  int32_t leftU[8] = {};
  int32_t leftV[8] = {};
  int32_t corner[6] = {};
  uint32_t columns = 0;
  uint32_t capacity = 0;

  DequantiseKernel dequantise = DequantiseBlock;

  uint32_t reversibleVlc = 0;
  uint32_t status = 0;

  // When set, the intra macroblock decoders write here each block's
  // quantised levels after DC/AC prediction, in raster order with the
  // quantised DC at position 0 (for inspection; null when decoding).
  int16_t (*levelCapture)[64] = nullptr;
};

// A listed level (magnitude x 2 + sign) as a signed value.
inline int32_t SignedLevel(uint32_t level) {
  const int32_t m = static_cast<int32_t>(level >> 1);
  return (level & 1) ? -m : m;
}

// Empties the object: no rows, quantiser 1, status 0, zigzag scans, the
// plain inverse quantiser.
void BlockDecoderReset(BlockDecoderState& state);
// Sizes the predictor rows for a picture `columns` macroblocks wide; grows
// only. Out of memory sets kStatusOutOfMemory and leaves no rows.
uint32_t BlockDecoderAllocate(BlockDecoderState& state, uint32_t columns);
void BlockDecoderRelease(BlockDecoderState& state);

// Without the flag: zigzag, alternate-vertical (from the left) and
// alternate-horizontal (from above). With it: alternate-vertical for all.
void SetScanTables(BlockDecoderState& state, bool alternateVertical);
void SetReversibleVlc(BlockDecoderState& state, bool reversible);

int32_t LumaDcScaler(BlockDecoderState& state, int32_t q);
int32_t ChromaDcScaler(BlockDecoderState& state, int32_t q);

// Chooses the prediction direction from the left DC (left[0]), the top-left
// DC and the top DC (top[0]), reconstructs the block's DC from the
// differential in `dc`, and stores it as both neighbours' DC.
void PredictDc(BlockDecoderState& state, int32_t scaler, int32_t topLeftDc, int32_t* left, int32_t* top);
void ApplyAcPredFlag(BlockDecoderState& state, uint32_t flag);
// Applies AC prediction in the current direction to the coefficient list and
// stores the block's first column into left and its first row into top.
void PredictAc(BlockDecoderState& state, int32_t* left, int32_t* top);

// Predictors to DC 1024, AC 0: all rows (picture start), the left sets and
// corners (macroblock row start), one column's sets after a macroblock that
// is not intra (keeping the corner values it hands to its right neighbour).
void ResetPredictorRows(BlockDecoderState& state);
void ResetDcPredictors(BlockDecoderState& state);
void ResetMacroblockPredictors(BlockDecoderState& state, uint32_t column);

}  // namespace tlx::mpeg4

#include "filters/mpeg4/core/block/block_decoder_state.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "filters/mpeg4/core/core_allocation.h"

namespace tlx::mpeg4 {
namespace {

constexpr std::array<uint8_t, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

constexpr std::array<uint8_t, 64> kAlternateVertical = {
    0,  8,  16, 24, 1,  9,  2,  10, 17, 25, 32, 40, 48, 56, 57, 49, 41, 33, 26, 18, 3,  11,
    4,  12, 19, 27, 34, 42, 50, 58, 35, 43, 51, 59, 20, 28, 5,  13, 6,  14, 21, 29, 36, 44,
    52, 60, 37, 45, 53, 61, 22, 30, 7,  15, 23, 31, 38, 46, 54, 62, 39, 47, 55, 63};

// The alternate-horizontal scan is the alternate-vertical one transposed.
constexpr std::array<uint8_t, 64> Transposed(const std::array<uint8_t, 64>& scan) {
  std::array<uint8_t, 64> out{};
  for (int k = 0; k < 64; ++k) out[k] = static_cast<uint8_t>((scan[k] % 8) * 8 + scan[k] / 8);
  return out;
}
constexpr std::array<uint8_t, 64> kAlternateHorizontal = Transposed(kAlternateVertical);

// A set's reset values, copied whole: two vector stores in place of eight
// scalar ones, as every inter macroblock resets eight sets.
constexpr int32_t kResetSet[8] = {kDefaultDcPredictor, 0, 0, 0, 0, 0, 0, 0};

void ResetSet(int32_t* set) { std::memcpy(set, kResetSet, sizeof kResetSet); }

uint32_t PackLevel(int32_t v) { return v < 0 ? (static_cast<uint32_t>(-v) << 1) | 1 : static_cast<uint32_t>(v) << 1; }

// A neighbour's predictor, stored at its own quantiser, rescaled to q with
// rounding to nearest, halves away from zero. A quantiser below 1 (already
// flagged by the DC scalers) is taken as 1 rather than divided by.
int32_t Rescale(int32_t p, int32_t q) {
  q = std::max(q, 1);
  p = std::clamp(p, -2048, 2047);
  return p >= 0 ? (q + 2 * p) / (2 * q) : -((q - 2 * p) / (2 * q));
}

// Adds the predictors of one edge (positions `stride` apart, predictor k at
// the position k x stride) to the list, dropping entries that cancel and
// appending those the block did not code.
void PredictEdge(BlockDecoderState& s, const int32_t* predictors, uint32_t stride) {
  bool met[8] = {};
  uint32_t i = 0;
  while (i < s.count) {
    const uint32_t pos = s.position[i];
    const bool onEdge = pos != 0 && (stride == 1 ? pos < 8 : pos % 8 == 0);
    if (!onEdge) {
      ++i;
      continue;
    }
    const uint32_t k = pos / stride;
    met[k] = true;
    const int32_t sum = SignedLevel(s.level[i]) + Rescale(predictors[k], s.quantiser);
    if (sum == 0) {
      --s.count;
      s.level[i] = s.level[s.count];
      s.position[i] = s.position[s.count];
      continue;
    }
    s.level[i] = PackLevel(sum);
    ++i;
  }
  uint32_t appended = 0;
  for (uint32_t k = 1; k < 8; ++k) {
    if (met[k]) continue;
    const int32_t v = Rescale(predictors[k], s.quantiser);
    if (v == 0) continue;
    s.level[s.count + appended] = PackLevel(v);
    s.position[s.count + appended] = k * stride;
    ++appended;
  }
  s.count += appended;
}

}  // namespace

void BlockDecoderReset(BlockDecoderState& state) {
  if (state.rows != nullptr) CoreFree(state.rows);
  state = BlockDecoderState{};
  SetScanTables(state, false);
}

uint32_t BlockDecoderAllocate(BlockDecoderState& state, uint32_t columns) {
  if (columns > state.capacity) {
    BlockDecoderRelease(state);
    // 32 values per column plus one column of slack.
    auto* rows = static_cast<int32_t*>(CoreAllocate((columns + 1) * 32 * sizeof(int32_t)));
    if (rows == nullptr) {
      state.status |= kStatusOutOfMemory;
      return state.status;
    }
    state.rows = rows;
    state.capacity = columns;
  }
  state.columns = columns;
  state.lumaRow = state.rows;
  state.uRow = state.rows + 16 * columns;
  state.vRow = state.rows + 24 * columns;
  return 0;
}

void BlockDecoderRelease(BlockDecoderState& state) {
  CoreFree(state.rows);
  state.rows = state.lumaRow = state.uRow = state.vRow = nullptr;
  state.columns = state.capacity = 0;
}

void SetScanTables(BlockDecoderState& state, bool alternateVertical) {
  const auto& first = alternateVertical ? kAlternateVertical : kZigzag;
  const auto& third = alternateVertical ? kAlternateVertical : kAlternateHorizontal;
  std::copy(first.begin(), first.end(), state.scan[0]);
  std::copy(kAlternateVertical.begin(), kAlternateVertical.end(), state.scan[1]);
  std::copy(third.begin(), third.end(), state.scan[2]);
}

void SetReversibleVlc(BlockDecoderState& state, bool reversible) { state.reversibleVlc = reversible; }

int32_t LumaDcScaler(BlockDecoderState& state, int32_t q) {
  if (q < 1) {
    state.status |= kStatusQuantiserBelowOne;
    return 1;
  }
  if (q <= 4) return 8;
  if (q <= 8) return 2 * q;
  if (q <= 24) return q + 8;
  return 2 * q - 16;
}

int32_t ChromaDcScaler(BlockDecoderState& state, int32_t q) {
  if (q < 1) {
    state.status |= kStatusQuantiserBelowOne;
    return 1;
  }
  if (q <= 4) return 8;
  if (q <= 24) return (q + 13) / 2;
  return q - 6;
}

void PredictDc(BlockDecoderState& state, int32_t scaler, int32_t topLeftDc, int32_t* left, int32_t* top) {
  const int32_t a = left[0], b = topLeftDc, c = top[0];
  int32_t predictor;
  if (std::abs(a - b) < std::abs(b - c)) {
    predictor = c;
    state.direction = kPredictFromAbove;
  } else {
    predictor = a;
    state.direction = kPredictFromLeft;
  }
  state.quantisedDc = (scaler + 2 * predictor) / (2 * scaler) + state.dc;
  state.dc = std::clamp(state.quantisedDc * scaler, -2048, 2047);
  left[0] = state.dc;
  top[0] = state.dc;
}

void ApplyAcPredFlag(BlockDecoderState& state, uint32_t flag) {
  if (flag == 0) state.direction = kPredictNone;
}

void PredictAc(BlockDecoderState& state, int32_t* left, int32_t* top) {
  if (state.direction == kPredictFromAbove)
    PredictEdge(state, top, 1);
  else if (state.direction == kPredictFromLeft)
    PredictEdge(state, left, 8);

  std::fill(left + 1, left + 8, 0);
  std::fill(top + 1, top + 8, 0);
  for (uint32_t i = 0; i < state.count; ++i) {
    const uint32_t pos = state.position[i];
    if (pos == 0) continue;
    const int32_t v = state.quantiser * SignedLevel(state.level[i]);
    if (pos < 8) top[pos] = v;
    if (pos % 8 == 0) left[pos / 8] = v;
  }
}

void ResetPredictorRows(BlockDecoderState& state) {
  for (uint32_t set = 0; set < 4 * state.columns; ++set) ResetSet(state.rows + 8 * set);
}

void ResetDcPredictors(BlockDecoderState& state) {
  for (int32_t* set : {state.leftLumaTop, state.leftLumaBottom, state.leftU, state.leftV}) ResetSet(set);
  std::fill(state.corner, state.corner + 6, kDefaultDcPredictor);
}

void ResetMacroblockPredictors(BlockDecoderState& state, uint32_t column) {
  int32_t* luma = state.lumaRow + 16 * column;
  int32_t* u = state.uRow + 8 * column;
  int32_t* v = state.vRow + 8 * column;
  state.corner[kCornerBlock0] = luma[8];
  state.corner[kCornerU] = u[0];
  state.corner[kCornerV] = v[0];
  // Spelt out rather than looped over a list of the sets, so the reset values
  // stay in registers.
  ResetSet(luma);
  ResetSet(luma + 8);
  ResetSet(u);
  ResetSet(v);
  ResetSet(state.leftLumaTop);
  ResetSet(state.leftLumaBottom);
  ResetSet(state.leftU);
  ResetSet(state.leftV);
}

}  // namespace tlx::mpeg4

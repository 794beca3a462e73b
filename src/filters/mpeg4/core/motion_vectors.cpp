#include "filters/mpeg4/core/motion_vectors.h"

#include <array>
#include <cstdlib>
#include <utility>

#include "filters/mpeg4/core/block/coefficient_tables.h"
#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/core/status.h"

namespace tlx::mpeg4 {
namespace {

constexpr uint32_t kShortCodeWindow = 0x06000000;
constexpr auto kShortMotionLookup = BuildCodeLookup<7>(kShortMotionCodes);
constexpr auto kLongMotionLookup = BuildCodeLookup<12>(kLongMotionCodes);

int32_t Median(int32_t a, int32_t b, int32_t c) {
  if (a > b) std::swap(a, b);
  return c < a ? a : (c > b ? b : c);
}

// Components of the chroma rules: sign(v) x ((|v| / n) x 2 + table[|v| mod n]).
template <size_t N>
int32_t ChromaComponent(int32_t v, const std::array<int32_t, N>& table) {
  const int32_t m = std::abs(v);
  const int32_t c = (m / int32_t(N)) * 2 + table[size_t(m) % N];
  return v < 0 ? -c : c;
}

void PredictChroma(MotionVectorState& state, uint32_t column, uint32_t row, int32_t cx, int32_t cy) {
  state.current->PredictChroma8Half(*state.kernels, *state.forward, int(8 * column), int(8 * row), cx, cy);
}

// A 16x16 or 8x8 luma block at (x, y) predicted from `reference` with the
// state's vector unit, put or averaged into the block.
void PredictLuma(MotionVectorState& state, const Picture& reference, int x, int y, int size, int32_t mvx, int32_t mvy,
                 bool average) {
  using Operation = void (Picture::*)(const PredictionKernels&, const Picture&, int, int, int, int);
  // [quarter-sample][16 x 16][averaged]
  static constexpr Operation kOperations[2][2][2] = {
      {{&Picture::PredictLuma8Half, &Picture::AverageLuma8Half},
       {&Picture::PredictLuma16Half, &Picture::AverageLuma16Half}},
      {{&Picture::PredictLuma8Quarter, &Picture::AverageLuma8Quarter},
       {&Picture::PredictLuma16Quarter, &Picture::AverageLuma16Quarter}},
  };
  const Operation operation = kOperations[state.quarterSample != 0][size == 16][average];
  (state.current->*operation)(*state.kernels, reference, x, y, mvx, mvy);
}

// A luma vector component in the half-sample units of the chroma rules.
int32_t HalfSampleUnits(const MotionVectorState& state, int32_t v) { return state.quarterSample != 0 ? v / 2 : v; }

// The two fields of the macroblock, field f predicted from reference field
// selects[f] with vector fields[f] (vertical part in frame units), put or
// averaged; chroma by the field chroma rule.
void PredictFields(MotionVectorState& state, const Picture& reference, uint32_t column, uint32_t row,
                   const VectorEntry (&fields)[2], const uint32_t (&selects)[2], bool average) {
  Picture& current = *state.current;
  const PredictionKernels& k = *state.kernels;
  const int x = int(16 * column), y = int(16 * row);
  for (int f = 0; f < 2; ++f) {
    VectorEntry v = fields[f];
    const int select = int(selects[f]);
    if (state.quarterSample != 0) {
      if (average) {
        current.AverageLumaFieldQuarter(k, reference, x, y, v.x, v.y, select, f);
      } else {
        current.PredictLumaFieldQuarter(k, reference, x, y, v.x, v.y, select, f);
      }
      v.x /= 2;
      v.y /= 2;
    } else if (average) {
      current.AverageLumaFieldHalf(k, reference, x, y, v.x, v.y, select, f);
    } else {
      current.PredictLumaFieldHalf(k, reference, x, y, v.x, v.y, select, f);
    }
    const int cx = int(8 * column), cy = int(8 * row);
    if (average) {
      current.AverageChromaFieldHalf(k, reference, cx, cy, FieldChromaX(v.x), FieldChromaY(v.y), select, f);
    } else {
      current.PredictChromaFieldHalf(k, reference, cx, cy, FieldChromaX(v.x), FieldChromaY(v.y), select, f);
    }
  }
}

VectorEntry DecodeVector(MotionVectorState& state, BitReader& reader, uint32_t range, const VectorEntry& predictor) {
  VectorEntry v;
  v.x = DecodeVectorComponent(reader, range, predictor.x, state.status);
  v.y = DecodeVectorComponent(reader, range, predictor.y, state.status);
  v.valid = 1;
  return v;
}

void FreeArrays(MotionVectorState& state) {
  if (state.row != nullptr) CoreFree(state.row - 1);
  CoreFree(state.records);
  state.row = nullptr;
  state.records = nullptr;
  state.allocatedColumns = 0;
  state.recordCapacity = 0;
}

}  // namespace

void CopyVector(VectorEntry& destination, const VectorEntry& source) {
  destination.x = source.x;
  destination.y = source.y;
  destination.valid = source.valid;
}

void AddVector(VectorEntry& destination, const VectorEntry& source) {
  destination.x += source.x;
  destination.y += source.y;
}

VectorEntry MedianOfThree(const VectorEntry& a, const VectorEntry& b, const VectorEntry& c) {
  VectorEntry m;
  m.x = Median(a.x, b.x, c.x);
  m.y = Median(a.y, b.y, c.y);
  return m;
}

VectorEntry PredictVector(const VectorEntry& a, const VectorEntry& b, const VectorEntry& c) {
  const VectorEntry* candidates[3] = {&a, &b, &c};
  int valid = 0;
  const VectorEntry* only = nullptr;
  for (const VectorEntry* candidate : candidates) {
    if (candidate->valid != 0) {
      ++valid;
      only = candidate;
    }
  }
  VectorEntry p;
  if (valid == 1) {
    p.x = only->x;
    p.y = only->y;
  } else if (valid > 1) {
    const VectorEntry zero;
    p = MedianOfThree(a.valid ? a : zero, b.valid ? b : zero, c.valid ? c : zero);
  }
  p.valid = 1;
  return p;
}

int32_t ChromaFromOneVector(int32_t v) {
  static constexpr std::array<int32_t, 4> kRounding = {0, 1, 1, 1};
  return ChromaComponent(v, kRounding);
}

int32_t ChromaFromFourVectors(int32_t sum) {
  static constexpr std::array<int32_t, 16> kRounding = {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2};
  return ChromaComponent(sum, kRounding);
}

int32_t DecodeVectorComponent(BitReader& reader, uint32_t rSize, int32_t predictor, uint32_t& status) {
  const uint32_t window = BitWindow(reader);
  if ((window >> 31) != 0) {
    BitSkip(reader, 1);
    return predictor;
  }
  const ValueCode* code = nullptr;
  if (window >= kShortCodeWindow) {
    const uint8_t i = kShortMotionLookup.index[window >> 25];
    if (i != kNoCode) code = &kShortMotionCodes[i];
  } else {
    const uint8_t i = kLongMotionLookup.index[window >> 20];
    if (i != kNoCode) code = &kLongMotionCodes[i];
  }
  if (code == nullptr) {
    status |= kStatusInvalidCode;
    return predictor;
  }
  const uint32_t length = code->length + 1u;
  const bool negative = ((window >> (32 - length)) & 1) != 0;
  BitSkip(reader, length);
  int32_t difference = code->value;
  if (rSize != 0) difference = ((difference - 1) << rSize) + int32_t(BitRead(reader, rSize)) + 1;
  const int32_t low = 32 << rSize;
  const int32_t sum = predictor + (negative ? -difference : difference);
  return ((sum + low) & (2 * low - 1)) - low;
}

uint32_t AllocateMotionVectorRows(MotionVectorState& state, uint32_t columns, uint32_t rows) {
  if (columns > state.allocatedColumns || state.row == nullptr) {
    if (state.row != nullptr) CoreFree(state.row - 1);
    // One entry in front keeps the count.
    auto* block = static_cast<VectorEntry*>(CoreAllocate((2 * size_t(columns) + 2) * sizeof(VectorEntry)));
    if (block == nullptr) {
      FreeArrays(state);
      state.status |= kStatusOutOfMemory;
      return state.status;
    }
    block[0] = VectorEntry{int32_t(2 * columns + 1), 0, 0, 0};
    state.row = block + 1;
    state.allocatedColumns = columns;
  }
  if (size_t(columns) * rows > state.recordCapacity || state.records == nullptr) {
    CoreFree(state.records);
    state.records =
        static_cast<MacroblockVectorRecord*>(CoreAllocate(size_t(columns) * rows * sizeof(MacroblockVectorRecord)));
    if (state.records == nullptr) {
      FreeArrays(state);
      state.status |= kStatusOutOfMemory;
      return state.status;
    }
    state.recordCapacity = columns * rows;
  }
  for (uint32_t i = 0; i < columns * rows; ++i) state.records[i] = MacroblockVectorRecord{};
  state.columns = columns;
  state.rows = rows;
  ResetMotionVectorRows(state);
  ResetMotionVectorPredictors(state);
  return state.status;
}

void ReleaseMotionVectorRows(MotionVectorState& state) {
  FreeArrays(state);
  state.columns = state.rows = 0;
}

void ResetMotionVectorRows(MotionVectorState& state) {
  if (state.row == nullptr) return;
  for (uint32_t i = 0; i < 2 * state.columns + 1; ++i) state.row[i] = VectorEntry{};
}

void ResetMotionVectorPredictors(MotionVectorState& state) { state.left[0] = state.left[1] = VectorEntry{}; }

void ResetBidirectionalPredictors(MotionVectorState& state) {
  for (VectorEntry& slot : state.bidirectional) slot = VectorEntry{};
}

void SetPictures(MotionVectorState& state, Picture* current, const Picture* forward, const Picture* backward) {
  state.current = current;
  state.forward = forward;
  state.backward = backward;
}

void SetFrameDistances(MotionVectorState& state, int32_t trb, int32_t trd) {
  state.trb = trb;
  state.trd = trd != 0 ? trd : 1;
}

void SetFieldDistances(MotionVectorState& state, uint32_t topFieldFirst, int32_t past, int32_t current,
                       int32_t future) {
  state.topFieldFirst = topFieldFirst;
  state.trbField = 2 * (current - past);
  state.trdField = 2 * (future - past);
}

void StoreOneVector(MotionVectorState& state, uint32_t column, uint32_t row, const VectorEntry& v) {
  state.row[2 * column] = state.row[2 * column + 1] = v;
  state.left[0] = state.left[1] = v;
  MacroblockVectorRecord& record = state.records[row * state.columns + column];
  record.mode = kVectorModeOne;
  for (auto& vector : record.vectors) {
    vector[0] = v.x;
    vector[1] = v.y;
  }
}

void StoreZeroVectors(MotionVectorState& state, uint32_t column, uint32_t row) {
  StoreOneVector(state, column, row, VectorEntry{0, 0, 1, 0});
}

VectorEntry DecodeVectorPartitioned(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row) {
  VectorEntry* above = state.row + 2 * column;
  const VectorEntry v =
      DecodeVector(state, reader, state.forwardRange, PredictVector(state.left[0], above[0], above[2]));
  StoreOneVector(state, column, row, v);
  return v;
}

void DecodeFourVectorsPartitioned(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row,
                                  VectorEntry (&blocks)[4]) {
  VectorEntry* above = state.row + 2 * column;
  const uint32_t range = state.forwardRange;
  blocks[0] = DecodeVector(state, reader, range, PredictVector(state.left[0], above[0], above[2]));
  blocks[1] = DecodeVector(state, reader, range, PredictVector(blocks[0], above[1], above[2]));
  blocks[2] = DecodeVector(state, reader, range, PredictVector(state.left[1], blocks[0], blocks[1]));
  blocks[3] = DecodeVector(state, reader, range, PredictVector(blocks[2], blocks[0], blocks[1]));
  state.left[0] = blocks[1];
  above[0] = blocks[2];
  above[1] = state.left[1] = blocks[3];
  MacroblockVectorRecord& record = state.records[row * state.columns + column];
  record.mode = kVectorModeFour;
  for (int b = 0; b < 4; ++b) {
    record.vectors[b][0] = blocks[b].x;
    record.vectors[b][1] = blocks[b].y;
  }
}

void CompensateVectorPartitioned(MotionVectorState& state, uint32_t column, uint32_t row, const VectorEntry& v) {
  PredictLuma(state, *state.forward, int(16 * column), int(16 * row), 16, v.x, v.y, false);
  PredictChroma(state, column, row, ChromaFromOneVector(HalfSampleUnits(state, v.x)),
                ChromaFromOneVector(HalfSampleUnits(state, v.y)));
}

void CompensateFourVectorsPartitioned(MotionVectorState& state, uint32_t column, uint32_t row,
                                      const VectorEntry (&blocks)[4]) {
  VectorEntry sum;
  for (int b = 0; b < 4; ++b) {
    PredictLuma(state, *state.forward, int(16 * column + 8 * (b & 1)), int(16 * row + 8 * (b >> 1)), 8, blocks[b].x,
                blocks[b].y, false);
    AddVector(sum, VectorEntry{HalfSampleUnits(state, blocks[b].x), HalfSampleUnits(state, blocks[b].y), 1, 0});
  }
  PredictChroma(state, column, row, ChromaFromFourVectors(sum.x), ChromaFromFourVectors(sum.y));
}

uint32_t DecodeOneVector(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row) {
  CompensateVectorPartitioned(state, column, row, DecodeVectorPartitioned(state, reader, column, row));
  return state.status;
}

uint32_t DecodeFourVectors(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row) {
  VectorEntry blocks[4];
  DecodeFourVectorsPartitioned(state, reader, column, row, blocks);
  CompensateFourVectorsPartitioned(state, column, row, blocks);
  return state.status;
}

int32_t FieldChromaX(int32_t x) { return ((x & 3) != 0 ? x | 2 : x) >> 1; }

int32_t FieldChromaY(int32_t y) { return ((y & 6) != 0 ? y | 4 : y) >> 1; }

uint32_t DecodeFieldVectors(MotionVectorState& state, BitReader& reader, uint32_t topSelect, uint32_t bottomSelect,
                            uint32_t column, uint32_t row) {
  VectorEntry* above = state.row + 2 * column;
  const VectorEntry predictor = PredictVector(state.left[0], above[0], above[2]);
  VectorEntry fields[2];
  for (VectorEntry& v : fields) {
    v.x = DecodeVectorComponent(reader, state.forwardRange, predictor.x, state.status);
    v.y = 2 * DecodeVectorComponent(reader, state.forwardRange, predictor.y / 2, state.status);
    v.valid = 1;
  }
  VectorEntry average{0, 0, 1, 0};
  const int32_t sumX = fields[0].x + fields[1].x, sumY = fields[0].y + fields[1].y;
  average.x = (sumX >> 1) | (sumX & 1);
  average.y = (sumY >> 1) | (sumY & 1);
  above[0] = above[1] = state.left[0] = state.left[1] = average;

  MacroblockVectorRecord& record = state.records[row * state.columns + column];
  record.mode = (bottomSelect * 2 + topSelect) * 8 + kVectorModeField;
  for (int f = 0; f < 2; ++f) {
    record.vectors[2 * f][0] = record.vectors[2 * f + 1][0] = fields[f].x;
    record.vectors[2 * f][1] = record.vectors[2 * f + 1][1] = fields[f].y;
  }
  const uint32_t selects[2] = {topSelect, bottomSelect};
  PredictFields(state, *state.forward, column, row, fields, selects, false);
  return state.status;
}

namespace {

// One B-VOP vector of a direction (0 forward, 1 backward) against its frame
// predictor slot, which both of the direction's slots then hold, predicting
// the 16x16 macroblock and its chroma from `reference`, put or averaged.
VectorEntry DecodeBidirectional(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row,
                                int direction, bool average) {
  const uint32_t range = direction == 0 ? state.forwardRange : state.backwardRange;
  VectorEntry* slots = state.bidirectional + 2 * direction;
  const VectorEntry v = DecodeVector(state, reader, range, slots[0]);
  slots[0] = slots[1] = v;
  const Picture& reference = direction == 0 ? *state.forward : *state.backward;
  const int x = int(16 * column), y = int(16 * row);
  const int cx = int(8 * column), cy = int(8 * row);
  const int32_t chromaX = ChromaFromOneVector(HalfSampleUnits(state, v.x));
  const int32_t chromaY = ChromaFromOneVector(HalfSampleUnits(state, v.y));
  PredictLuma(state, reference, x, y, 16, v.x, v.y, average);
  if (average) {
    state.current->AverageChroma8Half(*state.kernels, reference, cx, cy, chromaX, chromaY);
  } else {
    state.current->PredictChroma8Half(*state.kernels, reference, cx, cy, chromaX, chromaY);
  }
  return v;
}

// Two field vectors of a direction, each against its own slot (vertical
// predictor halved, result doubled), and the two field predictions.
FieldVectors DecodeBidirectionalFields(MotionVectorState& state, BitReader& reader, uint32_t topSelect,
                                       uint32_t bottomSelect, uint32_t column, uint32_t row, int direction,
                                       bool average) {
  const uint32_t range = direction == 0 ? state.forwardRange : state.backwardRange;
  VectorEntry* slots = state.bidirectional + 2 * direction;
  FieldVectors result;
  for (int f = 0; f < 2; ++f) {
    VectorEntry& v = result.fields[f];
    v.x = DecodeVectorComponent(reader, range, slots[f].x, state.status);
    v.y = 2 * DecodeVectorComponent(reader, range, slots[f].y / 2, state.status);
    v.valid = 1;
    slots[f] = v;
  }
  const uint32_t selects[2] = {topSelect, bottomSelect};
  PredictFields(state, direction == 0 ? *state.forward : *state.backward, column, row, result.fields, selects,
                average);
  return result;
}

}  // namespace

FieldVectors DecodeForwardFieldVectors(MotionVectorState& state, BitReader& reader, uint32_t topSelect,
                                       uint32_t bottomSelect, uint32_t column, uint32_t row) {
  return DecodeBidirectionalFields(state, reader, topSelect, bottomSelect, column, row, 0, false);
}

FieldVectors DecodeBackwardFieldVectors(MotionVectorState& state, BitReader& reader, uint32_t topSelect,
                                        uint32_t bottomSelect, uint32_t column, uint32_t row) {
  return DecodeBidirectionalFields(state, reader, topSelect, bottomSelect, column, row, 1, false);
}

FieldVectors DecodeBackwardFieldVectorsAveraged(MotionVectorState& state, BitReader& reader, uint32_t topSelect,
                                                uint32_t bottomSelect, uint32_t column, uint32_t row) {
  return DecodeBidirectionalFields(state, reader, topSelect, bottomSelect, column, row, 1, true);
}

VectorEntry DecodeForwardVector(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row) {
  return DecodeBidirectional(state, reader, column, row, 0, false);
}

VectorEntry DecodeBackwardVector(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row) {
  return DecodeBidirectional(state, reader, column, row, 1, false);
}

VectorEntry DecodeBackwardVectorAveraged(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row) {
  return DecodeBidirectional(state, reader, column, row, 1, true);
}

DirectVectors ComputeDirectVectors(const MacroblockVectorRecord& colocated, int32_t deltaX, int32_t deltaY,
                                   int32_t trb, int32_t trd) {
  DirectVectors d;
  const int32_t delta[2] = {deltaX, deltaY};
  for (int b = 0; b < 4; ++b) {
    for (int c = 0; c < 2; ++c) {
      const int64_t m = colocated.vectors[b][c];
      d.forward[b][c] = int32_t(int64_t(trb) * m / trd) + delta[c];
      d.backward[b][c] = delta[c] != 0 ? d.forward[b][c] - int32_t(m) : int32_t(int64_t(trb - trd) * m / trd);
    }
  }
  return d;
}

DirectVectors ComputeFieldDirectVectors(const MacroblockVectorRecord& colocated, int32_t deltaX, int32_t deltaY,
                                        int32_t trbField, int32_t trdField, uint32_t topFieldFirst) {
  static constexpr int32_t kTop[8] = {0, 0, 1, 1, 0, 0, -1, -1};
  static constexpr int32_t kBottom[8] = {-1, 0, -1, 0, 1, 0, 1, 0};
  const uint32_t i = 4 * (topFieldFirst & 1) + 2 * ((colocated.mode >> 3) & 1) + ((colocated.mode >> 4) & 1);
  const int32_t adjust[2] = {kTop[i], kBottom[i]};
  DirectVectors d{};
  for (int f = 0; f < 2; ++f) {
    // Scaled in field units (half the recorded vertical part), the delta
    // added there, and back in frame units.
    MacroblockVectorRecord field;
    for (auto& v : field.vectors) {
      v[0] = colocated.vectors[2 * f][0];
      v[1] = colocated.vectors[2 * f][1] / 2;
    }
    const int32_t trd = trdField + adjust[f];
    const DirectVectors scaled =
        ComputeDirectVectors(field, deltaX, deltaY, trbField + adjust[f], trd != 0 ? trd : 1);
    for (int b = 2 * f; b < 2 * f + 2; ++b) {
      d.forward[b][0] = scaled.forward[0][0];
      d.backward[b][0] = scaled.backward[0][0];
      d.forward[b][1] = 2 * scaled.forward[0][1];
      d.backward[b][1] = 2 * scaled.backward[0][1];
    }
  }
  return d;
}

DirectVectors PredictDirect(MotionVectorState& state, BitReader* deltaReader, uint32_t column, uint32_t row) {
  int32_t deltaX = 0, deltaY = 0;
  if (deltaReader != nullptr) {
    deltaX = DecodeVectorComponent(*deltaReader, 0, 0, state.status);
    deltaY = DecodeVectorComponent(*deltaReader, 0, 0, state.status);
  }
  const MacroblockVectorRecord& colocated = state.records[row * state.columns + column];
  if ((colocated.mode & 3) == kVectorModeField) {
    const DirectVectors d = ComputeFieldDirectVectors(colocated, deltaX, deltaY, state.trbField, state.trdField,
                                                      state.topFieldFirst);
    VectorEntry forward[2], backward[2];
    for (int f = 0; f < 2; ++f) {
      forward[f] = VectorEntry{d.forward[2 * f][0], d.forward[2 * f][1], 1, 0};
      backward[f] = VectorEntry{d.backward[2 * f][0], d.backward[2 * f][1], 1, 0};
    }
    const uint32_t selects[2] = {(colocated.mode >> 3) & 1, (colocated.mode >> 4) & 1};
    const uint32_t same[2] = {0, 1};
    PredictFields(state, *state.forward, column, row, forward, selects, false);
    PredictFields(state, *state.backward, column, row, backward, same, true);
    return d;
  }
  const DirectVectors d = ComputeDirectVectors(colocated, deltaX, deltaY, state.trb, state.trd);
  VectorEntry forwardSum, backwardSum;
  for (int b = 0; b < 4; ++b) {
    const int x = int(16 * column) + 8 * (b & 1), y = int(16 * row) + 8 * (b >> 1);
    PredictLuma(state, *state.forward, x, y, 8, d.forward[b][0], d.forward[b][1], false);
    PredictLuma(state, *state.backward, x, y, 8, d.backward[b][0], d.backward[b][1], true);
    AddVector(forwardSum,
              VectorEntry{HalfSampleUnits(state, d.forward[b][0]), HalfSampleUnits(state, d.forward[b][1]), 1, 0});
    AddVector(backwardSum,
              VectorEntry{HalfSampleUnits(state, d.backward[b][0]), HalfSampleUnits(state, d.backward[b][1]), 1, 0});
  }
  const int cx = int(8 * column), cy = int(8 * row);
  state.current->PredictChroma8Half(*state.kernels, *state.forward, cx, cy, ChromaFromFourVectors(forwardSum.x),
                                    ChromaFromFourVectors(forwardSum.y));
  state.current->AverageChroma8Half(*state.kernels, *state.backward, cx, cy, ChromaFromFourVectors(backwardSum.x),
                                    ChromaFromFourVectors(backwardSum.y));
  return d;
}

}  // namespace tlx::mpeg4

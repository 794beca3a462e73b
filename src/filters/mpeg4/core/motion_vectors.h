// Motion vectors of predicted pictures: the arithmetic every vector decoder
// shares (component decoding with its range wrap, the median predictor, the
// chroma derivation) and the state that carries vectors from one macroblock
// to the next, with the decoders of one or four vectors per macroblock.
//
// Vectors are in half-sample units, or quarter-sample units when the layer
// uses quarter-sample vectors; these are halved toward zero before the chroma
// rules.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/bit_reader.h"
#include "filters/mpeg4/core/dsp.h"
#include "filters/mpeg4/core/gmc.h"
#include "filters/mpeg4/core/picture.h"

namespace tlx::mpeg4 {

// A vector and whether it may serve as a prediction candidate.
struct VectorEntry {
  int32_t x = 0;
  int32_t y = 0;
  int32_t valid = 0;
  int32_t padding = 0;
};

void CopyVector(VectorEntry& destination, const VectorEntry& source);
void AddVector(VectorEntry& destination, const VectorEntry& source);
// The median of the three x components and, apart, of the three y components.
VectorEntry MedianOfThree(const VectorEntry& a, const VectorEntry& b, const VectorEntry& c);
// The predictor from three candidates: none valid gives (0, 0); one valid
// gives that one; otherwise invalid candidates count as (0, 0) in the median.
// The result is valid.
VectorEntry PredictVector(const VectorEntry& a, const VectorEntry& b, const VectorEntry& c);
// The chroma component of one luma component, and of the sum of four.
int32_t ChromaFromOneVector(int32_t v);
int32_t ChromaFromFourVectors(int32_t sum);

// Decodes one vector component against `predictor` with the range of
// r_size = f-code - 1: the motion code, the residual and the wrap into
// [-32 << r_size, (32 << r_size) - 1]. An invalid motion code sets
// kStatusInvalidCode in status, consumes nothing and returns the predictor.
int32_t DecodeVectorComponent(BitReader& reader, uint32_t rSize, int32_t predictor, uint32_t& status);

// Mode words of the per-macroblock vector table.
inline constexpr uint32_t kVectorModeOne = 0;
inline constexpr uint32_t kVectorModeFour = 1;
// Field prediction: (bottom select x 2 + top select) x 8 + kVectorModeField.
inline constexpr uint32_t kVectorModeField = 2;

// The vectors one macroblock leaves for later use: its mode and four vectors
// in block order top-left, top-right, bottom-left, bottom-right.
struct MacroblockVectorRecord {
  uint32_t mode = kVectorModeOne;
  int32_t vectors[4][2] = {};
};

struct MotionVectorState {
  uint32_t forwardRange = 0;   // f-code - 1
  uint32_t backwardRange = 0;
  uint32_t columns = 0;
  uint32_t allocatedColumns = 0;
  // 2 x allocated columns + 1 entries: 2k and 2k + 1 hold the lower block
  // vectors of column k of the row above (overwritten while the current row
  // is decoded); 2k + 2 serves as the above-right candidate.
  VectorEntry* row = nullptr;
  VectorEntry left[2];           // upper-right and lower-right vectors of the left macroblock
  // Predictors of a B-VOP: forward frame/top field, forward bottom field,
  // backward frame/top field, backward bottom field.
  VectorEntry bidirectional[4];
  Picture* current = nullptr;
  const Picture* forward = nullptr;
  const Picture* backward = nullptr;
  uint32_t status = 0;
  uint32_t rows = 0;
  MacroblockVectorRecord* records = nullptr;
  uint32_t recordCapacity = 0;
  const PredictionKernels* kernels = nullptr;
  uint32_t quarterSample = 0;    // vectors in quarter samples
  // Distances of a B-VOP (SetFrameDistances, SetFieldDistances): TRB and
  // TRD in ticks, their field forms TRBf and TRDf, and the field order.
  int32_t trb = 0;
  int32_t trd = 1;
  int32_t trbField = 0;
  int32_t trdField = 0;
  uint32_t topFieldFirst = 0;
  GmcParameters gmc;             // the trajectory of an S(GMC)-VOP
};

// Sizes the state for columns x rows macroblocks; grows only. Out of memory
// sets kStatusOutOfMemory. Returns the status.
uint32_t AllocateMotionVectorRows(MotionVectorState& state, uint32_t columns, uint32_t rows);
void ReleaseMotionVectorRows(MotionVectorState& state);
// Every row entry (picture and packet start), both left entries (macroblock
// row start), both bidirectional predictors.
void ResetMotionVectorRows(MotionVectorState& state);
void ResetMotionVectorPredictors(MotionVectorState& state);
void ResetBidirectionalPredictors(MotionVectorState& state);
void SetPictures(MotionVectorState& state, Picture* current, const Picture* forward, const Picture* backward);

// The distances direct mode scales with: TRB and TRD (a TRD of 0 is kept
// as 1).
void SetFrameDistances(MotionVectorState& state, int32_t trb, int32_t trd);
// The field distances from the picture times in field units: TRBf =
// 2 (current - past), TRDf = 2 (future - past), and the field order.
void SetFieldDistances(MotionVectorState& state, uint32_t topFieldFirst, int32_t past, int32_t current,
                       int32_t future);

// One vector v for the whole macroblock at (column, row): both row entries
// of its column, both left entries and all four vectors of its record, whose
// mode becomes kVectorModeOne.
void StoreOneVector(MotionVectorState& state, uint32_t column, uint32_t row, const VectorEntry& v);
// Zero vectors, valid, for the macroblock at (column, row): its row and left
// entries and its record (intra, skipped and not-coded macroblocks).
void StoreZeroVectors(MotionVectorState& state, uint32_t column, uint32_t row);
// Decode the vector(s) of an inter macroblock, store them for prediction and
// later use, and predict the macroblock from the forward reference. Return
// the state's status.
uint32_t DecodeOneVector(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row);
uint32_t DecodeFourVectors(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row);
// The same in two steps, as data-partitioned packets need them: the vector
// (or four, the candidates as above) decoded and stored when the motion
// partition is read, the prediction from the forward reference made when
// the texture partition is.
VectorEntry DecodeVectorPartitioned(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row);
void DecodeFourVectorsPartitioned(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row,
                                  VectorEntry (&blocks)[4]);
void CompensateVectorPartitioned(MotionVectorState& state, uint32_t column, uint32_t row, const VectorEntry& v);
void CompensateFourVectorsPartitioned(MotionVectorState& state, uint32_t column, uint32_t row,
                                      const VectorEntry (&blocks)[4]);
// Two field vectors from one predictor (vertical components in frame units,
// decoded at field precision), the top field predicted from reference field
// topSelect and the bottom one from bottomSelect; later macroblocks predict
// from their average, each component (sum >> 1) | (sum & 1).
uint32_t DecodeFieldVectors(MotionVectorState& state, BitReader& reader, uint32_t topSelect, uint32_t bottomSelect,
                            uint32_t column, uint32_t row);
// The chroma component of a field vector's horizontal and vertical parts.
int32_t FieldChromaX(int32_t x);
int32_t FieldChromaY(int32_t y);

// B-VOP vectors, decoded against the bidirectional predictors (forward
// entry 0 with the forward range, backward entry 1 with the backward range),
// which they update. The macroblock is predicted from the forward reference,
// or from the backward one: put, or averaged into the forward prediction.
// They leave the records alone: the records are the backward reference's,
// which the direct mode of every B-VOP up to the next reference reads.
VectorEntry DecodeForwardVector(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row);
VectorEntry DecodeBackwardVector(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row);
VectorEntry DecodeBackwardVectorAveraged(MotionVectorState& state, BitReader& reader, uint32_t column, uint32_t row);

// Two field vectors of a B-VOP direction, each decoded against its own
// predictor slot (vertical predictor halved, result doubled to frame units),
// which it updates; the top field is predicted from reference field
// topSelect, the bottom one from bottomSelect, put or averaged as for the
// frame forms.
struct FieldVectors {
  VectorEntry fields[2];  // top, bottom
};
FieldVectors DecodeForwardFieldVectors(MotionVectorState& state, BitReader& reader, uint32_t topSelect,
                                       uint32_t bottomSelect, uint32_t column, uint32_t row);
FieldVectors DecodeBackwardFieldVectors(MotionVectorState& state, BitReader& reader, uint32_t topSelect,
                                        uint32_t bottomSelect, uint32_t column, uint32_t row);
FieldVectors DecodeBackwardFieldVectorsAveraged(MotionVectorState& state, BitReader& reader, uint32_t topSelect,
                                                uint32_t bottomSelect, uint32_t column, uint32_t row);

// The vectors of direct mode for the co-located record m of the backward
// reference, per 8x8 block: forward f = trb·m / trd + delta (division
// truncating toward zero); backward f - m, or (trb - trd)·m / trd when the
// delta is zero. trd is not 0.
struct DirectVectors {
  int32_t forward[4][2];
  int32_t backward[4][2];
};
DirectVectors ComputeDirectVectors(const MacroblockVectorRecord& colocated, int32_t deltaX, int32_t deltaY,
                                   int32_t trb, int32_t trd);
// Direct mode from a field-predicted co-located macroblock: its top field
// vector (record vector 0) and bottom one (vector 2) scaled as above in
// field units (vertical parts halved, delta added there, results doubled
// back to frame units) with the field distances, adjusted per field by the field order and the
// macroblock's reference-field selects (a TRD of 0 counts as 1). The top
// field's vectors fill blocks 0-1, the bottom field's blocks 2-3.
DirectVectors ComputeFieldDirectVectors(const MacroblockVectorRecord& colocated, int32_t deltaX, int32_t deltaY,
                                        int32_t trbField, int32_t trdField, uint32_t topFieldFirst);
// Direct mode: the delta (when the macroblock has one: the range of f-code 1
// against a zero predictor), the vectors, then per 8x8 block a forward put
// and a backward average, and chroma from the sums of each direction; from a
// field-predicted co-located macroblock, the forward field predictions from
// its reference fields and the backward ones averaged in field to field.
DirectVectors PredictDirect(MotionVectorState& state, BitReader* deltaReader, uint32_t column, uint32_t row);

}  // namespace tlx::mpeg4

// A decoded-picture store: bordered planes plus the per-picture state the
// decoder keeps (kind, validity, reorder delay, rounding, time, quantiser
// map), and the pixel operations the macroblock layer needs.
//
// The pixel work runs through the kernel tables the decoder instance holds;
// which tables those are, the instance's picture class says: PlainPicture
// selects the plain C++ kernels, SimdPicture the vector ones. Both give the
// same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filters/mpeg4/core/block/reconstruction.h"
#include "filters/mpeg4/core/dsp.h"
#include "filters/mpeg4/core/plane_store.h"

namespace tlx::mpeg4 {

// The valid word of a picture that holds a complete decoded picture.
inline constexpr uint32_t kPictureValid = 3;

class Picture : public PlaneStore {
 public:
  Picture() = default;
  ~Picture() override;

  // Sizes the planes with the given luma border (chroma border half of it)
  // and a quantiser map of one byte per macroblock. A size change replaces
  // the map. Returns the picture's status.
  uint32_t PictureAllocate(int width, int height, int borderX, int borderY, uint32_t format);

  // Writes the inverse DCT of the six blocks (four luma, U, V) of the
  // macroblock at luma position (x, y). With fieldDct the luma blocks 0-1
  // hold the top field and 2-3 the bottom field. Every block comes back zero.
  void PutIntraMacroblock(const BlockKernels& kernels, int16_t (*blocks)[64], int x, int y, int fieldDct,
                          const uint32_t* shapes);
  // Adds the inverse DCT of the blocks whose kCodedBlockBit are set in
  // codedBlocks to the prediction already in the picture.
  void AddInterMacroblock(const BlockKernels& kernels, int16_t (*blocks)[64], int x, int y, int fieldDct,
                          uint32_t codedBlocks, const uint32_t* shapes);
  // The first-kind reconstruction operations; same results.
  void PutIntraMacroblockA(int16_t (*blocks)[64], int x, int y, int fieldDct, const uint32_t* shapes);
  void AddInterMacroblockA(int16_t (*blocks)[64], int x, int y, int fieldDct, uint32_t codedBlocks,
                           const uint32_t* shapes);
  // Copies the 16x16 luma and 8x8 chroma samples of the macroblock at luma
  // position (x, y) from source, which has the same geometry.
  void CopyMacroblock(const PredictionKernels& kernels, const Picture& source, int x, int y);
  // Predict a block of this picture at (x, y) from `reference` with a
  // half-sample vector, rounding as this picture's rounding flag says: 16x16
  // or 8x8 luma, or 8x8 of U and of V at chroma position (x, y) with a chroma
  // vector. The vector is first clamped (ClampVectorComponent, unit 2) so the
  // block starts within the reference's border.
  void PredictLuma16Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx, int mvy);
  void PredictLuma8Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx, int mvy);
  void PredictChroma8Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                          int mvy);
  // The same predictions averaged into what the block holds (the second
  // direction of a bidirectional macroblock); they ignore the rounding flag.
  void AverageLuma16Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx, int mvy);
  void AverageLuma8Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx, int mvy);
  void AverageChroma8Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                          int mvy);
  // Luma predictions with a quarter-sample vector (clamped with unit 4): put
  // with this picture's rounding, or averaged into the block.
  void PredictLuma16Quarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                            int mvy);
  void PredictLuma8Quarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx, int mvy);
  void AverageLuma16Quarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                            int mvy);
  void AverageLuma8Quarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx, int mvy);
  // One field of a field-predicted macroblock: the 16x8 luma block (or the
  // 8x4 U and V blocks) of destination field dstField (0 top, 1 bottom) at
  // frame position (x, y), from reference field refField, with strides
  // doubled. Vertical components are in frame units; they are clamped in
  // frame units like frame vectors.
  void PredictLumaFieldHalf(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx, int mvy,
                            int refField, int dstField);
  void PredictLumaFieldQuarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                               int mvy, int refField, int dstField);
  void PredictChromaFieldHalf(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                              int mvy, int refField, int dstField);
  // Whole-macroblock predictions the decoder itself does not use: 16x16
  // luma and 8x8 U and V from `reference` with one half-sample vector whose
  // components are each replaced by 0 when the 16-sample block would leave
  // the picture (2x + mvx < 0 or > 2 width - 32, likewise vertically),
  // always with the round-up kernels, chroma by the one-vector chroma rule.
  // The field forms predict field `field` (luma rows y + field, y + field +
  // 2, ...; chroma likewise) from the same field of the reference, the
  // vertical component in frame units as for field vectors; the half forms
  // the upper (half 0) or lower 16x8 luma and 8x4 chroma half of the
  // macroblock. The Average forms average into what the block holds.
  void PredictMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                               int mvy);
  void AverageMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                               int mvy);
  void PredictFieldMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                    int mvy, int field);
  void AverageFieldMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                    int mvy, int field);
  void PredictHalfMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                   int mvy, int half);
  void AverageHalfMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                   int mvy, int half);
  // One sample of a warped prediction: the luma sample (x, y), or the U and
  // V samples at chroma position (x, y), from the reference position
  // (px, py) in 1/2^rho samples, bilinear between the four samples around it
  // with the weights of the fractions, plus the rounding term
  // 2^(2 rho - 1) - vop_rounding_type, shifted down by 2 rho. A neighbour
  // whose weight is zero is not read.
  void GmcLumaSample(const Picture& reference, int32_t px, int32_t py, int32_t rho, int x, int y);
  void GmcChromaSample(const Picture& reference, int32_t px, int32_t py, int32_t rho, int x, int y);
  // The same field predictions averaged into what the field holds.
  void AverageLumaFieldHalf(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx, int mvy,
                            int refField, int dstField);
  void AverageLumaFieldQuarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                               int mvy, int refField, int dstField);
  void AverageChromaFieldHalf(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                              int mvy, int refField, int dstField);
  // Replicates the edge samples into the borders and the extra rows below.
  void PadBorders(const PredictionKernels& kernels);
  // The picture's planes into a caller buffer: planar Y, U, V (or Y, V, U)
  // with `stride` between luma rows and stride / 2 between chroma rows, or
  // packed as YUY2 rows `stride` apart. Width and height at most the
  // picture's.
  void OutputPlanar(uint8_t* destination, int outputWidth, int outputHeight, ptrdiff_t stride) const;
  void OutputPlanarSwapped(uint8_t* destination, int outputWidth, int outputHeight, ptrdiff_t stride) const;
  void OutputPacked(uint8_t* destination, int outputWidth, int outputHeight, ptrdiff_t stride) const;
  // Forgets the picture held: kind, validity, reorder delay and the
  // returned-ahead mark to 0.
  void ClearState();
  // The planes as the pixel kernels see them. Inline: every macroblock's
  // reconstruction builds one.
  PicturePlanes Planes() const {
    PicturePlanes planes;
    planes.y = yOrigin;
    planes.u = uOrigin;
    planes.v = vOrigin;
    planes.lumaStride = lumaStride;
    planes.chromaStride = chromaStride;
    planes.width = width;
    planes.height = height;
    planes.chromaWidth = chromaWidth;
    planes.chromaHeight = chromaHeight;
    planes.lumaPadWidth = lumaBorderX;
    planes.lumaPadHeight = lumaBorderY;
    planes.chromaPadWidth = chromaBorderX;
    planes.chromaPadHeight = chromaBorderY;
    planes.extraRows = kPlaneExtraRows;
    return planes;
  }

  int16_t lumaBorderX = 0;
  int16_t lumaBorderY = 0;
  int16_t chromaBorderX = 0;
  int16_t chromaBorderY = 0;
  uint32_t roundingAdd = 1;   // 1 - vop_rounding_type of the picture predicted into
  uint32_t kind = 0;          // VOP coding type
  uint32_t valid = 0;         // kPictureValid while a complete picture is held
  uint32_t reorder = 0;       // twice the reorder delay
  // 1 once a not-coded VOP at this reference's own time (the placeholder of
  // a packed stream) has returned it ahead of its turn in display order: its
  // turn then returns nothing, so it leaves the core once.
  uint32_t returnedAhead = 0;
  uint8_t* quantiserMap = nullptr;  // one byte per macroblock, rows of width / 16
  uint32_t quantiserMapSize = 0;
  int32_t timeSeconds = 0;    // accumulated modulo time base
  int32_t timeIncrement = 0;
  int32_t timeResolution = 0;

 private:
  // A luma block of `size` rows and columns, or the U and V blocks of 8, at a
  // clamped half-sample vector through the phase kernels of `set`.
  void LumaHalf(const HalfSampleKernel (&set)[4], const Picture& reference, int x, int y, int mvx, int mvy, int size);
  void ChromaHalf(const HalfSampleKernel (&set)[4], const Picture& reference, int x, int y, int mvx, int mvy);
  void LumaQuarter(const HalfSampleKernel (&set)[16], const Picture& reference, int x, int y, int mvx, int mvy,
                   int size);
  // The ...Inside operations: the vector held inside, then the frame,
  // field or half prediction through the 16- and 8-column kernels given.
  void MacroblockInside(const HalfSampleKernel (&luma)[4], const HalfSampleKernel (&chroma)[4],
                        const Picture& reference, int x, int y, int mvx, int mvy);
  void FieldMacroblockInside(const HalfSampleKernel (&luma)[4], const HalfSampleKernel (&chroma)[4],
                             const Picture& reference, int x, int y, int mvx, int mvy, int field);
  void HalfMacroblockInside(const HalfSampleKernel (&luma)[4], const HalfSampleKernel (&chroma)[4],
                            const Picture& reference, int x, int y, int mvx, int mvy, int half);
  // One field's block at a clamped vector through the kernels of `set`.
  void LumaFieldHalf(const HalfSampleKernel (&set)[4], const Picture& reference, int x, int y, int mvx, int mvy,
                     int refField, int dstField);
  void LumaFieldQuarter(const HalfSampleKernel (&set)[16], const Picture& reference, int x, int y, int mvx, int mvy,
                        int refField, int dstField);
  void ChromaFieldHalf(const HalfSampleKernel (&set)[4], const Picture& reference, int x, int y, int mvx, int mvy,
                       int refField, int dstField);
};

class PlainPicture : public Picture {
 public:
  static constexpr PictureVariant kVariant = PictureVariant::Plain;
};

class SimdPicture : public Picture {
 public:
  static constexpr PictureVariant kVariant = PictureVariant::Simd;
};

// One vector component clamped so that the block at `position` (in samples)
// starts no further than `pad` samples before the plane and no further than
// its end `size`: u·position + v is held to [-u·pad, u·size], with u the
// vector unit (2 half-sample, 4 quarter-sample). The bound does not depend on
// the block size.
int32_t ClampVectorComponent(int32_t position, int32_t vector, int32_t unit, int32_t pad, int32_t size);

// Picture times (seconds, increment, resolution) and the tick arithmetic
// built on them.
void PictureTimeSet(Picture& picture, int32_t seconds, int32_t increment, int32_t resolution);
// (a.seconds - b.seconds) x a.resolution + a.increment - b.increment.
int32_t PictureTimeDifference(const Picture& a, const Picture& b);
// (seconds x resolution + increment) / unit, rounded to nearest with halves
// away from zero; the plain tick count for unit 0.
int32_t PictureTimeScaled(const Picture& picture, int32_t unit);

}  // namespace tlx::mpeg4

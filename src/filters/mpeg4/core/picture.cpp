#include "filters/mpeg4/core/picture.h"

#include <cstring>

#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/core/motion_vectors.h"
#include "filters/mpeg4/core/status.h"

namespace tlx::mpeg4 {

Picture::~Picture() { CoreFree(quantiserMap); }

uint32_t Picture::PictureAllocate(int newWidth, int newHeight, int borderX, int borderY, uint32_t newFormat) {
  lumaBorderX = static_cast<int16_t>(borderX);
  lumaBorderY = static_cast<int16_t>(borderY);
  chromaBorderX = static_cast<int16_t>(borderX / 2);
  chromaBorderY = static_cast<int16_t>(borderY / 2);
  if (newWidth != width || newHeight != height || quantiserMap == nullptr) {
    CoreFree(quantiserMap);
    quantiserMapSize = 0;
    const size_t bytes = size_t(newWidth / 16) * size_t(newHeight / 16);
    quantiserMap = static_cast<uint8_t*>(CoreAllocate(bytes));
    if (quantiserMap == nullptr) {
      status |= kStatusOutOfMemory;
    } else {
      quantiserMapSize = static_cast<uint32_t>(bytes);
      std::memset(quantiserMap, 0, bytes);
    }
  }
  return Allocate(newWidth, newHeight, borderX, borderY, newFormat) | status;
}

void Picture::ClearState() {
  kind = 0;
  valid = 0;
  reorder = 0;
  returnedAhead = 0;
}

void Picture::PutIntraMacroblock(const BlockKernels& kernels, int16_t (*blocks)[64], int x, int y, int fieldDct,
                                 const uint32_t* shapes) {
  kernels.putIntraMacroblock(Planes(), blocks, x, y, fieldDct, shapes);
}

void Picture::AddInterMacroblock(const BlockKernels& kernels, int16_t (*blocks)[64], int x, int y, int fieldDct,
                                 uint32_t codedBlocks, const uint32_t* shapes) {
  kernels.addInterMacroblock(Planes(), blocks, x, y, fieldDct, codedBlocks, shapes);
}

void Picture::PutIntraMacroblockA(int16_t (*blocks)[64], int x, int y, int fieldDct, const uint32_t* shapes) {
  tlx::mpeg4::PutIntraMacroblockA(Planes(), blocks, x, y, fieldDct, shapes);
}

void Picture::AddInterMacroblockA(int16_t (*blocks)[64], int x, int y, int fieldDct, uint32_t codedBlocks,
                                  const uint32_t* shapes) {
  tlx::mpeg4::AddInterMacroblockA(Planes(), blocks, x, y, fieldDct, codedBlocks, shapes);
}

void Picture::PadBorders(const PredictionKernels& kernels) { kernels.padBorders(Planes()); }

void Picture::CopyMacroblock(const PredictionKernels& kernels, const Picture& source, int x, int y) {
  kernels.copyMacroblock(Planes(), source.Planes(), x, y);
}

int32_t ClampVectorComponent(int32_t position, int32_t vector, int32_t unit, int32_t pad, int32_t size) {
  if (unit * position + vector < -unit * pad) vector = -unit * (pad + position);
  if (unit * position + vector > unit * size) vector = unit * (size - position);
  return vector;
}

namespace {

// A half-sample prediction of one plane block through the kernel of its phase.
void PredictHalf(const HalfSampleKernel (&kernels)[4], uint8_t* destination, const uint8_t* reference,
                 ptrdiff_t stride, int x, int y, int mvx, int mvy, int rows) {
  const uint8_t* source = reference + (y + (mvy >> 1)) * stride + x + (mvx >> 1);
  kernels[((mvy & 1) << 1) | (mvx & 1)](destination + y * stride + x, stride, source, stride, rows);
}

}  // namespace

void Picture::LumaHalf(const HalfSampleKernel (&set)[4], const Picture& reference, int x, int y, int mvx, int mvy,
                       int size) {
  mvx = ClampVectorComponent(x, mvx, 2, lumaBorderX, width);
  mvy = ClampVectorComponent(y, mvy, 2, lumaBorderY, height);
  PredictHalf(set, yOrigin, reference.yOrigin, lumaStride, x, y, mvx, mvy, size);
}

void Picture::ChromaHalf(const HalfSampleKernel (&set)[4], const Picture& reference, int x, int y, int mvx, int mvy) {
  mvx = ClampVectorComponent(x, mvx, 2, chromaBorderX, chromaWidth);
  mvy = ClampVectorComponent(y, mvy, 2, chromaBorderY, chromaHeight);
  PredictHalf(set, uOrigin, reference.uOrigin, chromaStride, x, y, mvx, mvy, 8);
  PredictHalf(set, vOrigin, reference.vOrigin, chromaStride, x, y, mvx, mvy, 8);
}

void Picture::LumaQuarter(const HalfSampleKernel (&set)[16], const Picture& reference, int x, int y, int mvx,
                          int mvy, int size) {
  mvx = ClampVectorComponent(x, mvx, 4, lumaBorderX, width);
  mvy = ClampVectorComponent(y, mvy, 4, lumaBorderY, height);
  const uint8_t* source = reference.yOrigin + (y + (mvy >> 2)) * lumaStride + x + (mvx >> 2);
  set[4 * (mvy & 3) + (mvx & 3)](yOrigin + y * lumaStride + x, lumaStride, source, lumaStride, size);
}

void Picture::PredictLuma16Quarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                   int mvy) {
  LumaQuarter(kernels.quarterSample.put16[1 - roundingAdd], reference, x, y, mvx, mvy, 16);
}

void Picture::PredictLuma8Quarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                  int mvy) {
  LumaQuarter(kernels.quarterSample.put8[1 - roundingAdd], reference, x, y, mvx, mvy, 8);
}

void Picture::AverageLuma16Quarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                   int mvy) {
  LumaQuarter(kernels.quarterSample.average16, reference, x, y, mvx, mvy, 16);
}

void Picture::AverageLuma8Quarter(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                  int mvy) {
  LumaQuarter(kernels.quarterSample.average8, reference, x, y, mvx, mvy, 8);
}

void Picture::LumaFieldHalf(const HalfSampleKernel (&set)[4], const Picture& reference, int x, int y, int mvx,
                            int mvy, int refField, int dstField) {
  mvx = ClampVectorComponent(x, mvx, 2, lumaBorderX, width);
  mvy = ClampVectorComponent(y, mvy, 2, lumaBorderY, height);
  const uint8_t* source = reference.yOrigin + (y + refField + 2 * (mvy >> 2)) * lumaStride + x + (mvx >> 1);
  set[(mvy & 2) | (mvx & 1)](yOrigin + (y + dstField) * lumaStride + x, 2 * lumaStride, source, 2 * lumaStride, 8);
}

void Picture::LumaFieldQuarter(const HalfSampleKernel (&set)[16], const Picture& reference, int x, int y, int mvx,
                               int mvy, int refField, int dstField) {
  mvx = ClampVectorComponent(x, mvx, 4, lumaBorderX, width);
  mvy = ClampVectorComponent(y, mvy, 4, lumaBorderY, height);
  const uint8_t* source = reference.yOrigin + (y + refField + 2 * (mvy >> 3)) * lumaStride + x + (mvx >> 2);
  set[4 * ((mvy >> 1) & 3) + (mvx & 3)](yOrigin + (y + dstField) * lumaStride + x, 2 * lumaStride, source,
                                        2 * lumaStride, 8);
}

void Picture::ChromaFieldHalf(const HalfSampleKernel (&set)[4], const Picture& reference, int x, int y, int mvx,
                              int mvy, int refField, int dstField) {
  mvx = ClampVectorComponent(x, mvx, 2, chromaBorderX, chromaWidth);
  mvy = ClampVectorComponent(y, mvy, 2, chromaBorderY, chromaHeight);
  const HalfSampleKernel kernel = set[(mvy & 2) | (mvx & 1)];
  const ptrdiff_t offset = (y + refField + 2 * (mvy >> 2)) * chromaStride + x + (mvx >> 1);
  const ptrdiff_t destination = (y + dstField) * chromaStride + x;
  kernel(uOrigin + destination, 2 * chromaStride, reference.uOrigin + offset, 2 * chromaStride, 4);
  kernel(vOrigin + destination, 2 * chromaStride, reference.vOrigin + offset, 2 * chromaStride, 4);
}

void Picture::PredictLumaFieldHalf(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                   int mvy, int refField, int dstField) {
  LumaFieldHalf(kernels.halfSample16[1 - roundingAdd], reference, x, y, mvx, mvy, refField, dstField);
}

void Picture::PredictLumaFieldQuarter(const PredictionKernels& kernels, const Picture& reference, int x, int y,
                                      int mvx, int mvy, int refField, int dstField) {
  LumaFieldQuarter(kernels.quarterSample.put16[1 - roundingAdd], reference, x, y, mvx, mvy, refField, dstField);
}

void Picture::PredictChromaFieldHalf(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                     int mvy, int refField, int dstField) {
  ChromaFieldHalf(kernels.halfSample8[1 - roundingAdd], reference, x, y, mvx, mvy, refField, dstField);
}

void Picture::AverageLumaFieldHalf(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                   int mvy, int refField, int dstField) {
  LumaFieldHalf(kernels.averageHalfSample16, reference, x, y, mvx, mvy, refField, dstField);
}

void Picture::AverageLumaFieldQuarter(const PredictionKernels& kernels, const Picture& reference, int x, int y,
                                      int mvx, int mvy, int refField, int dstField) {
  LumaFieldQuarter(kernels.quarterSample.average16, reference, x, y, mvx, mvy, refField, dstField);
}

void Picture::AverageChromaFieldHalf(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                     int mvy, int refField, int dstField) {
  ChromaFieldHalf(kernels.averageHalfSample8, reference, x, y, mvx, mvy, refField, dstField);
}

void Picture::PredictLuma16Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                int mvy) {
  LumaHalf(kernels.halfSample16[1 - roundingAdd], reference, x, y, mvx, mvy, 16);
}

void Picture::PredictLuma8Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                               int mvy) {
  LumaHalf(kernels.halfSample8[1 - roundingAdd], reference, x, y, mvx, mvy, 8);
}

void Picture::PredictChroma8Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                 int mvy) {
  ChromaHalf(kernels.halfSample8[1 - roundingAdd], reference, x, y, mvx, mvy);
}

void Picture::AverageLuma16Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                int mvy) {
  LumaHalf(kernels.averageHalfSample16, reference, x, y, mvx, mvy, 16);
}

void Picture::AverageLuma8Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                               int mvy) {
  LumaHalf(kernels.averageHalfSample8, reference, x, y, mvx, mvy, 8);
}

void Picture::AverageChroma8Half(const PredictionKernels& kernels, const Picture& reference, int x, int y, int mvx,
                                 int mvy) {
  ChromaHalf(kernels.averageHalfSample8, reference, x, y, mvx, mvy);
}

namespace {

// A component held inside: 0 when the 16-sample block would leave [0, size].
int32_t InsideComponent(int32_t position, int32_t vector, int32_t size) {
  const int32_t start = 2 * position + vector;
  return start < 0 || start > 2 * size - 32 ? 0 : vector;
}

}  // namespace

void Picture::MacroblockInside(const HalfSampleKernel (&luma)[4], const HalfSampleKernel (&chroma)[4],
                               const Picture& reference, int x, int y, int mvx, int mvy) {
  mvx = InsideComponent(x, mvx, width);
  mvy = InsideComponent(y, mvy, height);
  PredictHalf(luma, yOrigin, reference.yOrigin, lumaStride, x, y, mvx, mvy, 16);
  const int cx = ChromaFromOneVector(mvx), cy = ChromaFromOneVector(mvy);
  PredictHalf(chroma, uOrigin, reference.uOrigin, chromaStride, x / 2, y / 2, cx, cy, 8);
  PredictHalf(chroma, vOrigin, reference.vOrigin, chromaStride, x / 2, y / 2, cx, cy, 8);
}

void Picture::FieldMacroblockInside(const HalfSampleKernel (&luma)[4], const HalfSampleKernel (&chroma)[4],
                                    const Picture& reference, int x, int y, int mvx, int mvy, int field) {
  mvx = InsideComponent(x, mvx, width);
  mvy = InsideComponent(y, mvy, height);
  LumaFieldHalf(luma, reference, x, y, mvx, mvy, field, field);
  ChromaFieldHalf(chroma, reference, x / 2, y / 2, FieldChromaX(mvx), FieldChromaY(mvy), field, field);
}

void Picture::HalfMacroblockInside(const HalfSampleKernel (&luma)[4], const HalfSampleKernel (&chroma)[4],
                                   const Picture& reference, int x, int y, int mvx, int mvy, int half) {
  mvx = InsideComponent(x, mvx, width);
  mvy = InsideComponent(y, mvy, height);
  PredictHalf(luma, yOrigin, reference.yOrigin, lumaStride, x, y + 8 * half, mvx, mvy, 8);
  const int cx = ChromaFromOneVector(mvx), cy = ChromaFromOneVector(mvy);
  PredictHalf(chroma, uOrigin, reference.uOrigin, chromaStride, x / 2, y / 2 + 4 * half, cx, cy, 4);
  PredictHalf(chroma, vOrigin, reference.vOrigin, chromaStride, x / 2, y / 2 + 4 * half, cx, cy, 4);
}

void Picture::PredictMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y,
                                      int mvx, int mvy) {
  MacroblockInside(kernels.halfSample16[0], kernels.halfSample8[0], reference, x, y, mvx, mvy);
}

void Picture::AverageMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y,
                                      int mvx, int mvy) {
  MacroblockInside(kernels.averageHalfSample16, kernels.averageHalfSample8, reference, x, y, mvx, mvy);
}

void Picture::PredictFieldMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y,
                                           int mvx, int mvy, int field) {
  FieldMacroblockInside(kernels.halfSample16[0], kernels.halfSample8[0], reference, x, y, mvx, mvy, field);
}

void Picture::AverageFieldMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y,
                                           int mvx, int mvy, int field) {
  FieldMacroblockInside(kernels.averageHalfSample16, kernels.averageHalfSample8, reference, x, y, mvx, mvy, field);
}

void Picture::PredictHalfMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y,
                                          int mvx, int mvy, int half) {
  HalfMacroblockInside(kernels.halfSample16[0], kernels.halfSample8[0], reference, x, y, mvx, mvy, half);
}

void Picture::AverageHalfMacroblockInside(const PredictionKernels& kernels, const Picture& reference, int x, int y,
                                          int mvx, int mvy, int half) {
  HalfMacroblockInside(kernels.averageHalfSample16, kernels.averageHalfSample8, reference, x, y, mvx, mvy, half);
}

namespace {

uint8_t Bilinear(const uint8_t* p, ptrdiff_t stride, int32_t fx, int32_t fy, int32_t rho, int32_t rounding) {
  const int32_t scale = 1 << rho;
  const uint8_t* right = fx != 0 ? p + 1 : p;
  const uint8_t* below = fy != 0 ? p + stride : p;
  const uint8_t* corner = fy != 0 ? right + stride : right;
  const int32_t top = (scale - fx) * p[0] + fx * right[0];
  const int32_t bottom = (scale - fx) * below[0] + fx * corner[0];
  return static_cast<uint8_t>((top * (scale - fy) + bottom * fy + rounding) >> (2 * rho));
}

}  // namespace

void Picture::GmcLumaSample(const Picture& reference, int32_t px, int32_t py, int32_t rho, int x, int y) {
  const int32_t mask = (1 << rho) - 1;
  const int32_t rounding = (1 << (2 * rho - 1)) - int32_t(1 - roundingAdd);
  const uint8_t* p = reference.yOrigin + ptrdiff_t(py >> rho) * lumaStride + (px >> rho);
  yOrigin[ptrdiff_t(y) * lumaStride + x] = Bilinear(p, lumaStride, px & mask, py & mask, rho, rounding);
}

void Picture::GmcChromaSample(const Picture& reference, int32_t px, int32_t py, int32_t rho, int x, int y) {
  const int32_t mask = (1 << rho) - 1;
  const int32_t rounding = (1 << (2 * rho - 1)) - int32_t(1 - roundingAdd);
  const ptrdiff_t offset = ptrdiff_t(py >> rho) * chromaStride + (px >> rho);
  const ptrdiff_t destination = ptrdiff_t(y) * chromaStride + x;
  uOrigin[destination] = Bilinear(reference.uOrigin + offset, chromaStride, px & mask, py & mask, rho, rounding);
  vOrigin[destination] = Bilinear(reference.vOrigin + offset, chromaStride, px & mask, py & mask, rho, rounding);
}

void PictureTimeSet(Picture& picture, int32_t seconds, int32_t increment, int32_t resolution) {
  picture.timeSeconds = seconds;
  picture.timeIncrement = increment;
  picture.timeResolution = resolution;
}

int32_t PictureTimeDifference(const Picture& a, const Picture& b) {
  // Wrapping two's-complement arithmetic, as the 32-bit fields hold.
  const uint32_t seconds = uint32_t(a.timeSeconds) - uint32_t(b.timeSeconds);
  return int32_t(seconds * uint32_t(a.timeResolution) - uint32_t(b.timeIncrement) + uint32_t(a.timeIncrement));
}

int32_t PictureTimeScaled(const Picture& picture, int32_t unit) {
  const int64_t t = int64_t(picture.timeSeconds) * picture.timeResolution + picture.timeIncrement;
  if (unit == 0) return int32_t(t);
  const int64_t u = unit;
  if (t >= 0) return int32_t((2 * t + u) / (2 * u));
  return int32_t(-((u - 2 * t) / (2 * u)));
}

}  // namespace tlx::mpeg4

#include "picture.h"

#include <cstring>

#include "core_allocation.h"
#include "status.h"

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
}

PicturePlanes Picture::Planes() const {
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

#include "filters/mpeg4/core/plane_store.h"

#include <cstring>

#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/core/status.h"

namespace tlx::mpeg4 {
namespace {

size_t RoundUp32(size_t n) { return (n + 31) & ~size_t{31}; }

}  // namespace

PlaneStore::~PlaneStore() { Release(); }

uint32_t PlaneStore::Allocate(int newWidth, int newHeight, int borderX, int borderY, uint32_t newFormat) {
  const int stride = newWidth + 2 * borderX;
  const int rows = newHeight + 2 * borderY;
  if (planeBuffer != nullptr && newWidth == width && newHeight == height && stride == lumaStride &&
      rows == lumaRows && newFormat == format) {
    return 0;
  }
  Release();
  if (status != 0) return status;

  const bool fullChroma = newFormat == kPlaneFormatFullChromaHeight;
  width = static_cast<int16_t>(newWidth);
  height = static_cast<int16_t>(newHeight);
  lumaStride = static_cast<int16_t>(stride);
  lumaRows = static_cast<int16_t>(rows);
  chromaWidth = static_cast<int16_t>(newWidth / 2);
  chromaHeight = static_cast<int16_t>(fullChroma ? newHeight : newHeight / 2);
  chromaStride = static_cast<int16_t>(stride / 2);
  chromaRows = static_cast<int16_t>(fullChroma ? rows : rows / 2);
  format = newFormat;
  const int chromaBorderY = fullChroma ? borderY : borderY / 2;

  const size_t lumaBytes = RoundUp32(size_t(lumaStride) * size_t(lumaRows + kPlaneExtraRows));
  const size_t chromaBytes = RoundUp32(size_t(chromaStride) * size_t(chromaRows + kPlaneExtraRows));
  const size_t total = lumaBytes + 2 * chromaBytes + kPlaneTailSlack + size_t(lumaStride);
  planeBuffer = static_cast<uint8_t*>(CoreAllocate(total));
  if (planeBuffer == nullptr) {
    status |= kStatusOutOfMemory;
    Release();
    return status;
  }
  blockSize = static_cast<uint32_t>(total);
  yPlane = planeBuffer;
  uPlane = yPlane + lumaBytes;
  vPlane = uPlane + chromaBytes;
  yOrigin = yPlane + size_t(lumaStride) * borderY + borderX;
  uOrigin = uPlane + size_t(chromaStride) * chromaBorderY + borderX / 2;
  vOrigin = vPlane + size_t(chromaStride) * chromaBorderY + borderX / 2;
  std::memset(planeBuffer, 128, total);
  return 0;
}

void PlaneStore::Release() {
  CoreFree(planeBuffer);
  planeBuffer = yOrigin = uOrigin = vOrigin = nullptr;
  yPlane = uPlane = vPlane = nullptr;
  width = height = chromaWidth = chromaHeight = 0;
  lumaStride = lumaRows = chromaStride = chromaRows = 0;
  format = 0;
  blockSize = 0;
}

}  // namespace tlx::mpeg4

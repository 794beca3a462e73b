#include "filters/mpeg4/core/block/reconstruction.h"

#include <cstring>

#include "filters/mpeg4/core/block/idct.h"

namespace tlx::mpeg4 {
namespace {

using BlockKernel = void (*)(int16_t*, uint8_t*, ptrdiff_t, uint32_t);

// Destination and stride of block i of the macroblock at (x, y).
struct BlockPlace {
  uint8_t* dst;
  ptrdiff_t stride;
};

BlockPlace PlaceBlock(const PicturePlanes& p, int block, int32_t x, int32_t y, int32_t fieldDct) {
  if (block >= 4) {
    uint8_t* plane = block == 4 ? p.u : p.v;
    return {plane + (y / 2) * p.chromaStride + x / 2, p.chromaStride};
  }
  const int32_t bx = x + 8 * (block & 1);
  if (fieldDct) {
    const int32_t by = y + (block >> 1);
    return {p.y + by * p.lumaStride + bx, 2 * p.lumaStride};
  }
  const int32_t by = y + 8 * (block >> 1);
  return {p.y + by * p.lumaStride + bx, p.lumaStride};
}

void Reconstruct(BlockKernel kernel, const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x,
                 int32_t y, int32_t fieldDct, uint32_t codedBlocks, const uint32_t shapes[6]) {
  for (int i = 0; i < 6; ++i) {
    if (!(codedBlocks & kCodedBlockBit[i])) continue;
    const BlockPlace place = PlaceBlock(planes, i, x, y, fieldDct);
    kernel(blocks[i], place.dst, place.stride, shapes[i]);
  }
}

constexpr uint32_t kAllBlocks = 0xFC0;

void PadPlane(uint8_t* origin, ptrdiff_t stride, int32_t width, int32_t height, int32_t padWidth,
              int32_t padHeight, int32_t extraRows) {
  uint8_t* row = origin;
  for (int32_t r = 0; r < height; ++r, row += stride) {
    std::memset(row - padWidth, row[0], padWidth);
    std::memset(row + width, row[width - 1], padWidth);
  }
  const size_t span = static_cast<size_t>(width + 2 * padWidth);
  const uint8_t* first = origin - padWidth;
  const uint8_t* last = first + (height - 1) * stride;
  for (int32_t r = 1; r <= padHeight; ++r) std::memcpy(origin - padWidth - r * stride, first, span);
  for (int32_t r = 1; r <= padHeight + extraRows; ++r)
    std::memcpy(origin - padWidth + (height - 1 + r) * stride, last, span);
}

}  // namespace

void PutIntraMacroblock(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                        int32_t fieldDct, const uint32_t shapes[6]) {
  Reconstruct(IdctDispatchPut, planes, blocks, x, y, fieldDct, kAllBlocks, shapes);
}

void AddInterMacroblock(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                        int32_t fieldDct, uint32_t codedBlocks, const uint32_t shapes[6]) {
  Reconstruct(IdctDispatchAdd, planes, blocks, x, y, fieldDct, codedBlocks, shapes);
}

void PutIntraMacroblockSse2(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                            int32_t fieldDct, const uint32_t shapes[6]) {
  Reconstruct(IdctDispatchPutSse2, planes, blocks, x, y, fieldDct, kAllBlocks, shapes);
}

void AddInterMacroblockSse2(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                            int32_t fieldDct, uint32_t codedBlocks, const uint32_t shapes[6]) {
  Reconstruct(IdctDispatchAddSse2, planes, blocks, x, y, fieldDct, codedBlocks, shapes);
}

void PutIntraMacroblockA(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                         int32_t fieldDct, const uint32_t shapes[6]) {
  PutIntraMacroblock(planes, blocks, x, y, fieldDct, shapes);
}

void AddInterMacroblockA(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                         int32_t fieldDct, uint32_t codedBlocks, const uint32_t shapes[6]) {
  AddInterMacroblock(planes, blocks, x, y, fieldDct, codedBlocks, shapes);
}

void PadBorders(const PicturePlanes& planes) {
  PadPlane(planes.y, planes.lumaStride, planes.width, planes.height, planes.lumaPadWidth,
           planes.lumaPadHeight, planes.extraRows);
  PadPlane(planes.u, planes.chromaStride, planes.chromaWidth, planes.chromaHeight,
           planes.chromaPadWidth, planes.chromaPadHeight, planes.extraRows);
  PadPlane(planes.v, planes.chromaStride, planes.chromaWidth, planes.chromaHeight,
           planes.chromaPadWidth, planes.chromaPadHeight, planes.extraRows);
}

}  // namespace tlx::mpeg4

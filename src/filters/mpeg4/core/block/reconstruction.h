// Plain pixel kernels of a picture: macroblock reconstruction by inverse DCT
// and the extension of a finished picture into its border.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tlx::mpeg4 {

// The planes of one picture as the kernels see them. Origins point at the first
// visible sample; pads are the border on each side of a plane. extraRows more
// rows lie below the bottom border of every plane and are replicated too, so a
// field or interpolating read that starts in the last border row stays inside
// the plane.
struct PicturePlanes {
  uint8_t* y = nullptr;
  uint8_t* u = nullptr;
  uint8_t* v = nullptr;
  ptrdiff_t lumaStride = 0;
  ptrdiff_t chromaStride = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t chromaWidth = 0;
  int32_t chromaHeight = 0;
  int32_t lumaPadWidth = 0;
  int32_t lumaPadHeight = 0;
  int32_t chromaPadWidth = 0;
  int32_t chromaPadHeight = 0;
  int32_t extraRows = 0;
};

// Coded-block bits of AddInterMacroblock, block 0 to block 5.
inline constexpr uint32_t kCodedBlockBit[6] = {0x800, 0x400, 0x200, 0x100, 0x80, 0x40};

// Writes the inverse DCT of the six blocks of the macroblock whose top-left
// luma sample is (x, y). With fieldDct the luma blocks 0 and 1 hold the top
// field and 2 and 3 the bottom field, written on every other row. Blocks 4 and
// 5 go to U and V at (x/2, y/2). shapes[i] is block i's shape word; the blocks
// come back zero.
void PutIntraMacroblock(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                        int32_t fieldDct, const uint32_t shapes[6]);

// Adds the inverse DCT of each block whose bit of codedBlocks is set to the
// prediction already in the picture; other blocks are neither read nor changed.
void AddInterMacroblock(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                        int32_t fieldDct, uint32_t codedBlocks, const uint32_t shapes[6]);

// The same two operations through the SSE2 inverse DCT: the same bytes.
void PutIntraMacroblockSse2(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                            int32_t fieldDct, const uint32_t shapes[6]);
void AddInterMacroblockSse2(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                            int32_t fieldDct, uint32_t codedBlocks, const uint32_t shapes[6]);

// The first-kind reconstruction operations. The decoder does not call them;
// they give the same bytes as the two above.
void PutIntraMacroblockA(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                         int32_t fieldDct, const uint32_t shapes[6]);
void AddInterMacroblockA(const PicturePlanes& planes, int16_t (*blocks)[64], int32_t x, int32_t y,
                         int32_t fieldDct, uint32_t codedBlocks, const uint32_t shapes[6]);

// Replicates the edge samples of every plane into its border: first and last
// sample of each row sideways, then the first bordered row upwards and the
// last one downwards through the border and the extra rows. Corners take the
// corner samples.
void PadBorders(const PicturePlanes& planes);

}  // namespace tlx::mpeg4

// SSE2 forms of the motion-compensation kernels: the same bytes as the plain
// ones of prediction_kernels.h and PadBorders, reading and writing nothing
// beyond their windows (8-wide blocks move 8 bytes per row).
#pragma once

#include <cstddef>
#include <cstdint>

#include "filters/mpeg4/core/block/reconstruction.h"

namespace tlx::mpeg4 {

void CopyMacroblockSse2(const PicturePlanes& destination, const PicturePlanes& source, int32_t x, int32_t y);
void PadBordersSse2(const PicturePlanes& planes);

template <int W>
void CopyBlockSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W, int Rc>
void HpelHSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W, int Rc>
void HpelVSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W, int Rc>
void HpelHVSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W>
void HpelCopyAvgSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W>
void HpelHAvgSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W>
void HpelVAvgSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W>
void HpelHVAvgSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);

}  // namespace tlx::mpeg4

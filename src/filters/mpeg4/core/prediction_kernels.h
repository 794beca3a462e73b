// Plain kernels of motion compensation: reads from a reference picture into
// the picture being decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filters/mpeg4/core/block/reconstruction.h"

namespace tlx::mpeg4 {

// Copies the 16x16 luma and the two 8x8 chroma areas of the macroblock whose
// top-left luma sample is (x, y) from source to destination; both have the
// same geometry.
void CopyMacroblock(const PicturePlanes& destination, const PicturePlanes& source, int32_t x, int32_t y);

// A half-sample kernel: `rows` rows of a block W samples wide from src, at
// the half-sample phase of the kernel, into dst. Strides are the distances
// between the rows read and written (doubled for field blocks). It reads
// W + 1 columns and rows + 1 rows where its phase interpolates, nothing else.
using HalfSampleKernel = void (*)(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride,
                                  int32_t rows);

// Rounding control rc (the VOP's rounding type): averages of two samples are
// (a + b + 1 - rc) >> 1, of four (a + b + c + d + 2 - rc) >> 2.
template <int W>
void CopyBlock(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W, int Rc>
void HpelH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W, int Rc>
void HpelV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W, int Rc>
void HpelHV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);

// The averaging forms: the prediction of the phase with rounding control 0,
// then averaged into the destination as (d + p + 1) >> 1 (never fused).
template <int W>
void HpelCopyAvg(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W>
void HpelHAvg(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W>
void HpelVAvg(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);
template <int W>
void HpelHVAvg(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows);

}  // namespace tlx::mpeg4

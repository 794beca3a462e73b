#include "filters/mpeg4/core/prediction_kernels.h"

#include <cstring>

namespace tlx::mpeg4 {

void CopyMacroblock(const PicturePlanes& destination, const PicturePlanes& source, int32_t x, int32_t y) {
  const ptrdiff_t luma = destination.lumaStride;
  for (int32_t row = 0; row < 16; ++row) {
    std::memcpy(destination.y + (y + row) * luma + x, source.y + (y + row) * luma + x, 16);
  }
  const ptrdiff_t chroma = destination.chromaStride;
  const int32_t cx = x / 2;
  const int32_t cy = y / 2;
  for (int32_t row = 0; row < 8; ++row) {
    std::memcpy(destination.u + (cy + row) * chroma + cx, source.u + (cy + row) * chroma + cx, 8);
    std::memcpy(destination.v + (cy + row) * chroma + cx, source.v + (cy + row) * chroma + cx, 8);
  }
}

template <int W>
void CopyBlock(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r) std::memcpy(dst + r * dstStride, src + r * srcStride, W);
}

template <int W, int Rc>
void HpelH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r, dst += dstStride, src += srcStride) {
    for (int c = 0; c < W; ++c) dst[c] = uint8_t((src[c] + src[c + 1] + 1 - Rc) >> 1);
  }
}

template <int W, int Rc>
void HpelV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r, dst += dstStride, src += srcStride) {
    for (int c = 0; c < W; ++c) dst[c] = uint8_t((src[c] + src[c + srcStride] + 1 - Rc) >> 1);
  }
}

template <int W, int Rc>
void HpelHV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r, dst += dstStride, src += srcStride) {
    const uint8_t* below = src + srcStride;
    for (int c = 0; c < W; ++c) dst[c] = uint8_t((src[c] + src[c + 1] + below[c] + below[c + 1] + 2 - Rc) >> 2);
  }
}

namespace {

// Predicts one block with `kernel` into a scratch block, then averages it
// into the destination.
template <int W>
void AverageWith(HalfSampleKernel kernel, uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride,
                 int32_t rows) {
  uint8_t prediction[W * 16];
  kernel(prediction, W, src, srcStride, rows);
  for (int32_t r = 0; r < rows; ++r, dst += dstStride) {
    for (int c = 0; c < W; ++c) dst[c] = uint8_t((dst[c] + prediction[r * W + c] + 1) >> 1);
  }
}

}  // namespace

template <int W>
void HpelCopyAvg(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  AverageWith<W>(CopyBlock<W>, dst, dstStride, src, srcStride, rows);
}

template <int W>
void HpelHAvg(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  AverageWith<W>(HpelH<W, 0>, dst, dstStride, src, srcStride, rows);
}

template <int W>
void HpelVAvg(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  AverageWith<W>(HpelV<W, 0>, dst, dstStride, src, srcStride, rows);
}

template <int W>
void HpelHVAvg(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  AverageWith<W>(HpelHV<W, 0>, dst, dstStride, src, srcStride, rows);
}

template void CopyBlock<16>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);
template void CopyBlock<8>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);
#define TLX_HALF_SAMPLE_FORMS(W, Rc)                                            \
  template void HpelH<W, Rc>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t); \
  template void HpelV<W, Rc>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t); \
  template void HpelHV<W, Rc>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);
TLX_HALF_SAMPLE_FORMS(16, 0)
TLX_HALF_SAMPLE_FORMS(16, 1)
TLX_HALF_SAMPLE_FORMS(8, 0)
TLX_HALF_SAMPLE_FORMS(8, 1)
#undef TLX_HALF_SAMPLE_FORMS
#define TLX_AVERAGING_FORMS(W)                                                        \
  template void HpelCopyAvg<W>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t); \
  template void HpelHAvg<W>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);    \
  template void HpelVAvg<W>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);    \
  template void HpelHVAvg<W>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);
TLX_AVERAGING_FORMS(16)
TLX_AVERAGING_FORMS(8)
#undef TLX_AVERAGING_FORMS

}  // namespace tlx::mpeg4

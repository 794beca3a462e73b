#include "filters/mpeg4/core/quarter_sample_kernels.h"

#include "filters/mpeg4/core/quarter_sample_composition.h"

namespace tlx::mpeg4 {
namespace {

// The sample k of a window of last index `last`, mirrored beyond its edges.
inline int Mirrored(const uint8_t* s, ptrdiff_t step, int k, int last) {
  if (k < 0) k = -1 - k;
  if (k > last) k = 2 * last + 1 - k;
  return s[k * step];
}

template <int Rc>
inline uint8_t Lowpass(const uint8_t* s, ptrdiff_t step, int i, int last) {
  auto at = [&](int k) { return Mirrored(s, step, k, last); };
  const int sum = 20 * (at(i) + at(i + 1)) - 6 * (at(i - 1) + at(i + 2)) + 3 * (at(i - 2) + at(i + 3)) -
                  (at(i - 3) + at(i + 4));
  const int value = (8 * sum + 128 - Rc) >> 8;
  return uint8_t(value < 0 ? 0 : (value > 255 ? 255 : value));
}

template <int W, int Rc>
void QpelLowpassH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r, dst += dstStride, src += srcStride) {
    for (int i = 0; i < W; ++i) dst[i] = Lowpass<Rc>(src, 1, i, W);
  }
}

template <int W, int Rc>
void QpelLowpassV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int c = 0; c < W; ++c) {
    for (int32_t r = 0; r < rows; ++r) dst[r * dstStride + c] = Lowpass<Rc>(src + c, srcStride, r, rows);
  }
}

template <int W, int Rc>
void AverageInPlace(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r, dst += dstStride, src += srcStride) {
    for (int c = 0; c < W; ++c) dst[c] = uint8_t((dst[c] + src[c] + 1 - Rc) >> 1);
  }
}

// The plain parts of the quarter-sample kernels.
struct PlainParts {
  template <int W>
  static void Copy(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
    CopyBlock<W>(dst, dstStride, src, srcStride, rows);
  }
  template <int W, int Rc>
  static void LowpassH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
    QpelLowpassH<W, Rc>(dst, dstStride, src, srcStride, rows);
  }
  template <int W, int Rc>
  static void LowpassV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
    QpelLowpassV<W, Rc>(dst, dstStride, src, srcStride, rows);
  }
  template <int W, int Rc>
  static void AverageInPlace(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride,
                             int32_t rows) {
    tlx::mpeg4::AverageInPlace<W, Rc>(dst, dstStride, src, srcStride, rows);
  }
};

}  // namespace

const QuarterSampleKernels kPlainQuarterSampleKernels = quarter_sample::Build<PlainParts>();

}  // namespace tlx::mpeg4

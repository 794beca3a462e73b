#include "quarter_sample_kernels.h"

#include <array>
#include <utility>

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

template <int W, int Rc, int P>
void QpelPut(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  constexpr int fx = P & 3;
  constexpr int fy = P >> 2;
  if constexpr (P == 0) {
    CopyBlock<W>(dst, dstStride, src, srcStride, rows);
  } else if constexpr (fy == 0) {
    QpelLowpassH<W, Rc>(dst, dstStride, src, srcStride, rows);
    if constexpr (fx != 2) AverageInPlace<W, Rc>(dst, dstStride, src + (fx == 3 ? 1 : 0), srcStride, rows);
  } else if constexpr (fx == 0) {
    QpelLowpassV<W, Rc>(dst, dstStride, src, srcStride, rows);
    if constexpr (fy != 2) AverageInPlace<W, Rc>(dst, dstStride, src + (fy == 3 ? srcStride : 0), srcStride, rows);
  } else {
    uint8_t t[W * 17];
    QpelLowpassH<W, Rc>(t, W, src, srcStride, rows + 1);
    if constexpr (fx != 2) AverageInPlace<W, Rc>(t, W, src + (fx == 3 ? 1 : 0), srcStride, rows + 1);
    QpelLowpassV<W, Rc>(dst, dstStride, t, W, rows);
    if constexpr (fy != 2) AverageInPlace<W, Rc>(dst, dstStride, t + (fy == 3 ? W : 0), W, rows);
  }
}

template <int W, int P>
void QpelAvg(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  uint8_t q[W * 16];
  QpelPut<W, 0, P>(q, W, src, srcStride, rows);
  AverageInPlace<W, 0>(dst, dstStride, q, W, rows);
}

template <int W, int Rc, int... P>
constexpr std::array<HalfSampleKernel, 16> PutSet(std::integer_sequence<int, P...>) {
  return {QpelPut<W, Rc, P>...};
}

template <int W, int... P>
constexpr std::array<HalfSampleKernel, 16> AverageSet(std::integer_sequence<int, P...>) {
  return {QpelAvg<W, P>...};
}

template <size_t N>
constexpr void Fill(HalfSampleKernel (&to)[N], const std::array<HalfSampleKernel, N>& from) {
  for (size_t i = 0; i < N; ++i) to[i] = from[i];
}

constexpr QuarterSampleKernels BuildPlain() {
  constexpr auto positions = std::make_integer_sequence<int, 16>();
  QuarterSampleKernels k{};
  Fill(k.put16[0], PutSet<16, 0>(positions));
  Fill(k.put16[1], PutSet<16, 1>(positions));
  Fill(k.put8[0], PutSet<8, 0>(positions));
  Fill(k.put8[1], PutSet<8, 1>(positions));
  Fill(k.average16, AverageSet<16>(positions));
  Fill(k.average8, AverageSet<8>(positions));
  return k;
}

}  // namespace

const QuarterSampleKernels kPlainQuarterSampleKernels = BuildPlain();

}  // namespace tlx::mpeg4

// How the quarter-sample kernels are put together from their parts, shared
// by the plain and the vector forms: the lowpass filters and the averages
// come from `Parts`, which provides
//   template <int W> static void Copy(dst, dstStride, src, srcStride, rows);
//   template <int W, int Rc> static void LowpassH(...), LowpassV(...),
//   AverageInPlace(...) (dst = (dst + src + 1 - rc) >> 1).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "filters/mpeg4/core/quarter_sample_kernels.h"

namespace tlx::mpeg4::quarter_sample {

template <typename Parts, int W, int Rc, int P>
void Put(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  constexpr int fx = P & 3;
  constexpr int fy = P >> 2;
  if constexpr (P == 0) {
    Parts::template Copy<W>(dst, dstStride, src, srcStride, rows);
  } else if constexpr (fy == 0) {
    Parts::template LowpassH<W, Rc>(dst, dstStride, src, srcStride, rows);
    if constexpr (fx != 2) {
      Parts::template AverageInPlace<W, Rc>(dst, dstStride, src + (fx == 3 ? 1 : 0), srcStride, rows);
    }
  } else if constexpr (fx == 0) {
    Parts::template LowpassV<W, Rc>(dst, dstStride, src, srcStride, rows);
    if constexpr (fy != 2) {
      Parts::template AverageInPlace<W, Rc>(dst, dstStride, src + (fy == 3 ? srcStride : 0), srcStride, rows);
    }
  } else {
    alignas(16) uint8_t t[W * 17];
    Parts::template LowpassH<W, Rc>(t, W, src, srcStride, rows + 1);
    if constexpr (fx != 2) Parts::template AverageInPlace<W, Rc>(t, W, src + (fx == 3 ? 1 : 0), srcStride, rows + 1);
    Parts::template LowpassV<W, Rc>(dst, dstStride, t, W, rows);
    if constexpr (fy != 2) Parts::template AverageInPlace<W, Rc>(dst, dstStride, t + (fy == 3 ? W : 0), W, rows);
  }
}

template <typename Parts, int W, int P>
void Average(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  alignas(16) uint8_t q[W * 16];
  Put<Parts, W, 0, P>(q, W, src, srcStride, rows);
  Parts::template AverageInPlace<W, 0>(dst, dstStride, q, W, rows);
}

template <typename Parts, int W, int Rc, int... P>
constexpr std::array<HalfSampleKernel, 16> PutSet(std::integer_sequence<int, P...>) {
  return {Put<Parts, W, Rc, P>...};
}

template <typename Parts, int W, int... P>
constexpr std::array<HalfSampleKernel, 16> AverageSet(std::integer_sequence<int, P...>) {
  return {Average<Parts, W, P>...};
}

template <size_t N>
constexpr void Fill(HalfSampleKernel (&to)[N], const std::array<HalfSampleKernel, N>& from) {
  for (size_t i = 0; i < N; ++i) to[i] = from[i];
}

// The whole table of kernels built from Parts.
template <typename Parts>
constexpr QuarterSampleKernels Build() {
  constexpr auto positions = std::make_integer_sequence<int, 16>();
  QuarterSampleKernels k{};
  Fill(k.put16[0], PutSet<Parts, 16, 0>(positions));
  Fill(k.put16[1], PutSet<Parts, 16, 1>(positions));
  Fill(k.put8[0], PutSet<Parts, 8, 0>(positions));
  Fill(k.put8[1], PutSet<Parts, 8, 1>(positions));
  Fill(k.average16, AverageSet<Parts, 16>(positions));
  Fill(k.average8, AverageSet<Parts, 8>(positions));
  return k;
}

}  // namespace tlx::mpeg4::quarter_sample

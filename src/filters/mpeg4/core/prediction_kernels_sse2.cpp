#include "filters/mpeg4/core/prediction_kernels_sse2.h"

#include <cstring>

#include "filters/mpeg4/core/sse2_rows.h"

namespace tlx::mpeg4 {
namespace {

template <int W>
__m128i Load(const uint8_t* p) {
  return sse2::LoadRow<W>(p);
}

template <int W>
void Store(uint8_t* p, __m128i v) {
  sse2::StoreRow<W>(p, v);
}

using sse2::Average2;

// The sums of horizontally neighbouring samples s[i] + s[i + 1] of a row,
// i = 0..W-1, in 16-bit lanes: the first 8 and (16 wide) the next 8.
template <int W>
struct PairSums {
  __m128i low, high;
};

template <int W>
PairSums<W> SumPairs(const uint8_t* s) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i a = Load<W>(s);
  const __m128i b = Load<W>(s + 1);
  PairSums<W> sums{_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)), zero};
  if constexpr (W == 16) sums.high = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
  return sums;
}

// (a + b + c + d + 2 - rc) >> 2 per byte from the pair sums of two rows.
template <int W, int Rc>
__m128i Average4(const PairSums<W>& above, const PairSums<W>& below) {
  const __m128i bias = _mm_set1_epi16(2 - Rc);
  const auto quarter = [&](__m128i x, __m128i y) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, y), bias), 2);
  };
  const __m128i low = quarter(above.low, below.low);
  if constexpr (W == 16) return _mm_packus_epi16(low, quarter(above.high, below.high));
  return _mm_packus_epi16(low, low);
}

// Each row's prediction from `predict`, stored or averaged into dst.
template <int W, bool kAverage, typename Predict>
void Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows, Predict predict) {
  for (int32_t r = 0; r < rows; ++r, dst += dstStride, src += srcStride) {
    __m128i p = predict(src);
    if constexpr (kAverage) p = _mm_avg_epu8(p, Load<W>(dst));
    Store<W>(dst, p);
  }
}

template <int W, int Rc, bool kAverage>
void Horizontal(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Rows<W, kAverage>(dst, dstStride, src, srcStride, rows,
                    [](const uint8_t* s) { return Average2<Rc>(Load<W>(s), Load<W>(s + 1)); });
}

template <int W, int Rc, bool kAverage>
void Vertical(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Rows<W, kAverage>(dst, dstStride, src, srcStride, rows,
                    [srcStride](const uint8_t* s) { return Average2<Rc>(Load<W>(s), Load<W>(s + srcStride)); });
}

template <int W, int Rc, bool kAverage>
void Diagonal(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  // Each row's pair sums are made once and serve the output rows above and
  // below it.
  PairSums<W> above = SumPairs<W>(src);
  Rows<W, kAverage>(dst, dstStride, src, srcStride, rows, [srcStride, &above](const uint8_t* s) {
    const PairSums<W> below = SumPairs<W>(s + srcStride);
    const __m128i p = Average4<W, Rc>(above, below);
    above = below;
    return p;
  });
}

// Rows of `span` bytes copied 16 at a time, the rest by bytes (the library
// is called only for a rest, as the usual spans have none).
void CopyRow(uint8_t* dst, const uint8_t* src, size_t span) {
  size_t i = 0;
  for (; i + 16 <= span; i += 16) Store<16>(dst + i, Load<16>(src + i));
  if (i < span) std::memcpy(dst + i, src + i, span - i);
}

// `count` bytes of `value`, 16 at a time where they fit (the library is
// called only for a rest, as the usual borders have none).
void Fill(uint8_t* dst, uint8_t value, int32_t count) {
  const __m128i v = _mm_set1_epi8(char(value));
  int32_t i = 0;
  for (; i + 16 <= count; i += 16) Store<16>(dst + i, v);
  for (; i + 8 <= count; i += 8) Store<8>(dst + i, v);
  if (i < count) std::memset(dst + i, value, size_t(count - i));
}

void PadPlaneSse2(uint8_t* origin, ptrdiff_t stride, int32_t width, int32_t height, int32_t padWidth,
                  int32_t padHeight, int32_t extraRows) {
  uint8_t* row = origin;
  for (int32_t r = 0; r < height; ++r, row += stride) {
    Fill(row - padWidth, row[0], padWidth);
    Fill(row + width, row[width - 1], padWidth);
  }
  const size_t span = size_t(width + 2 * padWidth);
  const uint8_t* first = origin - padWidth;
  const uint8_t* last = first + (height - 1) * stride;
  for (int32_t r = 1; r <= padHeight; ++r) CopyRow(origin - padWidth - r * stride, first, span);
  for (int32_t r = 1; r <= padHeight + extraRows; ++r) {
    CopyRow(origin - padWidth + (height - 1 + r) * stride, last, span);
  }
}

}  // namespace

void CopyMacroblockSse2(const PicturePlanes& destination, const PicturePlanes& source, int32_t x, int32_t y) {
  CopyBlockSse2<16>(destination.y + y * destination.lumaStride + x, destination.lumaStride,
                    source.y + y * destination.lumaStride + x, destination.lumaStride, 16);
  const ptrdiff_t chroma = (y / 2) * destination.chromaStride + x / 2;
  CopyBlockSse2<8>(destination.u + chroma, destination.chromaStride, source.u + chroma, destination.chromaStride, 8);
  CopyBlockSse2<8>(destination.v + chroma, destination.chromaStride, source.v + chroma, destination.chromaStride, 8);
}

void PadBordersSse2(const PicturePlanes& planes) {
  PadPlaneSse2(planes.y, planes.lumaStride, planes.width, planes.height, planes.lumaPadWidth, planes.lumaPadHeight,
               planes.extraRows);
  PadPlaneSse2(planes.u, planes.chromaStride, planes.chromaWidth, planes.chromaHeight, planes.chromaPadWidth,
               planes.chromaPadHeight, planes.extraRows);
  PadPlaneSse2(planes.v, planes.chromaStride, planes.chromaWidth, planes.chromaHeight, planes.chromaPadWidth,
               planes.chromaPadHeight, planes.extraRows);
}

template <int W>
void CopyBlockSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Rows<W, false>(dst, dstStride, src, srcStride, rows, [](const uint8_t* s) { return Load<W>(s); });
}

template <int W, int Rc>
void HpelHSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Horizontal<W, Rc, false>(dst, dstStride, src, srcStride, rows);
}

template <int W, int Rc>
void HpelVSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Vertical<W, Rc, false>(dst, dstStride, src, srcStride, rows);
}

template <int W, int Rc>
void HpelHVSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Diagonal<W, Rc, false>(dst, dstStride, src, srcStride, rows);
}

template <int W>
void HpelCopyAvgSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Rows<W, true>(dst, dstStride, src, srcStride, rows, [](const uint8_t* s) { return Load<W>(s); });
}

template <int W>
void HpelHAvgSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Horizontal<W, 0, true>(dst, dstStride, src, srcStride, rows);
}

template <int W>
void HpelVAvgSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Vertical<W, 0, true>(dst, dstStride, src, srcStride, rows);
}

template <int W>
void HpelHVAvgSse2(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  Diagonal<W, 0, true>(dst, dstStride, src, srcStride, rows);
}

#define TLX_SSE2_FORMS(W)                                                                    \
  template void CopyBlockSse2<W>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);   \
  template void HpelHSse2<W, 0>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);    \
  template void HpelHSse2<W, 1>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);    \
  template void HpelVSse2<W, 0>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);    \
  template void HpelVSse2<W, 1>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);    \
  template void HpelHVSse2<W, 0>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);   \
  template void HpelHVSse2<W, 1>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);   \
  template void HpelCopyAvgSse2<W>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t); \
  template void HpelHAvgSse2<W>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);    \
  template void HpelVAvgSse2<W>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);    \
  template void HpelHVAvgSse2<W>(uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t);
TLX_SSE2_FORMS(16)
TLX_SSE2_FORMS(8)
#undef TLX_SSE2_FORMS

}  // namespace tlx::mpeg4

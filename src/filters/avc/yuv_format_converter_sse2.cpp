// The SIMD YUY2 row: sixteen pixels a step with SSE2, rounding the chroma
// filter by half before the shift; the rest of the row with the same sums.
#include <emmintrin.h>

#include <cstring>

#include "yuv_format_converter.h"

namespace tlx::avc {
namespace {

inline uint8_t Filter(int wa, int a, int wb, int b, int shift) {
  return static_cast<uint8_t>((wa * a + wb * b + (1 << (shift - 1))) >> shift);
}

__m128i LoadChroma(const uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

void Yuy2RowSse2(const uint8_t* y, const uint8_t* ua, const uint8_t* ub, const uint8_t* va, const uint8_t* vb, int wa,
                 int wb, int shift, uint8_t* destination, int width) {
  const __m128i weightA = _mm_set1_epi16(static_cast<int16_t>(wa));
  const __m128i weightB = _mm_set1_epi16(static_cast<int16_t>(wb));
  const __m128i half = _mm_set1_epi16(static_cast<int16_t>(1 << (shift - 1)));
  const __m128i count = _mm_cvtsi32_si128(shift);
  const auto filter = [&](const uint8_t* a, const uint8_t* b) {
    __m128i sum = _mm_add_epi16(_mm_mullo_epi16(LoadChroma(a), weightA), _mm_mullo_epi16(LoadChroma(b), weightB));
    return _mm_srl_epi16(_mm_add_epi16(sum, half), count);
  };
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const int c = x / 2;
    const __m128i u = filter(ua + c, ub + c), v = filter(va + c, vb + c);
    // U0 V0 U1 V1 ... U7 V7, then Y U Y V per pixel pair.
    const __m128i uv = _mm_packus_epi16(_mm_unpacklo_epi16(u, v), _mm_unpackhi_epi16(u, v));
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 2 * x), _mm_unpacklo_epi8(luma, uv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 2 * x + 16), _mm_unpackhi_epi8(luma, uv));
  }
  for (; x < width; x += 2) {
    const int c = x / 2;
    destination[2 * x] = y[x];
    destination[2 * x + 1] = Filter(wa, ua[c], wb, ub[c], shift);
    if (x + 1 == width) break;
    destination[2 * x + 2] = y[x + 1];
    destination[2 * x + 3] = Filter(wa, va[c], wb, vb[c], shift);
  }
}

}  // namespace

void InitYuvFormatDspSse2(YuvFormatDsp* dsp) { dsp->yuy2Row = Yuy2RowSse2; }

}  // namespace tlx::avc

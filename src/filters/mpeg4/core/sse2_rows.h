// Row helpers of the SSE2 prediction kernels: W-byte rows (16 or 8) as the
// low bytes of a vector, and the two-sample average with rounding control.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace tlx::mpeg4::sse2 {

template <int W>
inline __m128i LoadRow(const uint8_t* p) {
  if constexpr (W == 16) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  } else {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  }
}

template <int W>
inline void StoreRow(uint8_t* p, __m128i v) {
  if constexpr (W == 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  } else {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
  }
}

// (a + b + 1 - rc) >> 1 per byte.
template <int Rc>
inline __m128i Average2(__m128i a, __m128i b) {
  const __m128i up = _mm_avg_epu8(a, b);
  if constexpr (Rc == 0) return up;
  return _mm_sub_epi8(up, _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

}  // namespace tlx::mpeg4::sse2

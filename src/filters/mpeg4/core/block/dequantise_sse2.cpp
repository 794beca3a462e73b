#include <emmintrin.h>

#include "filters/mpeg4/core/block/block_decoding.h"

namespace tlx::mpeg4 {
namespace {

inline __m128i Min32(__m128i a, __m128i b) {
  const __m128i aGreater = _mm_cmpgt_epi32(a, b);
  return _mm_or_si128(_mm_and_si128(aGreater, b), _mm_andnot_si128(aGreater, a));
}

// The low 32 bits of each lane's product, as a 32-bit multiply gives them.
inline __m128i MulLow32(__m128i a, __m128i b) {
  const __m128i even = _mm_mul_epu32(a, b);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
}

// Lane k of the values into the block at the listed position p[k].
template <int k>
inline uint32_t Scatter(int16_t* block, const uint32_t* p, __m128i values) {
  block[p[k]] = static_cast<int16_t>(_mm_extract_epi16(values, k));
  return kShapeBit[p[k]];
}

}  // namespace

// Four listed levels at a time; the level list has room for whole groups, so
// the last group reads entries past the count but writes only listed ones.
// Results lie in [-2048, 2047], so packing them to 16 bits is exact.
uint32_t DequantiseBlockSse2(BlockDecoderState& state, int16_t* block, uint32_t shape) {
  const int32_t q = state.quantiser;
  const __m128i quantiser = _mm_set1_epi32(q);
  const __m128i evenCorrection = _mm_set1_epi32((q & 1) ? 0 : 1);
  const __m128i one = _mm_set1_epi32(1);
  const __m128i limit = _mm_set1_epi32(2047);
  static_assert(sizeof(state.level) / sizeof(state.level[0]) % 4 == 0);
  const uint32_t count = state.count;
  for (uint32_t i = 0; i < count; i += 4) {
    const __m128i level = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state.level + i));
    const __m128i sign = _mm_and_si128(level, one);
    const __m128i cap = _mm_add_epi32(limit, sign);
    const __m128i magnitude = Min32(_mm_srli_epi32(level, 1), cap);
    const __m128i product = MulLow32(quantiser, _mm_add_epi32(_mm_slli_epi32(magnitude, 1), one));
    const __m128i r = Min32(_mm_sub_epi32(product, evenCorrection), cap);
    const __m128i negate = _mm_sub_epi32(_mm_setzero_si128(), sign);
    const __m128i signedValues = _mm_sub_epi32(_mm_xor_si128(r, negate), negate);
    const __m128i values = _mm_packs_epi32(signedValues, signedValues);
    const uint32_t* p = state.position + i;
    const uint32_t left = count - i;
    shape |= Scatter<0>(block, p, values);
    if (left > 1) shape |= Scatter<1>(block, p, values);
    if (left > 2) shape |= Scatter<2>(block, p, values);
    if (left > 3) shape |= Scatter<3>(block, p, values);
  }
  return shape;
}

}  // namespace tlx::mpeg4

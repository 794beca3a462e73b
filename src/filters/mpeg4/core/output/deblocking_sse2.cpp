// The edge filter on eight lines at once: one 16-bit lane per line, each
// mode's decision a lane mask. Every intermediate fits its lane (the largest,
// 5 x |a0| + 32, is below 9000).
#include <emmintrin.h>

#include "filters/mpeg4/core/output/deblocking.h"

namespace tlx::mpeg4 {
namespace {

__m128i Abs(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }

__m128i Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// The 8x8 matrix of 16-bit values m (m[i] lane k = entry i, k) transposed in
// place.
void Transpose(__m128i (&m)[8]) {
  const __m128i a0 = _mm_unpacklo_epi16(m[0], m[1]), a1 = _mm_unpackhi_epi16(m[0], m[1]);
  const __m128i a2 = _mm_unpacklo_epi16(m[2], m[3]), a3 = _mm_unpackhi_epi16(m[2], m[3]);
  const __m128i a4 = _mm_unpacklo_epi16(m[4], m[5]), a5 = _mm_unpackhi_epi16(m[4], m[5]);
  const __m128i a6 = _mm_unpacklo_epi16(m[6], m[7]), a7 = _mm_unpackhi_epi16(m[6], m[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  m[0] = _mm_unpacklo_epi64(b0, b4), m[1] = _mm_unpackhi_epi64(b0, b4);
  m[2] = _mm_unpacklo_epi64(b1, b5), m[3] = _mm_unpackhi_epi64(b1, b5);
  m[4] = _mm_unpacklo_epi64(b2, b6), m[5] = _mm_unpackhi_epi64(b2, b6);
  m[6] = _mm_unpacklo_epi64(b3, b7), m[7] = _mm_unpackhi_epi64(b3, b7);
}

}  // namespace

void DeblockEdgeSse2(uint8_t* line, ptrdiff_t across, ptrdiff_t along, int qp, int thr1, int thr2) {
  // The vector form reads the lines as rows or as columns of the picture;
  // any other layout takes the plain form.
  if (along != 1 && across != 1) {
    DeblockEdge(line, across, along, qp, thr1, thr2);
    return;
  }
  const __m128i zero = _mm_setzero_si128();
  // Sample k of the eight lines, one line per lane. Lines that run along a
  // row (across 1: vertical edges) are loaded as rows, samples 0-7
  // transposed in registers and samples 8 and 9 gathered as one word per
  // line.
  __m128i s[10];
  if (along == 1) {
    for (int k = 0; k < 10; ++k) {
      s[k] = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(line + k * across)), zero);
    }
  } else {
    __m128i rows[8];
    alignas(16) uint16_t tails[8];
    for (int i = 0; i < 8; ++i) {
      const uint8_t* row = line + i * along;
      rows[i] = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)), zero);
      tails[i] = uint16_t(row[8] | row[9] << 8);
    }
    Transpose(rows);
    for (int k = 0; k < 8; ++k) s[k] = rows[k];
    const __m128i tail = _mm_load_si128(reinterpret_cast<const __m128i*>(tails));
    s[8] = _mm_and_si128(tail, _mm_set1_epi16(0xFF));
    s[9] = _mm_srli_epi16(tail, 8);
  }
  const __m128i qpLanes = _mm_set1_epi16(int16_t(qp));
  const __m128i above1 = _mm_set1_epi16(int16_t(thr1 + 1));
  __m128i count = zero;  // minus the number of flat steps
  for (int k = 0; k < 9; ++k) count = _mm_add_epi16(count, _mm_cmpgt_epi16(above1, Abs(_mm_sub_epi16(s[k], s[k + 1]))));
  const __m128i dcLines = _mm_cmpgt_epi16(_mm_sub_epi16(zero, count), _mm_set1_epi16(int16_t(thr2 - 1)));

  // DC offset mode.
  __m128i high = s[1], low = s[1];
  for (int k = 2; k <= 8; ++k) high = _mm_max_epi16(high, s[k]), low = _mm_min_epi16(low, s[k]);
  const __m128i smooth = _mm_cmpgt_epi16(_mm_add_epi16(qpLanes, qpLanes), _mm_sub_epi16(high, low));
  const __m128i e0 = Select(_mm_cmpgt_epi16(qpLanes, Abs(_mm_sub_epi16(s[1], s[0]))), s[0], s[1]);
  const __m128i e9 = Select(_mm_cmpgt_epi16(qpLanes, Abs(_mm_sub_epi16(s[8], s[9]))), s[9], s[8]);
  const __m128i useLowPass = _mm_and_si128(dcLines, smooth);

  // Default mode.
  const auto term = [](__m128i a, __m128i b, __m128i c, __m128i d) {
    // 2(a - d) - 5(b - c)
    const __m128i outer = _mm_sub_epi16(a, d);
    const __m128i inner = _mm_sub_epi16(b, c);
    return _mm_sub_epi16(_mm_add_epi16(outer, outer), _mm_add_epi16(_mm_slli_epi16(inner, 2), inner));
  };
  const __m128i a0 = Abs(term(s[3], s[4], s[5], s[6]));
  const __m128i a0Signed = term(s[3], s[4], s[5], s[6]);
  const __m128i a1 = Abs(term(s[1], s[2], s[3], s[4]));
  const __m128i a2 = Abs(term(s[5], s[6], s[7], s[8]));
  const __m128i step = _mm_sub_epi16(s[4], s[5]);
  const __m128i opposite =
      _mm_or_si128(_mm_and_si128(_mm_cmpgt_epi16(a0Signed, zero), _mm_cmpgt_epi16(zero, step)),
                   _mm_and_si128(_mm_cmpgt_epi16(zero, a0Signed), _mm_cmpgt_epi16(step, zero)));
  const __m128i applies = _mm_andnot_si128(
      dcLines, _mm_and_si128(opposite, _mm_cmpgt_epi16(qpLanes, _mm_srai_epi16(a0, 3))));
  const __m128i excess = _mm_sub_epi16(a0, _mm_min_epi16(a0, _mm_min_epi16(a1, a2)));
  const __m128i fiveTimes = _mm_add_epi16(_mm_slli_epi16(excess, 2), excess);
  const __m128i m = _mm_srai_epi16(_mm_add_epi16(fiveTimes, _mm_set1_epi16(32)), 6);
  const __m128i d = _mm_and_si128(applies, _mm_min_epi16(m, _mm_srai_epi16(Abs(step), 1)));
  // s4 moves towards s5 by d, s5 towards s4.
  const __m128i down = _mm_cmpgt_epi16(step, zero);
  const __m128i delta = Select(down, _mm_sub_epi16(zero, d), d);
  // Lines that neither mode changes keep their samples: with none, the edge
  // is left as it is (most edges of a smooth or finely quantised picture).
  const bool anyLowPass = _mm_movemask_epi8(useLowPass) != 0;
  if (!anyLowPass && _mm_movemask_epi8(_mm_cmpeq_epi16(d, zero)) == 0xFFFF) return;
  __m128i out[9];
  for (int k = 1; k <= 8; ++k) out[k] = s[k];
  out[4] = _mm_add_epi16(s[4], delta);
  out[5] = _mm_sub_epi16(s[5], delta);
  if (anyLowPass) {
    __m128i padded[16];  // samples -3 .. 12
    for (int m = -3; m <= 12; ++m) padded[m + 3] = m < 1 ? e0 : m > 8 ? e9 : s[m];
    static constexpr int kWeights[9] = {1, 1, 2, 2, 4, 2, 2, 1, 1};
#pragma GCC unroll 8
    for (int n = 1; n <= 8; ++n) {
      __m128i sum = _mm_set1_epi16(8);
#pragma GCC unroll 9
      for (int t = -4; t <= 4; ++t) {
        const __m128i sample = padded[n + t + 3];
        sum = _mm_add_epi16(sum,
                            kWeights[t + 4] == 1 ? sample : _mm_slli_epi16(sample, kWeights[t + 4] == 2 ? 1 : 2));
      }
      out[n] = Select(useLowPass, _mm_srai_epi16(sum, 4), out[n]);
    }
  }
  if (along == 1) {
    for (int k = 1; k <= 8; ++k) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(line + k * across), _mm_packus_epi16(out[k], zero));
    }
    return;
  }
  // Samples 1-8 of each line back into its row.
  __m128i rows[8];
  for (int k = 0; k < 8; ++k) rows[k] = out[k + 1];
  Transpose(rows);
  for (int i = 0; i < 8; ++i) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(line + i * along + 1), _mm_packus_epi16(rows[i], zero));
  }
}

}  // namespace tlx::mpeg4

#include <emmintrin.h>

#include <array>

#include "filters/mpeg4/core/block/idct.h"
#include "filters/mpeg4/core/block/idct_constants.h"

namespace tlx::mpeg4 {
namespace {

// The row pass as four pmaddwd products per row. The scaled coefficients are
// taken in pairs (s0, s4), (s2, s6) for the even part and (s1, s5), (s3, s7)
// for the odd part; lane j of a product holds the pair's share of e_j or o_j.
// Each pmaddwd sums two products of 16-bit values below 2^30 in magnitude, so
// it is exact; the further 32-bit adds wrap as the plain sums do.
struct RowWeights {
  alignas(16) int16_t even04[8];
  alignas(16) int16_t even26[8];
  alignas(16) int16_t odd15[8];
  alignas(16) int16_t odd37[8];
};

constexpr RowWeights BuildRowWeights(const int16_t* w) {
  const int16_t w1 = w[0], w2 = w[1], w3 = w[2], w4 = w[3], w5 = w[4], w6 = w[5], w7 = w[6];
  auto n = [](int16_t v) { return static_cast<int16_t>(-v); };
  return {{w4, w4, w4, n(w4), w4, n(w4), w4, w4},
          {w2, w6, w6, n(w2), n(w6), w2, n(w2), n(w6)},
          {w1, w5, w3, n(w1), w5, w7, w7, w3},
          {w3, w7, n(w7), n(w5), n(w1), w3, n(w5), n(w1)}};
}

constexpr std::array<RowWeights, 8> BuildAllRowWeights() {
  std::array<RowWeights, 8> all{};
  for (int r = 0; r < 8; ++r) all[r] = BuildRowWeights(kRowConstants[r]);
  return all;
}

alignas(16) constexpr std::array<RowWeights, 8> kRowWeights = BuildAllRowWeights();

inline __m128i Load(const int16_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }

// Row `row` of block into outputs 0-3 (lo) and 4-7 (hi); clears the row.
// Kept inline so the outputs stay in registers.
[[gnu::always_inline]] inline void RowPass(int16_t* block, int row, __m128i& lo, __m128i& hi) {
  __m128i* x = reinterpret_cast<__m128i*>(block + 8 * row);
  const __m128i s = _mm_slli_epi16(_mm_loadu_si128(x), 4);
  const __m128i pairs = _mm_unpacklo_epi16(s, _mm_srli_si128(s, 8));  // s0 s4 s1 s5 s2 s6 s3 s7
  const RowWeights& w = kRowWeights[row];
  const __m128i even = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(pairs, 0x00), Load(w.even04)),
                                     _mm_madd_epi16(_mm_shuffle_epi32(pairs, 0xAA), Load(w.even26)));
  const __m128i odd = _mm_add_epi32(_mm_madd_epi16(_mm_shuffle_epi32(pairs, 0x55), Load(w.odd15)),
                                    _mm_madd_epi16(_mm_shuffle_epi32(pairs, 0xFF), Load(w.odd37)));
  lo = _mm_add_epi32(even, odd);
  hi = _mm_shuffle_epi32(_mm_sub_epi32(even, odd), 0x1B);
  _mm_storeu_si128(x, _mm_setzero_si128());
}

// The upper 16 bits of each lane (signed) times m, exact in 32 bits.
inline __m128i HighMul(__m128i v, int32_t m) {
  return _mm_madd_epi16(v, _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(m) << 16)));
}

inline __m128i Add(__m128i a, __m128i b) { return _mm_add_epi32(a, b); }
inline __m128i Sub(__m128i a, __m128i b) { return _mm_sub_epi32(a, b); }
inline __m128i FinalShift(__m128i v) { return _mm_srai_epi32(v, kColumnShift); }

// The column pass on four columns at once (one lane each): X[r] holds row r's
// row-pass outputs, out[r] the shifted, not yet saturated residuals.
[[gnu::always_inline]] inline void ColumnPass(const __m128i X[8], __m128i out[8]) {
  const __m128i A = Add(Add(X[3], X[5]), HighMul(X[5], kT3));
  const __m128i B = Sub(Sub(X[5], X[3]), HighMul(X[3], kT3));
  const __m128i V = Add(X[1], HighMul(X[7], kT1));
  const __m128i Uo = Sub(HighMul(X[1], kT1), X[7]);
  const __m128i E = Add(V, A), F = Sub(V, A), G = Add(Uo, B), H = Sub(Uo, B);
  const __m128i FpH = Add(F, H), FmH = Sub(F, H);
  const __m128i I = Add(FpH, HighMul(FpH, kT4));
  const __m128i J = Add(FmH, HighMul(FmH, kT4));
  const __m128i L = Add(X[2], HighMul(X[6], kT2));
  const __m128i K = Sub(HighMul(X[2], kT2), X[6]);
  const __m128i bias = _mm_set1_epi32(static_cast<int32_t>(kColumnBias));
  const __m128i M = Add(Add(X[0], X[4]), bias);
  const __m128i P = Add(Sub(X[0], X[4]), bias);
  const __m128i N = Add(M, L), O = Sub(M, L), Q = Add(P, K), R = Sub(P, K);
  out[0] = FinalShift(Add(N, E));
  out[7] = FinalShift(Sub(N, E));
  out[1] = FinalShift(Add(Q, I));
  out[6] = FinalShift(Sub(Q, I));
  out[2] = FinalShift(Add(R, J));
  out[5] = FinalShift(Sub(R, J));
  out[3] = FinalShift(Add(O, G));
  out[4] = FinalShift(Sub(O, G));
}

// Residual rows of the full transform with rows kRows..7 known to be zero,
// eight 16-bit values each; rows without a shape bit contribute zeros and are
// not touched. The zeros of the rows known to be zero are constants, so the
// column pass leaves their terms out.
template <int kRows>
[[gnu::always_inline]] inline void ResidualsOfRows(int16_t* block, uint32_t shape, __m128i residual[8]) {
  __m128i lo[8], hi[8];
#pragma GCC unroll 8
  for (int r = 0; r < 8; ++r) {
    if (r < kRows && (shape & kRowMask[r])) {
      RowPass(block, r, lo[r], hi[r]);
    } else {
      lo[r] = hi[r] = _mm_setzero_si128();
    }
  }
  __m128i left[8], right[8];
  ColumnPass(lo, left);
  ColumnPass(hi, right);
  for (int r = 0; r < 8; ++r) residual[r] = _mm_packs_epi32(left[r], right[r]);
}

constexpr uint32_t kRowsFourToSeven = kRowMask[4] | kRowMask[5] | kRowMask[6] | kRowMask[7];

// The full transform; blocks whose coefficients lie in rows 0-3 (most coded
// inter blocks) take the shorter column pass.
void FullResiduals(int16_t* block, uint32_t shape, __m128i residual[8]) {
  if ((shape & kRowsFourToSeven) == 0) {
    ResidualsOfRows<4>(block, shape, residual);
  } else {
    ResidualsOfRows<8>(block, shape, residual);
  }
}

// Row 0 alone: every output row is the row pass plus the bias, shifted.
__m128i FirstRowResidual(int16_t* block) {
  __m128i lo, hi;
  RowPass(block, 0, lo, hi);
  const __m128i bias = _mm_set1_epi32(static_cast<int32_t>(kColumnBias));
  return _mm_packs_epi32(FinalShift(Add(lo, bias)), FinalShift(Add(hi, bias)));
}

// Column 0 alone: each row pass gives 16 * w4 * x in every output, so one
// column pass, with that value in every lane, gives each row's residual in
// all eight columns.
void FirstColumnResiduals(int16_t* block, __m128i residual[8]) {
  __m128i X[8];
  for (int r = 0; r < 8; ++r) {
    int16_t* x = block + 8 * r;
    const auto scaled = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint16_t>(x[0]) << 4));
    X[r] = _mm_set1_epi32(scaled * kRowConstants[r][3]);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(x), _mm_setzero_si128());
  }
  __m128i out[8];
  ColumnPass(X, out);
  for (int r = 0; r < 8; ++r) residual[r] = _mm_packs_epi32(out[r], out[r]);
}

inline void PutRow(uint8_t* dst, __m128i residual) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(residual, residual));
}

// 16-bit wrapping add of the residual to the samples, then clamped to bytes.
inline void AddRow(uint8_t* dst, __m128i residual) {
  const __m128i samples =
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst)), _mm_setzero_si128());
  const __m128i sum = _mm_add_epi16(samples, residual);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(sum, sum));
}

}  // namespace

void IdctDispatchPutSse2(int16_t* block, uint8_t* dst, ptrdiff_t stride, uint32_t shape) {
  if (shape == 1) {
    const __m128i v = _mm_set1_epi16(IdctDcResidual(block));
    for (int r = 0; r < 8; ++r, dst += stride) PutRow(dst, v);
  } else if ((shape & kRowsOneToSeven) == 0) {
    const __m128i v = FirstRowResidual(block);
    for (int r = 0; r < 8; ++r, dst += stride) PutRow(dst, v);
  } else {
    __m128i residual[8];
    FullResiduals(block, shape, residual);
    for (int r = 0; r < 8; ++r, dst += stride) PutRow(dst, residual[r]);
  }
}

void IdctDispatchAddSse2(int16_t* block, uint8_t* dst, ptrdiff_t stride, uint32_t shape) {
  if (shape == 1) {
    const __m128i v = _mm_set1_epi16(IdctDcResidual(block));
    for (int r = 0; r < 8; ++r, dst += stride) AddRow(dst, v);
  } else if ((shape & kRowsOneToSeven) == 0) {
    const __m128i v = FirstRowResidual(block);
    for (int r = 0; r < 8; ++r, dst += stride) AddRow(dst, v);
  } else {
    __m128i residual[8];
    if ((shape & kNotFirstColumnOfRowsZeroToSix) == 0) {
      FirstColumnResiduals(block, residual);
    } else {
      FullResiduals(block, shape, residual);
    }
    for (int r = 0; r < 8; ++r, dst += stride) AddRow(dst, residual[r]);
  }
}

}  // namespace tlx::mpeg4

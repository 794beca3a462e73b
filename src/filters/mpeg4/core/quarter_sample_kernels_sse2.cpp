// The lowpass runs on eight outputs per step in 16-bit lanes: the tap sum
// lies within -3570..11730, and (8 x sum + 128 - rc) >> 8 equals
// (sum + 16 - rc) >> 5 for every integer sum, which stays in the lane.
#include "filters/mpeg4/core/quarter_sample_kernels_sse2.h"

#include <cstring>

#include "filters/mpeg4/core/prediction_kernels_sse2.h"
#include "filters/mpeg4/core/quarter_sample_composition.h"
#include "filters/mpeg4/core/sse2_rows.h"

namespace tlx::mpeg4 {
namespace {

using sse2::Average2;
using sse2::LoadRow;
using sse2::StoreRow;

inline int MirroredIndex(int k, int last) {
  if (k < 0) k = -1 - k;
  if (k > last) k = 2 * last + 1 - k;
  return k;
}

// Eight lowpass outputs from the taps t[0..7] (t[3], t[4] the nearest).
template <int Rc>
inline __m128i Lowpass(const __m128i (&t)[8]) {
  const __m128i near = _mm_mullo_epi16(_mm_add_epi16(t[3], t[4]), _mm_set1_epi16(20));
  const __m128i second = _mm_mullo_epi16(_mm_add_epi16(t[2], t[5]), _mm_set1_epi16(6));
  const __m128i third = _mm_mullo_epi16(_mm_add_epi16(t[1], t[6]), _mm_set1_epi16(3));
  const __m128i sum = _mm_sub_epi16(_mm_add_epi16(_mm_sub_epi16(near, second), third), _mm_add_epi16(t[0], t[7]));
  return _mm_srai_epi16(_mm_add_epi16(sum, _mm_set1_epi16(16 - Rc)), 5);
}

// Bytes first..first + 7 of a row, as the low 64 bits of a word.
inline uint64_t Load8(const uint8_t* p) {
  uint64_t bytes;
  std::memcpy(&bytes, p, 8);
  return bytes;
}

// Four bytes of a row, then the same four reversed.
inline uint64_t FourAndMirror(const uint8_t* p) {
  uint32_t bytes;
  std::memcpy(&bytes, p, 4);
  return bytes | uint64_t(__builtin_bswap32(bytes)) << 32;
}

// The eight taps of outputs 0-7 from 16 extended samples: tap k of output i
// is sample i + k, widened to 16 bits.
template <int Rc>
inline __m128i LowpassOfExtended(__m128i extended) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i t[8] = {_mm_unpacklo_epi8(extended, zero),
                        _mm_unpacklo_epi8(_mm_srli_si128(extended, 1), zero),
                        _mm_unpacklo_epi8(_mm_srli_si128(extended, 2), zero),
                        _mm_unpacklo_epi8(_mm_srli_si128(extended, 3), zero),
                        _mm_unpacklo_epi8(_mm_srli_si128(extended, 4), zero),
                        _mm_unpacklo_epi8(_mm_srli_si128(extended, 5), zero),
                        _mm_unpacklo_epi8(_mm_srli_si128(extended, 6), zero),
                        _mm_unpacklo_epi8(_mm_srli_si128(extended, 7), zero)};
  return Lowpass<Rc>(t);
}

template <int W, int Rc>
void LowpassH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r, dst += dstStride, src += srcStride) {
    // The row's samples -3 .. W + 4, mirrored about its window (-1 - k to
    // the left, 2W + 1 - k to the right), assembled in registers from reads
    // of samples 0..W only: extended sample j is entry j + 3.
    const uint64_t first = Load8(src);
    const uint64_t left = (first << 24) | (__builtin_bswap32(uint32_t(first)) >> 8);  // s2 s1 s0 s0 .. s4
    const uint64_t right = FourAndMirror(src + W - 3);  // s(W-3) .. s(W), then reversed
    if constexpr (W == 8) {
      StoreRow<8>(dst, _mm_packus_epi16(LowpassOfExtended<Rc>(_mm_set_epi64x(int64_t(right), int64_t(left))),
                                        _mm_setzero_si128()));
    } else {
      const uint64_t middle = Load8(src + 5);  // s5 .. s12
      const __m128i low = LowpassOfExtended<Rc>(_mm_set_epi64x(int64_t(middle), int64_t(left)));
      const __m128i high = LowpassOfExtended<Rc>(_mm_set_epi64x(int64_t(right), int64_t(middle)));
      StoreRow<16>(dst, _mm_packus_epi16(low, high));
    }
  }
}

// One source row widened to 16-bit lanes: its low and (16 wide) high half.
struct WidenedRow {
  __m128i low, high;
};

template <int W>
inline WidenedRow Widen(const uint8_t* p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bytes = LoadRow<W>(p);
  return {_mm_unpacklo_epi8(bytes, zero), W == 16 ? _mm_unpackhi_epi8(bytes, zero) : zero};
}

template <int W, int Rc>
void LowpassV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  const auto row = [&](int32_t k) { return Widen<W>(src + MirroredIndex(k, rows) * srcStride); };
  // The eight tap rows of output row r (rows r - 3 .. r + 4), held in
  // registers: each step reads one row.
  WidenedRow r0{}, r1 = row(-3), r2 = row(-2), r3 = row(-1), r4 = row(0), r5 = row(1), r6 = row(2), r7 = row(3);
  for (int32_t r = 0; r < rows; ++r) {
    r0 = r1, r1 = r2, r2 = r3, r3 = r4, r4 = r5, r5 = r6, r6 = r7;
    r7 = row(r + 4);
    const __m128i low[8] = {r0.low, r1.low, r2.low, r3.low, r4.low, r5.low, r6.low, r7.low};
    __m128i upper = _mm_setzero_si128();  // an 8-wide row has no upper half to filter
    if constexpr (W == 16) {
      const __m128i high[8] = {r0.high, r1.high, r2.high, r3.high, r4.high, r5.high, r6.high, r7.high};
      upper = Lowpass<Rc>(high);
    }
    StoreRow<W>(dst + r * dstStride, _mm_packus_epi16(Lowpass<Rc>(low), upper));
  }
}

template <int W, int Rc>
void AverageInPlace(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r, dst += dstStride, src += srcStride) {
    StoreRow<W>(dst, Average2<Rc>(LoadRow<W>(dst), LoadRow<W>(src)));
  }
}

struct Sse2Parts {
  template <int W>
  static void Copy(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
    CopyBlockSse2<W>(dst, dstStride, src, srcStride, rows);
  }
  template <int W, int Rc>
  static void LowpassH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
    tlx::mpeg4::LowpassH<W, Rc>(dst, dstStride, src, srcStride, rows);
  }
  template <int W, int Rc>
  static void LowpassV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
    tlx::mpeg4::LowpassV<W, Rc>(dst, dstStride, src, srcStride, rows);
  }
  template <int W, int Rc>
  static void AverageInPlace(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride,
                             int32_t rows) {
    tlx::mpeg4::AverageInPlace<W, Rc>(dst, dstStride, src, srcStride, rows);
  }
};

}  // namespace

const QuarterSampleKernels kSse2QuarterSampleKernels = quarter_sample::Build<Sse2Parts>();

}  // namespace tlx::mpeg4

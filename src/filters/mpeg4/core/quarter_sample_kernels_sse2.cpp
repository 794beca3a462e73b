// The lowpass runs on eight outputs per step in 16-bit lanes: the tap sum
// lies within -3570..11730, and (8 x sum + 128 - rc) >> 8 equals
// (sum + 16 - rc) >> 5 for every integer sum, which stays in the lane.
#include "quarter_sample_kernels_sse2.h"

#include "prediction_kernels_sse2.h"
#include "quarter_sample_composition.h"
#include "sse2_rows.h"

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

template <int W, int Rc>
void LowpassH(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r, dst += dstStride, src += srcStride) {
    // The row's samples -3 .. W + 4, mirrored about its window.
    alignas(16) int16_t extended[W + 8];
    for (int j = 0; j < W + 8; ++j) extended[j] = src[MirroredIndex(j - 3, W)];
    __m128i halves[2];
    for (int h = 0; h < W / 8; ++h) {
      __m128i t[8];
      for (int k = 0; k < 8; ++k) t[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(extended + 8 * h + k));
      halves[h] = Lowpass<Rc>(t);
    }
    StoreRow<W>(dst, _mm_packus_epi16(halves[0], W == 16 ? halves[1] : halves[0]));
  }
}

template <int W, int Rc>
void LowpassV(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows) {
  const __m128i zero = _mm_setzero_si128();
  for (int32_t r = 0; r < rows; ++r) {
    __m128i low[8], high[8];
    for (int k = 0; k < 8; ++k) {
      const __m128i row = LoadRow<W>(src + MirroredIndex(r + k - 3, rows) * srcStride);
      low[k] = _mm_unpacklo_epi8(row, zero);
      high[k] = _mm_unpackhi_epi8(row, zero);
    }
    StoreRow<W>(dst + r * dstStride, _mm_packus_epi16(Lowpass<Rc>(low), Lowpass<Rc>(high)));
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

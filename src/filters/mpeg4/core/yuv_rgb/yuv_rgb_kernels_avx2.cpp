// AVX2 form of the chunk loop (this file alone is compiled for AVX2; callers
// reach it only on processors that have it). A pair of rows in a four-byte
// format: the chroma terms and their blends are made for two chunks at a
// time (chunk j in the low lanes, j + 1 in the high ones), then regrouped so
// that a vector's low lane holds row 1's chunk and its high lane row 2's,
// and the pixel arithmetic runs once for both rows, with the SSE2 form's
// bytes. Single rows and the other formats take the SSE2 form.
#include <immintrin.h>

#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_kernels.h"
#include "yuv_rgb_vector.h"

namespace tlx::mpeg4 {
namespace {

using vector::PixelCoefficients;
using Terms = vector::TermsOf<__m128i>;
using Lanes = vector::TermsOf<__m256i>;

// Row 1's terms in the low lane, row 2's in the high one.
[[gnu::always_inline]] inline Lanes Join(const Terms& first, const Terms& second) {
  const auto join = [](__m128i low, __m128i high) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
  };
  return {join(first.r, second.r), join(first.g, second.g), join(first.b, second.b)};
}

// The same regrouping for two chunks' terms (chunk j low, j + 1 high):
// chunk j's (`lane` 0) or chunk j + 1's (`lane` 1) of both rows.
template <int kLane>
[[gnu::always_inline]] inline Lanes Regroup(const Lanes& first, const Lanes& second) {
  constexpr int kSelect = kLane == 0 ? 0x20 : 0x31;
  return {_mm256_permute2x128_si256(first.r, second.r, kSelect),
          _mm256_permute2x128_si256(first.g, second.g, kSelect),
          _mm256_permute2x128_si256(first.b, second.b, kSelect)};
}

// Sixteen pixels of each row: the low lanes to destination1, the high ones
// to destination2.
[[gnu::always_inline]] inline void StoreRows(uint8_t* destination1, uint8_t* destination2,
                                             const vector::Quads<__m256i>& q) {
  const auto store = [&](int offset, __m256i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination1 + offset), _mm256_castsi256_si128(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination2 + offset), _mm256_extracti128_si256(v, 1));
  };
  store(0, q.pixels0to3);
  store(16, q.pixels4to7);
  store(32, q.pixels8to11);
  store(48, q.pixels12to15);
}

// Both rows' chunk j from its terms and the next chunk's.
template <RgbFormat kFormat>
[[gnu::always_inline]] inline void ConvertChunk(const PixelCoefficients<__m256i>& pixel, uint8_t* destination1,
                                                uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2,
                                                int j, const Lanes& terms, const Lanes& next) {
  const __m256i luma = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(luma2 + 16 * j),
                                           reinterpret_cast<const __m128i*>(luma1 + 16 * j));
  const vector::SplitChannels<__m256i> channels =
      vector::PixelChannels(pixel, luma, terms, vector::FollowingTerms(terms, next));
  StoreRows(destination1 + 64 * j, destination2 + 64 * j,
            vector::FourBytePixels<kFormat>(channels, _mm256_setzero_si256()));
}

// Chunk c's terms (x) and, where they are needed, chunk c + 1's (y), made
// from chroma for chunks up to `last`; `before` holds chunk c - 1's.
template <RowBlend kBlend>
[[gnu::always_inline]] inline void MakeTerms(const vector::ChromaCoefficients<__m256i>& chroma,
                                             const vector::ChromaCoefficients<__m128i>& chroma128,
                                             const TermLines& lines, const uint8_t* cb, const uint8_t* cr,
                                             int groups, int last, int c, const Lanes& before, Lanes& x, Lanes& y) {
  if (c + 1 <= last) {
    Lanes first, second;
    vector::ChunkTerms<kBlend>(chroma, lines, cb, cr, c, groups, first, second);
    x = Regroup<0>(first, second);
    y = Regroup<1>(first, second);
  } else if (c <= last) {
    Terms first, second;
    vector::ChunkTerms<kBlend>(chroma128, lines, cb, cr, c, groups, first, second);
    x = Join(first, second);
    y = vector::EdgeTerms(x);
  } else {
    x = vector::EdgeTerms(before);
    y = x;
  }
}

// Two chunks per step: chunks j and j + 1 with the terms of j + 2 and j + 3
// made ahead. Terms are made from chroma only for chunks the SSE2 form
// reads (up to `last`): in pairs while both exist, the last one alone; the
// chunk after a row's edge repeats the edge.
template <RgbFormat kFormat, RowBlend kBlend>
void ConvertPairsOf(const ColourState& colour, const TermLines& lines, uint8_t* destination1,
                    uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                    const uint8_t* cr, int groups, bool edge) {
  const vector::ChromaCoefficients<__m256i> chroma(colour);
  const vector::ChromaCoefficients<__m128i> chroma128(colour);
  const PixelCoefficients<__m256i> pixel(colour);
  const int last = edge ? groups - 1 : groups;
  Lanes current, following;
  MakeTerms<kBlend>(chroma, chroma128, lines, cb, cr, groups, last, 0, current, current, following);
  for (int j = 0; j < groups; j += 2) {
    Lanes ahead = following, afterAhead = following;
    if (j + 2 <= groups) {
      MakeTerms<kBlend>(chroma, chroma128, lines, cb, cr, groups, last, j + 2, following, ahead, afterAhead);
    }
    ConvertChunk<kFormat>(pixel, destination1, destination2, luma1, luma2, j, current, following);
    if (j + 1 < groups) {
      ConvertChunk<kFormat>(pixel, destination1, destination2, luma1, luma2, j + 1, following, ahead);
    }
    current = ahead;
    following = afterAhead;
  }
}

template <RgbFormat kFormat>
void ConvertPairsIn(const ColourState& colour, const TermLines& lines, RowBlend blend, uint8_t* destination1,
                    uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                    const uint8_t* cr, int groups, bool edge) {
  vector::WithBlend(blend, [&](auto constant) {
    constexpr RowBlend kBlend = decltype(constant)::value;
    if constexpr (kBlend == RowBlend::None) {
      // A single row leaves the high lanes nothing to do.
      ConvertChunksSse2(colour, lines, blend, kFormat, destination1, destination2, luma1, luma2, cb, cr, groups,
                        edge);
    } else {
      ConvertPairsOf<kFormat, kBlend>(colour, lines, destination1, destination2, luma1, luma2, cb, cr, groups,
                                      edge);
    }
  });
}

}  // namespace

void ConvertChunksAvx2(const ColourState& colour, const TermLines& lines, RowBlend blend, RgbFormat format,
                       uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2,
                       const uint8_t* cb, const uint8_t* cr, int groups, bool edge) {
  if (format == RgbFormat::Rgb32) {
    ConvertPairsIn<RgbFormat::Rgb32>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                     groups, edge);
  } else if (format == RgbFormat::Rgb32Rev) {
    ConvertPairsIn<RgbFormat::Rgb32Rev>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                        groups, edge);
  } else {
    ConvertChunksSse2(colour, lines, blend, format, destination1, destination2, luma1, luma2, cb, cr, groups, edge);
  }
}

}  // namespace tlx::mpeg4

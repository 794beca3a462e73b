// SSE2 forms of the YUV-to-RGB line kernels: eight 16-bit lanes, the same
// bytes as the plain forms (the shared arithmetic is in yuv_rgb_vector.h).
#include <emmintrin.h>

#include <cstring>

#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_kernels.h"
#include "yuv_rgb_vector.h"

namespace tlx::mpeg4 {
namespace {

using ChromaCoefficients = vector::ChromaCoefficients<__m128i>;
using vector::PixelCoefficients;
using vector::SplitChannels;
using vector::Terms;

void StoreBytes(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// The clamped channel bytes of 16 pixels, in pixel order.
struct Channels {
  __m128i r, g, b;
};

// Split channel bytes (even pixels, then odd ones) in pixel order.
[[gnu::always_inline]] inline Channels InOrder(const SplitChannels<__m128i>& c) {
  const auto order = [](__m128i x) { return _mm_unpacklo_epi8(x, _mm_srli_si128(x, 8)); };
  return {order(c.r), order(c.g), order(c.b)};
}

// The colour state's vectors, loaded once per call.
struct Coefficients {
  ChromaCoefficients chroma;
  PixelCoefficients<__m128i> pixel;
  explicit Coefficients(const ColourState& colour) : chroma(colour), pixel(colour) {}
};

[[gnu::always_inline]] inline __m128i LoadLuma(const uint8_t* luma) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma));
}

// 16-bit pixel words from the channel bytes: each channel keeps its top bits
// (mask) at its field position.
[[gnu::always_inline]] inline void StoreWords(uint8_t* destination, const Channels& c, int redShift, int greenMask,
                                              int greenShift) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i mask5 = _mm_set1_epi16(0xF8);
  const __m128i maskGreen = _mm_set1_epi16(int16_t(greenMask));
  const auto words = [&](__m128i r, __m128i g, __m128i b) {
    const __m128i red = _mm_sll_epi16(_mm_and_si128(r, mask5), _mm_cvtsi32_si128(redShift));
    const __m128i green = _mm_sll_epi16(_mm_and_si128(g, maskGreen), _mm_cvtsi32_si128(greenShift));
    return _mm_or_si128(_mm_or_si128(red, green), _mm_srli_epi16(b, 3));
  };
  StoreBytes(destination, words(_mm_unpacklo_epi8(c.r, zero), _mm_unpacklo_epi8(c.g, zero),
                                _mm_unpacklo_epi8(c.b, zero)));
  StoreBytes(destination + 16, words(_mm_unpackhi_epi8(c.r, zero), _mm_unpackhi_epi8(c.g, zero),
                                     _mm_unpackhi_epi8(c.b, zero)));
}

// 16 pixels of split channel bytes in the format's layout.
template <RgbFormat kFormat>
[[gnu::always_inline]] inline void StorePixels(uint8_t* destination, const SplitChannels<__m128i>& split) {
  if constexpr (kFormat == RgbFormat::Rgb32 || kFormat == RgbFormat::Rgb32Rev) {
    const vector::Quads<__m128i> q = vector::FourBytePixels<kFormat>(split, _mm_setzero_si128());
    StoreBytes(destination, q.pixels0to3);
    StoreBytes(destination + 16, q.pixels4to7);
    StoreBytes(destination + 32, q.pixels8to11);
    StoreBytes(destination + 48, q.pixels12to15);
  } else {
    const Channels c = InOrder(split);
    if constexpr (kFormat == RgbFormat::Rgb555) {
      StoreWords(destination, c, 7, 0xF8, 2);
    } else if constexpr (kFormat == RgbFormat::Rgb565) {
      StoreWords(destination, c, 8, 0xFC, 3);
    } else {
      alignas(16) uint8_t r[16], g[16], b[16];
      StoreBytes(r, c.r);
      StoreBytes(g, c.g);
      StoreBytes(b, c.b);
      for (int i = 0; i < 16; ++i) {
        destination[3 * i] = b[i];
        destination[3 * i + 1] = g[i];
        destination[3 * i + 2] = r[i];
      }
    }
  }
}

template <RgbFormat kFormat>
void Pack16Of(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  const PixelCoefficients<__m128i> k(colour);
  StorePixels<kFormat>(destination, vector::PixelChannels(k, LoadLuma(luma), vector::LoadWindow(window),
                                                          vector::LoadWindow(window + 1)));
}

// Chunks per block of the chunk loop, and the entries of a block's term run:
// its chunks' 8 each and the entry after them.
constexpr int kBlockChunks = 16;
constexpr int kBlockRun = 8 * kBlockChunks + 8;

// One row's blended terms of a block: red, green and blue runs.
struct BlockTerms {
  alignas(16) int16_t run[3][kBlockRun];
};

[[gnu::always_inline]] inline void StoreTerms(BlockTerms& block, int position, const Terms& t) {
  vector::Store(block.run[0] + position, t.r);
  vector::Store(block.run[1] + position, t.g);
  vector::Store(block.run[2] + position, t.b);
}

[[gnu::always_inline]] inline Terms LoadTerms(const BlockTerms& block, int position) {
  return {vector::Load(block.run[0] + position), vector::Load(block.run[1] + position),
          vector::Load(block.run[2] + position)};
}

// The pixels of `count` chunks of one row from the row's block terms: the
// terms t[k] and t[k + 1] of chunk i are the entries at 8i and 8i + 1.
template <RgbFormat kFormat>
[[gnu::always_inline]] inline void PackBlockRow(const PixelCoefficients<__m128i>& pixel, const BlockTerms& block,
                                                uint8_t* destination, const uint8_t* luma, int count) {
  constexpr int kChunkBytes = 16 * kRgbPixelBytes[int(kFormat)];
  for (int i = 0; i < count; ++i) {
    StorePixels<kFormat>(destination + i * kChunkBytes,
                         vector::PixelChannels(pixel, LoadLuma(luma + 16 * i), LoadTerms(block, 8 * i),
                                               LoadTerms(block, 8 * i + 1)));
  }
}

// The chunk loop with the blend and format fixed, a block of chunks at a
// time: first the blended terms of the block's chunks and of the chunk after
// it (carried into the next block, so each chunk's terms are made once), for
// each row into its block terms; then each row's pixels from them. Two
// passes keep the pixel arithmetic's registers free of the chroma work, and
// the terms k + 1 are one unaligned load away.
template <RgbFormat kFormat, RowBlend kBlend>
void ConvertChunksOf(const ColourState& colour, const TermLines& lines, uint8_t* destination1,
                     uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                     const uint8_t* cr, int groups, bool edge) {
  const Coefficients k(colour);
  constexpr int kChunkBytes = 16 * kRgbPixelBytes[int(kFormat)];
  constexpr bool kPair = kBlend != RowBlend::None;
  BlockTerms block1, block2;
  Terms first, second;
  vector::ChunkTerms<kBlend>(k.chroma, lines, cb, cr, 0, groups, first, second);
  for (int start = 0; start < groups; start += kBlockChunks) {
    const int count = groups - start < kBlockChunks ? groups - start : kBlockChunks;
    for (int i = 0; i <= count; ++i) {
      StoreTerms(block1, 8 * i, first);
      if constexpr (kPair) StoreTerms(block2, 8 * i, second);
      if (i == count) break;
      const int j = start + i;
      if (edge && j + 1 == groups) {
        first = vector::EdgeTerms(first);
        second = vector::EdgeTerms(second);
      } else {
        vector::ChunkTerms<kBlend>(k.chroma, lines, cb, cr, j + 1, groups, first, second);
      }
    }
    PackBlockRow<kFormat>(k.pixel, block1, destination1 + start * kChunkBytes, luma1 + 16 * start, count);
    if constexpr (kPair) {
      PackBlockRow<kFormat>(k.pixel, block2, destination2 + start * kChunkBytes, luma2 + 16 * start, count);
    }
  }
}

template <RgbFormat kFormat>
void ConvertChunksIn(const ColourState& colour, const TermLines& lines, RowBlend blend, uint8_t* destination1,
                     uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                     const uint8_t* cr, int groups, bool edge) {
  vector::WithBlend(blend, [&](auto constant) {
    ConvertChunksOf<kFormat, decltype(constant)::value>(colour, lines, destination1, destination2, luma1, luma2, cb,
                                                        cr, groups, edge);
  });
}

}  // namespace

void ComputeChromaTermsSse2(const ColourState& colour, const uint8_t* cb, const uint8_t* cr, const TermLines& lines,
                            int position) {
  const Terms t = vector::ChromaTerms(ChromaCoefficients(colour), cb, cr);
  vector::Store(lines.r + position, t.r);
  vector::Store(lines.g + position, t.g);
  vector::Store(lines.b + position, t.b);
}

void BlendChromaRowsSse2(int16_t* a, int16_t* b) {
  Terms x = vector::LoadWindow(a);
  Terms y = vector::LoadWindow(b);
  vector::BlendTerms(x, y);
  vector::StoreWindow(a, x);
  vector::StoreWindow(b, y);
}

void BlendFieldChromaRowsSse2(int16_t* w, int16_t* x) {
  Terms first = vector::LoadWindow(w);
  Terms second = vector::LoadWindow(x);
  vector::BlendFieldTerms(first, second);
  vector::StoreWindow(w, first);
  vector::StoreWindow(x, second);
}

void Pack16Rgb555Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  Pack16Of<RgbFormat::Rgb555>(colour, destination, luma, window);
}

void Pack16Rgb565Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  Pack16Of<RgbFormat::Rgb565>(colour, destination, luma, window);
}

void Pack16Rgb24Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  Pack16Of<RgbFormat::Rgb24>(colour, destination, luma, window);
}

void Pack16Rgb32Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  Pack16Of<RgbFormat::Rgb32>(colour, destination, luma, window);
}

void Pack16Rgb32RevSse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma,
                        const int16_t* window) {
  Pack16Of<RgbFormat::Rgb32Rev>(colour, destination, luma, window);
}

void ConvertChunksSse2(const ColourState& colour, const TermLines& lines, RowBlend blend, RgbFormat format,
                       uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2,
                       const uint8_t* cb, const uint8_t* cr, int groups, bool edge) {
  switch (format) {
    case RgbFormat::Rgb555:
      ConvertChunksIn<RgbFormat::Rgb555>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                         groups, edge);
      break;
    case RgbFormat::Rgb565:
      ConvertChunksIn<RgbFormat::Rgb565>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                         groups, edge);
      break;
    case RgbFormat::Rgb24:
      ConvertChunksIn<RgbFormat::Rgb24>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                        groups, edge);
      break;
    case RgbFormat::Rgb32:
      ConvertChunksIn<RgbFormat::Rgb32>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                        groups, edge);
      break;
    case RgbFormat::Rgb32Rev:
      ConvertChunksIn<RgbFormat::Rgb32Rev>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                           groups, edge);
      break;
  }
}

void CopyLineSse2(uint8_t* destination, const uint8_t* source, int byteCount) {
  int i = 0;
  for (; i + 16 <= byteCount; i += 16) {
    StoreBytes(destination + i, _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i)));
  }
  CopyLine(destination + i, source + i, byteCount - i);
}

void AverageRows8Sse2(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n) {
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    StoreBytes(destination + i, _mm_avg_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i))));
  }
  AverageRows8(destination + i, a + i, b + i, n - i);
}

namespace {

// Eight 16-bit pixels per step: ((a & keep) >> 1) + ((b & keep) >> 1) +
// (a & b & low); the remaining pixels by the plain kernel.
void AverageRows16Sse2(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n, int16_t keep, int16_t low,
                       AverageRowsKernel plain) {
  const __m128i keepMask = _mm_set1_epi16(keep);
  const __m128i lowMask = _mm_set1_epi16(low);
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    const __m128i halves = _mm_add_epi16(_mm_srli_epi16(_mm_and_si128(x, keepMask), 1),
                                         _mm_srli_epi16(_mm_and_si128(y, keepMask), 1));
    StoreBytes(destination + i, _mm_add_epi16(halves, _mm_and_si128(_mm_and_si128(x, y), lowMask)));
  }
  plain(destination + i, a + i, b + i, n - i);
}

}  // namespace

void AverageRows555Sse2(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n) {
  AverageRows16Sse2(destination, a, b, n, 0x7BDE, 0x0421, AverageRows555);
}

void AverageRows565Sse2(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n) {
  AverageRows16Sse2(destination, a, b, n, int16_t(0xF7DE), 0x0821, AverageRows565);
}

}  // namespace tlx::mpeg4

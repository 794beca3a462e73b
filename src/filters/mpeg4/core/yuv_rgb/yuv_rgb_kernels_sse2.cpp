// SSE2 forms of the YUV-to-RGB line kernels: eight 16-bit lanes, the same
// bytes as the plain forms. Chroma terms stay within -8266..8200 and luma
// terms within -1160..19000 for every state SetRange makes, so every sum
// below fits its lane or saturates only where the final clamp gives 255
// anyway.
#include <emmintrin.h>

#include <cstring>

#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_kernels.h"

namespace tlx::mpeg4 {
namespace {

// The helpers below are always inlined: their vectors stay in registers only
// inside the kernel that calls them, at any optimisation level.

__m128i Load(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void Store(int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
void StoreBytes(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
__m128i Broadcast(const int16_t (&lanes)[8]) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes)); }

// The clamped channel bytes of 16 pixels.
struct Channels {
  __m128i r, g, b;
};

// Eight terms of each colour: one chunk of a row, or entries 0-7 of a window.
struct Terms {
  __m128i r, g, b;
};

[[gnu::always_inline]] inline Terms LoadWindow(const int16_t* window) {
  return {Load(window), Load(window + kWindowRun), Load(window + 2 * kWindowRun)};
}

[[gnu::always_inline]] inline void StoreWindow(int16_t* window, const Terms& t) {
  Store(window, t.r);
  Store(window + kWindowRun, t.g);
  Store(window + 2 * kWindowRun, t.b);
}

// The colour state's vectors, loaded once per call.
struct Coefficients {
  __m128i gain, offset, cbToB, crToR, greenPairs;
  explicit Coefficients(const ColourState& colour)
      : gain(Broadcast(colour.lumaGain8)),
        offset(Broadcast(colour.lumaOffset8)),
        cbToB(Broadcast(colour.cbToB8)),
        crToR(Broadcast(colour.crToR8)),
        greenPairs(Broadcast(colour.greenPairs8)) {}
};

// Terms of the 8 chroma samples at cb and cr.
[[gnu::always_inline]] inline Terms ChromaTerms(const Coefficients& k, const uint8_t* cb, const uint8_t* cr) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i u = _mm_slli_epi16(
      _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb)), zero), bias), 8);
  const __m128i v = _mm_slli_epi16(
      _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr)), zero), bias), 8);
  const __m128i round = _mm_set1_epi32(32768);
  const __m128i low =
      _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(u, v), k.greenPairs), round), 16);
  const __m128i high =
      _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(u, v), k.greenPairs), round), 16);
  return {_mm_mulhi_epi16(v, k.crToR), _mm_packs_epi32(low, high), _mm_mulhi_epi16(u, k.cbToB)};
}

// Progressive blend of one run, x the row above: red and green by quarters,
// blue (`blue`) by the halved difference.
[[gnu::always_inline]] inline void BlendRun(__m128i& x, __m128i& y, bool blue) {
  const __m128i sum = _mm_add_epi16(x, y);
  const __m128i difference = _mm_sub_epi16(x, y);
  if (!blue) {
    const __m128i twice = _mm_add_epi16(_mm_add_epi16(sum, sum), _mm_set1_epi16(2));
    x = _mm_srai_epi16(_mm_add_epi16(twice, difference), 2);
    y = _mm_srai_epi16(_mm_sub_epi16(twice, difference), 2);
  } else {
    const __m128i d = _mm_srai_epi16(difference, 1);
    const __m128i base = _mm_add_epi16(sum, _mm_set1_epi16(1));
    x = _mm_srai_epi16(_mm_add_epi16(base, d), 1);
    y = _mm_srai_epi16(_mm_sub_epi16(base, d), 1);
  }
}

[[gnu::always_inline]] inline void BlendTerms(Terms& a, Terms& b) {
  BlendRun(a.r, b.r, false);
  BlendRun(a.g, b.g, false);
  BlendRun(a.b, b.b, true);
}

// Field blend of one run: w by eighths 7:1, x by 3:5.
[[gnu::always_inline]] inline void BlendFieldRun(__m128i& w, __m128i& x, bool blue) {
  const __m128i first = w;
  const __m128i second = x;
  const __m128i difference = _mm_sub_epi16(second, first);
  if (!blue) {
    // x = (d + 2(x + w) + 2) >> 2, w = (d + 4w + 2) >> 2, d = (x - w) >> 1.
    const __m128i d = _mm_add_epi16(_mm_srai_epi16(difference, 1), _mm_set1_epi16(2));
    x = _mm_srai_epi16(_mm_add_epi16(d, _mm_slli_epi16(_mm_add_epi16(first, second), 1)), 2);
    w = _mm_srai_epi16(_mm_add_epi16(d, _mm_slli_epi16(first, 2)), 2);
  } else {
    // x = (d + x + w + 1) >> 1, w = (d + 2w + 1) >> 1, d = (x - w) >> 2.
    const __m128i d = _mm_add_epi16(_mm_srai_epi16(difference, 2), _mm_set1_epi16(1));
    x = _mm_srai_epi16(_mm_add_epi16(d, _mm_add_epi16(first, second)), 1);
    w = _mm_srai_epi16(_mm_add_epi16(d, _mm_slli_epi16(first, 1)), 1);
  }
}

[[gnu::always_inline]] inline void BlendFieldTerms(Terms& w, Terms& x) {
  BlendFieldRun(w.r, x.r, false);
  BlendFieldRun(w.g, x.g, false);
  BlendFieldRun(w.b, x.b, true);
}

// Channel of 16 pixels from t[k] (entries 0-7) and t[k+1] (entries 1-8):
// the even pixel of pair k takes 2 t[k], the odd one t[k] + t[k+1]; sum with
// the luma terms, shift, clamp to bytes.
[[gnu::always_inline]] inline __m128i Channel(__m128i t0, __m128i t1, __m128i lumaLow, __m128i lumaHigh) {
  const __m128i even = _mm_add_epi16(t0, t0);
  const __m128i odd = _mm_add_epi16(t0, t1);
  const __m128i low = _mm_srai_epi16(_mm_adds_epi16(lumaLow, _mm_unpacklo_epi16(even, odd)), 6);
  const __m128i high = _mm_srai_epi16(_mm_adds_epi16(lumaHigh, _mm_unpackhi_epi16(even, odd)), 6);
  return _mm_packus_epi16(low, high);
}

// Channels of 16 pixels from their luma and the terms t[k] and t[k+1].
[[gnu::always_inline]] inline Channels Convert16(const Coefficients& k, const uint8_t* luma, const Terms& t0,
                                                 const Terms& t1) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma));
  const auto term = [&](__m128i samples) {
    const __m128i scaled = _mm_mulhi_epi16(_mm_slli_epi16(samples, 7), k.gain);
    return _mm_sub_epi16(_mm_add_epi16(scaled, scaled), k.offset);
  };
  const __m128i lumaLow = term(_mm_unpacklo_epi8(y, zero));
  const __m128i lumaHigh = term(_mm_unpackhi_epi8(y, zero));
  return {Channel(t0.r, t1.r, lumaLow, lumaHigh), Channel(t0.g, t1.g, lumaLow, lumaHigh),
          Channel(t0.b, t1.b, lumaLow, lumaHigh)};
}

// Entries 1-8 of a chunk: its entries 1-7 and the next chunk's first.
[[gnu::always_inline]] inline Terms Following(const Terms& current, const Terms& next) {
  const auto run = [](__m128i c, __m128i n) { return _mm_or_si128(_mm_srli_si128(c, 2), _mm_slli_si128(n, 14)); };
  return {run(current.r, next.r), run(current.g, next.g), run(current.b, next.b)};
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

// Four-byte pixels whose bytes are first, second, third, fourth.
[[gnu::always_inline]] inline void StoreQuads(uint8_t* destination, __m128i first, __m128i second, __m128i third,
                                              __m128i fourth) {
  const __m128i lowPairs = _mm_unpacklo_epi8(first, second);
  const __m128i highPairs = _mm_unpackhi_epi8(first, second);
  const __m128i lowTail = _mm_unpacklo_epi8(third, fourth);
  const __m128i highTail = _mm_unpackhi_epi8(third, fourth);
  StoreBytes(destination, _mm_unpacklo_epi16(lowPairs, lowTail));
  StoreBytes(destination + 16, _mm_unpackhi_epi16(lowPairs, lowTail));
  StoreBytes(destination + 32, _mm_unpacklo_epi16(highPairs, highTail));
  StoreBytes(destination + 48, _mm_unpackhi_epi16(highPairs, highTail));
}

// 16 pixels of channel bytes in the format's layout.
template <RgbFormat kFormat>
[[gnu::always_inline]] inline void StorePixels(uint8_t* destination, const Channels& c) {
  if constexpr (kFormat == RgbFormat::Rgb555) {
    StoreWords(destination, c, 7, 0xF8, 2);
  } else if constexpr (kFormat == RgbFormat::Rgb565) {
    StoreWords(destination, c, 8, 0xFC, 3);
  } else if constexpr (kFormat == RgbFormat::Rgb24) {
    alignas(16) uint8_t r[16], g[16], b[16];
    StoreBytes(r, c.r);
    StoreBytes(g, c.g);
    StoreBytes(b, c.b);
    for (int i = 0; i < 16; ++i) {
      destination[3 * i] = b[i];
      destination[3 * i + 1] = g[i];
      destination[3 * i + 2] = r[i];
    }
  } else if constexpr (kFormat == RgbFormat::Rgb32) {
    StoreQuads(destination, c.b, c.g, c.r, _mm_setzero_si128());
  } else {
    StoreQuads(destination, _mm_setzero_si128(), c.r, c.g, c.b);
  }
}

template <RgbFormat kFormat>
void Pack16Of(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  const Coefficients k(colour);
  StorePixels<kFormat>(destination, Convert16(k, luma, LoadWindow(window), LoadWindow(window + 1)));
}

// Chunk j's terms for row 1 (first) and row 2 (second): blended with the
// term lines' entries, which take the new terms while j < groups.
template <RowBlend kBlend>
[[gnu::always_inline]] inline void ChunkTerms(const Coefficients& k, const TermLines& lines, const uint8_t* cb,
                                              const uint8_t* cr, int j, int groups, Terms& first, Terms& second) {
  const int position = 8 * j;
  second = ChromaTerms(k, cb + position, cr + position);
  if constexpr (kBlend == RowBlend::None) {
    first = second;
  } else {
    first = {Load(lines.r + position), Load(lines.g + position), Load(lines.b + position)};
  }
  if (j < groups) {
    Store(lines.r + position, second.r);
    Store(lines.g + position, second.g);
    Store(lines.b + position, second.b);
  }
  if constexpr (kBlend == RowBlend::Progressive) {
    BlendTerms(first, second);
  } else if constexpr (kBlend == RowBlend::TopField) {
    BlendFieldTerms(second, first);
  } else if constexpr (kBlend == RowBlend::BottomField) {
    BlendFieldTerms(first, second);
  }
}

// The chunk loop with the blend and format fixed: chunk j + 1's terms are
// made (and blended) while chunk j's pixels are packed, in registers.
template <RgbFormat kFormat, RowBlend kBlend>
void ConvertChunksOf(const ColourState& colour, const TermLines& lines, uint8_t* destination1,
                     uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                     const uint8_t* cr, int groups) {
  const Coefficients k(colour);
  constexpr int kChunkBytes = 16 * kRgbPixelBytes[int(kFormat)];
  Terms first, second, nextFirst, nextSecond;
  ChunkTerms<kBlend>(k, lines, cb, cr, 0, groups, first, second);
  for (int j = 0; j < groups; ++j) {
    ChunkTerms<kBlend>(k, lines, cb, cr, j + 1, groups, nextFirst, nextSecond);
    StorePixels<kFormat>(destination1 + j * kChunkBytes,
                         Convert16(k, luma1 + 16 * j, first, Following(first, nextFirst)));
    if constexpr (kBlend != RowBlend::None) {
      StorePixels<kFormat>(destination2 + j * kChunkBytes,
                           Convert16(k, luma2 + 16 * j, second, Following(second, nextSecond)));
    }
    first = nextFirst;
    second = nextSecond;
  }
}

template <RgbFormat kFormat>
void ConvertChunksIn(const ColourState& colour, const TermLines& lines, RowBlend blend, uint8_t* destination1,
                     uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb,
                     const uint8_t* cr, int groups) {
  switch (blend) {
    case RowBlend::None:
      ConvertChunksOf<kFormat, RowBlend::None>(colour, lines, destination1, destination2, luma1, luma2, cb, cr,
                                               groups);
      break;
    case RowBlend::Progressive:
      ConvertChunksOf<kFormat, RowBlend::Progressive>(colour, lines, destination1, destination2, luma1, luma2, cb,
                                                      cr, groups);
      break;
    case RowBlend::TopField:
      ConvertChunksOf<kFormat, RowBlend::TopField>(colour, lines, destination1, destination2, luma1, luma2, cb,
                                                   cr, groups);
      break;
    case RowBlend::BottomField:
      ConvertChunksOf<kFormat, RowBlend::BottomField>(colour, lines, destination1, destination2, luma1, luma2,
                                                      cb, cr, groups);
      break;
  }
}

}  // namespace

void ComputeChromaTermsSse2(const ColourState& colour, const uint8_t* cb, const uint8_t* cr, const TermLines& lines,
                            int position) {
  const Terms t = ChromaTerms(Coefficients(colour), cb, cr);
  Store(lines.r + position, t.r);
  Store(lines.g + position, t.g);
  Store(lines.b + position, t.b);
}

void BlendChromaRowsSse2(int16_t* a, int16_t* b) {
  Terms x = LoadWindow(a);
  Terms y = LoadWindow(b);
  BlendTerms(x, y);
  StoreWindow(a, x);
  StoreWindow(b, y);
}

void BlendFieldChromaRowsSse2(int16_t* w, int16_t* x) {
  Terms first = LoadWindow(w);
  Terms second = LoadWindow(x);
  BlendFieldTerms(first, second);
  StoreWindow(w, first);
  StoreWindow(x, second);
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
                       const uint8_t* cb, const uint8_t* cr, int groups) {
  switch (format) {
    case RgbFormat::Rgb555:
      ConvertChunksIn<RgbFormat::Rgb555>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                         groups);
      break;
    case RgbFormat::Rgb565:
      ConvertChunksIn<RgbFormat::Rgb565>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                         groups);
      break;
    case RgbFormat::Rgb24:
      ConvertChunksIn<RgbFormat::Rgb24>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                        groups);
      break;
    case RgbFormat::Rgb32:
      ConvertChunksIn<RgbFormat::Rgb32>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                        groups);
      break;
    case RgbFormat::Rgb32Rev:
      ConvertChunksIn<RgbFormat::Rgb32Rev>(colour, lines, blend, destination1, destination2, luma1, luma2, cb, cr,
                                           groups);
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

// The vector arithmetic the SSE2 and AVX2 line kernels share. The chroma
// terms and their blends work on one chunk of 8 samples in 128-bit vectors;
// the pixel arithmetic and the four-byte pixel layout are written once over
// the vector type and behave per 128-bit lane, so a 256-bit vector holds
// two rows' chunks of 16 pixels side by side with the same bytes.
//
// Chroma terms stay within -8266..8200 and luma terms within -1160..19000 for
// every state SetRange makes, so every sum below fits its lane or saturates
// only where the final clamp gives 255 anyway.
//
// Every function here is always inlined and has internal linkage: each
// kernel file compiles its own copy for its instruction set.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <type_traits>

#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_kernels.h"

#define TLX_VECTOR_INLINE [[gnu::always_inline]] static inline

namespace tlx::mpeg4::vector {

// Element-wise operations under one name for both vector widths.
TLX_VECTOR_INLINE __m128i Add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
TLX_VECTOR_INLINE __m128i Sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
TLX_VECTOR_INLINE __m128i AddSaturated(__m128i a, __m128i b) { return _mm_adds_epi16(a, b); }
TLX_VECTOR_INLINE __m128i And(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
TLX_VECTOR_INLINE __m128i Or(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
TLX_VECTOR_INLINE __m128i MulHighUnsigned(__m128i a, __m128i b) { return _mm_mulhi_epu16(a, b); }
TLX_VECTOR_INLINE __m128i PackUnsigned(__m128i a, __m128i b) { return _mm_packus_epi16(a, b); }
template <int kBits>
TLX_VECTOR_INLINE __m128i ShiftLeft(__m128i a) {
  return _mm_slli_epi16(a, kBits);
}
template <int kBits>
TLX_VECTOR_INLINE __m128i ShiftRightArithmetic(__m128i a) {
  return _mm_srai_epi16(a, kBits);
}
// Entries 1-7 of a and entry 0 of b, per 128-bit lane.
TLX_VECTOR_INLINE __m128i Following(__m128i a, __m128i b) {
  return _mm_or_si128(_mm_srli_si128(a, 2), _mm_slli_si128(b, 14));
}
// Entry 7 of a in entry 0, per 128-bit lane: the term after a row's last.
TLX_VECTOR_INLINE __m128i EdgeOf(__m128i a) { return _mm_srli_si128(a, 14); }
TLX_VECTOR_INLINE __m128i Unpack8Low(__m128i a, __m128i b) { return _mm_unpacklo_epi8(a, b); }
TLX_VECTOR_INLINE __m128i Unpack8High(__m128i a, __m128i b) { return _mm_unpackhi_epi8(a, b); }
TLX_VECTOR_INLINE __m128i Unpack16Low(__m128i a, __m128i b) { return _mm_unpacklo_epi16(a, b); }
TLX_VECTOR_INLINE __m128i Unpack16High(__m128i a, __m128i b) { return _mm_unpackhi_epi16(a, b); }
TLX_VECTOR_INLINE __m128i Unpack32Low(__m128i a, __m128i b) { return _mm_unpacklo_epi32(a, b); }
TLX_VECTOR_INLINE __m128i Unpack32High(__m128i a, __m128i b) { return _mm_unpackhi_epi32(a, b); }
TLX_VECTOR_INLINE __m128i Splat16(__m128i, int16_t value) { return _mm_set1_epi16(value); }
TLX_VECTOR_INLINE __m128i Widen(__m128i, __m128i lanes) { return lanes; }

#if defined(__AVX2__)
TLX_VECTOR_INLINE __m256i Add(__m256i a, __m256i b) { return _mm256_add_epi16(a, b); }
TLX_VECTOR_INLINE __m256i Sub(__m256i a, __m256i b) { return _mm256_sub_epi16(a, b); }
TLX_VECTOR_INLINE __m256i AddSaturated(__m256i a, __m256i b) { return _mm256_adds_epi16(a, b); }
TLX_VECTOR_INLINE __m256i And(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
TLX_VECTOR_INLINE __m256i Or(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
TLX_VECTOR_INLINE __m256i MulHighUnsigned(__m256i a, __m256i b) { return _mm256_mulhi_epu16(a, b); }
TLX_VECTOR_INLINE __m256i PackUnsigned(__m256i a, __m256i b) { return _mm256_packus_epi16(a, b); }
template <int kBits>
TLX_VECTOR_INLINE __m256i ShiftLeft(__m256i a) {
  return _mm256_slli_epi16(a, kBits);
}
template <int kBits>
TLX_VECTOR_INLINE __m256i ShiftRightArithmetic(__m256i a) {
  return _mm256_srai_epi16(a, kBits);
}
TLX_VECTOR_INLINE __m256i Following(__m256i a, __m256i b) {
  return _mm256_or_si256(_mm256_bsrli_epi128(a, 2), _mm256_bslli_epi128(b, 14));
}
TLX_VECTOR_INLINE __m256i EdgeOf(__m256i a) { return _mm256_bsrli_epi128(a, 14); }
TLX_VECTOR_INLINE __m256i Unpack8Low(__m256i a, __m256i b) { return _mm256_unpacklo_epi8(a, b); }
TLX_VECTOR_INLINE __m256i Unpack8High(__m256i a, __m256i b) { return _mm256_unpackhi_epi8(a, b); }
TLX_VECTOR_INLINE __m256i Unpack16Low(__m256i a, __m256i b) { return _mm256_unpacklo_epi16(a, b); }
TLX_VECTOR_INLINE __m256i Unpack16High(__m256i a, __m256i b) { return _mm256_unpackhi_epi16(a, b); }
TLX_VECTOR_INLINE __m256i Unpack32Low(__m256i a, __m256i b) { return _mm256_unpacklo_epi32(a, b); }
TLX_VECTOR_INLINE __m256i Unpack32High(__m256i a, __m256i b) { return _mm256_unpackhi_epi32(a, b); }
TLX_VECTOR_INLINE __m256i Splat16(__m256i, int16_t value) { return _mm256_set1_epi16(value); }
// Both lanes a copy of the given 128-bit lanes.
TLX_VECTOR_INLINE __m256i Widen(__m256i, __m128i lanes) { return _mm256_broadcastsi128_si256(lanes); }
#endif

TLX_VECTOR_INLINE __m128i Load(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
TLX_VECTOR_INLINE void Store(int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
TLX_VECTOR_INLINE __m128i Broadcast(const int16_t (&lanes)[8]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
}

// Terms per 128-bit lane: 8 of each colour, one chunk of a row or entries
// 0-7 of a window.
template <typename V>
struct TermsOf {
  V r, g, b;
};
using Terms = TermsOf<__m128i>;

TLX_VECTOR_INLINE Terms LoadWindow(const int16_t* window) {
  return {Load(window), Load(window + kWindowRun), Load(window + 2 * kWindowRun)};
}

TLX_VECTOR_INLINE void StoreWindow(int16_t* window, const Terms& t) {
  Store(window, t.r);
  Store(window + kWindowRun, t.g);
  Store(window + 2 * kWindowRun, t.b);
}

// The chroma coefficients of a colour state, loaded once per call.
template <typename V>
struct ChromaCoefficients {
  V cbToB, crToR, greenPairs;
  explicit ChromaCoefficients(const ColourState& colour)
      : cbToB(Widen(V{}, Broadcast(colour.cbToB8))),
        crToR(Widen(V{}, Broadcast(colour.crToR8))),
        greenPairs(Widen(V{}, Broadcast(colour.greenPairs8))) {}
};

// Chroma samples at p, one per 16-bit lane in its high byte with the top bit
// flipped: (s - 128) x 256. A 128-bit vector takes 8 samples, a 256-bit one
// 16 (8 per lane, in order).
TLX_VECTOR_INLINE __m128i LoadChroma(__m128i, const uint8_t* p) {
  const __m128i samples = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  return _mm_xor_si128(_mm_unpacklo_epi8(_mm_setzero_si128(), samples), _mm_set1_epi16(int16_t(0x8000)));
}

// Red and blue terms: the high half of the products.
TLX_VECTOR_INLINE __m128i MulHighSigned(__m128i a, __m128i b) { return _mm_mulhi_epi16(a, b); }

// Green terms of the samples u and v: (cbToG x u + crToG x v + 32768) >> 16.
TLX_VECTOR_INLINE __m128i GreenTerms(__m128i u, __m128i v, __m128i greenPairs) {
  const __m128i round = _mm_set1_epi32(32768);
  const __m128i low = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(u, v), greenPairs), round), 16);
  const __m128i high =
      _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(u, v), greenPairs), round), 16);
  return _mm_packs_epi32(low, high);
}

// Term-line entries at p, 8 per lane.
TLX_VECTOR_INLINE __m128i LoadLine(__m128i, const int16_t* p) { return Load(p); }

// Stores the chunks of t whose index is below `chunks` (only a positive
// count stores) at the term lines' `position`.
TLX_VECTOR_INLINE void StoreLines(const TermLines& lines, int position, const TermsOf<__m128i>& t, int chunks) {
  if (chunks <= 0) return;
  Store(lines.r + position, t.r);
  Store(lines.g + position, t.g);
  Store(lines.b + position, t.b);
}

#if defined(__AVX2__)
TLX_VECTOR_INLINE __m256i LoadChroma(__m256i, const uint8_t* p) {
  const __m256i samples = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  return _mm256_xor_si256(_mm256_slli_epi16(samples, 8), _mm256_set1_epi16(int16_t(0x8000)));
}

TLX_VECTOR_INLINE __m256i MulHighSigned(__m256i a, __m256i b) { return _mm256_mulhi_epi16(a, b); }

TLX_VECTOR_INLINE __m256i GreenTerms(__m256i u, __m256i v, __m256i greenPairs) {
  const __m256i round = _mm256_set1_epi32(32768);
  const __m256i low =
      _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(u, v), greenPairs), round), 16);
  const __m256i high =
      _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(u, v), greenPairs), round), 16);
  return _mm256_packs_epi32(low, high);
}

TLX_VECTOR_INLINE __m256i LoadLine(__m256i, const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

TLX_VECTOR_INLINE void StoreLines(const TermLines& lines, int position, const TermsOf<__m256i>& t, int chunks) {
  if (chunks >= 2) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(lines.r + position), t.r);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(lines.g + position), t.g);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(lines.b + position), t.b);
  } else if (chunks == 1) {
    Store(lines.r + position, _mm256_castsi256_si128(t.r));
    Store(lines.g + position, _mm256_castsi256_si128(t.g));
    Store(lines.b + position, _mm256_castsi256_si128(t.b));
  }
}
#endif

// Terms of the chroma samples at cb and cr.
template <typename V>
TLX_VECTOR_INLINE TermsOf<V> ChromaTerms(const ChromaCoefficients<V>& k, const uint8_t* cb, const uint8_t* cr) {
  const V u = LoadChroma(V{}, cb);
  const V v = LoadChroma(V{}, cr);
  return {MulHighSigned(v, k.crToR), GreenTerms(u, v, k.greenPairs), MulHighSigned(u, k.cbToB)};
}

// Progressive blend of one run, x the row above: red and green by quarters,
// blue (`blue`) by the halved difference.
template <typename V>
TLX_VECTOR_INLINE void BlendRun(V& x, V& y, bool blue) {
  const V sum = Add(x, y);
  const V difference = Sub(x, y);
  if (!blue) {
    const V twice = Add(Add(sum, sum), Splat16(V{}, 2));
    x = ShiftRightArithmetic<2>(Add(twice, difference));
    y = ShiftRightArithmetic<2>(Sub(twice, difference));
  } else {
    const V d = ShiftRightArithmetic<1>(difference);
    const V base = Add(sum, Splat16(V{}, 1));
    x = ShiftRightArithmetic<1>(Add(base, d));
    y = ShiftRightArithmetic<1>(Sub(base, d));
  }
}

template <typename V>
TLX_VECTOR_INLINE void BlendTerms(TermsOf<V>& a, TermsOf<V>& b) {
  BlendRun(a.r, b.r, false);
  BlendRun(a.g, b.g, false);
  BlendRun(a.b, b.b, true);
}

// Field blend of one run: w by eighths 7:1, x by 3:5.
template <typename V>
TLX_VECTOR_INLINE void BlendFieldRun(V& w, V& x, bool blue) {
  const V first = w;
  const V second = x;
  const V difference = Sub(second, first);
  if (!blue) {
    // x = (d + 2(x + w) + 2) >> 2, w = (d + 4w + 2) >> 2, d = (x - w) >> 1.
    const V d = Add(ShiftRightArithmetic<1>(difference), Splat16(V{}, 2));
    x = ShiftRightArithmetic<2>(Add(d, ShiftLeft<1>(Add(first, second))));
    w = ShiftRightArithmetic<2>(Add(d, ShiftLeft<2>(first)));
  } else {
    // x = (d + x + w + 1) >> 1, w = (d + 2w + 1) >> 1, d = (x - w) >> 2.
    const V d = Add(ShiftRightArithmetic<2>(difference), Splat16(V{}, 1));
    x = ShiftRightArithmetic<1>(Add(d, Add(first, second)));
    w = ShiftRightArithmetic<1>(Add(d, ShiftLeft<1>(first)));
  }
}

template <typename V>
TLX_VECTOR_INLINE void BlendFieldTerms(TermsOf<V>& w, TermsOf<V>& x) {
  BlendFieldRun(w.r, x.r, false);
  BlendFieldRun(w.g, x.g, false);
  BlendFieldRun(w.b, x.b, true);
}

// The terms of chunk j (and, in a 256-bit vector, of chunk j + 1 in the high
// lanes) for row 1 (first) and row 2 (second): blended with the term lines'
// entries, which take the new terms of the chunks below `groups`.
template <RowBlend kBlend, typename V>
TLX_VECTOR_INLINE void ChunkTerms(const ChromaCoefficients<V>& k, const TermLines& lines, const uint8_t* cb,
                                  const uint8_t* cr, int j, int groups, TermsOf<V>& first, TermsOf<V>& second) {
  const int position = 8 * j;
  second = ChromaTerms(k, cb + position, cr + position);
  if constexpr (kBlend == RowBlend::None) {
    first = second;
  } else {
    first = {LoadLine(V{}, lines.r + position), LoadLine(V{}, lines.g + position),
             LoadLine(V{}, lines.b + position)};
  }
  StoreLines(lines, position, second, groups - j);
  if constexpr (kBlend == RowBlend::Progressive) {
    BlendTerms(first, second);
  } else if constexpr (kBlend == RowBlend::TopField) {
    BlendFieldTerms(second, first);
  } else if constexpr (kBlend == RowBlend::BottomField) {
    BlendFieldTerms(first, second);
  }
}

// The luma coefficients per lane. With an even gain (every state SetRange
// makes), q = (y x 128 x gain) >> 16 is the unsigned high half of
// (y << 8) x (gain / 2). The odd pixel's luma term is 2q - offset; the even
// pixel, whose chroma sum 2 t[k] is even, is shifted by 5 from
// q - ceil(offset / 2) + t[k], which gives the same byte as
// (2q - offset + 2 t[k]) >> 6 (the dropped half never carries).
template <typename V>
struct PixelCoefficients {
  V halfGain, offset, evenOffset, oddMask;
  explicit PixelCoefficients(const ColourState& colour) {
    const __m128i gain = Broadcast(colour.lumaGain8);
    const __m128i off = Broadcast(colour.lumaOffset8);
    halfGain = Widen(V{}, _mm_srli_epi16(gain, 1));
    offset = Widen(V{}, off);
    evenOffset = Widen(V{}, _mm_srai_epi16(_mm_add_epi16(off, _mm_set1_epi16(1)), 1));
    oddMask = Splat16(V{}, int16_t(0xFF00));
  }
};

// Channel bytes of 16 pixels per lane: the 8 even pixels in bytes 0-7, the 8
// odd ones in bytes 8-15.
template <typename V>
struct SplitChannels {
  V r, g, b;
};

// The channel of 16 pixels from their luma terms and the terms t[k] (t0) and
// t[k+1] (t1).
template <typename V>
TLX_VECTOR_INLINE V SplitChannel(V lumaEven, V lumaOdd, V t0, V t1) {
  const V even = ShiftRightArithmetic<5>(Add(lumaEven, t0));
  const V odd = ShiftRightArithmetic<6>(AddSaturated(lumaOdd, Add(t0, t1)));
  return PackUnsigned(even, odd);
}

// Entries 1-8 of each run: t's entries 1-7 and next's entry 0, per lane.
template <typename V>
TLX_VECTOR_INLINE TermsOf<V> FollowingTerms(const TermsOf<V>& t, const TermsOf<V>& next) {
  return {Following(t.r, next.r), Following(t.g, next.g), Following(t.b, next.b)};
}

// The terms after a row's last chunk t: its entry 7 repeated.
template <typename V>
TLX_VECTOR_INLINE TermsOf<V> EdgeTerms(const TermsOf<V>& t) {
  return {EdgeOf(t.r), EdgeOf(t.g), EdgeOf(t.b)};
}

// Channels of the 16 pixels of each lane from their luma bytes and the
// lane's terms t[k] (t0) and t[k+1] (t1).
template <typename V>
TLX_VECTOR_INLINE SplitChannels<V> PixelChannels(const PixelCoefficients<V>& k, V luma, const TermsOf<V>& t0,
                                                 const TermsOf<V>& t1) {
  const V qEven = MulHighUnsigned(ShiftLeft<8>(luma), k.halfGain);
  const V qOdd = MulHighUnsigned(And(luma, k.oddMask), k.halfGain);
  const V lumaEven = Sub(qEven, k.evenOffset);
  const V lumaOdd = Sub(Add(qOdd, qOdd), k.offset);
  return {SplitChannel(lumaEven, lumaOdd, t0.r, t1.r), SplitChannel(lumaEven, lumaOdd, t0.g, t1.g),
          SplitChannel(lumaEven, lumaOdd, t0.b, t1.b)};
}

// Sixteen four-byte pixels per lane in order, from split channel bytes:
// pixel bytes first, second, third, fourth.
template <typename V>
struct Quads {
  V pixels0to3, pixels4to7, pixels8to11, pixels12to15;
};

template <typename V>
TLX_VECTOR_INLINE Quads<V> SplitQuads(V first, V second, V third, V fourth) {
  const V headEven = Unpack8Low(first, second);
  const V headOdd = Unpack8High(first, second);
  const V tailEven = Unpack8Low(third, fourth);
  const V tailOdd = Unpack8High(third, fourth);
  const V even0 = Unpack16Low(headEven, tailEven);  // pixels 0, 2, 4, 6
  const V even8 = Unpack16High(headEven, tailEven);
  const V odd0 = Unpack16Low(headOdd, tailOdd);  // pixels 1, 3, 5, 7
  const V odd8 = Unpack16High(headOdd, tailOdd);
  return {Unpack32Low(even0, odd0), Unpack32High(even0, odd0), Unpack32Low(even8, odd8), Unpack32High(even8, odd8)};
}

// The four-byte formats' pixels from split channels.
template <RgbFormat kFormat, typename V>
TLX_VECTOR_INLINE Quads<V> FourBytePixels(const SplitChannels<V>& c, V zero) {
  static_assert(kFormat == RgbFormat::Rgb32 || kFormat == RgbFormat::Rgb32Rev);
  if constexpr (kFormat == RgbFormat::Rgb32) {
    return SplitQuads(c.b, c.g, c.r, zero);
  } else {
    return SplitQuads(zero, c.r, c.g, c.b);
  }
}

// Calls `loop` with the blend as a compile-time constant (an
// std::integral_constant), so that each blend gets its own loop.
template <typename Loop>
TLX_VECTOR_INLINE void WithBlend(RowBlend blend, Loop&& loop) {
  switch (blend) {
    case RowBlend::None:
      loop(std::integral_constant<RowBlend, RowBlend::None>{});
      break;
    case RowBlend::Progressive:
      loop(std::integral_constant<RowBlend, RowBlend::Progressive>{});
      break;
    case RowBlend::TopField:
      loop(std::integral_constant<RowBlend, RowBlend::TopField>{});
      break;
    case RowBlend::BottomField:
      loop(std::integral_constant<RowBlend, RowBlend::BottomField>{});
      break;
  }
}

}  // namespace tlx::mpeg4::vector

#undef TLX_VECTOR_INLINE

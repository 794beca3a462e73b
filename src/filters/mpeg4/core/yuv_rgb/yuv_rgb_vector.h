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
struct ChromaCoefficients {
  __m128i cbToB, crToR, greenPairs;
  explicit ChromaCoefficients(const ColourState& colour)
      : cbToB(Broadcast(colour.cbToB8)), crToR(Broadcast(colour.crToR8)), greenPairs(Broadcast(colour.greenPairs8)) {}
};

// Terms of the 8 chroma samples at cb and cr. A sample s in the high byte of
// a lane, its top bit flipped, is (s - 128) x 256.
TLX_VECTOR_INLINE Terms ChromaTerms(const ChromaCoefficients& k, const uint8_t* cb, const uint8_t* cr) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i flip = _mm_set1_epi16(int16_t(0x8000));
  const __m128i u =
      _mm_xor_si128(_mm_unpacklo_epi8(zero, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb))), flip);
  const __m128i v =
      _mm_xor_si128(_mm_unpacklo_epi8(zero, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr))), flip);
  const __m128i round = _mm_set1_epi32(32768);
  const __m128i low =
      _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(u, v), k.greenPairs), round), 16);
  const __m128i high =
      _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(u, v), k.greenPairs), round), 16);
  return {_mm_mulhi_epi16(v, k.crToR), _mm_packs_epi32(low, high), _mm_mulhi_epi16(u, k.cbToB)};
}

// Progressive blend of one run, x the row above: red and green by quarters,
// blue (`blue`) by the halved difference.
TLX_VECTOR_INLINE void BlendRun(__m128i& x, __m128i& y, bool blue) {
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

TLX_VECTOR_INLINE void BlendTerms(Terms& a, Terms& b) {
  BlendRun(a.r, b.r, false);
  BlendRun(a.g, b.g, false);
  BlendRun(a.b, b.b, true);
}

// Field blend of one run: w by eighths 7:1, x by 3:5.
TLX_VECTOR_INLINE void BlendFieldRun(__m128i& w, __m128i& x, bool blue) {
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

TLX_VECTOR_INLINE void BlendFieldTerms(Terms& w, Terms& x) {
  BlendFieldRun(w.r, x.r, false);
  BlendFieldRun(w.g, x.g, false);
  BlendFieldRun(w.b, x.b, true);
}

// Chunk j's terms for row 1 (first) and row 2 (second): blended with the
// term lines' entries, which take the new terms while j < groups.
template <RowBlend kBlend>
TLX_VECTOR_INLINE void ChunkTerms(const ChromaCoefficients& k, const TermLines& lines, const uint8_t* cb,
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

}  // namespace tlx::mpeg4::vector

#undef TLX_VECTOR_INLINE

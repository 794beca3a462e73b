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

__m128i Load(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void Store(int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
void StoreBytes(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
__m128i Broadcast(const int16_t (&lanes)[8]) { return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes)); }

// The clamped channel bytes of 16 pixels.
struct Channels {
  __m128i r, g, b;
};

// Channel of 16 pixels: the even pixel of pair k takes 2 t[k], the odd one
// t[k] + t[k+1]; sum with the luma terms, shift, clamp to bytes.
__m128i Channel(const int16_t* run, __m128i lumaLow, __m128i lumaHigh) {
  const __m128i t0 = Load(run);
  const __m128i t1 = Load(run + 1);  // entries 1-8
  const __m128i even = _mm_add_epi16(t0, t0);
  const __m128i odd = _mm_add_epi16(t0, t1);
  const __m128i low = _mm_srai_epi16(_mm_adds_epi16(lumaLow, _mm_unpacklo_epi16(even, odd)), 6);
  const __m128i high = _mm_srai_epi16(_mm_adds_epi16(lumaHigh, _mm_unpackhi_epi16(even, odd)), 6);
  return _mm_packus_epi16(low, high);
}

Channels Convert16(const ColourState& colour, const uint8_t* luma, const int16_t* window) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma));
  const __m128i gain = Broadcast(colour.lumaGain8);
  const __m128i offset = Broadcast(colour.lumaOffset8);
  const auto term = [&](__m128i samples) {
    const __m128i scaled = _mm_mulhi_epi16(_mm_slli_epi16(samples, 7), gain);
    return _mm_sub_epi16(_mm_add_epi16(scaled, scaled), offset);
  };
  const __m128i lumaLow = term(_mm_unpacklo_epi8(y, zero));
  const __m128i lumaHigh = term(_mm_unpackhi_epi8(y, zero));
  return {Channel(window, lumaLow, lumaHigh), Channel(window + kWindowRun, lumaLow, lumaHigh),
          Channel(window + 2 * kWindowRun, lumaLow, lumaHigh)};
}

// 16-bit pixel words from the channel bytes: each channel keeps its top bits
// (mask) at its field position.
void StoreWords(uint8_t* destination, const Channels& c, int redShift, int greenMask, int greenShift) {
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
void StoreQuads(uint8_t* destination, __m128i first, __m128i second, __m128i third, __m128i fourth) {
  const __m128i lowPairs = _mm_unpacklo_epi8(first, second);
  const __m128i highPairs = _mm_unpackhi_epi8(first, second);
  const __m128i lowTail = _mm_unpacklo_epi8(third, fourth);
  const __m128i highTail = _mm_unpackhi_epi8(third, fourth);
  StoreBytes(destination, _mm_unpacklo_epi16(lowPairs, lowTail));
  StoreBytes(destination + 16, _mm_unpackhi_epi16(lowPairs, lowTail));
  StoreBytes(destination + 32, _mm_unpacklo_epi16(highPairs, highTail));
  StoreBytes(destination + 48, _mm_unpackhi_epi16(highPairs, highTail));
}

}  // namespace

void ComputeChromaTermsSse2(const ColourState& colour, const uint8_t* cb, const uint8_t* cr, const TermLines& lines,
                            int position) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i u = _mm_slli_epi16(
      _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb)), zero), bias), 8);
  const __m128i v = _mm_slli_epi16(
      _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr)), zero), bias), 8);
  Store(lines.r + position, _mm_mulhi_epi16(v, Broadcast(colour.crToR8)));
  Store(lines.b + position, _mm_mulhi_epi16(u, Broadcast(colour.cbToB8)));
  const __m128i pairs = Broadcast(colour.greenPairs8);
  const __m128i round = _mm_set1_epi32(32768);
  const __m128i low = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(u, v), pairs), round), 16);
  const __m128i high = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(u, v), pairs), round), 16);
  Store(lines.g + position, _mm_packs_epi32(low, high));
}

void BlendChromaRowsSse2(int16_t* a, int16_t* b) {
  const __m128i one = _mm_set1_epi16(1);
  const __m128i two = _mm_set1_epi16(2);
  for (int run = 0; run < 3; ++run) {
    int16_t* pa = a + run * kWindowRun;
    int16_t* pb = b + run * kWindowRun;
    const __m128i x = Load(pa);
    const __m128i y = Load(pb);
    const __m128i sum = _mm_add_epi16(x, y);
    const __m128i difference = _mm_sub_epi16(x, y);
    if (run < 2) {
      const __m128i twice = _mm_add_epi16(_mm_add_epi16(sum, sum), two);
      Store(pa, _mm_srai_epi16(_mm_add_epi16(twice, difference), 2));
      Store(pb, _mm_srai_epi16(_mm_sub_epi16(twice, difference), 2));
    } else {
      const __m128i d = _mm_srai_epi16(difference, 1);
      const __m128i base = _mm_add_epi16(sum, one);
      Store(pa, _mm_srai_epi16(_mm_add_epi16(base, d), 1));
      Store(pb, _mm_srai_epi16(_mm_sub_epi16(base, d), 1));
    }
  }
}

void BlendFieldChromaRowsSse2(int16_t* w, int16_t* x) {
  const __m128i one = _mm_set1_epi16(1);
  const __m128i two = _mm_set1_epi16(2);
  for (int run = 0; run < 3; ++run) {
    int16_t* pw = w + run * kWindowRun;
    int16_t* px = x + run * kWindowRun;
    const __m128i first = Load(pw);
    const __m128i second = Load(px);
    const __m128i difference = _mm_sub_epi16(second, first);
    if (run < 2) {
      // x = (d + 2(x + w) + 2) >> 2, w = (d + 4w + 2) >> 2, d = (x - w) >> 1.
      const __m128i d = _mm_add_epi16(_mm_srai_epi16(difference, 1), two);
      Store(px, _mm_srai_epi16(_mm_add_epi16(d, _mm_slli_epi16(_mm_add_epi16(first, second), 1)), 2));
      Store(pw, _mm_srai_epi16(_mm_add_epi16(d, _mm_slli_epi16(first, 2)), 2));
    } else {
      // x = (d + x + w + 1) >> 1, w = (d + 2w + 1) >> 1, d = (x - w) >> 2.
      const __m128i d = _mm_add_epi16(_mm_srai_epi16(difference, 2), one);
      Store(px, _mm_srai_epi16(_mm_add_epi16(d, _mm_add_epi16(first, second)), 1));
      Store(pw, _mm_srai_epi16(_mm_add_epi16(d, _mm_slli_epi16(first, 1)), 1));
    }
  }
}

void Pack16Rgb555Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  StoreWords(destination, Convert16(colour, luma, window), 7, 0xF8, 2);
}

void Pack16Rgb565Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  StoreWords(destination, Convert16(colour, luma, window), 8, 0xFC, 3);
}

void Pack16Rgb24Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  const Channels c = Convert16(colour, luma, window);
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

void Pack16Rgb32Sse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  const Channels c = Convert16(colour, luma, window);
  StoreQuads(destination, c.b, c.g, c.r, _mm_setzero_si128());
}

void Pack16Rgb32RevSse2(const ColourState& colour, uint8_t* destination, const uint8_t* luma,
                        const int16_t* window) {
  const Channels c = Convert16(colour, luma, window);
  StoreQuads(destination, _mm_setzero_si128(), c.r, c.g, c.b);
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

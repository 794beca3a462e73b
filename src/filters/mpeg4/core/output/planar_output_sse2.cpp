#include <emmintrin.h>

#include "filters/mpeg4/core/output/planar_output.h"

namespace tlx::mpeg4 {

void PackYuy2Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width, int height,
                  ptrdiff_t stride, ptrdiff_t lumaStride) {
  const ptrdiff_t chromaStride = lumaStride / 2;
  const int groups = width / 16;
  for (int row = 0; row < height; ++row) {
    const uint8_t* luma = y + row * lumaStride;
    const uint8_t* cb = u + (row / 2) * chromaStride;
    const uint8_t* cr = v + (row / 2) * chromaStride;
    uint8_t* out = destination + row * stride;
    for (int g = 0; g < groups; ++g) {
      const __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + 16 * g));
      const __m128i chroma = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + 8 * g)),
                                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + 8 * g)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * g), _mm_unpacklo_epi8(samples, chroma));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * g + 16), _mm_unpackhi_epi8(samples, chroma));
    }
    PackYuy2Row(luma, cb, cr, out, 16 * groups, width);
  }
}

}  // namespace tlx::mpeg4

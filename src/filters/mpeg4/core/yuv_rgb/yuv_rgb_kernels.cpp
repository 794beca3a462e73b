// Plain forms of the YUV-to-RGB line kernels, the colour-state setter and the
// kernel tables.
#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_kernels.h"

#include <algorithm>
#include <cstring>

#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"

namespace tlx::mpeg4 {
namespace {

struct CoefficientSet {
  int32_t cbToB, cbToG, crToG, crToR, lumaGain;
};

constexpr CoefficientSet kStudioRange = {16531, -3203, -6660, 13074, 19076};
constexpr CoefficientSet kFullRange = {14508, -2818, -5849, 11485, 16384};

int32_t LumaTerm(const ColourState& colour, uint8_t y) {
  return ((int32_t(y) * 128 * colour.lumaGain) >> 16) * 2 - colour.lumaOffset;
}

uint8_t Clamp(int32_t value) { return uint8_t(std::clamp(value >> 6, 0, 255)); }

// One pixel's channels (R, G, B) from its luma term and chroma sums
// (2 t[k] on the even pixel, t[k] + t[k+1] on the odd one).
struct Rgb {
  uint8_t r, g, b;
};

Rgb Pixel(int32_t luma, int32_t r, int32_t g, int32_t b) { return {Clamp(luma + r), Clamp(luma + g), Clamp(luma + b)}; }

void Store(RgbFormat format, uint8_t* destination, Rgb p) {
  switch (format) {
    case RgbFormat::Rgb555: {
      const uint16_t word = uint16_t(((p.r & 0xF8) << 7) | ((p.g & 0xF8) << 2) | (p.b >> 3));
      std::memcpy(destination, &word, 2);
      break;
    }
    case RgbFormat::Rgb565: {
      const uint16_t word = uint16_t(((p.r & 0xF8) << 8) | ((p.g & 0xFC) << 3) | (p.b >> 3));
      std::memcpy(destination, &word, 2);
      break;
    }
    case RgbFormat::Rgb24:
      destination[0] = p.b;
      destination[1] = p.g;
      destination[2] = p.r;
      break;
    case RgbFormat::Rgb32:
      destination[0] = p.b;
      destination[1] = p.g;
      destination[2] = p.r;
      destination[3] = 0;
      break;
    case RgbFormat::Rgb32Rev:
      destination[0] = 0;
      destination[1] = p.r;
      destination[2] = p.g;
      destination[3] = p.b;
      break;
  }
}

template <RgbFormat kFormat>
void PackPairOf(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* terms) {
  const int16_t* r = terms;
  const int16_t* g = terms + kWindowRun;
  const int16_t* b = terms + 2 * kWindowRun;
  const int bytes = kRgbPixelBytes[int(kFormat)];
  Store(kFormat, destination, Pixel(LumaTerm(colour, luma[0]), 2 * r[0], 2 * g[0], 2 * b[0]));
  Store(kFormat, destination + bytes,
        Pixel(LumaTerm(colour, luma[1]), r[0] + r[1], g[0] + g[1], b[0] + b[1]));
}

template <RgbFormat kFormat>
void Pack16Of(const ColourState& colour, uint8_t* destination, const uint8_t* luma, const int16_t* window) {
  const int bytes = kRgbPixelBytes[int(kFormat)];
  for (int k = 0; k < 8; ++k) PackPairOf<kFormat>(colour, destination + 2 * k * bytes, luma + 2 * k, window + k);
}

}  // namespace

void SetRange(ColourState& colour, int fullRange, int lumaLift) {
  const CoefficientSet& set = fullRange != 0 ? kFullRange : kStudioRange;
  colour.cbToB = set.cbToB;
  colour.cbToG = set.cbToG;
  colour.crToG = set.crToG;
  colour.crToR = set.crToR;
  colour.lumaGain = set.lumaGain;
  const int32_t lift = std::clamp(lumaLift, 0, 16);
  colour.lumaOffset = (((16 - lift) * colour.lumaGain * 128) >> 15) - 32;
  for (int i = 0; i < 8; ++i) {
    colour.lumaOffset8[i] = int16_t(colour.lumaOffset);
    colour.lumaGain8[i] = int16_t(colour.lumaGain);
    colour.cbToB8[i] = int16_t(colour.cbToB);
    colour.crToR8[i] = int16_t(colour.crToR);
    colour.greenPairs8[i] = int16_t((i & 1) == 0 ? colour.cbToG : colour.crToG);
  }
}

void ComputeChromaTerms(const ColourState& colour, const uint8_t* cb, const uint8_t* cr, const TermLines& lines,
                        int position) {
  for (int i = 0; i < 8; ++i) {
    const int32_t u = (int32_t(cb[i]) - 128) * 256;
    const int32_t v = (int32_t(cr[i]) - 128) * 256;
    lines.r[position + i] = int16_t((colour.crToR * v) >> 16);
    lines.g[position + i] = int16_t((colour.cbToG * u + colour.crToG * v + 32768) >> 16);
    lines.b[position + i] = int16_t((colour.cbToB * u) >> 16);
  }
}

void BlendChromaRows(int16_t* a, int16_t* b) {
  for (int run = 0; run < 3; ++run) {
    for (int i = 0; i < 8; ++i) {
      int16_t& x = a[run * kWindowRun + i];
      int16_t& y = b[run * kWindowRun + i];
      const int32_t sum = x + y;
      const int32_t difference = x - y;
      if (run < 2) {
        x = int16_t((2 * sum + difference + 2) >> 2);
        y = int16_t((2 * sum - difference + 2) >> 2);
      } else {
        const int32_t d = difference >> 1;
        x = int16_t((sum + d + 1) >> 1);
        y = int16_t((sum - d + 1) >> 1);
      }
    }
  }
}

void BlendFieldChromaRows(int16_t* w, int16_t* x) {
  for (int run = 0; run < 3; ++run) {
    for (int i = 0; i < 8; ++i) {
      int16_t& first = w[run * kWindowRun + i];
      int16_t& second = x[run * kWindowRun + i];
      const int32_t a = first;
      const int32_t b = second;
      first = int16_t((7 * a + b + 4) >> 3);
      second = int16_t((5 * b + 3 * a + 4) >> 3);
    }
  }
}

void PackPair555(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* t) {
  PackPairOf<RgbFormat::Rgb555>(c, d, y, t);
}
void PackPair565(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* t) {
  PackPairOf<RgbFormat::Rgb565>(c, d, y, t);
}
void PackPair24(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* t) {
  PackPairOf<RgbFormat::Rgb24>(c, d, y, t);
}
void PackPair32(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* t) {
  PackPairOf<RgbFormat::Rgb32>(c, d, y, t);
}
void PackPair32Rev(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* t) {
  PackPairOf<RgbFormat::Rgb32Rev>(c, d, y, t);
}

void Pack16Rgb555(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* w) {
  Pack16Of<RgbFormat::Rgb555>(c, d, y, w);
}
void Pack16Rgb565(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* w) {
  Pack16Of<RgbFormat::Rgb565>(c, d, y, w);
}
void Pack16Rgb24(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* w) {
  Pack16Of<RgbFormat::Rgb24>(c, d, y, w);
}
void Pack16Rgb32(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* w) {
  Pack16Of<RgbFormat::Rgb32>(c, d, y, w);
}
void Pack16Rgb32Rev(const ColourState& c, uint8_t* d, const uint8_t* y, const int16_t* w) {
  Pack16Of<RgbFormat::Rgb32Rev>(c, d, y, w);
}

void ConvertChunks(const ColourState& colour, const TermLines& lines, RowBlend blend, RgbFormat format,
                   uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2,
                   const uint8_t* cb, const uint8_t* cr, int groups, bool edge) {
  const bool pair = blend != RowBlend::None;
  const int chunkBytes = 16 * kRgbPixelBytes[int(format)];
  const Pack16Kernel pack = kPlainYuvRgbKernels.pack16[int(format)];
  alignas(16) int16_t a[kWindowEntries];
  alignas(16) int16_t b[kWindowEntries];
  // Chunk j's terms, blended, into entries offset..offset + 7 of the
  // windows; the new terms reach the lines only for the chunks converted.
  const auto load = [&](int j, int offset) {
    if (edge && j == groups) {
      // The row's edge: entry 8 repeats entry 7 (the last chunk's, blended).
      for (int run = 0; run < 3; ++run) {
        a[run * kWindowRun + 8] = a[run * kWindowRun + 7];
        if (pair) b[run * kWindowRun + 8] = b[run * kWindowRun + 7];
      }
      return;
    }
    alignas(16) int16_t fresh[kWindowEntries];
    const int position = 8 * j;
    ComputeChromaTerms(colour, cb + position, cr + position, {fresh, fresh + kWindowRun, fresh + 2 * kWindowRun},
                       0);
    if (pair) GatherTerms(a, lines, position, offset);
    int16_t* target = pair ? b : a;
    for (int run = 0; run < 3; ++run) {
      std::memcpy(target + run * kWindowRun + offset, fresh + run * kWindowRun, 8 * sizeof(int16_t));
    }
    if (j < groups) {
      std::memcpy(lines.r + position, fresh, 8 * sizeof(int16_t));
      std::memcpy(lines.g + position, fresh + kWindowRun, 8 * sizeof(int16_t));
      std::memcpy(lines.b + position, fresh + 2 * kWindowRun, 8 * sizeof(int16_t));
    }
    BlendWindows(kPlainYuvRgbKernels, blend, a + offset, b + offset);
  };
  load(0, 0);
  for (int j = 0; j < groups; ++j) {
    load(j + 1, 8);
    pack(colour, destination1 + j * chunkBytes, luma1 + 16 * j, a);
    if (pair) pack(colour, destination2 + j * chunkBytes, luma2 + 16 * j, b);
    // Entries 8-15 of each run move to 0-7.
    for (int run = 0; run < 3; ++run) {
      std::memcpy(a + run * kWindowRun, a + run * kWindowRun + 8, 8 * sizeof(int16_t));
      std::memcpy(b + run * kWindowRun, b + run * kWindowRun + 8, 8 * sizeof(int16_t));
    }
  }
}

void GatherTerms(int16_t* window, const TermLines& lines, int position, int offset) {
  std::memcpy(window + offset, lines.r + position, 8 * sizeof(int16_t));
  std::memcpy(window + kWindowRun + offset, lines.g + position, 8 * sizeof(int16_t));
  std::memcpy(window + 2 * kWindowRun + offset, lines.b + position, 8 * sizeof(int16_t));
}

void BlendWindows(const YuvRgbKernels& kernels, RowBlend blend, int16_t* a, int16_t* b) {
  switch (blend) {
    case RowBlend::None:
      break;
    case RowBlend::Progressive:
      kernels.blendChromaRows(a, b);
      break;
    case RowBlend::TopField:
      kernels.blendFieldChromaRows(b, a);
      break;
    case RowBlend::BottomField:
      kernels.blendFieldChromaRows(a, b);
      break;
  }
}

void CopyLine(uint8_t* destination, const uint8_t* source, int byteCount) {
  for (int i = 0; i < byteCount; ++i) destination[i] = source[i];
}

void AverageRows8(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n) {
  for (int i = 0; i < n; ++i) destination[i] = uint8_t((a[i] + b[i] + 1) >> 1);
}

namespace {

// Per-component floor average of two 16-bit pixels given the masks of their
// components' low bits.
void AverageRows16(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n, uint16_t keep, uint16_t low) {
  for (int i = 0; i + 1 < n; i += 2) {
    uint16_t x, y;
    std::memcpy(&x, a + i, 2);
    std::memcpy(&y, b + i, 2);
    const uint16_t average = uint16_t(((x & keep) >> 1) + ((y & keep) >> 1) + (x & y & low));
    std::memcpy(destination + i, &average, 2);
  }
}

}  // namespace

void AverageRows555(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n) {
  AverageRows16(destination, a, b, n, 0x7BDE, 0x0421);
}

void AverageRows565(uint8_t* destination, const uint8_t* a, const uint8_t* b, int n) {
  AverageRows16(destination, a, b, n, 0xF7DE, 0x0821);
}

const YuvRgbKernels kPlainYuvRgbKernels = {
    ComputeChromaTerms,
    BlendChromaRows,
    BlendFieldChromaRows,
    {PackPair555, PackPair565, PackPair24, PackPair32, PackPair32Rev},
    {Pack16Rgb555, Pack16Rgb565, Pack16Rgb24, Pack16Rgb32, Pack16Rgb32Rev},
    ConvertChunks,
    CopyLine,
    {AverageRows555, AverageRows565, AverageRows8, AverageRows8, AverageRows8},
};

const YuvRgbKernels kSse2YuvRgbKernels = {
    ComputeChromaTermsSse2,
    BlendChromaRowsSse2,
    BlendFieldChromaRowsSse2,
    {PackPair555, PackPair565, PackPair24, PackPair32, PackPair32Rev},
    {Pack16Rgb555Sse2, Pack16Rgb565Sse2, Pack16Rgb24Sse2, Pack16Rgb32Sse2, Pack16Rgb32RevSse2},
    ConvertChunksSse2,
    CopyLineSse2,
    {AverageRows555Sse2, AverageRows565Sse2, AverageRows8Sse2, AverageRows8Sse2, AverageRows8Sse2},
};

namespace {

YuvRgbKernels WithChunkLoop(const YuvRgbKernels& set, ConvertChunksKernel convertChunks) {
  YuvRgbKernels kernels = set;
  kernels.convertChunks = convertChunks;
  return kernels;
}

}  // namespace

const YuvRgbKernels kAvx2YuvRgbKernels = WithChunkLoop(kSse2YuvRgbKernels, ConvertChunksAvx2);

const YuvRgbKernels& VectorYuvRgbKernels(uint32_t features) {
  return (features & kFeatureAvx2) != 0 ? kAvx2YuvRgbKernels : kSse2YuvRgbKernels;
}

}  // namespace tlx::mpeg4

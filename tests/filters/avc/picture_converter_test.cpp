#include "filters/avc/picture_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"
#include "filters/mpeg4/core/yuv_rgb/rgb_reference_model.h"

namespace tlx::avc {
namespace {

TEST(PictureConverter, TheFeatureWordChoosesTheVariant) {
  enum Rgb { C, Mmx, Sse };
  struct Case {
    uint32_t features;
    bool simd;
    Rgb rgb;
  };
  const Case cases[] = {
      {0x0, false, C},       {0x1 | 0x2 | 0x10 | 0x40, false, C}, {0x1 | 0x2 | 0x20, true, Mmx},
      {0x1 | 0x2 | 0x20 | 0x200 | 0x400, true, Sse}, {0x1 | 0x2 | 0x20 | 0x600 | 0x2000, true, Sse},
      {0x2000, true, Sse},
  };
  const auto rgbClass = [](const CYuvRgbConverter* rgb) {
    return dynamic_cast<const CYuvRgbConverterSse*>(rgb) != nullptr   ? Sse
           : dynamic_cast<const CYuvRgbConverterMmx*>(rgb) != nullptr ? Mmx
                                                                       : C;
  };
  for (const Case& c : cases) {
    CPictureConverter converter;
    EXPECT_EQ(converter.Select(c.features), 1);
    EXPECT_TRUE(converter.ready());
    EXPECT_EQ(converter.formatConverter()->simd(), c.simd) << std::hex << c.features;
    ASSERT_NE(converter.rgbConverter(), nullptr);
    EXPECT_EQ(rgbClass(converter.rgbConverter()), c.rgb) << std::hex << c.features;
    // The plain class runs the plain kernels, the others the SSE2 ones.
    EXPECT_EQ(&converter.rgbConverter()->kernels(),
              c.rgb == C ? &mpeg4::kPlainYuvRgbKernels : &mpeg4::kSse2YuvRgbKernels);
  }
  // An AMD processor with the MMX extensions and no SSE counts as the SSE level.
  win32::CpuidRegisters amd;
  amd.hasCpuid = amd.hasLeaf1 = amd.hasExtended = amd.hasExtended1 = true;
  amd.leaf0 = {1, 0x68747541, 0x444D4163, 0x69746E65};
  amd.leaf1.edx = 1u << 23;  // MMX only
  amd.extended0.eax = 0x80000001;
  amd.extended1.edx = 1u << 22;
  const uint32_t features = mpeg4::ProbeCpuFeatures(amd);
  EXPECT_EQ(features & (mpeg4::kFeatureIntegerSse | mpeg4::kFeatureSse2), mpeg4::kFeatureIntegerSse);
  CPictureConverter converter;
  converter.Select(features);
  EXPECT_TRUE(converter.formatConverter()->simd());
  EXPECT_NE(dynamic_cast<const CYuvRgbConverterSse*>(converter.rgbConverter()), nullptr);
}

struct Picture {
  int width, height, lumaStride, chromaStride;
  std::vector<uint8_t> y, u, v;
  Picture(int w, int h, std::mt19937& random)
      : width(w), height(h), lumaStride(w + 5), chromaStride((w + 1) / 2 + 3) {
    y.resize(static_cast<size_t>(lumaStride) * h);
    u.resize(static_cast<size_t>(chromaStride) * ((h + 1) / 2));
    v.resize(u.size());
    for (auto* plane : {&y, &u, &v})
      for (auto& b : *plane) b = static_cast<uint8_t>(random());
  }
  Planes planes() { return {{y.data(), u.data(), v.data()}, {lumaStride, chromaStride, chromaStride}}; }
};

TEST(PictureConverter, Yv12CopySwapsTheChromaPlanesAndWritesOnlyThePicture) {
  std::mt19937 random(1);
  Picture source(1920, 1080, random);
  const int stride = 1920 + 64;
  std::vector<uint8_t> y(stride * 1080, 0xEE), second(stride / 2 * 540, 0xEE), third(stride / 2 * 540, 0xEE);
  const Planes destination{{y.data(), second.data(), third.data()}, {stride, stride / 2, stride / 2}};
  CPictureConverter converter;
  ASSERT_EQ(converter.PlanarConvert(source.planes(), 1920, 1080, kFormatPlanar420 | kSourceProgressive, destination,
                                    kFormatYv12),
            1);
  for (int row = 0; row < 1080; ++row) {
    ASSERT_TRUE(std::equal(y.begin() + row * stride, y.begin() + row * stride + 1920,
                           source.y.begin() + row * source.lumaStride));
    ASSERT_EQ(y[row * stride + 1920], 0xEE);
  }
  for (int row = 0; row < 540; ++row) {
    ASSERT_TRUE(std::equal(third.begin() + row * stride / 2, third.begin() + row * stride / 2 + 960,
                           source.u.begin() + row * source.chromaStride));
    ASSERT_TRUE(std::equal(second.begin() + row * stride / 2, second.begin() + row * stride / 2 + 960,
                           source.v.begin() + row * source.chromaStride));
    ASSERT_EQ(third[row * stride / 2 + 960], 0xEE);
    ASSERT_EQ(second[row * stride / 2 + 960], 0xEE);
  }
  // Only 4:2:0 and YV12 pair up.
  EXPECT_EQ(converter.PlanarConvert(source.planes(), 1920, 1080, kFormatPlanar420, destination, kFormatPlanar420), 0);
  EXPECT_EQ(converter.PlanarConvert(source.planes(), 1920, 1080, kFormatPlanar422, destination, kFormatYv12), 0);
}

// The YUY2 packing as the rules state it: the chroma row pair and weights of
// each output row, rounded by the variant.
std::vector<uint8_t> Yuy2Model(Picture& p, bool interlaced, bool rounded, int rowBytes) {
  std::vector<uint8_t> out(static_cast<size_t>(rowBytes) * p.height, 0);
  const int chromaRows = p.height / 2;
  for (int row = 0; row < p.height; ++row) {
    int a, b, wa, shift;
    if (!interlaced) {
      shift = 2;
      if (row == 0) {
        a = b = 0, wa = 4;
      } else if (row == p.height - 1) {
        a = b = chromaRows - 1, wa = 4;
      } else {
        const int k = (row - 1) / 2;
        a = k, b = k + 1, wa = (row - 1) % 2 == 0 ? 3 : 1;
      }
    } else {
      shift = 3;
      if (row < 2) {
        a = b = row, wa = 8;
      } else if (row >= p.height - 2) {
        a = b = chromaRows - 2 + (row - (p.height - 2)), wa = 8;
      } else {
        const int k = (row - 2) / 4;
        switch ((row - 2) % 4) {
          case 0: a = 2 * k, b = 2 * k + 2, wa = 5; break;
          case 1: a = 2 * k + 1, b = 2 * k + 3, wa = 7; break;
          case 2: a = 2 * k, b = 2 * k + 2, wa = 1; break;
          default: a = 2 * k + 1, b = 2 * k + 3, wa = 3; break;
        }
      }
    }
    const int wb = (1 << shift) - wa, round = rounded ? 1 << (shift - 1) : 0;
    const auto chroma = [&](const std::vector<uint8_t>& plane, int c) {
      return static_cast<uint8_t>(
          (wa * plane[a * p.chromaStride + c] + wb * plane[b * p.chromaStride + c] + round) >> shift);
    };
    uint8_t* line = out.data() + row * rowBytes;
    for (int x = 0; x < p.width; ++x) {
      line[2 * x] = p.y[row * p.lumaStride + x];
      line[2 * x + 1] = chroma(x % 2 == 0 ? p.u : p.v, x / 2);
    }
  }
  return out;
}

TEST(PictureConverter, Yuy2MatchesTheRulesForBothVariants) {
  struct Size {
    int width, height;
  };
  const Size sizes[] = {{16, 4}, {32, 8}, {718, 480}, {715, 16}, {17, 12}, {3, 4}, {720, 576}};
  std::mt19937 random(3);
  for (const bool simd : {false, true}) {
    for (const bool interlaced : {false, true}) {
      for (const Size size : sizes) {
        SCOPED_TRACE(testing::Message() << (simd ? "SIMD" : "plain") << (interlaced ? " interlaced " : " progressive ")
                                        << size.width << "x" << size.height);
        Picture source(size.width, size.height, random);
        CPictureConverter converter;
        converter.Select(simd ? mpeg4::kFeatureSse2 : 0);
        const int rowBytes = 2 * size.width;  // exactly the row, so any overrun is caught
        std::vector<uint8_t> out(static_cast<size_t>(rowBytes) * size.height, 0);
        ASSERT_EQ(converter.PackedConvert(source.planes(), size.width, size.height,
                                          kFormatPlanar420 | (interlaced ? kSourceInterlaced : kSourceProgressive),
                                          kOptionStudioRange, out.data(), rowBytes, kFormatYuy2),
                  1);
        EXPECT_EQ(out, Yuy2Model(source, interlaced, simd, rowBytes));
      }
    }
  }
}

TEST(PictureConverter, AFourRowInterlacedPictureRepeatsItsChromaRows) {
  std::mt19937 random(4);
  Picture source(8, 4, random);
  CPictureConverter converter;
  converter.Select(0);
  std::vector<uint8_t> out(16 * 4);
  converter.PackedConvert(source.planes(), 8, 4, kFormatPlanar420 | kSourceInterlaced, kOptionStudioRange,
                          out.data(), 16, kFormatYuy2);
  for (int row = 0; row < 4; ++row)
    for (int x = 0; x < 8; x += 2) {
      EXPECT_EQ(out[row * 16 + 2 * x + 1], source.u[(row % 2) * source.chromaStride + x / 2]);
      EXPECT_EQ(out[row * 16 + 2 * x + 3], source.v[(row % 2) * source.chromaStride + x / 2]);
    }
}

// Planes whose chroma stride is half the luma stride, as the RGB walks read
// them.
struct HalfStridePlanes {
  int width, height, lumaStride;
  std::vector<uint8_t> y, u, v;
  HalfStridePlanes(int w, int h, std::mt19937& random) : width(w), height(h), lumaStride((w + 1) / 2 * 2 + 16) {
    y.resize(static_cast<size_t>(lumaStride) * h);
    u.resize(static_cast<size_t>(lumaStride / 2) * ((h + 1) / 2));
    v.resize(u.size());
    for (auto* plane : {&y, &u, &v})
      for (auto& b : *plane) b = static_cast<uint8_t>(random());
  }
  Planes planes(bool yv12) {
    return {{y.data(), yv12 ? v.data() : u.data(), yv12 ? u.data() : v.data()},
            {lumaStride, lumaStride / 2, lumaStride / 2}};
  }
};

// The RGB branch: format, walk, orientation and range from the format and
// option words, against the reference model.
TEST(PictureConverter, RgbFollowsTheFormatSourceAndOptionWords) {
  namespace ref = mpeg4::reference;
  const struct {
    uint32_t format, source, option;
    ref::Format model;
    ref::Mode mode;
    bool topDown;
  } cases[] = {
      {kFormatRgb555, kFormatPlanar420 | kSourceProgressive, kOptionStudioRange, ref::Format::Rgb555,
       ref::Mode::Progressive, false},
      {kFormatRgb555, kFormatPlanar420 | kSourceInterlaced, kOptionRowsFromLast, ref::Format::Rgb555,
       ref::Mode::Fields, true},
      {kFormatRgb565, kFormatPlanar420 | kSourceInterlaced, kOptionStudioRange | kOptionRowsFromLast,
       ref::Format::Rgb565, ref::Mode::Fields, true},
      {kFormatRgb24, kFormatPlanar420 | kSourceProgressive, kOptionFullRange | kOptionRowsFromLast,
       ref::Format::Rgb24, ref::Mode::Progressive, true},
      {kFormatRgb24, kFormatYv12 | kSourceInterlaced, kOptionStudioRange, ref::Format::Rgb24, ref::Mode::Fields,
       false},
      {kFormatRgb32, kFormatPlanar420 | kSourceInterlaced, kOptionFullRange, ref::Format::Rgb32, ref::Mode::Fields,
       false},
      {kFormatRgb32, kFormatPlanar420 | kSourceInterlaced, kOptionShiftedFields | kOptionRowsFromLast,
       ref::Format::Rgb32, ref::Mode::ShiftUp, true},
      // The shifted walk is a field walk: a progressive source ignores it.
      {kFormatRgb32, kFormatYv12 | kSourceProgressive, kOptionShiftedFields, ref::Format::Rgb32,
       ref::Mode::Progressive, false},
  };
  std::mt19937 random(6);
  HalfStridePlanes source(38, 22, random);
  for (const uint32_t features : {0u, 0x20u, 0x2000u}) {
    CPictureConverter converter;
    converter.Select(features);
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "features " << features << " format " << std::hex << c.format << " source "
                                      << c.source << " option " << c.option);
      const int rowBytes = source.width * ref::PixelBytes(c.model) + 6;
      std::vector<uint8_t> out(static_cast<size_t>(rowBytes) * source.height, 0xEE);
      ASSERT_EQ(converter.PackedConvert(source.planes((c.source & kFormatYv12) != 0), source.width, source.height,
                                        c.source, c.option, out.data(), rowBytes, c.format),
                1);
      const bool full = (c.option & kOptionFullRange) != 0;
      const auto rows = ref::ConvertPicture(ref::MakeColour(full, full ? 16 : 0), c.model, c.mode,
                                            {source.width, source.height, source.y.data(), source.u.data(),
                                             source.v.data(), source.lumaStride});
      for (int r = 0; r < source.height; ++r) {
        const uint8_t* row = out.data() + static_cast<size_t>(c.topDown ? r : source.height - 1 - r) * rowBytes;
        ASSERT_TRUE(std::equal(rows[r].begin(), rows[r].end(), row)) << "row " << r;
        ASSERT_TRUE(std::all_of(row + rows[r].size(), row + rowBytes, [](uint8_t b) { return b == 0xEE; }));
      }
    }
  }
}

TEST(PictureConverter, APackedConversionItCannotDoWritesNothing) {
  std::mt19937 random(5);
  HalfStridePlanes source(16, 16, random);
  const struct {
    const char* what;
    Planes planes;
    uint32_t sourceFormat, destinationFormat;
    int rowBytes;
  } cases[] = {
      {"no packed format", source.planes(false), kFormatPlanar420 | kSourceProgressive, 0, 64},
      {"a 4:2:2 source", source.planes(false), kFormatPlanar422, kFormatYuy2, 64},
      {"a 4:2:2 source to RGB", source.planes(false), kFormatPlanar422, kFormatRgb32, 64},
      {"chroma rows not half the luma stride", {{source.y.data(), source.u.data(), source.v.data()},
                                                {source.lumaStride, source.lumaStride / 2 + 1, source.lumaStride / 2}},
       kFormatPlanar420 | kSourceProgressive, kFormatRgb24, 64},
      {"rows shorter than the picture", source.planes(false), kFormatPlanar420 | kSourceInterlaced, kFormatRgb32, 60},
  };
  CPictureConverter converter;
  for (const auto& c : cases) {
    std::vector<uint8_t> out(64 * 16, 0xEE);
    EXPECT_EQ(converter.PackedConvert(c.planes, 16, 16, c.sourceFormat, kOptionStudioRange, out.data(), c.rowBytes,
                                      c.destinationFormat),
              0)
        << c.what;
    EXPECT_EQ(out, std::vector<uint8_t>(64 * 16, 0xEE)) << c.what;
  }
}

}  // namespace
}  // namespace tlx::avc

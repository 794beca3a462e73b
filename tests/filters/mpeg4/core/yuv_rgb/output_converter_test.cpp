// The output converter: line-buffer layout and growth, set-up values,
// allocation failure, and every picture operation against the reference
// model for every format, both orientations and many sizes.
#include "filters/mpeg4/core/yuv_rgb/output_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"
#include "rgb_reference_model.h"

namespace tlx::mpeg4 {
namespace {

TEST(OutputConverter, LineBufferLayoutAndGrowth) {
  OutputConverter converter(kPlainYuvRgbKernels, HeapConverterAllocator());
  const struct {
    int width;
    size_t entries, bytes;
  } cases[] = {{352, 192, 2560}, {720, 368, 4672}};
  for (const auto& c : cases) {
    EXPECT_EQ(converter.AllocateLineBuffers(c.width), 0u);
    EXPECT_EQ(converter.LineBufferSize(), c.bytes);
    const auto address = [](const void* p) { return reinterpret_cast<uintptr_t>(p); };
    EXPECT_EQ(address(converter.BlockA()) % 32, 0u);
    EXPECT_EQ(address(converter.BlockB()) - address(converter.BlockA()), 96u);
    EXPECT_EQ(address(converter.Terms().r) - address(converter.BlockA()), 192u);
    EXPECT_EQ(address(converter.Terms().g) - address(converter.Terms().r), 2 * c.entries);
    EXPECT_EQ(address(converter.Terms().b) - address(converter.Terms().g), 2 * c.entries);
  }
  // A conversion regrows only for a wider picture.
  std::vector<uint8_t> planes(64 * 64, 128), out(1024 * 4 * 4);
  converter.ReleaseBuffers();
  converter.Convert(RgbFormat::Rgb32, ConversionMode::Progressive, planes.data(), planes.data(), planes.data(),
                    out.data(), 32, 4, 128, 64);
  EXPECT_EQ(converter.LineCapacity(), 32);
  const int16_t* block = converter.BlockA();
  converter.Convert(RgbFormat::Rgb32, ConversionMode::Progressive, planes.data(), planes.data(), planes.data(),
                    out.data(), 16, 4, 128, 64);
  EXPECT_EQ(converter.LineCapacity(), 32);
  EXPECT_EQ(converter.BlockA(), block);
  converter.Convert(RgbFormat::Rgb32, ConversionMode::Progressive, planes.data(), planes.data(), planes.data(),
                    out.data(), 48, 4, 192, 64);
  EXPECT_EQ(converter.LineCapacity(), 48);
}

TEST(OutputConverter, SetupValues) {
  OutputConverter converter(kPlainYuvRgbKernels, HeapConverterAllocator());
  EXPECT_EQ(converter.Colour().lumaOffset, -32);  // the constructor's default
  const struct {
    int set, level, offset;
  } cases[] = {{0, 0, 1160}, {0, 16, -32}, {1, 16, -32}, {1, 0, 992}};
  for (const auto& c : cases) {
    converter.ConverterSetup(c.set, c.level);
    EXPECT_EQ(converter.Colour().lumaOffset, c.offset);
  }
}

void* RefuseAllocation(size_t) { return nullptr; }
void ReleaseNothing(void*) {}

TEST(OutputConverter, FailedAllocationWritesNothing) {
  OutputConverter converter(kPlainYuvRgbKernels, {RefuseAllocation, ReleaseNothing});
  std::vector<uint8_t> planes(64 * 64, 200), out(32 * 4 * 8, 0xCC);
  for (auto mode : {ConversionMode::Progressive, ConversionMode::OneField}) {
    EXPECT_EQ(converter.Convert(RgbFormat::Rgb24, mode, planes.data(), planes.data(), planes.data(), out.data(), 32, 8,
                                128, 64),
              kConverterOutOfMemory);
  }
  EXPECT_EQ(converter.Convert(RgbFormat::Rgb32, ConversionMode::ShiftUp, planes.data(), planes.data(), planes.data(),
                              out.data(), 32, 8, 128, 64),
            kConverterOutOfMemory);
  for (uint8_t byte : out) ASSERT_EQ(byte, 0xCC);
}

struct Source {
  int width, height, stride;
  std::vector<uint8_t> y, u, v;
};

// Random planes covering whole 16x16 macroblocks around width x height.
Source RandomSource(int width, int height, std::mt19937& random, bool smooth) {
  Source s;
  s.width = width, s.height = height;
  s.stride = (width + 15) / 16 * 16 + 32;
  const int rows = (height + 15) / 16 * 16;
  s.y.resize(size_t(s.stride * rows));
  s.u.resize(size_t(s.stride / 2 * rows / 2));
  s.v.resize(s.u.size());
  for (size_t i = 0; i < s.y.size(); ++i) s.y[i] = smooth ? uint8_t(16 + (i * 7) % 220) : uint8_t(random());
  for (size_t i = 0; i < s.u.size(); ++i) {
    s.u[i] = smooth ? uint8_t(16 + (i * 3) % 225) : uint8_t(random());
    s.v[i] = smooth ? uint8_t(240 - (i * 5) % 225) : uint8_t(random());
  }
  return s;
}

reference::Picture ModelPicture(const Source& s) {
  return {s.width, s.height, s.y.data(), s.u.data(), s.v.data(), s.stride};
}

// Converts with `mode` into a poisoned buffer in either orientation; checks every row against the
// model and every byte outside the area untouched.
void CheckPicture(OutputConverter& converter, const Source& s, reference::Format format, reference::Mode mode,
                  bool topDown, int set, int level) {
  converter.ConverterSetup(set, level);
  const int bytes = reference::PixelBytes(format);
  const int rowBytes = s.width * bytes;
  const int pitch = rowBytes + 7;
  const int margin = 2 * pitch;
  std::vector<uint8_t> buffer(size_t(pitch * s.height + 2 * margin), 0xB7);
  uint8_t* area = buffer.data() + margin;
  uint8_t* destination = topDown ? area + (s.height - 1) * pitch : area;
  const ptrdiff_t stride = topDown ? -pitch : pitch;
  ASSERT_EQ(converter.Convert(RgbFormat(int(format)), ConversionMode(int(mode)), s.y.data(), s.u.data(), s.v.data(),
                              destination, s.width, s.height, stride, s.stride),
            0u);
  const auto expected = reference::ConvertPicture(reference::MakeColour(set, level), format, mode, ModelPicture(s));
  for (int r = 0; r < s.height; ++r) {
    const uint8_t* row = destination + (s.height - 1 - r) * stride;
    ASSERT_EQ(0, std::memcmp(row, expected[size_t(r)].data(), size_t(rowBytes)))
        << "format " << int(format) << " mode " << int(mode) << " size " << s.width << "x" << s.height << " row "
        << r << (topDown ? " top-down" : " bottom-up");
    for (int i = rowBytes; i < pitch; ++i) ASSERT_EQ(area[(row - area) + i], 0xB7) << "padding of row " << r;
  }
  for (int i = 0; i < margin; ++i) {
    ASSERT_EQ(buffer[size_t(i)], 0xB7);
    ASSERT_EQ(buffer[buffer.size() - 1 - size_t(i)], 0xB7);
  }
}

class ConverterVsModel : public testing::TestWithParam<const YuvRgbKernels*> {};

TEST_P(ConverterVsModel, EveryOperationEveryFormatEverySize) {
  if (GetParam() == &kAvx2YuvRgbKernels && (ProbeCpuFeatures() & kFeatureAvx2) == 0) {
    GTEST_SKIP() << "no AVX2 on this processor";
  }
  OutputConverter converter(*GetParam(), HeapConverterAllocator());
  std::mt19937 random(44);
  std::vector<int> widths;
  for (int w = 1; w <= 40; ++w) widths.push_back(w);
  for (int w : {176, 184, 352, 720}) widths.push_back(w);
  std::vector<int> heights = {1, 2, 3, 4, 5, 6, 7, 8, 9, 144};
  int case_ = 0;
  for (int width : widths) {
    for (int height : heights) {
      // The big sizes only in a few combinations, to stay quick.
      if ((width > 40 || height > 9) && (width > 40) == (height > 9)) continue;
      const Source s = RandomSource(width, height, random, false);
      for (int f = 0; f < 5; ++f) {
        const auto format = reference::Format(f);
        for (auto mode : {reference::Mode::Progressive, reference::Mode::Fields, reference::Mode::OneField}) {
          ++case_;
          CheckPicture(converter, s, format, mode, case_ % 2 == 0, case_ % 3 == 0, case_ % 4 == 0 ? 0 : 16);
          if (testing::Test::HasFatalFailure()) return;
        }
      }
      for (auto mode : {reference::Mode::ShiftUp, reference::Mode::ShiftDown}) {
        ++case_;
        CheckPicture(converter, s, reference::Format::Rgb32, mode, case_ % 2 == 0, 0, 0);
        if (testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

std::string KernelSetName(const testing::TestParamInfo<const YuvRgbKernels*>& info) {
  return info.param == &kPlainYuvRgbKernels ? "Plain" : info.param == &kSse2YuvRgbKernels ? "Sse2" : "Avx2";
}

INSTANTIATE_TEST_SUITE_P(Kernels, ConverterVsModel,
                         testing::Values(&kPlainYuvRgbKernels, &kSse2YuvRgbKernels, &kAvx2YuvRgbKernels),
                         KernelSetName);

// Every pixel within 2 of a double-precision studio-range BT.601 conversion
// with the same chroma siting (progressive: 3/4-1/4 vertically, co-sited
// even columns, averaged odd columns).
TEST(OutputConverter, WithinTwoOfBt601) {
  std::mt19937 random(3);
  Source s = RandomSource(64, 32, random, false);
  // Keep colours inside the studio gamut so no channel clips.
  for (auto& y : s.y) y = uint8_t(60 + y % 120);
  for (auto& u : s.u) u = uint8_t(108 + u % 40);
  for (auto& v : s.v) v = uint8_t(108 + v % 40);
  OutputConverter converter(kSse2YuvRgbKernels, HeapConverterAllocator());
  converter.ConverterSetup(0, 0);
  std::vector<uint8_t> out(size_t(64 * 4 * 32));
  ASSERT_EQ(converter.Convert(RgbFormat::Rgb32, ConversionMode::Progressive, s.y.data(), s.u.data(), s.v.data(),
                              out.data() + 31 * 256, 64, 32, -256, s.stride),
            0u);
  const int cs = s.stride / 2;
  const auto chroma = [&](const std::vector<uint8_t>& plane, int x, int r) {
    // Vertical: rows 2k-1 and 2k blend chroma rows k-1 and k (3/4-1/4);
    // first and last rows take their own chroma row.
    double column[2];
    for (int i = 0; i < 2; ++i) {
      const int k = std::min(x / 2 + i, 31);
      if (r == 0) {
        column[i] = plane[size_t(k)];
      } else if (r == 31) {
        column[i] = plane[size_t(15 * cs + k)];
      } else {
        const int kb = (r + 1) / 2;
        const double a = plane[size_t((kb - 1) * cs + k)], b = plane[size_t(kb * cs + k)];
        column[i] = r % 2 == 1 ? 0.75 * a + 0.25 * b : 0.25 * a + 0.75 * b;
      }
    }
    return x % 2 == 0 ? column[0] : (column[0] + column[1]) / 2;
  };
  int worst = 0;
  for (int r = 0; r < 32; ++r) {
    for (int x = 0; x < 64; ++x) {
      const double y = 1.164 * (s.y[size_t(r * s.stride + x)] - 16);
      const double cb = chroma(s.u, x, r) - 128, cr = chroma(s.v, x, r) - 128;
      const double rgb[3] = {y + 2.018 * cb, y - 0.813 * cr - 0.391 * cb, y + 1.596 * cr};  // B, G, R
      for (int c = 0; c < 3; ++c) {
        const int got = out[size_t(r * 256 + x * 4 + c)];
        worst = std::max(worst, std::abs(got - int(std::lround(std::clamp(rgb[c], 0.0, 255.0)))));
      }
    }
  }
  EXPECT_LE(worst, 2);
}

}  // namespace
}  // namespace tlx::mpeg4

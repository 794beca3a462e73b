// The output step on decoded fixture streams: the converted output equals
// the plain reference pipeline in every format, the area and orientation
// rules, and the deblocking that touches only the converted output.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/core/picture_output.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/output_reference.h"

namespace tlx::mpeg4 {
namespace {

constexpr uint8_t kPoison = 0x9C;

// A caller buffer with room for any format of the picture size.
struct OutputBuffer {
  std::vector<uint8_t> bytes;
  int32_t stride = 0;
  explicit OutputBuffer(int width, int height) : bytes(size_t(4 * width + 12) * size_t(height + 2), kPoison) {
    stride = 4 * width + 12;
  }
  uint8_t* Start() { return bytes.data() + stride; }
};

// The first returned picture of a fixture converted with `prepare`'s output
// request, with the reference pipeline's bytes for the same request.
struct Converted {
  std::vector<uint8_t> ours, expected;
  int32_t stride = 0;
  uint32_t width = 0, height = 0;
};

Converted ConvertFirst(const std::string& fixture, uint32_t format, uint32_t x, uint32_t y, uint32_t width,
                       uint32_t height) {
  Converted result;
  std::vector<uint8_t> stream = test::ReadFixture(fixture);
  bool done = false;
  OutputBuffer buffer(720, 576);
  test::DriveDecoder(
      stream,
      [&](Mpeg4DecFrame& frame, Mpeg4Decoder&, int) {
        if (done) return;
        frame.outputBuffer = buffer.Start();
        frame.outputFormat = format;
        frame.outputStride = buffer.stride;
        frame.outputX = x, frame.outputY = y, frame.outputWidth = width, frame.outputHeight = height;
      },
      [&](const Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, uint32_t) {
        if (done || frame.outputAvailable == 0) return;
        done = true;
        result.ours = buffer.bytes;
        std::vector<uint8_t> expected(buffer.bytes.size(), kPoison);
        test::ReferenceOutput(frame, test::ReturnedQuantiserMap(frame, decoder), decoder.variants.postFilter,
                              expected.data() + buffer.stride);
        result.expected = std::move(expected);
        result.stride = buffer.stride;
        result.width = frame.width, result.height = frame.height;
      });
  return result;
}

// Rows x bytes written from the buffer start; everything else poisoned.
void ExpectArea(const Converted& c, int rows, int rowBytes, const char* name) {
  for (size_t i = 0; i < c.ours.size(); ++i) {
    const ptrdiff_t offset = ptrdiff_t(i) - c.stride;
    const bool inside = offset >= 0 && offset / c.stride < rows && offset % c.stride < rowBytes;
    if (!inside) ASSERT_EQ(c.ours[i], kPoison) << name << " byte " << offset;
  }
  EXPECT_EQ(c.ours, c.expected) << name;
}

TEST(OutputStep, AreaCases) {
  const struct {
    const char* name;
    uint32_t x, y, width, height;
    int columns, rows;
  } cases[] = {
      {"whole picture", 0, 0, 0, 0, 176, 144},
      {"x beyond the width leaves one column", 1000, 0, 50, 0, 1, 144},
      {"y beyond the height leaves one row", 0, 500, 0, 9, 176, 1},
      {"a small area from the top-left", 3, 4, 10, 5, 10, 5},
      {"shortened at the edge", 170, 140, 20, 20, 6, 4},
      {"odd sizes", 0, 0, 175, 143, 175, 143},
  };
  for (const auto& c : cases) {
    const Converted out = ConvertFirst("i_q8_176x144.m4v", kMpeg4OutputRgb24, c.x, c.y, c.width, c.height);
    ExpectArea(out, c.rows, 3 * c.columns, c.name);
  }
  // Codes the step does not convert write nothing.
  for (uint32_t code : {0x50000000u, kMpeg4OutputYuy2 | 1, kMpeg4OutputPlanar | 1, 0x00000001u}) {
    const Converted out = ConvertFirst("i_q8_176x144.m4v", code, 0, 0, 0, 0);
    for (uint8_t byte : out.ours) ASSERT_EQ(byte, kPoison) << std::hex << code;
  }
}

TEST(OutputStep, EveryFormatEqualsThePlainPipeline) {
  const uint32_t codes[] = {kMpeg4OutputPlanar,    kMpeg4OutputYuy2,           kMpeg4OutputRgb555,
                            kMpeg4OutputRgb555 | 1, kMpeg4OutputRgb565 | 0x100000, kMpeg4OutputRgb565 | 1,
                            kMpeg4OutputRgb24 | 0x300000, kMpeg4OutputRgb24 | 1,   kMpeg4OutputRgb32,
                            kMpeg4OutputRgb32 | 0x100001};
  for (const char* fixture : {"i_q31_176x144.m4v", "b2_176x144.m4v", "i_odd_184x136.m4v"}) {
    for (uint32_t code : codes) {
      const Converted out = ConvertFirst(fixture, code, 0, 0, 0, 0);
      EXPECT_EQ(out.ours, out.expected) << fixture << " code " << std::hex << code;
    }
  }
}

TEST(OutputStep, CodeWithoutBitZeroGivesTheRowsInReversedOrder) {
  for (uint32_t code : {kMpeg4OutputRgb555, kMpeg4OutputRgb565, kMpeg4OutputRgb24, kMpeg4OutputRgb32}) {
    const Converted down = ConvertFirst("i_q8_176x144.m4v", code, 0, 0, 0, 0);
    const Converted up = ConvertFirst("i_q8_176x144.m4v", code | 1, 0, 0, 0, 0);
    const int rows = int(down.height);
    for (int r = 0; r < rows; ++r) {
      ASSERT_EQ(0, std::memcmp(down.ours.data() + down.stride * (1 + r),
                               up.ours.data() + up.stride * (1 + rows - 1 - r), size_t(up.stride)))
          << std::hex << code << " row " << r;
    }
  }
}

TEST(OutputStep, DeblockingTouchesOnlyTheConvertedOutput) {
  // The same stream decoded with and without conversion: the returned
  // planes (and so every reference picture) are the same, and they are the
  // unfiltered ones while the output is deblocked.
  const std::vector<uint8_t> stream = test::ReadFixture("sp_ip_176x144.m4v");
  const test::CoreDecode plain = test::DecodeWithCore(stream, false);
  OutputBuffer buffer(176, 144);
  size_t index = 0;
  int filtered = 0;
  bool deblocks = false;
  test::DriveDecoder(
      stream,
      [&](Mpeg4DecFrame& frame, Mpeg4Decoder&, int) {
        frame.outputBuffer = buffer.Start();
        frame.outputFormat = kMpeg4OutputPlanar;
      },
      [&](const Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, uint32_t) {
        if (frame.outputAvailable == 0) return;
        ASSERT_LT(index, plain.pictures.size());
        const test::CorePicture& expected = plain.pictures[index++];
        EXPECT_NE(frame.yPlane, decoder.refs.postFilter->yOrigin);
        for (int row = 0; row < 144; ++row) {
          ASSERT_EQ(0, std::memcmp(frame.yPlane + row * frame.yStride, &expected.y[size_t(row * 176)], 176));
        }
        deblocks = decoder.variants.postFilter;
        if (deblocks) {
          filtered += std::memcmp(buffer.Start(), expected.y.data(), expected.y.size()) != 0 ? 1 : 0;
        } else {
          EXPECT_EQ(0, std::memcmp(buffer.Start(), expected.y.data(), expected.y.size()));
        }
      });
  EXPECT_EQ(index, plain.pictures.size());
  if (deblocks) EXPECT_GT(filtered, 0);
}

}  // namespace
}  // namespace tlx::mpeg4

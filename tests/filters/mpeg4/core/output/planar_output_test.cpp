// Planar and YUY2 output of decoded planes: YUY2 against libswscale's
// unscaled conversion, odd sizes written whole, the unpadded planar copy.
#include "filters/mpeg4/core/output/planar_output.h"

#include <gtest/gtest.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstring>
#include <random>
#include <vector>

#include "filters/mpeg4/core/picture.h"

namespace tlx::mpeg4 {
namespace {

struct Planes {
  int stride;
  std::vector<uint8_t> y, u, v;
};

Planes RandomPlanes(int width, int height, std::mt19937& random) {
  Planes p;
  p.stride = (width + 15) / 16 * 16 + 32;
  const int rows = (height + 15) / 16 * 16;
  p.y.resize(size_t(p.stride * rows));
  p.u.resize(size_t(p.stride / 2 * rows / 2));
  p.v.resize(p.u.size());
  for (auto* plane : {&p.y, &p.u, &p.v}) {
    for (uint8_t& s : *plane) s = uint8_t(random());
  }
  return p;
}

std::vector<uint8_t> Swscale(const Planes& p, int width, int height) {
  SwsContext* context = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_YUYV422,
                                       SWS_POINT, nullptr, nullptr, nullptr);
  EXPECT_NE(context, nullptr);
  // libswscale's vector code may store a little past the picture.
  std::vector<uint8_t> out(size_t(2 * width * height) + 256);
  const uint8_t* sources[3] = {p.y.data(), p.u.data(), p.v.data()};
  const int strides[3] = {p.stride, p.stride / 2, p.stride / 2};
  uint8_t* destinations[1] = {out.data()};
  const int destinationStrides[1] = {2 * width};
  sws_scale(context, sources, strides, 0, height, destinations, destinationStrides);
  sws_freeContext(context);
  out.resize(size_t(2 * width * height));
  return out;
}

TEST(PlanarOutput, Yuy2EqualsSwscaleForEvenSizes) {
  std::mt19937 random(31);
  for (const auto [width, height] : {std::pair{176, 144}, {352, 288}, {184, 136}, {720, 576}, {18, 2}, {2, 4}}) {
    const Planes p = RandomPlanes(width, height, random);
    const std::vector<uint8_t> expected = Swscale(p, width, height);
    for (PackYuy2Kernel pack : {PackYuy2, PackYuy2Sse2}) {
      std::vector<uint8_t> out(expected.size(), 0x11);
      pack(p.y.data(), p.u.data(), p.v.data(), out.data(), width, height, 2 * width, p.stride);
      EXPECT_EQ(out, expected) << width << "x" << height;
    }
  }
}

TEST(PlanarOutput, Yuy2OddSizesWriteEveryByteOfTheArea) {
  std::mt19937 random(32);
  for (int width = 1; width <= 35; width += 2) {
    for (int height : {1, 2, 3, 5}) {
      const Planes p = RandomPlanes(width, height, random);
      const int pitch = 2 * width + 5;
      for (PackYuy2Kernel pack : {PackYuy2, PackYuy2Sse2}) {
        std::vector<uint8_t> out(size_t(pitch * height), 0x11);
        pack(p.y.data(), p.u.data(), p.v.data(), out.data(), width, height, pitch, p.stride);
        for (int row = 0; row < height; ++row) {
          const uint8_t* line = out.data() + row * pitch;
          const uint8_t* cb = p.u.data() + (row / 2) * (p.stride / 2);
          const uint8_t* cr = p.v.data() + (row / 2) * (p.stride / 2);
          for (int x = 0; x < width; ++x) {
            ASSERT_EQ(line[2 * x], p.y[size_t(row * p.stride + x)]) << width << "x" << height << " row " << row;
            ASSERT_EQ(line[2 * x + 1], x % 2 == 0 ? cb[x / 2] : cr[x / 2]) << width << "x" << height;
          }
          for (int i = 2 * width; i < pitch; ++i) ASSERT_EQ(line[i], 0x11) << "beyond the row";
        }
      }
    }
  }
}

TEST(PlanarOutput, CopyPlanarWritesUnpaddedPlanes) {
  std::mt19937 random(33);
  for (const auto [width, height] : {std::pair{176, 144}, {7, 5}}) {
    const Planes p = RandomPlanes(width, height, random);
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    const size_t size = size_t(width * height + 2 * cw * ch);
    std::vector<uint8_t> out(size + 8, 0x22);
    CopyPlanar(out.data(), p.y.data(), p.u.data(), p.v.data(), width, height, p.stride, p.stride / 2);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) ASSERT_EQ(out[size_t(y * width + x)], p.y[size_t(y * p.stride + x)]);
    }
    const uint8_t* u = out.data() + width * height;
    const uint8_t* v = u + cw * ch;
    for (int y = 0; y < ch; ++y) {
      for (int x = 0; x < cw; ++x) {
        ASSERT_EQ(u[y * cw + x], p.u[size_t(y * p.stride / 2 + x)]);
        ASSERT_EQ(v[y * cw + x], p.v[size_t(y * p.stride / 2 + x)]);
      }
    }
    for (size_t i = size; i < out.size(); ++i) EXPECT_EQ(out[i], 0x22);
  }
}

TEST(PlanarOutput, PictureOperationsHandTheirPlanesInOrder) {
  std::mt19937 random(34);
  PlainPicture picture;
  ASSERT_EQ(picture.PictureAllocate(32, 16, 16, 16, kPlaneFormat420), 0u);
  for (uint32_t i = 0; i < picture.blockSize; ++i) picture.planeBuffer[i] = uint8_t(random());
  const int width = 30, height = 16, stride = 40;
  const size_t size = size_t(stride * height + 2 * (stride / 2) * (height / 2));
  std::vector<uint8_t> planar(size, 0), swapped(size, 0), packed(size_t(stride * height), 0);
  picture.OutputPlanar(planar.data(), width, height, stride);
  picture.OutputPlanarSwapped(swapped.data(), width, height, stride);
  picture.OutputPacked(packed.data(), 15, height, stride);
  const size_t chroma = size_t(stride * height), plane = size_t((stride / 2) * (height / 2));
  for (int row = 0; row < height / 2; ++row) {
    ASSERT_EQ(0, std::memcmp(planar.data() + chroma + row * (stride / 2),
                             picture.uOrigin + row * picture.chromaStride, 15));
    ASSERT_EQ(0, std::memcmp(swapped.data() + chroma + plane + row * (stride / 2),
                             picture.uOrigin + row * picture.chromaStride, 15));
    ASSERT_EQ(0, std::memcmp(swapped.data() + chroma + row * (stride / 2),
                             picture.vOrigin + row * picture.chromaStride, 15));
  }
  EXPECT_EQ(0, std::memcmp(planar.data(), swapped.data(), chroma));
  EXPECT_EQ(packed[0], picture.yOrigin[0]);
  EXPECT_EQ(packed[size_t(stride) + 1], picture.uOrigin[0]);
  EXPECT_EQ(packed[size_t(2 * stride) + 3], picture.vOrigin[picture.chromaStride]);
}

}  // namespace
}  // namespace tlx::mpeg4

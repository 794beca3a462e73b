// The deblocking post-filter: its defining cases on small planes for both
// edge kernels, what the kernels may touch, and the whole-picture strategies.
// The SSE2 kernel against the plain one on random pictures is its slot's
// check in the kernel-table test.
#include "filters/mpeg4/core/output/deblocking.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "filters/mpeg4/core/picture.h"
#include "filters/mpeg4/support/guarded_block.h"

namespace tlx::mpeg4 {
namespace {

struct Plane {
  int width, height;
  std::vector<uint8_t> samples;
  uint8_t& At(int x, int y) { return samples[size_t(y * width + x)]; }
};

Plane Filled(int width, int height, const std::function<int(int, int)>& sample) {
  Plane p{width, height, std::vector<uint8_t>(size_t(width * height))};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) p.At(x, y) = uint8_t(sample(x, y));
  }
  return p;
}

Plane Deblock(DeblockEdgeKernel kernel, const Plane& source, const std::vector<uint8_t>& map, int macroblockSize) {
  Plane out{source.width, source.height, std::vector<uint8_t>(source.samples.size(), 0xCD)};
  DeblockPlane(kernel, out.samples.data(), out.width, source.samples.data(), source.width, source.width,
               source.height, map.data(), source.width / macroblockSize, macroblockSize, kDeblockThreshold1,
               kDeblockThreshold2);
  return out;
}

TEST(Deblocking, DefiningCases) {
  const auto flat = [](int, int) { return 90; };
  const auto verticalStep = [](int x, int) { return x < 8 ? 100 : 120; };   // a step of 20 across x = 8
  const auto horizontalStep = [](int, int y) { return y < 16 ? 100 : 120; };  // across the macroblock rows
  const struct {
    const char* name;
    int width, height, macroblockSize;
    std::function<int(int, int)> picture;
    std::vector<uint8_t> map;
    bool changes;
  } cases[] = {
      {"flat picture", 32, 32, 16, flat, {31, 31, 31, 31}, false},
      {"step of 20 at qp 31 is smoothed", 16, 16, 16, verticalStep, {31}, true},
      {"step of 20 at qp 8 stays", 16, 16, 16, verticalStep, {8}, false},
      {"horizontal edge takes the row below (31)", 16, 32, 16, horizontalStep, {8, 31}, true},
      {"horizontal edge takes the row below (8)", 16, 32, 16, horizontalStep, {31, 8}, false},
      {"chroma vertical edge takes the right macroblock (31)", 16, 8, 8, verticalStep, {8, 31}, true},
      {"chroma vertical edge takes the right macroblock (8)", 16, 8, 8, verticalStep, {31, 8}, false},
  };
  for (const auto& c : cases) {
    for (DeblockEdgeKernel kernel : {DeblockEdge, DeblockEdgeSse2}) {
      const Plane source = Filled(c.width, c.height, c.picture);
      const Plane out = Deblock(kernel, source, c.map, c.macroblockSize);
      EXPECT_EQ(out.samples != source.samples, c.changes) << c.name;
    }
  }
  // The smoothed step is a ramp across the edge, and the columns beyond
  // four of the edge keep their values.
  const Plane out = Deblock(DeblockEdge, Filled(16, 16, verticalStep), {31}, 16);
  Plane copy = out;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(copy.At(x, y), 100);
    for (int x = 12; x < 16; ++x) EXPECT_EQ(copy.At(x, y), 120);
    for (int x = 4; x < 11; ++x) EXPECT_LE(copy.At(x, y), copy.At(x + 1, y));
    EXPECT_GT(copy.At(7, y), 100);
    EXPECT_LT(copy.At(8, y), 120);
  }
}

TEST(Deblocking, OnlyInteriorEdgesChange) {
  // At qp 31 each direction alone touches only its own edges'
  // neighbourhoods: the outer four columns (or rows) never change.
  const Plane columns = Filled(32, 32, [](int x, int) { return 100 + (x / 8) * 3 + (x * 7 % 3 == 0 ? 1 : 0); });
  const Plane columnsOut = Deblock(DeblockEdge, columns, {31, 31, 31, 31}, 16);
  // Every row of `columns` is the same, so horizontal edges see flat lines
  // and only vertical edges act: columns 0-3 and 28-31 stay.
  const Plane rows = Filled(32, 32, [&](int, int y) { return 100 + (y / 8) * 3; });
  const Plane rowsOut = Deblock(DeblockEdge, rows, {31, 31, 31, 31}, 16);
  for (int i = 0; i < 32; ++i) {
    for (int edgeFree : {0, 1, 2, 3, 28, 29, 30, 31}) {
      EXPECT_EQ(columns.samples[size_t(i * 32 + edgeFree)], columnsOut.samples[size_t(i * 32 + edgeFree)]);
      EXPECT_EQ(rows.samples[size_t(edgeFree * 32 + i)], rowsOut.samples[size_t(edgeFree * 32 + i)]);
    }
  }
  EXPECT_NE(columns.samples, columnsOut.samples);
  EXPECT_NE(rows.samples, rowsOut.samples);
}

TEST(Deblocking, EdgeKernelsReadAndWriteOnlyTheirLines) {
  // Ten samples of eight lines, the last one flush against a guard page, in
  // both orientations; the samples around the lines stay.
  std::mt19937 random(77);
  for (int orientation = 0; orientation < 2; ++orientation) {
    const ptrdiff_t stride = 24;
    const ptrdiff_t across = orientation == 0 ? stride : 1;
    const ptrdiff_t along = orientation == 0 ? 1 : stride;
    const size_t span = size_t(9 * across + 7 * along + 1);
    for (int round = 0; round < 20; ++round) {
      test::GuardedBlock a(span), b(span);
      for (size_t i = 0; i < span; ++i) a.Tail(span)[i] = b.Tail(span)[i] = uint8_t(100 + random() % (round + 1));
      DeblockEdge(a.Tail(span), across, along, 1 + round, kDeblockThreshold1, kDeblockThreshold2);
      DeblockEdgeSse2(b.Tail(span), across, along, 1 + round, kDeblockThreshold1, kDeblockThreshold2);
      ASSERT_EQ(0, std::memcmp(a.Tail(span), b.Tail(span), span)) << "orientation " << orientation;
    }
  }
}

TEST(Deblocking, StrategiesWriteTheWorkPictureOnly) {
  std::mt19937 random(9);
  PlainPicture source, work, copy;
  ASSERT_EQ(source.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
  ASSERT_EQ(work.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
  ASSERT_EQ(copy.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
  for (uint32_t i = 0; i < source.blockSize; ++i) source.planeBuffer[i] = uint8_t(100 + random() % 12);
  for (uint32_t i = 0; i < source.quantiserMapSize; ++i) source.quantiserMap[i] = 31;
  const std::vector<uint8_t> before(source.planeBuffer, source.planeBuffer + source.blockSize);
  PictureCopyStrategy().Process(copy, source);
  DeblockingStrategy(DeblockEdgeSse2).Process(work, source);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), source.planeBuffer));
  bool lumaFiltered = false, chromaFiltered = false;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 48; ++x) {
      ASSERT_EQ(copy.yOrigin[y * copy.lumaStride + x], source.yOrigin[y * source.lumaStride + x]);
      lumaFiltered |= work.yOrigin[y * work.lumaStride + x] != source.yOrigin[y * source.lumaStride + x];
    }
  }
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 24; ++x) {
      ASSERT_EQ(copy.vOrigin[y * copy.chromaStride + x], source.vOrigin[y * source.chromaStride + x]);
      chromaFiltered |= work.uOrigin[y * work.chromaStride + x] != source.uOrigin[y * source.chromaStride + x];
    }
  }
  EXPECT_TRUE(lumaFiltered);
  EXPECT_TRUE(chromaFiltered);
}

}  // namespace
}  // namespace tlx::mpeg4

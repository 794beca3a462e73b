// Picture stores: geometry, contents after allocation, reuse, the sticky
// out-of-memory state and the border replication.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/picture.h"

namespace tlx::mpeg4 {
namespace {

bool AllSamplesAre(const uint8_t* plane, size_t bytes, uint8_t value) {
  for (size_t i = 0; i < bytes; ++i) {
    if (plane[i] != value) return false;
  }
  return true;
}

TEST(PlaneStore, LaysOutBorderedPlanesFilledWithMidGrey) {
  PlainPicture picture;
  ASSERT_EQ(picture.PictureAllocate(176, 144, 16, 16, kPlaneFormat420), 0u);
  EXPECT_EQ(picture.lumaStride, 208);
  EXPECT_EQ(picture.lumaRows, 176);
  EXPECT_EQ(picture.chromaStride, 104);
  EXPECT_EQ(picture.chromaRows, 88);
  EXPECT_EQ(picture.chromaWidth, 88);
  EXPECT_EQ(picture.chromaHeight, 72);
  EXPECT_EQ(picture.chromaBorderY, 8);
  EXPECT_EQ(picture.yOrigin, picture.yPlane + 16 * 208 + 16);
  EXPECT_EQ(picture.uOrigin, picture.uPlane + 8 * 104 + 8);
  EXPECT_EQ(picture.vOrigin, picture.vPlane + 8 * 104 + 8);
  for (const uint8_t* plane : {picture.yPlane, picture.uPlane, picture.vPlane}) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(plane) % 32, 0u);
  }
  EXPECT_EQ(picture.quantiserMapSize, 99u);
  // Every sample is 128, borders, extra rows and slack included.
  EXPECT_TRUE(AllSamplesAre(picture.planeBuffer, picture.blockSize, 128));
  // The extra rows and the slack lie inside the block.
  const uint8_t* blockEnd = picture.planeBuffer + picture.blockSize;
  EXPECT_LE(picture.vPlane + 104 * (88 + kPlaneExtraRows) + kPlaneTailSlack + 208, blockEnd);
  EXPECT_LE(picture.yPlane + 208 * (176 + kPlaneExtraRows), picture.uPlane);
}

TEST(PlaneStore, SameGeometryNeitherReallocatesNorRefills) {
  PlainPicture picture;
  ASSERT_EQ(picture.PictureAllocate(176, 144, 16, 16, kPlaneFormat420), 0u);
  uint8_t* buffer = picture.planeBuffer;
  picture.yOrigin[0] = 7;
  ASSERT_EQ(picture.PictureAllocate(176, 144, 16, 16, kPlaneFormat420), 0u);
  EXPECT_EQ(picture.planeBuffer, buffer);
  EXPECT_EQ(picture.yOrigin[0], 7);
  ASSERT_EQ(picture.PictureAllocate(352, 288, 16, 16, kPlaneFormat420), 0u);
  EXPECT_EQ(picture.lumaStride, 384);
  EXPECT_EQ(picture.quantiserMapSize, 396u);
  EXPECT_EQ(picture.yOrigin[0], 128);
}

TEST(PlaneStore, OutOfMemoryIsSticky) {
  PlainPicture picture;
  // The second allocation of the picture is its plane block.
  SetCoreAllocationFailure(2);
  EXPECT_EQ(picture.PictureAllocate(176, 144, 16, 16, kPlaneFormat420), kStatusOutOfMemory);
  SetCoreAllocationFailure(0);
  EXPECT_EQ(picture.planeBuffer, nullptr);
  EXPECT_EQ(picture.PictureAllocate(176, 144, 16, 16, kPlaneFormat420), kStatusOutOfMemory);
  EXPECT_EQ(picture.planeBuffer, nullptr);
}

TEST(PlaneStore, PadBordersReplicatesEdgesCornersAndExtraRows) {
  PlainPicture picture;
  ASSERT_EQ(picture.PictureAllocate(64, 48, 16, 16, kPlaneFormat420), 0u);
  std::mt19937 random(3);
  struct Plane {
    uint8_t* origin;
    int stride, width, height, border;
  } planes[] = {{picture.yOrigin, picture.lumaStride, 64, 48, 16},
                {picture.uOrigin, picture.chromaStride, 32, 24, 8},
                {picture.vOrigin, picture.chromaStride, 32, 24, 8}};
  for (const Plane& p : planes) {
    for (int row = 0; row < p.height; ++row) {
      for (int column = 0; column < p.width; ++column) p.origin[row * p.stride + column] = uint8_t(random());
    }
  }
  DspTables tables;
  InitDspTables(tables, PlainPicture::kVariant);
  picture.PadBorders(tables.prediction);
  for (const Plane& p : planes) {
    for (int row = -p.border; row < p.height + p.border + kPlaneExtraRows; ++row) {
      const int sourceRow = row < 0 ? 0 : (row >= p.height ? p.height - 1 : row);
      for (int column = -p.border; column < p.width + p.border; ++column) {
        const int sourceColumn = column < 0 ? 0 : (column >= p.width ? p.width - 1 : column);
        ASSERT_EQ(p.origin[row * p.stride + column], p.origin[sourceRow * p.stride + sourceColumn])
            << "row " << row << " column " << column;
      }
    }
  }
}

TEST(PlaneStore, InjectedPlanesAreWrittenAndExtended) {
  PlainPicture picture;
  ASSERT_EQ(picture.PictureAllocate(32, 16, 16, 16, kPlaneFormat420), 0u);
  std::vector<uint8_t> y(32 * 16), u(16 * 8), v(16 * 8);
  for (size_t i = 0; i < y.size(); ++i) y[i] = uint8_t(i * 7);
  for (size_t i = 0; i < u.size(); ++i) u[i] = uint8_t(i * 3), v[i] = uint8_t(255 - i);
  InjectPicturePlanes(picture, y.data(), 32, u.data(), v.data(), 16);
  EXPECT_EQ(picture.yOrigin[5 * picture.lumaStride + 9], y[5 * 32 + 9]);
  EXPECT_EQ(picture.uOrigin[7 * picture.chromaStride + 15], u[7 * 16 + 15]);
  EXPECT_EQ(picture.vOrigin[0], v[0]);
  // The border follows the new edges.
  EXPECT_EQ(picture.yOrigin[-16 * picture.lumaStride - 16], y[0]);
  EXPECT_EQ(picture.yOrigin[(15 + 16) * picture.lumaStride + 31 + 16], y[15 * 32 + 31]);
  EXPECT_EQ(picture.vOrigin[-8 * picture.chromaStride + 15 + 8], v[15]);
}

}  // namespace
}  // namespace tlx::mpeg4

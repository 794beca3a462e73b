// Macroblock reconstruction and border extension against plain references:
// each block must land where the frame or field layout puts it, coded-block
// bits must gate the add form, and padding must replicate the nearest edge
// sample into every border and extra-row position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "filters/mpeg4/core/block/idct.h"
#include "filters/mpeg4/core/block/reconstruction.h"

namespace tlx::mpeg4 {
namespace {

// A small picture laid out like the decoder's: luma border 16, chroma 8,
// extra rows below every plane.
class TestPicture {
 public:
  TestPicture(int width, int height, int extraRows) {
    p_.width = width;
    p_.height = height;
    p_.chromaWidth = width / 2;
    p_.chromaHeight = height / 2;
    p_.lumaPadWidth = p_.lumaPadHeight = 16;
    p_.chromaPadWidth = p_.chromaPadHeight = 8;
    p_.extraRows = extraRows;
    p_.lumaStride = width + 32;
    p_.chromaStride = p_.lumaStride / 2;
    lumaRows_ = height + 32 + extraRows;
    chromaRows_ = height / 2 + 16 + extraRows;
    y_.resize(p_.lumaStride * lumaRows_);
    u_.resize(p_.chromaStride * chromaRows_);
    v_.resize(p_.chromaStride * chromaRows_);
    p_.y = y_.data() + 16 * p_.lumaStride + 16;
    p_.u = u_.data() + 8 * p_.chromaStride + 8;
    p_.v = v_.data() + 8 * p_.chromaStride + 8;
  }

  const PicturePlanes& planes() const { return p_; }

  void Fill(std::mt19937& rng) {
    std::uniform_int_distribution<int> d(0, 255);
    for (auto* plane : {&y_, &u_, &v_})
      for (uint8_t& s : *plane) s = static_cast<uint8_t>(d(rng));
  }

  std::vector<uint8_t>& plane(int i) { return i == 0 ? y_ : (i == 1 ? u_ : v_); }
  int rows(int i) const { return i == 0 ? lumaRows_ : chromaRows_; }
  ptrdiff_t stride(int i) const { return i == 0 ? p_.lumaStride : p_.chromaStride; }
  int pad(int i) const { return i == 0 ? 16 : 8; }
  int width(int i) const { return i == 0 ? p_.width : p_.chromaWidth; }
  int height(int i) const { return i == 0 ? p_.height : p_.chromaHeight; }

 private:
  PicturePlanes p_;
  int lumaRows_, chromaRows_;
  std::vector<uint8_t> y_, u_, v_;
};

using Blocks = int16_t[6][64];

void RandomBlocks(std::mt19937& rng, Blocks& blocks, uint32_t shapes[6]) {
  std::uniform_int_distribution<int> level(-200, 200), coin(0, 4);
  for (int b = 0; b < 6; ++b) {
    std::fill(blocks[b], blocks[b] + 64, int16_t{0});
    for (int p = 0; p < 64; ++p)
      if (coin(rng) == 0) blocks[b][p] = static_cast<int16_t>(level(rng));
    shapes[b] = 0x7FFF01FF;
  }
}

// Where block b's row r lands: plane index, row and column in plane samples.
struct Spot {
  int plane, row, column;
};

Spot Place(int b, int r, int x, int y, bool field) {
  if (b >= 4) return {b - 3, y / 2 + r, x / 2};
  const int column = x + 8 * (b & 1);
  if (field) return {0, y + (b >> 1) + 2 * r, column};
  return {0, y + 8 * (b >> 1) + r, column};
}

TEST(Reconstruction, BlocksLandWhereTheLayoutSaysAndOnlyCodedBlocksAreAdded) {
  using PutFn = void (*)(const PicturePlanes&, int16_t (*)[64], int32_t, int32_t, int32_t, const uint32_t*);
  using AddFn = void (*)(const PicturePlanes&, int16_t (*)[64], int32_t, int32_t, int32_t, uint32_t,
                         const uint32_t*);
  struct Form {
    const char* name;
    PutFn put;
    AddFn add;
  };
  const Form forms[] = {{"second kind", PutIntraMacroblock, AddInterMacroblock},
                        {"first kind", PutIntraMacroblockA, AddInterMacroblockA}};
  std::mt19937 rng(131);
  for (const Form& form : forms) {
    for (bool add : {false, true}) {
      for (bool field : {false, true}) {
        for (uint32_t coded : {0xFC0u, 0u, 0xA40u, 0x580u}) {
          if (!add && coded != 0xFC0u) continue;
          SCOPED_TRACE(testing::Message() << form.name << (add ? " add" : " put") << (field ? " field" : " frame")
                                          << " coded 0x" << std::hex << coded);
          TestPicture picture(48, 32, 4);
          picture.Fill(rng);
          Blocks blocks;
          uint32_t shapes[6];
          RandomBlocks(rng, blocks, shapes);
          const int x = 16, y = 16;

          // Expected: a copy of the picture with each block's 8x8 result,
          // computed on its own, written at its place.
          std::vector<uint8_t> expected[3] = {picture.plane(0), picture.plane(1), picture.plane(2)};
          const PicturePlanes& p = picture.planes();
          for (int b = 0; b < 6; ++b) {
            if (add && !(coded & kCodedBlockBit[b])) continue;
            uint8_t area[64];
            for (int r = 0; r < 8; ++r) {
              const Spot s = Place(b, r, x, y, field);
              const ptrdiff_t at = (s.row + picture.pad(s.plane)) * picture.stride(s.plane) + s.column +
                                   picture.pad(s.plane);
              std::copy_n(expected[s.plane].begin() + at, 8, area + 8 * r);
            }
            int16_t copy[64];
            std::copy_n(blocks[b], 64, copy);
            if (add)
              IdctDispatchAdd(copy, area, 8, shapes[b]);
            else
              IdctDispatchPut(copy, area, 8, shapes[b]);
            for (int r = 0; r < 8; ++r) {
              const Spot s = Place(b, r, x, y, field);
              const ptrdiff_t at = (s.row + picture.pad(s.plane)) * picture.stride(s.plane) + s.column +
                                   picture.pad(s.plane);
              std::copy_n(area + 8 * r, 8, expected[s.plane].begin() + at);
            }
          }

          if (add)
            form.add(p, blocks, x, y, field, coded, shapes);
          else
            form.put(p, blocks, x, y, field, shapes);
          for (int i = 0; i < 3; ++i) EXPECT_EQ(picture.plane(i), expected[i]) << "plane " << i;
          for (int b = 0; b < 6; ++b) {
            if (add && !(coded & kCodedBlockBit[b])) continue;
            EXPECT_TRUE(std::all_of(blocks[b], blocks[b] + 64, [](int16_t v) { return v == 0; }))
                << "block " << b << " not cleared";
          }
        }
      }
    }
  }
}

TEST(Reconstruction, PadBordersReplicatesTheNearestEdgeSample) {
  std::mt19937 rng(19);
  for (int extraRows : {0, 4}) {
    TestPicture picture(64, 48, extraRows);
    picture.Fill(rng);
    std::vector<uint8_t> before[3] = {picture.plane(0), picture.plane(1), picture.plane(2)};
    PadBorders(picture.planes());
    for (int i = 0; i < 3; ++i) {
      const int pad = picture.pad(i);
      const ptrdiff_t stride = picture.stride(i);
      for (int row = 0; row < picture.rows(i); ++row)
        for (int column = 0; column < stride; ++column) {
          const int r = std::clamp(row - pad, 0, picture.height(i) - 1);
          const int c = std::clamp(column - pad, 0, picture.width(i) - 1);
          const uint8_t want = before[i][(r + pad) * stride + c + pad];
          ASSERT_EQ(picture.plane(i)[row * stride + column], want)
              << "plane " << i << " row " << row << " column " << column << " extra " << extraRows;
        }
    }
  }
}

}  // namespace
}  // namespace tlx::mpeg4

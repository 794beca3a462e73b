// Intra prediction state: DC scalers, the DC direction rule and
// reconstruction, AC prediction on the coefficient list, predictor storage
// and resets, scan selection and out-of-memory behaviour.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/core/core_allocation.h"

namespace tlx::mpeg4 {
namespace {

TEST(BlockDecoderState, DcScalersFollowTheQuantiserRanges) {
  struct Case {
    int32_t q, luma, chroma;
  };
  const Case cases[] = {{1, 8, 8},   {4, 8, 8},   {5, 10, 9},  {8, 16, 10}, {9, 17, 11},
                        {24, 32, 18}, {25, 34, 19}, {31, 46, 25}};
  for (const Case& c : cases) {
    BlockDecoderState s;
    EXPECT_EQ(LumaDcScaler(s, c.q), c.luma) << "q " << c.q;
    EXPECT_EQ(ChromaDcScaler(s, c.q), c.chroma) << "q " << c.q;
    EXPECT_EQ(s.status, 0u);
  }
  BlockDecoderState s;
  EXPECT_EQ(LumaDcScaler(s, 0), 1);
  EXPECT_EQ(s.status, kStatusQuantiserBelowOne);
  s.status = 0;
  EXPECT_EQ(ChromaDcScaler(s, -3), 1);
  EXPECT_EQ(s.status, kStatusQuantiserBelowOne);
}

TEST(BlockDecoderState, PredictDcChoosesTheFlatterNeighbourAndSaturates) {
  struct Case {
    const char* name;
    int32_t left, topLeft, top, scaler, differential;
    uint32_t direction;
    int32_t dc;
  };
  const Case cases[] = {
      {"default predictors give 1024 / 8 = 128", 1024, 1024, 1024, 8, 0, kPredictFromLeft, 1024},
      {"left close to the corner: predict from above", 800, 808, 200, 8, 1, kPredictFromAbove, (25 + 1) * 8},
      {"top close to the corner: predict from the left", 200, 808, 800, 8, -1, kPredictFromLeft, (25 - 1) * 8},
      {"equal gradients go left", 100, 200, 300, 8, 0, kPredictFromLeft, 104},
      {"a predictor of 127.5 steps rounds up", 1020, 1024, 1024, 8, 0, kPredictFromLeft, 128 * 8},
      {"saturates high", 1024, 1024, 1024, 8, 200, kPredictFromLeft, 2047},
      {"saturates low", 1024, 1024, 1024, 8, -400, kPredictFromLeft, -2048},
  };
  for (const Case& c : cases) {
    BlockDecoderState s;
    int32_t left[8] = {c.left}, top[8] = {c.top};
    s.dc = c.differential;
    PredictDc(s, c.scaler, c.topLeft, left, top);
    EXPECT_EQ(s.direction, c.direction) << c.name;
    EXPECT_EQ(s.dc, c.dc) << c.name;
    EXPECT_EQ(left[0], c.dc) << c.name;
    EXPECT_EQ(top[0], c.dc) << c.name;
  }
}

struct Coefficient {
  uint32_t position;
  int32_t level;
  bool operator<(const Coefficient& o) const { return position < o.position; }
  bool operator==(const Coefficient&) const = default;
};

void SetList(BlockDecoderState& s, const std::vector<Coefficient>& list) {
  s.count = static_cast<uint32_t>(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    s.position[i] = list[i].position;
    s.level[i] = list[i].level < 0 ? (static_cast<uint32_t>(-list[i].level) << 1) | 1
                                   : static_cast<uint32_t>(list[i].level) << 1;
  }
}

std::vector<Coefficient> List(const BlockDecoderState& s) {
  std::vector<Coefficient> list;
  for (uint32_t i = 0; i < s.count; ++i) {
    const int32_t m = static_cast<int32_t>(s.level[i] >> 1);
    list.push_back({s.position[i], (s.level[i] & 1) ? -m : m});
  }
  std::sort(list.begin(), list.end());
  return list;
}

TEST(BlockDecoderState, PredictAcAddsRescaledNeighbourEdges) {
  struct Case {
    const char* name;
    uint32_t direction;
    int32_t quantiser;
    std::vector<int32_t> predictors;  // entries 1-7 of the neighbour's set
    std::vector<Coefficient> coded;
    std::vector<Coefficient> result;
  };
  const Case cases[] = {
      {"from above: a cancelled coefficient leaves the list, an uncoded one joins", kPredictFromAbove, 5,
       {10, 0, -15, 0, 0, 0, 0}, {{1, -2}, {2, 4}, {9, 1}}, {{2, 4}, {3, -3}, {9, 1}}},
      {"from the left uses the first column", kPredictFromLeft, 5, {10, 0, 0, 0, 0, 0, 25},
       {{1, 3}, {8, 1}}, {{1, 3}, {8, 3}, {56, 5}}},
      {"stored at q 10, used at q 5: doubled with rounding", kPredictFromAbove, 5, {30, -30, 25, -25, 0, 0, 0},
       {}, {{1, 6}, {2, -6}, {3, 5}, {4, -5}}},
      {"predictors are held to -2048..2047 when used", kPredictFromAbove, 1, {40000, -40000, 0, 0, 0, 0, 0},
       {}, {{1, 2047}, {2, -2048}}},
      {"no direction: the list is unchanged", kPredictNone, 5, {10, 10, 10, 10, 10, 10, 10}, {{5, 1}},
       {{5, 1}}},
  };
  for (const Case& c : cases) {
    BlockDecoderState s;
    s.quantiser = c.quantiser;
    s.direction = c.direction;
    int32_t left[8] = {1024}, top[8] = {1024};
    int32_t* source = c.direction == kPredictFromLeft ? left : top;
    std::copy(c.predictors.begin(), c.predictors.end(), source + 1);
    SetList(s, c.coded);
    PredictAc(s, left, top);
    EXPECT_EQ(List(s), c.result) << c.name;
    // The block's own first row and column become the neighbours' predictors.
    for (int k = 1; k < 8; ++k) {
      int32_t row = 0, column = 0;
      for (const Coefficient& r : c.result) {
        if (r.position == static_cast<uint32_t>(k)) row = c.quantiser * r.level;
        if (r.position == static_cast<uint32_t>(8 * k)) column = c.quantiser * r.level;
      }
      EXPECT_EQ(top[k], row) << c.name << " top " << k;
      EXPECT_EQ(left[k], column) << c.name << " left " << k;
    }
    EXPECT_EQ(top[0], 1024) << c.name;
    EXPECT_EQ(left[0], 1024) << c.name;
  }
}

TEST(BlockDecoderState, StoredPredictorsKeepProductsBeyondSixteenBits) {
  BlockDecoderState s;
  s.quantiser = 31;
  s.direction = kPredictNone;
  int32_t left[8] = {1024}, top[8] = {1024};
  SetList(s, {{1, 2000}, {8, -2000}});
  PredictAc(s, left, top);
  EXPECT_EQ(top[1], 62000);
  EXPECT_EQ(left[1], -62000);

  // Reused at q 31 the predictor is clamped to 2047 first: (31 + 4094) / 62.
  BlockDecoderState next;
  next.quantiser = 31;
  next.direction = kPredictFromAbove;
  int32_t nextLeft[8] = {1024};
  PredictAc(next, nextLeft, top);
  EXPECT_EQ(List(next), (std::vector<Coefficient>{{1, 66}}));
}

TEST(BlockDecoderState, ScanTablesFollowTheAlternateFlag) {
  BlockDecoderState s;
  BlockDecoderReset(s);
  const std::vector<uint8_t> zigzagStart = {0, 1, 8, 16, 9, 2, 3, 10};
  const std::vector<uint8_t> verticalStart = {0, 8, 16, 24, 1, 9, 2, 10};
  const std::vector<uint8_t> horizontalStart = {0, 1, 2, 3, 8, 9, 16, 17};
  EXPECT_EQ(std::vector<uint8_t>(s.scan[0], s.scan[0] + 8), zigzagStart);
  EXPECT_EQ(std::vector<uint8_t>(s.scan[1], s.scan[1] + 8), verticalStart);
  EXPECT_EQ(std::vector<uint8_t>(s.scan[2], s.scan[2] + 8), horizontalStart);
  SetScanTables(s, true);
  for (int t = 0; t < 3; ++t) EXPECT_TRUE(std::equal(s.scan[t], s.scan[t] + 64, s.scan[1])) << "scan " << t;
  SetScanTables(s, false);
  EXPECT_EQ(std::vector<uint8_t>(s.scan[0], s.scan[0] + 8), zigzagStart);
}

TEST(BlockDecoderState, ResetsRestoreDefaultsAndHandOnCorners) {
  BlockDecoderState s;
  BlockDecoderReset(s);
  ASSERT_EQ(BlockDecoderAllocate(s, 3), 0u);
  std::fill(s.rows, s.rows + 3 * 32, 55);
  ResetPredictorRows(s);
  for (uint32_t set = 0; set < 12; ++set) {
    EXPECT_EQ(s.rows[8 * set], 1024);
    EXPECT_TRUE(std::all_of(s.rows + 8 * set + 1, s.rows + 8 * set + 8, [](int32_t v) { return v == 0; }));
  }

  // A non-intra macroblock in column 1 hands the DCs above it to the
  // macroblock on its right as corner values, then forgets them.
  s.lumaRow[16 + 8] = 300;
  s.uRow[8] = 400;
  s.vRow[8] = 500;
  s.lumaRow[16 + 3] = 9;
  s.leftU[2] = 9;
  s.lumaRow[0] = 600;  // column 0 stays
  ResetMacroblockPredictors(s, 1);
  EXPECT_EQ(s.corner[kCornerBlock0], 300);
  EXPECT_EQ(s.corner[kCornerU], 400);
  EXPECT_EQ(s.corner[kCornerV], 500);
  EXPECT_EQ(s.lumaRow[16 + 8], 1024);
  EXPECT_EQ(s.uRow[8], 1024);
  EXPECT_EQ(s.lumaRow[16 + 3], 0);
  EXPECT_EQ(s.leftU[2], 0);
  EXPECT_EQ(s.leftU[0], 1024);
  EXPECT_EQ(s.lumaRow[0], 600);

  ResetDcPredictors(s);
  EXPECT_TRUE(std::all_of(s.corner, s.corner + 6, [](int32_t v) { return v == 1024; }));

  // Smaller pictures keep the rows; larger ones replace them.
  int32_t* rows = s.rows;
  EXPECT_EQ(BlockDecoderAllocate(s, 2), 0u);
  EXPECT_EQ(s.rows, rows);
  EXPECT_EQ(s.vRow, s.rows + 24 * 2);
  EXPECT_EQ(BlockDecoderAllocate(s, 45), 0u);
  EXPECT_EQ(s.capacity, 45u);
  ResetPredictorRows(s);
  EXPECT_EQ(s.vRow[8 * 44], 1024);
  BlockDecoderRelease(s);
}

TEST(BlockDecoderState, OutOfMemoryLeavesNoRows) {
  BlockDecoderState s;
  BlockDecoderReset(s);
  SetCoreAllocationFailure(1);
  EXPECT_EQ(BlockDecoderAllocate(s, 11), kStatusOutOfMemory);
  SetCoreAllocationFailure(0);
  EXPECT_EQ(s.rows, nullptr);
  EXPECT_EQ(s.columns, 0u);
  EXPECT_EQ(s.status, kStatusOutOfMemory);
  EXPECT_EQ(BlockDecoderAllocate(s, 11), 0u);
  EXPECT_NE(s.rows, nullptr);
  BlockDecoderRelease(s);
}

}  // namespace
}  // namespace tlx::mpeg4

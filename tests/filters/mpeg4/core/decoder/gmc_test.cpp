// Global motion compensation: the rounded division and powers of two of the
// warp set-up, the warp parameters against the mapping they stand for, the
// clamps of the translational and warped predictions, and the recorded
// vector as the next macroblock's predictor.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filters/mpeg4/core/dsp.h"
#include "filters/mpeg4/core/gmc.h"
#include "filters/mpeg4/core/motion_vectors.h"
#include "filters/mpeg4/core/picture.h"

namespace tlx::mpeg4 {
namespace {

TEST(GmcArithmetic, PowersOfTwoAndRoundedDivision) {
  struct Power {
    int32_t v, power, exponent;
  };
  for (const Power& p : {Power{0, 1, 0}, Power{1, 1, 0}, Power{16, 16, 4}, Power{176, 256, 8}, Power{256, 256, 8},
                         Power{257, 512, 9}, Power{720, 1024, 10}}) {
    int32_t exponent = -1;
    EXPECT_EQ(PowerOfTwoAtLeast(p.v, &exponent), p.power) << p.v;
    EXPECT_EQ(exponent, p.exponent) << p.v;
  }
  struct Division {
    int32_t a, b, c, d, wd, wp, expected;
  };
  // Wd 2, Wp 1, a = b = 0: (c + d) / 2.
  for (const Division& t : {Division{0, 0, 2, 3, 2, 1, 3}, Division{0, 0, -2, -3, 2, 1, -3},
                            Division{0, 0, 2, 2, 2, 1, 2}, Division{0, 0, -1, 0, 2, 1, -1},
                            Division{0, 0, 1, 0, 3, 2, 0}, Division{0, 0, 2, 0, 3, 2, 1},
                            // (176 - 256)(0 - 0) + 256 (16 x 176 + 8 - 16 x 176) = 2048; / 176 = 11.6
                            Division{0, 176, 0, 16 * 176 + 8, 176, 256, 12}}) {
    EXPECT_EQ(WarpRoundedDivide(t.a, t.b, t.c, t.d, t.wd, t.wp), t.expected)
        << t.c << " " << t.d << " / " << t.wd;
  }
}

// The mapping the warp parameters stand for, as exact fractions: a point's
// position in sixteenths is point 0 plus the steps to the virtual points,
// scaled by x / W' and y / H' (two points: the same step turned by 90
// degrees for y); luma positions are rounded to 1/2^rho, chroma positions
// are taken at luma (2 xc + 1/2, 2 yc + 1/2).
struct Mapping {
  int64_t a0, b0, i1, j1, i2, j2, wp, hp;
  bool three;
  // Numerators of x' and y' in sixteenths over wp x hp, at (x, y) / q.
  void Sixteenths(int64_t x, int64_t y, int64_t q, int64_t& nx, int64_t& ny) const {
    const int64_t stepX = three ? (i2 - a0) : (b0 - j1);
    const int64_t stepY = three ? (j2 - b0) : (i1 - a0);
    const int64_t yScale = three ? wp : hp;  // y / H' for three points, y / W' for two
    const int64_t xScale = hp;
    const int64_t denominator = q * wp * hp;
    nx = a0 * denominator + (i1 - a0) * x * xScale + stepX * y * (three ? yScale : xScale);
    ny = b0 * denominator + (j1 - b0) * x * xScale + stepY * y * (three ? yScale : xScale);
  }
};

int64_t FloorDivide(int64_t n, int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); }

TEST(GmcWarp, ParametersEqualTheExactMappingForRandomTrajectories) {
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    GmcParameters gmc;
    const bool three = round % 2 == 1;
    gmc.points = three ? 3 : 2;
    gmc.accuracy = uint32_t(random() % 4);
    gmc.rho = int32_t(gmc.accuracy) + 1;
    const int32_t sizes[][2] = {{176, 144}, {352, 288}, {64, 256}, {720, 576}, {48, 16}};
    gmc.width = sizes[round % 5][0];
    gmc.height = sizes[round % 5][1];
    const int32_t refX[3] = {0, gmc.width, 0}, refY[3] = {0, 0, gmc.height};
    for (int n = 0; n < 3; ++n) {
      gmc.pointX[n] = 2 * refX[n] + int32_t(random() % 129) - 64;
      gmc.pointY[n] = 2 * refY[n] + int32_t(random() % 129) - 64;
    }
    GmcPrepareWarp(gmc);

    int32_t alpha = 0, beta = 0;
    const int64_t wp = PowerOfTwoAtLeast(gmc.width, &alpha), hp = PowerOfTwoAtLeast(gmc.height, &beta);
    const int64_t a0 = 8 * gmc.pointX[0], b0 = 8 * gmc.pointY[0];
    Mapping map{a0, b0, WarpRoundedDivide(0, gmc.width, int32_t(a0), 8 * gmc.pointX[1], gmc.width, int32_t(wp)) +
                            16 * wp,
                WarpRoundedDivide(0, 0, int32_t(b0), 8 * gmc.pointY[1], gmc.width, int32_t(wp)),
                WarpRoundedDivide(0, 0, int32_t(a0), 8 * gmc.pointX[2], gmc.height, int32_t(hp)),
                WarpRoundedDivide(0, gmc.height, int32_t(b0), 8 * gmc.pointY[2], gmc.height, int32_t(hp)) + 16 * hp,
                wp, hp, three};
    const int64_t r = int64_t(1) << (4 - gmc.rho);
    for (int k = 0; k < 40; ++k) {
      const int64_t x = random() % uint32_t(gmc.width), y = random() % uint32_t(gmc.height);
      int64_t nx = 0, ny = 0;
      map.Sixteenths(x, y, 1, nx, ny);
      const int64_t d = wp * hp;
      ASSERT_EQ((gmc.a * x + gmc.b * y + gmc.c) >> gmc.shift, FloorDivide(nx + d * r / 2, d * r))
          << "round " << round << " at " << x << "," << y;
      ASSERT_EQ((gmc.d * x + gmc.e * y + gmc.f) >> gmc.shift, FloorDivide(ny + d * r / 2, d * r))
          << "round " << round << " at " << x << "," << y;
      // Chroma (xc, yc) = (x / 2, y / 2) at luma (4 xc + 1) / 2.
      const int64_t xc = x / 2, yc = y / 2;
      map.Sixteenths(4 * xc + 1, 4 * yc + 1, 2, nx, ny);
      const int64_t dc = 2 * d;
      ASSERT_EQ((4 * (gmc.a * xc + gmc.b * yc) + gmc.g) >> (gmc.shift + 2),
                FloorDivide(nx - 8 * dc + r * dc, 2 * r * dc))
          << "round " << round << " chroma at " << xc << "," << yc;
      ASSERT_EQ((4 * (gmc.d * xc + gmc.e * yc) + gmc.k) >> (gmc.shift + 2),
                FloorDivide(ny - 8 * dc + r * dc, 2 * r * dc))
          << "round " << round << " chroma at " << xc << "," << yc;
    }
  }
}

// A 48x32 reference whose every luma sample, borders included, holds its
// column + 17, so a prediction shows which column it read.
struct GmcBench {
  DspTables tables;
  PlainPicture current;
  PlainPicture reference;
  MotionVectorState state;

  GmcBench() {
    InitDspTables(tables, PictureVariant::Plain);
    EXPECT_EQ(current.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
    EXPECT_EQ(reference.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
    for (int y = -16; y < 32 + 16 + kPlaneExtraRows; ++y) {
      for (int x = -16; x < 48 + 16; ++x) reference.yOrigin[y * reference.lumaStride + x] = uint8_t(x + 17);
    }
    EXPECT_EQ(AllocateMotionVectorRows(state, 3, 2), 0u);
    state.kernels = &tables.prediction;
    state.forwardRange = 6;  // vectors up to 2048 half samples
    SetPictures(state, &current, &reference, nullptr);
  }
  ~GmcBench() { ReleaseMotionVectorRows(state); }
  uint8_t Luma(int x, int y) const { return current.yOrigin[y * current.lumaStride + x]; }
};

TEST(GmcPrediction, TranslationStopsFifteenSamplesOutAndWarpSixteen) {
  struct Case {
    const char* name;
    uint32_t points;
    int32_t du;         // half samples, the same for every point
    uint8_t expected;   // every sample of macroblock 0
  };
  const Case cases[] = {
      {"one point far left", 1, -400, 17 - 15},
      {"one point far right", 1, 400, 48 + 15 + 17},
      {"two points far left", 2, -400, 17 - 16},
      {"two points far right", 2, 400, 48 + 15 + 17},
      {"one point two samples right", 1, 4, 2 + 17},
  };
  for (const Case& c : cases) {
    GmcBench bench;
    const int32_t x[3] = {c.du, 2 * 48 + c.du, c.du}, y[3] = {0, 0, 2 * 32};
    ASSERT_EQ(GmcSetTrajectory(bench.state, 3, c.points, x, y, 48, 32), 0u) << c.name;
    ASSERT_EQ(GmcPredict(bench.state, 0, 0), 0u) << c.name;
    // The first column of the block; the rest follows it one by one unless
    // clamped.
    for (int row = 0; row < 16; ++row) EXPECT_EQ(bench.Luma(0, row), c.expected) << c.name << " row " << row;
  }
}

TEST(GmcPrediction, RecordedVectorPredictsTheNextMacroblock) {
  GmcBench bench;
  const int32_t x[3] = {6, 0, 0}, y[3] = {-3, 0, 0};
  ASSERT_EQ(GmcSetTrajectory(bench.state, 1, 1, x, y, 48, 32), 0u);
  ResetMotionVectorRows(bench.state);
  ResetMotionVectorPredictors(bench.state);
  ASSERT_EQ(GmcPredict(bench.state, 0, 0), 0u);
  EXPECT_EQ(bench.state.records[0].mode, kVectorModeOne);
  EXPECT_EQ(bench.state.records[0].vectors[3][0], 6);
  EXPECT_EQ(bench.state.records[0].vectors[3][1], -3);
  // Two zero differences: the only valid candidate is the left one.
  const uint8_t zeros[8] = {0xC0};
  BitReader reader;
  BitReaderInit(reader, zeros, 0, zeros + sizeof zeros);
  ASSERT_EQ(DecodeOneVector(bench.state, reader, 1, 0), 0u);
  EXPECT_EQ(bench.state.records[1].vectors[0][0], 6);
  EXPECT_EQ(bench.state.records[1].vectors[0][1], -3);
}

TEST(GmcPrediction, OnePointBeyondTheForwardRangeIsClampedFirst) {
  GmcBench bench;
  bench.state.forwardRange = 0;  // [-32, 31]
  const int32_t x[3] = {100, 0, 0}, y[3] = {-100, 0, 0};
  ASSERT_EQ(GmcSetTrajectory(bench.state, 3, 1, x, y, 48, 32), 0u);
  ASSERT_EQ(GmcPredict(bench.state, 1, 0), 0u);
  EXPECT_EQ(bench.state.records[1].vectors[0][0], 31);
  EXPECT_EQ(bench.state.records[1].vectors[0][1], -32);
  // 15.5 samples right: halfway between columns 31 and 32 of the macroblock
  // at 16, rounded up with rounding type 0.
  EXPECT_EQ(bench.Luma(16, 0), 16 + 15 + 17 + 1);
}

TEST(GmcPrediction, MoreThanThreePointsAreRefused) {
  GmcBench bench;
  const int32_t x[3] = {}, y[3] = {};
  EXPECT_EQ(GmcSetTrajectory(bench.state, 0, 4, x, y, 48, 32), 0x2u);
}

}  // namespace
}  // namespace tlx::mpeg4

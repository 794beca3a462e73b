// Inverse DCT: accuracy against a double-precision transform by the IEEE
// 1180-1990 procedure, shortcut paths against the full transform, the output
// stage rules, and wrap-around safety on extreme inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "filters/mpeg4/core/block/idct.h"
#include "filters/mpeg4/support/guarded_block.h"
#include "vlc_writer.h"

namespace tlx::mpeg4 {
namespace {

using Block = std::array<int16_t, 64>;
using Pixels = std::array<uint8_t, 64>;

// Shape word covering every coefficient.
constexpr uint32_t kAllRegions = 0x7FFF01FF;
// A shape bit of row 7 that no shortcut accepts: adding it to a block whose
// row 7 is zero forces the full transform without changing the result.
constexpr uint32_t kForceFull = 0x40000000;

uint32_t ShapeOf(const Block& b) {
  uint32_t shape = 0;
  for (int p = 0; p < 64; ++p)
    if (b[p]) shape |= test::ShapeBit(p);
  return shape;
}

// ---- IEEE 1180-1990 ----

// The procedure's own pseudo-random generator, values in [-low, high].
class Ieee1180Random {
 public:
  int32_t Next(int32_t low, int32_t high) {
    state_ = state_ * 1103515245u + 12345u;
    const double x = static_cast<double>(state_ & 0x7FFFFFFEu) / 2147483648.0 * (low + high + 1);
    return static_cast<int32_t>(x) - low;
  }

 private:
  uint32_t state_ = 1;
};

// c[u][x]: the orthonormal 8-point DCT basis.
struct DctBasis {
  double c[8][8];
  DctBasis() {
    for (int u = 0; u < 8; ++u)
      for (int x = 0; x < 8; ++x)
        c[u][x] = (u == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * x + 1) * u * std::numbers::pi / 16.0);
  }
};
const DctBasis kBasis;

// out = M in M^T (forward) or M^T in M (inverse), separably.
void Transform(const double in[64], double out[64], bool inverse) {
  auto m = [inverse](int a, int b) { return inverse ? kBasis.c[b][a] : kBasis.c[a][b]; };
  double tmp[64];
  for (int r = 0; r < 8; ++r)
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int x = 0; x < 8; ++x) sum += m(u, x) * in[8 * r + x];
      tmp[8 * r + u] = sum;
    }
  for (int c = 0; c < 8; ++c)
    for (int v = 0; v < 8; ++v) {
      double sum = 0;
      for (int y = 0; y < 8; ++y) sum += m(v, y) * tmp[8 * y + c];
      out[8 * v + c] = sum;
    }
}

// The full transform's residuals, before any pixel clamp.
void Residuals(Block block, int16_t out[64]) {
  int32_t rows[8][8];
  for (int r = 0; r < 8; ++r) IdctRowPass(block.data(), r, rows[r]);
  for (int c = 0; c < 8; ++c) {
    int16_t column[8];
    IdctColumnPass(rows, c, column);
    for (int r = 0; r < 8; ++r) out[8 * r + c] = column[r];
  }
}

struct AccuracyRun {
  int32_t low, high, sign;
};

TEST(Idct, MeetsIeee1180Accuracy) {
  for (const AccuracyRun run : {AccuracyRun{256, 255, 1}, AccuracyRun{256, 255, -1},
                                AccuracyRun{5, 5, 1}, AccuracyRun{5, 5, -1},
                                AccuracyRun{300, 300, 1}, AccuracyRun{300, 300, -1}}) {
    SCOPED_TRACE(testing::Message() << "range -" << run.low << ".." << run.high << " sign " << run.sign);
    Ieee1180Random random;
    constexpr int kBlocks = 10000;
    int peak = 0;
    double error[64] = {}, squared[64] = {};
    for (int n = 0; n < kBlocks; ++n) {
      double source[64], coefficients[64], reference[64];
      for (double& s : source) s = run.sign * random.Next(run.low, run.high);
      Transform(source, coefficients, false);
      Block block;
      for (int i = 0; i < 64; ++i) {
        coefficients[i] = std::clamp(std::nearbyint(coefficients[i]), -2048.0, 2047.0);
        block[i] = static_cast<int16_t>(coefficients[i]);
      }
      Transform(coefficients, reference, true);
      int16_t ours[64];
      Residuals(block, ours);
      for (int i = 0; i < 64; ++i) {
        const int ref = static_cast<int>(std::clamp(std::nearbyint(reference[i]), -256.0, 255.0));
        const int got = std::clamp<int>(ours[i], -256, 255);
        const int e = got - ref;
        peak = std::max(peak, std::abs(e));
        error[i] += e;
        squared[i] += e * e;
      }
    }
    EXPECT_LE(peak, 1);
    double totalError = 0, totalSquared = 0;
    for (int i = 0; i < 64; ++i) {
      EXPECT_LE(squared[i] / kBlocks, 0.06) << "pixel " << i;
      EXPECT_LE(std::abs(error[i]) / kBlocks, 0.015) << "pixel " << i;
      totalError += error[i];
      totalSquared += squared[i];
    }
    EXPECT_LE(totalSquared / (64.0 * kBlocks), 0.02);
    EXPECT_LE(std::abs(totalError) / (64.0 * kBlocks), 0.0015);
  }

  Block zero{};
  int16_t out[64];
  Residuals(zero, out);
  EXPECT_TRUE(std::all_of(out, out + 64, [](int16_t v) { return v == 0; }));
}

// ---- Shortcuts against the full transform ----

Pixels Transform8x8(bool add, Block block, uint32_t shape, Pixels start, ptrdiff_t stride = 8) {
  std::array<uint8_t, 128> area{};
  for (int r = 0; r < 8; ++r) std::copy_n(start.begin() + 8 * r, 8, area.begin() + r * stride);
  if (add)
    IdctDispatchAdd(block.data(), area.data(), stride, shape);
  else
    IdctDispatchPut(block.data(), area.data(), stride, shape);
  EXPECT_EQ(block, Block{}) << "coefficients left behind";
  Pixels out;
  for (int r = 0; r < 8; ++r) std::copy_n(area.begin() + r * stride, 8, out.begin() + 8 * r);
  return out;
}

TEST(Idct, ShortcutsGiveTheBytesOfTheFullTransform) {
  std::mt19937 rng(1180);
  std::uniform_int_distribution<int> level(-2048, 2047), small(-40, 40), pixel(0, 255), coin(0, 3);
  // Which positions each sparse class may fill.
  struct SparseClass {
    const char* name;
    bool (*allowed)(int pos);
  };
  const SparseClass classes[] = {
      {"dc only", [](int p) { return p == 0; }},
      {"first row", [](int p) { return p < 8; }},
      {"first column without row 7", [](int p) { return p % 8 == 0 && p < 56; }},
      {"first column with row 7", [](int p) { return p % 8 == 0; }},
  };
  for (const SparseClass& sc : classes) {
    SCOPED_TRACE(sc.name);
    for (int n = 0; n < 2000; ++n) {
      Block block{};
      for (int p = 0; p < 64; ++p)
        if (sc.allowed(p) && coin(rng) != 0) block[p] = static_cast<int16_t>(n % 2 ? level(rng) : small(rng));
      if (sc.allowed(56)) block[56] = static_cast<int16_t>(1 + coin(rng));
      Pixels start;
      for (uint8_t& s : start) s = static_cast<uint8_t>(pixel(rng));
      const uint32_t shape = ShapeOf(block);
      for (bool add : {false, true}) {
        ASSERT_EQ(Transform8x8(add, block, shape, start), Transform8x8(add, block, shape | kForceFull, start))
            << (add ? "add" : "put") << " block " << n;
      }
      // Put does not depend on what was in the destination.
      Pixels other;
      for (uint8_t& s : other) s = static_cast<uint8_t>(pixel(rng));
      ASSERT_EQ(Transform8x8(false, block, shape, start), Transform8x8(false, block, shape, other));
    }
  }
}

// ---- Output stage ----

TEST(Idct, OutputStageCases) {
  struct Case {
    const char* name;
    bool add;
    int16_t dc;
    uint32_t shape;
    uint8_t before;
    uint8_t after;
  };
  const Case cases[] = {
      {"dc 2047 saturates to white", false, 2047, 1, 0, 255},
      {"dc 8m of a flat block puts m", false, 8 * 77, 1, 0, 77},
      {"dc -4 rounds to no change", true, -4, 1, 100, 100},
      {"dc -5 lowers by one", true, -5, 1, 100, 99},
      {"dc -5 does not go below 0", true, -5, 1, 0, 0},
      {"clamped after the add, high", true, 80, 1, 250, 255},
      {"clamped after the add, low", true, -80, 1, 5, 0},
      {"shape 0 put writes zero", false, 0, 0, 200, 0},
      {"shape 0 add leaves the prediction", true, 0, 0, 200, 200},
      {"full path clamps the same way", true, 80, kForceFull | 1, 250, 255},
  };
  for (const Case& c : cases) {
    Block block{};
    block[0] = c.dc;
    Pixels start;
    start.fill(c.before);
    Pixels expected;
    expected.fill(c.after);
    EXPECT_EQ(Transform8x8(c.add, block, c.shape, start), expected) << c.name;
  }
}

TEST(Idct, DoubledStrideTouchesOnlyItsOwnRows) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> level(-300, 300);
  Block block{};
  for (int p = 0; p < 64; ++p) block[p] = static_cast<int16_t>(level(rng));
  Pixels flat;
  flat.fill(128);
  for (bool add : {false, true}) {
    const Pixels dense = Transform8x8(add, block, kAllRegions, flat);
    std::array<uint8_t, 16 * 8> area;
    area.fill(128);
    Block copy = block;
    if (add)
      IdctDispatchAdd(copy.data(), area.data(), 16, kAllRegions);
    else
      IdctDispatchPut(copy.data(), area.data(), 16, kAllRegions);
    for (int r = 0; r < 16; ++r)
      for (int c = 0; c < 8; ++c) {
        const uint8_t want = r % 2 ? 128 : dense[8 * (r / 2) + c];
        ASSERT_EQ(area[8 * r + c], want) << "row " << r << " column " << c;
      }
  }
}

// Inputs far outside the dequantiser's range must still give some result
// without undefined arithmetic (run under the sanitizer preset).
TEST(Idct, ExtremeInputsStayDefined) {
  std::mt19937 rng(2048);
  const int16_t extremes[] = {-32768, 32767, -2048, 2047, 2048, -2049};
  std::uniform_int_distribution<int> pick(0, 5), pixel(0, 255);
  for (int n = 0; n < 500; ++n) {
    Block block;
    for (int16_t& v : block) v = extremes[pick(rng)];
    if (n < 6) block.fill(extremes[n]);
    Pixels start;
    for (uint8_t& s : start) s = static_cast<uint8_t>(pixel(rng));
    for (uint32_t shape : {kAllRegions, 1u, 0x7u, 0x02490049u}) {
      for (bool add : {false, true}) {
        Block copy = block;
        std::array<uint8_t, 64> area = start;
        if (add)
          IdctDispatchAdd(copy.data(), area.data(), 8, shape);
        else
          IdctDispatchPut(copy.data(), area.data(), 8, shape);
      }
    }
  }
  // Full-range DC-only and first-row blocks agree with the full transform.
  for (int16_t v : {int16_t{-2048}, int16_t{2047}}) {
    Block block{};
    block.fill(0);
    for (int p = 0; p < 8; ++p) block[p] = v;
    Pixels start;
    start.fill(128);
    for (bool add : {false, true}) {
      EXPECT_EQ(Transform8x8(add, block, ShapeOf(block), start), Transform8x8(add, block, kForceFull | ShapeOf(block), start));
    }
  }
}

// ---- SSE2 form ----

// Coefficient sources of the SSE2 test: the dequantiser's range, the whole
// 16-bit range, and extreme values.
int16_t Level(std::mt19937& g) { return int16_t(int(g() % 4096) - 2048); }
int16_t Any(std::mt19937& g) { return int16_t(g()); }
int16_t Extreme(std::mt19937& g) {
  constexpr int16_t kExtremes[] = {-32768, 32767, -2048, 2047, 2048, -2049, 0};
  return kExtremes[g() % 7];
}

// The SSE2 entry points against the plain ones: the same bytes in a canaried
// area (positive, doubled and negative strides) and the same coefficients
// left behind, for every input class and shape word, including shape words
// that do not cover the block's entries and values whose sums wrap.
TEST(Idct, Sse2FormGivesThePlainBytes) {
  std::mt19937 rng(20261211);
  std::uniform_int_distribution<int> pixel(0, 255);
  struct InputClass {
    const char* name;
    int16_t (*value)(std::mt19937&, int pos);
  };
  const InputClass classes[] = {
      {"dequantiser range", [](std::mt19937& g, int) { return Level(g); }},
      {"whole 16-bit range", [](std::mt19937& g, int) { return Any(g); }},
      {"extremes", [](std::mt19937& g, int) { return Extreme(g); }},
      {"sparse", [](std::mt19937& g, int) { return g() % 4 == 0 ? Level(g) : int16_t{0}; }},
      {"dc only", [](std::mt19937& g, int p) { return p == 0 ? Any(g) : int16_t{0}; }},
      {"first row", [](std::mt19937& g, int p) { return p < 8 ? Any(g) : int16_t{0}; }},
      {"first column", [](std::mt19937& g, int p) { return p % 8 == 0 ? Extreme(g) : int16_t{0}; }},
      {"rows 0-3", [](std::mt19937& g, int p) { return p < 32 ? Any(g) : int16_t{0}; }},
  };
  constexpr int kPitch = 16;
  for (const InputClass& ic : classes) {
    SCOPED_TRACE(ic.name);
    for (int n = 0; n < 3000; ++n) {
      Block block;
      for (int p = 0; p < 64; ++p) block[p] = ic.value(rng, p);
      const uint32_t shapes[] = {ShapeOf(block), ShapeOf(block) | kForceFull, static_cast<uint32_t>(rng()), 1u};
      const uint32_t shape = shapes[n % 4];
      const ptrdiff_t stride = n % 3 == 0 ? kPitch : (n % 3 == 1 ? 2 * kPitch : -kPitch);
      std::array<uint8_t, kPitch * 20> start;
      for (uint8_t& s : start) s = static_cast<uint8_t>(pixel(rng));
      const ptrdiff_t origin = stride < 0 ? kPitch * 18 + 4 : kPitch + 4;
      for (bool add : {false, true}) {
        Block a = block, b = block;
        std::array<uint8_t, kPitch * 20> plain = start, simd = start;
        if (add) {
          IdctDispatchAdd(a.data(), plain.data() + origin, stride, shape);
          IdctDispatchAddSse2(b.data(), simd.data() + origin, stride, shape);
        } else {
          IdctDispatchPut(a.data(), plain.data() + origin, stride, shape);
          IdctDispatchPutSse2(b.data(), simd.data() + origin, stride, shape);
        }
        ASSERT_EQ(plain, simd) << (add ? "add" : "put") << " block " << n << " shape " << std::hex << shape;
        ASSERT_EQ(a, b) << (add ? "add" : "put") << " block " << n << " coefficients left behind";
      }
    }
  }
}

// The SSE2 entry points touch only the plain ones' window: the 8x8 area
// (positive and negative strides) and the 64 coefficients, each placed flush
// against an inaccessible page before it and after it, on every path (DC
// only, first row, first column, full), with the plain bytes as the result.
TEST(Idct, Sse2FormTouchesOnlyThePlainWindow) {
  std::mt19937 rng(27);
  using Region = bool (*)(int);
  const Region regions[] = {[](int p) { return p == 0; }, [](int p) { return p < 8; },
                            [](int p) { return p % 8 == 0; }, [](int) { return true; }};
  for (const Region inRegion : regions) {
    Block block;
    for (int p = 0; p < 64; ++p) block[p] = inRegion(p) ? Level(rng) : int16_t{0};
    const uint32_t shape = ShapeOf(block);
    for (ptrdiff_t stride : {ptrdiff_t(8), ptrdiff_t(40), ptrdiff_t(-8), ptrdiff_t(-40)}) {
      const size_t window = size_t(7 * std::abs(stride) + 8);
      for (bool flushAfter : {false, true}) {
        for (bool add : {false, true}) {
          test::GuardedBlock coefficients(sizeof(block)), area(window);
          int16_t* guarded = reinterpret_cast<int16_t*>(flushAfter ? coefficients.Tail(sizeof(block)) : coefficients.Head());
          uint8_t* start = flushAfter ? area.Tail(window) : area.Head();
          uint8_t* dst = stride > 0 ? start : start + window - 8;
          std::memcpy(guarded, block.data(), sizeof(block));
          std::memset(start, 77, window);
          std::vector<uint8_t> plain(window, 77);
          Block a = block;
          uint8_t* plainDst = plain.data() + (dst - start);
          if (add) {
            IdctDispatchAdd(a.data(), plainDst, stride, shape);
            IdctDispatchAddSse2(guarded, dst, stride, shape);
          } else {
            IdctDispatchPut(a.data(), plainDst, stride, shape);
            IdctDispatchPutSse2(guarded, dst, stride, shape);
          }
          ASSERT_EQ(0, std::memcmp(plain.data(), start, window)) << "stride " << stride << " shape " << shape;
          ASSERT_EQ(0, std::memcmp(a.data(), guarded, sizeof(block))) << "stride " << stride << " shape " << shape;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tlx::mpeg4

// Plain half-sample kernels and the vector clamping of the prediction
// drivers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "dsp.h"
#include "filters/mpeg4/support/guarded_block.h"
#include "picture.h"
#include "prediction_kernels.h"

namespace tlx::mpeg4 {
namespace {

DspTables PlainTables() {
  DspTables tables;
  InitDspTables(tables, PictureVariant::Plain);
  return tables;
}

// One output sample of a kernel over a 2x2 source window.
int Sample(HalfSampleKernel kernel, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  uint8_t source[2 * 16] = {};
  source[0] = a;
  source[1] = b;
  source[16] = c;
  source[17] = d;
  uint8_t destination[8 * 8] = {};
  kernel(destination, 8, source, 16, 1);
  return destination[0];
}

TEST(HalfSampleKernels, RoundingCases) {
  const DspTables tables = PlainTables();
  const auto& k = tables.prediction.halfSample8;
  struct Case {
    const char* name;
    int rc, phase;
    uint8_t a, b, c, d;
    int expected;
  } cases[] = {
      {"H 0,1 rounds up with rc 0", 0, 1, 0, 1, 0, 0, 1},    {"H 0,1 rounds down with rc 1", 1, 1, 0, 1, 0, 0, 0},
      {"V 0/1 rounds up with rc 0", 0, 2, 0, 0, 1, 0, 1},    {"V 0/1 rounds down with rc 1", 1, 2, 0, 0, 1, 0, 0},
      {"HV 0,0,1,1 with rc 0", 0, 3, 0, 0, 1, 1, 1},         {"HV 0,0,1,1 with rc 1", 1, 3, 0, 0, 1, 1, 0},
      {"HV 0,1,1,1 with rc 0", 0, 3, 0, 1, 1, 1, 1},         {"HV 0,1,1,1 with rc 1", 1, 3, 0, 1, 1, 1, 1},
      {"HV 255 quartet", 0, 3, 255, 255, 255, 255, 255},     {"HV 255 quartet, rc 1", 1, 3, 255, 255, 255, 255, 255},
      {"HV 0,1,0,0 with rc 0", 0, 3, 0, 1, 0, 0, 0},         {"HV 1,0,0,1 with rc 0", 0, 3, 1, 0, 0, 1, 1},
      {"copy", 1, 0, 77, 1, 2, 3, 77},
  };
  for (const Case& c : cases) EXPECT_EQ(Sample(k[c.rc][c.phase], c.a, c.b, c.c, c.d), c.expected) << c.name;
}

// Every kernel writes exactly W x rows samples (the rest of the destination
// keeps its canary) and gives the same bytes from any source alignment.
TEST(HalfSampleKernels, WriteOnlyTheirBlockAndIgnoreAlignment) {
  const DspTables tables = PlainTables();
  std::mt19937 rng(3);
  uint8_t source[64 * 24];
  for (uint8_t& s : source) s = uint8_t(rng());
  for (int width : {8, 16}) {
    const auto& set = width == 16 ? tables.prediction.halfSample16 : tables.prediction.halfSample8;
    for (int rc = 0; rc < 2; ++rc) {
      for (int phase = 0; phase < 4; ++phase) {
        for (int rows : {width, width / 2}) {
          uint8_t reference[32 * 20];
          std::memset(reference, 0xCC, sizeof(reference));
          set[rc][phase](reference, 32, source, 64, rows);
          for (int r = 0; r < 20; ++r) {
            for (int c = 0; c < 32; ++c) {
              const bool inside = r < rows && c < width;
              if (!inside) {
                ASSERT_EQ(reference[r * 32 + c], 0xCC) << width << " " << phase << " row " << r;
              }
            }
          }
          for (int offset = 1; offset < 8; ++offset) {
            uint8_t shifted[64 * 24];
            std::memcpy(shifted + offset, source, sizeof(source) - size_t(offset));
            uint8_t out[32 * 20];
            std::memset(out, 0xCC, sizeof(out));
            set[rc][phase](out, 32, shifted + offset, 64, rows);
            ASSERT_EQ(std::memcmp(out, reference, sizeof(out)), 0) << "offset " << offset;
          }
        }
      }
    }
  }
}

// A 16x16 prediction from a source with a stride of 32, rows 0..16 readable.
struct QuarterBench {
  uint8_t source[32 * 20] = {};
  uint8_t out[16 * 16] = {};
  void Run(HalfSampleKernel kernel) { kernel(out, 16, source, 32, 16); }
  int At(int row, int column) const { return out[row * 16 + column]; }
};

TEST(QuarterSampleKernels, TwoStageRoundingAndEdges) {
  const QuarterSampleKernels& k = PlainTables().prediction.quarterSample;
  for (int rc = 0; rc < 2; ++rc) {
    QuarterBench impulse;
    impulse.source[8 * 32 + 8] = 255;
    impulse.Run(k.put16[rc][10]);
    EXPECT_EQ(impulse.At(7, 7), 99) << "rc " << rc;  // 159 after the horizontal stage
    impulse.Run(k.put16[rc][5]);
    EXPECT_EQ(impulse.At(7, 7), rc == 0 ? 25 : 24);
    EXPECT_EQ(impulse.At(8, 8), 168) << "rc " << rc;

    // A step: eight samples 0, then 255; the lowpass between them is exactly
    // half-way.
    QuarterBench step;
    for (int r = 0; r < 17; ++r) {
      for (int c = 8; c < 32; ++c) step.source[r * 32 + c] = 255;
    }
    step.Run(k.put16[rc][2]);
    EXPECT_EQ(step.At(0, 6), 0);
    EXPECT_EQ(step.At(0, 7), rc == 0 ? 128 : 127);
    EXPECT_EQ(step.At(0, 8), 255);

    // A flat source stays flat at every position.
    QuarterBench flat;
    std::memset(flat.source, 77, sizeof(flat.source));
    for (int p = 0; p < 16; ++p) {
      flat.Run(k.put16[rc][p]);
      for (uint8_t v : flat.out) ASSERT_EQ(v, 77) << "position " << p << " rc " << rc;
    }
  }
  // Averaged into a zero destination: (0 + 99 + 1) >> 1.
  QuarterBench average;
  average.source[8 * 32 + 8] = 255;
  average.Run(k.average16[10]);
  EXPECT_EQ(average.At(7, 7), 50);
}

// Every averaging position equals the rounding-control-0 prediction averaged
// into the destination; samples outside the read window change nothing.
TEST(QuarterSampleKernels, AveragesAndReadWindow) {
  const QuarterSampleKernels& k = PlainTables().prediction.quarterSample;
  std::mt19937 rng(11);
  for (int p = 0; p < 16; ++p) {
    QuarterBench bench;
    for (uint8_t& v : bench.source) v = uint8_t(rng());
    uint8_t destination[16 * 16];
    for (uint8_t& v : destination) v = uint8_t(rng());
    bench.Run(k.put16[0][p]);
    uint8_t averaged[16 * 16];
    std::memcpy(averaged, destination, sizeof(averaged));
    k.average16[p](averaged, 16, bench.source, 32, 16);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(averaged[i], (destination[i] + bench.out[i] + 1) >> 1) << p;

    uint8_t first[16 * 16];
    std::memcpy(first, bench.out, sizeof(first));
    for (int r = 0; r < 20; ++r) {
      for (int c = 0; c < 32; ++c) {
        if (r > 16 || c > 16) bench.source[r * 32 + c] = uint8_t(rng());
      }
    }
    bench.Run(k.put16[1][p]);
    bench.Run(k.put16[0][p]);
    ASSERT_EQ(std::memcmp(first, bench.out, sizeof(first)), 0) << "position " << p;
  }
}

using test::GuardedBlock;

// Every prediction kernel, plain and vector, reads only its (W + 1) x
// (rows + 1) window: the window's last byte is the last readable one, for
// frame and field strides.
void ReadOnlyWindow(PictureVariant variant) {
  DspTables tables;
  InitDspTables(tables, variant);
  const PredictionKernels& k = tables.prediction;
  struct Set {
    const HalfSampleKernel* kernels;
    size_t count;
    int width;
  } sets[] = {{&k.halfSample16[0][0], 8, 16},         {&k.halfSample8[0][0], 8, 8},
              {k.averageHalfSample16, 4, 16},         {k.averageHalfSample8, 4, 8},
              {&k.quarterSample.put16[0][0], 32, 16}, {&k.quarterSample.put8[0][0], 32, 8},
              {k.quarterSample.average16, 16, 16},    {k.quarterSample.average8, 16, 8}};
  for (const Set& set : sets) {
    for (int rows : {set.width, set.width / 2}) {
      for (ptrdiff_t stride : {ptrdiff_t(48), ptrdiff_t(96)}) {
        const size_t window = size_t(stride) * size_t(rows) + size_t(set.width) + 1;
        GuardedBlock guarded(window);
        uint8_t* source = guarded.Tail(window);
        std::memset(source, 90, window);
        uint8_t destination[96 * 17];
        for (size_t i = 0; i < set.count; ++i) set.kernels[i](destination, stride, source, stride, rows);
      }
    }
  }
}

TEST(PredictionKernels, ReadOnlyTheirWindow) {
  ReadOnlyWindow(PictureVariant::Plain);
  ReadOnlyWindow(PictureVariant::Simd);
}

TEST(VectorClamping, BlockStartsWithinThePaddedPlane) {
  struct Case {
    const char* name;
    int32_t position, vector, unit, pad, size, expected;
  } cases[] = {
      {"inside stays", 32, 10, 2, 16, 176, 10},
      {"far left to the pad", 0, -100, 2, 16, 176, -32},
      {"far left from column 32", 32, -200, 2, 16, 176, -96},
      {"just at the pad", 0, -32, 2, 16, 176, -32},
      {"far right to the edge", 160, 100, 2, 16, 176, 32},
      {"odd vector beyond the edge becomes even", 160, 33, 2, 16, 176, 32},
      {"one below the edge keeps its half sample", 160, 31, 2, 16, 176, 31},
      {"quarter-sample unit", 0, -100, 4, 16, 176, -64},
      {"chroma far down", 64, 500, 2, 8, 72, 16},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClampVectorComponent(c.position, c.vector, c.unit, c.pad, c.size), c.expected) << c.name;
  }
}

// A vector far beyond every edge predicts the replicated border samples.
TEST(VectorClamping, FarVectorsPredictTheBorder) {
  const DspTables tables = PlainTables();
  PlainPicture reference, current;
  ASSERT_EQ(reference.PictureAllocate(32, 32, 16, 16, kPlaneFormat420), 0u);
  ASSERT_EQ(current.PictureAllocate(32, 32, 16, 16, kPlaneFormat420), 0u);
  for (int r = 0; r < 32; ++r) {
    for (int c = 0; c < 32; ++c) reference.yOrigin[r * reference.lumaStride + c] = uint8_t(r * 32 + c);
  }
  reference.PadBorders(tables.prediction);
  current.PredictLuma16Half(tables.prediction, reference, 16, 16, 1001, -999);
  for (int r = 0; r < 16; ++r) {
    for (int c = 0; c < 16; ++c)
      EXPECT_EQ(current.yOrigin[(16 + r) * current.lumaStride + 16 + c], 31) << r << "," << c;
  }
}

// Vectors far beyond every edge, for every frame, field, quarter-sample and
// chroma prediction from both reference fields, stay inside the reference's
// plane block (the sanitizer build checks every read against it).
TEST(VectorClamping, FarVectorsReadOnlyTheReferencePlanes) {
  const DspTables tables = PlainTables();
  const PredictionKernels& k = tables.prediction;
  PlainPicture reference, current;
  ASSERT_EQ(reference.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
  ASSERT_EQ(current.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
  const int far[] = {-4001, -4000, -3, 0, 3, 3999, 4000, 4001};
  for (int x : {0, 32}) {
    for (int y : {0, 16}) {
      for (int mvx : far) {
        for (int mvy : far) {
          current.PredictLuma16Half(k, reference, x, y, mvx, mvy);
          current.PredictLuma8Half(k, reference, x + 8, y + 8, mvx, mvy);
          current.PredictLuma16Quarter(k, reference, x, y, mvx, mvy);
          current.AverageLuma8Quarter(k, reference, x + 8, y + 8, mvx, mvy);
          current.PredictChroma8Half(k, reference, x / 2, y / 2, mvx, mvy);
          for (int refField : {0, 1}) {
            for (int dstField : {0, 1}) {
              current.PredictLumaFieldHalf(k, reference, x, y, mvx, mvy, refField, dstField);
              current.PredictLumaFieldQuarter(k, reference, x, y, mvx, mvy, refField, dstField);
              current.PredictChromaFieldHalf(k, reference, x / 2, y / 2, mvx, mvy, refField, dstField);
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tlx::mpeg4

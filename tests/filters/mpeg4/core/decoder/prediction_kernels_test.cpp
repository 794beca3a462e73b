// Plain half-sample kernels and the vector clamping of the prediction
// drivers.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/core/dsp.h"
#include "filters/mpeg4/core/motion_vectors.h"
#include "filters/mpeg4/core/picture.h"
#include "filters/mpeg4/core/prediction_kernels.h"
#include "filters/mpeg4/support/guarded_block.h"

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

// Places every core block in its own guarded mapping, flush against the
// inaccessible page after it (tail) or before it (head), for as long as it
// lives.
class GuardedPlacement {
 public:
  explicit GuardedPlacement(bool tail) : tail_(tail) { SetCorePlacement(&placement_); }
  GuardedPlacement(const GuardedPlacement&) = delete;
  GuardedPlacement& operator=(const GuardedPlacement&) = delete;
  ~GuardedPlacement() {
    SetCorePlacement(nullptr);
    EXPECT_TRUE(blocks_.empty()) << "a block placed here outlived its placement";
  }

 private:
  static void* Place(void* context, size_t size) {
    auto* self = static_cast<GuardedPlacement*>(context);
    auto block = std::make_unique<GuardedBlock>(size);
    uint8_t* start = self->tail_ ? block->Tail(size) : block->Head();
    self->blocks_.emplace(start, std::move(block));
    return start;
  }
  static void Release(void* context, void* block) {
    auto* self = static_cast<GuardedPlacement*>(context);
    EXPECT_EQ(self->blocks_.erase(static_cast<uint8_t*>(block)), 1u) << "a block not placed here";
  }

  bool tail_;
  CorePlacement placement_{Place, Release, this};
  std::map<uint8_t*, std::unique_ptr<GuardedBlock>> blocks_;
};

// Vectors far beyond every edge, for every frame, field, quarter-sample and
// chroma prediction and average from both reference fields, read nothing
// outside the reference's plane block and write nothing outside the
// current's: both blocks lie flush against an inaccessible page, after their
// end and, in a second round, before their start.
TEST(VectorClamping, FarVectorsReadOnlyTheReferencePlanes) {
  const DspTables tables = PlainTables();
  const PredictionKernels& k = tables.prediction;
  const int far[] = {-4001, -4000, -3, 0, 3, 3999, 4000, 4001};
  for (const bool tail : {true, false}) {
    SCOPED_TRACE(tail ? "flush against the page after" : "flush against the page before");
    GuardedPlacement placement(tail);
    PlainPicture reference, current;
    ASSERT_EQ(reference.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
    ASSERT_EQ(current.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    for (const PlainPicture* picture : {&reference, &current}) {
      const uintptr_t start = reinterpret_cast<uintptr_t>(picture->planeBuffer);
      const size_t bytes = (picture->blockSize + kCoreAlignment - 1) / kCoreAlignment * kCoreAlignment;
      ASSERT_EQ((tail ? start + bytes : start) % page, 0u);
    }
    for (int x : {0, 32}) {
      for (int y : {0, 16}) {
        for (int mvx : far) {
          for (int mvy : far) {
            current.PredictLuma16Half(k, reference, x, y, mvx, mvy);
            current.PredictLuma8Half(k, reference, x + 8, y + 8, mvx, mvy);
            current.AverageLuma16Half(k, reference, x, y, mvx, mvy);
            current.AverageLuma8Half(k, reference, x + 8, y + 8, mvx, mvy);
            current.PredictLuma16Quarter(k, reference, x, y, mvx, mvy);
            current.PredictLuma8Quarter(k, reference, x + 8, y + 8, mvx, mvy);
            current.AverageLuma16Quarter(k, reference, x, y, mvx, mvy);
            current.AverageLuma8Quarter(k, reference, x + 8, y + 8, mvx, mvy);
            current.PredictChroma8Half(k, reference, x / 2, y / 2, mvx, mvy);
            current.AverageChroma8Half(k, reference, x / 2, y / 2, mvx, mvy);
            for (int refField : {0, 1}) {
              for (int dstField : {0, 1}) {
                current.PredictLumaFieldHalf(k, reference, x, y, mvx, mvy, refField, dstField);
                current.PredictLumaFieldQuarter(k, reference, x, y, mvx, mvy, refField, dstField);
                current.PredictChromaFieldHalf(k, reference, x / 2, y / 2, mvx, mvy, refField, dstField);
                current.AverageLumaFieldHalf(k, reference, x, y, mvx, mvy, refField, dstField);
                current.AverageLumaFieldQuarter(k, reference, x, y, mvx, mvy, refField, dstField);
                current.AverageChromaFieldHalf(k, reference, x / 2, y / 2, mvx, mvy, refField, dstField);
              }
            }
          }
        }
      }
    }
  }
}

// The never-called whole-macroblock operations against a sample-by-sample
// reference: the round-up half-sample average at the vector (0 where the
// 16-sample block would leave the picture), chroma by the one-vector rule;
// the field forms on every other row of one field, the half forms on the
// upper or lower half. Everything else of the destination stays as it was.
struct InsideCase {
  int mvx, mvy;
  int variant;  // 0 frame, 1 field, 2 half
  int which;    // field or half
  bool average;
};

int HalfAverage(const uint8_t* plane, ptrdiff_t stride, int x, int y, int hx, int hy, int rowStep) {
  const uint8_t* s = plane + ptrdiff_t(y) * stride + x;
  const int a = s[0], b = s[hx], c = s[hy * rowStep * stride], d = s[hy * rowStep * stride + hx];
  if (hx != 0 && hy != 0) return (a + b + c + d + 2) >> 2;
  if (hx != 0) return (a + b + 1) >> 1;
  if (hy != 0) return (a + c + 1) >> 1;
  return a;
}

TEST(InsideOperations, EqualASampleBySampleReference) {
  const DspTables tables = PlainTables();
  std::mt19937 random(17);
  PlainPicture reference;
  ASSERT_EQ(reference.PictureAllocate(64, 48, 16, 16, kPlaneFormat420), 0u);
  for (int y = -16; y < 48 + 16 + kPlaneExtraRows; ++y) {
    for (int x = -16; x < 64 + 16; ++x) reference.yOrigin[y * reference.lumaStride + x] = uint8_t(random());
  }
  for (int y = -8; y < 24 + 8 + kPlaneExtraRows / 2; ++y) {
    for (int x = -8; x < 32 + 8; ++x) {
      reference.uOrigin[y * reference.chromaStride + x] = uint8_t(random());
      reference.vOrigin[y * reference.chromaStride + x] = uint8_t(random());
    }
  }
  const int x0 = 16, y0 = 16;
  const InsideCase cases[] = {
      {3, 5, 0, 0, false},   {3, 5, 0, 0, true},    {-40, 7, 0, 0, false}, {9, 40, 0, 0, true},
      {-33, -33, 0, 0, false}, {5, 6, 1, 0, false}, {5, 6, 1, 1, true},    {-3, -10, 1, 1, false},
      {7, 3, 2, 0, false},   {7, 3, 2, 1, true},    {1, -60, 2, 1, false},
  };
  for (const InsideCase& c : cases) {
    PlainPicture current;
    ASSERT_EQ(current.PictureAllocate(64, 48, 16, 16, kPlaneFormat420), 0u);
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) current.yOrigin[y * current.lumaStride + x] = uint8_t(x * 3 + y);
    }
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 32; ++x) {
        current.uOrigin[y * current.chromaStride + x] = uint8_t(x + 5 * y);
        current.vOrigin[y * current.chromaStride + x] = uint8_t(7 * x + y);
      }
    }
    const int mvx = (2 * x0 + c.mvx < 0 || 2 * x0 + c.mvx > 2 * 64 - 32) ? 0 : c.mvx;
    const int mvy = (2 * y0 + c.mvy < 0 || 2 * y0 + c.mvy > 2 * 48 - 32) ? 0 : c.mvy;
    const auto& k = tables.prediction;
    switch (c.variant) {
      case 0:
        c.average ? current.AverageMacroblockInside(k, reference, x0, y0, c.mvx, c.mvy)
                  : current.PredictMacroblockInside(k, reference, x0, y0, c.mvx, c.mvy);
        break;
      case 1:
        c.average ? current.AverageFieldMacroblockInside(k, reference, x0, y0, c.mvx, c.mvy, c.which)
                  : current.PredictFieldMacroblockInside(k, reference, x0, y0, c.mvx, c.mvy, c.which);
        break;
      default:
        c.average ? current.AverageHalfMacroblockInside(k, reference, x0, y0, c.mvx, c.mvy, c.which)
                  : current.PredictHalfMacroblockInside(k, reference, x0, y0, c.mvx, c.mvy, c.which);
        break;
    }
    const std::string name = std::to_string(c.mvx) + "," + std::to_string(c.mvy) + " variant " +
                             std::to_string(c.variant) + " " + std::to_string(c.which) + (c.average ? " avg" : "");
    // Luma.
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        const int old = uint8_t(x * 3 + y);
        int expected = old;
        const bool inBlock = x >= x0 && x < x0 + 16 && y >= y0 && y < y0 + 16;
        const bool selected = c.variant == 0 || (c.variant == 1 && (y - y0) % 2 == c.which) ||
                              (c.variant == 2 && (y - y0) / 8 == c.which);
        if (inBlock && selected) {
          int p;
          if (c.variant == 1) {
            // Field rows: the reference row of the same field, the field
            // line offset mvy >> 2, the vertical half flag bit 1 of mvy.
            const int row = y0 + c.which + 2 * ((y - y0) / 2) + 2 * (mvy >> 2);
            p = HalfAverage(reference.yOrigin, reference.lumaStride, x + (mvx >> 1), row, mvx & 1,
                            (mvy >> 1) & 1, 2);
          } else {
            p = HalfAverage(reference.yOrigin, reference.lumaStride, x + (mvx >> 1), y + (mvy >> 1),
                            mvx & 1, mvy & 1, 1);
          }
          expected = c.average ? (old + p + 1) >> 1 : p;
        }
        ASSERT_EQ(int(current.yOrigin[y * current.lumaStride + x]), expected) << name << " at " << x << "," << y;
      }
    }
    // U (V follows the same code path).
    const int cmx = ChromaFromOneVector(mvx), cmy = ChromaFromOneVector(mvy);
    const int fcx = FieldChromaX(mvx), fcy = FieldChromaY(mvy);
    for (int y = 0; y < 24; ++y) {
      for (int x = 0; x < 32; ++x) {
        const int old = uint8_t(x + 5 * y);
        int expected = old;
        const int cx0 = x0 / 2, cy0 = y0 / 2;
        const bool inBlock = x >= cx0 && x < cx0 + 8 && y >= cy0 && y < cy0 + 8;
        const bool selected = c.variant == 0 || (c.variant == 1 && (y - cy0) % 2 == c.which) ||
                              (c.variant == 2 && (y - cy0) / 4 == c.which);
        if (inBlock && selected) {
          int p;
          if (c.variant == 1) {
            const int row = cy0 + c.which + 2 * ((y - cy0) / 2) + 2 * (fcy >> 2);
            p = HalfAverage(reference.uOrigin, reference.chromaStride, x + (fcx >> 1), row, fcx & 1,
                            (fcy >> 1) & 1, 2);
          } else {
            p = HalfAverage(reference.uOrigin, reference.chromaStride, x + (cmx >> 1), y + (cmy >> 1),
                            cmx & 1, cmy & 1, 1);
          }
          expected = c.average ? (old + p + 1) >> 1 : p;
        }
        ASSERT_EQ(int(current.uOrigin[y * current.chromaStride + x]), expected) << name << " U at " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace tlx::mpeg4

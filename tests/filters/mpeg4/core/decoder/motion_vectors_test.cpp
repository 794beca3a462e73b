// Motion-vector arithmetic and the vector state: component decoding against
// the code tables, the predictor and chroma rules, and the candidates of one-
// and four-vector macroblocks.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filters/mpeg4/core/dsp.h"
#include "filters/mpeg4/core/motion_vectors.h"
#include "filters/mpeg4/core/picture.h"
#include "filters/mpeg4/support/bit_writer.h"

namespace tlx::mpeg4 {
namespace {

using test::BitWriter;
using test::WriteVectorDifference;

struct Reader {
  std::vector<uint8_t> bytes;
  BitReader reader;
  explicit Reader(const BitWriter& writer) : bytes(writer.bytes()) {
    bytes.resize(bytes.size() + 8, 0);
    BitReaderInit(reader, bytes.data(), 0, bytes.data() + bytes.size());
  }
  uint64_t consumed() const { return BitPositionBits(reader) - 8 * reinterpret_cast<uintptr_t>(bytes.data()); }
};

// The range wrap written out: the sum moved by whole periods into the range.
int32_t Wrapped(int32_t sum, uint32_t rSize) {
  const int32_t low = 32 << rSize;
  while (sum < -low) sum += 2 * low;
  while (sum >= low) sum -= 2 * low;
  return sum;
}

TEST(VectorComponent, EveryCodeResidualAndSignRoundTrips) {
  std::mt19937 rng(5);
  for (uint32_t rSize = 0; rSize <= 6; ++rSize) {
    const int32_t limit = 32 << rSize;
    for (int32_t difference = -limit; difference <= limit; difference += (rSize < 2 ? 1 : 1 + int32_t(rng() % 7))) {
      const int32_t predictor = int32_t(rng() % uint32_t(2 * limit)) - limit;
      BitWriter writer;
      WriteVectorDifference(writer, difference, rSize);
      const size_t bits = writer.bitCount();
      writer.Put(0xA5, 8);  // whatever follows is not read
      Reader r(writer);
      uint32_t status = 0;
      const int32_t value = DecodeVectorComponent(r.reader, rSize, predictor, status);
      ASSERT_EQ(status, 0u);
      ASSERT_EQ(r.consumed(), bits) << "difference " << difference << " r_size " << rSize;
      ASSERT_EQ(value, Wrapped(predictor + difference, rSize)) << "difference " << difference << " r_size " << rSize;
    }
  }
}

TEST(VectorComponent, CasesOfTheRangeRules) {
  struct Case {
    const char* name;
    uint32_t rSize;
    int32_t predictor;
    int32_t difference;
    int32_t expected;
  } cases[] = {
      {"31 + 1 wraps to -32", 0, 31, 1, -32},
      {"-32 - 1 wraps to 31", 0, -32, -1, 31},
      {"r_size 2, code -3, residual 1 is -10", 2, 0, -10, -10},
      {"r_size 1 keeps 63", 1, 0, 63, 63},
      {"r_size 1 wraps 64 to -64", 1, 1, 63, -64},
  };
  for (const Case& c : cases) {
    BitWriter writer;
    WriteVectorDifference(writer, c.difference, c.rSize);
    Reader r(writer);
    uint32_t status = 0;
    EXPECT_EQ(DecodeVectorComponent(r.reader, c.rSize, c.predictor, status), c.expected) << c.name;
    EXPECT_EQ(status, 0u) << c.name;
  }
}

TEST(VectorComponent, InvalidCodeConsumesNothing) {
  for (uint32_t bits : {0x00000000u, 0x00100000u, 0x00080000u}) {
    BitWriter writer;
    writer.Put(bits, 32);
    Reader r(writer);
    uint32_t status = 0;
    EXPECT_EQ(DecodeVectorComponent(r.reader, 0, 7, status), 7);
    EXPECT_EQ(status, 0x100u);
    EXPECT_EQ(r.consumed(), 0u);
  }
}

TEST(VectorRules, ChromaAndPredictorCases) {
  const std::pair<int32_t, int32_t> one[] = {{3, 1}, {4, 2}, {-5, -3}, {0, 0}, {1, 1}, {-1, -1}, {2, 1}};
  for (auto [luma, chroma] : one) EXPECT_EQ(ChromaFromOneVector(luma), chroma) << luma;
  const std::pair<int32_t, int32_t> four[] = {{14, 2}, {16, 2}, {19, 3}, {-19, -3}, {2, 0}, {3, 1}, {30, 4}};
  for (auto [sum, chroma] : four) EXPECT_EQ(ChromaFromFourVectors(sum), chroma) << sum;

  const VectorEntry a{2, 5, 1, 0}, b{6, -1, 1, 0}, invalid{100, 100, 0, 0}, c{-3, 9, 1, 0};
  struct Case {
    const char* name;
    VectorEntry a, b, c;
    int32_t x, y;
  } cases[] = {
      {"none valid", invalid, invalid, invalid, 0, 0},
      {"one valid", invalid, c, invalid, -3, 9},
      {"two valid: the third counts as zero", a, b, invalid, 2, 0},
      {"three valid: the median", a, b, c, 2, 5},
  };
  for (const Case& t : cases) {
    const VectorEntry p = PredictVector(t.a, t.b, t.c);
    EXPECT_EQ(p.x, t.x) << t.name;
    EXPECT_EQ(p.y, t.y) << t.name;
    EXPECT_EQ(p.valid, 1) << t.name;
  }
}

// A state over two macroblock columns with real pictures to predict into.
struct VectorBench {
  DspTables tables;
  PlainPicture current;
  PlainPicture reference;
  MotionVectorState state;

  VectorBench() {
    InitDspTables(tables, PictureVariant::Plain);
    EXPECT_EQ(current.PictureAllocate(32, 32, 16, 16, kPlaneFormat420), 0u);
    EXPECT_EQ(reference.PictureAllocate(32, 32, 16, 16, kPlaneFormat420), 0u);
    EXPECT_EQ(AllocateMotionVectorRows(state, 2, 2), 0u);
    state.kernels = &tables.prediction;
    SetPictures(state, &current, &reference, nullptr);
  }
  ~VectorBench() { ReleaseMotionVectorRows(state); }
};

TEST(MotionVectorState, FourVectorsThenOneTakesTheTopRightBlockAsLeft) {
  VectorBench bench;
  BitWriter writer;
  // Macroblock 0, four vectors: top-left (2, 4) from a zero predictor;
  // top-right (6, -2) against predictor top-left; bottom-left (-4, 0)
  // against left (invalid), top-left, top-right = median((0,0),(2,4),(6,-2))
  // = (2, 0); bottom-right (2, 0), the median of (-4,0),(2,4),(6,-2), with a
  // zero difference.
  const int32_t differences[] = {2, 4, 4, -6, -6, 0, 0, 0};
  for (int32_t d : differences) WriteVectorDifference(writer, d, 0);
  // Macroblock 1, one vector with zero difference: its predictor is the
  // only valid candidate, the left macroblock's top-right vector.
  WriteVectorDifference(writer, 0, 0);
  WriteVectorDifference(writer, 0, 0);
  Reader r(writer);
  ResetMotionVectorRows(bench.state);
  ResetMotionVectorPredictors(bench.state);
  ASSERT_EQ(DecodeFourVectors(bench.state, r.reader, 0, 0), 0u);
  ASSERT_EQ(DecodeOneVector(bench.state, r.reader, 1, 0), 0u);
  const MacroblockVectorRecord& first = bench.state.records[0];
  EXPECT_EQ(first.mode, kVectorModeFour);
  const int32_t expected[4][2] = {{2, 4}, {6, -2}, {-4, 0}, {2, 0}};
  for (int b = 0; b < 4; ++b) {
    EXPECT_EQ(first.vectors[b][0], expected[b][0]) << "block " << b;
    EXPECT_EQ(first.vectors[b][1], expected[b][1]) << "block " << b;
  }
  const MacroblockVectorRecord& second = bench.state.records[1];
  EXPECT_EQ(second.mode, kVectorModeOne);
  for (const auto& v : second.vectors) {
    EXPECT_EQ(v[0], 6);
    EXPECT_EQ(v[1], -2);
  }
}

TEST(MotionVectorState, GrowsOnlyAndResetsTheRows) {
  MotionVectorState state;
  ASSERT_EQ(AllocateMotionVectorRows(state, 11, 9), 0u);
  EXPECT_EQ(state.row[-1].x, 23);  // the entry count in front of the row
  state.row[5] = VectorEntry{1, 2, 1, 0};
  ASSERT_EQ(AllocateMotionVectorRows(state, 22, 18), 0u);
  EXPECT_EQ(state.allocatedColumns, 22u);
  EXPECT_EQ(state.recordCapacity, 22u * 18u);
  const VectorEntry* wide = state.row;
  ASSERT_EQ(AllocateMotionVectorRows(state, 11, 9), 0u);
  EXPECT_EQ(state.row, wide);
  EXPECT_EQ(state.allocatedColumns, 22u);
  EXPECT_EQ(state.columns, 11u);
  for (uint32_t i = 0; i < 23; ++i) EXPECT_EQ(state.row[i].valid, 0);
  ReleaseMotionVectorRows(state);
}

}  // namespace
}  // namespace tlx::mpeg4

// Every slot of every variant kernel table against its plain twin, on random
// and edge-value input: the same bytes out, everywhere in the planes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "filters/mpeg4/core/dsp.h"
#include "filters/mpeg4/core/picture.h"

namespace tlx::mpeg4 {
namespace {

// Two pictures with the same random samples (borders and extra rows too).
struct PicturePair {
  PlainPicture plain;
  PlainPicture variant;

  explicit PicturePair(std::mt19937& rng) {
    EXPECT_EQ(plain.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
    EXPECT_EQ(variant.PictureAllocate(48, 32, 16, 16, kPlaneFormat420), 0u);
    for (uint32_t i = 0; i < plain.blockSize; ++i) plain.planeBuffer[i] = uint8_t(rng());
    std::memcpy(variant.planeBuffer, plain.planeBuffer, plain.blockSize);
  }
  bool Same() const { return std::memcmp(plain.planeBuffer, variant.planeBuffer, plain.blockSize) == 0; }
};

// Six coefficient blocks: random small values, full-range values, DC only or
// all zero, with shape words that cover them.
struct Coefficients {
  alignas(32) int16_t blocks[6][64] = {};
  uint32_t shapes[6] = {};

  Coefficients(std::mt19937& rng, int round) {
    constexpr uint32_t kFullShape = 0x1FFu | (0x7FFFu << 16);
    for (int b = 0; b < 6; ++b) {
      const int kind = (round + b) % 4;
      for (int i = 0; i < 64; ++i) {
        if (kind == 0) blocks[b][i] = int16_t(int(rng() % 129) - 64);
        if (kind == 1) blocks[b][i] = int16_t(int(rng() % 4096) - 2048);
      }
      if (kind == 2) blocks[b][0] = int16_t(int(rng() % 4096) - 2048);
      shapes[b] = kind == 2 ? 1 : kFullShape;
    }
  }
};

using SlotCheck = void (*)(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round);

struct Slot {
  const char* name;
  SlotCheck check;
};

// The inverse quantiser over 3000 coefficient lists spread over the rounds:
// every quantiser, every count, repeated positions (the later entry wins),
// and levels around the clamp and over the whole 32-bit range, written over
// random coefficients with a random starting shape word.
void CheckDequantise(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  using LevelSource = uint32_t (*)(std::mt19937&);
  const LevelSource sources[] = {
      [](std::mt19937& g) { return static_cast<uint32_t>(g() % 200); },
      [](std::mt19937& g) { return static_cast<uint32_t>(2 * 2040 + g() % 40); },
      [](std::mt19937& g) { return static_cast<uint32_t>(g()); },
  };
  for (int n = round; n < 3000; n += 40) {
    BlockDecoderState state;
    state.quantiser = 1 + n % 31;
    state.count = static_cast<uint32_t>(rng() % 65);
    const LevelSource source = sources[n % 3];
    for (uint32_t i = 0; i < 64; ++i) {
      state.level[i] = source(rng);
      state.position[i] = static_cast<uint32_t>(rng() % 64);
    }
    int16_t a[64], b[64];
    for (int16_t& v : a) v = static_cast<int16_t>(rng());
    std::copy(a, a + 64, b);
    const uint32_t start = static_cast<uint32_t>(rng()) & 0x7FFF01FF;
    const uint32_t plainShape = plain.block.dequantise(state, a, start);
    ASSERT_EQ(variant.block.dequantise(state, b, start), plainShape) << "list " << n;
    ASSERT_TRUE(std::equal(a, a + 64, b)) << "list " << n;
  }
}

void CheckPutIntraMacroblock(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  PicturePair pictures(rng);
  Coefficients a(rng, round);
  Coefficients b = a;
  const int x = 16 * int(rng() % 3), y = 16 * int(rng() % 2), field = round & 1;
  plain.block.putIntraMacroblock(pictures.plain.Planes(), a.blocks, x, y, field, a.shapes);
  variant.block.putIntraMacroblock(pictures.variant.Planes(), b.blocks, x, y, field, b.shapes);
  EXPECT_TRUE(pictures.Same());
  EXPECT_EQ(std::memcmp(a.blocks, b.blocks, sizeof(a.blocks)), 0);
}

void CheckAddInterMacroblock(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  PicturePair pictures(rng);
  Coefficients a(rng, round);
  Coefficients b = a;
  const int x = 16 * int(rng() % 3), y = 16 * int(rng() % 2), field = round & 1;
  const uint32_t coded = (rng() & 0x3F) << 6;
  plain.block.addInterMacroblock(pictures.plain.Planes(), a.blocks, x, y, field, coded, a.shapes);
  variant.block.addInterMacroblock(pictures.variant.Planes(), b.blocks, x, y, field, coded, b.shapes);
  EXPECT_TRUE(pictures.Same());
  EXPECT_EQ(std::memcmp(a.blocks, b.blocks, sizeof(a.blocks)), 0);
}

void CheckPadBorders(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int) {
  PicturePair pictures(rng);
  plain.prediction.padBorders(pictures.plain.Planes());
  variant.prediction.padBorders(pictures.variant.Planes());
  EXPECT_TRUE(pictures.Same());
}

void CheckCopyMacroblock(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int) {
  PicturePair destinations(rng);
  PicturePair sources(rng);
  const int x = 16 * int(rng() % 3), y = 16 * int(rng() % 2);
  plain.prediction.copyMacroblock(destinations.plain.Planes(), sources.plain.Planes(), x, y);
  variant.prediction.copyMacroblock(destinations.variant.Planes(), sources.variant.Planes(), x, y);
  EXPECT_TRUE(destinations.Same());
}

// Every kernel of a half-sample table (n kernels in a row), over a 17x17
// source window with random or extreme samples, into a random destination.
void CheckHalfSampleKernels(const HalfSampleKernel* plain, const HalfSampleKernel* variant, size_t n, int width,
                            std::mt19937& rng, int round) {
  constexpr int kStride = 40;
  uint8_t source[kStride * 20];
  for (uint8_t& sample : source) sample = round % 3 == 0 ? uint8_t(rng()) : uint8_t((rng() & 1) * 255);
  for (size_t k = 0; k < n; ++k) {
    uint8_t a[kStride * 18], b[kStride * 18];
    for (size_t i = 0; i < sizeof(a); ++i) a[i] = b[i] = uint8_t(rng());
    const int rows = round % 2 == 0 ? width : width / 2;
    const ptrdiff_t dstStride = round % 4 < 2 ? kStride : kStride / 2;
    plain[k](a, dstStride, source, kStride / 2, rows);
    variant[k](b, dstStride, source, kStride / 2, rows);
    EXPECT_EQ(std::memcmp(a, b, sizeof(a)), 0) << "kernel " << k;
  }
}

void CheckHalfSample16(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  CheckHalfSampleKernels(&plain.prediction.halfSample16[0][0], &variant.prediction.halfSample16[0][0], 8, 16, rng,
                         round);
}

void CheckHalfSample8(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  CheckHalfSampleKernels(&plain.prediction.halfSample8[0][0], &variant.prediction.halfSample8[0][0], 8, 8, rng, round);
}

void CheckAverageHalfSample16(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  CheckHalfSampleKernels(plain.prediction.averageHalfSample16, variant.prediction.averageHalfSample16, 4, 16, rng,
                         round);
}

void CheckAverageHalfSample8(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  CheckHalfSampleKernels(plain.prediction.averageHalfSample8, variant.prediction.averageHalfSample8, 4, 8, rng, round);
}

void CheckQuarterSample(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  const QuarterSampleKernels& p = plain.prediction.quarterSample;
  const QuarterSampleKernels& v = variant.prediction.quarterSample;
  CheckHalfSampleKernels(&p.put16[0][0], &v.put16[0][0], 32, 16, rng, round);
  CheckHalfSampleKernels(&p.put8[0][0], &v.put8[0][0], 32, 8, rng, round);
  CheckHalfSampleKernels(p.average16, v.average16, 16, 16, rng, round);
  CheckHalfSampleKernels(p.average8, v.average8, 16, 8, rng, round);
}

// YUY2 packing of random planes at every width 1-40 and height 1-5, into a
// poisoned buffer with positive and negative strides.
void CheckPackYuy2(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  PicturePair pictures(rng);
  const Picture& p = pictures.plain;
  const int width = 1 + round % 40, height = 1 + round % 5;
  const ptrdiff_t pitch = 2 * width + 3;
  std::vector<uint8_t> a(size_t(pitch * (height + 2)), 0xE1), b = a;
  const bool upward = round % 2 == 1;
  const ptrdiff_t offset = upward ? pitch * height : pitch;
  const ptrdiff_t stride = upward ? -pitch : pitch;
  plain.output.packYuy2(p.yOrigin, p.uOrigin, p.vOrigin, a.data() + offset, width, height, stride, p.lumaStride);
  variant.output.packYuy2(p.yOrigin, p.uOrigin, p.vOrigin, b.data() + offset, width, height, stride, p.lumaStride);
  EXPECT_EQ(a, b);
}

// The edge filter through the whole-plane walk of the post-filter, over 60
// pictures spread over the rounds: 8x8 blocks of a base level plus noise with
// steps of a few levels between blocks, so both filter modes fire, luma and
// chroma macroblock sizes, and quantisers 1, 31 and between.
void CheckDeblockEdge(const DspTables& plain, const DspTables& variant, std::mt19937& rng, int round) {
  for (int n = round; n < 60; n += 40) {
    const int macroblockSize = n % 3 == 0 ? 8 : 16;
    const int width = macroblockSize * (1 + int(rng() % 4)), height = macroblockSize * (1 + int(rng() % 3));
    const int noise = n % 5;
    const int levelColumns = width / 8 + 1;
    std::vector<int> levels(size_t(levelColumns * (height / 8 + 1)));
    for (int& level : levels) level = 20 + int(rng() % 200);
    std::vector<uint8_t> source(size_t(width * height));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const int level = levels[size_t((y / 8) * levelColumns + x / 8)];
        const int base = rng() % 4 == 0 ? level : level % 40 + 100;
        source[size_t(y * width + x)] =
            uint8_t(std::clamp(base + int(rng() % uint32_t(2 * noise + 1)) - noise, 0, 255));
      }
    }
    std::vector<uint8_t> map(size_t((width / macroblockSize) * (height / macroblockSize)));
    for (uint8_t& qp : map) {
      const uint32_t pick = rng() % 4;
      qp = pick == 0 ? 1 : pick == 1 ? 31 : uint8_t(1 + rng() % 31);
    }
    const auto filter = [&](DeblockEdgeKernel kernel) {
      std::vector<uint8_t> out(source.size(), 0xCD);
      DeblockPlane(kernel, out.data(), width, source.data(), width, width, height, map.data(), width / macroblockSize,
                   macroblockSize, kDeblockThreshold1, kDeblockThreshold2);
      return out;
    };
    ASSERT_EQ(filter(plain.output.deblockEdge), filter(variant.output.deblockEdge)) << "picture " << n;
  }
}

constexpr Slot kBlockSlots[] = {{"dequantise", CheckDequantise},
                                {"putIntraMacroblock", CheckPutIntraMacroblock},
                                {"addInterMacroblock", CheckAddInterMacroblock}};
constexpr Slot kPredictionSlots[] = {{"padBorders", CheckPadBorders},
                                     {"copyMacroblock", CheckCopyMacroblock},
                                     {"halfSample16", CheckHalfSample16},
                                     {"halfSample8", CheckHalfSample8},
                                     {"averageHalfSample16", CheckAverageHalfSample16},
                                     {"averageHalfSample8", CheckAverageHalfSample8},
                                     {"quarterSample", CheckQuarterSample}};
constexpr Slot kOutputSlots[] = {{"packYuy2", CheckPackYuy2}, {"deblockEdge", CheckDeblockEdge}};
// The arrays of kernels are checked slot by slot inside their checks: the
// slots beyond the first of each array.
constexpr size_t kArraySlots = 2 * (2 * 4 - 1) + 2 * (4 - 1) + (2 * 2 * 16 + 2 * 16 - 1);

// A slot added to a table needs its check here.
static_assert(sizeof(BlockKernels) == std::size(kBlockSlots) * sizeof(void*));
static_assert(sizeof(PredictionKernels) == (std::size(kPredictionSlots) + kArraySlots) * sizeof(void*));
static_assert(sizeof(OutputKernels) == std::size(kOutputSlots) * sizeof(void*));
static_assert(sizeof(DspTables) == sizeof(BlockKernels) + sizeof(PredictionKernels) + sizeof(OutputKernels));

TEST(DspTables, EveryVariantSlotGivesThePlainBytes) {
  DspTables plain;
  InitDspTables(plain, PictureVariant::Plain);
  for (PictureVariant variantKind : {PictureVariant::Simd}) {
    DspTables variant;
    InitDspTables(variant, variantKind);
    std::mt19937 rng(20261210);
    for (std::span<const Slot> slots : {std::span<const Slot>(kBlockSlots), std::span<const Slot>(kPredictionSlots),
                                        std::span<const Slot>(kOutputSlots)}) {
      for (const Slot& slot : slots) {
        for (int round = 0; round < 40; ++round) {
          SCOPED_TRACE(testing::Message() << slot.name << " round " << round);
          slot.check(plain, variant, rng, round);
        }
      }
    }
  }
}

}  // namespace
}  // namespace tlx::mpeg4

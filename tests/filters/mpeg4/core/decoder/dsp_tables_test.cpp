// Every slot of every variant kernel table against its plain twin, on random
// and edge-value input: the same bytes out, everywhere in the planes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "dsp.h"
#include "picture.h"

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

constexpr Slot kBlockSlots[] = {{"putIntraMacroblock", CheckPutIntraMacroblock},
                                {"addInterMacroblock", CheckAddInterMacroblock}};
constexpr Slot kPredictionSlots[] = {{"padBorders", CheckPadBorders}, {"copyMacroblock", CheckCopyMacroblock}};

// A slot added to a table needs its check here.
static_assert(sizeof(BlockKernels) == std::size(kBlockSlots) * sizeof(void*));
static_assert(sizeof(PredictionKernels) == std::size(kPredictionSlots) * sizeof(void*));
static_assert(sizeof(DspTables) == sizeof(BlockKernels) + sizeof(PredictionKernels));

TEST(DspTables, EveryVariantSlotGivesThePlainBytes) {
  DspTables plain;
  InitDspTables(plain, PictureVariant::Plain);
  for (PictureVariant variantKind : {PictureVariant::Simd}) {
    DspTables variant;
    InitDspTables(variant, variantKind);
    std::mt19937 rng(20261210);
    for (const auto* slots : {&kBlockSlots, &kPredictionSlots}) {
      for (const Slot& slot : *slots) {
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

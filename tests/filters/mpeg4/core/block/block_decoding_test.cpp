// Block syntax cases: the boundaries and errors of coefficient, DC and
// macroblock-code decoding (what is decoded, the status bit, and how many
// bits are consumed, which must be none for a failing code), and the inverse
// quantiser against its formula.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/core/block/block_decoding.h"
#include "filters/mpeg4/core/block/coefficient_decoder.h"
#include "filters/mpeg4/core/block/idct.h"
#include "filters/mpeg4/core/macroblock_header.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/support/guarded_block.h"
#include "vlc_writer.h"

namespace tlx::mpeg4 {
namespace {

using test::BitWriter;
using test::TestStream;

// Everything a case can look at.
struct Bench {
  BlockDecoderState state;
  Mpeg4Decoder decoder;
  alignas(32) int16_t blocks[6][64] = {};
  uint32_t shapes[6] = {};
  Bench() {
    BlockDecoderReset(state);
    BlockDecoderAllocate(state, 2);
    ResetPredictorRows(state);
    ResetDcPredictors(state);
  }
  ~Bench() { BlockDecoderRelease(state); }
};

// last, run and signed level of each listed event.
std::vector<int32_t> Events(const BlockDecoderState& s) {
  std::vector<int32_t> out;
  for (const test::Event& e : test::DecodedEvents(s))
    out.insert(out.end(), {static_cast<int32_t>(e.last), static_cast<int32_t>(e.run), e.level});
  return out;
}

const uint8_t* const kRaster = test::kRasterScan.data();

using Action = std::function<std::vector<int32_t>(Bench&, BitReader&)>;

Action Coefficients(bool intra) {
  return [intra](Bench& b, BitReader& r) {
    DecodeCoefficients(b.state, r, intra, 0, kRaster);
    return Events(b.state);
  };
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(BlockSyntax, Cases) {
  struct Case {
    const char* name;
    std::string bits;
    Action action;
    uint32_t status;
    uint64_t consumed;
    std::vector<int32_t> values;
  };
  const Case cases[] = {
      // Coefficient events (values: last, run, level per event).
      {"intra 10s is run 0 level 1", "100 01110", Coefficients(true), 0, 8, {0, 0, 1, 1, 0, 1}},
      {"inter 110s is run 1 level 1", "1100 01110", Coefficients(false), 0, 9, {0, 1, 1, 1, 0, 1}},
      {"intra 110s is run 0 level 2", "1100 01110", Coefficients(true), 0, 9, {0, 0, 2, 1, 0, 1}},
      {"level-offset escape adds the intra limit 27", "0000011 0 100 01110", Coefficients(true), 0, 16,
       {0, 0, 28, 1, 0, 1}},
      {"run-offset escape of an inter last event adds 41", "0000011 10 01110", Coefficients(false), 0, 14,
       {1, 41, 1}},
      {"fixed-length escape carries a 12-bit level", "0000011 11 1 000010 1 100000000000 1", Coefficients(false),
       0, 30, {1, 2, -2048}},
      {"fixed-length escape with a zero marker after the run", "0000011 11 1 000000 0 000000000001 1",
       Coefficients(false), 0x10, 0, {}},
      {"fixed-length escape with a zero final marker", "0000011 11 1 000000 1 000000000001 0",
       Coefficients(false), 0x10, 0, {}},
      {"code not in the table", "0000 0000 0000 1", Coefficients(false), 0x20, 0, {}},
      {"64 events of run 0 fill the block", Repeat("100", 63) + "01110", Coefficients(false), 0, 63 * 3 + 5,
       [] {
         std::vector<int32_t> v;
         for (int i = 0; i < 63; ++i) v.insert(v.end(), {0, 0, 1});
         v.insert(v.end(), {1, 0, 1});
         return v;
       }()},
      {"a 65th event sets 0x40 and is not consumed", Repeat("100", 65),
       [](Bench& b, BitReader& r) {
         DecodeCoefficients(b.state, r, false, 0, kRaster);
         return std::vector<int32_t>{static_cast<int32_t>(b.state.count)};
       },
       0x40, 64 * 3, {0}},
      {"short-header escape with an 8-bit level", "0000011 1 000011 10000000",
       [](Bench& b, BitReader& r) {
         DecodeShortHeaderCoefficients(b.state, r, false, 0, kRaster);
         return Events(b.state);
       },
       0, 22, {1, 3, -128}},
      {"reversible escape", "00001 1 000101 1 00000000011 1 0000 1",
       [](Bench& b, BitReader& r) {
         DecodeReversibleCoefficients(b.state, r, true, 0, kRaster);
         return Events(b.state);
       },
       0, 30, {1, 5, -3}},
      {"reversible escape with its second marker 0", "00001 1 000101 1 00000000011 0 0000 1",
       [](Bench& b, BitReader& r) {
         DecodeReversibleCoefficients(b.state, r, true, 0, kRaster);
         return std::vector<int32_t>{};
       },
       0x10, 0, {}},
      {"reversible escape without its 1", "00000 1 000101 1 00000000011 1 0000 1",
       [](Bench& b, BitReader& r) {
         DecodeReversibleCoefficients(b.state, r, true, 0, kRaster);
         return std::vector<int32_t>{};
       },
       0x10, 0, {}},

      // Intra DC (values: the DC word).
      {"DC size 9 with a zero marker", "00000001 100000000 0",
       [](Bench& b, BitReader& r) {
         DecodeIntraDc(b.state, r, 0);
         return std::vector<int32_t>{};
       },
       0x10, 0, {}},
      {"chroma DC size 12 is 0000 0000 0001", "000000000001 100000000000 1",
       [](Bench& b, BitReader& r) {
         DecodeIntraDc(b.state, r, 4);
         return std::vector<int32_t>{b.state.dc};
       },
       0, 25, {2048}},
      {"negative DC differential", "10 01",
       [](Bench& b, BitReader& r) {
         DecodeIntraDc(b.state, r, 0);
         return std::vector<int32_t>{b.state.dc};
       },
       0, 4, {-2}},
      {"invalid DC size code", "00000000000 1",
       [](Bench& b, BitReader& r) {
         b.state.dc = 77;
         DecodeIntraDc(b.state, r, 0);
         return std::vector<int32_t>{b.state.dc};
       },
       0x100, 0, {77}},
      {"short-header INTRADC 255 and 8", "11111111 00001000",
       [](Bench& b, BitReader& r) {
         DecodeShortHeaderIntraDc(b.state, r);
         const int32_t first = b.state.dc;
         DecodeShortHeaderIntraDc(b.state, r);
         return std::vector<int32_t>{first, b.state.dc};
       },
       0, 16, {1024, 64}},

      // The DC as the first event (values: returned flag, DC word).
      {"first event of run 0 is the DC", "0000011 0 100",
       [](Bench& b, BitReader& r) {
         const uint32_t last = DecodeFirstIntraCoefficient(b.state, r);
         return std::vector<int32_t>{static_cast<int32_t>(last), b.state.dc};
       },
       0, 11, {0, 28}},
      {"first event of a longer run is left in the stream", "001110",
       [](Bench& b, BitReader& r) {
         const uint32_t last = DecodeFirstIntraCoefficient(b.state, r);
         return std::vector<int32_t>{static_cast<int32_t>(last), b.state.dc};
       },
       0, 0, {0, 0}},
      {"run-offset escape is never the DC", "0000011 10 100",
       [](Bench& b, BitReader& r) {
         const uint32_t last = DecodeFirstIntraCoefficient(b.state, r);
         return std::vector<int32_t>{static_cast<int32_t>(last)};
       },
       0, 0, {0}},
      {"fixed-length first event with a missing marker", "0000011 11 1 000000 0 000000000001 1",
       [](Bench& b, BitReader& r) {
         const uint32_t last = DecodeFirstIntraCoefficient(b.state, r);
         return std::vector<int32_t>{static_cast<int32_t>(last)};
       },
       0x10, 0, {1}},
      {"reversible first event as the DC", "00001 1 000000 1 00000000101 1 0000 1",
       [](Bench& b, BitReader& r) {
         SetReversibleVlc(b.state, true);
         const uint32_t last = DecodeIntraDcAsCoefficient(b.state, r);
         return std::vector<int32_t>{static_cast<int32_t>(last), b.state.dc};
       },
       0, 30, {1, -5}},

      // Macroblock codes (values: flags, chroma pattern, pattern word).
      {"stuffing is consumed and the header read again", "000000001 0001",
       [](Bench& b, BitReader& r) {
         b.decoder.mb.flags = 0xFF;
         DecodeMcbpc(b.decoder, r);
         const int32_t after = static_cast<int32_t>(b.decoder.mb.flags);
         DecodeMcbpc(b.decoder, r);
         return std::vector<int32_t>{after, static_cast<int32_t>(b.decoder.mb.flags),
                                     static_cast<int32_t>(b.decoder.mb.chromaPattern)};
       },
       0, 13, {0, 0xC, 0}},
      {"intra MCBPC sets the chroma bits", "011",
       [](Bench& b, BitReader& r) {
         b.decoder.mb.codedBlockPattern = 0xF00;
         DecodeMcbpc(b.decoder, r);
         return std::vector<int32_t>{static_cast<int32_t>(b.decoder.mb.flags),
                                     static_cast<int32_t>(b.decoder.mb.chromaPattern),
                                     static_cast<int32_t>(b.decoder.mb.codedBlockPattern)};
       },
       0, 3, {4, 3, 0xFC0}},
      {"invalid MCBPC", "000000000 1",
       [](Bench& b, BitReader& r) {
         DecodeMcbpc(b.decoder, r);
         return std::vector<int32_t>{};
       },
       0x100, 0, {}},
      {"MCBPC outside an I-VOP", "1",
       [](Bench& b, BitReader& r) {
         b.decoder.stream.vop.codingType = kVopB;
         DecodeMcbpc(b.decoder, r);
         return std::vector<int32_t>{};
       },
       0x2, 0, {}},
      {"CBPY of an intra macroblock", "0010 1",
       [](Bench& b, BitReader& r) {
         b.decoder.mb.flags = kMbIntra;
         b.decoder.mb.codedBlockPattern = 0xC0;
         DecodeCbpy(b.decoder, r);
         return std::vector<int32_t>{static_cast<int32_t>(b.decoder.mb.codedBlockPattern)};
       },
       0, 5, {0x1C0}},
      {"CBPY of a non-intra macroblock is inverted", "0010 1",
       [](Bench& b, BitReader& r) {
         b.decoder.mb.flags = kMbInter;
         DecodeCbpy(b.decoder, r);
         return std::vector<int32_t>{static_cast<int32_t>(b.decoder.mb.codedBlockPattern)};
       },
       0, 5, {0xE00}},
      {"invalid CBPY", "000000",
       [](Bench& b, BitReader& r) {
         DecodeCbpy(b.decoder, r);
         return std::vector<int32_t>{};
       },
       0x100, 0, {}},

      // Inverse quantisation (values: the coefficients at positions 1, 2, 3).
      {"magnitude 2047 at q 31 saturates to 2047 and -2048", "",
       [](Bench& b, BitReader&) {
         b.state.quantiser = 31;
         b.state.count = 3;
         const uint32_t levels[3] = {2047 * 2, 2047 * 2 + 1, 2048 * 2 + 1};
         for (uint32_t i = 0; i < 3; ++i) {
           b.state.level[i] = levels[i];
           b.state.position[i] = i + 1;
         }
         DequantiseBlock(b.state, b.blocks[0], 1);
         return std::vector<int32_t>{b.blocks[0][1], b.blocks[0][2], b.blocks[0][3]};
       },
       0, 0, {2047, -2048, -2048}},
      {"even q subtracts 1, odd q does not", "",
       [](Bench& b, BitReader&) {
         b.state.count = 1;
         b.state.level[0] = 2 * 3 + 1;
         b.state.position[0] = 1;
         b.state.quantiser = 4;
         DequantiseBlock(b.state, b.blocks[0], 1);
         const int32_t even = b.blocks[0][1];
         b.state.quantiser = 5;
         DequantiseBlock(b.state, b.blocks[0], 1);
         return std::vector<int32_t>{even, b.blocks[0][1]};
       },
       0, 0, {-27, -35}},

      // Intra macroblocks (values: DC and coefficients written, shapes).
      {"uncoded intra blocks still get their predicted DC", "011 011 011 011 11 11",
       [](Bench& b, BitReader& r) {
         DecodeIntraMacroblock(b.state, r, b.blocks, b.shapes, 4, 0, 1, 0, 0);
         return std::vector<int32_t>{b.blocks[0][0], static_cast<int32_t>(b.shapes[0]), b.blocks[5][0],
                                     static_cast<int32_t>(b.shapes[5])};
       },
       0, 16, {1024, 1, 1024, 1}},
      {"DC as first event with run 2: DC 0, the event at scan index 2", "001110 0",
       [](Bench& b, BitReader& r) {
         DecodeIntraMacroblock(b.state, r, b.blocks, b.shapes, 4, 0x800, 0, 0, 0);
         return std::vector<int32_t>{b.blocks[0][0], b.blocks[0][8], static_cast<int32_t>(b.shapes[0])};
       },
       0, 7, {1024, 11, 0x9}},
      {"an error zeroes all six blocks", "011 011 011 00000000000",
       [](Bench& b, BitReader& r) {
         const uint32_t status = DecodeIntraMacroblock(b.state, r, b.blocks, b.shapes, 4, 0, 1, 0, 0);
         int32_t nonZero = 0;
         for (auto& block : b.blocks) nonZero += static_cast<int32_t>(std::count_if(block, block + 64, [](int16_t v) { return v != 0; }));
         return std::vector<int32_t>{static_cast<int32_t>(status), nonZero};
       },
       0x100, 9, {0x100, 0}},
      {"quantiser 0 is flagged, not divided by", "011 011 011 011 11 11",
       [](Bench& b, BitReader& r) {
         const uint32_t status = DecodeIntraMacroblock(b.state, r, b.blocks, b.shapes, 0, 0, 1, 1, 0);
         return std::vector<int32_t>{static_cast<int32_t>(status), b.blocks[0][0]};
       },
       0x4000, 16, {0x4000, 0}},
      {"short-header intra macroblock", "00001000 100 01110 11111111 11111111 11111111 11111111 11111111",
       [](Bench& b, BitReader& r) {
         DecodeShortHeaderIntraMacroblock(b.state, r, b.blocks, b.shapes, 3, 0x800);
         return std::vector<int32_t>{b.blocks[0][0], b.blocks[0][1], b.blocks[0][8], b.blocks[1][0],
                                     static_cast<int32_t>(b.shapes[0])};
       },
       0, 56, {64, 9, 9, 1024, 0xB}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bench bench;
    BitWriter writer;
    writer.Put(c.bits);
    TestStream stream(writer);
    const std::vector<int32_t> values = c.action(bench, stream.reader);
    EXPECT_EQ(bench.state.status | bench.decoder.status, c.status);
    EXPECT_EQ(stream.consumed(), c.consumed);
    EXPECT_EQ(values, c.values);
  }
}

TEST(BlockSyntax, DequantiseBlockFollowsTheFormula) {
  std::mt19937 rng(201);
  std::uniform_int_distribution<int> q(1, 31), magnitude(0, 2600), count(0, 64), sign(0, 1);
  for (int n = 0; n < 2000; ++n) {
    BlockDecoderState state;
    state.quantiser = q(rng);
    std::vector<uint32_t> positions(64);
    for (uint32_t i = 0; i < 64; ++i) positions[i] = i;
    std::shuffle(positions.begin(), positions.end(), rng);
    state.count = static_cast<uint32_t>(count(rng));
    for (uint32_t i = 0; i < state.count; ++i) {
      state.level[i] = static_cast<uint32_t>(magnitude(rng)) * 2 + static_cast<uint32_t>(sign(rng));
      state.position[i] = positions[i];
    }
    int16_t block[64];
    std::fill(block, block + 64, int16_t{7});
    const uint32_t shape = DequantiseBlock(state, block, 1);

    uint32_t wantShape = 1;
    int16_t want[64];
    std::fill(want, want + 64, int16_t{7});
    for (uint32_t i = 0; i < state.count; ++i) {
      const int64_t m = state.level[i] >> 1;
      const int64_t qq = state.quantiser;
      int64_t r = qq * (2 * m + 1) - (qq % 2 == 0 ? 1 : 0);
      if (state.level[i] & 1) r = -r;
      want[state.position[i]] = static_cast<int16_t>(std::clamp<int64_t>(r, -2048, 2047));
      wantShape |= test::ShapeBit(static_cast<int>(state.position[i]));
    }
    ASSERT_TRUE(std::equal(block, block + 64, want)) << "case " << n;
    ASSERT_EQ(shape, wantShape) << "case " << n;
  }
}

// The SSE2 inverse quantiser touches only the plain one's window: the 64
// coefficients placed flush against an inaccessible page before and after
// them, and the decoder state flush against one after it, for every count.
TEST(BlockSyntax, DequantiseBlockSse2TouchesOnlyThePlainWindow) {
  std::mt19937 rng(12);
  test::GuardedBlock stateMemory(sizeof(BlockDecoderState));
  BlockDecoderState& state = *new (stateMemory.Tail(sizeof(BlockDecoderState))) BlockDecoderState;
  for (uint32_t count = 0; count <= 64; ++count) {
    state.quantiser = 1 + count % 31;
    state.count = count;
    for (uint32_t i = 0; i < count; ++i) {
      state.level[i] = static_cast<uint32_t>(rng() % 4200);
      state.position[i] = static_cast<uint32_t>(rng() % 64);
    }
    for (bool flushAfter : {false, true}) {
      test::GuardedBlock blockMemory(64 * sizeof(int16_t));
      int16_t* simd = reinterpret_cast<int16_t*>(flushAfter ? blockMemory.Tail(64 * sizeof(int16_t)) : blockMemory.Head());
      int16_t plain[64] = {};
      std::fill(simd, simd + 64, int16_t{0});
      const uint32_t plainShape = DequantiseBlock(state, plain, 0);
      ASSERT_EQ(DequantiseBlockSse2(state, simd, 0), plainShape) << "count " << count;
      ASSERT_TRUE(std::equal(plain, plain + 64, simd)) << "count " << count;
    }
  }
  state.~BlockDecoderState();
}

// Random bytes as macroblock data: decoding ends, and what a clean decode
// leaves is what the inverse DCT relies on: coefficients in -2048..2047,
// every non-zero one covered by its block's shape word, and nothing left in
// the blocks once they are reconstructed. A damaged macroblock leaves them
// zero.
TEST(BlockSyntax, RandomDataKeepsTheBlockContract) {
  std::mt19937 rng(1201);
  std::uniform_int_distribution<int> byte(0, 255), flag(0, 1), q(1, 31), pattern(0, 63);
  int clean = 0;
  for (int n = 0; n < 3000; ++n) {
    Bench bench;
    std::vector<uint8_t> data(64 + n % 64);
    for (uint8_t& d : data) d = static_cast<uint8_t>(byte(rng));
    BitReader reader;
    BitReaderInit(reader, data.data(), 0, data.data() + data.size());
    const bool shortHeader = n % 5 == 0;
    SetReversibleVlc(bench.state, false);
    const uint32_t status =
        shortHeader ? DecodeShortHeaderIntraMacroblock(bench.state, reader, bench.blocks, bench.shapes, q(rng),
                                                       static_cast<uint32_t>(pattern(rng)) << 6)
                    : DecodeIntraMacroblock(bench.state, reader, bench.blocks, bench.shapes, q(rng),
                                            static_cast<uint32_t>(pattern(rng)) << 6, flag(rng), flag(rng), 1);
    for (int b = 0; b < 6; ++b) {
      for (int p = 0; p < 64; ++p) {
        const int16_t v = bench.blocks[b][p];
        if (status != 0) {
          ASSERT_EQ(v, 0) << "case " << n;
          continue;
        }
        ASSERT_GE(v, -2048);
        ASSERT_LE(v, 2047);
        ASSERT_TRUE(v == 0 || (bench.shapes[b] & test::ShapeBit(p))) << "case " << n << " block " << b << " at " << p;
      }
      if (status != 0) continue;
      uint8_t area[64];
      IdctDispatchPut(bench.blocks[b], area, 8, bench.shapes[b]);
      ASSERT_TRUE(std::all_of(bench.blocks[b], bench.blocks[b] + 64, [](int16_t v) { return v == 0; }));
    }
    clean += status == 0;
  }
  EXPECT_GT(clean, 100) << "too few random macroblocks decoded cleanly to show anything";
}

}  // namespace
}  // namespace tlx::mpeg4

// Coefficient and DC decoding: a round trip of random event lists through a
// test-side encoder reaching every code of every list and every escape form
// (the inter ones also inverse quantised on the way), and the error and
// boundary cases of the syntax.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/core/block/block_decoding.h"
#include "filters/mpeg4/core/block/coefficient_decoder.h"
#include "filters/mpeg4/core/block/coefficient_tables.h"
#include "vlc_writer.h"

namespace tlx::mpeg4 {
namespace {

using test::BitWriter;
using test::BlockEncoder;
using test::Event;
using test::Syntax;
using test::TestStream;

// Every code of the list as an event, each also pushed out of the table
// through the level-offset and run-offset escapes, plus events only the
// fixed-length escape can carry.
std::vector<Event> TargetEvents(Syntax syntax, bool intra, std::mt19937& rng) {
  std::vector<CoefficientCode> list;
  if (syntax == Syntax::Reversible)
    list.assign((intra ? kIntraRvlc : kInterRvlc).begin(), (intra ? kIntraRvlc : kInterRvlc).end());
  else
    list.assign((intra ? kIntraTcoef : kInterTcoef).begin(), (intra ? kIntraTcoef : kInterTcoef).end());
  const EscapeLimits& limits = intra ? kIntraLimits : kInterLimits;
  std::uniform_int_distribution<int> sign(0, 1), run(0, 30);
  std::uniform_int_distribution<int> big(1, syntax == Syntax::ShortHeader ? 127 : 2047);
  std::vector<Event> events;
  auto add = [&](uint32_t last, uint32_t r, int32_t magnitude) {
    events.push_back({last, r, sign(rng) ? -magnitude : magnitude});
  };
  for (const CoefficientCode& c : list) {
    add(c.last, c.run, c.level);
    if (syntax == Syntax::Tcoef) {
      add(c.last, c.run, c.level + limits.maxLevel[c.last][c.run]);
      const uint32_t longer = c.run + limits.maxRun[c.last][c.level] + 1;
      if (longer < 63) add(c.last, longer, c.level);
    }
  }
  for (int i = 0; i < 200; ++i) add(i % 2, static_cast<uint32_t>(run(rng)), big(rng));
  if (syntax == Syntax::Tcoef) events.push_back({0, 0, -2048});
  if (syntax == Syntax::ShortHeader) events.push_back({0, 3, -128});
  return events;
}

// Packs the events into blocks of at most 64 positions, each ending with an
// event marked last, encodes them and decodes them back.
void RoundTrip(Syntax syntax, bool intra, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Event> targets = TargetEvents(syntax, intra, rng);
  std::shuffle(targets.begin(), targets.end(), rng);
  std::deque<Event> notLast, lastOnes;
  for (const Event& e : targets) (e.last ? lastOnes : notLast).push_back(e);

  const BlockEncoder encoder(syntax, intra);
  BitWriter writer;
  std::vector<std::vector<Event>> blocks;
  int forms[4] = {};
  std::uniform_int_distribution<int> length(1, 12);
  while (!notLast.empty() || !lastOnes.empty()) {
    std::vector<Event> block;
    uint32_t used = 0;
    const int wanted = length(rng);
    while (!notLast.empty() && static_cast<int>(block.size()) < wanted &&
           used + notLast.front().run + 1 <= (block.empty() ? 63u : 40u)) {
      used += notLast.front().run + 1;
      block.push_back(notLast.front());
      notLast.pop_front();
    }
    if (!lastOnes.empty() && used + lastOnes.front().run + 1 <= 64) {
      block.push_back(lastOnes.front());
      lastOnes.pop_front();
    } else {
      block.push_back({1, 0, 1});
    }
    for (const Event& e : block) ++forms[encoder.Put(writer, e)];
    blocks.push_back(block);
  }
  if (syntax == Syntax::Tcoef) {
    for (int f = 1; f <= 3; ++f) EXPECT_GT(forms[f], 0) << "escape form " << f << " not reached";
  } else {
    EXPECT_GT(forms[3], 0) << "escape not reached";
  }

  TestStream stream(writer);
  BlockDecoderState state;
  BlockDecoderReset(state);
  // The inter decoders that inverse quantise as they go read their own copy
  // of the stream and must give what the list gives through DequantiseBlock,
  // at every quantiser (odd and even).
  const auto direct = syntax == Syntax::Tcoef ? DecodeInterCoefficientsDequantised
                                              : DecodeShortHeaderInterCoefficientsDequantised;
  const bool checkDirect = !intra && syntax != Syntax::Reversible;
  TestStream directStream(writer);
  for (size_t b = 0; b < blocks.size(); ++b) {
    state.count = 0;
    switch (syntax) {
      case Syntax::Tcoef:
        DecodeCoefficients(state, stream.reader, intra, 0, test::kRasterScan.data());
        break;
      case Syntax::ShortHeader:
        DecodeShortHeaderCoefficients(state, stream.reader, intra, 0, test::kRasterScan.data());
        break;
      case Syntax::Reversible:
        SetReversibleVlc(state, true);
        DecodeBlockCoefficients(state, stream.reader, intra, 0, test::kRasterScan.data());
        break;
    }
    ASSERT_EQ(state.status, 0u) << "block " << b;
    ASSERT_EQ(test::DecodedEvents(state), blocks[b]) << "block " << b;
    if (!checkDirect) continue;
    state.quantiser = static_cast<int32_t>(1 + b % 31);
    int16_t expected[64] = {}, got[64] = {};
    const uint32_t expectedShape = DequantiseBlock(state, expected, 0);
    ASSERT_EQ(direct(state, directStream.reader, test::kRasterScan.data(), got), expectedShape) << "block " << b;
    ASSERT_EQ(state.status, 0u) << "block " << b;
    ASSERT_TRUE(std::equal(got, got + 64, expected)) << "block " << b << " quantiser " << state.quantiser;
  }
  EXPECT_EQ(stream.consumed(), writer.bitCount());
  if (checkDirect) EXPECT_EQ(directStream.consumed(), writer.bitCount());
}

TEST(CoefficientDecoder, RoundTripsEveryCodeAndEscape) {
  struct Run {
    const char* name;
    Syntax syntax;
    bool intra;
  };
  const Run runs[] = {{"inter", Syntax::Tcoef, false},
                      {"intra", Syntax::Tcoef, true},
                      {"short header", Syntax::ShortHeader, false},
                      {"inter reversible", Syntax::Reversible, false},
                      {"intra reversible", Syntax::Reversible, true}};
  for (const Run& run : runs) {
    SCOPED_TRACE(run.name);
    for (uint32_t seed : {1u, 2u, 3u}) RoundTrip(run.syntax, run.intra, seed);
  }
}

// A block cut after every byte: whole, it decodes clean; cut short, it fails,
// and the overrun is marked exactly when the bits consumed run past the cut.
TEST(CoefficientDecoder, MarksABlockThatRunsPastItsInput) {
  const std::vector<Event> block = {{0, 0, 1}, {0, 1, -2}, {0, 0, 300}, {0, 5, 1}, {0, 0, -1}, {1, 3, 1}};
  const BlockEncoder encoder(Syntax::Tcoef, false);
  BitWriter writer;
  for (const Event& e : block) encoder.Put(writer, e);
  const std::vector<uint8_t> whole = writer.bytes();
  for (size_t kept = 0; kept <= whole.size(); ++kept) {
    SCOPED_TRACE("bytes kept: " + std::to_string(kept));
    // Exactly the kept bytes, so a read beyond them is out of bounds.
    const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + kept);
    BitReader reader;
    BitReaderInit(reader, bytes.data(), 0, bytes.data() + bytes.size());
    BlockDecoderState state;
    BlockDecoderReset(state);
    state.count = 0;
    DecodeCoefficients(state, reader, false, 0, test::kRasterScan.data());
    const uint64_t consumed = BitPositionBits(reader) - 8 * reinterpret_cast<uintptr_t>(bytes.data());
    if (8 * kept >= writer.bitCount()) {
      EXPECT_EQ(state.status | reader.status, 0u);
      EXPECT_EQ(test::DecodedEvents(state), block);
      continue;
    }
    EXPECT_NE(state.status | reader.status, 0u);
    EXPECT_EQ((reader.status & kStatusInvalidCode) != 0, consumed > 8 * kept) << "consumed " << consumed;
  }
}

TEST(CoefficientDecoder, RoundTripsDcSizesAndDifferentials) {
  std::mt19937 rng(5);
  BitWriter writer;
  std::vector<std::pair<uint32_t, int32_t>> dcs;  // block, differential
  for (uint32_t block : {0u, 4u}) {
    for (int size = 0; size <= 12; ++size) {
      for (int k = 0; k < 20; ++k) {
        int32_t v = 0;
        if (size > 0) {
          std::uniform_int_distribution<int32_t> d(1 << (size - 1), (1 << size) - 1);
          v = k % 2 ? -d(rng) : d(rng);
        }
        dcs.push_back({block, v});
      }
    }
  }
  std::shuffle(dcs.begin(), dcs.end(), rng);
  for (const auto& [block, v] : dcs) test::PutIntraDc(writer, block < 4, v);
  TestStream stream(writer);
  BlockDecoderState state;
  BlockDecoderReset(state);
  for (const auto& [block, v] : dcs) {
    DecodeIntraDc(state, stream.reader, block);
    ASSERT_EQ(state.status, 0u);
    ASSERT_EQ(state.dc, v) << "block " << block;
  }
  EXPECT_EQ(stream.consumed(), writer.bitCount());
}

}  // namespace
}  // namespace tlx::mpeg4

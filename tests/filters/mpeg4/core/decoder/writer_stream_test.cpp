// Streams of the test writer for tools no encoder at hand produces, decoded
// by our core and by libavcodec: data-partitioned I- and P-VOPs with
// reversible texture (the DC by its own code and as the first coefficient)
// and S-VOPs with global motion compensation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/cpu.h>
}

#include "filters/mpeg4/core/motion_vectors.h"
#include "filters/mpeg4/core/start_codes.h"
#include "filters/mpeg4/support/bit_writer.h"
#include "filters/mpeg4/support/block_encoder.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/plane_comparison.h"
#include "filters/mpeg4/support/random_vops.h"
#include "filters/mpeg4/support/reference_decoder.h"
#include "filters/mpeg4/support/tolerance_gates.h"

namespace tlx::mpeg4::test {
namespace {

// Expects our decode of a stream equal to libavcodec's decode of
// `reference`: no status, the pictures within the intra gate, quantiser
// maps and the quantised levels of every macroblock exactly.
void ExpectIntraDecodeMatches(const CoreDecode& ours, const ReferenceDecode& reference) {
  for (size_t call = 0; call < ours.statuses.size(); ++call) EXPECT_EQ(ours.statuses[call], 0u) << "call " << call;
  ASSERT_EQ(ours.pictures.size(), reference.frames.size());
  for (size_t i = 0; i < ours.pictures.size(); ++i) {
    ExpectPlanesWithinGate(ours.pictures[i], reference.frames[i], i, kGateIntraMaxDifference, kGateIntraMinPsnr);
    ASSERT_EQ(ours.pictures[i].quantiserMap.size(), reference.frames[i].quantisers.size());
    for (size_t m = 0; m < reference.frames[i].quantisers.size(); ++m) {
      EXPECT_EQ(int(ours.pictures[i].quantiserMap[m]), reference.frames[i].quantisers[m]) << "picture " << i;
    }
  }
  ASSERT_EQ(ours.macroblocks.size(), reference.levels.size());
  for (size_t m = 0; m < ours.macroblocks.size(); ++m) {
    for (int block = 0; block < 6; ++block) {
      for (int k = 0; k < 64; ++k) {
        ASSERT_EQ(ours.macroblocks[m].levels[block][k], reference.levels[m].levels[block][k])
            << "macroblock " << m << " block " << block << " position " << k;
      }
    }
  }
}

// Expects no status and `count` pictures from both decoders, equal in every
// sample.
void ExpectEqualPictures(const CoreDecode& ours, const ReferenceDecode& reference, size_t count,
                         const std::string& name) {
  for (uint32_t status : ours.statuses) EXPECT_EQ(status, 0u) << name;
  ASSERT_EQ(ours.pictures.size(), count) << name;
  ASSERT_EQ(reference.frames.size(), count) << name;
  for (size_t i = 0; i < count; ++i) {
    const CorePicture& p = ours.pictures[i];
    const ReferenceFrame& f = reference.frames[i];
    ASSERT_EQ(p.width, f.width) << name;
    ASSERT_EQ(p.height, f.height) << name;
    EXPECT_TRUE(ComparePlane(p.y.data(), p.width, f.y, p.width, p.height).identical) << name << " picture " << i << " Y";
    EXPECT_TRUE(ComparePlane(p.u.data(), p.width / 2, f.u, p.width / 2, p.height / 2).identical)
        << name << " picture " << i << " U";
    EXPECT_TRUE(ComparePlane(p.v.data(), p.width / 2, f.v, p.width / 2, p.height / 2).identical)
        << name << " picture " << i << " V";
  }
}

// A layer of width x height that carries B-VOPs (not low delay) and no
// video packets.
VolFields BidirectionalLayer(uint32_t width, uint32_t height) {
  VolFields vol;
  vol.width = width;
  vol.height = height;
  vol.resyncMarkerDisable = 1;
  vol.volControlParameters = 1;
  vol.lowDelay = 0;
  return vol;
}

// The stream of the B-VOP tests: the layer, a DC-only I-VOP, a P-VOP
// (time 3) and the two B-VOPs before it, all without residual, then
// `later` more P-VOPs (times 4, 5, ...).
std::vector<uint8_t> BidirectionalStream(const VolFields& vol, std::mt19937& random, uint32_t later) {
  BitWriter w;
  WriteVol(w, vol);
  WriteDcOnlyIntraVop(w, vol, 0, random);
  WritePredictionOnlyVop(w, vol, 3, random);
  WritePredictionOnlyBVop(w, vol, 1, random);
  WritePredictionOnlyBVop(w, vol, 2, random);
  for (uint32_t i = 0; i < later; ++i) WritePredictionOnlyVop(w, vol, 4 + i, random);
  return w.bytes();
}

// libavcodec reads the DC of a partitioned I-VOP by its own code whatever
// the threshold says, so the stream with the DC as the first coefficient is
// judged by libavcodec's decode of the same macroblocks with DC codes.
TEST(WriterStreams, PartitionedReversibleIntraPicturesMatchLibavcodec) {
  std::mt19937 random(3);
  const VolFields vol = PartitionedReversibleLayer();
  BitWriter dcCodes, dcCoefficients;
  WriteVol(dcCodes, vol);
  WriteVol(dcCoefficients, vol);
  for (uint32_t picture = 0; picture < 3; ++picture) {
    const std::vector<IntraMacroblock> macroblocks = RandomIntraMacroblocks(random, 6 * 4);
    WritePartitionedIntraVop(dcCodes, vol, 0, picture, macroblocks);
    WritePartitionedIntraVop(dcCoefficients, vol, 7, picture, macroblocks);
  }
  ReferenceOptions options;
  options.coefficients = true;
  const ReferenceDecode reference = DecodeWithLibavcodec(dcCodes.bytes(), options);
  ASSERT_EQ(reference.frames.size(), 3u);
  ExpectIntraDecodeMatches(DecodeWithCore(dcCodes.bytes(), true), reference);
  ExpectIntraDecodeMatches(DecodeWithCore(dcCoefficients.bytes(), true), reference);
}

TEST(WriterStreams, PartitionedReversiblePredictedPicturesMatchLibavcodec) {
  std::mt19937 random(5);
  const std::vector<uint8_t> stream = PartitionedReversibleStream(random, 4);
  ReferenceOptions options;
  options.coefficients = true;
  const ReferenceDecode reference = DecodeWithLibavcodec(stream, options);
  ASSERT_EQ(reference.frames.size(), 5u);
  const CoreDecode ours = DecodeWithCore(stream, true);
  for (size_t call = 0; call < ours.statuses.size(); ++call) EXPECT_EQ(ours.statuses[call], 0u) << "call " << call;
  ASSERT_EQ(ours.pictures.size(), reference.frames.size());
  for (size_t i = 0; i < ours.pictures.size(); ++i) {
    ExpectPlanesWithinGate(ours.pictures[i], reference.frames[i], i, kGateIntraMaxDifference, kGateIntraMinPsnr);
  }
  // libavcodec dumps every macroblock in decode order (a not-coded one
  // with what its buffer last held), our observer the coded ones.
  // libavcodec's levels of inter blocks are already inverse quantised.
  size_t next = 0;
  for (size_t m = 0; m < reference.levels.size(); ++m) {
    const ReferenceMacroblockLevels& levels = reference.levels[m];
    if (next == ours.macroblocks.size() || ours.macroblocks[next].index != uint32_t(levels.row * 6 + levels.column)) {
      continue;
    }
    const CoreMacroblock& mb = ours.macroblocks[next++];
    const int32_t q = int32_t(mb.quantiser);
    for (int block = 0; block < 6; ++block) {
      for (int k = 0; k < 64; ++k) {
        const int32_t level = mb.levels[block][k];
        const int32_t magnitude = level == 0 || (mb.flags & 0x4) != 0 ? std::abs(level)
                                                                       : q * (2 * std::abs(level) + 1) - 1 + (q & 1);
        ASSERT_EQ(level < 0 ? -magnitude : magnitude, levels.levels[block][k])
            << "macroblock " << m << " block " << block << " position " << k;
      }
    }
  }
  EXPECT_EQ(next, ours.macroblocks.size());
}

// Global motion compensation with every point count, accuracy and rounding
// type, with and without quarter-sample vectors, at two sizes: prediction
// only, so every picture equals libavcodec's exactly.
TEST(WriterStreams, SpritePicturesEqualLibavcodec) {
  std::mt19937 random(9);
  int streams = 0;
  for (uint32_t points = 0; points <= 3; ++points) {
    for (uint32_t accuracy = 0; accuracy <= 3; ++accuracy) {
      for (uint32_t quarterSample = 0; quarterSample <= 1; ++quarterSample) {
        ++streams;
        // libavcodec records the vector of a trajectory of accuracy 0 and
        // at most one point one less than it is when it is not positive:
        // no macroblock predicts from such vectors there.
        const bool vectors = accuracy > 0 || points > 1;
        const uint32_t width = streams % 2 == 0 ? 64 : 80, height = streams % 2 == 0 ? 48 : 64;
        const std::vector<uint8_t> stream =
            SpriteStream(random, points, accuracy, quarterSample, width, height, 3, vectors);
        // libavcodec's vector form of the warp approximates the positions
        // of mild trajectories; its plain form computes them exactly.
        av_force_cpu_flags(0);
        const ReferenceDecode reference = DecodeWithLibavcodec(stream, ReferenceOptions{});
        av_force_cpu_flags(-1);
        const CoreDecode ours = DecodeWithCore(stream, false);
        const std::string name = "points " + std::to_string(points) + " accuracy " + std::to_string(accuracy) +
                                 " quarter " + std::to_string(quarterSample);
        ExpectEqualPictures(ours, reference, 4, name);
      }
    }
  }
}

// Prediction only: one and four vectors at every half- and quarter-sample
// phase, both rounding types, vectors wrapping at the f-code range and far
// beyond every edge, at the minimal and a small size: every picture equals
// libavcodec's exactly. (A layer that is not a whole number of macroblocks
// has its own test below.)
TEST(WriterStreams, PredictedPicturesWithoutResidualEqualLibavcodec) {
  std::mt19937 random(13);
  const uint32_t sizes[][2] = {{64, 48}, {16, 16}};
  for (const auto& size : sizes) {
    for (uint32_t quarterSample = 0; quarterSample <= 1; ++quarterSample) {
      VolFields vol;
      vol.width = size[0];
      vol.height = size[1];
      vol.resyncMarkerDisable = 1;
      vol.quarterSample = quarterSample;
      BitWriter w;
      WriteVol(w, vol);
      WriteDcOnlyIntraVop(w, vol, 0, random);
      for (uint32_t picture = 1; picture < 5; ++picture) WritePredictionOnlyVop(w, vol, picture, random);
      const ReferenceDecode reference = DecodeWithLibavcodec(w.bytes(), ReferenceOptions{});
      const CoreDecode ours = DecodeWithCore(w.bytes(), false);
      const std::string name = std::to_string(size[0]) + "x" + std::to_string(size[1]) + " quarter " +
                               std::to_string(quarterSample);
      ExpectEqualPictures(ours, reference, 5, name);
    }
  }
}

// B-VOPs without residual in every mode (direct with and without a delta,
// from one-vector, four-vector and field co-located macroblocks;
// interpolated, backward, forward, in frame and field prediction with every
// reference-field select), f-codes 1-3, half and quarter samples (field
// prediction with half samples), both field orders: every picture equals
// libavcodec's exactly.
TEST(WriterStreams, BidirectionalPicturesWithoutResidualEqualLibavcodec) {
  std::mt19937 random(21);
  const uint32_t sizes[][2] = {{64, 48}, {16, 16}};
  for (const auto& size : sizes) {
    // Field prediction with quarter samples has its own test below.
    for (uint32_t variant = 0; variant < 3; ++variant) {
      const uint32_t quarterSample = variant & 1;
      VolFields vol = BidirectionalLayer(size[0], size[1]);
      vol.interlaced = variant >> 1;
      vol.quarterSample = quarterSample;
      const std::vector<uint8_t> stream = BidirectionalStream(vol, random, 0);
      const ReferenceDecode reference = DecodeWithLibavcodec(stream, ReferenceOptions{});
      const CoreDecode ours = DecodeWithCore(stream, false);
      ExpectEqualPictures(ours, reference, 4,
                          std::to_string(size[0]) + "x" + std::to_string(size[1]) + " quarter " +
                              std::to_string(quarterSample) + " interlaced " + std::to_string(vol.interlaced));
    }
  }
}

// Field prediction with quarter samples, P- and B-VOPs (field, and direct
// from field macroblocks), both field orders, each picture decoded from
// libavcodec's references: libavcodec interpolates a 16x8 field block as two
// 8x8 blocks, each mirrored at its own edges, where ours mirrors at the edges
// of the 16x8 block (as the 8-tap filter's window is the block's). The two
// differ only where the horizontal filter of one 8x8 half reaches across the
// middle, columns 5-10 of a macroblock whose vectors have a horizontal
// quarter- or half-sample phase; every other sample, and all of chroma, is
// equal.
TEST(WriterStreams, FieldQuarterSamplePicturesEqualLibavcodecOutsideItsSplit) {
  std::mt19937 random(23);
  size_t split = 0;
  for (uint32_t round = 0; round < 4; ++round) {
    VolFields vol = BidirectionalLayer(64, 48);
    vol.interlaced = 1;
    vol.quarterSample = 1;
    const std::vector<uint8_t> stream = BidirectionalStream(vol, random, 1);
    const ReferenceDecode reference = DecodeWithLibavcodec(stream, ReferenceOptions{});
    const CoreDecode ours = DecodeWithInjectedReferences(stream, reference.frames);
    ASSERT_EQ(reference.frames.size(), 5u);
    ASSERT_EQ(ours.pictures.size(), 5u);
    const std::vector<uint32_t> display = DisplayOrderCalls(ours);
    ASSERT_EQ(display.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
      const CorePicture& p = ours.pictures[i];
      const ReferenceFrame& f = reference.frames[i];
      EXPECT_EQ(p.u, f.u) << "round " << round << " picture " << i;
      EXPECT_EQ(p.v, f.v) << "round " << round << " picture " << i;
      std::vector<bool> exempt(4 * 3, false);
      for (const CoreMacroblock& mb : ours.macroblocks) {
        if (mb.call != display[i]) continue;
        const bool field = (mb.mode & 3) == kVectorModeField || (f.pictureType == 'B' && mb.mode == kVectorModeFour);
        bool phase = false;
        for (int b = 0; b < 4; ++b) phase |= (mb.vectors[b][0] & 3) != 0 || (mb.backward[b][0] & 3) != 0;
        exempt[mb.index] = field && phase;
      }
      for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
          const size_t k = size_t(y) * 64 + x;
          if (exempt[size_t((y / 16) * 4 + x / 16)] && x % 16 >= 5 && x % 16 <= 10) {
            split += p.y[k] != f.y[k] ? 1 : 0;
            continue;
          }
          ASSERT_EQ(p.y[k], f.y[k]) << "round " << round << " picture " << i << " sample " << x << "," << y;
        }
      }
    }
  }
  // The split does show: the columns left out are not left out for nothing.
  EXPECT_GT(split, 0u);
}

// B-VOPs in video packets, one per macroblock row, with f-codes 1: the
// markers of 18 bits that libavcodec writes and reads, and of 17 bits
// (16 plus the larger f-code). Both decode fully and equal libavcodec's
// decode of the 18-bit stream exactly.
TEST(WriterStreams, BidirectionalPacketsWithEitherMarkerLengthDecodeFully) {
  ReferenceDecode reference;
  for (uint32_t markerLength : {18u, 17u}) {
    std::mt19937 random(34);
    VolFields vol = BidirectionalLayer(64, 48);
    vol.resyncMarkerDisable = 0;
    BitWriter w;
    WriteVol(w, vol);
    WriteDcOnlyIntraVop(w, vol, 0, random);
    WritePredictionOnlyVop(w, vol, 3, random);
    WritePredictionOnlyBVop(w, vol, 1, random, markerLength);
    WritePredictionOnlyBVop(w, vol, 2, random, markerLength);
    if (markerLength == 18) reference = DecodeWithLibavcodec(w.bytes(), ReferenceOptions{});
    ExpectEqualPictures(DecodeWithCore(w.bytes(), false), reference, 4,
                        "markers of " + std::to_string(markerLength) + " bits");
  }
}

// Intra pictures at every DC threshold between always and never, with
// quantisers wandering across the threshold so that the DC of some
// macroblocks has its own code and of others is the first coefficient:
// levels and quantiser maps equal libavcodec's, pictures within the gate.
TEST(WriterStreams, IntraDcThresholdsMatchLibavcodec) {
  static constexpr int32_t kSteps[4] = {-1, -2, 1, 2};
  std::mt19937 random(40);
  for (uint32_t threshold = 1; threshold <= 6; ++threshold) {
    VolFields vol;
    vol.width = 96;
    vol.height = 64;
    vol.resyncMarkerDisable = 1;
    BitWriter w;
    WriteVol(w, vol);
    const int32_t centre = 11 + 2 * int32_t(threshold);  // the first quantiser that codes the DC as a coefficient
    for (uint32_t picture = 0; picture < 3; ++picture) {
      std::vector<IntraMacroblock> macroblocks = RandomIntraMacroblocks(random, 6 * 4);
      int32_t quantiser = centre;
      for (size_t m = 0; m < macroblocks.size(); ++m) {
        const int32_t step = int32_t(random() % 4);
        const bool change = m > 0 && random() % 2 == 0 && std::abs(quantiser + kSteps[step] - centre) <= 3;
        macroblocks[m].dquant = change ? step : -1;
        // Levels of at most 5: AC prediction chains then keep every stored
        // predictor (quantiser times level) within -2048..2047, where the
        // core holds it and libavcodec does not.
        for (std::vector<Event>& events : macroblocks[m].ac) {
          for (Event& e : events) e.level = std::clamp(e.level, -5, 5);
        }
        if (change) quantiser += kSteps[step];
      }
      WriteIntraVop(w, vol, threshold, picture, uint32_t(centre), macroblocks);
    }
    ReferenceOptions options;
    options.coefficients = true;
    const ReferenceDecode reference = DecodeWithLibavcodec(w.bytes(), options);
    ASSERT_EQ(reference.frames.size(), 3u) << "threshold " << threshold;
    SCOPED_TRACE("threshold " + std::to_string(threshold));
    ExpectIntraDecodeMatches(DecodeWithCore(w.bytes(), true), reference);
  }
}

// A P-VOP of one-vector macroblocks without residual, every third one (from
// the second) not coded; returns which were not coded.
std::vector<bool> WritePredictedVopWithSkips(BitWriter& w, const VolFields& vol, uint32_t timeIncrement,
                                             std::mt19937& random) {
  VopFields vop;
  vop.codingType = 1;
  vop.timeIncrement = timeIncrement;
  WriteVopHeader(w, vol, vop);
  const uint32_t count = ((vol.width + 15) / 16) * ((vol.height + 15) / 16);
  std::vector<bool> notCoded(count);
  for (uint32_t m = 0; m < count; ++m) {
    notCoded[m] = m % 3 == 1;
    w.Put(notCoded[m] ? 1u : 0u, 1);
    if (notCoded[m]) continue;
    PutInterMcbpc(w, 0x1, 0);
    PutCbpy(w, 0, false);
    for (int c = 0; c < 2; ++c) WriteVectorDifference(w, int32_t(random() % 13) - 6, 0);
  }
  w.Stuff();
  return notCoded;
}

// How the B-VOP written below codes its macroblocks.
enum class BForm {
  Modes,      // modb 1 (direct), forward, backward, interpolated in turn
  NoDirect,   // forward, backward, interpolated in turn
  Quantiser,  // forward with block 0 coded (a lone DC level) and dbquant +2 or -2 in turn
};

// A B-VOP at quantiser 8, f-codes 1: macroblocks marked skipped get no
// bits; the others are written in the given form.
void WriteBVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, const std::vector<bool>& skipped,
               BForm form, std::mt19937& random) {
  VopFields vop;
  vop.codingType = 2;
  vop.timeIncrement = timeIncrement;
  vop.quant = 8;
  WriteVopHeader(w, vol, vop);
  const BlockEncoder encoder(Syntax::Tcoef, false);
  auto vectors = [&](int count) {
    for (int c = 0; c < 2 * count; ++c) WriteVectorDifference(w, int32_t(random() % 13) - 6, 0);
  };
  for (size_t m = 0; m < skipped.size(); ++m) {
    if (skipped[m]) continue;
    if (form == BForm::Quantiser) {
      w.Put("00 0001 100000");  // modb 00, forward, block 0 coded
      w.Put(m % 2 == 0 ? "11" : "10");  // dbquant +2, -2
      vectors(1);
      encoder.Put(w, {1, 0, m % 2 == 0 ? 3 : -2});
      continue;
    }
    const size_t mode = form == BForm::Modes ? m % 4 : 1 + m % 3;
    if (mode == 0) {
      w.Put("1");  // modb 1: direct without a delta
      continue;
    }
    w.Put("01");
    if (mode == 1) w.Put("0001");  // forward
    if (mode == 2) w.Put("001");   // backward
    if (mode == 3) w.Put("01");    // interpolated
    vectors(mode == 3 ? 2 : 1);
  }
  w.Stuff();
}

// Cases of the macroblock layer against libavcodec: pictures equal
// exactly (within the inter gate where residual is coded), quantiser maps
// equal, including those of skipped and copied macroblocks.
TEST(WriterStreams, MacroblockLayerCasesEqualLibavcodec) {
  struct Case {
    std::string name;
    bool sprite;
    BForm form;
    bool residual;
  };
  const Case cases[] = {
      // B macroblocks whose co-located macroblock was not coded are copied
      // from the past reference and read no bits; modb 1 between them.
      {"B copies of not-coded macroblocks", false, BForm::Modes, false},
      {"dbquant", false, BForm::Quantiser, true},
      // Not-coded macroblocks of a GMC picture are predicted by the
      // trajectory: the B-VOP after it codes every macroblock.
      {"B after a GMC picture", true, BForm::NoDirect, false},
  };
  for (const Case& c : cases) {
    std::mt19937 random(55);
    VolFields vol = BidirectionalLayer(64, 48);
    if (c.sprite) {
      vol.spriteEnable = 2;
      vol.spriteWarpingPoints = 2;
      vol.spriteWarpingAccuracy = 1;
    }
    BitWriter w;
    WriteVol(w, vol);
    WriteDcOnlyIntraVop(w, vol, 0, random);
    std::vector<bool> skipped(12, false);
    if (c.sprite) {
      WriteSpriteVop(w, vol, 2, false, random);
    } else {
      skipped = WritePredictedVopWithSkips(w, vol, 2, random);
    }
    WriteBVop(w, vol, 1, skipped, c.form, random);
    // The plain form of libavcodec's warp (see SpritePicturesEqualLibavcodec).
    if (c.sprite) av_force_cpu_flags(0);
    const ReferenceDecode reference = DecodeWithLibavcodec(w.bytes(), ReferenceOptions{});
    av_force_cpu_flags(-1);
    const CoreDecode ours = DecodeWithCore(w.bytes(), false);
    SCOPED_TRACE(c.name);
    if (c.residual) {
      for (uint32_t status : ours.statuses) EXPECT_EQ(status, 0u);
      ASSERT_EQ(ours.pictures.size(), 3u);
      ASSERT_EQ(reference.frames.size(), 3u);
      for (size_t i = 0; i < 3; ++i) {
        ExpectPlanesWithinGate(ours.pictures[i], reference.frames[i], i, kGateIntraMaxDifference, kGateIntraMinPsnr);
      }
    } else {
      ExpectEqualPictures(ours, reference, 3, c.name);
    }
    // libavcodec exports no quantisers with the picture it returns at the
    // end (the P- or S-VOP); the B-VOP's are checked.
    ASSERT_FALSE(reference.frames.size() < 2 || reference.frames[1].quantisers.empty());
    for (size_t i = 0; i < ours.pictures.size() && i < reference.frames.size(); ++i) {
      if (reference.frames[i].quantisers.empty()) continue;
      ASSERT_EQ(ours.pictures[i].quantiserMap.size(), reference.frames[i].quantisers.size()) << "picture " << i;
      for (size_t m = 0; m < reference.frames[i].quantisers.size(); ++m) {
        EXPECT_EQ(int(ours.pictures[i].quantiserMap[m]), reference.frames[i].quantisers[m])
            << "picture " << i << " macroblock " << m;
      }
    }
  }
}

// A P-VOP at an odd size, without residual. With `four`, f-code 1 and four
// vectors in the macroblocks whose 8x8 blocks cannot reach the layer's right
// or bottom edge (16 samples at most), one vector elsewhere; without, one
// vector everywhere with differences anywhere in the range of f-code 1-3.
void WriteOddSizePredictedVop(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, bool four,
                              std::mt19937& random) {
  VopFields vop;
  vop.codingType = 1;
  vop.timeIncrement = timeIncrement;
  vop.roundingType = random() % 2;
  vop.fcodeForward = four ? 1 : 1 + random() % 3;
  WriteVopHeader(w, vol, vop);
  const uint32_t rSize = vop.fcodeForward - 1;
  const int32_t range = 32 << rSize;
  const uint32_t columns = (vol.width + 15) / 16, rows = (vol.height + 15) / 16;
  for (uint32_t m = 0; m < columns * rows; ++m) {
    const uint32_t x = 16 * (m % columns), y = 16 * (m / columns);
    const bool blocks = four && x + 24 < vol.width && y + 24 < vol.height && random() % 2 == 0;
    w.Put(0, 1);
    PutInterMcbpc(w, blocks ? 0x2 : 0x1, 0);
    PutCbpy(w, 0, false);
    for (int c = 0; c < (blocks ? 8 : 2); ++c) {
      WriteVectorDifference(w, int32_t(random() % uint32_t(2 * range + 1)) - range, rSize);
    }
  }
  w.Stuff();
}

// At 183x137 every prediction reads the decoded macroblocks' samples beyond
// the layer's edge (up to 192x144) and repeats the last of them outward, as
// libavcodec's 16x16 predictions do: one vector at every half- and
// quarter-sample phase far beyond every edge, B-VOPs (forward, backward,
// interpolated) and four vectors equal libavcodec's exactly. libavcodec
// holds the start of an 8x8 block (four vectors, direct mode, and their
// chroma) to the layer's size instead (183, 137; 91, 68), before it repeats
// the edge of the decoded macroblocks, so an 8x8 block starting beyond the
// layer's edge sees other samples there than a 16x16 block would; the
// four-vector macroblocks here stay clear of those edges.
TEST(WriterStreams, OddSizedPicturesEqualLibavcodec) {
  std::mt19937 random(17);
  for (uint32_t quarterSample = 0; quarterSample <= 1; ++quarterSample) {
    VolFields vol = BidirectionalLayer(183, 137);
    vol.quarterSample = quarterSample;
    BitWriter w;
    WriteVol(w, vol);
    WriteDcOnlyIntraVop(w, vol, 0, random);
    WriteOddSizePredictedVop(w, vol, 1, false, random);
    WriteOddSizePredictedVop(w, vol, 2, true, random);
    WriteOddSizePredictedVop(w, vol, 3, false, random);
    WriteOddSizePredictedVop(w, vol, 5, false, random);
    WriteBVop(w, vol, 4, std::vector<bool>(12 * 9, false), BForm::NoDirect, random);
    const ReferenceDecode reference = DecodeWithLibavcodec(w.bytes(), ReferenceOptions{});
    ExpectEqualPictures(DecodeWithCore(w.bytes(), false), reference, 6,
                        "quarter " + std::to_string(quarterSample));
  }
}

// A not-coded VOP (vop_coded 0) of the given type at the given time.
void WriteNotCodedVop(BitWriter& w, const VolFields& vol, uint32_t codingType, uint32_t timeIncrement) {
  VopFields vop;
  vop.codingType = codingType;
  vop.timeIncrement = timeIncrement;
  vop.coded = 0;
  WriteVopHeader(w, vol, vop);
}

// Not-coded VOPs against libavcodec, which shows nothing for them: what
// each one returns and what the coded VOPs around them return.
// - Packed: each P-VOP is followed by the B-VOP shown before it and a
//   not-coded P-VOP at the P-VOP's own time, the placeholder of a packed
//   stream. The placeholder returns that P picture, whose own turn (the
//   next reference, the end marker) then returns nothing: every picture
//   leaves once, and the pictures equal libavcodec's one for one.
// - Repeat: a not-coded P-VOP at a later time than the P picture repeats
//   it: it returns the P picture and the P picture keeps its turn.
// - Between B-VOPs: a not-coded B-VOP returns the past reference and leaves
//   references and times alone, so the direct-mode B-VOP after it (whose
//   vectors scale with the times) equals libavcodec's exactly.
TEST(WriterStreams, NotCodedVopsReturnTheDuePictureOnce) {
  enum class Form { Packed, Repeat, BetweenBidirectional };
  for (const Form form : {Form::Packed, Form::Repeat, Form::BetweenBidirectional}) {
    std::mt19937 random(70);
    VolFields vol = BidirectionalLayer(64, 48);
    BitWriter w;
    WriteVol(w, vol);
    WriteDcOnlyIntraVop(w, vol, 0, random);
    SCOPED_TRACE(form == Form::Packed ? "packed" : form == Form::Repeat ? "repeat" : "between B-VOPs");
    if (form == Form::Packed) {
      WritePredictionOnlyVop(w, vol, 2, random);
      WritePredictionOnlyBVop(w, vol, 1, random);
      WriteNotCodedVop(w, vol, 1, 2);
      WritePredictionOnlyVop(w, vol, 4, random);
      WritePredictionOnlyBVop(w, vol, 3, random);
      WriteNotCodedVop(w, vol, 1, 4);
    } else if (form == Form::Repeat) {
      WritePredictionOnlyVop(w, vol, 1, random);
      WriteNotCodedVop(w, vol, 1, 2);
      WritePredictionOnlyVop(w, vol, 3, random);
    } else {
      WritePredictionOnlyVop(w, vol, 4, random);
      WritePredictionOnlyBVop(w, vol, 1, random);
      WriteNotCodedVop(w, vol, 2, 2);
      WritePredictionOnlyBVop(w, vol, 3, random);
    }
    const ReferenceDecode reference = DecodeWithLibavcodec(w.bytes(), ReferenceOptions{});
    const CoreDecode ours = DecodeWithCore(w.bytes(), false);
    for (uint32_t status : ours.statuses) EXPECT_EQ(status, 0u);
    // Our pictures with the not-coded VOPs' left out when they repeat a
    // picture (the stream says to show it again), all kept when they
    // stand in for its turn.
    std::vector<CorePicture> shown;
    size_t placeholders = 0;
    for (const CorePicture& picture : ours.pictures) {
      placeholders += picture.placeholder ? 1 : 0;
      if (!picture.placeholder || form == Form::Packed) shown.push_back(picture);
    }
    const size_t count = form == Form::Packed ? 5 : form == Form::Repeat ? 3 : 4;
    ASSERT_EQ(reference.frames.size(), count);
    ASSERT_EQ(shown.size(), count);
    EXPECT_EQ(placeholders, form == Form::Packed ? 2u : 1u);
    for (size_t i = 0; i < count; ++i) {
      const ReferenceFrame& f = reference.frames[i];
      EXPECT_EQ(shown[i].y, f.y) << "picture " << i;
      EXPECT_EQ(shown[i].u, f.u) << "picture " << i;
      EXPECT_EQ(shown[i].v, f.v) << "picture " << i;
    }
    if (form == Form::Repeat) {
      // I, P (by the not-coded VOP), P again (its turn), P2 (the end).
      ASSERT_EQ(ours.pictures.size(), 4u);
      EXPECT_TRUE(ours.pictures[1].placeholder);
      EXPECT_EQ(ours.pictures[1].y, ours.pictures[2].y);
    }
    if (form == Form::BetweenBidirectional) {
      // I, B, the past reference (I) again, B, P.
      ASSERT_EQ(ours.pictures.size(), 5u);
      EXPECT_TRUE(ours.pictures[2].placeholder);
      EXPECT_EQ(ours.pictures[2].y, ours.pictures[0].y);
    }
  }
}

// A data-partitioned P-VOP of one-vector macroblocks without residual, with
// MCBPC stuffing (not_coded 0, stuffing) after every fifth macroblock and,
// when `stuffing`, directly before the motion marker.
void WritePartitionedVopWithStuffing(BitWriter& w, const VolFields& vol, uint32_t timeIncrement, bool stuffing,
                                     std::mt19937& random) {
  VopFields vop;
  vop.codingType = 1;
  vop.timeIncrement = timeIncrement;
  WriteVopHeader(w, vol, vop);
  const uint32_t count = (vol.width / 16) * (vol.height / 16);
  for (uint32_t m = 0; m < count; ++m) {
    w.Put(0, 1);
    PutInterMcbpc(w, 0x1, 0);
    for (int c = 0; c < 2; ++c) WriteVectorDifference(w, int32_t(random() % 13) - 6, 0);
    if (stuffing && m % 5 == 4) w.Put("0 000000001");
  }
  if (stuffing) w.Put("0 000000001");
  w.Put(kMotionMarker, int(kMotionMarkerLength));
  for (uint32_t m = 0; m < count; ++m) PutCbpy(w, 0, false);
  w.Stuff();
}

// MCBPC stuffing in the first partition, between macroblocks and directly
// before the motion marker, is passed over: the pictures equal those of the
// same stream without it, and libavcodec's within the intra gate.
TEST(WriterStreams, PartitionStuffingIsPassedOver) {
  std::vector<uint8_t> streams[2];
  for (int stuffing = 0; stuffing <= 1; ++stuffing) {
    std::mt19937 random(61);
    const VolFields vol = PartitionedReversibleLayer();
    BitWriter w;
    WriteVol(w, vol);
    // DC-only intra macroblocks: only the DC-only inverse DCTs differ.
    std::vector<IntraMacroblock> macroblocks = RandomIntraMacroblocks(random, 6 * 4);
    for (IntraMacroblock& mb : macroblocks) {
      for (std::vector<Event>& events : mb.ac) events.clear();
    }
    WritePartitionedIntraVop(w, vol, 0, 0, macroblocks);
    for (uint32_t picture = 1; picture <= 2; ++picture) {
      WritePartitionedVopWithStuffing(w, vol, picture, stuffing != 0, random);
    }
    streams[stuffing] = w.bytes();
  }
  ASSERT_NE(streams[0], streams[1]);
  const ReferenceDecode reference = DecodeWithLibavcodec(streams[1], ReferenceOptions{});
  const CoreDecode plain = DecodeWithCore(streams[0], false);
  const CoreDecode stuffed = DecodeWithCore(streams[1], false);
  for (uint32_t status : stuffed.statuses) EXPECT_EQ(status, 0u);
  ASSERT_EQ(plain.pictures.size(), 3u);
  ASSERT_EQ(stuffed.pictures.size(), 3u);
  ASSERT_EQ(reference.frames.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(stuffed.pictures[i].y, plain.pictures[i].y) << "picture " << i;
    EXPECT_EQ(stuffed.pictures[i].u, plain.pictures[i].u) << "picture " << i;
    EXPECT_EQ(stuffed.pictures[i].v, plain.pictures[i].v) << "picture " << i;
    // The intra picture's DC scalers are not multiples of 8: the inverse
    // DCTs may round differently.
    ExpectPlanesWithinGate(stuffed.pictures[i], reference.frames[i], i, kGateIntraMaxDifference, kGateIntraMinPsnr);
  }
}

}  // namespace
}  // namespace tlx::mpeg4::test

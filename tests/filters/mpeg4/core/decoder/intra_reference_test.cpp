// Intra streams decoded by our core and by libavcodec: the same pictures in
// the same order within the intra gate, the same quantised levels after
// DC/AC prediction and the same quantiser maps; flat-block streams exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/plane_comparison.h"
#include "filters/mpeg4/support/reference_decoder.h"
#include "filters/mpeg4/support/tolerance_gates.h"

namespace tlx::mpeg4::test {
namespace {

void ExpectPlanesWithinIntraGate(const CorePicture& ours, const ReferenceFrame& reference, size_t index) {
  struct Plane {
    const char* name;
    const std::vector<uint8_t>& ours;
    const std::vector<uint8_t>& reference;
    int width, height;
  } planes[] = {{"Y", ours.y, reference.y, reference.width, reference.height},
                {"U", ours.u, reference.u, reference.width / 2, reference.height / 2},
                {"V", ours.v, reference.v, reference.width / 2, reference.height / 2}};
  for (const Plane& plane : planes) {
    const PlaneDifference d = ComparePlane(plane.ours.data(), plane.width, plane.reference, plane.width, plane.height);
    EXPECT_LE(d.maxDifference, kGateIntraMaxDifference) << "picture " << index << " plane " << plane.name;
    EXPECT_GE(d.psnr, kGateIntraMinPsnr) << "picture " << index << " plane " << plane.name;
  }
}

class IntraReference : public testing::TestWithParam<std::string> {};

TEST_P(IntraReference, MatchesLibavcodec) {
  const std::vector<uint8_t> stream = ReadFixture(GetParam());
  ReferenceOptions options;
  options.coefficients = true;
  const ReferenceDecode reference = DecodeWithLibavcodec(stream, options);
  const CoreDecode ours = DecodeWithCore(stream, true);

  for (size_t call = 0; call < ours.statuses.size(); ++call) EXPECT_EQ(ours.statuses[call], 0u) << "call " << call;
  ASSERT_EQ(ours.pictures.size(), reference.frames.size());
  for (size_t i = 0; i < ours.pictures.size(); ++i) {
    const CorePicture& picture = ours.pictures[i];
    const ReferenceFrame& frame = reference.frames[i];
    ASSERT_EQ(picture.width, frame.width);
    ASSERT_EQ(picture.height, frame.height);
    EXPECT_EQ(frame.pictureType, 'I');
    EXPECT_TRUE(frame.vectors.empty());
    ExpectPlanesWithinIntraGate(picture, frame, i);
    const int columns = (frame.width + 15) / 16;
    ASSERT_EQ(picture.quantiserMap.size(), frame.quantisers.size());
    for (size_t m = 0; m < frame.quantisers.size(); ++m) {
      ASSERT_EQ(int(picture.quantiserMap[m]), frame.quantisers[m])
          << "picture " << i << " macroblock " << m % columns << "," << m / columns;
    }
  }

  ASSERT_EQ(ours.macroblocks.size(), reference.levels.size());
  const int columns = reference.frames.empty() ? 1 : (reference.frames[0].width + 15) / 16;
  for (size_t m = 0; m < ours.macroblocks.size(); ++m) {
    const CoreMacroblock& mb = ours.macroblocks[m];
    const ReferenceMacroblockLevels& ref = reference.levels[m];
    ASSERT_EQ(int(mb.index), ref.row * columns + ref.column) << "macroblock " << m;
    EXPECT_NE(mb.flags & 0x4, 0u);
    for (const auto& vector : mb.vectors) EXPECT_TRUE(vector[0] == 0 && vector[1] == 0);
    for (int block = 0; block < 6; ++block) {
      for (int k = 0; k < 64; ++k) {
        ASSERT_EQ(mb.levels[block][k], ref.levels[block][k])
            << "macroblock " << m << " (" << ref.column << "," << ref.row << ") block " << block << " position " << k;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, IntraReference,
    testing::Values("i_q2_176x144.m4v", "i_q8_176x144.m4v", "i_q20_176x144.m4v", "i_q31_176x144.m4v",
                    "i_q2_352x288.m4v", "i_q8_352x288.m4v", "i_q20_352x288.m4v", "i_q31_352x288.m4v",
                    "i_aic_176x144.m4v", "i_aic_352x288.m4v", "i_dquant_176x144.m4v", "i_dquant_352x288.m4v",
                    "i_ilace_tff0_176x144.m4v", "i_ilace_tff0_352x288.m4v", "i_ilace_tff1_176x144.m4v",
                    "i_ilace_tff1_352x288.m4v", "i_packets_176x144.m4v", "i_packets_352x288.m4v",
                    "i_odd_184x136.m4v", "i_max_720x576.m4v"),
    [](const testing::TestParamInfo<std::string>& info) {
      std::string name = info.param.substr(0, info.param.find('.'));
      for (char& c : name) {
        if (c == 'x') c = 'X';
      }
      return name;
    });

// Flat 8x8 blocks are DC-only: every inverse DCT gives back the source
// samples, so both decoders must reproduce the source exactly.
class NeutralIntra : public testing::TestWithParam<std::string> {};

TEST_P(NeutralIntra, EqualsLibavcodecAndTheSourceExactly) {
  const std::string size = GetParam();
  const std::vector<uint8_t> source = ReadFixture("i_neutral_" + size + ".yuv");
  const int width = std::stoi(size.substr(0, size.find('x')));
  const int height = std::stoi(size.substr(size.find('x') + 1));
  const size_t frameBytes = size_t(width) * height * 3 / 2;
  for (const char* q : {"q2", "q4"}) {
    const std::vector<uint8_t> stream = ReadFixture(std::string("i_neutral_") + q + "_" + size + ".m4v");
    // Every block of the stream is DC-only: libavcodec's coefficient dump
    // says so (dumped for the smaller sizes, where it is quick), and our
    // levels equal it on every intra stream.
    ReferenceOptions options;
    options.coefficients = width < 720;
    const ReferenceDecode reference = DecodeWithLibavcodec(stream, options);
    for (const ReferenceMacroblockLevels& mb : reference.levels) {
      for (int block = 0; block < 6; ++block) {
        for (int k = 1; k < 64; ++k) ASSERT_EQ(mb.levels[block][k], 0) << q << " block " << block;
      }
    }
    const CoreDecode ours = DecodeWithCore(stream, true);
    for (const CoreMacroblock& mb : ours.macroblocks) {
      for (int block = 0; block < 6; ++block) {
        for (int k = 1; k < 64; ++k) ASSERT_EQ(mb.levels[block][k], 0) << q << " block " << block;
      }
    }
    ASSERT_EQ(ours.pictures.size(), reference.frames.size());
    ASSERT_EQ(source.size(), frameBytes * ours.pictures.size());
    for (size_t i = 0; i < ours.pictures.size(); ++i) {
      const uint8_t* frame = source.data() + i * frameBytes;
      const std::vector<uint8_t> y(frame, frame + width * height);
      const std::vector<uint8_t> u(frame + width * height, frame + width * height * 5 / 4);
      const std::vector<uint8_t> v(frame + width * height * 5 / 4, frame + frameBytes);
      EXPECT_EQ(ours.pictures[i].y, reference.frames[i].y) << q << " picture " << i;
      EXPECT_EQ(ours.pictures[i].u, reference.frames[i].u) << q << " picture " << i;
      EXPECT_EQ(ours.pictures[i].v, reference.frames[i].v) << q << " picture " << i;
      EXPECT_EQ(ours.pictures[i].y, y) << q << " picture " << i;
      EXPECT_EQ(ours.pictures[i].u, u) << q << " picture " << i;
      EXPECT_EQ(ours.pictures[i].v, v) << q << " picture " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, NeutralIntra, testing::Values("176x144", "352x288", "720x576"),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (c == 'x') c = 'X';
                           }
                           return "Size" + name;
                         });

}  // namespace
}  // namespace tlx::mpeg4::test

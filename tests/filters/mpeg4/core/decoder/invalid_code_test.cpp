// Hand-made invalid codes in each syntax layer: a picture whose first
// macroblock, partition or (short header) group carries the code reports the
// status bits of that layer on its own call, and the intra picture after it
// decodes clean.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "filters/mpeg4/core/block/coefficient_tables.h"
#include "filters/mpeg4/core/start_codes.h"
#include "filters/mpeg4/core/status.h"
#include "filters/mpeg4/support/bit_writer.h"
#include "filters/mpeg4/support/block_encoder.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/random_vops.h"

namespace tlx::mpeg4 {
namespace {

using test::BitWriter;

// The picture that carries the invalid code: its kind, and its macroblock
// bits from the first macroblock on.
enum class Carrier { Intra, Predicted, Bidirectional, PartitionedIntra, PartitionedPredicted };

struct InvalidCodeCase {
  std::string name;
  Carrier carrier;
  std::function<void(BitWriter&)> macroblocks;
  uint32_t status;
};

// A 12-bit window that no inter coefficient code (and not the escape)
// begins: a code not in the table.
uint32_t CoefficientCodeNotInTable() {
  for (uint32_t window = 0; window < 4096; ++window) {
    bool taken = (window >> (12 - kTcoefEscape.length)) == kTcoefEscape.code;
    for (const CoefficientCode& c : kInterTcoef) taken = taken || (window >> (12 - c.length)) == c.code;
    if (!taken) return window;
  }
  ADD_FAILURE() << "every window begins an inter coefficient code";
  return 0;
}

// A coded P macroblock with one vector of difference 0 and only block 0
// coded: its coefficient data follows.
void PredictedHeaderWithBlockZero(BitWriter& w) {
  w.Put(0, 1);  // not_coded
  test::PutInterMcbpc(w, 0x1, 0);
  test::PutCbpy(w, 8, false);
  w.Put("1 1");  // vector differences 0
}

std::vector<InvalidCodeCase> Cases() {
  std::vector<InvalidCodeCase> cases;
  // I MCBPC: six zeros that are not the stuffing code.
  cases.push_back({"IntraMcbpc", Carrier::Intra, [](BitWriter& w) { w.Put("0000 0001 0 1111 1111"); },
                   kStatusInvalidCode});
  // P MCBPC: nine zeros.
  cases.push_back({"PredictedMcbpc", Carrier::Predicted, [](BitWriter& w) { w.Put("0 0000 0000 0 1111 1111"); },
                   kStatusInvalidCode});
  cases.push_back({"Cbpy", Carrier::Predicted,
                   [](BitWriter& w) {
                     w.Put(0, 1);
                     test::PutInterMcbpc(w, 0x1, 0);
                     w.Put("0000 00 1111 1111");
                   },
                   kStatusInvalidCode});
  // modb 00 (type and pattern follow), type 0000.
  cases.push_back({"BidirectionalType", Carrier::Bidirectional, [](BitWriter& w) { w.Put("00 0000 1111 1111"); },
                   kStatusInvalidCode});
  // A vector code of twelve zeros.
  cases.push_back({"VectorDifference", Carrier::Predicted,
                   [](BitWriter& w) {
                     w.Put(0, 1);
                     test::PutInterMcbpc(w, 0x1, 0);
                     test::PutCbpy(w, 0, false);
                     w.Put("0000 0000 0000 1111 1111");
                   },
                   kStatusInvalidCode});
  cases.push_back({"CoefficientNotInTable", Carrier::Predicted,
                   [](BitWriter& w) {
                     PredictedHeaderWithBlockZero(w);
                     w.Put(CoefficientCodeNotInTable(), 12);
                     w.Put("1111 1111");
                   },
                   kStatusNotInTable});
  cases.push_back({"CoefficientIndexPastTheBlock", Carrier::Predicted,
                   [](BitWriter& w) {
                     PredictedHeaderWithBlockZero(w);
                     const test::BlockEncoder encoder(test::Syntax::Tcoef, false);
                     encoder.Put(w, {0, 40, 1});
                     encoder.Put(w, {1, 30, 1});
                     w.Put("1111 1111");
                   },
                   kStatusIndexOverflow});
  // The fixed-length escape with its marker after the run 0.
  cases.push_back({"EscapeMarker", Carrier::Predicted,
                   [](BitWriter& w) {
                     PredictedHeaderWithBlockZero(w);
                     w.Put(kTcoefEscape.code, kTcoefEscape.length);
                     w.Put("11 1 000001 0 000000000101 1 1111 1111");
                   },
                   kStatusMarker});
  // An intra luma DC of size 9 whose marker is 0.
  cases.push_back({"DcMarker", Carrier::Intra,
                   [](BitWriter& w) {
                     test::PutIntraMcbpc(w, 0, false);
                     w.Put(0, 1);  // ac_pred_flag
                     test::PutCbpy(w, 0, true);
                     const ValueCode& size = kDcSizeLuma[9];
                     w.Put(size.code, size.length);
                     w.Put("1 0000 0000 0 1111 1111");
                   },
                   kStatusMarker});
  // Partition markers: a first partition that runs past the picture's
  // last macroblock because its marker is missing, and a packet whose last
  // partition is followed by neither a resync marker nor a start code.
  const test::VolFields partitioned = test::PartitionedReversibleLayer();
  const uint32_t count = (partitioned.width / 16) * (partitioned.height / 16);
  cases.push_back({"MotionMarkerMissing", Carrier::PartitionedPredicted,
                   [count](BitWriter& w) {
                     for (uint32_t m = 0; m <= count; ++m) w.Put(1, 1);  // not_coded
                   },
                   kStatusOutOfRange});
  cases.push_back({"DcMarkerMissing", Carrier::PartitionedIntra,
                   [count](BitWriter& w) {
                     for (uint32_t m = 0; m <= count; ++m) {
                       test::PutIntraMcbpc(w, 0, false);
                       for (int b = 0; b < 6; ++b) test::PutIntraDc(w, b < 4, 0);
                     }
                   },
                   kStatusOutOfRange});
  cases.push_back({"PartitionedPacketEnd", Carrier::PartitionedPredicted,
                   [count](BitWriter& w) {
                     for (uint32_t m = 0; m < count; ++m) w.Put(1, 1);
                     w.Put(kMotionMarker, int(kMotionMarkerLength));
                     w.Put("1111 1111");
                   },
                   kStatusMissingHeader});
  return cases;
}

class InvalidCodes : public testing::TestWithParam<InvalidCodeCase> {};

TEST_P(InvalidCodes, ReportTheirLayersStatusAndSpareTheNextPicture) {
  const InvalidCodeCase& c = GetParam();
  const bool partitioned = c.carrier == Carrier::PartitionedIntra || c.carrier == Carrier::PartitionedPredicted;
  test::VolFields vol = partitioned ? test::PartitionedReversibleLayer() : test::VolFields{};
  if (!partitioned) {
    vol.width = 48;
    vol.height = 32;
    vol.resyncMarkerDisable = 1;
    vol.volControlParameters = 1;
    vol.lowDelay = 0;
  }
  std::mt19937 random(7);
  BitWriter w;
  test::WriteVol(w, vol);
  uint32_t damagedCall = 1;
  if (partitioned) {
    const uint32_t count = (vol.width / 16) * (vol.height / 16);
    test::WritePartitionedIntraVop(w, vol, 0, 0, test::RandomIntraMacroblocks(random, count));
  } else {
    test::WriteDcOnlyIntraVop(w, vol, 0, random);
  }
  test::VopFields vop;
  vop.timeIncrement = 1;
  if (c.carrier == Carrier::Bidirectional) {
    test::WritePredictionOnlyVop(w, vol, 3, random);
    vop.codingType = 2;
    damagedCall = 2;
  } else if (c.carrier == Carrier::Predicted || c.carrier == Carrier::PartitionedPredicted) {
    vop.codingType = 1;
  }
  test::WriteVopHeader(w, vol, vop);
  c.macroblocks(w);
  w.Stuff();
  if (partitioned) {
    const uint32_t count = (vol.width / 16) * (vol.height / 16);
    test::WritePartitionedIntraVop(w, vol, 0, 4, test::RandomIntraMacroblocks(random, count));
  } else {
    test::WriteDcOnlyIntraVop(w, vol, 4, random);
  }

  const test::CoreDecode decoded = test::DecodeWithCore(w.bytes(), false);
  ASSERT_EQ(decoded.statuses.size(), damagedCall + 3u);
  for (uint32_t call = 0; call < decoded.statuses.size(); ++call) {
    EXPECT_EQ(decoded.statuses[call], call == damagedCall ? c.status : 0u) << "call " << call;
  }
}

INSTANTIATE_TEST_SUITE_P(Layers, InvalidCodes, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<InvalidCodeCase>& info) { return info.param.name; });

// Short-header pictures of 128x96: eight macroblocks in each of six groups.
constexpr uint32_t kShortHeaderMacroblocks = 48;
constexpr uint32_t kMacroblocksPerGroup = 8;

// A short-header intra picture header at quantiser 4.
void WriteShortHeaderIntraHeader(BitWriter& w, uint32_t temporalReference) {
  w.AlignWithZeros();
  w.Put(kShortHeaderStartCode, int(kShortHeaderStartCodeLength));
  w.Put(temporalReference, 8);
  w.Put("1 0 000 001 0 0000");  // marker, zero bit, indicators, 128x96, intra
  w.Put(4, 5);
  w.Put("0 0");  // zero bit, no extra information
}

// Intra macroblocks without coefficients, every DC 1024.
void WriteShortHeaderIntraMacroblocks(BitWriter& w, uint32_t count) {
  for (uint32_t m = 0; m < count; ++m) {
    test::PutIntraMcbpc(w, 0, false);
    test::PutCbpy(w, 0, true);
    for (int b = 0; b < 6; ++b) w.Put(0x80, 8);
  }
}

// A group header after the first group: number, frame identifier 0,
// quantiser.
void WriteGroupHeader(BitWriter& w, uint32_t number, uint32_t quantiser) {
  w.AlignWithZeros();
  w.Put(kGobStartCode, int(kGobStartCodeLength));
  w.Put(number, 5);
  w.Put(0, 2);
  w.Put(quantiser, 5);
}

struct GroupCase {
  std::string name;
  std::function<void(BitWriter&)> afterFirstGroup;
  uint32_t status;
};

// Damage in the group layer of a short-header picture: its call reports the
// status and the next picture decodes clean. A damaged group header leaves
// the rest of the picture undecoded: the skip to the next group start code
// meets the next picture's, and that early end adds 0x100.
TEST(InvalidCodes, GroupLayerReportsItsStatusAndSparesTheNextPicture) {
  const uint32_t rest = kShortHeaderMacroblocks - kMacroblocksPerGroup;
  const uint32_t headerDamage = kStatusOutOfRange | kStatusInvalidCode;
  const GroupCase cases[] = {
      {"group number going backwards",
       [rest](BitWriter& w) {
         WriteGroupHeader(w, 1, 4);
         WriteShortHeaderIntraMacroblocks(w, kMacroblocksPerGroup);
         WriteGroupHeader(w, 1, 4);
         WriteShortHeaderIntraMacroblocks(w, rest - kMacroblocksPerGroup);
       },
       headerDamage},
      {"group number past the picture",
       [rest](BitWriter& w) {
         WriteGroupHeader(w, 6, 4);
         WriteShortHeaderIntraMacroblocks(w, rest);
       },
       headerDamage},
      {"group quantiser 0",
       [rest](BitWriter& w) {
         WriteGroupHeader(w, 1, 0);
         WriteShortHeaderIntraMacroblocks(w, rest);
       },
       headerDamage},
      {"invalid macroblock code in a group",
       [](BitWriter& w) {
         WriteGroupHeader(w, 1, 4);
         w.Put("0000 0001 0 1111 1111");
       },
       kStatusInvalidCode},
  };
  for (const GroupCase& c : cases) {
    BitWriter w;
    WriteShortHeaderIntraHeader(w, 0);
    WriteShortHeaderIntraMacroblocks(w, kShortHeaderMacroblocks);
    WriteShortHeaderIntraHeader(w, 1);
    WriteShortHeaderIntraMacroblocks(w, kMacroblocksPerGroup);
    c.afterFirstGroup(w);
    WriteShortHeaderIntraHeader(w, 2);
    WriteShortHeaderIntraMacroblocks(w, kShortHeaderMacroblocks);
    w.AlignWithZeros();
    const test::CoreDecode decoded = test::DecodeWithCore(w.bytes(), false);
    ASSERT_EQ(decoded.statuses.size(), 4u) << c.name;
    for (uint32_t call = 0; call < decoded.statuses.size(); ++call) {
      EXPECT_EQ(decoded.statuses[call], call == 1 ? c.status : 0u) << c.name << ", call " << call;
    }
  }
}

}  // namespace
}  // namespace tlx::mpeg4

// Hand-made invalid codes in each syntax layer: a picture whose first
// macroblock (or partition) carries the code reports the status bits of that
// layer on its own call, and the intra picture after it decodes clean.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "block/coefficient_tables.h"
#include "filters/mpeg4/support/bit_writer.h"
#include "filters/mpeg4/support/block_encoder.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/random_vops.h"
#include "start_codes.h"
#include "status.h"

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

}  // namespace
}  // namespace tlx::mpeg4

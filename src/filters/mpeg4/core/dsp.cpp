#include "filters/mpeg4/core/dsp.h"

#include <algorithm>

#include "filters/mpeg4/core/block/block_decoding.h"
#include "filters/mpeg4/core/prediction_kernels_sse2.h"
#include "filters/mpeg4/core/quarter_sample_kernels_sse2.h"

namespace tlx::mpeg4 {
namespace {

constexpr DspTables kPlainTables = {
    {DequantiseBlock, PutIntraMacroblock, AddInterMacroblock},
    {PadBorders,
     CopyMacroblock,
     {{CopyBlock<16>, HpelH<16, 0>, HpelV<16, 0>, HpelHV<16, 0>},
      {CopyBlock<16>, HpelH<16, 1>, HpelV<16, 1>, HpelHV<16, 1>}},
     {{CopyBlock<8>, HpelH<8, 0>, HpelV<8, 0>, HpelHV<8, 0>}, {CopyBlock<8>, HpelH<8, 1>, HpelV<8, 1>, HpelHV<8, 1>}},
     {HpelCopyAvg<16>, HpelHAvg<16>, HpelVAvg<16>, HpelHVAvg<16>},
     {HpelCopyAvg<8>, HpelHAvg<8>, HpelVAvg<8>, HpelHVAvg<8>},
     {}},
    {PackYuy2, DeblockEdge},
};

// The vector kernels replace their plain twins slot by slot.
void ApplySimdOverrides(DspTables& tables) {
  tables.block = {DequantiseBlockSse2, PutIntraMacroblockSse2, AddInterMacroblockSse2};
  PredictionKernels& p = tables.prediction;
  p.padBorders = PadBordersSse2;
  p.copyMacroblock = CopyMacroblockSse2;
  const HalfSampleKernel half16[2][4] = {
      {CopyBlockSse2<16>, HpelHSse2<16, 0>, HpelVSse2<16, 0>, HpelHVSse2<16, 0>},
      {CopyBlockSse2<16>, HpelHSse2<16, 1>, HpelVSse2<16, 1>, HpelHVSse2<16, 1>}};
  const HalfSampleKernel half8[2][4] = {{CopyBlockSse2<8>, HpelHSse2<8, 0>, HpelVSse2<8, 0>, HpelHVSse2<8, 0>},
                                        {CopyBlockSse2<8>, HpelHSse2<8, 1>, HpelVSse2<8, 1>, HpelHVSse2<8, 1>}};
  const HalfSampleKernel average16[4] = {HpelCopyAvgSse2<16>, HpelHAvgSse2<16>, HpelVAvgSse2<16>, HpelHVAvgSse2<16>};
  const HalfSampleKernel average8[4] = {HpelCopyAvgSse2<8>, HpelHAvgSse2<8>, HpelVAvgSse2<8>, HpelHVAvgSse2<8>};
  std::copy(&half16[0][0], &half16[0][0] + 8, &p.halfSample16[0][0]);
  std::copy(&half8[0][0], &half8[0][0] + 8, &p.halfSample8[0][0]);
  std::copy(average16, average16 + 4, p.averageHalfSample16);
  std::copy(average8, average8 + 4, p.averageHalfSample8);
  p.quarterSample = kSse2QuarterSampleKernels;
  tables.output = {PackYuy2Sse2, DeblockEdgeSse2};
}

}  // namespace

void InitDspTables(DspTables& tables, PictureVariant variant) {
  tables = kPlainTables;
  tables.prediction.quarterSample = kPlainQuarterSampleKernels;
  if (variant == PictureVariant::Simd) ApplySimdOverrides(tables);
}

}  // namespace tlx::mpeg4

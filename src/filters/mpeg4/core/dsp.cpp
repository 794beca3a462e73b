#include "dsp.h"

namespace tlx::mpeg4 {
namespace {

constexpr DspTables kPlainTables = {
    {PutIntraMacroblock, AddInterMacroblock},
    {PadBorders,
     CopyMacroblock,
     {{CopyBlock<16>, HpelH<16, 0>, HpelV<16, 0>, HpelHV<16, 0>},
      {CopyBlock<16>, HpelH<16, 1>, HpelV<16, 1>, HpelHV<16, 1>}},
     {{CopyBlock<8>, HpelH<8, 0>, HpelV<8, 0>, HpelHV<8, 0>}, {CopyBlock<8>, HpelH<8, 1>, HpelV<8, 1>, HpelHV<8, 1>}},
     {HpelCopyAvg<16>, HpelHAvg<16>, HpelVAvg<16>, HpelHVAvg<16>},
     {HpelCopyAvg<8>, HpelHAvg<8>, HpelVAvg<8>, HpelHVAvg<8>},
     {}},
    {PackYuy2},
};

// The vector kernels replace their plain twins slot by slot.
void ApplySimdOverrides(DspTables& tables) { tables.output.packYuy2 = PackYuy2Sse2; }

}  // namespace

void InitDspTables(DspTables& tables, PictureVariant variant) {
  tables = kPlainTables;
  tables.prediction.quarterSample = kPlainQuarterSampleKernels;
  if (variant == PictureVariant::Simd) ApplySimdOverrides(tables);
}

}  // namespace tlx::mpeg4

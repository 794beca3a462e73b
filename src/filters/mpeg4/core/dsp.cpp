#include "dsp.h"

namespace tlx::mpeg4 {
namespace {

constexpr DspTables kPlainTables = {
    {PutIntraMacroblock, AddInterMacroblock},
    {PadBorders, CopyMacroblock},
};

// The vector kernels replace their plain twins slot by slot as they come;
// none does yet.
void ApplySimdOverrides(DspTables&) {}

}  // namespace

void InitDspTables(DspTables& tables, PictureVariant variant) {
  tables = kPlainTables;
  if (variant == PictureVariant::Simd) ApplySimdOverrides(tables);
}

}  // namespace tlx::mpeg4

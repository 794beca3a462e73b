// The kernel tables of a decoder instance. Each table names the pixel kernels
// of one kind of work; an instance holds one set, filled once when it starts:
// the plain kernels first, then the overrides of the processor variant it
// chose. Every variant kernel gives the same bytes as its plain twin.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/core/block/reconstruction.h"
#include "filters/mpeg4/core/output/deblocking.h"
#include "filters/mpeg4/core/output/planar_output.h"
#include "filters/mpeg4/core/prediction_kernels.h"
#include "filters/mpeg4/core/quarter_sample_kernels.h"

namespace tlx::mpeg4 {

// Which picture kernels an instance uses (PlainPicture or SimdPicture).
enum class PictureVariant : uint32_t { Plain, Simd };

// Inverse quantisation of a block's coefficient list, and macroblock
// reconstruction by inverse DCT.
struct BlockKernels {
  DequantiseKernel dequantise;
  decltype(&PutIntraMacroblock) putIntraMacroblock;
  decltype(&AddInterMacroblock) addInterMacroblock;
};

// Reference-picture operations of motion compensation. The half-sample
// tables are indexed [rounding control][phase], phase = 2 x vertical half
// flag + horizontal half flag (0 copies).
struct PredictionKernels {
  decltype(&PadBorders) padBorders;
  decltype(&CopyMacroblock) copyMacroblock;
  HalfSampleKernel halfSample16[2][4];
  HalfSampleKernel halfSample8[2][4];
  // The averaging forms, by phase (their interpolation rounds up).
  HalfSampleKernel averageHalfSample16[4];
  HalfSampleKernel averageHalfSample8[4];
  QuarterSampleKernels quarterSample;
};

// Output of a returned picture: YUY2 packing, and the edge filter of the
// deblocking post-filter.
struct OutputKernels {
  PackYuy2Kernel packYuy2;
  DeblockEdgeKernel deblockEdge;
};

struct DspTables {
  BlockKernels block;
  PredictionKernels prediction;
  OutputKernels output;
};

// Fills every table: the plain kernels, then the variant's overrides.
void InitDspTables(DspTables& tables, PictureVariant variant);

}  // namespace tlx::mpeg4

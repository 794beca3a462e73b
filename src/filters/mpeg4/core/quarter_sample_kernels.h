// Plain quarter-sample kernels: the 8-tap half-sample lowpass with the block
// edges mirrored, horizontal pass before vertical pass (each rounded and
// clipped to 8 bits), and averages for the quarter positions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filters/mpeg4/core/prediction_kernels.h"

namespace tlx::mpeg4 {

// The quarter-sample kernels by position P = fx + 4·fy (fx, fy the
// fractional parts of the vector). A kernel reads at most (W + 1) x (rows + 1)
// samples from its source and writes W x rows; samples beyond that window
// are mirrored about its edge. The lowpass gives (8·sum + 128 - rc) / 256
// clipped to 0..255 and the quarter averages (d + s + 1 - rc) >> 1, with rc
// the rounding control. The averaging forms compute the rounding-control-0
// prediction and average it into the destination as (d + q + 1) >> 1.
struct QuarterSampleKernels {
  HalfSampleKernel put16[2][16];  // [rounding control][position], 16 columns
  HalfSampleKernel put8[2][16];
  HalfSampleKernel average16[16];
  HalfSampleKernel average8[16];
};

extern const QuarterSampleKernels kPlainQuarterSampleKernels;

}  // namespace tlx::mpeg4

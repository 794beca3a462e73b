// SSE2 forms of the quarter-sample kernels: the same bytes as
// kPlainQuarterSampleKernels, reading the same (W + 1) x (rows + 1) window.
#pragma once

#include "filters/mpeg4/core/quarter_sample_kernels.h"

namespace tlx::mpeg4 {

extern const QuarterSampleKernels kSse2QuarterSampleKernels;

}  // namespace tlx::mpeg4

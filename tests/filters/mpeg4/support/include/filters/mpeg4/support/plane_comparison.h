// Plane-by-plane comparison of decoded pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/reference_decoder.h"

namespace tlx::mpeg4::test {

struct PlaneDifference {
  int maxDifference = 0;
  double psnr = 0;        // infinity when the planes are equal
  bool identical = true;
};

// Compares width x height samples of `ours` (with its stride) against the
// tightly packed `reference`.
PlaneDifference ComparePlane(const uint8_t* ours, int stride, const std::vector<uint8_t>& reference, int width,
                             int height);

// Expects every plane of our picture `index` within maxDifference of
// libavcodec's and at least minPsnr.
void ExpectPlanesWithinGate(const CorePicture& ours, const ReferenceFrame& reference, size_t index, int maxDifference,
                            double minPsnr);

}  // namespace tlx::mpeg4::test

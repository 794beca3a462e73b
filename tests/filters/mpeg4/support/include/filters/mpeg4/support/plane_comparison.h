// Plane-by-plane comparison of decoded pictures.
#pragma once

#include <cstdint>
#include <vector>

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

}  // namespace tlx::mpeg4::test

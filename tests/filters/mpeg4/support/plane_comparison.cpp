#include "filters/mpeg4/support/plane_comparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace tlx::mpeg4::test {

PlaneDifference ComparePlane(const uint8_t* ours, int stride, const std::vector<uint8_t>& reference, int width,
                             int height) {
  PlaneDifference result;
  double squared = 0;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const int difference = std::abs(int(ours[row * stride + column]) - int(reference[size_t(row) * width + column]));
      if (difference > result.maxDifference) result.maxDifference = difference;
      squared += double(difference) * difference;
    }
  }
  result.identical = result.maxDifference == 0;
  const double mse = squared / (double(width) * height);
  result.psnr = mse == 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255.0 / mse);
  return result;
}

void ExpectPlanesWithinGate(const CorePicture& ours, const ReferenceFrame& reference, size_t index, int maxDifference,
                            double minPsnr) {
  struct Plane {
    const char* name;
    const std::vector<uint8_t>& ours;
    const std::vector<uint8_t>& reference;
    int width, height;
  } planes[] = {{"Y", ours.y, reference.y, reference.width, reference.height},
                {"U", ours.u, reference.u, reference.width / 2, reference.height / 2},
                {"V", ours.v, reference.v, reference.width / 2, reference.height / 2}};
  for (const Plane& plane : planes) {
    const PlaneDifference d = ComparePlane(plane.ours.data(), plane.width, plane.reference, plane.width, plane.height);
    EXPECT_LE(d.maxDifference, maxDifference) << "picture " << index << " plane " << plane.name;
    EXPECT_GE(d.psnr, minPsnr) << "picture " << index << " plane " << plane.name;
  }
}

}  // namespace tlx::mpeg4::test

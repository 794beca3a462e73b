#include "filters/mpeg4/support/plane_comparison.h"

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

}  // namespace tlx::mpeg4::test

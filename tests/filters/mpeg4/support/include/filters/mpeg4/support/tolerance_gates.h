// How close our decoded pictures must be to libavcodec's. These bounds may
// only be tightened.
#pragma once

namespace tlx::mpeg4::test {

// Intra pictures: the two integer inverse DCTs may differ by rounding only.
inline constexpr int kGateIntraMaxDifference = 2;
inline constexpr double kGateIntraMinPsnr = 55.0;

// Pictures with prediction, within a group of at most 12 pictures.
inline constexpr int kGatePredictedMaxDifference = 8;
inline constexpr double kGatePredictedMinPsnr = 50.0;

}  // namespace tlx::mpeg4::test

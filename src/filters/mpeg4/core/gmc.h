// Global motion compensation of S(GMC)-VOPs: the picture's warping
// trajectory, the warp parameters derived from it once per picture, and the
// prediction of one macroblock by warping the forward reference, sample by
// sample, with the vector the macroblock leaves for its neighbours.
#pragma once

#include <cstdint>

namespace tlx::mpeg4 {

struct MotionVectorState;

// The trajectory of the picture being decoded and what GmcPrepareWarp
// derives from it. Positions are in 1/2^rho samples, rho = accuracy + 1.
struct GmcParameters {
  uint32_t accuracy = 0;  // sprite warping accuracy, 0-3
  uint32_t points = 0;    // warping points, 0-3
  // The points in half samples, for the reference positions (0, 0), (W, 0)
  // and (0, H): twice the position plus the decoded trajectory value.
  int32_t pointX[3] = {};
  int32_t pointY[3] = {};
  int32_t width = 0;      // the layer's luma size, which the trajectory refers to
  int32_t height = 0;
  int32_t rho = 1;
  // Warp coefficients: position x' = floor((A x + B y + C) / 2^S),
  // y' = floor((D x + E y + F) / 2^S); chroma uses G and K in place of C, F.
  int64_t a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, g = 0, k = 0;
  int32_t shift = 0;  // S
};

// ((Wd - Wp)(c - 16a) + Wp(d - 16b)) / Wd rounded to the nearest integer,
// halves away from zero. Wd is not 0.
int32_t WarpRoundedDivide(int32_t a, int32_t b, int32_t c, int32_t d, int32_t wd, int32_t wp);

// The smallest power of two not below v (1 for v <= 1) and its exponent.
int32_t PowerOfTwoAtLeast(int32_t v, int32_t* exponent);

// Stores the trajectory of an S(GMC)-VOP for a layer of width x height and,
// for two or three points, prepares the warp. More than three points set
// kStatusUnsupported. Returns the state's status.
uint32_t GmcSetTrajectory(MotionVectorState& state, uint32_t accuracy, uint32_t points, const int32_t (&x)[3],
                          const int32_t (&y)[3], int32_t width, int32_t height);
// The warp coefficients of two or three points.
void GmcPrepareWarp(GmcParameters& gmc);

// Predict the macroblock at (column, row) from the forward reference by the
// trajectory (zero points: a copy; one: a translation; two or three: a warp)
// and record its vector (valid, mode kVectorModeOne) in the row, left and
// record slots. Return the state's status.
uint32_t GmcPredictStatic(MotionVectorState& state, uint32_t column, uint32_t row);
uint32_t GmcPredictTranslational(MotionVectorState& state, uint32_t column, uint32_t row);
uint32_t GmcPredictWarped(MotionVectorState& state, uint32_t column, uint32_t row);
// The one of the three the trajectory's point count selects.
uint32_t GmcPredict(MotionVectorState& state, uint32_t column, uint32_t row);

}  // namespace tlx::mpeg4

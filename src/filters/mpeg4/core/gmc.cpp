#include "filters/mpeg4/core/gmc.h"

#include <algorithm>

#include "filters/mpeg4/core/motion_vectors.h"
#include "filters/mpeg4/core/status.h"

namespace tlx::mpeg4 {
namespace {

int32_t Clamp(int64_t v, int64_t low, int64_t high) { return int32_t(std::clamp(v, low, high)); }

// A recorded vector component: the mean displacement of the 256 luma samples
// (their sum in 1/2^rho samples) in half samples, or quarter samples,
// rounded with halves away from zero, held to the forward range.
int32_t MeanVector(const MotionVectorState& state, int64_t sum) {
  const int32_t rho = state.gmc.rho;
  const int32_t shift = rho + (state.quarterSample != 0 ? 6 : 7);
  const int64_t rounded = (sum + (int64_t(1) << (shift - 1)) - (sum < 0 ? 1 : 0)) >> shift;
  const int32_t limit = 32 << state.forwardRange;
  return Clamp(rounded, -limit, limit - 1);
}

void Record(MotionVectorState& state, uint32_t column, uint32_t row, int32_t x, int32_t y) {
  StoreOneVector(state, column, row, VectorEntry{x, y, 1, 0});
}

}  // namespace

int32_t WarpRoundedDivide(int32_t a, int32_t b, int32_t c, int32_t d, int32_t wd, int32_t wp) {
  const int64_t n = int64_t(wd - wp) * (int64_t(c) - 16 * int64_t(a)) + int64_t(wp) * (int64_t(d) - 16 * int64_t(b));
  const int64_t twice = 2 * int64_t(wd);
  return int32_t(n >= 0 ? (2 * n + wd) / twice : -((-2 * n + wd) / twice));
}

int32_t PowerOfTwoAtLeast(int32_t v, int32_t* exponent) {
  int32_t e = 0;
  while ((int64_t(1) << e) < v) ++e;
  *exponent = e;
  return int32_t(1) << e;
}

void GmcPrepareWarp(GmcParameters& gmc) {
  const int32_t w = gmc.width, h = gmc.height;
  const int64_t a0 = 8 * int64_t(gmc.pointX[0]), b0 = 8 * int64_t(gmc.pointY[0]);
  int32_t alpha = 0, beta = 0;
  const int32_t wp = PowerOfTwoAtLeast(w, &alpha);
  const int32_t hp = PowerOfTwoAtLeast(h, &beta);
  const int64_t i1 = WarpRoundedDivide(0, w, int32_t(a0), 8 * gmc.pointX[1], w, wp) + 16 * int64_t(wp);
  const int64_t j1 = WarpRoundedDivide(0, 0, int32_t(b0), 8 * gmc.pointY[1], w, wp);
  int64_t m = wp;
  int32_t gamma = alpha;
  if (gmc.points == 2) {
    gmc.a = i1 - a0;
    gmc.b = b0 - j1;
    gmc.d = j1 - b0;
    gmc.e = i1 - a0;
  } else {
    const int64_t i2 = WarpRoundedDivide(0, 0, int32_t(a0), 8 * gmc.pointX[2], h, hp);
    const int64_t j2 = WarpRoundedDivide(0, h, int32_t(b0), 8 * gmc.pointY[2], h, hp) + 16 * int64_t(hp);
    int64_t kx = 1, ky = 1;
    if (alpha > beta) {
      ky = wp / hp;
    } else {
      kx = hp / wp;
      m = hp;
      gamma = beta;
    }
    gmc.a = kx * (i1 - a0);
    gmc.d = kx * (j1 - b0);
    gmc.b = ky * (i2 - a0);
    gmc.e = ky * (j2 - b0);
  }
  const int64_t r = int64_t(1) << (4 - gmc.rho);
  gmc.c = m * a0 + m * r / 2;
  gmc.f = m * b0 + m * r / 2;
  gmc.shift = gamma + 4 - gmc.rho;
  gmc.g = gmc.b + gmc.a + 2 * m * (r + a0 - 8);
  gmc.k = gmc.e + gmc.d + 2 * m * (r + b0 - 8);
}

uint32_t GmcSetTrajectory(MotionVectorState& state, uint32_t accuracy, uint32_t points, const int32_t (&x)[3],
                          const int32_t (&y)[3], int32_t width, int32_t height) {
  GmcParameters& gmc = state.gmc;
  if (points > 3 || accuracy > 3) {
    state.status |= kStatusUnsupported;
    return state.status;
  }
  gmc.accuracy = accuracy;
  gmc.points = points;
  gmc.rho = int32_t(accuracy) + 1;
  gmc.width = width;
  gmc.height = height;
  for (int i = 0; i < 3; ++i) {
    gmc.pointX[i] = x[i];
    gmc.pointY[i] = y[i];
  }
  if (points >= 2) GmcPrepareWarp(gmc);
  return state.status;
}

uint32_t GmcPredictStatic(MotionVectorState& state, uint32_t column, uint32_t row) {
  state.current->PredictLuma16Half(*state.kernels, *state.forward, int(16 * column), int(16 * row), 0, 0);
  state.current->PredictChroma8Half(*state.kernels, *state.forward, int(8 * column), int(8 * row), 0, 0);
  Record(state, column, row, 0, 0);
  return state.status;
}

uint32_t GmcPredictTranslational(MotionVectorState& state, uint32_t column, uint32_t row) {
  const GmcParameters& gmc = state.gmc;
  const Picture& reference = *state.forward;
  Picture& current = *state.current;
  const int32_t rho = gmc.rho, scale = 1 << rho;
  const int32_t limit = 32 << state.forwardRange;
  const int32_t du = Clamp(gmc.pointX[0], -limit, limit - 1);
  const int32_t dv = Clamp(gmc.pointY[0], -limit, limit - 1);
  const int32_t tu = du * (1 << gmc.accuracy), tv = dv * (1 << gmc.accuracy);
  const int64_t w = reference.width, h = reference.height;
  for (int j = 0; j < 16; ++j) {
    const int y = int(16 * row) + j;
    const int32_t py = Clamp(int64_t(tv) + int64_t(y) * scale, -15 * scale, (h + 15) * scale);
    for (int i = 0; i < 16; ++i) {
      const int x = int(16 * column) + i;
      const int32_t px = Clamp(int64_t(tu) + int64_t(x) * scale, -15 * scale, (w + 15) * scale);
      current.GmcLumaSample(reference, px, py, rho, x, y);
    }
  }
  const int32_t cu = (tu >> 1) | (tu & 1), cv = (tv >> 1) | (tv & 1);
  const int64_t wc = reference.chromaWidth, hc = reference.chromaHeight;
  for (int j = 0; j < 8; ++j) {
    const int y = int(8 * row) + j;
    const int32_t py = Clamp(int64_t(cv) + int64_t(y) * scale, -7 * scale, (hc + 7) * scale);
    for (int i = 0; i < 8; ++i) {
      const int x = int(8 * column) + i;
      const int32_t px = Clamp(int64_t(cu) + int64_t(x) * scale, -7 * scale, (wc + 7) * scale);
      current.GmcChromaSample(reference, px, py, rho, x, y);
    }
  }
  // In quarter samples the doubled vector is held to the range again, as
  // the warped form's is.
  const int32_t unit = state.quarterSample != 0 ? 2 : 1;
  Record(state, column, row, Clamp(du * unit, -limit, limit - 1), Clamp(dv * unit, -limit, limit - 1));
  return state.status;
}

uint32_t GmcPredictWarped(MotionVectorState& state, uint32_t column, uint32_t row) {
  const GmcParameters& gmc = state.gmc;
  const Picture& reference = *state.forward;
  Picture& current = *state.current;
  const int32_t rho = gmc.rho, scale = 1 << rho;
  const int64_t w = reference.width, h = reference.height;
  int64_t sumX = 0, sumY = 0;
  for (int j = 0; j < 16; ++j) {
    const int y = int(16 * row) + j;
    for (int i = 0; i < 16; ++i) {
      const int x = int(16 * column) + i;
      const int64_t px = (gmc.a * x + gmc.b * y + gmc.c) >> gmc.shift;
      const int64_t py = (gmc.d * x + gmc.e * y + gmc.f) >> gmc.shift;
      sumX += px - int64_t(x) * scale;
      sumY += py - int64_t(y) * scale;
      current.GmcLumaSample(reference, Clamp(px, -16 * scale, (w + 15) * scale),
                            Clamp(py, -16 * scale, (h + 15) * scale), rho, x, y);
    }
  }
  const int64_t wc = reference.chromaWidth, hc = reference.chromaHeight;
  for (int j = 0; j < 8; ++j) {
    const int y = int(8 * row) + j;
    for (int i = 0; i < 8; ++i) {
      const int x = int(8 * column) + i;
      const int64_t px = (4 * (gmc.a * x + gmc.b * y) + gmc.g) >> (gmc.shift + 2);
      const int64_t py = (4 * (gmc.d * x + gmc.e * y) + gmc.k) >> (gmc.shift + 2);
      current.GmcChromaSample(reference, Clamp(px, -8 * scale, (wc + 7) * scale),
                              Clamp(py, -8 * scale, (hc + 7) * scale), rho, x, y);
    }
  }
  Record(state, column, row, MeanVector(state, sumX), MeanVector(state, sumY));
  return state.status;
}

uint32_t GmcPredict(MotionVectorState& state, uint32_t column, uint32_t row) {
  switch (state.gmc.points) {
    case 0:
      return GmcPredictStatic(state, column, row);
    case 1:
      return GmcPredictTranslational(state, column, row);
    default:
      return GmcPredictWarped(state, column, row);
  }
}

}  // namespace tlx::mpeg4

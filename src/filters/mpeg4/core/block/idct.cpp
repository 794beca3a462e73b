#include "filters/mpeg4/core/block/idct.h"

#include <algorithm>

#include "filters/mpeg4/core/block/idct_constants.h"

namespace tlx::mpeg4 {
namespace {

// 32-bit lane arithmetic: sums wrap modulo 2^32, products of 16-bit values are
// exact. Conversions back to int32_t are modular.
inline uint32_t U(int32_t v) { return static_cast<uint32_t>(v); }
inline int32_t S(uint32_t v) { return static_cast<int32_t>(v); }
inline uint32_t Mul(int32_t a, int32_t b) { return U(a * b); }

// Upper half of a 32-bit lane times a 16-bit constant.
inline uint32_t HighMul(uint32_t v, int32_t m) { return Mul(S(v) >> 16, m); }

inline int16_t Saturate16(int32_t v) {
  return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
}

inline uint8_t ClampPixel(int32_t v) { return static_cast<uint8_t>(std::clamp<int32_t>(v, 0, 255)); }

// A destination sample plus a residual, formed in 16-bit two's complement as a
// packed 16-bit add does, then clamped to a byte.
inline uint8_t AddPixel(uint8_t p, int16_t r) {
  return ClampPixel(static_cast<int16_t>(static_cast<uint16_t>(p + r)));
}

// Scaling by 16 wraps in 16 bits, as the packed shift does.
inline int32_t Scale16(int16_t x) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint16_t>(x) << 4));
}

inline int16_t FinalShift(uint32_t v) { return Saturate16(S(v) >> kColumnShift); }

void PutRows(const int16_t residual[8][8], uint8_t* dst, ptrdiff_t stride) {
  for (int r = 0; r < 8; ++r, dst += stride)
    for (int c = 0; c < 8; ++c) dst[c] = ClampPixel(residual[r][c]);
}

void AddRows(const int16_t residual[8][8], uint8_t* dst, ptrdiff_t stride) {
  for (int r = 0; r < 8; ++r, dst += stride)
    for (int c = 0; c < 8; ++c) dst[c] = AddPixel(dst[c], residual[r][c]);
}

// Residuals of the full transform; rows without a shape bit contribute zeros
// and are not touched.
void FullResiduals(int16_t* block, uint32_t shape, int16_t residual[8][8]) {
  int32_t rows[8][8] = {};
  for (int r = 0; r < 8; ++r)
    if (shape & kRowMask[r]) IdctRowPass(block, r, rows[r]);
  for (int c = 0; c < 8; ++c) {
    int16_t column[8];
    IdctColumnPass(rows, c, column);
    for (int r = 0; r < 8; ++r) residual[r][c] = column[r];
  }
}

}  // namespace

// DC only: the full transform of a block with only coefficient (0, 0) reduces
// to (x0 + 4) >> 3 in 16-bit arithmetic.
int16_t IdctDcResidual(int16_t* block) {
  const int16_t v = static_cast<int16_t>(static_cast<int16_t>(static_cast<uint16_t>(block[0] + 4)) >> 3);
  std::fill(block, block + 4, int16_t{0});
  return v;
}

namespace {

// First row only: every column has row 0 as its only input, so the column pass
// reduces to the bias and the shift; all eight output rows are alike.
void FirstRowResiduals(int16_t* block, int16_t residual[8]) {
  int32_t y[8];
  IdctRowPass(block, 0, y);
  for (int c = 0; c < 8; ++c) residual[c] = FinalShift(U(y[c]) + kColumnBias);
}

void PutDc(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
  const uint8_t v = ClampPixel(IdctDcResidual(block));
  for (int r = 0; r < 8; ++r, dst += stride) std::fill(dst, dst + 8, v);
}

void AddDc(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
  const int16_t v = IdctDcResidual(block);
  for (int r = 0; r < 8; ++r, dst += stride)
    for (int c = 0; c < 8; ++c) dst[c] = AddPixel(dst[c], v);
}

void PutFirstRow(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
  int16_t residual[8];
  FirstRowResiduals(block, residual);
  for (int r = 0; r < 8; ++r, dst += stride)
    for (int c = 0; c < 8; ++c) dst[c] = ClampPixel(residual[c]);
}

void AddFirstRow(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
  int16_t residual[8];
  FirstRowResiduals(block, residual);
  for (int r = 0; r < 8; ++r, dst += stride)
    for (int c = 0; c < 8; ++c) dst[c] = AddPixel(dst[c], residual[c]);
}

// First column only: the row pass of a row whose only coefficient is in
// column 0 gives 16 * w4 * x in all eight outputs, so one column pass serves
// the whole block.
void AddFirstColumn(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
  int32_t rows[8][8] = {};
  for (int r = 0; r < 8; ++r) {
    rows[r][0] = S(Mul(Scale16(block[8 * r]), kRowConstants[r][3]));
    std::fill(block + 8 * r, block + 8 * r + 4, int16_t{0});
  }
  int16_t residual[8];
  IdctColumnPass(rows, 0, residual);
  for (int r = 0; r < 8; ++r, dst += stride)
    for (int c = 0; c < 8; ++c) dst[c] = AddPixel(dst[c], residual[r]);
}

}  // namespace

void IdctRowPass(int16_t* block, int row, int32_t out[8]) {
  int16_t* x = block + 8 * row;
  const int16_t* w = kRowConstants[row];
  const int32_t w1 = w[0], w2 = w[1], w3 = w[2], w4 = w[3], w5 = w[4], w6 = w[5], w7 = w[6];
  const int32_t s0 = Scale16(x[0]), s1 = Scale16(x[1]), s2 = Scale16(x[2]), s3 = Scale16(x[3]);
  const int32_t s4 = Scale16(x[4]), s5 = Scale16(x[5]), s6 = Scale16(x[6]), s7 = Scale16(x[7]);

  const uint32_t e0 = Mul(w4, s0) + Mul(w4, s4) + Mul(w2, s2) + Mul(w6, s6);
  const uint32_t e1 = Mul(w4, s0) - Mul(w4, s4) + Mul(w6, s2) - Mul(w2, s6);
  const uint32_t e2 = Mul(w4, s0) - Mul(w4, s4) - Mul(w6, s2) + Mul(w2, s6);
  const uint32_t e3 = Mul(w4, s0) + Mul(w4, s4) - Mul(w2, s2) - Mul(w6, s6);
  const uint32_t o0 = Mul(w1, s1) + Mul(w3, s3) + Mul(w5, s5) + Mul(w7, s7);
  const uint32_t o1 = Mul(w3, s1) - Mul(w7, s3) - Mul(w1, s5) - Mul(w5, s7);
  const uint32_t o2 = Mul(w5, s1) - Mul(w1, s3) + Mul(w7, s5) + Mul(w3, s7);
  const uint32_t o3 = Mul(w7, s1) - Mul(w5, s3) + Mul(w3, s5) - Mul(w1, s7);

  out[0] = S(e0 + o0);
  out[7] = S(e0 - o0);
  out[1] = S(e1 + o1);
  out[6] = S(e1 - o1);
  out[2] = S(e2 + o2);
  out[5] = S(e2 - o2);
  out[3] = S(e3 + o3);
  out[4] = S(e3 - o3);
  std::fill(x, x + 8, int16_t{0});
}

void IdctColumnPass(const int32_t rows[8][8], int column, int16_t residual[8]) {
  uint32_t X[8];
  for (int r = 0; r < 8; ++r) X[r] = U(rows[r][column]);

  // The grouping matters: HighMul drops the low half of its operand.
  const uint32_t A = X[3] + X[5] + HighMul(X[5], kT3);
  const uint32_t B = X[5] - X[3] - HighMul(X[3], kT3);
  const uint32_t V = X[1] + HighMul(X[7], kT1);
  const uint32_t Uo = HighMul(X[1], kT1) - X[7];
  const uint32_t E = V + A, F = V - A, G = Uo + B, H = Uo - B;
  const uint32_t I = (F + H) + HighMul(F + H, kT4);
  const uint32_t J = (F - H) + HighMul(F - H, kT4);
  const uint32_t L = X[2] + HighMul(X[6], kT2);
  const uint32_t K = HighMul(X[2], kT2) - X[6];
  const uint32_t M = X[0] + X[4] + kColumnBias;
  const uint32_t P = X[0] - X[4] + kColumnBias;
  const uint32_t N = M + L, O = M - L, Q = P + K, R = P - K;

  residual[0] = FinalShift(N + E);
  residual[7] = FinalShift(N - E);
  residual[1] = FinalShift(Q + I);
  residual[6] = FinalShift(Q - I);
  residual[2] = FinalShift(R + J);
  residual[5] = FinalShift(R - J);
  residual[3] = FinalShift(O + G);
  residual[4] = FinalShift(O - G);
}

void IdctDispatchPut(int16_t* block, uint8_t* dst, ptrdiff_t stride, uint32_t shape) {
  if (shape == 1) {
    PutDc(block, dst, stride);
  } else if ((shape & kRowsOneToSeven) == 0) {
    PutFirstRow(block, dst, stride);
  } else {
    int16_t residual[8][8];
    FullResiduals(block, shape, residual);
    PutRows(residual, dst, stride);
  }
}

void IdctDispatchAdd(int16_t* block, uint8_t* dst, ptrdiff_t stride, uint32_t shape) {
  if (shape == 1) {
    AddDc(block, dst, stride);
  } else if ((shape & kRowsOneToSeven) == 0) {
    AddFirstRow(block, dst, stride);
  } else if ((shape & kNotFirstColumnOfRowsZeroToSix) == 0) {
    AddFirstColumn(block, dst, stride);
  } else {
    int16_t residual[8][8];
    FullResiduals(block, shape, residual);
    AddRows(residual, dst, stride);
  }
}

}  // namespace tlx::mpeg4

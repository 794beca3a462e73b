// Inverse DCT of one dequantised 8x8 coefficient block, written into or added
// to an 8x8 area of a picture plane.
//
// The transform is a fixed-point row/column factorisation: the row pass folds
// the column cosine weights into per-row constants and keeps 32-bit sums, the
// column pass needs only tangent multipliers. Every sum wraps modulo 2^32 the
// way a packed 32-bit lane does, so this plain form gives the same bytes as any
// vector form of the same arithmetic, whatever the input.
//
// The shape word says which coefficient regions may be non-zero: for row r,
// one bit for column 0, one for columns 1-3, one for columns 4-7; rows 0-2 use
// bits 3r..3r+2, rows 3-7 bits 16+3(r-3)..16+3(r-3)+2. A shape of 1 means DC
// only. Every entry point leaves the coefficients it may have read at zero, so
// a block whose shape word covers its non-zero entries comes back all zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tlx::mpeg4 {

// Writes the clamped inverse DCT of block to the 8x8 area at dst; never reads
// the destination. stride is the signed byte distance between rows.
void IdctDispatchPut(int16_t* block, uint8_t* dst, ptrdiff_t stride, uint32_t shape);

// Adds the inverse DCT of block to the 8x8 area at dst, clamping each sample.
void IdctDispatchAdd(int16_t* block, uint8_t* dst, ptrdiff_t stride, uint32_t shape);

// The two passes of the full transform. IdctRowPass turns row `row` of block
// into eight unrounded 32-bit values and clears that row; IdctColumnPass turns
// column `column` of the 8x8 row-pass output into eight residuals saturated
// to 16 bits (one per row).
void IdctRowPass(int16_t* block, int row, int32_t out[8]);
void IdctColumnPass(const int32_t rows[8][8], int column, int16_t residual[8]);

// The residual of every sample of a block whose shape word is 1 (DC only);
// clears coefficients 0-3.
int16_t IdctDcResidual(int16_t* block);

// SSE2 forms of the two entry points: the same bytes out and the same
// coefficients cleared as the plain ones, for every input and shape word.
void IdctDispatchPutSse2(int16_t* block, uint8_t* dst, ptrdiff_t stride, uint32_t shape);
void IdctDispatchAddSse2(int16_t* block, uint8_t* dst, ptrdiff_t stride, uint32_t shape);

}  // namespace tlx::mpeg4

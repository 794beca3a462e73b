// Output of a decoded picture's planes as they are: planar copies into a
// caller buffer and YUY2 packing (Y0 U Y1 V, each chroma row serving the two
// luma rows it covers, without vertical filtering).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tlx::mpeg4 {

// Writes height rows of width bytes of `first` at lumaDestinationStride,
// then ceil(height / 2) rows of ceil(width / 2) bytes of `second` and then of
// `third` at chromaDestinationStride, each plane following the one before.
// Source rows advance by lumaStride and chromaStride.
void OutputPlanarRoutine(uint8_t* destination, const uint8_t* first, const uint8_t* second, const uint8_t* third,
                         int width, int height, ptrdiff_t lumaDestinationStride, ptrdiff_t chromaDestinationStride,
                         ptrdiff_t lumaStride, ptrdiff_t chromaStride);

// The planar output format: Y, U and V without padding (rows of width and of
// ceil(width / 2) bytes).
void CopyPlanar(uint8_t* destination, const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height,
                ptrdiff_t lumaStride, ptrdiff_t chromaStride);

// YUY2 rows of 2 x width bytes at `stride`; chroma stride is lumaStride / 2.
// Every byte of the area is written: an odd last row takes its chroma row
// alone, and an odd width ends with the Y and U bytes of its last pixel.
using PackYuy2Kernel = void (*)(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                                int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride);
void PackYuy2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width, int height,
              ptrdiff_t stride, ptrdiff_t lumaStride);
// Sixteen pixels of two rows per step; reads nothing beyond the plain form.
void PackYuy2Sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width, int height,
                  ptrdiff_t stride, ptrdiff_t lumaStride);

// The columns from `column` on of one YUY2 row (the plain form; the vector
// form finishes its rows with it).
void PackYuy2Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int column, int width);

}  // namespace tlx::mpeg4

// The part of a YUV-to-RGB converter that the MPEG-4 and AVC decoders share:
// the converter state (colour state and line buffers), the line-buffer
// layout, the row converters and the walks that split a 4:2:0 picture (Y
// plane, U and V at half width and height, chroma stride half the luma
// stride) into rows. Every function takes the kernel table its caller chose,
// so one body serves the plain and the SSE2 converters of both decoders; each
// owner keeps its own rule for when to allocate and what a failed allocation
// reports.
//
// Row placement: picture row r goes to destination row h - 1 - r (with a
// positive stride, bottom-up output); a caller that passes the last row and
// a negated stride gets top-down output.
//
// Every pixel of the width x height area is written, for any size of at
// least 1: an odd last column is converted as a co-sited pixel of its chroma
// sample; an odd last row reads the chroma row below it. Chroma rows are read
// in whole groups of 8 samples (up to 7 samples past the row's last) and the
// row after the last when the height is odd, which a decoded picture always
// holds. Luma and destination are touched only inside the area.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_kernels.h"

namespace tlx::mpeg4 {

// How a converter obtains and returns its line buffer.
struct ConverterAllocator {
  void* (*allocate)(size_t size);
  void (*release)(void* block);
};

// Default allocator: the C heap.
ConverterAllocator HeapConverterAllocator();

// What one converter owns: its colour state and its line buffer, one block
// that holds the two term windows (blockA, blockB) and the three term lines.
struct ConverterState {
  ColourState colour;
  int capacity = 0;  // the widest row, in pixels, the line buffer serves
  size_t blockSize = 0;
  void* block = nullptr;
  int16_t* blockA = nullptr;
  int16_t* blockB = nullptr;
  TermLines terms = {nullptr, nullptr, nullptr};
};

// Frees the old line buffer, then makes one for rows up to `width` pixels:
// 12E + 256 bytes, E = floor16(width / 2 + 23); blockA at its first 32-byte
// boundary, blockB 96 bytes on, terms.r 192 bytes after blockA, terms.g and
// terms.b 2E bytes apart. Returns the new capacity (`width`), or 0 when the
// allocation fails: the state then holds no buffer and capacity 0.
int ReserveLines(ConverterState& state, const ConverterAllocator& allocator, int width);

// Frees the line buffer; capacity 0.
void ReleaseLines(ConverterState& state, const ConverterAllocator& allocator);

// One row (RowBlend::None: destination2 and luma2 unused) or a pair of rows
// of `width` pixels (RowBlend in yuv_rgb_kernels.h): every chunk of 8 chroma
// samples but the last through the set's chunk loop, the last through the
// two windows, its odd pixel repeating the last term; a row of more than
// one chunk whose last chunk is whole (16 pixels) ends in the chunk loop
// instead, as its edge. Afterwards the term lines
// hold the given chroma row's terms. The line buffer must cover the width.
void ConvertRows(ConverterState& state, const YuvRgbKernels& kernels, RowBlend blend, RgbFormat format,
                 uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1, const uint8_t* luma2,
                 const uint8_t* cb, const uint8_t* cr, int width);

// The row modes of a picture conversion. The two shift modes are the RGB32
// operations that move the picture one row; their walk does not depend on
// the format.
enum class ConversionMode : int { Progressive, Fields, OneField, ShiftUp, ShiftDown };

// Converts the width x height picture (width, height >= 1; the line buffer
// must cover the width). Progressive: row 0 alone, pairs (2k-1, 2k) with
// chroma row k, the last row of an even height alone with chroma row h/2 - 1.
// Fields: each field walked with its own chroma rows, the top field first:
// row `field` alone, pairs (4j+2+field, 4j+4+field) with chroma row
// 2j+2+field, row 4q-2+field alone with chroma row 2q-2+field (q = h / 4).
// One field: the top field, each bottom-field row the average of its
// neighbours, the last row a copy of the one above. ShiftUp shows luma row
// d + 1 at row d and repeats the row two above at the bottom; ShiftDown shows
// luma row d - 1 at row d and repeats the row two below at the top. Below
// height 8 the field, one-field and shift modes convert progressively (a
// picture that short has no usable fields); rows from 4q on copy the row two
// above, which lies in the same field.
void ConvertPicture(ConverterState& state, const YuvRgbKernels& kernels, RgbFormat format, ConversionMode mode,
                    const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width,
                    int height, ptrdiff_t stride, ptrdiff_t lumaStride);

}  // namespace tlx::mpeg4

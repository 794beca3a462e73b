// The RGB converters of the AVC decoder filter: one object turns a decoded
// 4:2:0 picture into RGB555, RGB565, RGB24 or RGB32 rows, progressive or per
// field, through the walks and row converters the MPEG-4 decoder's converter
// shares (filters/mpeg4/core/yuv_rgb/yuv_rgb_walks.h, which states row
// placement and sizes). The classes differ only in their kernel set:
// CYuvRgbConverterC the plain kernels, CYuvRgbConverterMmx and
// CYuvRgbConverterSse the SSE2 kernels, which give the same bytes.
//
// Every walk takes (Y, U, V, first output row, width, height, signed output
// stride, luma stride); chroma rows have half the luma stride. Picture row 0
// goes to first row + (height - 1) x stride: a positive stride writes the
// picture bottom-up, the last row with a negated stride top-down.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_walks.h"

namespace tlx::avc {

class CYuvRgbConverter {
 public:
  CYuvRgbConverter(const CYuvRgbConverter&) = delete;
  CYuvRgbConverter& operator=(const CYuvRgbConverter&) = delete;
  virtual ~CYuvRgbConverter();

  // Colour state: fullRange non-zero selects the full-range coefficient set,
  // zero the studio-range set; lumaOffset = (((16 - lumaLift) x gain x 128)
  // >> 15) - 32. The SSE2 kernels' broadcast copies follow.
  void SetRange(int fullRange, int lumaLift);
  // Replaces the scratch block with one for lines up to `width` pixels (the
  // shared line-buffer layout). Returns the new capacity, or 0 after a failed
  // allocation, which leaves capacity 0 so that the next walk tries again.
  int ReserveLines(int width);

  // Progressive walks: row 0 alone, pairs (2k-1, 2k) with chroma row k, the
  // last row of an even height alone.
  void ToRgb555(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width, int height,
                ptrdiff_t stride, ptrdiff_t lumaStride);
  void ToRgb565(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width, int height,
                ptrdiff_t stride, ptrdiff_t lumaStride);
  void ToRgb24(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width, int height,
               ptrdiff_t stride, ptrdiff_t lumaStride);
  void ToRgb32(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width, int height,
               ptrdiff_t stride, ptrdiff_t lumaStride);
  // Field walks: each field converted with its own chroma rows, the top field
  // first; below height 8 progressive.
  void ToRgb555Fields(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width,
                      int height, ptrdiff_t stride, ptrdiff_t lumaStride);
  void ToRgb565Fields(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width,
                      int height, ptrdiff_t stride, ptrdiff_t lumaStride);
  void ToRgb24Fields(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width,
                     int height, ptrdiff_t stride, ptrdiff_t lumaStride);
  void ToRgb32Fields(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width,
                     int height, ptrdiff_t stride, ptrdiff_t lumaStride);
  // The field walk one row up: output row d shows picture row d + 1, the
  // last row of the fields repeats the row two above it; below height 8
  // progressive.
  void ToRgb32FieldsShifted(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width,
                            int height, ptrdiff_t stride, ptrdiff_t lumaStride);

  const mpeg4::ConverterState& state() const { return state_; }
  const mpeg4::YuvRgbKernels& kernels() const { return kernels_; }

 protected:
  // Studio range, luma lift 16, no scratch block.
  CYuvRgbConverter(const mpeg4::YuvRgbKernels& kernels, mpeg4::ConverterAllocator allocator);

 private:
  // Grows the scratch block when the picture is wider, then walks; nothing
  // is written for an empty area or when the block cannot be had.
  void Walk(mpeg4::RgbFormat format, mpeg4::ConversionMode mode, const uint8_t* y, const uint8_t* u,
            const uint8_t* v, uint8_t* destination, int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride);

  const mpeg4::YuvRgbKernels& kernels_;
  mpeg4::ConverterAllocator allocator_;
  mpeg4::ConverterState state_;
};

class CYuvRgbConverterC : public CYuvRgbConverter {
 public:
  explicit CYuvRgbConverterC(mpeg4::ConverterAllocator allocator = mpeg4::HeapConverterAllocator())
      : CYuvRgbConverter(mpeg4::kPlainYuvRgbKernels, allocator) {}
};

class CYuvRgbConverterMmx : public CYuvRgbConverter {
 public:
  explicit CYuvRgbConverterMmx(mpeg4::ConverterAllocator allocator = mpeg4::HeapConverterAllocator())
      : CYuvRgbConverter(mpeg4::kSse2YuvRgbKernels, allocator) {}
};

class CYuvRgbConverterSse : public CYuvRgbConverterMmx {
 public:
  using CYuvRgbConverterMmx::CYuvRgbConverterMmx;
};

}  // namespace tlx::avc

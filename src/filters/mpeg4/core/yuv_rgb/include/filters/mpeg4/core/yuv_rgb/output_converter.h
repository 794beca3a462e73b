// The output converter: turns a 4:2:0 picture (Y plane, U and V at half
// width and height, chroma stride half the luma stride) into packed RGB rows
// in a caller's buffer. It owns the colour state and the line buffers the
// row converters carry chroma terms in; its kernels come from the set its
// variant chose.
//
// Row placement: picture row r goes to destination row h - 1 - r (with a
// positive stride, bottom-up output); a caller that passes the last row and
// a negated stride gets top-down output.
//
// Every pixel of the width x height area is written, for any size of at
// least 1: an odd last column is converted as a co-sited pixel of its chroma
// sample; an odd last row reads the chroma row below it. Chroma rows are read
// in whole groups of 8 samples and the row after the last when the height is
// odd, which a decoded picture (whole macroblocks) always holds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_kernels.h"

namespace tlx::mpeg4 {

// What a converter reports after a failed line-buffer allocation.
inline constexpr uint32_t kConverterOutOfMemory = 0x81000000;

// How a converter obtains and returns its line buffer.
struct ConverterAllocator {
  void* (*allocate)(size_t size);
  void (*release)(void* block);
};

// Default allocator: the C heap.
ConverterAllocator HeapConverterAllocator();

// The row modes of a picture conversion. The two shift modes are the
// system's RGB32 operations; their walk does not depend on the format.
enum class ConversionMode : int { Progressive, Fields, OneField, ShiftUp, ShiftDown };

class OutputConverter {
 public:
  OutputConverter(const YuvRgbKernels& kernels, ConverterAllocator allocator);
  OutputConverter(const OutputConverter&) = delete;
  OutputConverter& operator=(const OutputConverter&) = delete;
  virtual ~OutputConverter();

  // Colour state for coefficient set (0 studio, else full range) and the
  // luma level: SetRange(set != 0, level); (0, 0) gives lumaOffset 1160,
  // (0, 16) and (1, 16) give -32, (1, 0) 992.
  void ConverterSetup(int coefficientSet, int level);
  // Replaces the line buffers with ones for pictures up to `width` wide: one
  // block of 12E + 256 bytes, E = floor16(width / 2 + 23); blockA at its first
  // 32-byte boundary, blockB 96 bytes on, termsR 192 bytes after blockA,
  // termsG and termsB 2E bytes apart. A failed allocation adds
  // kConverterOutOfMemory to status and leaves no buffers. Returns 0.
  uint32_t AllocateLineBuffers(int width);
  // Frees the line buffers.
  void ReleaseBuffers();

  // Row converters: `width` pixels of one or two rows. ConvertRow uses the
  // given chroma row alone; the pair converters blend the chroma row whose
  // terms the term lines hold (the previous call's) with the given one:
  // progressive 3/4-1/4 then 1/4-3/4, top field 5/8-3/8 then 1/8-7/8, bottom
  // field 7/8-1/8 then 3/8-5/8. Afterwards the term lines hold the given
  // row's terms. The line buffers must cover the width.
  void ConvertRow(RgbFormat format, uint8_t* destination, const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                  int width);
  void ConvertRowPair(RgbFormat format, uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1,
                      const uint8_t* luma2, const uint8_t* cb, const uint8_t* cr, int width);
  void ConvertRowPairTopField(RgbFormat format, uint8_t* destination1, uint8_t* destination2, const uint8_t* luma1,
                              const uint8_t* luma2, const uint8_t* cb, const uint8_t* cr, int width);
  void ConvertRowPairBottomField(RgbFormat format, uint8_t* destination1, uint8_t* destination2,
                                 const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb, const uint8_t* cr,
                                 int width);

  // Picture operations: (Y, U, V, destination, width, height, destination
  // stride, luma stride) -> 0 or the non-zero status (nothing written).
  // Progressive: row 0 alone, pairs (2k-1, 2k) with chroma row k, the last
  // row alone. Fields: each field walked with its own chroma rows, the top
  // field first. One field: the top field, each bottom-field row the average
  // of its neighbours, the last row a copy of the one above. ShiftUp shows
  // luma row d + 1 at row d and repeats the row two above at the bottom;
  // ShiftDown shows luma row d - 1 at row d and repeats the row two below at
  // the top. Below height 8 the field, one-field and shift operations convert
  // progressively; rows from 4 x floor(height / 4) on copy the row two above.
  uint32_t Convert(RgbFormat format, ConversionMode mode, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                   uint8_t* destination, int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride);

  const ColourState& Colour() const { return colour_; }
  int LineCapacity() const { return lineCapacity_; }
  size_t LineBufferSize() const { return lineBufferSize_; }
  int16_t* BlockA() const { return blockA_; }
  int16_t* BlockB() const { return blockB_; }
  const TermLines& Terms() const { return terms_; }
  uint32_t status = 0;

 private:
  enum class Blend { None, Progressive, TopField, BottomField };
  // Where picture rows land and where they are read from.
  struct Walk;

  void ConvertRows(Blend blend, RgbFormat format, uint8_t* destination1, uint8_t* destination2,
                   const uint8_t* luma1, const uint8_t* luma2, const uint8_t* cb, const uint8_t* cr, int width);
  // Packs the last (partial) chunk of a row from one window.
  void PackTail(RgbFormat format, uint8_t* destination, const uint8_t* luma, const int16_t* window, int pairs,
                int pixels);
  uint32_t Prepare(int width);
  void WalkProgressive(const Walk& walk, int height);
  void WalkField(const Walk& walk, int field, int height4, int shift, bool lastRow);
  void AverageRow(const Walk& walk, int row, int above, int below);
  void CopyRow(const Walk& walk, int row, int source);

  const YuvRgbKernels& kernels_;
  ConverterAllocator allocator_;
  ColourState colour_;
  int lineCapacity_ = 0;
  size_t lineBufferSize_ = 0;
  void* lineBuffer_ = nullptr;
  int16_t* blockA_ = nullptr;
  int16_t* blockB_ = nullptr;
  TermLines terms_ = {nullptr, nullptr, nullptr};
};

// The variants an instance chooses from: MMX-class processors are served by
// the plain kernels, integer-SSE and SSE2 ones by the SSE2 kernels.
class MmxOutputConverter : public OutputConverter {
 public:
  explicit MmxOutputConverter(ConverterAllocator allocator) : OutputConverter(kPlainYuvRgbKernels, allocator) {}
};

class IsseOutputConverter : public OutputConverter {
 public:
  explicit IsseOutputConverter(ConverterAllocator allocator) : OutputConverter(kSse2YuvRgbKernels, allocator) {}
};

class Sse2OutputConverter : public OutputConverter {
 public:
  explicit Sse2OutputConverter(ConverterAllocator allocator) : OutputConverter(kSse2YuvRgbKernels, allocator) {}
};

}  // namespace tlx::mpeg4

// The output converter of the MPEG-4 decoder: turns a 4:2:0 picture into
// packed RGB rows in a caller's buffer through the shared walks
// (yuv_rgb_walks.h, which also state row placement and sizes). It owns the
// converter state; its kernels come from the set its variant chose. A failed
// line-buffer allocation is sticky: it stays in `status`, and every later
// conversion writes nothing and reports it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filters/mpeg4/core/yuv_rgb/yuv_rgb_walks.h"

namespace tlx::mpeg4 {

// What a converter reports after a failed line-buffer allocation.
inline constexpr uint32_t kConverterOutOfMemory = 0x81000000;

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
  // Replaces the line buffers with ones for pictures up to `width` wide, in
  // ReserveLines' layout. A failed allocation adds
  // kConverterOutOfMemory to status and leaves no buffers. Returns 0.
  uint32_t AllocateLineBuffers(int width);
  // Frees the line buffers.
  void ReleaseBuffers();

  // Picture operations (ConvertPicture's modes): (Y, U, V, destination,
  // width, height, destination stride, luma stride) -> 0, or the non-zero
  // status with nothing written. An empty area writes nothing.
  uint32_t Convert(RgbFormat format, ConversionMode mode, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                   uint8_t* destination, int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride);

  const ColourState& Colour() const { return state_.colour; }
  int LineCapacity() const { return state_.capacity; }
  size_t LineBufferSize() const { return state_.blockSize; }
  int16_t* BlockA() const { return state_.blockA; }
  int16_t* BlockB() const { return state_.blockB; }
  const TermLines& Terms() const { return state_.terms; }
  uint32_t status = 0;

 private:
  const YuvRgbKernels& kernels_;
  ConverterAllocator allocator_;
  ConverterState state_;
};

// The variants an instance chooses from: MMX-class processors are served by
// the plain kernels, integer-SSE and SSE2 ones by the vector set the
// instance's feature word selects (VectorYuvRgbKernels).
class MmxOutputConverter : public OutputConverter {
 public:
  explicit MmxOutputConverter(ConverterAllocator allocator) : OutputConverter(kPlainYuvRgbKernels, allocator) {}
};

class IsseOutputConverter : public OutputConverter {
 public:
  IsseOutputConverter(ConverterAllocator allocator, uint32_t features)
      : OutputConverter(VectorYuvRgbKernels(features), allocator) {}
};

class Sse2OutputConverter : public OutputConverter {
 public:
  Sse2OutputConverter(ConverterAllocator allocator, uint32_t features)
      : OutputConverter(VectorYuvRgbKernels(features), allocator) {}
};

}  // namespace tlx::mpeg4

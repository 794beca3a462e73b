#include "filters/mpeg4/core/yuv_rgb/output_converter.h"

namespace tlx::mpeg4 {

OutputConverter::OutputConverter(const YuvRgbKernels& kernels, ConverterAllocator allocator)
    : kernels_(kernels), allocator_(allocator) {
  SetRange(state_.colour, 0, 16);
}

OutputConverter::~OutputConverter() { ReleaseBuffers(); }

void OutputConverter::ConverterSetup(int coefficientSet, int level) { SetRange(state_.colour, coefficientSet, level); }

uint32_t OutputConverter::AllocateLineBuffers(int width) {
  if (ReserveLines(state_, allocator_, width) == 0) status |= kConverterOutOfMemory;
  return 0;
}

void OutputConverter::ReleaseBuffers() { ReleaseLines(state_, allocator_); }

uint32_t OutputConverter::Convert(RgbFormat format, ConversionMode mode, const uint8_t* y, const uint8_t* u,
                                  const uint8_t* v, uint8_t* destination, int width, int height, ptrdiff_t stride,
                                  ptrdiff_t lumaStride) {
  if (width <= 0 || height <= 0) return status;
  if (status == 0 && width > state_.capacity) AllocateLineBuffers(width);
  if (status != 0) return status;
  ConvertPicture(state_, kernels_, format, mode, y, u, v, destination, width, height, stride, lumaStride);
  return 0;
}

}  // namespace tlx::mpeg4

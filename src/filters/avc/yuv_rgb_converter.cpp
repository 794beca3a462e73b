#include "yuv_rgb_converter.h"

namespace tlx::avc {

using mpeg4::ConversionMode;
using mpeg4::RgbFormat;

CYuvRgbConverter::CYuvRgbConverter(const mpeg4::YuvRgbKernels& kernels, mpeg4::ConverterAllocator allocator)
    : kernels_(kernels), allocator_(allocator) {
  mpeg4::SetRange(state_.colour, 0, 16);
}

CYuvRgbConverter::~CYuvRgbConverter() { mpeg4::ReleaseLines(state_, allocator_); }

void CYuvRgbConverter::SetRange(int fullRange, int lumaLift) { mpeg4::SetRange(state_.colour, fullRange, lumaLift); }

int CYuvRgbConverter::ReserveLines(int width) { return mpeg4::ReserveLines(state_, allocator_, width); }

void CYuvRgbConverter::Walk(RgbFormat format, ConversionMode mode, const uint8_t* y, const uint8_t* u,
                            const uint8_t* v, uint8_t* destination, int width, int height, ptrdiff_t stride,
                            ptrdiff_t lumaStride) {
  if (width <= 0 || height <= 0) return;
  if (width > state_.capacity && ReserveLines(width) == 0) return;
  mpeg4::ConvertPicture(state_, kernels_, format, mode, y, u, v, destination, width, height, stride, lumaStride);
}

void CYuvRgbConverter::ToRgb555(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                                int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride) {
  Walk(RgbFormat::Rgb555, ConversionMode::Progressive, y, u, v, destination, width, height, stride, lumaStride);
}

void CYuvRgbConverter::ToRgb565(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                                int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride) {
  Walk(RgbFormat::Rgb565, ConversionMode::Progressive, y, u, v, destination, width, height, stride, lumaStride);
}

void CYuvRgbConverter::ToRgb24(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                               int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride) {
  Walk(RgbFormat::Rgb24, ConversionMode::Progressive, y, u, v, destination, width, height, stride, lumaStride);
}

void CYuvRgbConverter::ToRgb32(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                               int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride) {
  Walk(RgbFormat::Rgb32, ConversionMode::Progressive, y, u, v, destination, width, height, stride, lumaStride);
}

void CYuvRgbConverter::ToRgb555Fields(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                                      int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride) {
  Walk(RgbFormat::Rgb555, ConversionMode::Fields, y, u, v, destination, width, height, stride, lumaStride);
}

void CYuvRgbConverter::ToRgb565Fields(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                                      int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride) {
  Walk(RgbFormat::Rgb565, ConversionMode::Fields, y, u, v, destination, width, height, stride, lumaStride);
}

void CYuvRgbConverter::ToRgb24Fields(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                                     int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride) {
  Walk(RgbFormat::Rgb24, ConversionMode::Fields, y, u, v, destination, width, height, stride, lumaStride);
}

void CYuvRgbConverter::ToRgb32Fields(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                                     int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride) {
  Walk(RgbFormat::Rgb32, ConversionMode::Fields, y, u, v, destination, width, height, stride, lumaStride);
}

void CYuvRgbConverter::ToRgb32FieldsShifted(const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                            uint8_t* destination, int width, int height, ptrdiff_t stride,
                                            ptrdiff_t lumaStride) {
  Walk(RgbFormat::Rgb32, ConversionMode::ShiftUp, y, u, v, destination, width, height, stride, lumaStride);
}

}  // namespace tlx::avc

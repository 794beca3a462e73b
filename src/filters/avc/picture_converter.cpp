#include "picture_converter.h"

#include <cstring>
#include <utility>

#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"

namespace tlx::avc {

uint32_t CPictureConverter::ProcessorFeatures() { return mpeg4::MaskedCpuFeatures(); }

int CPictureConverter::Select(uint32_t features) {
  const bool simd = (features & (mpeg4::kFeatureSse2 | mpeg4::kFeatureIntegerSse | mpeg4::kFeatureMmx)) != 0;
  formatConverter_ = std::make_unique<CYuvFormatConverter>(simd);
  if ((features & (mpeg4::kFeatureSse2 | mpeg4::kFeatureIntegerSse)) != 0)
    rgbConverter_ = std::make_unique<CYuvRgbConverterSse>();
  else if ((features & mpeg4::kFeatureMmx) != 0)
    rgbConverter_ = std::make_unique<CYuvRgbConverterMmx>();
  else
    rgbConverter_ = std::make_unique<CYuvRgbConverterC>();
  rangeMode_ = 0;
  lumaOffset_ = 16;
  ready_ = true;
  return 1;
}

int CPictureConverter::PlanarConvert(const Planes& source, int width, int height, uint32_t sourceFormat,
                                     const Planes& destination, uint32_t destinationFormat) const {
  const bool copy = ((sourceFormat & kFormatPlanar420) && (destinationFormat & kFormatYv12)) ||
                    ((sourceFormat & kFormatYv12) && (destinationFormat & kFormatPlanar420));
  if (!copy || width <= 0 || height <= 0) return 0;
  for (int row = 0; row < height; ++row)
    std::memcpy(destination.plane[0] + row * destination.stride[0], source.plane[0] + row * source.stride[0], width);
  // The first chroma plane of one side is the second of the other.
  for (int row = 0; row < height / 2; ++row) {
    std::memcpy(destination.plane[2] + row * destination.stride[2], source.plane[1] + row * source.stride[1],
                width / 2);
    std::memcpy(destination.plane[1] + row * destination.stride[1], source.plane[2] + row * source.stride[2],
                width / 2);
  }
  return 1;
}

int CPictureConverter::PackedConvert(const Planes& source, int width, int height, uint32_t sourceFormat,
                                     uint32_t option, uint8_t* destination, int destinationRowBytes,
                                     uint32_t destinationFormat) {
  if (!ready_ && Select() == 0) return 0;
  const bool fullRange = (option & kOptionFullRange) != 0;
  formatConverter_->SetRange(fullRange ? 1 : 2, rangeMode_);
  rgbConverter_->SetRange(fullRange ? 1 : 0, fullRange ? lumaOffset_ : 0);
  Planes planar = source;
  if (sourceFormat & kFormatYv12) {
    std::swap(planar.plane[1], planar.plane[2]);
    std::swap(planar.stride[1], planar.stride[2]);
  } else if (!(sourceFormat & kFormatPlanar420)) {
    return 0;
  }
  if (width <= 0 || height <= 0) return 0;
  const bool interlaced = (sourceFormat & kSourceInterlaced) != 0;
  if (!(destinationFormat & kFormatYuy2))
    return RgbConvert(planar, width, height, interlaced, option, destination, destinationRowBytes, destinationFormat);
  const PlanarSource yuv{planar.plane[0], planar.plane[1], planar.plane[2], planar.stride[0], planar.stride[1]};
  if (interlaced)
    formatConverter_->Yuv420ToYuy2Interlaced(yuv, width, height, destination, destinationRowBytes);
  else
    formatConverter_->Yuv420ToYuy2Progressive(yuv, width, height, destination, destinationRowBytes);
  return 1;
}

namespace {

using RgbWalk = void (CYuvRgbConverter::*)(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination,
                                           int width, int height, ptrdiff_t stride, ptrdiff_t lumaStride);

// The walks of each RGB output format.
struct RgbSlots {
  uint32_t format;
  int pixelBytes;
  RgbWalk progressive;
  RgbWalk fields;
};

constexpr RgbSlots kRgbSlots[] = {
    {kFormatRgb555, 2, &CYuvRgbConverter::ToRgb555, &CYuvRgbConverter::ToRgb555Fields},
    {kFormatRgb565, 2, &CYuvRgbConverter::ToRgb565, &CYuvRgbConverter::ToRgb565Fields},
    {kFormatRgb24, 3, &CYuvRgbConverter::ToRgb24, &CYuvRgbConverter::ToRgb24Fields},
    {kFormatRgb32, 4, &CYuvRgbConverter::ToRgb32, &CYuvRgbConverter::ToRgb32Fields},
};

}  // namespace

int CPictureConverter::RgbConvert(const Planes& planar, int width, int height, bool interlaced, uint32_t option,
                                  uint8_t* destination, int destinationRowBytes, uint32_t destinationFormat) {
  const RgbSlots* slots = nullptr;
  for (const RgbSlots& candidate : kRgbSlots) {
    if (destinationFormat & candidate.format) {
      slots = &candidate;
      break;
    }
  }
  if (slots == nullptr) return 0;
  // The walks read chroma rows at half the luma stride and write whole rows.
  const int lumaStride = planar.stride[0];
  if (planar.stride[1] != lumaStride / 2 || planar.stride[2] != lumaStride / 2 ||
      int64_t{width} * slots->pixelBytes > destinationRowBytes)
    return 0;
  ptrdiff_t stride = destinationRowBytes;
  if (option & kOptionRowsFromLast) {
    destination += stride * (height - 1);
    stride = -stride;
  }
  RgbWalk walk = interlaced ? slots->fields : slots->progressive;
  if (interlaced && slots->format == kFormatRgb32 && (option & kOptionShiftedFields))
    walk = &CYuvRgbConverter::ToRgb32FieldsShifted;
  ((*rgbConverter_).*walk)(planar.plane[0], planar.plane[1], planar.plane[2], destination, width, height, stride,
                           lumaStride);
  return 1;
}

}  // namespace tlx::avc

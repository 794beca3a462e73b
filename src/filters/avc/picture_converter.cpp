#include "picture_converter.h"

#include <cstring>
#include <utility>

#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"
#include "win32/cpu_features.h"

namespace tlx::avc {

uint32_t CPictureConverter::ProcessorFeatures() {
  uint32_t features = mpeg4::ProbeCpuFeatures();
  if (const auto mask = win32::CpuFeatureMask()) features &= *mask;
  return features;
}

int CPictureConverter::Select(uint32_t features) {
  const bool simd = (features & (mpeg4::kFeatureSse2 | mpeg4::kFeatureIntegerSse | mpeg4::kFeatureMmx)) != 0;
  formatConverter_ = std::make_unique<CYuvFormatConverter>(simd);
  rangeMode_ = 0;
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
  formatConverter_->SetRange(option & kOptionFullRange ? 1 : 2, rangeMode_);
  Planes planar = source;
  if (sourceFormat & kFormatYv12) {
    std::swap(planar.plane[1], planar.plane[2]);
    std::swap(planar.stride[1], planar.stride[2]);
  } else if (!(sourceFormat & kFormatPlanar420)) {
    return 0;
  }
  if (!(destinationFormat & kFormatYuy2) || width <= 0 || height <= 0) return 0;
  const PlanarSource yuv{planar.plane[0], planar.plane[1], planar.plane[2], planar.stride[0], planar.stride[1]};
  if (sourceFormat & kSourceInterlaced)
    formatConverter_->Yuv420ToYuy2Interlaced(yuv, width, height, destination, destinationRowBytes);
  else
    formatConverter_->Yuv420ToYuy2Progressive(yuv, width, height, destination, destinationRowBytes);
  return 1;
}

}  // namespace tlx::avc

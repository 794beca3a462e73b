// Turns a decoded 4:2:0 picture into the memory layout of the filter's output
// type: YV12 by plane copy, YUY2 by chroma up-sampling and packing, RGB555,
// RGB565, RGB24 and RGB32 through the RGB converter. The variants of both
// converters are chosen once per configuration from the processor feature
// word.
#pragma once

#include <cstdint>
#include <memory>

#include "yuv_format_converter.h"
#include "yuv_rgb_converter.h"

namespace tlx::avc {

// Format and option words of the conversions.
inline constexpr uint32_t kFormatPlanar420 = 0x400000;
inline constexpr uint32_t kFormatPlanar422 = 0x800000;
inline constexpr uint32_t kFormatYv12 = 0x8000000;  // 4:2:0 with the V plane before the U plane
inline constexpr uint32_t kSourceInterlaced = 0x10;
inline constexpr uint32_t kSourceProgressive = 0x20;
inline constexpr uint32_t kFormatYuy2 = 0x200000;
inline constexpr uint32_t kFormatRgb32 = 0x80000;
inline constexpr uint32_t kFormatRgb24 = 0x40000;
inline constexpr uint32_t kFormatRgb565 = 0x20000;
inline constexpr uint32_t kFormatRgb555 = 0x10000;
inline constexpr uint32_t kOptionFullRange = 0x1;
inline constexpr uint32_t kOptionStudioRange = 0x2;
// Start at the last destination row and step back one row at a time.
inline constexpr uint32_t kOptionRowsFromLast = 0x100;
// Interlaced RGB32 through the field walk one row up.
inline constexpr uint32_t kOptionShiftedFields = 0x2000;

// Planes of a picture and their strides, in Y, U, V order (for YV12: Y, V, U).
struct Planes {
  uint8_t* plane[3];
  int stride[3];
};

class CPictureConverter {
 public:
  // The feature word of this processor, masked by TLX_CPU_FEATURES.
  static uint32_t ProcessorFeatures();

  // Picks the variants for the feature word: with SSE2 or SSE (or the AMD
  // MMX extensions) the SIMD format converter and CYuvRgbConverterSse, with
  // MMX the SIMD format converter and CYuvRgbConverterMmx, else the plain
  // format converter and CYuvRgbConverterC. 1 when done.
  int Select(uint32_t features);
  int Select() { return Select(ProcessorFeatures()); }

  // 4:2:0 to YV12 or back by plane copy: 1, or 0 for any other pair.
  int PlanarConvert(const Planes& source, int width, int height, uint32_t sourceFormat, const Planes& destination,
                    uint32_t destinationFormat) const;
  // To a packed format: 1, or 0 when there is no converter for it (nothing
  // is written then). Selects first when not ready. Both converters take the
  // range of option bit 0x1 first. YUY2 rows run top-down. RGB: the progressive
  // walk for a progressive source, the field walk for an interlaced one (the
  // shifted one for RGB32 with kOptionShiftedFields); picture row 0 lands in
  // the last of the height rows, or in the first with kOptionRowsFromLast. RGB
  // needs chroma strides of half the luma stride and rows of at least width
  // pixels, else 0.
  int PackedConvert(const Planes& source, int width, int height, uint32_t sourceFormat, uint32_t option,
                    uint8_t* destination, int destinationRowBytes, uint32_t destinationFormat);

  bool ready() const { return ready_; }
  const CYuvFormatConverter* formatConverter() const { return formatConverter_.get(); }
  const CYuvRgbConverter* rgbConverter() const { return rgbConverter_.get(); }

 private:
  int RgbConvert(const Planes& planar, int width, int height, bool interlaced, uint32_t option, uint8_t* destination,
                 int destinationRowBytes, uint32_t destinationFormat);

  bool ready_ = false;
  std::unique_ptr<CYuvFormatConverter> formatConverter_;
  std::unique_ptr<CYuvRgbConverter> rgbConverter_;
  int rangeMode_ = 0;
  int lumaOffset_ = 16;
};

}  // namespace tlx::avc

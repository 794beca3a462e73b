// Planar 4:2:0 to packed YUY2, in a plain and a SIMD variant. The variants
// differ only in rounding: the plain one truncates the vertical chroma
// filter, the SIMD one adds half before the shift.
#pragma once

#include <array>
#include <cstdint>

namespace tlx::avc {

// One YUY2 row: luma y, chroma (wa * a + wb * b) >> shift per plane, for
// exactly width pixels (an odd last pixel writes its Y and U only).
using Yuy2RowKernel = void (*)(const uint8_t* y, const uint8_t* ua, const uint8_t* ub, const uint8_t* va,
                               const uint8_t* vb, int wa, int wb, int shift, uint8_t* destination, int width);

struct YuvFormatDsp {
  Yuy2RowKernel yuy2Row;
};

void InitYuvFormatDspC(YuvFormatDsp* dsp);
void InitYuvFormatDspSse2(YuvFormatDsp* dsp);

// Planes of a 4:2:0 source picture.
struct PlanarSource {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int lumaStride;
  int chromaStride;
};

class CYuvFormatConverter {
 public:
  explicit CYuvFormatConverter(bool simd);

  // Mode 1: full-range coefficients with the given luma offset; any other
  // mode the studio-range set with offset 16.
  void SetRange(int mode, int offset);
  // Rows 0 and last take chroma rows 0 and last; rows 2k + 1 and 2k + 2
  // weigh rows k and k + 1 by 3:1 and 1:3.
  void Yuv420ToYuy2Progressive(const PlanarSource& source, int width, int height, uint8_t* destination,
                               int destinationStride) const;
  // Per field: rows 0, 1 and the last two take their chroma rows as they
  // are; rows 4k + 2 .. 4k + 5 weigh the field's neighbouring chroma rows
  // 5:3, 7:1, 1:7, 3:5.
  void Yuv420ToYuy2Interlaced(const PlanarSource& source, int width, int height, uint8_t* destination,
                              int destinationStride) const;

  bool simd() const { return simd_; }
  const std::array<int16_t, 3>& lumaCoefficients() const { return lumaCoefficients_; }
  int lumaOffset() const { return lumaOffset_; }

 private:
  bool simd_;
  YuvFormatDsp dsp_;
  std::array<int16_t, 3> lumaCoefficients_{};  // RGB to Y, units of 1/8192
  int lumaOffset_ = 16;
};

}  // namespace tlx::avc

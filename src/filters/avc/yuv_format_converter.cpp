#include "yuv_format_converter.h"

#include <algorithm>

namespace tlx::avc {
namespace {

void Yuy2RowC(const uint8_t* y, const uint8_t* ua, const uint8_t* ub, const uint8_t* va, const uint8_t* vb, int wa,
              int wb, int shift, uint8_t* destination, int width) {
  for (int x = 0; x < width; x += 2) {
    const int c = x / 2;
    destination[2 * x] = y[x];
    destination[2 * x + 1] = static_cast<uint8_t>((wa * ua[c] + wb * ub[c]) >> shift);
    if (x + 1 == width) break;
    destination[2 * x + 2] = y[x + 1];
    destination[2 * x + 3] = static_cast<uint8_t>((wa * va[c] + wb * vb[c]) >> shift);
  }
}

// The row of chroma a source row r of a field or frame uses, kept inside the
// picture and on the same field.
int ChromaRow(int index, int chromaRows) {
  while (index >= chromaRows) index -= 2;
  return std::max(index, 0);
}

}  // namespace

void InitYuvFormatDspC(YuvFormatDsp* dsp) { dsp->yuy2Row = Yuy2RowC; }

CYuvFormatConverter::CYuvFormatConverter(bool simd) : simd_(simd) {
  InitYuvFormatDspC(&dsp_);
  if (simd) InitYuvFormatDspSse2(&dsp_);
  SetRange(0, 16);
}

void CYuvFormatConverter::SetRange(int mode, int offset) {
  if (mode == 1) {
    lumaCoefficients_ = {2449, 4808, 933};
    lumaOffset_ = offset;
  } else {
    lumaCoefficients_ = {2097, 4128, 802};
    lumaOffset_ = 16;
  }
}

void CYuvFormatConverter::Yuv420ToYuy2Progressive(const PlanarSource& source, int width, int height,
                                                  uint8_t* destination, int destinationStride) const {
  const int chromaRows = (height + 1) / 2;
  for (int row = 0; row < height; ++row) {
    int a, b, wa, wb;
    if (row == 0 || row == height - 1) {
      a = b = row == 0 ? 0 : chromaRows - 1;
      wa = 4, wb = 0;
    } else {
      const int k = (row - 1) / 2;
      a = k, b = ChromaRow(k + 1, chromaRows);
      wa = (row - 1) % 2 == 0 ? 3 : 1;
      wb = 4 - wa;
    }
    dsp_.yuy2Row(source.y + row * source.lumaStride, source.u + a * source.chromaStride,
                 source.u + b * source.chromaStride, source.v + a * source.chromaStride,
                 source.v + b * source.chromaStride, wa, wb, 2, destination + row * destinationStride, width);
  }
}

void CYuvFormatConverter::Yuv420ToYuy2Interlaced(const PlanarSource& source, int width, int height,
                                                 uint8_t* destination, int destinationStride) const {
  const int chromaRows = (height + 1) / 2;
  static constexpr int kWeights[4] = {5, 7, 1, 3};  // of the upper chroma row, out of 8
  static constexpr int kUpper[4] = {0, 1, 0, 1};    // offsets of the upper row from 2k
  for (int row = 0; row < height; ++row) {
    int a, b, wa;
    if (row < 2 || row >= height - 2) {
      a = b = ChromaRow(row < 2 ? row : chromaRows - 2 + (row - (height - 2)), chromaRows);
      wa = 8;
    } else {
      const int k = (row - 2) / 4, phase = (row - 2) % 4;
      a = ChromaRow(2 * k + kUpper[phase], chromaRows);
      b = ChromaRow(a + 2, chromaRows);
      wa = kWeights[phase];
    }
    dsp_.yuy2Row(source.y + row * source.lumaStride, source.u + a * source.chromaStride,
                 source.u + b * source.chromaStride, source.v + a * source.chromaStride,
                 source.v + b * source.chromaStride, wa, 8 - wa, 3, destination + row * destinationStride, width);
  }
}

}  // namespace tlx::avc

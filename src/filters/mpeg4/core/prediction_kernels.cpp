#include "prediction_kernels.h"

#include <cstring>

namespace tlx::mpeg4 {

void CopyMacroblock(const PicturePlanes& destination, const PicturePlanes& source, int32_t x, int32_t y) {
  const ptrdiff_t luma = destination.lumaStride;
  for (int32_t row = 0; row < 16; ++row) {
    std::memcpy(destination.y + (y + row) * luma + x, source.y + (y + row) * luma + x, 16);
  }
  const ptrdiff_t chroma = destination.chromaStride;
  const int32_t cx = x / 2;
  const int32_t cy = y / 2;
  for (int32_t row = 0; row < 8; ++row) {
    std::memcpy(destination.u + (cy + row) * chroma + cx, source.u + (cy + row) * chroma + cx, 8);
    std::memcpy(destination.v + (cy + row) * chroma + cx, source.v + (cy + row) * chroma + cx, 8);
  }
}

}  // namespace tlx::mpeg4

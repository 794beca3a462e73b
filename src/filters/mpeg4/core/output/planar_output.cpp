#include "filters/mpeg4/core/output/planar_output.h"

#include <cstring>
#include <initializer_list>

namespace tlx::mpeg4 {

void OutputPlanarRoutine(uint8_t* destination, const uint8_t* first, const uint8_t* second, const uint8_t* third,
                         int width, int height, ptrdiff_t lumaDestinationStride, ptrdiff_t chromaDestinationStride,
                         ptrdiff_t lumaStride, ptrdiff_t chromaStride) {
  for (int row = 0; row < height; ++row) {
    std::memcpy(destination + row * lumaDestinationStride, first + row * lumaStride, size_t(width));
  }
  destination += height * lumaDestinationStride;
  const int chromaWidth = (width + 1) / 2;
  const int chromaHeight = (height + 1) / 2;
  for (const uint8_t* plane : {second, third}) {
    for (int row = 0; row < chromaHeight; ++row) {
      std::memcpy(destination + row * chromaDestinationStride, plane + row * chromaStride, size_t(chromaWidth));
    }
    destination += chromaHeight * chromaDestinationStride;
  }
}

void CopyPlanar(uint8_t* destination, const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height,
                ptrdiff_t lumaStride, ptrdiff_t chromaStride) {
  OutputPlanarRoutine(destination, y, u, v, width, height, width, (width + 1) / 2, lumaStride, chromaStride);
}

void PackYuy2Row(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int column, int width) {
  for (int x = column; x < width; x += 2) {
    uint8_t* out = destination + 2 * x;
    out[0] = y[x];
    out[1] = u[x / 2];
    if (x + 1 < width) {
      out[2] = y[x + 1];
      out[3] = v[x / 2];
    }
  }
}

void PackYuy2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* destination, int width, int height,
              ptrdiff_t stride, ptrdiff_t lumaStride) {
  const ptrdiff_t chromaStride = lumaStride / 2;
  for (int row = 0; row < height; ++row) {
    const ptrdiff_t chroma = (row / 2) * chromaStride;
    PackYuy2Row(y + row * lumaStride, u + chroma, v + chroma, destination + row * stride, 0, width);
  }
}

}  // namespace tlx::mpeg4

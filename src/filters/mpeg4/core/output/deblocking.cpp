#include "filters/mpeg4/core/output/deblocking.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "filters/mpeg4/core/picture.h"

namespace tlx::mpeg4 {

void DeblockEdge(uint8_t* line, ptrdiff_t across, ptrdiff_t along, int qp, int thr1, int thr2) {
  for (int i = 0; i < 8; ++i) {
    uint8_t* p = line + i * along;
    int s[10];
    for (int k = 0; k < 10; ++k) s[k] = p[k * across];
    int eqCount = 0;
    for (int k = 0; k < 9; ++k) eqCount += std::abs(s[k] - s[k + 1]) <= thr1 ? 1 : 0;
    int out[10];
    std::copy(s, s + 10, out);
    if (eqCount >= thr2) {
      const int high = *std::max_element(s + 1, s + 9);
      const int low = *std::min_element(s + 1, s + 9);
      if (high - low >= 2 * qp) continue;
      const int e0 = std::abs(s[1] - s[0]) < qp ? s[0] : s[1];
      const int e9 = std::abs(s[8] - s[9]) < qp ? s[9] : s[8];
      static constexpr int kWeights[9] = {1, 1, 2, 2, 4, 2, 2, 1, 1};
      for (int n = 1; n <= 8; ++n) {
        int sum = 8;
        for (int t = -4; t <= 4; ++t) {
          const int m = n + t;
          sum += kWeights[t + 4] * (m < 1 ? e0 : m > 8 ? e9 : s[m]);
        }
        out[n] = sum >> 4;
      }
    } else {
      const int a0 = 2 * (s[3] - s[6]) - 5 * (s[4] - s[5]);
      const int a1 = 2 * (s[1] - s[4]) - 5 * (s[2] - s[3]);
      const int a2 = 2 * (s[5] - s[8]) - 5 * (s[6] - s[7]);
      const int step = s[4] - s[5];
      if (std::abs(a0) / 8 >= qp || !((a0 > 0 && step < 0) || (a0 < 0 && step > 0))) continue;
      const int smallest = std::min({std::abs(a0), std::abs(a1), std::abs(a2)});
      const int m = (5 * (std::abs(a0) - smallest) + 32) / 64;
      const int d = std::min(m, std::abs(step) / 2);
      out[4] = step > 0 ? s[4] - d : s[4] + d;
      out[5] = step > 0 ? s[5] + d : s[5] - d;
    }
    for (int k = 1; k <= 8; ++k) p[k * across] = uint8_t(std::clamp(out[k], 0, 255));
  }
}

void DeblockPlane(DeblockEdgeKernel kernel, uint8_t* destination, ptrdiff_t destinationStride, const uint8_t* source,
                  ptrdiff_t sourceStride, int width, int height, const uint8_t* quantiserMap, int mapColumns,
                  int macroblockSize, int thr1, int thr2) {
  for (int row = 0; row < height; ++row) {
    std::memcpy(destination + row * destinationStride, source + row * sourceStride, size_t(width));
  }
  const auto qp = [&](int x, int y) { return quantiserMap[(y / macroblockSize) * mapColumns + x / macroblockSize]; };
  // Horizontal edges: the lines run down the columns. Row y - 5 is already
  // filtered by the edge above, rows y - 4 .. y + 4 still hold the source.
  for (int y = 8; y < height; y += 8) {
    for (int x = 0; x + 8 <= width; x += 8) {
      kernel(destination + (y - 5) * destinationStride + x, destinationStride, 1, qp(x, y), thr1, thr2);
    }
  }
  // Vertical edges, band by band, left to right.
  for (int y = 0; y + 8 <= height; y += 8) {
    for (int x = 8; x < width; x += 8) {
      kernel(destination + y * destinationStride + x - 5, 1, destinationStride, qp(x, y), thr1, thr2);
    }
  }
}

void PictureCopyStrategy::Process(Picture& destination, const Picture& source) {
  for (int row = 0; row < source.height; ++row) {
    std::memcpy(destination.yOrigin + row * destination.lumaStride, source.yOrigin + row * source.lumaStride,
                size_t(source.width));
  }
  for (int row = 0; row < source.chromaHeight; ++row) {
    std::memcpy(destination.uOrigin + row * destination.chromaStride, source.uOrigin + row * source.chromaStride,
                size_t(source.chromaWidth));
    std::memcpy(destination.vOrigin + row * destination.chromaStride, source.vOrigin + row * source.chromaStride,
                size_t(source.chromaWidth));
  }
}

void DeblockingStrategy::Process(Picture& destination, const Picture& source) {
  const int mapColumns = source.width / 16;
  DeblockPlane(kernel_, destination.yOrigin, destination.lumaStride, source.yOrigin, source.lumaStride, source.width,
               source.height, source.quantiserMap, mapColumns, 16, kDeblockThreshold1, kDeblockThreshold2);
  DeblockPlane(kernel_, destination.uOrigin, destination.chromaStride, source.uOrigin, source.chromaStride,
               source.chromaWidth, source.chromaHeight, source.quantiserMap, mapColumns, 8, kDeblockThreshold1,
               kDeblockThreshold2);
  DeblockPlane(kernel_, destination.vOrigin, destination.chromaStride, source.vOrigin, source.chromaStride,
               source.chromaWidth, source.chromaHeight, source.quantiserMap, mapColumns, 8, kDeblockThreshold1,
               kDeblockThreshold2);
}

}  // namespace tlx::mpeg4

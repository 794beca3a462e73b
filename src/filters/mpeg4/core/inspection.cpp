#include "filters/mpeg4/core/inspection.h"

#include <cstring>

#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"

namespace tlx::mpeg4 {

void SetMacroblockObserver(Mpeg4Decoder& decoder, MacroblockObserver observer, void* context) {
  if (observer != nullptr && decoder.observation.report == nullptr)
    decoder.observation.report = CoreNew<MacroblockReport>();
  decoder.observation.observer = decoder.observation.report != nullptr ? observer : nullptr;
  decoder.observation.context = context;
}

void InjectPicturePlanes(Picture& picture, const uint8_t* y, int yStride, const uint8_t* u, const uint8_t* v,
                         int chromaStride) {
  for (int row = 0; row < picture.height; ++row) {
    std::memcpy(picture.yOrigin + row * picture.lumaStride, y + row * yStride, size_t(picture.width));
  }
  for (int row = 0; row < picture.chromaHeight; ++row) {
    std::memcpy(picture.uOrigin + row * picture.chromaStride, u + row * chromaStride, size_t(picture.chromaWidth));
    std::memcpy(picture.vOrigin + row * picture.chromaStride, v + row * chromaStride, size_t(picture.chromaWidth));
  }
  PadBorders(picture.Planes());
}

}  // namespace tlx::mpeg4

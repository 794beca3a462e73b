#include "filters/mpeg4/support/output_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/output/deblocking.h"
#include "filters/mpeg4/core/output/planar_output.h"
#include "filters/mpeg4/core/picture.h"
#include "filters/mpeg4/core/yuv_rgb/output_converter.h"

namespace tlx::mpeg4::test {
namespace {

int Area(uint32_t position, uint32_t requested, uint32_t display) {
  position = std::min(position, display - 1);
  return int(requested == 0 ? display : std::min(requested, display - position));
}

}  // namespace

void ReferenceOutput(const Mpeg4DecFrame& frame, const uint8_t* quantiserMap, bool deblock, uint8_t* destination) {
  const int paddedWidth = int(frame.width + 15) / 16 * 16;
  const int paddedHeight = int(frame.height + 15) / 16 * 16;
  PlainPicture source, work;
  ASSERT_EQ(source.PictureAllocate(paddedWidth, paddedHeight, 16, 16, kPlaneFormat420), 0u);
  ASSERT_EQ(work.PictureAllocate(paddedWidth, paddedHeight, 16, 16, kPlaneFormat420), 0u);
  InjectPicturePlanes(source, frame.yPlane, int(frame.yStride), frame.uPlane, frame.vPlane, int(frame.uStride));
  std::memcpy(source.quantiserMap, quantiserMap, source.quantiserMapSize);
  const Picture* picture = &source;
  if (deblock) {
    DeblockingStrategy(DeblockEdge).Process(work, source);
    picture = &work;
  }
  const int width = Area(frame.outputX, frame.outputWidth, frame.width);
  const int height = Area(frame.outputY, frame.outputHeight, frame.height);
  MmxOutputConverter converter(HeapConverterAllocator());
  const uint32_t range = frame.outputFormat & 0x300000;
  converter.ConverterSetup(range == 0 ? 0 : 1, range == 0x100000 ? 16 : 0);
  const uint32_t code = frame.outputFormat & 0xFF00000F;
  if (code == kMpeg4OutputPlanar) {
    CopyPlanar(destination, picture->yOrigin, picture->uOrigin, picture->vOrigin, width, height, picture->lumaStride,
               picture->chromaStride);
    return;
  }
  if (code == kMpeg4OutputYuy2) {
    PackYuy2(picture->yOrigin, picture->uOrigin, picture->vOrigin, destination, width, height, frame.outputStride,
             picture->lumaStride);
    return;
  }
  const uint32_t kinds[] = {kMpeg4OutputRgb555, kMpeg4OutputRgb565, kMpeg4OutputRgb24, kMpeg4OutputRgb32};
  for (int f = 0; f < 4; ++f) {
    if ((code & ~1u) != kinds[f]) continue;
    ptrdiff_t stride = frame.outputStride;
    if ((code & 1) == 0) {
      destination += (height - 1) * stride;
      stride = -stride;
    }
    EXPECT_EQ(converter.Convert(RgbFormat(f), ConversionMode::Progressive, picture->yOrigin, picture->uOrigin,
                                picture->vOrigin, destination, width, height, stride, picture->lumaStride),
              0u);
  }
}

}  // namespace tlx::mpeg4::test

#include "swscale_rgb32.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace tlx::mpeg4::bench {

SwscaleRgb32::SwscaleRgb32(int width, int height)
    : context_(sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGR0, SWS_BILINEAR,
                              nullptr, nullptr, nullptr)),
      height_(height) {}

SwscaleRgb32::~SwscaleRgb32() { sws_freeContext(context_); }

void SwscaleRgb32::Convert(const uint8_t* const planes[3], const int strides[3], uint8_t* rgb, int stride) {
  uint8_t* destination[4] = {rgb, nullptr, nullptr, nullptr};
  const int destinationStrides[4] = {stride, 0, 0, 0};
  sws_scale(context_, planes, strides, 0, height_, destination, destinationStrides);
}

}  // namespace tlx::mpeg4::bench

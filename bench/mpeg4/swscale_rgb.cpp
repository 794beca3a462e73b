#include "swscale_rgb.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace tlx::mpeg4::bench {

namespace {

AVPixelFormat PixelFormat(SwscaleRgbFormat format) {
  switch (format) {
    case SwscaleRgbFormat::Bgr0:
      return AV_PIX_FMT_BGR0;
    case SwscaleRgbFormat::Bgra:
      return AV_PIX_FMT_BGRA;
    case SwscaleRgbFormat::Bgr24:
      return AV_PIX_FMT_BGR24;
    case SwscaleRgbFormat::Rgb565le:
      return AV_PIX_FMT_RGB565LE;
  }
  return AV_PIX_FMT_NONE;
}

}  // namespace

SwscaleRgb::SwscaleRgb(int width, int height, SwscaleRgbFormat format)
    : context_(sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, PixelFormat(format), SWS_BILINEAR,
                              nullptr, nullptr, nullptr)),
      height_(height) {}

SwscaleRgb::~SwscaleRgb() { sws_freeContext(context_); }

void SwscaleRgb::Convert(const uint8_t* const planes[3], const int strides[3], uint8_t* rgb, int stride) {
  uint8_t* destination[4] = {rgb, nullptr, nullptr, nullptr};
  const int destinationStrides[4] = {stride, 0, 0, 0};
  sws_scale(context_, planes, strides, 0, height_, destination, destinationStrides);
}

}  // namespace tlx::mpeg4::bench

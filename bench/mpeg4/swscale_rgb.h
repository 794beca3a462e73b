// libswscale's conversion of 4:2:0 pictures to packed RGB, single threaded
// (the context's default of one thread), BT.601 studio range (the defaults
// for yuv420p), at the picture's own size: the reference the output
// converters are compared with.
#pragma once

#include <cstdint>

struct SwsContext;

namespace tlx::mpeg4::bench {

// The destination layouts, as libswscale names them: bgr0 and bgra are blue,
// green, red and an unused or alpha byte (the decoders' RGB32), bgr24 three
// bytes, rgb565le 16-bit little-endian words.
enum class SwscaleRgbFormat { Bgr0, Bgra, Bgr24, Rgb565le };

class SwscaleRgb {
 public:
  SwscaleRgb(int width, int height, SwscaleRgbFormat format);
  ~SwscaleRgb();
  SwscaleRgb(const SwscaleRgb&) = delete;
  SwscaleRgb& operator=(const SwscaleRgb&) = delete;

  // Converts the planes (chroma at half width and height) into `rgb`, rows
  // top-down, `stride` bytes apart.
  void Convert(const uint8_t* const planes[3], const int strides[3], uint8_t* rgb, int stride);

 private:
  SwsContext* context_;
  int height_;
};

}  // namespace tlx::mpeg4::bench

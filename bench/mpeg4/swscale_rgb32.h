// libswscale's conversion of 4:2:0 pictures to 32-bit RGB (bgr0: blue, green,
// red, unused byte, as the decoder's RGB32 output lays them out), single
// threaded, at the picture's own size: the reference the output converters
// are compared with.
#pragma once

#include <cstdint>

struct SwsContext;

namespace tlx::mpeg4::bench {

class SwscaleRgb32 {
 public:
  SwscaleRgb32(int width, int height);
  ~SwscaleRgb32();
  SwscaleRgb32(const SwscaleRgb32&) = delete;
  SwscaleRgb32& operator=(const SwscaleRgb32&) = delete;

  // Converts the planes (chroma at half width and height) into `rgb`, rows
  // top-down, `stride` bytes apart.
  void Convert(const uint8_t* const planes[3], const int strides[3], uint8_t* rgb, int stride);

 private:
  SwsContext* context_;
  int height_;
};

}  // namespace tlx::mpeg4::bench

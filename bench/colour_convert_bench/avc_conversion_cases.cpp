// The AVC decoder's RGB converters, the plain class and the SSE2 class, in
// the conversions its output takes (RGB32, RGB24 and RGB565 progressive, RGB32
// per field), studio range, rows top-down (the last row with the stride
// negated, as for a negative biHeight), against sws_scale from yuv420p to
// bgra, bgr24 and rgb565le. libswscale has no field walk; it does the same
// work as ours when each field, a 4:2:0 picture of half the height on every
// other luma and chroma row, is converted into every other output row.
// The planes hold ramps over the whole 0..255 range.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "conversion_cases.h"
#include "filters/avc/yuv_rgb_converter.h"
#include "mpeg4/swscale_rgb.h"

namespace tlx::bench {

namespace {

using mpeg4::bench::SwscaleRgb;
using mpeg4::bench::SwscaleRgbFormat;

using Walk = void (avc::CYuvRgbConverter::*)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int, int,
                                             ptrdiff_t, ptrdiff_t);

struct Conversion {
  const char* name;
  Walk walk;
  int bytesPerPixel;
  SwscaleRgbFormat reference;
  bool fields;
};

constexpr Conversion kConversions[] = {
    {"rgb32", &avc::CYuvRgbConverter::ToRgb32, 4, SwscaleRgbFormat::Bgra, false},
    {"rgb24", &avc::CYuvRgbConverter::ToRgb24, 3, SwscaleRgbFormat::Bgr24, false},
    {"rgb565", &avc::CYuvRgbConverter::ToRgb565, 2, SwscaleRgbFormat::Rgb565le, false},
    {"rgb32fields", &avc::CYuvRgbConverter::ToRgb32Fields, 4, SwscaleRgbFormat::Bgra, true},
};

// Tightly packed planes (chroma rows half the luma rows) and an output
// buffer of `rowBytes` per row.
struct Picture {
  int width = 0, height = 0;
  ptrdiff_t rowBytes = 0;
  std::vector<uint8_t> y, u, v, rgb;
};

std::shared_ptr<Picture> MakePicture(int width, int height, int bytesPerPixel) {
  auto p = std::make_shared<Picture>();
  p->width = width;
  p->height = height;
  p->rowBytes = ptrdiff_t(width) * bytesPerPixel;
  p->y.resize(size_t(width) * height);
  p->u.resize(size_t(width / 2) * (height / 2));
  p->v.resize(p->u.size());
  p->rgb.resize(size_t(p->rowBytes) * height);
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column)
      p->y[size_t(row) * width + column] = uint8_t((column * 256 / width + row) & 0xFF);
  for (int row = 0; row < height / 2; ++row) {
    for (int column = 0; column < width / 2; ++column) {
      p->u[size_t(row) * (width / 2) + column] = uint8_t(column * 512 / width);
      p->v[size_t(row) * (width / 2) + column] = uint8_t(row * 512 / height);
    }
  }
  return p;
}

}  // namespace

void AddAvcConversionCases(std::vector<ConversionCase>& cases) {
  struct Class {
    const char* name;
    std::shared_ptr<avc::CYuvRgbConverter> (*make)();
  };
  const Class classes[] = {
      {"plain", [] { return std::shared_ptr<avc::CYuvRgbConverter>(std::make_shared<avc::CYuvRgbConverterC>()); }},
      {"sse2", [] { return std::shared_ptr<avc::CYuvRgbConverter>(std::make_shared<avc::CYuvRgbConverterSse>()); }},
  };
  const int sizes[][2] = {{720, 480}, {1920, 1088}};
  for (const auto& size : sizes) {
    const int width = size[0], height = size[1];
    for (const Conversion& conversion : kConversions) {
      for (const Class& kind : classes) {
        const std::shared_ptr<Picture> picture = MakePicture(width, height, conversion.bytesPerPixel);
        const std::shared_ptr<avc::CYuvRgbConverter> converter = kind.make();
        converter->SetRange(0, 0);
        converter->ReserveLines(width);
        const Walk walk = conversion.walk;
        ConversionCase c;
        c.name = std::string("avc/") + kind.name + "/" + conversion.name + "/" + std::to_string(width) + "x" +
                 std::to_string(height);
        c.ours = [picture, converter, walk] {
          Picture& p = *picture;
          ((*converter).*walk)(p.y.data(), p.u.data(), p.v.data(), p.rgb.data() + (p.height - 1) * p.rowBytes,
                               p.width, p.height, -p.rowBytes, p.width);
        };
        if (conversion.fields) {
          auto swscale = std::make_shared<SwscaleRgb>(width, height / 2, conversion.reference);
          c.reference = [picture, swscale] {
            Picture& p = *picture;
            const int chromaWidth = p.width / 2;
            const int strides[3] = {2 * p.width, 2 * chromaWidth, 2 * chromaWidth};
            for (int field = 0; field < 2; ++field) {
              const uint8_t* planes[3] = {p.y.data() + field * p.width, p.u.data() + field * chromaWidth,
                                          p.v.data() + field * chromaWidth};
              swscale->Convert(planes, strides, p.rgb.data() + field * p.rowBytes, int(2 * p.rowBytes));
            }
          };
        } else {
          auto swscale = std::make_shared<SwscaleRgb>(width, height, conversion.reference);
          c.reference = [picture, swscale] {
            Picture& p = *picture;
            const uint8_t* planes[3] = {p.y.data(), p.u.data(), p.v.data()};
            const int strides[3] = {p.width, p.width / 2, p.width / 2};
            swscale->Convert(planes, strides, p.rgb.data(), int(p.rowBytes));
          };
        }
        cases.push_back(std::move(c));
      }
    }
  }
}

}  // namespace tlx::bench

#include "video_format.h"

#include <algorithm>
#include <cstdlib>

#include "dshow/errors.h"

namespace tlx::dshow::video {
namespace {

struct LayoutEntry {
  const GUID* subtype;
  PixelLayout layout;
};

constexpr LayoutEntry kLayouts[] = {
    {&MEDIASUBTYPE_YV12, PixelLayout::kYV12},     {&MEDIASUBTYPE_YUY2, PixelLayout::kYUY2},
    {&MEDIASUBTYPE_RGB32, PixelLayout::kRGB32},   {&MEDIASUBTYPE_RGB24, PixelLayout::kRGB24},
    {&MEDIASUBTYPE_RGB565, PixelLayout::kRGB565}, {&MEDIASUBTYPE_RGB555, PixelLayout::kRGB555},
};

size_t RgbRowBytes(int width, int bytesPerPixel) { return (static_cast<size_t>(width) * bytesPerPixel + 3) & ~size_t{3}; }

int Half(int n) { return (n + 1) / 2; }

uint8_t Clip(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// BT.601 studio range to full-range RGB, in 16.16 fixed point: Y scaled by
// 255/219, the colour differences by the matrix's factors times 255/224.
QRgb YuvToRgb(int y, int u, int v) {
  const int c = 76309 * (y - 16) + 32768;
  const int d = u - 128;
  const int e = v - 128;
  return qRgb(Clip((c + 104597 * e) >> 16), Clip((c - 25675 * d - 53279 * e) >> 16), Clip((c + 132201 * d) >> 16));
}

// 5 or 6 bits widened to 8 by repeating the top bits.
int Widen5(int v) { return (v << 3) | (v >> 2); }
int Widen6(int v) { return (v << 2) | (v >> 4); }

void ConvertRgb(const VideoFormat& f, const BYTE* data, QImage* image) {
  const int bytesPerPixel = f.layout == PixelLayout::kRGB32 ? 4 : f.layout == PixelLayout::kRGB24 ? 3 : 2;
  const size_t rowBytes = RgbRowBytes(f.width, bytesPerPixel);
  for (int y = 0; y < f.height; ++y) {
    const BYTE* row = data + rowBytes * (f.bottomUp ? f.height - 1 - y : y);
    auto* out = reinterpret_cast<QRgb*>(image->scanLine(y));
    for (int x = 0; x < f.width; ++x) {
      const BYTE* p = row + static_cast<size_t>(x) * bytesPerPixel;
      const int word = p[0] | (p[1] << 8);
      switch (f.layout) {
        case PixelLayout::kRGB32:
        case PixelLayout::kRGB24:
          out[x] = qRgb(p[2], p[1], p[0]);
          break;
        case PixelLayout::kRGB565:
          out[x] = qRgb(Widen5(word >> 11), Widen6((word >> 5) & 0x3F), Widen5(word & 0x1F));
          break;
        default:
          out[x] = qRgb(Widen5((word >> 10) & 0x1F), Widen5((word >> 5) & 0x1F), Widen5(word & 0x1F));
          break;
      }
    }
  }
}

void ConvertYuy2(const VideoFormat& f, const BYTE* data, QImage* image) {
  const size_t rowBytes = static_cast<size_t>(Half(f.width)) * 4;
  for (int y = 0; y < f.height; ++y) {
    const BYTE* row = data + rowBytes * y;
    auto* out = reinterpret_cast<QRgb*>(image->scanLine(y));
    for (int x = 0; x < f.width; ++x) {
      const BYTE* group = row + static_cast<size_t>(x / 2) * 4;
      out[x] = YuvToRgb(group[(x & 1) * 2], group[1], group[3]);
    }
  }
}

void ConvertYv12(const VideoFormat& f, const BYTE* data, QImage* image) {
  const size_t chromaStride = Half(f.width);
  const BYTE* planeV = data + static_cast<size_t>(f.width) * f.height;
  const BYTE* planeU = planeV + chromaStride * Half(f.height);
  for (int y = 0; y < f.height; ++y) {
    const BYTE* luma = data + static_cast<size_t>(f.width) * y;
    const BYTE* rowV = planeV + chromaStride * (y / 2);
    const BYTE* rowU = planeU + chromaStride * (y / 2);
    auto* out = reinterpret_cast<QRgb*>(image->scanLine(y));
    for (int x = 0; x < f.width; ++x) out[x] = YuvToRgb(luma[x], rowU[x / 2], rowV[x / 2]);
  }
}

}  // namespace

size_t VideoFormat::ImageSize() const {
  const size_t h = static_cast<size_t>(height);
  switch (layout) {
    case PixelLayout::kYV12:
      return static_cast<size_t>(width) * h + 2 * static_cast<size_t>(Half(width)) * Half(height);
    case PixelLayout::kYUY2:
      return static_cast<size_t>(Half(width)) * 4 * h;
    case PixelLayout::kRGB32:
      return RgbRowBytes(width, 4) * h;
    case PixelLayout::kRGB24:
      return RgbRowBytes(width, 3) * h;
    default:
      return RgbRowBytes(width, 2) * h;
  }
}

HRESULT ReadVideoFormat(const AM_MEDIA_TYPE& mt, VideoFormat* format) {
  if (mt.majortype != MEDIATYPE_Video || !IsFormatBlockValid(mt)) return VFW_E_TYPE_NOT_ACCEPTED;
  const auto* entry = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                   [&](const LayoutEntry& e) { return *e.subtype == mt.subtype; });
  if (entry == std::end(kLayouts)) return VFW_E_TYPE_NOT_ACCEPTED;
  VideoFormat f;
  const BITMAPINFOHEADER* header;
  if (mt.formattype == FORMAT_VideoInfo) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
    header = &info->bmiHeader;
    f.avgTimePerFrame = info->AvgTimePerFrame;
    f.bitRate = info->dwBitRate;
    f.bitErrorRate = info->dwBitErrorRate;
  } else if (mt.formattype == FORMAT_VideoInfo2) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
    header = &info->bmiHeader;
    f.avgTimePerFrame = info->AvgTimePerFrame;
    f.bitRate = info->dwBitRate;
    f.bitErrorRate = info->dwBitErrorRate;
  } else {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  // A height of INT_MIN has no absolute value; it is out of range anyway.
  if (header->biWidth <= 0 || header->biWidth > kMaxPictureSide || header->biHeight == 0 ||
      header->biHeight < -kMaxPictureSide || header->biHeight > kMaxPictureSide) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  f.layout = entry->layout;
  f.width = header->biWidth;
  f.height = std::abs(header->biHeight);
  // YUV pictures are stored top row first whatever the sign says.
  const bool rgb = f.layout != PixelLayout::kYV12 && f.layout != PixelLayout::kYUY2;
  f.bottomUp = rgb && header->biHeight > 0;
  *format = f;
  return S_OK;
}

QImage ConvertToRgb32(const VideoFormat& format, const BYTE* data, size_t length) {
  if (data == nullptr || length < format.ImageSize()) return {};
  QImage image(format.width, format.height, QImage::Format_RGB32);
  if (image.isNull()) return {};
  switch (format.layout) {
    case PixelLayout::kYV12:
      ConvertYv12(format, data, &image);
      break;
    case PixelLayout::kYUY2:
      ConvertYuy2(format, data, &image);
      break;
    default:
      ConvertRgb(format, data, &image);
      break;
  }
  return image;
}

}  // namespace tlx::dshow::video

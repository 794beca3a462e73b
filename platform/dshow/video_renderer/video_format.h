// The picture layouts the video renderer takes, read from a media type, and
// their conversion to RGB32.
//
// Layouts (W x H pixels; H is the absolute biHeight):
// - RGB32, RGB24, RGB565, RGB555: rows of 4, 3, 2, 2 bytes per pixel, each
//   padded to a multiple of 4 bytes; a positive biHeight stores the bottom
//   row first, a negative one the top row first.
// - YUY2: top row first, rows of Y0 U Y1 V groups, ceil(W / 2) groups a row.
// - YV12: top row first, the Y plane (W bytes a row), then the V plane and
//   the U plane, each ceil(W / 2) bytes a row and ceil(H / 2) rows.
// YUV is BT.601 studio range.
#pragma once

#include <QImage>
#include <cstddef>

#include "dshow/media_type.h"

namespace tlx::dshow::video {

enum class PixelLayout { kYV12, kYUY2, kRGB32, kRGB24, kRGB565, kRGB555 };

struct VideoFormat {
  PixelLayout layout = PixelLayout::kRGB32;
  int width = 0;
  int height = 0;
  bool bottomUp = false;
  REFERENCE_TIME avgTimePerFrame = 0;
  DWORD bitRate = 0;
  DWORD bitErrorRate = 0;

  // Bytes one picture takes.
  size_t ImageSize() const;
};

// The largest picture side the renderer takes.
inline constexpr int kMaxPictureSide = 8192;

// Reads a video type: S_OK and the format, or VFW_E_TYPE_NOT_ACCEPTED for
// another major type, format type or subtype, a short format block or a
// picture size of 0 or beyond kMaxPictureSide.
HRESULT ReadVideoFormat(const AM_MEDIA_TYPE& mt, VideoFormat* format);

// Converts one picture to RGB32 at its own size. A null image when the data
// is shorter than the format's ImageSize.
QImage ConvertToRgb32(const VideoFormat& format, const BYTE* data, size_t length);

}  // namespace tlx::dshow::video

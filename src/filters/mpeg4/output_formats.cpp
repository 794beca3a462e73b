#include "output_formats.h"

#include <cstdlib>

#include "filters/mpeg4/core/decoder_api.h"

namespace tlx::mpeg4 {

namespace {

constexpr uint32_t kBottomUp = 1;
constexpr ULONG kPlainBlock = sizeof(VIDEOINFOHEADER) + 2;
constexpr ULONG kMasksBlock = kPlainBlock + sizeof(kRgb565Masks);
constexpr ULONG kPaletteBlock = kPlainBlock + 256 * 4;

const OutputFormat kOffered[kOutputFormatCount] = {
    {&MEDIASUBTYPE_Y41P, 12, MAKEFOURCC('Y', '4', '1', 'P'), kPlainBlock, kMpeg4OutputYuy2, kMpeg4OutputYuy2, false},
    {&MEDIASUBTYPE_YUY2, 16, MAKEFOURCC('Y', 'U', 'Y', '2'), kPlainBlock, kMpeg4OutputYuy2, kMpeg4OutputYuy2, true},
    {&MEDIASUBTYPE_UYVY, 16, MAKEFOURCC('U', 'Y', 'V', 'Y'), kPlainBlock, kMpeg4OutputYuy2, kMpeg4OutputYuy2, false},
    {&MEDIASUBTYPE_RGB24, 24, BI_RGB, kPlainBlock, kMpeg4OutputRgb24 | kBottomUp, kMpeg4OutputRgb24, true},
    {&MEDIASUBTYPE_RGB565, 16, BI_BITFIELDS, kMasksBlock, kMpeg4OutputRgb565 | kBottomUp, kMpeg4OutputRgb565, true},
    {&MEDIASUBTYPE_RGB555, 16, BI_RGB, kPlainBlock, kMpeg4OutputRgb555 | kBottomUp, kMpeg4OutputRgb555, true},
    {&MEDIASUBTYPE_RGB8, 8, BI_RGB, kPaletteBlock, kMpeg4OutputYuy2, kMpeg4OutputYuy2, false},
};
static_assert(kPlainBlock == 90 && kMasksBlock == 102 && kPaletteBlock == 1114);

// Blue, green, red of the first and last ten static colours.
constexpr BYTE kStaticColours[20][3] = {
    {0, 0, 0},       {0, 0, 128},     {0, 128, 0},     {0, 128, 128},   {128, 0, 0},
    {128, 0, 128},   {128, 128, 0},   {192, 192, 192}, {192, 220, 192}, {240, 202, 166},
    {240, 251, 255}, {164, 160, 160}, {128, 128, 128}, {0, 0, 255},     {0, 255, 0},
    {0, 255, 255},   {255, 0, 0},     {255, 0, 255},   {255, 255, 0},   {255, 255, 255},
};

}  // namespace

const OutputFormat& OfferedOutputFormat(int position) { return kOffered[position]; }

const OutputFormat* FindOutputFormat(REFGUID subtype) {
  for (const OutputFormat& format : kOffered) {
    if (*format.subtype == subtype) return &format;
  }
  return nullptr;
}

int64_t OutputStride(LONG width, WORD bitCount) {
  return ((int64_t{width} * bitCount + 7) / 8 + 3) & ~int64_t{3};
}

DWORD DibSizeImage(const BITMAPINFOHEADER& header) {
  const int64_t row = ((int64_t{header.biWidth} * header.biBitCount + 31) & ~int64_t{31}) / 8;
  const int64_t size = row * std::llabs(int64_t{header.biHeight});
  return size < 0 || size > int64_t{0xFFFFFFFE} ? 0xFFFFFFFF : static_cast<DWORD>(size);
}

void FillPalette8(BYTE* palette) {
  for (int i = 0; i < 256; ++i) {
    BYTE* entry = palette + 4 * i;
    entry[0] = entry[1] = entry[2] = static_cast<BYTE>(i);
    entry[3] = 0;
  }
  for (int i = 0; i < 20; ++i) {
    BYTE* entry = palette + 4 * (i < 10 ? i : 236 + i);
    entry[0] = kStaticColours[i][0];
    entry[1] = kStaticColours[i][1];
    entry[2] = kStaticColours[i][2];
  }
}

}  // namespace tlx::mpeg4

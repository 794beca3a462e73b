// The output types the decoder filter offers, by position, and what each
// asks of the decoder: the subtype, the bitmap header's bit count and
// compression, the format block size, and the decoder's output format codes
// for bottom-up and top-down destinations.
#pragma once

#include <cstdint>

#include "dshow/media_type.h"

namespace tlx::mpeg4 {

struct OutputFormat {
  const GUID* subtype;
  WORD bitCount;
  DWORD compression;
  ULONG formatBytes;
  uint32_t bottomUpCode;  // for a positive biHeight
  uint32_t topDownCode;   // for a zero or negative biHeight
  bool accepted;          // passes CheckTransform
};

inline constexpr int kOutputFormatCount = 7;
// Positions with extra content after the header.
inline constexpr int kRgb565Position = 4;
inline constexpr int kRgb8Position = 6;

// The offered type at `position` (0 to kOutputFormatCount - 1).
const OutputFormat& OfferedOutputFormat(int position);
// The entry of an output subtype; null for one the filter does not offer.
const OutputFormat* FindOutputFormat(REFGUID subtype);

// Bytes of one destination row, padded to 4: ((width x bits + 7) / 8 + 3) & ~3.
int64_t OutputStride(LONG width, WORD bitCount);
// The size of a DIB of that header: rows padded to 4 bytes, |height| rows;
// 0xFFFFFFFF when it does not fit 32 bits.
DWORD DibSizeImage(const BITMAPINFOHEADER& header);

// The three RGB565 colour masks written after the header at position 4.
inline constexpr DWORD kRgb565Masks[3] = {0xF800, 0x07E0, 0x001F};
// The RGB8 palette of position 6: a grey ramp whose first and last ten
// entries are the twenty static colours of the standard VGA system palette
// (this system has no system palette to read them from). 256 entries of
// blue, green, red, reserved.
void FillPalette8(BYTE* palette);

}  // namespace tlx::mpeg4

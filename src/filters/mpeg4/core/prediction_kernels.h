// Plain kernels of motion compensation: reads from a reference picture into
// the picture being decoded.
#pragma once

#include <cstdint>

#include "block/reconstruction.h"

namespace tlx::mpeg4 {

// Copies the 16x16 luma and the two 8x8 chroma areas of the macroblock whose
// top-left luma sample is (x, y) from source to destination; both have the
// same geometry.
void CopyMacroblock(const PicturePlanes& destination, const PicturePlanes& source, int32_t x, int32_t y);

}  // namespace tlx::mpeg4

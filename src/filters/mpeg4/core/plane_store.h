// The three bordered planes (Y, U, V) of one decoded or reference picture.
#pragma once

#include <cstdint>

namespace tlx::mpeg4 {

// Layout codes of PlaneStore::Allocate: 4:2:0 planes with a half-size chroma
// border, or chroma of full height.
inline constexpr uint32_t kPlaneFormat420 = 0x1000000;
inline constexpr uint32_t kPlaneFormatFullChromaHeight = 0x2000000;

// Rows kept below the bottom border of every plane, beyond the border used
// for clamping vectors: field prediction from a block clamped to the bottom
// edge reaches that far. PadBorders replicates into them too.
inline constexpr int kPlaneExtraRows = 4;
// Bytes after the last plane, so unaligned 16-byte loads at the far corner of
// the last plane stay inside the block.
inline constexpr int kPlaneTailSlack = 64;

class PlaneStore {
 public:
  PlaneStore() = default;
  PlaneStore(const PlaneStore&) = delete;
  PlaneStore& operator=(const PlaneStore&) = delete;
  virtual ~PlaneStore();

  // Sizes the planes for width x height with the given borders and fills
  // every sample with 128. Unchanged geometry returns 0 at once, leaving the
  // planes as they are. Returns 0 or the (sticky) status word.
  uint32_t Allocate(int width, int height, int borderX, int borderY, uint32_t format);
  // Frees the planes and clears the geometry; the status word stays.
  void Release();

  uint32_t status = 0;            // kStatusOutOfMemory after a failed allocation
  uint8_t* planeBuffer = nullptr; // start of the planes (32-byte aligned)
  uint8_t* yOrigin = nullptr;     // row 0, column 0 of each plane, inside the border
  uint8_t* uOrigin = nullptr;
  uint8_t* vOrigin = nullptr;
  int16_t width = 0;
  int16_t height = 0;
  int16_t chromaWidth = 0;
  int16_t chromaHeight = 0;
  int16_t lumaStride = 0;    // width + 2 x horizontal border
  int16_t lumaRows = 0;      // height + 2 x vertical border
  int16_t chromaStride = 0;  // lumaStride / 2
  int16_t chromaRows = 0;    // lumaRows / 2 (lumaRows for full chroma height)
  uint32_t format = 0;
  // Start of each plane's allocation (border row 0, column 0).
  uint8_t* yPlane = nullptr;
  uint8_t* uPlane = nullptr;
  uint8_t* vPlane = nullptr;
  uint32_t blockSize = 0;    // bytes of the plane block, slack included
};

}  // namespace tlx::mpeg4

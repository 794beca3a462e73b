// The decoder's inspection interface for tests: the instance behind a
// handle (variants, header values, quantiser maps), a per-macroblock
// observer, and reference injection. Internal to the core library; the
// decoder module never exports it.
#pragma once

#include <cstdint>

namespace tlx::mpeg4 {

struct Mpeg4Decoder;
class Picture;

// What the observer learns of one decoded macroblock.
struct MacroblockReport {
  uint32_t index = 0;            // raster index
  uint32_t flags = 0;            // macroblock-type flags
  uint32_t codedBlockPattern = 0;
  uint32_t quantiser = 0;
  int32_t vectors[4][2] = {};    // per 8x8 luma block (x, y); forward ones in B-VOPs
  int32_t backward[4][2] = {};   // backward vectors per 8x8 block of a B-VOP macroblock
  // How the vectors were used (the mode words of motion_vectors.h):
  // kVectorModeOne (also GMC and intra), kVectorModeFour (also B direct),
  // or field prediction with the reference-field selects of the forward
  // direction in bits 3-4 and, in B-VOPs, of the backward one in bits 5-6.
  // Field vectors are in blocks 0-1 (top field) and 2-3 (bottom field).
  uint32_t mode = 0;
  // Quantised levels of the six blocks after DC/AC prediction, raster order;
  // entry 0 of an intra block is its quantised DC.
  int16_t levels[6][64] = {};
};

using MacroblockObserver = void (*)(void* context, const MacroblockReport& report);

inline Mpeg4Decoder& InspectInstance(void* handle) { return *static_cast<Mpeg4Decoder*>(handle); }

// Installs (or with null removes) the observer called for every decoded
// macroblock.
void SetMacroblockObserver(Mpeg4Decoder& decoder, MacroblockObserver observer, void* context);

// Overwrites the visible planes of `picture` with the given samples and
// extends them into the border again.
void InjectPicturePlanes(Picture& picture, const uint8_t* y, int yStride, const uint8_t* u, const uint8_t* v,
                         int chromaStride);

}  // namespace tlx::mpeg4

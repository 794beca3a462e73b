// The decoder's inspection interface for tests: the instance behind a
// handle (variants, header values, quantiser maps), a per-macroblock
// observer, and reference injection. Internal to the core library; the
// decoder module never exports it.
#pragma once

#include <cstdint>

#include "mpeg4_decoder.h"

namespace tlx::mpeg4 {

inline Mpeg4Decoder& InspectInstance(void* handle) { return *static_cast<Mpeg4Decoder*>(handle); }

// Installs (or with null removes) the observer called for every decoded
// macroblock.
void SetMacroblockObserver(Mpeg4Decoder& decoder, MacroblockObserver observer, void* context);

// Overwrites the visible planes of `picture` with the given samples and
// extends them into the border again.
void InjectPicturePlanes(Picture& picture, const uint8_t* y, int yStride, const uint8_t* u, const uint8_t* v,
                         int chromaStride);


}  // namespace tlx::mpeg4

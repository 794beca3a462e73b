// The output step rebuilt from plain parts, as the reference for the
// decoder's converted output: the returned planes deblocked by the plain edge
// filter (when the instance deblocks), then the plain converter, YUY2 packer
// or planar copy, with the step's area, range and orientation rules.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/decoder_api.h"

namespace tlx::mpeg4::test {

// Writes into `destination` (laid out like frame.outputBuffer) what the
// output step should have written for the picture frame returned, whose
// quantiser map is given.
void ReferenceOutput(const Mpeg4DecFrame& frame, const uint8_t* quantiserMap, bool deblock, uint8_t* destination);

}  // namespace tlx::mpeg4::test

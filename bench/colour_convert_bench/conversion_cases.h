// The cases of the colour-converter comparison: our conversion of a decoded
// picture and libswscale's of the same planes into the same format. Each
// decoder adds its cases in a file of its own, with a function declared
// here and called from main; the pictures are prepared before timing.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tlx::bench {

struct ConversionCase {
  std::string name;  // <decoder>/<format>/<W>x<H>
  std::function<void()> ours;
  std::function<void()> reference;
};

// The MPEG-4 decoder's RGB32 output step at 320x240 and 640x480 (none when
// the benchmark streams were not made).
void AddMpeg4ConversionCases(std::vector<ConversionCase>& cases);

// The AVC decoder's RGB32, RGB24, RGB565 and RGB32-per-field conversions, the
// plain and the SSE2 class, at 720x480 and 1920x1088.
void AddAvcConversionCases(std::vector<ConversionCase>& cases);

}  // namespace tlx::bench

// libavcodec's MPEG-4 Part 2 (and H.263) decoder as the reference our core is
// measured against: single-threaded, the integer inverse DCT of the Xvid
// family, no bug workarounds, no error concealment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlx::mpeg4::test {

// One motion vector libavcodec exported: the block at (x, y) of size w x h
// predicted from the past (source -1) or future (source 1) reference with
// (motionX, motionY) / motionScale samples.
struct ReferenceVector {
  int source = 0;
  int w = 0, h = 0;
  int x = 0, y = 0;
  int motionX = 0, motionY = 0, motionScale = 1;
};

struct ReferenceFrame {
  int width = 0;
  int height = 0;
  char pictureType = '?';         // 'I', 'P', 'B' or 'S'
  std::vector<uint8_t> y, u, v;   // tightly packed planes
  std::vector<int> quantisers;    // per macroblock, raster order
  std::vector<ReferenceVector> vectors;
};

// The quantised levels after DC/AC prediction of one macroblock's six blocks,
// raster order, as libavcodec dumps them.
struct ReferenceMacroblockLevels {
  int column = 0;
  int row = 0;
  int16_t levels[6][64] = {};
};

struct ReferenceDecode {
  std::vector<ReferenceFrame> frames;               // display order
  std::vector<std::string> pictureLines;             // one per decoded picture header
  std::vector<ReferenceMacroblockLevels> levels;     // decode order, when asked
  int timeIncrementResolution = 0;
};

struct ReferenceOptions {
  bool shortHeader = false;      // the H.263 decoder instead of the MPEG-4 one
  bool pictureLines = false;     // capture the picture-header debug lines
  bool coefficients = false;     // capture the per-macroblock level dump
};

// Decodes a whole elementary stream. Fails the calling test on a setup error.
ReferenceDecode DecodeWithLibavcodec(const std::vector<uint8_t>& stream, const ReferenceOptions& options);

}  // namespace tlx::mpeg4::test

// The AVC fixture streams as tests feed them, and libavcodec's own decode of
// them as the reference the cores and the filter are held to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avccore/tlxavccore.h"

namespace tlx::avctest {

struct AccessUnit {
  std::vector<uint8_t> bytes;
  int64_t time = 0;  // presentation time, 100 ns units
};

struct AvcStream {
  std::vector<AccessUnit> annexB;          // start codes, parameter sets in band
  std::vector<AccessUnit> lengthPrefixed;  // as the file stores them
  std::vector<uint8_t> avcC;               // the file's decoder configuration record
  int width = 0, height = 0;
};

// Path of a fixture made by tests/fixtures/avc ("progressive_320x240.mp4").
std::string FixturePath(const std::string& name);
// Fails the calling test when the file cannot be read.
AvcStream ReadAvcStream(const std::string& path);

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> y, u, v;  // visible area, tightly packed
  int64_t time = 0;
  bool timeValid = false;
  int32_t flags = 0;  // TLXAVC_PICTURE_* as the core reports them
};

// The pictures of the units in display order, decoded by libavcodec on one
// thread with each unit's time.
std::vector<Picture> ReferenceDecode(const std::vector<AccessUnit>& units);

// Copies a core picture's visible planes.
Picture CopyPicture(const TlxAvcPicture& picture);

// The Annex-B units split into the NAL units after their start codes.
std::vector<std::vector<uint8_t>> SplitNalUnits(const std::vector<uint8_t>& annexB);

}  // namespace tlx::avctest

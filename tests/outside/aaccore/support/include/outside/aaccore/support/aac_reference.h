// The AAC test streams and what libavcodec makes of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlx::aaccore::test {

// A stream's raw access units, as stored in its M4A file.
struct AacStream {
  int sampleRate = 0;
  int channels = 0;
  std::vector<uint8_t> config;  // the file's own AudioSpecificConfig
  std::vector<std::vector<uint8_t>> units;
  std::vector<int64_t> startSamples;  // each unit's start, in samples
};

// Reads fixtures/aac/<name> (made by tests/fixtures/aac); empty units when
// the file cannot be read.
AacStream ReadStream(const std::string& name);

// Decodes every unit with libavcodec (opened with the file's own
// configuration) and converts each frame with libswresample to interleaved
// s16 of `outputChannels` channels: the same layout when equal, else
// libswresample's default mix to that channel count. One frame per unit.
std::vector<std::vector<int16_t>> ReferenceDecode(const AacStream& stream, int outputChannels);

// The largest difference between two frames of equal length (or a huge value
// when the lengths differ).
int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b);

}  // namespace tlx::aaccore::test

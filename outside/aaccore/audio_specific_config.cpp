#include "audio_specific_config.h"

#include <array>

namespace tlx::aaccore {
namespace {

constexpr int kObjectTypeLc = 2;

// The sampling-frequency indexes 0-11 with the lowest rate each one serves:
// a rate without an index of its own is decoded with the tables of the
// nearest indexed rate.
struct FrequencyRange {
  int lowest;
  int index;
};
constexpr std::array<FrequencyRange, 12> kFrequencyRanges = {{{92017, 0},
                                                              {75132, 1},
                                                              {55426, 2},
                                                              {46009, 3},
                                                              {37566, 4},
                                                              {27713, 5},
                                                              {23004, 6},
                                                              {18783, 7},
                                                              {13856, 8},
                                                              {11502, 9},
                                                              {9391, 10},
                                                              {0, 11}}};

// Writes bit fields most significant bit first.
class BitPacker {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
      ++used_;
    }
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  int used_ = 0;
};

}  // namespace

std::vector<uint8_t> BuildAudioSpecificConfig(int channels, int sampleRate) {
  int channelConfiguration;
  if (channels >= 1 && channels <= 6) {
    channelConfiguration = channels;
  } else if (channels == 8) {
    channelConfiguration = 7;
  } else {
    return {};
  }
  if (sampleRate <= 0) return {};
  int index = 0;
  for (const FrequencyRange& range : kFrequencyRanges) {
    if (sampleRate >= range.lowest) {
      index = range.index;
      break;
    }
  }

  BitPacker bits;
  bits.Put(kObjectTypeLc, 5);
  bits.Put(static_cast<uint32_t>(index), 4);
  bits.Put(static_cast<uint32_t>(channelConfiguration), 4);
  // GASpecificConfig: 1024-sample frames, no core coder, no extension.
  bits.Put(0, 3);
  return bits.Take();
}

}  // namespace tlx::aaccore

// Turns one decoded frame of planar float samples into interleaved 16-bit
// PCM: the channel mix, the output channel order and the conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tlx::aaccore {

// One float sample to 16 bits: scaled by 32768, rounded to nearest (ties to
// even) and clipped, as libswresample converts float to s16.
int16_t FloatToS16(float sample);

class PcmMixer {
 public:
  // A mixer from `inputChannels` to `outputChannels`, output channel k taking
  // mixed channel order[k] for k < reorderCount. Nothing for a mix it does not
  // have (see aaccore/tlxaaccore.h) or an order entry outside the output.
  static std::optional<PcmMixer> Create(int inputChannels, int outputChannels, const int* order, int reorderCount);

  int InputChannels() const { return inputChannels_; }
  int OutputChannels() const { return static_cast<int>(rows_.size()); }

  // Mixes `samples` samples of each input plane into `output`
  // (samples × OutputChannels() values).
  void Mix(const float* const* planes, int samples, int16_t* output) const;

 private:
  struct Term {
    int input;
    float gain;
  };
  using Row = std::vector<Term>;

  PcmMixer(int inputChannels, std::vector<Row> rows) : inputChannels_(inputChannels), rows_(std::move(rows)) {}

  int inputChannels_;
  std::vector<Row> rows_;  // one per output channel, in output order
};

}  // namespace tlx::aaccore

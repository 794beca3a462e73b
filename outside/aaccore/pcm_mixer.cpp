#include "pcm_mixer.h"

#include <cmath>

namespace tlx::aaccore {
namespace {

// Six-channel input order, as the decoder gives it.
enum { kFrontLeft, kFrontRight, kCentre, kLfe, kBackLeft, kBackRight };

// -3 dB, for the centre and the back channels in a stereo mix.
constexpr double kMinus3dB = 0.70710678118654752440;

// The stereo pair of a six-channel mix. Each row's gains add up to 1, so a
// full-scale input cannot clip: the gains are computed in double and then
// rounded to float, as libswresample builds its matrix.
std::vector<std::vector<std::pair<int, double>>> SixToStereo() {
  const double scale = 1.0 + 2.0 * kMinus3dB;
  return {
      {{kFrontLeft, 1.0 / scale}, {kCentre, kMinus3dB / scale}, {kBackLeft, kMinus3dB / scale}},
      {{kFrontRight, 1.0 / scale}, {kCentre, kMinus3dB / scale}, {kBackRight, kMinus3dB / scale}},
  };
}

}  // namespace

int16_t FloatToS16(float sample) {
  float scaled = sample * 32768.0f;
  if (!(scaled > -32768.0f)) return scaled != scaled ? 0 : -32768;
  if (scaled >= 32767.0f) return 32767;
  return static_cast<int16_t>(std::lrintf(scaled));
}

std::optional<PcmMixer> PcmMixer::Create(int inputChannels, int outputChannels, const int* order,
                                         int reorderCount) {
  std::vector<std::vector<std::pair<int, double>>> matrix;
  if (inputChannels == outputChannels) {
    for (int c = 0; c < inputChannels; ++c) matrix.push_back({{c, 1.0}});
  } else if (inputChannels == 6 && outputChannels == 2) {
    matrix = SixToStereo();
  } else if (inputChannels == 6 && outputChannels == 1) {
    std::vector<std::pair<int, double>> mono;
    for (const auto& row : SixToStereo()) {
      for (auto [input, gain] : row) mono.emplace_back(input, gain / 2.0);
    }
    matrix = {mono};
  } else if (inputChannels == 2 && outputChannels == 1) {
    matrix = {{{0, 0.5}, {1, 0.5}}};
  } else if (inputChannels == 1 && outputChannels == 2) {
    matrix = {{{0, 1.0}}, {{0, 1.0}}};
  } else {
    return std::nullopt;
  }
  if (reorderCount < 0 || reorderCount > outputChannels || (reorderCount > 0 && order == nullptr)) {
    return std::nullopt;
  }

  std::vector<Row> rows(static_cast<size_t>(outputChannels));
  for (int k = 0; k < outputChannels; ++k) {
    int from = k;
    if (k < reorderCount) {
      from = order[k];
      if (from < 0 || from >= outputChannels) return std::nullopt;
    }
    for (auto [input, gain] : matrix[static_cast<size_t>(from)]) {
      rows[static_cast<size_t>(k)].push_back({input, static_cast<float>(gain)});
    }
  }
  return PcmMixer(inputChannels, std::move(rows));
}

void PcmMixer::Mix(const float* const* planes, int samples, int16_t* output) const {
  const size_t channels = rows_.size();
  for (size_t k = 0; k < channels; ++k) {
    const Row& row = rows_[k];
    int16_t* out = output + k;
    for (int s = 0; s < samples; ++s, out += channels) {
      float sum = 0.0f;
      for (const Term& term : row) sum += planes[term.input][s] * term.gain;
      *out = FloatToS16(sum);
    }
  }
}

}  // namespace tlx::aaccore

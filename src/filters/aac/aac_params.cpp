#include "aac_params.h"

#include <bit>

AacDecParams DefaultAacDecParams() {
  AacDecParams params{};
  params.channels = 2;
  params.sampleBits = 16;
  params.sampleRate = 44100;
  params.aacMode = 4;
  params.bitRate = 128000;
  params.cutOff = 0;
  params.jointStereoRatio = std::bit_cast<int32_t>(0.5f);
  params.tns = 0;
  params.downMix = 0;
  params.channelReorder = 0;
  for (int i = 0; i < kAacChannelOrderSize; ++i) params.channelOrder[i] = i;
  return params;
}

namespace tlx::aac {
namespace {

// FL FR FC LFE BL BR.
constexpr DWORD kChannelMask51 = 0x3F;

}  // namespace

int FrameBytes(const AacDecParams& params) {
  return OutputChannels(params) * params.sampleBits * kFrameSamples / 8;
}

bool IsServable(const AacDecParams& params) {
  if (params.channels < 1 || params.channels > 8 || params.sampleBits != 16) return false;
  if (params.sampleRate < 8000 || params.sampleRate > 96000) return false;
  if (params.downMix < 0 || params.downMix > 2) return false;
  if (FrameBytes(params) > kOutputBufferBytes) return false;
  if (params.channelReorder != 0) {
    const int outputs = OutputChannels(params);
    for (int k = 0; k < outputs; ++k) {
      if (params.channelOrder[k] < 0 || params.channelOrder[k] >= outputs) return false;
    }
  }
  return true;
}

WAVEFORMATEXTENSIBLE BuildOutputFormat(const AacDecParams& params) {
  WAVEFORMATEXTENSIBLE format{};
  const int channels = OutputChannels(params);
  WAVEFORMATEX& wave = format.Format;
  wave.nChannels = static_cast<WORD>(channels);
  wave.nSamplesPerSec = static_cast<DWORD>(params.sampleRate);
  wave.wBitsPerSample = static_cast<WORD>(params.sampleBits);
  if (channels <= 2) {
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nAvgBytesPerSec = static_cast<DWORD>(params.sampleRate * channels * 2);
    wave.nBlockAlign = static_cast<WORD>(2 * channels);
    wave.cbSize = 0;
  } else {
    wave.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    wave.nBlockAlign = static_cast<WORD>(params.sampleBits * channels / 8);
    wave.nAvgBytesPerSec = static_cast<DWORD>(wave.nBlockAlign) * static_cast<DWORD>(params.sampleRate);
    wave.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    format.Samples.wValidBitsPerSample = 16;
    format.dwChannelMask = kChannelMask51;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
  }
  return format;
}

}  // namespace tlx::aac

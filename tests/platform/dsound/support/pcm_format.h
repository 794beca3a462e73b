// The PCM wave formats the sound tests play.
#pragma once

#include "win32/wave_format.h"

namespace tlx::dsound::test {

inline WAVEFORMATEX PcmFormat(WORD channels, DWORD rate, WORD bits = 16) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = bits;
  f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  return f;
}

}  // namespace tlx::dsound::test

// The wave format record that describes PCM sound to the media-streaming and
// sound-output layers alike. It crosses module boundaries byte for byte, so its
// layout is fixed and checked.
#pragma once

#include <cstddef>

#include "win32/types.h"

#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;  // bytes of extra format data after these 18
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8 && offsetof(WAVEFORMATEX, cbSize) == 16);

inline constexpr WORD WAVE_FORMAT_PCM = 1;
inline constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// The media types the source's pins offer: the audio pin's WAVEFORMATEX with
// its AudioSpecificConfig, the video pin's VIDEOINFOHEADER blocks, and which
// of them a pin accepts.
#pragma once

#include <cstdint>

#include "dshow/media_type.h"

// Types each pin offers, by index.
inline constexpr int kPinTypeCount = 3;
// Index of the video type that marks the stream as AVC.
inline constexpr int kAvcTypeIndex = 2;
// The frame duration every offered video type states (100-ns units).
inline constexpr REFERENCE_TIME kOfferedFrameDuration = 333333;

// The MPEG-4 sampling-frequency index of a rate, or -1 when AAC has none.
int AacSampleRateIndex(uint32_t rate);
// The two AudioSpecificConfig bytes of AAC LC at that rate (which must have
// an index) with that channel count.
void MakeAudioSpecificConfig(uint32_t rate, unsigned channels, uint8_t out[2]);

// The audio pin's format: tag 0x00FF, 16 bits, the rate and channels given.
WAVEFORMATEX MakeAacWaveFormat(uint32_t rate, unsigned channels);
// The audio type at an index (0 to 2), the format block being the wave
// format with cbSize 2 and the AudioSpecificConfig after it.
void MakeAudioType(int index, const WAVEFORMATEX& format, CMediaType* mt);
// The video type at an index (0 to 2) for that picture size.
void MakeVideoType(int index, LONG width, LONG height, CMediaType* mt);

// The index of the offered type an accepted one matches, or -1 for a type
// the pin refuses (another major type, another subtype, or no format block).
int AudioTypeIndex(const AM_MEDIA_TYPE& mt);
int VideoTypeIndex(const AM_MEDIA_TYPE& mt);

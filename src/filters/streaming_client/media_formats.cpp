#include "media_formats.h"

#include <cstring>
#include <iterator>

#include "filters/streaming_client/tlx_media_subtypes.h"

namespace {

constexpr uint32_t kAacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
constexpr WORD kAacWaveFormatTag = 0x00FF;
constexpr WORD kAacBitsPerSample = 16;
constexpr BYTE kAacLcObjectType = 2;
// What follows the VIDEOINFOHEADER of the MPEG-4 types: a cut-short visual
// object sequence start.
constexpr BYTE kMpeg4Trailer[] = {0x00, 0x00, 0x01, 0xB0, 0x00, 0x00};
// The picture aspect of the AVC type.
constexpr DWORD kAvcAspectX = 22, kAvcAspectY = 15;

const GUID* const kAudioSubtypes[kPinTypeCount] = {&MEDIASUBTYPE_RAW_AAC1, &MEDIASUBTYPE_TlxAAC, &MEDIASUBTYPE_TlxAAC};
const GUID* const kVideoSubtypes[kPinTypeCount] = {&MEDIASUBTYPE_mp4v, &MEDIASUBTYPE_TlxMP4V, &MEDIASUBTYPE_TlxAVC};
const DWORD kVideoCompression[kPinTypeCount] = {MAKEFOURCC('m', 'p', '4', 'v'), MAKEFOURCC('M', 'P', '4', 'S'),
                                                MAKEFOURCC('M', 'P', '4', 'S')};

int SubtypeIndex(const AM_MEDIA_TYPE& mt, const GUID& major, const GUID* const* subtypes) {
  if (mt.majortype != major || mt.pbFormat == nullptr || mt.cbFormat == 0) return -1;
  for (int i = 0; i < kPinTypeCount; ++i) {
    if (mt.subtype == *subtypes[i]) return i;
  }
  return -1;
}

}  // namespace

int AacSampleRateIndex(uint32_t rate) {
  for (size_t i = 0; i < std::size(kAacRates); ++i) {
    if (kAacRates[i] == rate) return static_cast<int>(i);
  }
  return -1;
}

void MakeAudioSpecificConfig(uint32_t rate, unsigned channels, uint8_t out[2]) {
  const unsigned index = static_cast<unsigned>(AacSampleRateIndex(rate));
  out[0] = static_cast<uint8_t>(kAacLcObjectType << 3 | index >> 1);
  out[1] = static_cast<uint8_t>((index & 1) << 7 | (channels & 15) << 3);
}

WAVEFORMATEX MakeAacWaveFormat(uint32_t rate, unsigned channels) {
  WAVEFORMATEX format{};
  format.wFormatTag = kAacWaveFormatTag;
  format.nChannels = static_cast<WORD>(channels);
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = kAacBitsPerSample;
  format.nBlockAlign = static_cast<WORD>(channels * kAacBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nBlockAlign * rate;
  return format;
}

void MakeAudioType(int index, const WAVEFORMATEX& format, CMediaType* mt) {
  *mt = CMediaType(&MEDIATYPE_Audio);
  mt->SetSubtype(kAudioSubtypes[index]);
  mt->SetFormatType(&FORMAT_WaveFormatEx);
  BYTE* block = mt->AllocFormatBuffer(sizeof(WAVEFORMATEX) + 2);
  if (block == nullptr) return;
  WAVEFORMATEX header = format;
  header.cbSize = 2;
  std::memcpy(block, &header, sizeof header);
  MakeAudioSpecificConfig(format.nSamplesPerSec, format.nChannels, block + sizeof header);
}

void MakeVideoType(int index, LONG width, LONG height, CMediaType* mt) {
  *mt = CMediaType(&MEDIATYPE_Video);
  mt->SetSubtype(kVideoSubtypes[index]);
  BITMAPINFOHEADER bitmap{};
  bitmap.biWidth = width;
  bitmap.biHeight = height;
  bitmap.biCompression = kVideoCompression[index];
  if (index == kAvcTypeIndex) {
    mt->SetFormatType(&FORMAT_VideoInfo2);
    VIDEOINFOHEADER2 header{};
    header.rcSource = RECT{0, 0, width, height};
    header.AvgTimePerFrame = kOfferedFrameDuration;
    header.dwPictAspectRatioX = kAvcAspectX;
    header.dwPictAspectRatioY = kAvcAspectY;
    header.bmiHeader = bitmap;
    mt->SetFormat(reinterpret_cast<const BYTE*>(&header), sizeof header);
    return;
  }
  mt->SetFormatType(&FORMAT_VideoInfo);
  BYTE block[sizeof(VIDEOINFOHEADER) + sizeof kMpeg4Trailer];
  VIDEOINFOHEADER header{};
  header.AvgTimePerFrame = kOfferedFrameDuration;
  header.bmiHeader = bitmap;
  std::memcpy(block, &header, sizeof header);
  std::memcpy(block + sizeof header, kMpeg4Trailer, sizeof kMpeg4Trailer);
  mt->SetFormat(block, sizeof block);
}

int AudioTypeIndex(const AM_MEDIA_TYPE& mt) { return SubtypeIndex(mt, MEDIATYPE_Audio, kAudioSubtypes); }
int VideoTypeIndex(const AM_MEDIA_TYPE& mt) { return SubtypeIndex(mt, MEDIATYPE_Video, kVideoSubtypes); }

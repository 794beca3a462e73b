// The media types the MP4 file source offers for the streams it plays: H.264
// as an AVC byte stream, AAC-LC as raw access units, and anything else under
// a subtype made from its codec tag, which no decoder of the player takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "dshow/media_type.h"

struct AVCodecParameters;
struct AVStream;

namespace tlx::mp4source {

// What a two-byte AAC-LC AudioSpecificConfig says, when the stream's
// configuration is one (object type 2, a sampling rate from the table, 1, 2
// or 6 channels, and no SBR or PS announced after it).
struct AacLcConfig {
  BYTE bytes[2];
  int sampleRate;
  int channels;
};
std::optional<AacLcConfig> ParseAacLcConfig(const uint8_t* config, size_t size);

// The type for a stream; `annexB` says whether H.264 video is converted to a
// byte stream (when it cannot be, it is offered as other video).
CMediaType VideoType(const AVStream& stream, bool annexB);
CMediaType AudioType(const AVStream& stream);

}  // namespace tlx::mp4source

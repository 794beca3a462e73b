// Quality presets: the encoder settings the live source hands to the base
// station, as a "DSP/" string of name=value items each ended by ".".
#pragma once

#include <string>

namespace tlx::engine {

inline constexpr int kPresetFamilies = 3;
inline constexpr int kPresetBlocks = 5;  // 0: TV tuner, 1 to 4: colour systems 1 to 4
inline constexpr int kPresetSteps = 8;   // 0: empty, 1 to 6: presets, 7: automatic or custom
inline constexpr int kPresetEntries = kPresetFamilies * kPresetBlocks * kPresetSteps;

// The preset string of entry family x 40 + block x 8 + step; "" outside the
// table.
const char* PresetEntry(int family, int block, int step);

// What the quality string is built from: the stream parameters of the
// connection (0 = the preset's value) and what the engine knows of the base
// station.
struct QualityRequest {
  int code = 5;              // bit-rate code: step in the units digit, video bit rate / 10000 above it
  int autoBitrate = 1;       // automatic bit-rate flag
  int autoAvailable = 0;     // the base station offers automatic bit rate
  int favourableCodec = 1;   // codec bit chosen for the video decoder (1 MPEG-4, 2, 4 AVC)
  bool tvTuner = false;      // the TV-tuner flag of the common library
  int colourSystem = 1;      // 1 to 4
  int audioBitrate = 0;
  int audioSampleRate = 0;
  int width = 0;
  int height = 0;
  int frameRate = 0;
};

// The preset entry for the request and, when the code's step is 7 or the
// automatic flag is set, its items rewritten from the request: vbr from the
// code, vmbr as vbr unless automatic, vfr, abr, ambr, asr, vw and vh from the
// non-zero parameters. Empty items are dropped; a non-empty result ends with
// exactly one ".". Colour systems outside 1 to 4 without the TV tuner give "".
std::string PresetQuality(const QualityRequest& request);

// The quality string as the source filter gets it: key "0" of the INI
// section "DSPParam", else the key named by the step (7 read as "3"), when
// non-empty, stands as it is; otherwise PresetQuality.
std::string BuildQualityString(const QualityRequest& request);

}  // namespace tlx::engine

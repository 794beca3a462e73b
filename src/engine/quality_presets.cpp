#include "engine/quality_presets.h"

#include <string_view>

#include "engine/engine_ini.h"
#include "win32/text.h"

namespace tlx::engine {

namespace {

// Blocks 1 to 4 share a shape: small picture at step 1, large above it, and
// the colour system's frame rate; block 0 (TV tuner) has no vtype. The
// family's vfl word is 273, 1809 or 2833 (8 more at step 7). Family 2, block
// 1 differs at step 1 (vfr 15) and step 6 (640 x 240).
const char* const kPresets[kPresetEntries] = {
    // family 0, block 0
    "",
    "DSP/vbr=100000.vmbr=0.vfr=5.vw=160.vh=120.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=200000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=300000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=500000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=850000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=1500000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=500000.vmbr=1500000.vfr=30.vw=320.vh=240.vfl=281.abr=48000.ambr=0.asr=24000.afl=1298.",
    // family 0, block 1
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=160.vh=120.vtype=2.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=2.vfl=281.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 0, block 2
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=176.vh=144.vtype=3.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=3.vfl=273.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=3.vfl=281.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 0, block 3
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=176.vh=144.vtype=4.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=4.vfl=273.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=4.vfl=281.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 0, block 4
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=160.vh=120.vtype=5.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=5.vfl=273.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=5.vfl=281.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 1, block 0
    "",
    "DSP/vbr=100000.vmbr=0.vfr=5.vw=160.vh=120.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=200000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=300000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=500000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=850000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=1500000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=500000.vmbr=1500000.vfr=30.vw=320.vh=240.vfl=281.abr=48000.ambr=0.asr=24000.afl=1298.",
    // family 1, block 1
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=160.vh=120.vtype=2.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=2.vfl=1809.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=2.vfl=1817.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 1, block 2
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=176.vh=144.vtype=3.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=3.vfl=1809.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=3.vfl=1817.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 1, block 3
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=176.vh=144.vtype=4.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=4.vfl=1809.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=4.vfl=1817.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 1, block 4
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=160.vh=120.vtype=5.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=1809.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=5.vfl=1809.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=5.vfl=1817.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 2, block 0
    "",
    "DSP/vbr=100000.vmbr=0.vfr=5.vw=160.vh=120.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=200000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=300000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=500000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=850000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=1500000.vmbr=0.vfr=30.vw=320.vh=240.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
    "DSP/vbr=500000.vmbr=1500000.vfr=30.vw=320.vh=240.vfl=281.abr=48000.ambr=0.asr=24000.afl=1298.",
    // family 2, block 1
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=15.vw=160.vh=120.vtype=2.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=30.vw=640.vh=240.vtype=2.vfl=2833.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=2.vfl=2841.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 2, block 2
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=176.vh=144.vtype=3.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=3.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=3.vfl=2833.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=3.vfl=2841.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 2, block 3
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=176.vh=144.vtype=4.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=25.vw=352.vh=288.vtype=4.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=4.vfl=2833.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=4.vfl=2841.abr=48000.ambr=48000.asr=24000.afl=1810.",
    // family 2, block 4
    "",
    "DSP/vbr=100000.vmbr=850000.vfr=5.vw=160.vh=120.vtype=5.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=200000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=300000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=850000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=5.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
    "DSP/vbr=3000000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=5.vfl=2833.abr=128000.ambr=128000.asr=44100.afl=1810.",
    "DSP/vbr=500000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=5.vfl=2841.abr=48000.ambr=48000.asr=24000.afl=1810.",
};

int FamilyOf(int favourableCodec) {
  if (favourableCodec == 2) return 1;
  if (favourableCodec == 4) return 2;
  return 0;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string Rewrite(const std::string& preset, const QualityRequest& request) {
  const std::string videoRate = std::to_string(request.code / 10) + "0000";
  std::string out;
  std::string_view rest = preset;
  while (!rest.empty()) {
    const size_t dot = rest.find('.');
    const std::string_view item = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    if (item.empty()) continue;
    std::string written(item);
    auto replaceWhenSet = [&written](const char* name, int value) {
      if (value != 0) written = std::string(name) + "=" + std::to_string(value);
    };
    if (StartsWith(item, "DSP/vbr")) {
      written = "DSP/vbr=" + videoRate;
    } else if (StartsWith(item, "vmbr")) {
      if (request.autoBitrate == 0) written = "vmbr=" + videoRate;
    } else if (StartsWith(item, "vfr")) {
      replaceWhenSet("vfr", request.frameRate);
    } else if (StartsWith(item, "abr")) {
      replaceWhenSet("abr", request.audioBitrate);
    } else if (StartsWith(item, "asr")) {
      replaceWhenSet("asr", request.audioSampleRate);
    } else if (StartsWith(item, "ambr")) {
      replaceWhenSet("ambr", request.audioBitrate);
    } else if (StartsWith(item, "vw")) {
      replaceWhenSet("vw", request.width);
    } else if (StartsWith(item, "vh")) {
      replaceWhenSet("vh", request.height);
    }
    out += written;
    out += '.';
  }
  return out;
}

// The code's step as the table and the INI keys see it: 7 is looked up as 3.
int LookupStep(int code) {
  const int step = code % 10;
  return step == 7 ? 3 : step;
}

}  // namespace

const char* PresetEntry(int family, int block, int step) {
  if (family < 0 || family >= kPresetFamilies || block < 0 || block >= kPresetBlocks || step < 0 ||
      step >= kPresetSteps) {
    return "";
  }
  return kPresets[family * kPresetBlocks * kPresetSteps + block * kPresetSteps + step];
}

std::string PresetQuality(const QualityRequest& request) {
  int step = LookupStep(request.code);
  int tunerBlock = 0;
  if (request.autoAvailable != 0) {
    if (request.autoBitrate != 0) step = 7;
    tunerBlock = 1;
  }
  const int family = FamilyOf(request.favourableCodec);
  std::string preset;
  if (request.tvTuner) {
    preset = PresetEntry(family, tunerBlock, step);
  } else if (request.colourSystem >= 1 && request.colourSystem <= 4) {
    preset = PresetEntry(family, request.colourSystem, step);
  }
  if (request.code % 10 == 7 || request.autoBitrate != 0) return Rewrite(preset, request);
  return preset;
}

std::string BuildQualityString(const QualityRequest& request) {
  std::u16string value = ReadEngineIniString(u"DSPParam", u"0", u"");
  if (value.empty()) {
    const std::u16string key = win32::Utf8ToUtf16(std::to_string(LookupStep(request.code)));
    value = ReadEngineIniString(u"DSPParam", key.c_str(), u"");
  }
  if (!value.empty()) return win32::Utf16ToUtf8(value);
  return PresetQuality(request);
}

}  // namespace tlx::engine

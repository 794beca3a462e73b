// The preset table and the quality string built from it.
#include <gtest/gtest.h>

#include <string>

#include "engine/quality_presets.h"
#include "engine_ini_fixture.h"

namespace tlx::engine {
namespace {

// The table written out from its description, independently of the
// library's literal strings.
struct Row {
  int vbr, vmbr, vfr, vw, vh, abr, asr;
};

std::string Expected(int family, int block, int step) {
  if (step == 0) return "";
  const int familyFlags[] = {273, 1809, 2833};
  if (block == 0) {
    const int vbr[] = {0, 100000, 200000, 300000, 500000, 850000, 1500000, 500000};
    const bool small = step == 1;
    return "DSP/vbr=" + std::to_string(vbr[step]) + ".vmbr=" + (step == 7 ? "1500000" : "0") +
           ".vfr=" + (small ? "5" : "30") + ".vw=" + (small ? "160" : "320") + ".vh=" + (small ? "120" : "240") +
           ".vfl=" + (step == 7 ? "281" : "273") + ".abr=48000.ambr=0.asr=24000.afl=1298.";
  }
  const bool pal = block == 2 || block == 3;
  const Row rows[] = {
      {0, 0, 0, 0, 0, 0, 0},
      {100000, 850000, 5, pal ? 176 : 160, pal ? 144 : 120, 48000, 24000},
      {200000, 850000, pal ? 25 : 30, pal ? 352 : 320, pal ? 288 : 240, 48000, 24000},
      {300000, 850000, pal ? 25 : 30, pal ? 352 : 320, pal ? 288 : 240, 48000, 24000},
      {500000, 850000, pal ? 25 : 30, pal ? 352 : 320, pal ? 288 : 240, 48000, 24000},
      {850000, 850000, pal ? 25 : 30, pal ? 352 : 320, pal ? 288 : 240, 48000, 24000},
      {3000000, 3000000, pal ? 25 : 30, pal ? 352 : 320, pal ? 288 : 240, 128000, 44100},
      {500000, 3000000, pal ? 25 : 30, pal ? 352 : 320, pal ? 288 : 240, 48000, 24000},
  };
  Row row = rows[step];
  if (family == 2 && block == 1 && step == 1) row.vfr = 15;
  if (family == 2 && block == 1 && step == 6) row.vw = 640;
  const int vfl = familyFlags[family] + (step == 7 ? 8 : 0);
  return "DSP/vbr=" + std::to_string(row.vbr) + ".vmbr=" + std::to_string(row.vmbr) +
         ".vfr=" + std::to_string(row.vfr) + ".vw=" + std::to_string(row.vw) + ".vh=" + std::to_string(row.vh) +
         ".vtype=" + std::to_string(block + 1) + ".vfl=" + std::to_string(vfl) + ".abr=" + std::to_string(row.abr) +
         ".ambr=" + std::to_string(row.abr) + ".asr=" + std::to_string(row.asr) + ".afl=1810.";
}

TEST(QualityPresets, EveryEntryMatchesTheTable) {
  for (int family = 0; family < kPresetFamilies; ++family) {
    for (int block = 0; block < kPresetBlocks; ++block) {
      for (int step = 0; step < kPresetSteps; ++step) {
        EXPECT_EQ(PresetEntry(family, block, step), Expected(family, block, step))
            << "family " << family << " block " << block << " step " << step;
      }
    }
  }
  EXPECT_STREQ(PresetEntry(3, 0, 1), "");
  EXPECT_STREQ(PresetEntry(0, 0, 8), "");
  EXPECT_STREQ(PresetEntry(0, -1, 1), "");
}

QualityRequest Manual(int code, int colourSystem, int codec) {
  QualityRequest request;
  request.code = code;
  request.autoBitrate = 0;
  request.colourSystem = colourSystem;
  request.favourableCodec = codec;
  return request;
}

TEST(QualityPresets, ChoosesTheEntryByCodecColourSystemAndStep) {
  EXPECT_EQ(PresetQuality(Manual(505, 1, 1)),
            "DSP/vbr=850000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.");
  EXPECT_EQ(PresetQuality(Manual(506, 1, 4)), Expected(2, 1, 6));
  EXPECT_EQ(PresetQuality(Manual(502, 3, 2)), Expected(1, 3, 2));
  EXPECT_EQ(PresetQuality(Manual(502, 0, 1)), "");
  EXPECT_EQ(PresetQuality(Manual(502, 5, 1)), "");
}

TEST(QualityPresets, TunerBlockFollowsAutomaticAvailability) {
  QualityRequest request = Manual(504, 0, 1);
  request.tvTuner = true;
  EXPECT_EQ(PresetQuality(request), Expected(0, 0, 4));
  request.autoAvailable = 1;
  EXPECT_EQ(PresetQuality(request), Expected(0, 1, 4));
}

TEST(QualityPresets, AutomaticCodeRewritesVideoRateAndKeepsTheMaximum) {
  // Code 1007, automatic available and set, colour system 2, AVC.
  QualityRequest request = Manual(1007, 2, 4);
  request.autoBitrate = 1;
  request.autoAvailable = 1;
  EXPECT_EQ(PresetQuality(request),
            "DSP/vbr=1000000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=3.vfl=2841.abr=48000.ambr=48000.asr=24000.afl="
            "1810.");
}

TEST(QualityPresets, CustomStepRewritesOnlyTheGivenParameters) {
  // Without automatic availability step 7 is looked up as step 3.
  QualityRequest request = Manual(3007, 1, 1);
  request.audioBitrate = 64000;
  request.height = 200;
  EXPECT_EQ(PresetQuality(request),
            "DSP/vbr=3000000.vmbr=3000000.vfr=30.vw=320.vh=200.vtype=2.vfl=273.abr=64000.ambr=64000.asr=24000.afl=1810.");
  request.frameRate = 5;
  request.audioSampleRate = 44100;
  request.width = 160;
  request.audioBitrate = 0;
  EXPECT_EQ(PresetQuality(request),
            "DSP/vbr=3000000.vmbr=3000000.vfr=5.vw=160.vh=200.vtype=2.vfl=273.abr=48000.ambr=48000.asr=44100.afl=1810.");
}

TEST(QualityPresets, SmallCodeGivesTheComputedRate) {
  QualityRequest request = Manual(7, 1, 1);
  EXPECT_EQ(PresetQuality(request).substr(0, 20), "DSP/vbr=00000.vmbr=0");
}

TEST(QualityPresets, OverridesComeFromTheIniFile) {
  test::EngineIni ini("[DSPParam]\n3=DSP/vbr=3.\n5=DSP/vbr=5.\n");
  EXPECT_EQ(BuildQualityString(Manual(505, 1, 1)), "DSP/vbr=5.");
  EXPECT_EQ(BuildQualityString(Manual(1007, 1, 1)), "DSP/vbr=3.");  // step 7 reads key "3"
  EXPECT_EQ(BuildQualityString(Manual(502, 1, 1)), Expected(0, 1, 2));
  ini.Rewrite("[DSPParam]\n0=DSP/vbr=0.\n5=DSP/vbr=5.\n");
  for (int code : {501, 505, 1007, 3006}) EXPECT_EQ(BuildQualityString(Manual(code, 1, 1)), "DSP/vbr=0.");
}

TEST(QualityPresets, RewriteDropsEmptyItemsAndEndsWithOneDot) {
  test::EngineIni ini("");
  QualityRequest request = Manual(507, 1, 1);
  const std::string quality = BuildQualityString(request);
  ASSERT_FALSE(quality.empty());
  EXPECT_EQ(quality.back(), '.');
  EXPECT_EQ(quality.find(".."), std::string::npos);
  EXPECT_EQ(quality.substr(quality.size() - 9), "afl=1810.");
}

}  // namespace
}  // namespace tlx::engine

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "utility/tlx_utility.h"

namespace {

std::string Print(const TlxQualityParam& rec) {
  char out[256];
  int n = QualityParamToString(&rec, out, sizeof out);
  EXPECT_GE(n, 0);
  return n < 0 ? std::string() : std::string(out, n);
}

TEST(Quality, PresetTextsParseStrictlyAndPrintBackUnchanged) {
  const char* presets[] = {
      "vbr=850000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.",
      "vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
      "vbr=100000.vmbr=0.vfr=5.vw=160.vh=120.vfl=273.abr=48000.ambr=0.asr=24000.afl=1298.",
      "vbr=3000000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=3.vfl=273.abr=128000.ambr=128000.asr=44100.afl=1810.",
      "vbr=3000000.vmbr=3000000.vfr=30.vw=640.vh=240.vtype=2.vfl=2833.abr=128000.ambr=128000.asr=44100.afl=1810.",
      "vbr=100000.vmbr=850000.vfr=15.vw=160.vh=120.vtype=2.vfl=2833.abr=48000.ambr=48000.asr=24000.afl=1810.",
      "vbr=1000000.vmbr=3000000.vfr=25.vw=352.vh=288.vtype=3.vfl=2841.abr=48000.ambr=48000.asr=24000.afl=1810.",
  };
  for (const char* text : presets) {
    for (const std::string& input : {std::string(text), std::string(text) + "/"}) {
      TlxQualityParam rec;
      std::memset(&rec, 0xAB, sizeof rec);
      ASSERT_EQ(getDspQuality(input.c_str(), &rec), 0) << input;
      EXPECT_EQ(Print(rec), text);
    }
  }
  TlxQualityParam rec{};
  ASSERT_EQ(getDspQuality(presets[2], &rec), 0);
  EXPECT_EQ(rec.vtype, 0u);
  EXPECT_EQ(rec.present & (1u << 5), 0u) << "the block-0 text has no vtype";
  EXPECT_EQ(rec.vw, 160u);
  EXPECT_EQ(rec.afl, 1298u);
}

TEST(Quality, StrictParseRefusesAndLeavesTheRecordUntouched) {
  const std::string base = "vfr=30.vw=320.vh=240.asr=24000.";
  const std::string refused[] = {
      "",
      "vbr=1.",
      base + "vbr=1.vbr=1.",
      base + "xyz=1.",
      base + "vbr=-1.",
      base + "vbr=4294967296.",
      base + "vbr=12a.",
      base + "vbr=1",
      base + "vbr.",
      base + "=1.",
  };
  for (const std::string& text : refused) {
    TlxQualityParam rec;
    std::memset(&rec, 0x5A, sizeof rec);
    TlxQualityParam before = rec;
    EXPECT_NE(getDspQuality(text.c_str(), &rec), 0) << text;
    EXPECT_EQ(std::memcmp(&rec, &before, sizeof rec), 0) << text;
  }
  TlxQualityParam rec{};
  EXPECT_EQ(getDspQuality((base + "vbr=4294967295.").c_str(), &rec), 0);
  EXPECT_EQ(rec.vbr, 4294967295u);
}

TEST(Quality, LenientParseTakesWhatIsWellFormed) {
  TlxQualityParam rec{};
  ASSERT_EQ(getDspQuality("vbr=1.vfr=30.vw=320.vh=240.asr=24000.", &rec), 0);
  TlxQualityParam before = rec;

  ASSERT_EQ(StringToQualityParam("asr=44100.", &rec), 0);
  before.asr = 44100;
  EXPECT_EQ(std::memcmp(&rec, &before, sizeof rec), 0);

  ASSERT_EQ(StringToQualityParam("foo=1.asr=22050.vbr=x.", &rec), 0);
  before.asr = 22050;
  EXPECT_EQ(std::memcmp(&rec, &before, sizeof rec), 0);

  EXPECT_NE(StringToQualityParam("foo=1.", &rec), 0);
  EXPECT_EQ(std::memcmp(&rec, &before, sizeof rec), 0);

  TlxQualityParam empty{};
  ASSERT_EQ(StringToQualityParam("vtype=2.", &empty), 0);
  EXPECT_EQ(Print(empty), "vtype=2.");
}

TEST(Quality, PrintRefusesAShortBuffer) {
  TlxQualityParam rec{};
  ASSERT_EQ(getDspQuality("vfr=30.vw=320.vh=240.asr=24000.", &rec), 0);
  const std::string text = "vfr=30.vw=320.vh=240.asr=24000.";
  char out[64];
  EXPECT_EQ(QualityParamToString(&rec, out, text.size() + 1), static_cast<int>(text.size()));
  EXPECT_EQ(QualityParamToString(&rec, out, text.size()), -1);
  EXPECT_EQ(QualityParamToString(&rec, out, 3), -1);
}

TEST(CorruptionCheck, CutsNothing) {
  EXPECT_EQ(DataCorruptionCheck::Instance().GetTailSize(), 0u);
  EXPECT_EQ(&DataCorruptionCheck::Instance(), &DataCorruptionCheck::Instance());
}

}  // namespace

#include <gtest/gtest.h>

#include <vector>

#include "mp4source/stream_types.h"

namespace tlx::mp4source {
namespace {

TEST(AacConfig, OnlyPlainLowComplexityConfigsPass) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool accepted;
    int rate;
    int channels;
  };
  const Case cases[] = {
      {{0x11, 0x90}, true, 48000, 2},
      {{0x13, 0x08}, true, 24000, 1},
      {{0x11, 0xB0}, true, 48000, 6},
      // A sync extension that says SBR is absent, as ffmpeg's encoder writes it.
      {{0x11, 0x90, 0x56, 0xE5, 0x00}, true, 48000, 2},
      // The same announcing SBR: HE-AAC.
      {{0x11, 0x90, 0x56, 0xE5, 0x80}, false, 0, 0},
      // Object type 5 (SBR) outright, 3 channels, a rate index past the table,
      // a configuration cut short.
      {{0x2B, 0x10}, false, 0, 0},
      {{0x11, 0x98}, false, 0, 0},
      {{0x17, 0x90}, false, 0, 0},
      {{0x11}, false, 0, 0},
      {{}, false, 0, 0},
  };
  for (const Case& c : cases) {
    std::optional<AacLcConfig> parsed = ParseAacLcConfig(c.bytes.data(), c.bytes.size());
    ASSERT_EQ(parsed.has_value(), c.accepted) << testing::PrintToString(c.bytes);
    if (!parsed) continue;
    EXPECT_EQ(parsed->sampleRate, c.rate);
    EXPECT_EQ(parsed->channels, c.channels);
    EXPECT_EQ(parsed->bytes[0], c.bytes[0]);
    EXPECT_EQ(parsed->bytes[1], c.bytes[1]);
  }
}

}  // namespace
}  // namespace tlx::mp4source

// A synthetic recording, built with a known audio/video offset, gives that
// offset back through the benchmark's arithmetic.
#include "playback/av_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tlx::bench::playback {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFrameMs = 1000.0 / 30;
constexpr double kRate = 48000;
// A sample's time and the rise of the click's sine to the threshold.
constexpr double kToleranceMs = 0.1;

struct Recording {
  std::vector<double> flashes;
  std::vector<double> clicks;
};

// 30 s of pictures at 30 a second whose flash picture (two pictures long,
// every 2 s from firstFlashMs) is presented at the flash instant, and of
// sound played in 10 ms blocks whose 1 kHz click starts offsetMs before it.
// Clicks listed in `missing` are left out of the sound.
Recording Record(double firstFlashMs, double offsetMs, std::vector<int> missing = {}) {
  OnsetDetector pictures(0.5, 500);
  for (int frame = 0; frame * kFrameMs < 30000; ++frame) {
    const double at = frame * kFrameMs;
    const double sinceFlash = at - firstFlashMs - 2000 * std::floor((at - firstFlashMs) / 2000);
    const bool flash = at >= firstFlashMs - 0.001 && (sinceFlash < 2 * kFrameMs - 0.001 || sinceFlash > 1999.999);
    pictures.Feed(at, flash ? 0.95 : 0.12);
  }
  OnsetDetector sound(0.25, 500);
  const size_t block = static_cast<size_t>(kRate / 100);
  for (size_t first = 0; first < static_cast<size_t>(30 * kRate); first += block) {
    std::vector<double> levels;
    for (size_t i = first; i < first + block; ++i) {
      const double at = 1000.0 * static_cast<double>(i) / kRate;
      const double sinceClick = at - (firstFlashMs - offsetMs);
      const int index = static_cast<int>(std::floor(sinceClick / 2000));
      const double within = sinceClick - 2000.0 * index;
      const bool dropped = std::find(missing.begin(), missing.end(), index) != missing.end();
      const bool click = sinceClick >= 0 && within < 10 && !dropped;
      levels.push_back(click ? std::fabs(0.8 * std::sin(2 * kPi * within)) : 0.001);
    }
    sound.FeedSamples(1000.0 * static_cast<double>(first) / kRate, kRate, levels);
  }
  return {pictures.Onsets(), sound.Onsets()};
}

TEST(AvSync, ARecordingGivesTheOffsetItWasBuiltWith) {
  const struct {
    double firstFlashMs;
    double offsetMs;
  } cases[] = {{2000, 0}, {1000 + 7 * kFrameMs, 23.5}, {2000 + 11 * kFrameMs, -37.25}, {500, 180}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "first flash " << c.firstFlashMs << " offset " << c.offsetMs);
    const Recording recording = Record(c.firstFlashMs, c.offsetMs);
    const std::vector<double> offsets = PairOffsets(recording.flashes, recording.clicks, 500);
    const SyncFigures figures = SyncOf(offsets);
    // One pair per flash.
    ASSERT_EQ(figures.pairs, recording.flashes.size());
    EXPECT_GE(figures.pairs, 14u);
    EXPECT_NEAR(figures.p50, c.offsetMs, kToleranceMs);
    EXPECT_NEAR(figures.p99, std::fabs(c.offsetMs), kToleranceMs);
  }
}

TEST(AvSync, AFlashWithoutItsClickIsLeftOutAndNoOtherClickIsTakenForIt) {
  const Recording recording = Record(2000, 12, {3, 4});
  const std::vector<double> offsets = PairOffsets(recording.flashes, recording.clicks, 500);
  EXPECT_EQ(offsets.size(), recording.flashes.size() - 2);
  for (double offset : offsets) EXPECT_NEAR(offset, 12, kToleranceMs);
}

TEST(AvSync, TheFiguresOfSpreadOffsets) {
  // 100 offsets: -10 .. 89 ms; the median rank is the 50th value, the 99th
  // percentile of the magnitudes the 99th of 0..89 with 1..10 twice.
  std::vector<double> offsets;
  for (int i = -10; i < 90; ++i) offsets.push_back(i);
  const SyncFigures figures = SyncOf(offsets);
  EXPECT_EQ(figures.p50, 39);
  EXPECT_EQ(figures.p99, 88);
  EXPECT_EQ(WorstMagnitude({3, -41, 40}), -41);
  EXPECT_EQ(Percentile({}, 50), 0);
  EXPECT_EQ(Percentile({7}, 99), 7);
  EXPECT_EQ(Percentile({5, 1, 3}, 50), 3);
}

}  // namespace
}  // namespace tlx::bench::playback

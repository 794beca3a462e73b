// The playback benchmark's arithmetic: the instants where a flash appears in
// the picture or a click in the sound, their pairing, the audio/video offset
// of each pair and the figures taken over offsets and runs. Every time is in
// milliseconds on one clock.
#pragma once

#include <cstddef>
#include <vector>

namespace tlx::bench::playback {

// The instants where a level rises to or above a threshold after it stayed
// below it for at least a quiet time: one onset per flash or click, however
// many pictures or samples it lasts.
class OnsetDetector {
 public:
  OnsetDetector(double threshold, double quietMs) : threshold_(threshold), quietMs_(quietMs) {}

  // One level at its time; times come in increasing order.
  void Feed(double timeMs, double level);
  // The levels of a block of samples, the first played at startMs, the next
  // ones 1000 / sampleRate ms apart; each level is the magnitude of a
  // sample over its full scale.
  void FeedSamples(double startMs, double sampleRate, const std::vector<double>& levels);
  const std::vector<double>& Onsets() const { return onsets_; }

 private:
  const double threshold_;
  const double quietMs_;
  bool above_ = false;
  bool started_ = false;
  double lastAboveMs_ = 0;
  std::vector<double> onsets_;
};

// For each flash, its time minus the time of the click nearest to it, when
// that click lies within maxGapMs; flashes without such a click are left
// out. A positive offset means the picture came after the sound.
std::vector<double> PairOffsets(const std::vector<double>& flashes, const std::vector<double>& clicks,
                                double maxGapMs);

// The value below which `percent` per cent of the values lie (nearest rank:
// the smallest value with at least that share at or below it); 0 for none.
double Percentile(std::vector<double> values, double percent);

// The largest magnitude of the values, keeping its sign; 0 for none.
double WorstMagnitude(const std::vector<double>& values);

// The audio/video figures of one run: the median offset and the 99th
// percentile of the offsets' magnitudes.
struct SyncFigures {
  double p50 = 0;
  double p99 = 0;
  size_t pairs = 0;
};
SyncFigures SyncOf(const std::vector<double>& offsets);

}  // namespace tlx::bench::playback

#include "av_sync.h"

#include <algorithm>
#include <cmath>

namespace tlx::bench::playback {

void OnsetDetector::Feed(double timeMs, double level) {
  if (level >= threshold_) {
    if (!above_ && (!started_ || timeMs - lastAboveMs_ >= quietMs_)) onsets_.push_back(timeMs);
    above_ = true;
    started_ = true;
    lastAboveMs_ = timeMs;
  } else {
    above_ = false;
  }
}

void OnsetDetector::FeedSamples(double startMs, double sampleRate, const std::vector<double>& levels) {
  for (size_t i = 0; i < levels.size(); ++i) Feed(startMs + 1000.0 * static_cast<double>(i) / sampleRate, levels[i]);
}

std::vector<double> PairOffsets(const std::vector<double>& flashes, const std::vector<double>& clicks,
                                double maxGapMs) {
  std::vector<double> offsets;
  for (double flash : flashes) {
    const double* nearest = nullptr;
    for (const double& click : clicks) {
      if (nearest == nullptr || std::fabs(flash - click) < std::fabs(flash - *nearest)) nearest = &click;
    }
    if (nearest != nullptr && std::fabs(flash - *nearest) <= maxGapMs) offsets.push_back(flash - *nearest);
  }
  return offsets;
}

double Percentile(std::vector<double> values, double percent) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double rank = std::ceil(percent / 100.0 * static_cast<double>(values.size()));
  const size_t index = rank < 1 ? 0 : std::min(values.size(), static_cast<size_t>(rank)) - 1;
  return values[index];
}

double WorstMagnitude(const std::vector<double>& values) {
  double worst = 0;
  for (double value : values) {
    if (std::fabs(value) > std::fabs(worst)) worst = value;
  }
  return worst;
}

SyncFigures SyncOf(const std::vector<double>& offsets) {
  std::vector<double> magnitudes;
  for (double offset : offsets) magnitudes.push_back(std::fabs(offset));
  return {Percentile(offsets, 50), Percentile(magnitudes, 99), offsets.size()};
}

}  // namespace tlx::bench::playback

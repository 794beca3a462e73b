// Time to the first picture and sound, and the audio/video offset, of the
// live graph against the test peer, driven as the panel drives it. Each case
// (video codec) runs ten times; run n joins the clip at a random point of
// the n-th tenth of its first second, so the first key frame comes at a
// random offset, the offsets spread evenly over the runs (ten free draws
// can bunch and move the median by hundreds of milliseconds), and plays
// 30 s of it. Prints the median figures, then the median and worst of
// each beside its goal, and the first picture's time by stage.
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "av_sync.h"
#include "engine/tlx_pc_stm_mode_if.h"
#include "support/live_session.h"

namespace {

using namespace std::chrono_literals;
using tlx::bench::playback::OnsetDetector;
using tlx::bench::playback::PairOffsets;
using tlx::bench::playback::Percentile;
using tlx::bench::playback::SyncFigures;
using tlx::bench::playback::SyncOf;
using tlx::bench::playback::WorstMagnitude;
using tlx::test::LiveClip;
using tlx::test::LiveSession;
using tlx::test::NotifyCall;
using tlx::test::SteadyClock;

constexpr int kRuns = 10;
constexpr auto kPlayTime = 30s;
// The clip's flashes and clicks are 2 s apart: a pair is never further
// apart than this.
constexpr double kPairGapMs = 500;
constexpr double kFirstPictureGoalMs = 1500;
constexpr double kOffsetGoalMs = 40;

struct Case {
  const char* name;
  const char* video;
  const char* audio;
  int audioRate;
};

// The stages of the first picture, as times since bRunMovie.
const char* const kStages[] = {"clean-up, link start, graph build", "authentication", "RTSP set-up",
                               "first packet", "first key frame", "first decoded and presented picture"};
constexpr size_t kStageCount = sizeof kStages / sizeof kStages[0];

struct RunFigures {
  double firstPicture = NAN;
  double firstSound = NAN;
  SyncFigures sync;
  size_t flashes = 0;
  size_t clicks = 0;
  double stageEnds[kStageCount] = {};
};

double Ms(SteadyClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// What the renderers present and play during one run, as onsets; nothing
// counts before Start gives the origin.
class Observations {
 public:
  void Start(SteadyClock::time_point origin) {
    std::lock_guard<std::mutex> hold(lock_);
    origin_ = origin;
    started_ = true;
  }

  void Picture(SteadyClock::time_point at, const QImage& picture) {
    double sum = 0;
    int count = 0;
    for (int y = 0; y < picture.height(); y += 8) {
      for (int x = 0; x < picture.width(); x += 8) {
        const QRgb pixel = picture.pixel(x, y);
        sum += 0.299 * qRed(pixel) + 0.587 * qGreen(pixel) + 0.114 * qBlue(pixel);
        ++count;
      }
    }
    std::lock_guard<std::mutex> hold(lock_);
    if (!started_) return;
    if (std::isnan(firstPicture_)) firstPicture_ = Ms(at - origin_);
    flashes_.Feed(Ms(at - origin_), count > 0 ? sum / count / 255 : 0);
  }

  void Sound(SteadyClock::time_point at, const int16_t* samples, size_t frames, int channels, int rate) {
    std::vector<double> levels(frames);
    for (size_t i = 0; i < frames; ++i) {
      int peak = 0;
      for (int c = 0; c < channels; ++c) peak = std::max(peak, std::abs(static_cast<int>(samples[i * channels + c])));
      levels[i] = peak / 32768.0;
    }
    std::lock_guard<std::mutex> hold(lock_);
    if (!started_) return;
    sound_.FeedSamples(Ms(at - origin_), rate, levels);
    clicks_.FeedSamples(Ms(at - origin_), rate, levels);
  }

  double FirstPicture() {
    std::lock_guard<std::mutex> hold(lock_);
    return firstPicture_;
  }
  double FirstSound() {
    std::lock_guard<std::mutex> hold(lock_);
    return sound_.Onsets().empty() ? NAN : sound_.Onsets().front();
  }
  size_t Flashes() {
    std::lock_guard<std::mutex> hold(lock_);
    return flashes_.Onsets().size();
  }
  size_t Clicks() {
    std::lock_guard<std::mutex> hold(lock_);
    return clicks_.Onsets().size();
  }
  std::vector<double> Offsets() {
    std::lock_guard<std::mutex> hold(lock_);
    return PairOffsets(flashes_.Onsets(), clicks_.Onsets(), kPairGapMs);
  }

 private:
  std::mutex lock_;
  SteadyClock::time_point origin_{};
  bool started_ = false;
  double firstPicture_ = NAN;
  OnsetDetector flashes_{0.6, kPairGapMs};
  OnsetDetector sound_{0.01, 0};
  OnsetDetector clicks_{0.4, kPairGapMs};
};

// The time since bRunMovie of the `nth` (from 1) notification of `event`.
double NotifiedAt(const std::vector<NotifyCall>& calls, int event, int nth, SteadyClock::time_point origin) {
  for (const NotifyCall& call : calls) {
    if (call.event == event && --nth == 0) return Ms(call.at - origin);
  }
  return NAN;
}

bool PlayOnce(const Case& c, int startMs, RunFigures& figures) {
  Observations observations;
  LiveSession session(LiveClip{std::string(PLAYBACK_CLIP_DIR) + "/" + c.video, c.name,
                               std::string(PLAYBACK_CLIP_DIR) + "/" + c.audio, startMs, c.audioRate});
  if (!session.ready()) {
    std::fprintf(stderr, "the peer did not start: %s\n", session.error().c_str());
    return false;
  }
  session.ObservePresents([&](const tlx::dshow::video::PresentedFrame&, SteadyClock::time_point at,
                              const QImage& picture) { observations.Picture(at, picture); });
  session.ObserveSound([&](SteadyClock::time_point at, const int16_t* samples, size_t frames, int channels,
                           int rate) { observations.Sound(at, samples, frames, channels, rate); });
  bool played = false;
  tlx::test::RunWithEventLoop([&] {
    if (!session.Create()) return;
    // Full volume, as a viewer who turned it up has it: the clicks are
    // found at a fixed level.
    session.stream()->bSetVolume(10000);
    observations.Start(SteadyClock::now());
    if (session.Run() && session.WaitForNotify(8, 1, 15s)) {
      std::this_thread::sleep_until(session.runStart() + kPlayTime);
      played = true;
    }
    session.Stop();
    session.Cleanup();
    played = played && !std::isnan(observations.FirstPicture());
    const std::vector<NotifyCall> calls = session.Notifications();
    const SteadyClock::time_point origin = session.runStart();
    figures.firstPicture = observations.FirstPicture();
    figures.firstSound = observations.FirstSound();
    figures.sync = SyncOf(observations.Offsets());
    figures.flashes = observations.Flashes();
    figures.clicks = observations.Clicks();
    // The source reports the start of its connection (after the end of the
    // graph bInitialize built, the link library's start and the new graph's
    // build), the end of its authentication, the end of the RTSP set-up and
    // its first frame of either medium; the key frame follows that frame by
    // the part of a second the run joined the clip before it, as the peer
    // paces it.
    const double firstPacket = NotifiedAt(calls, 5, 1, origin);
    const double keyFrameWait = (1000 - startMs % 1000) % 1000;
    const double ends[kStageCount] = {NotifiedAt(calls, 0, 2, origin), NotifiedAt(calls, 7, 1, origin),
                                      NotifiedAt(calls, 1, 1, origin), firstPacket, firstPacket + keyFrameWait,
                                      figures.firstPicture};
    std::copy(ends, ends + kStageCount, figures.stageEnds);
    session.Destroy();
  });
  if (!played) {
    std::fprintf(stderr, "%s: the stream did not play (start at %d ms): %s\n", c.name, startMs,
                 session.failure().empty() ? "no picture" : session.failure().c_str());
  }
  return played;
}

double Median(const std::vector<double>& values) { return Percentile(values, 50); }
double Worst(const std::vector<double>& values) { return values.empty() ? NAN : *std::max_element(values.begin(), values.end()); }

}  // namespace

int main() {
  const Case cases[] = {{"mpeg4", "clip.m4v", "clip_24000.aac", 24000}, {"avc", "clip.h264", "clip_44100.aac", 44100}};
  std::random_device seed;
  std::mt19937 random(seed());
  constexpr int kSlotMs = 1000 / kRuns;
  std::uniform_int_distribution<int> withinSlot(0, kSlotMs - 1);
  int status = 0;
  std::string summary;
  for (const Case& c : cases) {
    std::vector<RunFigures> runs;
    for (int run = 0; run < kRuns; ++run) {
      RunFigures figures;
      const int startMs = run * kSlotMs + withinSlot(random);
      if (!PlayOnce(c, startMs, figures)) {
        status = 1;
        continue;
      }
      std::fprintf(stderr, "%s run %d: start %d ms, first picture %.0f ms, first sound %.0f ms, %zu flashes, %zu clicks, "
                   "%zu pairs, offset p50 %.1f ms, p99 %.1f ms\n", c.name, run + 1, startMs, figures.firstPicture,
                   figures.firstSound, figures.flashes, figures.clicks, figures.sync.pairs, figures.sync.p50, figures.sync.p99);
      runs.push_back(figures);
    }
    if (runs.empty()) continue;
    std::vector<double> picture, sound, p50, p99;
    for (const RunFigures& run : runs) {
      picture.push_back(run.firstPicture);
      sound.push_back(run.firstSound);
      p50.push_back(run.sync.p50);
      p99.push_back(run.sync.p99);
    }
    std::printf("latency %s/first-picture %.0f\n", c.name, Median(picture));
    std::printf("latency %s/first-sound %.0f\n", c.name, Median(sound));
    std::printf("sync %s/av-offset-p50 %.1f\n", c.name, Median(p50));
    std::printf("sync %s/av-offset-p99 %.1f\n", c.name, Median(p99));

    char line[512];
    const double pictureMedian = Median(picture);
    const double p99Worst = Worst(p99);
    std::snprintf(line, sizeof line,
                  "%s over %zu runs (median / worst, ms):\n"
                  "  first picture   %6.0f / %6.0f   goal median <= %.0f: %s\n"
                  "  first sound     %6.0f / %6.0f\n"
                  "  offset p50      %6.1f / %6.1f   (picture after sound is positive)\n"
                  "  offset p99 |x|  %6.1f / %6.1f   goal <= %.0f: %s\n",
                  c.name, runs.size(), pictureMedian, Worst(picture), kFirstPictureGoalMs,
                  pictureMedian <= kFirstPictureGoalMs ? "met" : "missed", Median(sound), Worst(sound), Median(p50),
                  WorstMagnitude(p50),
                  Median(p99), p99Worst, kOffsetGoalMs, p99Worst <= kOffsetGoalMs ? "met" : "missed");
    summary += line;
    summary += "  first picture by stage (median ms since bRunMovie, then the stage's own median share):\n";
    for (size_t stage = 0; stage < kStageCount; ++stage) {
      std::vector<double> ends, spans;
      for (const RunFigures& run : runs) {
        ends.push_back(run.stageEnds[stage]);
        spans.push_back(run.stageEnds[stage] - (stage == 0 ? 0 : run.stageEnds[stage - 1]));
      }
      std::snprintf(line, sizeof line, "    %-38s %6.0f  %+6.0f\n", kStages[stage], Median(ends), Median(spans));
      summary += line;
    }
  }
  std::printf("\n%s", summary.c_str());
  return status;
}

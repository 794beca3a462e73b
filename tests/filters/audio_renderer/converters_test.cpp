// The upsampler and the decimator on small hand-worked frames and long inputs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "filters/audio_renderer/linear_resampler.h"

namespace {

std::vector<BYTE> Bytes(const std::vector<int16_t>& samples) {
  std::vector<BYTE> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

std::vector<int16_t> Samples(const BYTE* bytes, UINT size) {
  std::vector<int16_t> samples(size / 2);
  std::memcpy(samples.data(), bytes, size);
  return samples;
}

struct Frame {
  std::vector<int16_t> samples;
  REFERENCE_TIME time;
  const void* record;
};

class Sink : public IResamplerSink {
 public:
  int Deliver(const BYTE* frame, UINT frameBytes, REFERENCE_TIME frameTime, const void* record) override {
    frames.push_back({Samples(frame, frameBytes), frameTime, record});
    return result;
  }
  std::vector<int16_t> All() const {
    std::vector<int16_t> all;
    for (const auto& f : frames) all.insert(all.end(), f.samples.begin(), f.samples.end());
    return all;
  }
  std::vector<Frame> frames;
  int result = 0;
};

TEST(LinearResampler, ReducesTheRatioByTheGreatestCommonDivisor) {
  Sink sink;
  CLinearResampler r(&sink);
  ASSERT_EQ(r.Configure(2, 24000, 25440, 4096, 192000), 0);
  EXPECT_EQ(r.Interpolation(), 50u);
  EXPECT_EQ(r.Decimation(), 53u);
  EXPECT_EQ(r.Step(), 3u);
}

TEST(LinearResampler, InterpolatesHandWorkedFrames) {
  // I 2, D 3: weights (0,3) (1,2) (2,1) (3,0), then an extra sample at (1,2).
  struct Case {
    UINT channels;
    std::vector<std::vector<int16_t>> pushes;
    std::vector<int16_t> expected;
  };
  const Case cases[] = {
      // A ramp stays on its ramp; the second push starts from the first's
      // last sample.
      {1,
       {{0, 300, 600, 900, 1200, 1500}, {1800, 2100, 2400, 2700, 3000, 3300}},
       {0, 200, 400, 600, 800, 1000, 1200, 1400, 1600, 1800, 2000, 2200}},
      // +D/2 and truncation towards zero: -1 between 0 and -1 rounds to 0,
      // and so does -1 against -1.
      {1, {{0, -1, -1, -1, -1, -1}}, {0, 0, 0, 0, 0, 0}},
      {1, {{0, 5, 7, 7, -8, 100}}, {0, 3, 6, 7, 7, 2}},
      // Stereo: each channel on its own.
      {2,
       {{0, 9, 300, 9, 600, 9, 900, 9, 1200, 9, 1500, 9}},
       {0, 9, 200, 9, 400, 9, 600, 9, 800, 9, 1000, 9}},
  };
  for (const Case& c : cases) {
    Sink sink;
    CLinearResampler r(&sink);
    const UINT bytes = static_cast<UINT>(c.pushes[0].size() * 2);
    ASSERT_EQ(r.Configure(c.channels, 24000, 36000, bytes, 96000), 0);
    int record = 0;
    for (const auto& push : c.pushes) {
      auto data = Bytes(push);
      ASSERT_EQ(r.Push(data.data(), bytes, 0, &record), 0);
    }
    auto all = sink.All();
    all.resize(std::min(all.size(), c.expected.size()));
    EXPECT_EQ(all, c.expected);
    for (const auto& f : sink.frames) EXPECT_EQ(f.record, &record);
  }
}

TEST(LinearResampler, LongInputKeepsConstantsAndRampsAndTheRatio) {
  Sink sink;
  CLinearResampler r(&sink);
  const UINT frame = 4096;
  ASSERT_EQ(r.Configure(1, 24000, 25440, frame, 48000), 0);
  std::mt19937 random(7);
  // A positive constant, then a ramp of random slope.
  std::vector<int16_t> input(frame / 2 * 40, 1234);
  const int slope = static_cast<int>(random() % 3) + 1;
  for (size_t i = input.size() / 2; i < input.size(); ++i) {
    input[i] = static_cast<int16_t>(-20000 + slope * static_cast<int>(i - input.size() / 2));
  }
  for (size_t at = 0; at < input.size(); at += frame / 2) {
    std::vector<int16_t> push(input.begin() + static_cast<long>(at), input.begin() + static_cast<long>(at + frame / 2));
    auto data = Bytes(push);
    ASSERT_EQ(r.Push(data.data(), frame, 0, nullptr), 0);
  }
  const auto out = sink.All();
  // 53 out for 50 in.
  EXPECT_NEAR(static_cast<double>(out.size()), input.size() * 53.0 / 50.0, frame / 2.0);
  const size_t constantEnd = input.size() / 2 * 53 / 50 - 2;
  for (size_t i = 0; i < constantEnd; ++i) ASSERT_EQ(out[i], 1234) << i;
  // On the ramp every step is the input slope times 50/53, within rounding.
  for (size_t i = constantEnd + 4; i + 1 < out.size(); ++i) {
    ASSERT_NEAR(out[i + 1] - out[i], slope * 50.0 / 53.0, 1.0) << i;
  }
}

TEST(LinearResampler, EqualRatesPassFramesThroughBehindTheCarriedBytes) {
  Sink sink;
  CLinearResampler r(&sink);
  ASSERT_EQ(r.Configure(1, 24000, 36000, 12, 48000), 0);
  auto first = Bytes({0, 300, 600, 900, 1200, 1500});
  ASSERT_EQ(r.Push(first.data(), 12, 0, nullptr), 0);  // leaves 1200 and 1400 in hand
  EXPECT_EQ(r.SetOutputRate(23999), 2);
  EXPECT_EQ(r.OutputRate(), 36000u);
  ASSERT_EQ(r.SetOutputRate(24000), 0);
  auto second = Bytes({1, 2, 3, 4, 5, 6});
  ASSERT_EQ(r.Push(second.data(), 12, 10000000, nullptr), 0);
  ASSERT_EQ(sink.frames.size(), 2u);
  EXPECT_EQ(sink.frames[1].samples, (std::vector<int16_t>{1200, 1400, 1, 2, 3, 4}));
  // Its time goes back by the two carried samples.
  EXPECT_EQ(sink.frames[1].time, 10000000 - 4 * 10000000 / 48000);
  auto third = Bytes({7, 8, 9, 10, 11, 12});
  ASSERT_EQ(r.Push(third.data(), 12, 0, nullptr), 0);
  EXPECT_EQ(sink.frames[2].samples, (std::vector<int16_t>{5, 6, 7, 8, 9, 10}));
}

TEST(LinearResampler, RefusesBadArgumentsAndPassesSinkErrors) {
  Sink sink;
  CLinearResampler r(&sink);
  auto data = Bytes(std::vector<int16_t>(2047, 1));
  EXPECT_EQ(r.Push(data.data(), 4094, 0, nullptr), 1);  // not configured
  struct Config {
    UINT channels, in, out, frame, avg;
  };
  for (const Config& c : {Config{0, 1, 1, 4, 4}, Config{3, 1, 1, 4, 4}, Config{1, 0, 1, 4, 4},
                          Config{1, 2, 1, 4, 4}, Config{1, 1, 1, 0, 4}, Config{1, 1, 1, 4, 0}}) {
    EXPECT_EQ(r.Configure(c.channels, c.in, c.out, c.frame, c.avg), 2);
  }
  ASSERT_EQ(r.Configure(2, 24000, 25440, 4094, 96000), 0);
  EXPECT_EQ(r.Push(data.data(), 4094, 0, nullptr), 2);  // not whole stereo frames
  EXPECT_EQ(r.SetOutputRate(0), 2);
  CLinearResampler noSink(nullptr);
  ASSERT_EQ(noSink.Configure(1, 1, 2, 4, 4), 0);
  EXPECT_EQ(noSink.Push(data.data(), 4, 0, nullptr), 1);

  ASSERT_EQ(r.Configure(1, 24000, 25440, 4096, 48000), 0);
  sink.result = 3;
  auto frame = Bytes(std::vector<int16_t>(2048, 5));
  EXPECT_EQ(r.Push(frame.data(), 4096, 0, nullptr), 3);
}

// Mono frames of a ramp that goes on from frame to frame, each with a time.
class RampSource : public IDecimatorSource {
 public:
  explicit RampSource(UINT samplesPerFrame) : samples_(samplesPerFrame) {}
  HRESULT Pull(BYTE* buffer, UINT size, REFERENCE_TIME* time) override {
    if (failAfter >= 0 && pulls >= failAfter) return E_FAIL;
    std::vector<int16_t> frame(size / 2);
    for (auto& s : frame) s = static_cast<int16_t>(next++);
    std::memcpy(buffer, frame.data(), size);
    *time = 1000 * ++pulls;
    return S_OK;
  }
  UINT samples_;
  int next = 0;
  int pulls = 0;
  int failAfter = -1;
};

TEST(SampleDecimator, KeepsOutCountOfEveryInCountFramesEvenlySpread) {
  RampSource source(1000);
  CSampleDecimator d(&source);
  ASSERT_EQ(d.Configure(1, 2000), 0);
  d.SetShift(0);
  std::vector<BYTE> out(2000);
  REFERENCE_TIME mean = -1;
  ASSERT_EQ(d.Pull(out.data(), 2000, 1000, 700, &mean), 0);
  const auto kept = Samples(out.data(), 2000);
  // The first 700 come from the first input frame, spread over all of it.
  EXPECT_EQ(source.pulls, 2);
  EXPECT_EQ(mean, 1500);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(kept[i] < 1000, i < 700) << i;
    if (i > 0 && i != 700) {
      const int gap = kept[i] - kept[i - 1];
      ASSERT_TRUE(gap == 1 || gap == 2) << gap;
    }
  }
  EXPECT_GE(kept[699], 998);
}

TEST(SampleDecimator, ConsecutivePullsTakeTheInputContiguously) {
  RampSource source(300);
  CSampleDecimator d(&source);
  ASSERT_EQ(d.Configure(1, 600), 0);
  d.SetShift(0);
  std::vector<int16_t> all;
  std::vector<BYTE> out(600);
  REFERENCE_TIME mean = 0;
  for (int pull = 0; pull < 5; ++pull) {
    ASSERT_EQ(d.Pull(out.data(), 600, 1, 1, &mean), 0);
    EXPECT_EQ(mean, 1000 * (pull + 1));
    auto samples = Samples(out.data(), 600);
    all.insert(all.end(), samples.begin(), samples.end());
  }
  for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<int16_t>(i));
}

TEST(SampleDecimator, ShiftsArithmeticallyAndZeroesWhatTheSourceCannotGive) {
  struct Constant : IDecimatorSource {
    HRESULT Pull(BYTE* buffer, UINT size, REFERENCE_TIME* time) override {
      if (left-- <= 0) return E_FAIL;
      std::vector<int16_t> frame(size / 2, -1);
      frame[1] = 32767;
      std::memcpy(buffer, frame.data(), size);
      *time = 0;
      return S_OK;
    }
    int left = 1;
  } source;
  CSampleDecimator d(&source);
  ASSERT_EQ(d.Configure(2, 8), 0);
  d.SetShift(6);
  std::vector<BYTE> out(8, 0xFF);
  REFERENCE_TIME mean = -1;
  // Keeps both frames of the first input frame: -1 stays -1.
  ASSERT_EQ(d.Pull(out.data(), 8, 1, 1, &mean), 0);
  EXPECT_EQ(Samples(out.data(), 8), (std::vector<int16_t>{-1, 32767 >> 6, -1, -1}));
  // The source fails at once: an all-zero frame and 4.
  ASSERT_EQ(d.Pull(out.data(), 8, 1, 1, &mean), 4);
  EXPECT_EQ(mean, 0);
  EXPECT_EQ(Samples(out.data(), 8), (std::vector<int16_t>(4, 0)));
}

TEST(SampleDecimator, APullThatTakesNoInputFrameGivesNoData) {
  RampSource source(1);
  CSampleDecimator d(&source);
  // A frame shorter than one stereo sample frame holds no output sample.
  ASSERT_EQ(d.Configure(2, 2), 0);
  std::vector<BYTE> out(2, 0xFF);
  REFERENCE_TIME mean = -1;
  EXPECT_EQ(d.Pull(out.data(), 2, 1, 1, &mean), 4);
  EXPECT_EQ(mean, 0);
  EXPECT_EQ(source.pulls, 0);
  EXPECT_EQ(out, std::vector<BYTE>(2, 0));

  ASSERT_EQ(d.Configure(1, 8), 0);
  std::vector<BYTE> two(8);
  EXPECT_EQ(d.Pull(nullptr, 8, 1, 1, &mean), 2);
  EXPECT_EQ(d.Pull(two.data(), 6, 1, 1, &mean), 2);
  EXPECT_EQ(d.Pull(two.data(), 8, 0, 1, &mean), 2);
  EXPECT_EQ(d.Pull(two.data(), 8, 1, 2, &mean), 2);
  CSampleDecimator unconfigured(&source);
  EXPECT_EQ(unconfigured.Pull(two.data(), 8, 1, 1, &mean), 1);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "outside/aaccore/support/aac_reference.h"
#include "aaccore/tlxaaccore.h"

namespace tlx::aaccore::test {
namespace {

// One core instance, opened for a stream.
class Core {
 public:
  Core() { EXPECT_EQ(aacDecCreateInstance(&handle_), 0); }
  ~Core() {
    aacDecExit(handle_);
    aacDecReleaseInstance(&handle_);
  }

  int Init(int channels, int rate, int downMix = 0, std::vector<int> order = {}, int bits = 16) {
    int z1 = 0, z2 = 0;
    order_ = order;
    order_.resize(48);
    return aacDecInit(handle_, &channels, &bits, &rate, &z1, &z2, 0, 0, 0, 1, downMix, static_cast<int>(order.size()),
                      order_.data());
  }

  // One unit through GetInfo and Main, as the filter calls them; checks the
  // counts the core hands back.
  std::vector<int16_t> Decode(const uint8_t* unit, int length) {
    int a = 0, b = 0, c = 0, d = 0;
    EXPECT_EQ(aacDecGetInfo(handle_, &a, &b, &c, &d), 0);
    std::vector<int16_t> pcm(static_cast<size_t>(b) / 2, 0x5555);
    EXPECT_EQ(aacDecMain(handle_, unit, a, &c, reinterpret_cast<unsigned char*>(pcm.data()), b, &d, length), 0);
    EXPECT_EQ(c, length);
    EXPECT_EQ(d, b);
    return pcm;
  }
  std::vector<int16_t> Decode(const std::vector<uint8_t>& unit) {
    return Decode(unit.data(), static_cast<int>(unit.size()));
  }

  AacDecHandle handle() const { return handle_; }

 private:
  AacDecHandle handle_ = nullptr;
  std::vector<int> order_;
};

bool IsSilent(const std::vector<int16_t>& pcm) {
  return std::all_of(pcm.begin(), pcm.end(), [](int16_t s) { return s == 0; });
}

// Channel `channel` of interleaved frames.
std::vector<int16_t> Channel(const std::vector<int16_t>& pcm, int channels, int channel) {
  std::vector<int16_t> out;
  for (size_t i = static_cast<size_t>(channel); i < pcm.size(); i += static_cast<size_t>(channels)) {
    out.push_back(pcm[i]);
  }
  return out;
}

TEST(AacCore, DecodesEveryStreamAsLibavcodecDoesBitForBit) {
  for (const char* name : {"lc_24000_mono.m4a", "lc_24000_stereo.m4a", "lc_44100_stereo.m4a", "lc_8000_mono.m4a",
                           "lc_96000_stereo.m4a", "lc_48000_5.1.m4a"}) {
    SCOPED_TRACE(name);
    AacStream stream = ReadStream(name);
    ASSERT_FALSE(stream.units.empty());
    auto reference = ReferenceDecode(stream, stream.channels);
    ASSERT_EQ(reference.size(), stream.units.size());
    Core core;
    ASSERT_EQ(core.Init(stream.channels, stream.sampleRate), 0);
    for (size_t i = 0; i < stream.units.size(); ++i) {
      auto pcm = core.Decode(stream.units[i]);
      ASSERT_EQ(pcm.size(), size_t{1024} * static_cast<size_t>(stream.channels));
      ASSERT_EQ(pcm, reference[i]) << "unit " << i;
    }
  }
}

TEST(AacCore, MixesAsLibswresampleDoesWithinOneStep) {
  AacStream surround = ReadStream("lc_48000_5.1.m4a");
  AacStream stereo = ReadStream("lc_24000_stereo.m4a");
  AacStream mono = ReadStream("lc_24000_mono.m4a");
  ASSERT_FALSE(surround.units.empty() || stereo.units.empty() || mono.units.empty());
  auto surroundToStereo = ReferenceDecode(surround, 2);
  auto stereoPcm = ReferenceDecode(stereo, 2);
  auto monoPcm = ReferenceDecode(mono, 1);

  // The mono mixes are the mean of the stereo pair.
  auto mean = [](const std::vector<int16_t>& pair) {
    std::vector<int16_t> out;
    for (size_t i = 0; i + 1 < pair.size(); i += 2) out.push_back(static_cast<int16_t>((pair[i] + pair[i + 1]) / 2));
    return out;
  };
  auto twice = [](const std::vector<int16_t>& single) {
    std::vector<int16_t> out;
    for (int16_t s : single) out.insert(out.end(), {s, s});
    return out;
  };
  struct Case {
    const char* what;
    const AacStream* stream;
    int downMix;
    std::function<std::vector<int16_t>(size_t)> expected;
    int tolerance;
  } cases[] = {
      {"6 -> 2", &surround, 2, [&](size_t i) { return surroundToStereo[i]; }, 1},
      {"6 -> 1", &surround, 1, [&](size_t i) { return mean(surroundToStereo[i]); }, 1},
      {"2 -> 1", &stereo, 1, [&](size_t i) { return mean(stereoPcm[i]); }, 1},
      {"1 -> 2", &mono, 2, [&](size_t i) { return twice(monoPcm[i]); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Core core;
    ASSERT_EQ(core.Init(c.stream->channels, c.stream->sampleRate, c.downMix), 0);
    int worst = 0;
    for (size_t i = 0; i < c.stream->units.size(); ++i) {
      worst = std::max(worst, MaxDifference(core.Decode(c.stream->units[i]), c.expected(i)));
    }
    EXPECT_LE(worst, c.tolerance);
  }
}

TEST(AacCore, FullScaleSurroundDoesNotClipInTheStereoMix) {
  // The last channel of the fixture runs at 0.95 of full scale; with the mix
  // normalised, no stereo sample reaches the limits.
  AacStream stream = ReadStream("lc_48000_5.1.m4a");
  ASSERT_FALSE(stream.units.empty());
  Core core;
  ASSERT_EQ(core.Init(6, stream.sampleRate, 2), 0);
  int16_t peak = 0;
  for (const auto& unit : stream.units) {
    for (int16_t s : core.Decode(unit)) peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(s)));
  }
  EXPECT_GT(peak, 4000);
  EXPECT_LT(peak, 32767);
}

TEST(AacCore, DecodesOnlyTheGivenLengthOfTheUnit) {
  AacStream stream = ReadStream("lc_44100_stereo.m4a");
  ASSERT_GT(stream.units.size(), 10u);
  Core clean, padded;
  ASSERT_EQ(clean.Init(2, 44100), 0);
  ASSERT_EQ(padded.Init(2, 44100), 0);
  for (size_t i = 0; i < 10; ++i) {
    const auto& unit = stream.units[i];
    std::vector<uint8_t> followed(unit);
    followed.insert(followed.end(), 512, 0xA7);
    ASSERT_EQ(padded.Decode(followed.data(), static_cast<int>(unit.size())), clean.Decode(unit)) << "unit " << i;
  }
}

TEST(AacCore, ReordersOutputChannelsAsOrdered) {
  AacStream stream = ReadStream("lc_48000_5.1.m4a");
  ASSERT_FALSE(stream.units.empty());
  Core plain, reversed, stereoSwapped, stereo;
  ASSERT_EQ(plain.Init(6, 48000), 0);
  ASSERT_EQ(reversed.Init(6, 48000, 0, {5, 4, 3, 2, 1, 0}), 0);
  ASSERT_EQ(stereo.Init(6, 48000, 2), 0);
  ASSERT_EQ(stereoSwapped.Init(6, 48000, 2, {1, 0}), 0);
  for (size_t i = 0; i < 5; ++i) {
    auto a = plain.Decode(stream.units[i]);
    auto b = reversed.Decode(stream.units[i]);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(Channel(b, 6, k), Channel(a, 6, 5 - k)) << "channel " << k;
    auto s = stereo.Decode(stream.units[i]);
    auto t = stereoSwapped.Decode(stream.units[i]);
    EXPECT_EQ(Channel(t, 2, 0), Channel(s, 2, 1));
    EXPECT_EQ(Channel(t, 2, 1), Channel(s, 2, 0));
  }
}

// The root of the mean square of the difference, relative to that of the
// reference: noise-substituted bands differ between decoders whose noise
// generators have run apart, tones do not.
double RelativeError(const std::vector<int16_t>& pcm, const std::vector<int16_t>& reference) {
  double error = 0, energy = 0;
  for (size_t i = 0; i < reference.size() && i < pcm.size(); ++i) {
    error += (pcm[i] - reference[i]) * double(pcm[i] - reference[i]);
    energy += reference[i] * double(reference[i]);
  }
  return energy > 0 ? std::sqrt(error / energy) : 1.0;
}

TEST(AacCore, DamagedUnitsCostTheirOwnFrameAndTheStreamPlaysOn) {
  AacStream stream = ReadStream("lc_24000_stereo.m4a");
  ASSERT_GT(stream.units.size(), 40u);
  auto reference = ReferenceDecode(stream, 2);
  Core core;
  ASSERT_EQ(core.Init(2, 24000), 0);
  std::mt19937 random(27);
  const int largest = 768 * 2;

  size_t next = 0;
  for (int round = 0; round < 80; ++round) {
    if (next + 3 >= stream.units.size()) next = 0;
    std::vector<uint8_t> unit = stream.units[next++];
    switch (round % 4) {
      case 0:  // cut short, down to nothing
        unit.resize(unit.size() * static_cast<size_t>(round % 7) / 8);
        break;
      case 1:  // a few flipped bits
        for (int flips = 0; flips < 4; ++flips) {
          unit[random() % unit.size()] ^= static_cast<uint8_t>(1 << (random() % 8));
        }
        break;
      case 2:  // random bytes
        unit.resize(1 + random() % largest);
        for (auto& byte : unit) byte = static_cast<uint8_t>(random());
        break;
      case 3:  // longer than any unit may be
        unit.assign(static_cast<size_t>(largest) + 1, 0x21);
        break;
    }
    auto pcm = core.Decode(unit.data(), static_cast<int>(unit.size()));
    if (unit.empty() || unit.size() > static_cast<size_t>(largest)) {
      EXPECT_TRUE(IsSilent(pcm)) << "round " << round;
    }
    // The frame after next sounds as the reference does again.
    core.Decode(stream.units[next++]);
    EXPECT_LT(RelativeError(core.Decode(stream.units[next]), reference[next]), 0.1) << "round " << round;
    ++next;
  }
}

TEST(AacCore, RatesWithoutTheirOwnIndexUseTheNearestRatesTables) {
  struct Case {
    const char* name;
    int channels, rate, nearby;
  } cases[] = {{"lc_48000_5.1.m4a", 6, 48000, 50000}, {"lc_8000_mono.m4a", 1, 8000, 9000},
               {"lc_96000_stereo.m4a", 2, 96000, 93000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AacStream stream = ReadStream(c.name);
    ASSERT_FALSE(stream.units.empty());
    Core exact, near;
    ASSERT_EQ(exact.Init(c.channels, c.rate), 0);
    ASSERT_EQ(near.Init(c.channels, c.nearby), 0);
    for (size_t i = 0; i < 10; ++i) ASSERT_EQ(near.Decode(stream.units[i]), exact.Decode(stream.units[i]));
  }
}

TEST(AacCore, InitRefusesWhatItCannotDecode) {
  struct Case {
    const char* what;
    int channels, rate, downMix, bits;
    std::vector<int> order;
  } refused[] = {
      {"7 channels", 7, 48000, 0, 16, {}},
      {"9 channels", 9, 48000, 0, 16, {}},
      {"no channels", 0, 48000, 0, 16, {}},
      {"24 bits", 2, 48000, 0, 24, {}},
      {"8 bits", 2, 48000, 0, 8, {}},
      {"2 -> 6", 2, 48000, 6, 16, {}},
      {"6 -> 3", 6, 48000, 3, 16, {}},
      {"no rate", 2, 0, 0, 16, {}},
      {"order entry past the output", 6, 48000, 2, 16, {0, 2}},
      {"negative order entry", 2, 48000, 0, 16, {-1, 0}},
      {"more order entries than outputs", 2, 48000, 0, 16, {0, 1, 0}},
  };
  for (const Case& c : refused) {
    Core core;
    EXPECT_LT(core.Init(c.channels, c.rate, c.downMix, c.order, c.bits), 0) << c.what;
    int a, b, x, y;
    EXPECT_LT(aacDecGetInfo(core.handle(), &a, &b, &x, &y), 0) << c.what << ": still closed";
  }
}

TEST(AacCore, ReportsSizesAndRefusesCallsItCannotServe) {
  struct Case {
    int channels, rate, downMix, unitBytes, frameBytes;
  } sizes[] = {
      {1, 8000, 0, 768, 2048},    {2, 44100, 0, 1536, 4096}, {6, 48000, 2, 4608, 4096},
      {6, 48000, 0, 4608, 12288}, {8, 50000, 0, 6144, 16384},  // a rate without an index
  };
  for (const auto& s : sizes) {
    Core core;
    ASSERT_EQ(core.Init(s.channels, s.rate, s.downMix), 0) << s.channels << " at " << s.rate;
    int a = 0, b = 0, c = 7, d = 7;
    ASSERT_EQ(aacDecGetInfo(core.handle(), &a, &b, &c, &d), 0);
    EXPECT_EQ(a, s.unitBytes);
    EXPECT_EQ(b, s.frameBytes);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(d, 0);
  }

  Core core;
  std::vector<uint8_t> out(4096, 0x33);
  uint8_t unit[4] = {1, 2, 3, 4};
  int c = 0, d = 0;
  EXPECT_LT(aacDecMain(core.handle(), unit, 1536, &c, out.data(), 4096, &d, 4), 0) << "not open";
  ASSERT_EQ(core.Init(2, 44100), 0);
  EXPECT_LT(core.Init(2, 44100), 0) << "already open";
  EXPECT_LT(aacDecMain(core.handle(), unit, 1536, &c, out.data(), 4095, &d, 4), 0) << "too little room";
  EXPECT_EQ(out[0], 0x33) << "nothing written";
  EXPECT_LT(aacDecMain(core.handle(), unit, 1536, nullptr, out.data(), 4096, &d, 4), 0);
  EXPECT_EQ(aacDecExit(core.handle()), 0);
  EXPECT_EQ(core.Init(1, 8000), 0) << "opens again after exit";
  EXPECT_LT(aacDecCreateInstance(nullptr), 0);
  EXPECT_LT(aacDecReleaseInstance(nullptr), 0);
  EXPECT_LT(aacDecExit(nullptr), 0);
}

}  // namespace
}  // namespace tlx::aaccore::test

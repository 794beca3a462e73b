// The default audio renderer in a graph on the manual sound backend: the test
// plays the buffer, so every byte that comes out and every clock reading
// follow from what the test advanced.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "dsound/manual_backend.h"
#include "graph_fixture.h"
#include "platform/dsound/support/pcm_format.h"

namespace {

using namespace tlx::dshow::test;
using namespace std::chrono_literals;
using tlx::dsound::ManualBackend;

constexpr REFERENCE_TIME kMs = 10000;

// The media type of 16-bit PCM; `extensible` gives the 40-byte record with
// the PCM subformat and the channel mask of 5.1.
CMediaType PcmType(WORD channels, DWORD rate, WORD bits = 16, bool extensible = false) {
  WAVEFORMATEXTENSIBLE f{};
  f.Format = tlx::dsound::test::PcmFormat(channels, rate, bits);
  if (extensible) {
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.cbSize = 22;
    f.Samples.wValidBitsPerSample = bits;
    f.dwChannelMask = 0x3F;
    f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
  }
  CMediaType mt;
  mt.SetType(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_PCM);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&f), extensible ? 40 : 18);
  return mt;
}

// Samples that never repeat within a stream and are rarely zero.
std::vector<BYTE> Pattern(size_t bytes, int seed) {
  std::vector<BYTE> out(bytes);
  for (size_t i = 0; i < bytes / 2; ++i) {
    const auto v = static_cast<int16_t>((((i + 1) * 2654435761u + seed * 40503u) >> 13) | 1);
    std::memcpy(out.data() + 2 * i, &v, 2);
  }
  return out;
}

std::vector<BYTE> Slice(const std::vector<BYTE>& bytes, size_t from, size_t count) {
  return std::vector<BYTE>(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + count));
}

class AudioRendererTest : public GraphFixture {
 protected:
  void SetUp() override {
    backend_ = ManualBackend::Install();
    GraphFixture::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               audio_.ReceiveVoid()),
              S_OK);
    clock_ = audio_.As<IReferenceClock>(IID_IReferenceClock);
    volume_ = audio_.As<IBasicAudio>(IID_IBasicAudio);
    ASSERT_TRUE(clock_ && volume_);
  }
  void TearDown() override {
    GraphFixture::TearDown();
    tlx::dsound::SetBackendFactory(nullptr);
  }

  // source -> audio renderer in `mt`, the renderer as the graph's clock.
  void Connect(const CMediaType& mt) {
    source->SetMediaType(mt);
    source->SetBuffers(4, 96000);
    ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(audio_.Get(), u"audio"), S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(audio_.Get(), u"In").Get(), nullptr),
              S_OK);
    ASSERT_EQ(graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(clock_.Get()), S_OK);
  }

  // Runs the script; true once its first `delivered` items are through and
  // the buffer plays.
  bool Start(std::vector<ScriptItem> script, LONG delivered) {
    source->SetScript(std::move(script));
    if (FAILED(control->Run())) return false;
    return WaitFor([&] {
      auto output = backend_->Current();
      return output != nullptr && output->Playing() && source->Played() >= delivered;
    });
  }

  // Plays `bytes` of the buffer.
  std::vector<BYTE> Play(size_t bytes) { return backend_->Current()->Advance(static_cast<DWORD>(bytes)); }

  // Plays, then reads the clock, so the renderer takes note of the cursor
  // before the next play (a device never moves a whole lap between looks).
  std::vector<BYTE> PlayAndLook(size_t bytes) {
    auto played = Play(bytes);
    Clock();
    return played;
  }

  REFERENCE_TIME Clock() {
    REFERENCE_TIME t = 0;
    EXPECT_TRUE(SUCCEEDED(clock_->GetTime(&t)));
    return t;
  }

  std::shared_ptr<ManualBackend> backend_;
  ComPtr<IBaseFilter> audio_;
  ComPtr<IReferenceClock> clock_;
  ComPtr<IBasicAudio> volume_;
};

// `count` samples of `ms` milliseconds each from `from` on, cut from `pcm`.
std::vector<ScriptItem> Samples(const std::vector<BYTE>& pcm, size_t bytesPerMs, int count, int ms,
                                REFERENCE_TIME from = 0) {
  std::vector<ScriptItem> items;
  const size_t size = bytesPerMs * ms;
  for (int k = 0; k < count; ++k) {
    items.push_back(ScriptItem::Sample(Slice(pcm, k * size, size), from + k * ms * kMs, from + (k + 1) * ms * kMs));
  }
  return items;
}

TEST_F(AudioRendererTest, OnlySixteenBitPcmInTheRatesAndLayoutsItPlaysIsAccepted) {
  struct Case {
    const char* what;
    CMediaType mt;
    bool accepted;
  };
  auto aac = PcmType(2, 48000);
  aac.SetSubtype(&MEDIASUBTYPE_TlxAAC);
  auto video = PcmType(2, 48000);
  video.SetType(&MEDIATYPE_Video);
  auto otherSubformat = PcmType(6, 48000, 16, true);
  reinterpret_cast<WAVEFORMATEXTENSIBLE*>(otherSubformat.Format())->SubFormat = MEDIASUBTYPE_TlxAAC;
  auto shortExtensible = PcmType(6, 48000, 16, true);
  const std::vector<BYTE> head(shortExtensible.Format(), shortExtensible.Format() + 18);
  shortExtensible.SetFormat(head.data(), 18);
  auto badAlign = PcmType(2, 48000);
  reinterpret_cast<WAVEFORMATEX*>(badAlign.Format())->nBlockAlign = 2;
  const Case cases[] = {
      {"stereo 48000", PcmType(2, 48000), true},
      {"mono 8000", PcmType(1, 8000), true},
      {"stereo 96000", PcmType(2, 96000), true},
      {"extensible stereo", PcmType(2, 44100, 16, true), true},
      {"extensible 5.1", PcmType(6, 48000, 16, true), true},
      {"7999 Hz", PcmType(2, 7999), false},
      {"96001 Hz", PcmType(2, 96001), false},
      {"8 bits", PcmType(2, 48000, 8), false},
      {"24 bits", PcmType(2, 48000, 24), false},
      {"six channels without the extensible record", PcmType(6, 48000), false},
      {"extensible 4 channels", PcmType(4, 48000, 16, true), false},
      {"extensible, not PCM", otherSubformat, false},
      {"extensible record cut short", shortExtensible, false},
      {"inconsistent block align", badAlign, false},
      {"compressed subtype", aac, false},
      {"video", video, false},
  };
  auto pin = PinOf(audio_.Get(), u"In");
  for (const Case& c : cases) EXPECT_EQ(pin->QueryAccept(&c.mt), c.accepted ? S_OK : S_FALSE) << c.what;
}

TEST_F(AudioRendererTest, PcmPlaysBitForBitInEachLayout) {
  struct Case {
    const char* what;
    CMediaType mt;
    size_t bytesPerMs;
  };
  const Case cases[] = {
      {"stereo 48000", PcmType(2, 48000), 192},
      {"mono 8000", PcmType(1, 8000), 16},
      {"5.1 48000", PcmType(6, 48000, 16, true), 576},
  };
  bool connected = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!connected) {
      Connect(c.mt);
      connected = true;
    } else {
      ASSERT_EQ(control->Stop(), S_OK);
      ASSERT_EQ(graph->Disconnect(PinOf(sourceFilter.Get(), u"1").Get()), S_OK);
      ASSERT_EQ(graph->Disconnect(PinOf(audio_.Get(), u"In").Get()), S_OK);
      source->SetMediaType(c.mt);
      ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(audio_.Get(), u"In").Get(),
                                     nullptr),
                S_OK);
    }
    const auto pcm = Pattern(c.bytesPerMs * 200, 1);
    ASSERT_TRUE(Start(Samples(pcm, c.bytesPerMs, 20, 10), 20));
    EXPECT_EQ(backend_->Current()->Format().nChannels, reinterpret_cast<const WAVEFORMATEX*>(c.mt.Format())->nChannels);
    EXPECT_EQ(Play(pcm.size()), pcm);
    // Then silence, not the ring's last lap.
    for (int i = 0; i < 12; ++i) EXPECT_EQ(PlayAndLook(c.bytesPerMs * 100), std::vector<BYTE>(c.bytesPerMs * 100, 0));
  }
}

TEST_F(AudioRendererTest, VolumeScalesBy10ToTheVolumeOver2000) {
  Connect(PcmType(2, 48000));
  EXPECT_EQ(volume_->put_Volume(1), E_INVALIDARG);
  EXPECT_EQ(volume_->put_Volume(-10001), E_INVALIDARG);
  for (const long volume : {-2000L, -10000L}) {
    SCOPED_TRACE(volume);
    ASSERT_EQ(volume_->put_Volume(volume), S_OK);
    long read = 0;
    ASSERT_EQ(volume_->get_Volume(&read), S_OK);
    EXPECT_EQ(read, volume);
    const auto pcm = Pattern(192 * 100, 2);
    ASSERT_TRUE(Start(Samples(pcm, 192, 10, 10), 10));
    const auto played = Play(pcm.size());
    const double factor = volume == -2000 ? 0.1 : 0.0;
    for (size_t i = 0; i < pcm.size(); i += 2) {
      int16_t in;
      int16_t out;
      std::memcpy(&in, pcm.data() + i, 2);
      std::memcpy(&out, played.data() + i, 2);
      ASSERT_NEAR(out, in * factor, 1.0) << "sample " << i / 2;
    }
    ASSERT_EQ(control->Stop(), S_OK);
  }
}

TEST_F(AudioRendererTest, GapsBecomeSilenceAndOverlapsAreTrimmed) {
  Connect(PcmType(2, 48000));
  const auto a = Pattern(1920, 3);
  const auto b = Pattern(1920, 4);
  const auto c = Pattern(1920, 5);
  // a at 0-10 ms, b at 20-30 ms, c at 25-35 ms.
  ASSERT_TRUE(Start({ScriptItem::Sample(a, 0, 10 * kMs), ScriptItem::Sample(b, 20 * kMs, 30 * kMs),
                     ScriptItem::Sample(c, 25 * kMs, 35 * kMs)},
                    3));
  EXPECT_EQ(Play(1920), a);
  EXPECT_EQ(Play(1920), std::vector<BYTE>(1920, 0));
  EXPECT_EQ(Play(1920), b);
  EXPECT_EQ(Play(960), Slice(c, 960, 960));
  EXPECT_EQ(Play(1920), std::vector<BYTE>(1920, 0));
  // Audio whose time the cursor has already passed is dropped.
  source->AppendScript({ScriptItem::Sample(Pattern(1920, 6), 40 * kMs, 50 * kMs),
                        ScriptItem::Sample(a, 50 * kMs, 60 * kMs)});
  ASSERT_TRUE(WaitFor([&] { return source->Played() == 5; }));
  auto expected = Slice(Pattern(1920, 6), 960, 960);
  const auto head = Slice(a, 0, 960);
  expected.insert(expected.end(), head.begin(), head.end());
  EXPECT_EQ(Play(1920), expected);
}

TEST_F(AudioRendererTest, HalfASecondAheadOfTheCursorHoldsTheSourceUntilStopReleasesIt) {
  Connect(PcmType(2, 48000));
  const auto pcm = Pattern(192 * 1000, 7);
  ASSERT_TRUE(Start(Samples(pcm, 192, 100, 10), 50));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(source->Played(), 50);
  EXPECT_EQ(Play(192 * 100), Slice(pcm, 0, 192 * 100));
  ASSERT_TRUE(WaitFor([&] { return source->Played() == 60; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(source->Played(), 60);

  // The source's thread waits inside Receive.
  const auto before = std::chrono::steady_clock::now();
  ASSERT_EQ(control->Stop(), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
}

TEST_F(AudioRendererTest, ClockFollowsThePlayedAudioAdvancesWhileStarvedAndNeverGoesBack) {
  Connect(PcmType(2, 48000));
  const auto pcm = Pattern(192 * 200, 8);
  ASSERT_TRUE(Start(Samples(pcm, 192, 20, 10), 20));
  Play(192 * 50);
  const REFERENCE_TIME t1 = Clock();
  Play(192 * 100);
  const REFERENCE_TIME t2 = Clock();
  EXPECT_EQ(t2 - t1, 100 * kMs);

  // Past the end: the system's pace.
  Play(192 * 100);
  const REFERENCE_TIME t3 = Clock();
  std::this_thread::sleep_for(30ms);
  const REFERENCE_TIME t4 = Clock();
  EXPECT_GE(t4 - t3, 30 * kMs);
  EXPECT_LT(t4 - t3, 1000 * kMs);

  // Audio again, behind the time the clock has reached: it holds.
  source->AppendScript(Samples(Pattern(192 * 100, 9), 192, 10, 10, 250 * kMs));
  ASSERT_TRUE(WaitFor([&] { return source->Played() == 30; }));
  REFERENCE_TIME previous = Clock();
  EXPECT_GE(previous, t4);
  for (int i = 0; i < 10; ++i) {
    Play(192 * 10);
    const REFERENCE_TIME t = Clock();
    EXPECT_GE(t, previous);
    previous = t;
  }
}

TEST_F(AudioRendererTest, OneCompletionOnceTheQueueHasPlayedOut) {
  Connect(PcmType(2, 48000));
  auto script = Samples(Pattern(192 * 100, 10), 192, 10, 10);
  script.push_back(ScriptItem::EndOfStream());
  ASSERT_TRUE(Start(std::move(script), 11));
  EXPECT_EQ(NextEvent(50), 0);
  Play(192 * 60);
  EXPECT_EQ(NextEvent(50), 0);
  Play(192 * 40);
  EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
  Play(192 * 100);
  EXPECT_EQ(NextEvent(100), 0);
}

TEST_F(AudioRendererTest, AFlushDiscardsTheQueueAndTheNextSampleStartsAtTheCursor) {
  Connect(PcmType(2, 48000));
  const auto pcm = Pattern(192 * 100, 12);
  ASSERT_TRUE(Start(Samples(pcm, 192, 10, 10), 10));
  EXPECT_EQ(Play(192 * 20), Slice(pcm, 0, 192 * 20));
  const auto after = Pattern(1920, 13);
  source->AppendScript({ScriptItem::Flush(), ScriptItem::Sample(after, 0, 10 * kMs)});
  ASSERT_TRUE(WaitFor([&] { return source->Played() == 12; }));
  EXPECT_EQ(Play(1920), after);
  EXPECT_EQ(Play(192 * 100), std::vector<BYTE>(192 * 100, 0));
}

TEST_F(AudioRendererTest, PauseHoldsTheCursor) {
  Connect(PcmType(2, 48000));
  const auto pcm = Pattern(192 * 100, 11);
  ASSERT_TRUE(Start(Samples(pcm, 192, 10, 10), 10));
  EXPECT_EQ(Play(192 * 40), Slice(pcm, 0, 192 * 40));
  ASSERT_EQ(control->Pause(), S_OK);
  EXPECT_EQ(Play(192 * 20), std::vector<BYTE>(192 * 20, 0));
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_EQ(Play(192 * 60), Slice(pcm, 192 * 40, 192 * 60));
}

}  // namespace

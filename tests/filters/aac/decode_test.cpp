// The filter with the real core, fed the test streams one access unit per
// sample by the test source: its frames against libavcodec's decode of the
// same units, and the module as the player loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "aac_playback.h"
#include "dsound/manual_backend.h"
#include "win32/synch.h"

// What the end-to-end test watches of the audio renderer's render thread.
struct RendererTestAccess {
  using R = CRavixDSAudRenderer;
  static UINT NotifyCount(R* r) { return r->m_cfg.notifyCount; }
  static UINT LastWrittenBlock(R* r) {
    CAutoLock l(&r->m_TableLock);
    UINT index = 0;
    r->m_table.Read(&index);
    return index;
  }
  // Back in its wait with no notification pending.
  static bool Waiting(R* r) { return tlx::win32::WaiterCount(r->m_events[0]) == 1; }
};

namespace tlx::aac::test {
namespace {

using aaccore::test::AacStream;
using aaccore::test::MaxDifference;
using aaccore::test::ReadStream;
using aaccore::test::ReferenceDecode;
using dshow::test::ScriptItem;
using dshow::test::WaitFor;

std::vector<int16_t> Pcm(const std::vector<BYTE>& bytes) {
  std::vector<int16_t> pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  return pcm;
}

class AacDecode : public AacGraph {
 protected:
  // Plays the stream through the graph and returns what the renderer got.
  std::vector<dshow::test::ReceivedSample> Play(const AacStream& stream, IBaseFilter* decoder = nullptr) {
    Connect(InputTypeOf(stream), decoder);
    source->SetScript(Script(stream));
    Run();
    EXPECT_TRUE(WaitFor([&] {
      auto events = renderer->Events();
      return std::find(events.begin(), events.end(), "eos") != events.end();
    }));
    return Received();
  }
};

TEST_F(AacDecode, StereoFramesEqualLibavcodecAndCarryTheSourcesTimes) {
  AacStream stream = ReadStream("lc_24000_stereo.m4a");
  ASSERT_FALSE(stream.units.empty());
  auto reference = ReferenceDecode(stream, 2);
  auto frames = Play(stream);
  ASSERT_EQ(frames.size(), stream.units.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    const auto& frame = frames[i];
    ASSERT_EQ(Pcm(frame.bytes), reference[i]) << "frame " << i;
    const int64_t start = stream.startSamples[i];
    EXPECT_EQ(frame.start, TimeOf(start, 24000)) << i;
    EXPECT_EQ(frame.stop, TimeOf(start + 1024, 24000)) << i;
    const LONGLONG mediaStart = static_cast<LONGLONG>(i) * 2048 + (i % 3 == 0 ? 1 : 0);
    EXPECT_EQ(frame.mediaStart, mediaStart) << i;
    EXPECT_EQ(frame.mediaStop, mediaStart + 1024) << i;
    EXPECT_EQ(frame.discontinuity, i == 0) << i;
  }
  WAVEFORMATEXTENSIBLE format = FormatOf(filter->OutputPin()->CurrentMediaType());
  EXPECT_EQ(format.Format.nChannels, 2);
  EXPECT_EQ(format.Format.nSamplesPerSec, 24000u);
}

TEST_F(AacDecode, SurroundIsMixedToStereoAsLibswresampleMixesIt) {
  AacStream stream = ReadStream("lc_48000_5.1.m4a");
  ASSERT_FALSE(stream.units.empty());
  auto reference = ReferenceDecode(stream, 2);
  auto frames = Play(stream);
  ASSERT_EQ(frames.size(), stream.units.size());
  int worst = 0;
  for (size_t i = 0; i < frames.size(); ++i) worst = std::max(worst, MaxDifference(Pcm(frames[i].bytes), reference[i]));
  EXPECT_LE(worst, 1);
  WAVEFORMATEXTENSIBLE format = FormatOf(filter->OutputPin()->CurrentMediaType());
  EXPECT_EQ(format.Format.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(format.Format.nChannels, 2);
}

TEST_F(AacDecode, TheModuleRegistersTheFilterAndItsPageAndDecodes) {
  ASSERT_EQ(dshow::RegisterFilterModule(ModulePath()), S_OK);
  ComPtr<IBaseFilter> fromModule;
  ASSERT_EQ(CoCreateInstance(CLSID_AacDecFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             fromModule.ReceiveVoid()),
            S_OK);
  ComPtr<IPropertyPage> page;
  EXPECT_EQ(CoCreateInstance(CLSID_AacDecPropertyPage, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                             page.ReceiveVoid()),
            S_OK);

  // As the engine finds it: by its registered name in the filter category.
  ComPtr<ICreateDevEnum> devices;
  ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                             devices.ReceiveVoid()),
            S_OK);
  ComPtr<IEnumMoniker> monikers;
  ASSERT_EQ(devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, monikers.Receive(), 0), S_OK);
  bool found = false;
  IMoniker* raw = nullptr;
  while (monikers->Next(1, &raw, nullptr) == S_OK) {
    ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Attach(raw);
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid()))) continue;
    VARIANT name;
    VariantInit(&name);
    if (SUCCEEDED(bag->Read(u"FriendlyName", &name, nullptr))) {
      found |= std::u16string(name.bstrVal, SysStringLen(name.bstrVal)) == u"Marovi MPEG4 AAC Decoder for TLX";
    }
    VariantClear(&name);
  }
  EXPECT_TRUE(found);

  AacStream stream = ReadStream("lc_44100_stereo.m4a");
  ASSERT_FALSE(stream.units.empty());
  auto reference = ReferenceDecode(stream, 2);
  ASSERT_EQ(graph->RemoveFilter(decoderFilter.Get()), S_OK);
  ASSERT_EQ(graph->AddFilter(fromModule.Get(), u"module decoder"), S_OK);
  auto frames = Play(stream, fromModule.Get());
  ASSERT_EQ(frames.size(), stream.units.size());
  for (size_t i = 0; i < frames.size(); ++i) ASSERT_EQ(Pcm(frames[i].bytes), reference[i]) << "frame " << i;
  control->Stop();
}

// Source -> decoder module -> the player's audio renderer as the graph's
// clock, on the manual sound backend and the renderer's virtual time: the
// test plays the sound buffer block by block and hands the source one more
// unit per block played, as a live source would after its first burst.
TEST(AacEndToEnd, PlaysTheReferencePcmThroughTheAudioRendererWithItsClock) {
  using A = RendererTestAccess;
  using namespace std::chrono_literals;
  AacStream stream = ReadStream("lc_24000_stereo.m4a");
  ASSERT_GT(stream.units.size(), 120u);
  const std::vector<BYTE> reference = ReferenceBytes(stream, 2);

  auto backend = tlx::dsound::ManualBackend::Install();
  PlaybackGraph g;
  ASSERT_NO_FATAL_FAILURE(g.Build(stream));
  CRavixDSAudRenderer* renderer = g.renderer;
  std::atomic<DWORD> now{5000};
  renderer->SetServices({[&now] { return now.load(); },
                         [&now](DWORD ms) {
                           now += ms;
                           std::this_thread::sleep_for(1ms);
                         },
                         [] { return static_cast<HWND>(nullptr); }});

  // 2.6 s at once. No unit carries the catch-up mark, so the renderer plays
  // at the stream's own pace once stretching has ended.
  auto script = Script(stream);
  for (ScriptItem& item : script) item.mediaStart &= ~1LL;
  g.source->SetScript(std::vector<ScriptItem>(script.begin(), script.begin() + kUnitsAtOnce));
  ASSERT_TRUE(SUCCEEDED(g.control->Run()));
  // The burst is queued before anything plays, however slowly this runs.
  ASSERT_TRUE(WaitFor([&] {
    return backend->Current() != nullptr && backend->Current()->Playing() &&
           g.source->Played() == static_cast<LONG>(kUnitsAtOnce);
  }));
  auto output = backend->Current();
  // Nothing has played: the clock only creeps.
  const REFERENCE_TIME before = g.Time();
  EXPECT_EQ(g.Time(), before + 1);

  std::vector<BYTE> played;
  size_t next = kUnitsAtOnce;
  REFERENCE_TIME previous = 0;
  // Clock and bytes at the start and end of the steady stretch.
  REFERENCE_TIME steadyClock[2] = {0, 0};
  size_t steadyBytes[2] = {0, 0};
  const UINT count = A::NotifyCount(renderer);
  ASSERT_GT(count, 2u);
  const int blocks = static_cast<int>(stream.units.size()) + 100;
  for (int n = 1; n <= blocks; ++n) {
    now += 43;
    const auto chunk = output->Advance(kFrameBytes);
    played.insert(played.end(), chunk.begin(), chunk.end());
    if (next < script.size()) g.source->AppendScript({script[next++]});
    if (n >= 2) {
      ASSERT_TRUE(WaitFor([&] { return A::LastWrittenBlock(renderer) == static_cast<UINT>(n - 2) % count; })) << n;
    }
    std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(WaitFor([&] { return A::Waiting(renderer); }));
    const REFERENCE_TIME t = g.Time();
    ASSERT_GE(t, previous) << n;
    previous = t;
    if (n == 80 || n == 130) {
      steadyClock[n == 130] = t;
      steadyBytes[n == 130] = played.size();
    }
  }
  // Over the steady stretch the clock keeps the pace of the PCM played.
  const double playedTime = static_cast<double>(steadyBytes[1] - steadyBytes[0]) / 96000 * 1e7;
  EXPECT_NEAR(static_cast<double>(steadyClock[1] - steadyClock[0]) / playedTime, 1.0, 0.05);

  // Played out: within two blocks and the correction of the last unit's
  // end less 20 ms, and from then on it only creeps.
  const REFERENCE_TIME lastStop = TimeOf(stream.startSamples.back() + 1024, 24000);
  const REFERENCE_TIME settled = g.Time();
  EXPECT_NEAR(static_cast<double>(settled), static_cast<double>(lastStop - 200000), 1500000.0);
  EXPECT_EQ(g.Time(), settled + 1);

  const auto stopAt = std::chrono::steady_clock::now();
  EXPECT_EQ(g.control->Stop(), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 1s);
  ExpectReferenceRunToTheEnd(played, reference);
}

}  // namespace
}  // namespace tlx::aac::test

// The filter with the real core, fed the test streams one access unit per
// sample by the test source: its frames against libavcodec's decode of the
// same units, and the module as the player loads it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "aac_graph.h"
#include "outside/aaccore/support/aac_reference.h"
#include "dshow/filter_module.h"

namespace tlx::aac::test {
namespace {

using aaccore::test::AacStream;
using aaccore::test::MaxDifference;
using aaccore::test::ReadStream;
using aaccore::test::ReferenceDecode;
using dshow::test::ScriptItem;
using dshow::test::WaitFor;

// 100-ns units at sample `n` of a stream at `rate`.
REFERENCE_TIME TimeOf(int64_t n, int rate) { return n * 10000000 / rate; }

// One sample per unit with the stream's times; every third media start
// carries the source's marker in bit 0.
std::vector<ScriptItem> Script(const AacStream& stream) {
  std::vector<ScriptItem> items;
  for (size_t i = 0; i < stream.units.size(); ++i) {
    const int64_t start = stream.startSamples[i];
    ScriptItem item = ScriptItem::Sample(stream.units[i], TimeOf(start, stream.sampleRate),
                                         TimeOf(start + 1024, stream.sampleRate));
    item.hasMediaTime = true;
    item.mediaStart = static_cast<LONGLONG>(i) * 2048 + (i % 3 == 0 ? 1 : 0);
    item.mediaStop = item.mediaStart + 1024;
    item.discontinuity = i == 0;
    items.push_back(std::move(item));
  }
  items.push_back(ScriptItem::EndOfStream());
  return items;
}

// The source's type for a stream: its channels and rate, the source's tag,
// and the stream's own two-byte configuration.
CMediaType InputTypeOf(const AacStream& stream) {
  return AacInputType(stream.channels, stream.sampleRate, 0x00FF, 16,
                      std::vector<BYTE>(stream.config.begin(), stream.config.begin() + 2));
}

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

std::string ModulePath() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/')) + "/tlxaacdec.ax";
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

}  // namespace
}  // namespace tlx::aac::test

// The filter with the recording stand-in for the core: negotiation, the
// parameter block, the calls into the core, time stamps and persistence.
#include <gtest/gtest.h>

#include <bit>

#include "aac_graph.h"
#include "dshow/base_renderer.h"
#include "dshow/persist_stream.h"
#include "fake_core.h"
#include "filters/aac/aac_params.h"

namespace tlx::aac::test {
namespace {

WAVEFORMATEXTENSIBLE OfferedFormat(CAacDecFilter* filter) {
  CMediaType mt;
  EXPECT_EQ(filter->GetMediaType(0, &mt), S_OK);
  EXPECT_EQ(mt.FormatLength(), 40u);
  return FormatOf(mt);
}

class AacFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFake();
    HRESULT hr = S_OK;
    filter = new CAacDecFilter(nullptr, &hr);
    base = Adopt<IBaseFilter>(filter, IID_IBaseFilter);
  }
  CAacDecFilter* filter = nullptr;
  ComPtr<IBaseFilter> base;
};

TEST_F(AacFilter, TakesOnlyTheInputsItCanDecode) {
  struct Case {
    const char* what;
    CMediaType type;
    HRESULT expected;
  };
  std::vector<Case> cases;
  for (int channels = 1; channels <= 8; ++channels) {
    bool decodable = channels == 1 || channels == 2 || channels == 6;
    cases.push_back({"channels", AacInputType(channels, 48000), decodable ? S_OK : E_INVALIDARG});
  }
  cases.push_back({"bits 0", AacInputType(2, 48000, 0x00FF, 0), S_OK});
  cases.push_back({"bits 24", AacInputType(2, 48000, 0x00FF, 24), E_INVALIDARG});
  cases.push_back({"7999 Hz", AacInputType(2, 7999), E_INVALIDARG});
  cases.push_back({"8000 Hz", AacInputType(2, 8000), S_OK});
  cases.push_back({"96000 Hz", AacInputType(2, 96000), S_OK});
  cases.push_back({"96001 Hz", AacInputType(2, 96001), E_INVALIDARG});
  cases.push_back({"the source's tag", AacInputType(2, 24000, 0x00FF), S_OK});
  cases.push_back({"the AAC tag", AacInputType(2, 24000, WAVE_FORMAT_TLX_AAC), S_OK});
  cases.push_back({"a long block", AacInputType(6, 48000, 0x00FF, 16, std::vector<BYTE>(300, 0xEE)), S_OK});

  CMediaType shortBlock = AacInputType(2, 48000);
  const std::vector<BYTE> head(shortBlock.Format(), shortBlock.Format() + 17);
  shortBlock.SetFormat(head.data(), 17);
  cases.push_back({"a 17-byte block", shortBlock, E_INVALIDARG});
  CMediaType wrongSubtype = AacInputType(2, 48000);
  wrongSubtype.SetSubtype(&MEDIASUBTYPE_PCM);
  cases.push_back({"PCM", wrongSubtype, E_INVALIDARG});
  CMediaType wrongMajor = AacInputType(2, 48000);
  wrongMajor.SetType(&MEDIATYPE_Video);
  cases.push_back({"video", wrongMajor, E_INVALIDARG});
  CMediaType wrongFormat = AacInputType(2, 48000);
  wrongFormat.SetFormatType(&FORMAT_VideoInfo);
  cases.push_back({"another format type", wrongFormat, E_INVALIDARG});

  for (const Case& c : cases) {
    EXPECT_EQ(filter->CheckInputType(&c.type), c.expected)
        << c.what << ": " << FormatOf(c.type).Format.nChannels << " channels at "
        << FormatOf(c.type).Format.nSamplesPerSec;
  }
}

TEST_F(AacFilter, OutputFormatFollowsTheInputAndTheParameterBlock) {
  IAacDecParams* params = filter;
  WAVEFORMATEXTENSIBLE initial = OfferedFormat(filter);
  EXPECT_EQ(initial.Format.nChannels, 2);
  EXPECT_EQ(initial.Format.nSamplesPerSec, 44100u);
  EXPECT_EQ(initial.Format.nAvgBytesPerSec, 176400u);

  CMediaType stereo = AacInputType(2, 48000);
  ASSERT_EQ(filter->SetMediaType(PINDIR_INPUT, &stereo), S_OK);
  CMediaType offered;
  ASSERT_EQ(filter->GetMediaType(0, &offered), S_OK);
  EXPECT_EQ(*offered.Type(), MEDIATYPE_Audio);
  EXPECT_EQ(*offered.Subtype(), MEDIASUBTYPE_PCM);
  EXPECT_EQ(*offered.FormatType(), FORMAT_WaveFormatEx);
  EXPECT_EQ(offered.GetSampleSize(), 1024u);
  WAVEFORMATEXTENSIBLE pcm = FormatOf(offered);
  EXPECT_EQ(pcm.Format.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(pcm.Format.nChannels, 2);
  EXPECT_EQ(pcm.Format.nSamplesPerSec, 48000u);
  EXPECT_EQ(pcm.Format.nAvgBytesPerSec, 192000u);
  EXPECT_EQ(pcm.Format.nBlockAlign, 4);
  EXPECT_EQ(pcm.Format.wBitsPerSample, 16);
  EXPECT_EQ(pcm.Format.cbSize, 0);
  EXPECT_EQ(FrameBytes(ParamsOf(params)), 4096);
  CMediaType none;
  EXPECT_EQ(filter->GetMediaType(1, &none), VFW_S_NO_MORE_ITEMS);

  CMediaType surround = AacInputType(6, 48000);
  ASSERT_EQ(filter->SetMediaType(PINDIR_INPUT, &surround), S_OK);
  EXPECT_EQ(ParamsOf(params).downMix, 2);
  WAVEFORMATEXTENSIBLE mixed = OfferedFormat(filter);
  EXPECT_EQ(mixed.Format.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(mixed.Format.nChannels, 2);

  AacDecParams all = ParamsOf(params);
  all.downMix = 0;
  ASSERT_EQ(SetParams(params, all), S_OK);
  WAVEFORMATEXTENSIBLE six = OfferedFormat(filter);
  EXPECT_EQ(six.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
  EXPECT_EQ(six.Format.nChannels, 6);
  EXPECT_EQ(six.Format.nBlockAlign, 12);
  EXPECT_EQ(six.Format.nAvgBytesPerSec, 12u * 48000);
  EXPECT_EQ(six.Format.cbSize, 22);
  EXPECT_EQ(six.Samples.wValidBitsPerSample, 16);
  EXPECT_EQ(six.dwChannelMask, 0x3Fu);
  EXPECT_EQ(six.SubFormat, KSDATAFORMAT_SUBTYPE_PCM);
  EXPECT_EQ(FrameBytes(ParamsOf(params)), 12288);
  EXPECT_EQ(filter->IsDirty(), S_OK);
}

TEST_F(AacFilter, SetParamsRefusesBlocksTheDecoderCannotServeAndKeepsItsOwn) {
  IAacDecParams* params = filter;
  const AacDecParams kept = ParamsOf(params);
  struct Case {
    const char* what;
    void (*change)(AacDecParams&);
  } refused[] = {
      {"no channels", [](AacDecParams& p) { p.channels = 0; }},
      {"9 channels", [](AacDecParams& p) { p.channels = 9; }},
      {"24 bits at 8 channels", [](AacDecParams& p) { p.channels = 8, p.sampleBits = 24; }},
      {"8 bits", [](AacDecParams& p) { p.sampleBits = 8; }},
      {"7999 Hz", [](AacDecParams& p) { p.sampleRate = 7999; }},
      {"96001 Hz", [](AacDecParams& p) { p.sampleRate = 96001; }},
      {"down-mix -1", [](AacDecParams& p) { p.downMix = -1; }},
      {"down-mix 3", [](AacDecParams& p) { p.downMix = 3; }},
      {"order past the outputs", [](AacDecParams& p) { p.channelReorder = 1, p.channelOrder[1] = 2; }},
      {"negative order", [](AacDecParams& p) { p.channelReorder = 1, p.channelOrder[0] = -1; }},
  };
  for (const Case& c : refused) {
    AacDecParams block = kept;
    c.change(block);
    EXPECT_EQ(SetParams(params, block), E_INVALIDARG) << c.what;
    AacDecParams now = ParamsOf(params);
    EXPECT_EQ(std::memcmp(&now, &kept, sizeof now), 0) << c.what;
  }
  EXPECT_EQ(filter->IsDirty(), S_FALSE);

  AacDecParams largest = kept;
  largest.channels = 8;
  largest.channelOrder[1] = 40;  // not read while reordering is off
  EXPECT_EQ(SetParams(params, largest), S_OK) << "8 channels fill the output buffer exactly";
  EXPECT_EQ(filter->SetParams(nullptr, 0, 0), E_POINTER);
}

TEST_F(AacFilter, AnswersItsInterfacesAndNamesItsPage) {
  ComPtr<IAacDecParams> params = base.As<IAacDecParams>(IID_IAacDecParams);
  ComPtr<IPersistStream> persist = base.As<IPersistStream>(IID_IPersistStream);
  ComPtr<ISpecifyPropertyPages> pages = base.As<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages);
  ASSERT_TRUE(params && persist && pages);
  CLSID clsid{};
  ASSERT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_AacDecFilter);
  ULARGE_INTEGER size{};
  ASSERT_EQ(persist->GetSizeMax(&size), S_OK);
  EXPECT_EQ(size.QuadPart, 4u + 232u) << "the version word and the block";
  CAUUID list{};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_EQ(list.pElems[0], CLSID_AacDecPropertyPage);
  CoTaskMemFree(list.pElems);

  AacDecParams defaults = ParamsOf(params.Get());
  EXPECT_EQ(defaults.channels, 2);
  EXPECT_EQ(defaults.sampleRate, 44100);
  EXPECT_EQ(defaults.aacMode, 4);
  EXPECT_EQ(defaults.bitRate, 128000);
  EXPECT_EQ(std::bit_cast<float>(defaults.jointStereoRatio), 0.5f);
  EXPECT_EQ(defaults.channelOrder[47], 47);
}

class AacConnect : public AacGraph {
 protected:
  void SetUp() override {
    ResetFake();
    AacGraph::SetUp();
  }
};

TEST_F(AacConnect, TheSourcesTagAndTheAacTagBothConnect) {
  for (WORD tag : {WORD{0x00FF}, WAVE_FORMAT_TLX_AAC}) {
    Connect(AacInputType(1, 24000, tag));
    WAVEFORMATEXTENSIBLE out = FormatOf(filter->OutputPin()->CurrentMediaType());
    EXPECT_EQ(out.Format.nChannels, 1) << tag;
    EXPECT_EQ(out.Format.nSamplesPerSec, 24000u) << tag;
    for (IBaseFilter* f : {sourceFilter.Get(), decoderFilter.Get()}) {
      ComPtr<IPin> pin = PinOf(f, f == sourceFilter.Get() ? u"1" : u"Out");
      ComPtr<IPin> peer;
      pin->ConnectedTo(peer.Receive());
      graph->Disconnect(pin.Get());
      graph->Disconnect(peer.Get());
    }
  }
}

// Counts the connections its pin completes.
class CountingRenderer final : public CBaseRenderer {
 public:
  explicit CountingRenderer(HRESULT* hr) : CBaseRenderer(GUID_NULL, "counting renderer", nullptr, hr) {}
  HRESULT CheckMediaType(const CMediaType* mt) override { return *mt->Type() == MEDIATYPE_Audio ? S_OK : E_FAIL; }
  HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }
  HRESULT CompleteConnect(IPin* pin) override {
    ++connections;
    return CBaseRenderer::CompleteConnect(pin);
  }
  int connections = 0;
};

class AacReconnection : public AacGraph {
 protected:
  void SetUp() override {
    ResetFake();
    AacGraph::SetUp();
    HRESULT hr = S_OK;
    counting = new CountingRenderer(&hr);
    countingFilter = Adopt<IBaseFilter>(counting, IID_IBaseFilter);
    ASSERT_EQ(graph->AddFilter(countingFilter.Get(), u"counting"), S_OK);
    source->SetMediaType(AacInputType(6, 48000));
    ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(decoderFilter.Get(), u"In").Get(),
                                   nullptr),
              S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(decoderFilter.Get(), u"Out").Get(),
                                   PinOf(countingFilter.Get(), u"In").Get(), nullptr),
              S_OK);
    ASSERT_EQ(counting->connections, 1);
  }

  WAVEFORMATEXTENSIBLE Connected() { return FormatOf(filter->OutputPin()->CurrentMediaType()); }

  CountingRenderer* counting = nullptr;
  ComPtr<IBaseFilter> countingFilter;
};

TEST_F(AacReconnection, OutputIsReconnectedOnlyWhenItsFormatChanges) {
  EXPECT_EQ(Connected().Format.nChannels, 2) << "six channels mixed to two";
  const CMediaType out = filter->OutputPin()->CurrentMediaType();

  CMediaType same = AacInputType(6, 48000);
  EXPECT_EQ(filter->CheckTransform(&same, &out), S_OK);
  EXPECT_EQ(counting->connections, 1) << "a mixed-down input is no change";

  CMediaType faster = AacInputType(6, 44100);
  EXPECT_EQ(filter->CheckTransform(&faster, &out), S_OK);
  EXPECT_EQ(counting->connections, 2);
  EXPECT_EQ(Connected().Format.nSamplesPerSec, 44100u);
  EXPECT_EQ(Connected().Format.nChannels, 2);
  const CMediaType now = filter->OutputPin()->CurrentMediaType();
  EXPECT_EQ(filter->CheckTransform(&faster, &now), S_OK);
  EXPECT_EQ(counting->connections, 2);

  IAacDecParams* params = filter;
  AacDecParams block = ParamsOf(params);
  block.downMix = 0;
  ASSERT_EQ(SetParams(params, block), S_OK);
  EXPECT_EQ(counting->connections, 3);
  EXPECT_EQ(Connected().Format.nChannels, 6);
  EXPECT_EQ(Connected().Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
  ASSERT_EQ(SetParams(params, block), S_OK);
  EXPECT_EQ(counting->connections, 3) << "the same block asks for nothing";
  EXPECT_EQ(ParamsOf(params).downMix, 0) << "the reconnection's checks keep the block";
}

class AacReceive : public AacGraph {
 protected:
  void SetUp() override {
    ResetFake();
    AacGraph::SetUp();
    Connect(AacInputType(2, 48000));
    Run();
  }
  void TearDown() override {
    Fake().exitResult = 0;
    AacGraph::TearDown();
  }
};

TEST_F(AacReceive, HandsTheUnitToTheCoreAndStampsTheFrameWithItsTimes) {
  Unit unit;
  unit.bytes = {1, 2, 3, 4, 5, 6, 7};
  unit.start = 1000;
  unit.stop = 2000;
  unit.mediaStart = 4097;  // bit 0: the source's marker
  unit.mediaStop = 9999;
  unit.sync = true;
  unit.preroll = true;
  ASSERT_EQ(Push(unit), S_OK);

  const FakeCore& core = Fake();
  EXPECT_EQ(core.calls, (std::vector<std::string>{"create", "init", "info", "main"}));
  EXPECT_EQ(core.init.channels, 2);
  EXPECT_EQ(core.init.bits, 16);
  EXPECT_EQ(core.init.rate, 48000);
  EXPECT_EQ((std::vector<int>{core.init.unused1, core.init.unused2, core.init.reserved0, core.init.reserved1,
                              core.init.reserved2, core.init.reserved3, core.init.downMix, core.init.reorderCount}),
            (std::vector<int>{0, 0, 0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(core.init.order[47], 47);
  ASSERT_EQ(core.mains.size(), 1u);
  const FakeCore::Main& main = core.mains[0];
  EXPECT_EQ(main.handle, core.handle);
  EXPECT_EQ(main.unit, unit.bytes);
  EXPECT_EQ(main.length, 7) << "the unit's length, last";
  EXPECT_EQ(main.inputBytes, core.inputBytes);
  EXPECT_EQ(main.outputBytes, core.outputBytes);
  EXPECT_EQ(main.consumed, core.info.consumed);
  EXPECT_EQ(main.written, core.info.written);

  auto received = Received();
  ASSERT_EQ(received.size(), 1u);
  const auto& frame = received[0];
  EXPECT_EQ(frame.bytes, std::vector<BYTE>(4096, core.fill));
  EXPECT_EQ(frame.start, 1000);
  EXPECT_EQ(frame.stop, 2000);
  EXPECT_EQ(frame.mediaTimeResult, S_OK);
  EXPECT_EQ(frame.mediaStart, 4097);
  EXPECT_EQ(frame.mediaStop, 4097 + 1024);
  EXPECT_TRUE(frame.sync);
  EXPECT_TRUE(frame.preroll);
  EXPECT_FALSE(frame.discontinuity);

  Fake().calls.clear();
  unit.discontinuity = true;
  unit.sync = false;
  unit.preroll = false;
  unit.mediaStart = 8192;
  ASSERT_EQ(Push(unit), S_OK);
  EXPECT_EQ(core.calls, (std::vector<std::string>{"exit", "release", "create", "init", "info", "main"}))
      << "a discontinuity restarts the core before the unit";
  received = Received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_TRUE(received[1].discontinuity);
  EXPECT_FALSE(received[1].sync);
  EXPECT_FALSE(received[1].preroll);
  EXPECT_EQ(received[1].mediaStart, 8192);

  // A sample without media times gives a frame without them, not the last
  // sample's.
  unit.discontinuity = false;
  unit.hasMediaTime = false;
  ASSERT_EQ(Push(unit), S_OK);
  received = Received();
  ASSERT_EQ(received.size(), 3u);
  EXPECT_NE(received[2].mediaTimeResult, S_OK);
}

TEST_F(AacReceive, AFailedStartIsRetriedWithTheNextSample) {
  Unit unit;
  unit.bytes = {9, 9};
  Fake().initResult = -1;
  EXPECT_EQ(Push(unit), S_FALSE);
  EXPECT_EQ(Fake().calls, (std::vector<std::string>{"create", "init", "release"}))
      << "the instance that did not open is not kept";
  Fake().calls.clear();
  Fake().initResult = 0;
  Fake().createResult = -1;
  EXPECT_EQ(Push(unit), S_FALSE);
  EXPECT_EQ(Fake().calls, (std::vector<std::string>{"create"}));
  Fake().calls.clear();
  Fake().createResult = 0;
  EXPECT_EQ(Push(unit), S_OK);
  EXPECT_EQ(Fake().calls, (std::vector<std::string>{"create", "init", "info", "main"}));
  EXPECT_EQ(Received().size(), 1u);
}

TEST_F(AacReceive, EmptyOversizedAndUndecodableSamplesDeliverNothing) {
  Unit empty;
  EXPECT_EQ(Push(empty), S_OK);
  EXPECT_EQ(Fake().calls, (std::vector<std::string>{"create", "init"})) << "the core starts, nothing is decoded";

  Unit huge;
  huge.bytes.assign(70000, 0x42);
  EXPECT_EQ(Push(huge), S_OK) << "dropped: upstream goes on";
  EXPECT_TRUE(Fake().mains.empty());

  Fake().mainResult = -1;
  Unit unit;
  unit.bytes = {1, 2, 3};
  EXPECT_EQ(Push(unit), S_FALSE);
  EXPECT_TRUE(Received().empty());

  Fake().mainResult = 0;
  EXPECT_EQ(Push(unit), S_OK) << "and the next unit decodes";
  EXPECT_EQ(Received().size(), 1u);
}

TEST_F(AacReceive, StoppingClosesTheCoreAndTheBlockIsLockedWhileItIsOpen) {
  Unit unit;
  unit.bytes = {1};
  ASSERT_EQ(Push(unit), S_OK);
  IAacDecParams* params = filter;
  const AacDecParams block = ParamsOf(params);
  EXPECT_EQ(SetParams(params, block), E_INVALIDARG) << "core open";

  Fake().calls.clear();
  Fake().exitResult = -1;
  control->Stop();
  EXPECT_EQ(Fake().calls, std::vector<std::string>{"exit"}) << "no release after a failed exit";
  EXPECT_EQ(SetParams(params, block), E_INVALIDARG) << "still open";

  Fake().calls.clear();
  Fake().exitResult = 0;
  Run();
  control->Stop();
  EXPECT_EQ(Fake().calls, (std::vector<std::string>{"exit", "release"}));
  EXPECT_EQ(SetParams(params, block), S_OK);
}

TEST_F(AacReceive, PersistedBlockComesBackWithItsOutputFormatWithoutReconnecting) {
  control->Stop();
  HRESULT hr = S_OK;
  auto* saved = new CAacDecFilter(nullptr, &hr);
  ComPtr<IBaseFilter> savedFilter = Adopt<IBaseFilter>(saved, IID_IBaseFilter);
  IAacDecParams* savedParams = saved;
  AacDecParams block = ParamsOf(savedParams);
  block.channels = 6;
  block.sampleRate = 32000;
  block.downMix = 0;
  block.channelReorder = 1;
  block.channelOrder[0] = 5;
  block.channelOrder[5] = 0;
  block.cutOff = 15000;
  ASSERT_EQ(SetParams(savedParams, block), S_OK);
  ComPtr<IStream> stream = Adopt<IStream>(new CMemoryStream("stream", nullptr, &hr), IID_IStream);
  ASSERT_EQ(saved->Save(stream.Get(), TRUE), S_OK);
  EXPECT_EQ(saved->IsDirty(), S_FALSE);

  const CMediaType connected = filter->OutputPin()->CurrentMediaType();
  LARGE_INTEGER zero{0};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(filter->Load(stream.Get()), S_OK);
  IAacDecParams* params = filter;
  AacDecParams loaded = ParamsOf(params);
  EXPECT_EQ(std::memcmp(&loaded, &block, sizeof block), 0);
  WAVEFORMATEXTENSIBLE offered = OfferedFormat(filter);
  EXPECT_EQ(offered.Format.nChannels, 6);
  EXPECT_EQ(offered.Format.nSamplesPerSec, 32000u);
  EXPECT_TRUE(filter->OutputPin()->CurrentMediaType() == connected) << "no reconnection";

  // A damaged block is refused and changes nothing.
  ComPtr<IStream> damaged = Adopt<IStream>(new CMemoryStream("damaged", nullptr, &hr), IID_IStream);
  DWORD version = 0;
  block.channels = 99;
  damaged->Write(&version, sizeof version, nullptr);
  damaged->Write(&block, sizeof block, nullptr);
  damaged->Seek(zero, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(filter->Load(damaged.Get()), E_INVALIDARG);
  loaded = ParamsOf(params);
  EXPECT_EQ(loaded.channels, 6);
}

}  // namespace
}  // namespace tlx::aac::test

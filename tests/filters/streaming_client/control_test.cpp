// The filter as the stream engine makes and sets it up: created by class from
// its module, the control interface's refusals and stored values, its pins,
// its About page, and a quality change while connected.
#include <gtest/gtest.h>

#include <cstring>

#include "dshow/filter_module.h"
#include "filters/streaming_client/about_page.h"
#include "filters/streaming_client/media_formats.h"
#include "filters/streaming_client/streaming_client_filter.h"
#include "filters/streaming_client/tlx_media_subtypes.h"
#include "platform/dshow/graph_fixture.h"

namespace tlx::dshow::test {
namespace {

const std::string kPreset24 =
    "vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810.";
const std::string kPreset44 =
    "vbr=3000000.vmbr=3000000.vfr=30.vw=640.vh=240.vtype=3.vfl=273.abr=128000.ambr=128000.asr=44100.afl=1810.";

class ModuleFilter : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(RegisterFilterModule(STREAMING_CLIENT_MODULE), S_OK); }

  void SetUp() override {
    ASSERT_EQ(CoCreateInstance(CLSID_TlxStreamingClient, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               filter.ReceiveVoid()),
              S_OK);
    control = filter.As<ITlxStreamSourceControl>(IID_ITlxStreamSourceControl);
    ASSERT_TRUE(control);
  }

  TlxStreamSourceParams Params() {
    TlxStreamSourceParams params{};
    EXPECT_EQ(control->GetParams(&params), S_OK);
    return params;
  }

  // The pin's first offered type, as a format block.
  static CMediaType Offered(IBaseFilter* filter, const char16_t* id) {
    ComPtr<IEnumMediaTypes> types;
    PinOf(filter, id)->EnumMediaTypes(types.Receive());
    AM_MEDIA_TYPE* mt = nullptr;
    types->Next(1, &mt, nullptr);
    CMediaType result(*mt);
    DeleteMediaType(mt);
    return result;
  }

  ComPtr<IBaseFilter> filter;
  ComPtr<ITlxStreamSourceControl> control;
};

TEST_F(ModuleFilter, TheControlInterfaceRefusesWhatItCannotKeep) {
  const std::string host255(255, 'h'), host256(256, 'h');
  struct Case {
    const char* what;
    HRESULT got;
    HRESULT expected;
  };
  const Case cases[] = {
      {"SetServer null", control->SetServer(nullptr, 80), E_POINTER},
      {"SetServer empty", control->SetServer("", 80), E_INVALIDARG},
      {"SetServer 256", control->SetServer(host256.c_str(), 80), E_INVALIDARG},
      {"SetServer 255", control->SetServer(host255.c_str(), 80), S_OK},
      {"SetQuality null", control->SetQuality(nullptr), E_POINTER},
      {"SetQuality empty", control->SetQuality(""), E_INVALIDARG},
      {"SetQuality 256", control->SetQuality(host256.c_str()), E_INVALIDARG},
      {"SetQuality DSP", control->SetQuality("DSP"), E_INVALIDARG},
      {"SetQuality ab", control->SetQuality("ab"), E_INVALIDARG},
      {"SetProxy empty", control->SetProxy("", 8080), E_INVALIDARG},
      {"Reserved1", control->Reserved1(7), S_OK},
      {"Reserved2", control->Reserved2(7, 8), S_OK},
      {"Reserved3", control->Reserved3(7), S_OK},
      {"Reserved4", control->Reserved4(7, 8), S_OK},
      {"GetActualBitrate null", control->GetActualBitrate(nullptr, nullptr), E_POINTER},
      {"SetParams null", control->SetParams(nullptr), E_INVALIDARG},
      {"GetParams null", control->GetParams(nullptr), E_INVALIDARG},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
  EXPECT_EQ(std::string(Params().serverHost), host255) << "the last accepted host";
}

TEST_F(ModuleFilter, ServerProxyAndParamsAreStoredAsTheyCome) {
  ASSERT_EQ(control->SetServer("127.0.0.1", 65616), S_OK);
  ASSERT_EQ(control->SetProxy("proxy.local", 3128), S_OK);
  TlxStreamSourceParams params = Params();
  EXPECT_STREQ(params.serverHost, "127.0.0.1");
  EXPECT_EQ(params.serverPort, 80) << "the low 16 bits";
  EXPECT_STREQ(params.proxyHost, "proxy.local");
  EXPECT_EQ(params.proxyPort, 3128);
  ASSERT_EQ(control->SetProxy(nullptr, 0), S_OK);
  EXPECT_STREQ(Params().proxyHost, "");

  // A whole block goes in and comes out byte for byte.
  TlxStreamSourceParams block;
  auto* bytes = reinterpret_cast<uint8_t*>(&block);
  for (size_t i = 0; i < sizeof block; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  block.streamPath[100] = block.serverHost[0] = block.proxyHost[255] = '\0';
  ASSERT_EQ(control->SetParams(&block), S_OK);
  TlxStreamSourceParams back = Params();
  EXPECT_EQ(std::memcmp(&back, &block, sizeof block), 0);

  // A text field without its NUL is refused and the block kept.
  TlxStreamSourceParams unterminated = block;
  std::memset(unterminated.proxyHost, 'x', sizeof unterminated.proxyHost);
  EXPECT_EQ(control->SetParams(&unterminated), E_INVALIDARG);
  back = Params();
  EXPECT_EQ(std::memcmp(&back, &block, sizeof block), 0);
}

TEST_F(ModuleFilter, QualityTextsSetThePathAndThePinFormats) {
  ASSERT_EQ(control->SetQuality("FILE/x.mp4"), S_OK);
  EXPECT_STREQ(Params().streamPath, "FILE/x.mp4");
  const CMediaType untouched = Offered(filter.Get(), u"1");
  EXPECT_EQ(reinterpret_cast<const WAVEFORMATEX*>(untouched.Format())->nSamplesPerSec, 44100u);

  struct Preset {
    const std::string& text;
    DWORD rate;
    LONG width;
  };
  for (const Preset& p : {Preset{kPreset24, 24000, 320}, Preset{kPreset44, 44100, 640}}) {
    ASSERT_EQ(control->SetQuality(("DSP/" + p.text).c_str()), S_OK);
    EXPECT_EQ(std::string(Params().streamPath), "DSP/" + p.text + "/");
    const CMediaType audio = Offered(filter.Get(), u"1");
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(audio.Format());
    EXPECT_EQ(wave->nSamplesPerSec, p.rate);
    EXPECT_EQ(wave->nChannels, 2);
    const CMediaType video = Offered(filter.Get(), u"2");
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(video.Format());
    EXPECT_EQ(info->bmiHeader.biWidth, p.width);
    EXPECT_EQ(info->bmiHeader.biHeight, 240);
    EXPECT_EQ(info->AvgTimePerFrame, 333333);
  }

  std::string odd = kPreset24;
  odd.replace(odd.find("asr=24000"), 9, "asr=22000");
  EXPECT_EQ(control->SetQuality(("DSP/" + odd).c_str()), TLX_E_SAMPLE_RATE);
  EXPECT_EQ(control->SetQuality("DSP/garbage"), E_INVALIDARG);
  EXPECT_STREQ(Params().streamPath, "DSP/garbage");
  const CMediaType after = Offered(filter.Get(), u"1");
  EXPECT_EQ(reinterpret_cast<const WAVEFORMATEX*>(after.Format())->nSamplesPerSec, 44100u)
      << "refused texts leave the pins alone";
}

TEST_F(ModuleFilter, PinsFlagsAndTheAboutPage) {
  ComPtr<IAMFilterMiscFlags> flags = filter.As<IAMFilterMiscFlags>(IID_IAMFilterMiscFlags);
  ASSERT_TRUE(flags);
  EXPECT_EQ(flags->GetMiscFlags(), 2u);
  PIN_INFO info;
  ASSERT_EQ(PinOf(filter.Get(), u"1")->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(std::u16string(info.achName), u"audio");
  if (info.pFilter) info.pFilter->Release();
  ASSERT_EQ(PinOf(filter.Get(), u"2")->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(std::u16string(info.achName), u"video");
  if (info.pFilter) info.pFilter->Release();

  ComPtr<ISpecifyPropertyPages> pages = filter.As<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages);
  CAUUID ids{};
  ASSERT_EQ(pages->GetPages(&ids), S_OK);
  ASSERT_EQ(ids.cElems, 1u);
  EXPECT_EQ(ids.pElems[0], CLSID_TlxStreamingClientAbout);
  CoTaskMemFree(ids.pElems);
  ComPtr<IPropertyPage> page;
  ASSERT_EQ(CoCreateInstance(CLSID_TlxStreamingClientAbout, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                             page.ReceiveVoid()),
            S_OK);
  IUnknown* object = filter.Get();
  ASSERT_EQ(page->SetObjects(1, &object), S_OK);
  ASSERT_EQ(page->Activate(nullptr, nullptr, FALSE), S_OK);
  auto* base = dynamic_cast<CBasePropertyPage*>(page.Get());
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(base->ControlText(kAboutVersionItem), "Version 0.1 - (Jan 12 2007, 13:42:31)");
  EXPECT_EQ(base->ControlText(kAboutBannerItem), kRtspLayerVersion);
  page->Deactivate();
  page->SetObjects(0, nullptr);
}

TEST_F(ModuleFilter, AQualityChangeReconnectsBothPinsWithTheNewFormats) {
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid()),
            S_OK);
  ASSERT_EQ(control->SetQuality(("DSP/" + kPreset24).c_str()), S_OK);
  HRESULT hr = S_OK;
  auto* audio = new RecordingRenderer(nullptr, &hr);
  auto* video = new RecordingRenderer(nullptr, &hr);
  ComPtr<IBaseFilter> audioFilter = Adopt<IBaseFilter>(audio, IID_IBaseFilter);
  ComPtr<IBaseFilter> videoFilter = Adopt<IBaseFilter>(video, IID_IBaseFilter);
  graph->AddFilter(filter.Get(), u"source");
  graph->AddFilter(audioFilter.Get(), u"audio");
  graph->AddFilter(videoFilter.Get(), u"video");
  ASSERT_EQ(graph->ConnectDirect(PinOf(filter.Get(), u"1").Get(), PinOf(audioFilter.Get(), u"In").Get(), nullptr), S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinOf(filter.Get(), u"2").Get(), PinOf(videoFilter.Get(), u"In").Get(), nullptr), S_OK);

  ASSERT_EQ(control->SetQuality(("DSP/" + kPreset44).c_str()), S_OK);
  AM_MEDIA_TYPE mt;
  ASSERT_EQ(PinOf(audioFilter.Get(), u"In")->ConnectionMediaType(&mt), S_OK);
  ASSERT_EQ(mt.cbFormat, 20u);
  const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
  EXPECT_EQ(wave->nSamplesPerSec, 44100u);
  EXPECT_EQ(mt.pbFormat[18], 0x12);
  EXPECT_EQ(mt.pbFormat[19], 0x10);
  FreeMediaType(mt);
  ASSERT_EQ(PinOf(videoFilter.Get(), u"In")->ConnectionMediaType(&mt), S_OK);
  EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth, 640);
  FreeMediaType(mt);
  graph->RemoveFilter(filter.Get());
}

}  // namespace
}  // namespace tlx::dshow::test

// The fake filter modules in graphs built by hand through the stream
// object's building blocks: taken from their copies under the system's file
// names, by registered name and by class, playing their script and letting
// go of every module afterwards.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "dshow/filter_module.h"
#include "dshow/guids.h"
#include "engine/fake_filters/fake_filter_control.h"
#include "engine/fake_filters/fake_module_folder.h"
#include "engine/tlx_pc_stm_com_loader.h"
#include "filters/aac/aac_dec.h"
#include "filters/aes_decryptor/aes_decryptor_key.h"
#include "filters/audio_renderer/ravix_audio_renderer_control.h"
#include "filters/avc/avc_dec_mode.h"
#include "filters/mpeg4/mpeg4_video_decoder.h"
#include "filters/streaming_client/tlx_stream_source_control.h"
#include "graph_inspection.h"
#include "test_stream_object.h"

namespace tlx::engine::test {
namespace {

using com::ComPtr;

ComPtr<IFakeFilterControl> Control(IBaseFilter* filter) {
  return Query<IFakeFilterControl>(filter, IID_IFakeFilterControl);
}

std::vector<BYTE> BytesOf(const std::vector<FakeSample>& samples) {
  std::vector<BYTE> bytes;
  for (const FakeSample& sample : samples) bytes.insert(bytes.end(), sample.bytes.begin(), sample.bytes.end());
  return bytes;
}

class FakeFilters : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(object_.hCreateFilterGraph(), S_OK);
  }
  void TearDown() override {
    ReleaseAll();
    CoUninitialize();
  }

  // From the module file, through a loader of its own.
  IBaseFilter* FromModule(REFCLSID clsid, const char16_t* file) {
    loaders_.push_back(nullptr);
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(object_.hAddFilterDll(clsid, file, filter.Receive(), &loaders_.back()), S_OK) << Narrow(file);
    return Keep(filter);
  }
  // By the friendly name its module registered.
  IBaseFilter* ByName(const char16_t* name) {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(object_.hAddFilter(name, filter.Receive()), S_OK) << Narrow(name);
    return Keep(filter);
  }
  IBaseFilter* ByClass(REFCLSID clsid, const char16_t* name) {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(object_.hAddFilter(clsid, name, filter.Receive()), S_OK) << Narrow(name);
    return Keep(filter);
  }

  void Connect(IBaseFilter* from, IBaseFilter* to) { EXPECT_EQ(object_.hConnectFilters(from, to), S_OK); }
  void ConnectPin(IBaseFilter* source, const char16_t* id, IBaseFilter* to) {
    ComPtr<IPin> pin;
    ASSERT_EQ(source->FindPin(id, pin.Receive()), S_OK);
    ComPtr<IPin> input;
    ASSERT_EQ(object_.hGetUnconnectedPin(to, PINDIR_INPUT, input.Receive()), S_OK);
    EXPECT_EQ(Graph()->ConnectDirect(pin.Get(), input.Get(), nullptr), S_OK);
  }

  ComPtr<IGraphBuilder> Graph() {
    FILTER_INFO info{};
    if (filters_.empty() || FAILED(filters_.front()->QueryFilterInfo(&info)) || info.pGraph == nullptr) return {};
    ComPtr<IGraphBuilder> graph = Query<IGraphBuilder>(info.pGraph, IID_IGraphBuilder);
    info.pGraph->Release();
    return graph;
  }

  // The graph, the filters and the loaders go, in that order.
  void ReleaseAll() {
    filters_.clear();
    object_.vCleanup();
    for (CTlxPcStmComLoader* loader : loaders_) delete loader;
    loaders_.clear();
  }

  // The lines of this process's memory map that belong to a module copy.
  std::vector<std::string> MappedCopies() {
    std::ifstream maps("/proc/self/maps");
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(maps, line)) {
      if (line.find(modules_.path().string()) != std::string::npos) lines.push_back(line);
    }
    return lines;
  }

  FakeModuleFolder modules_;
  BaseStreamObject object_;

 private:
  static std::string Narrow(const char16_t* text) {
    return std::string(text, text + std::char_traits<char16_t>::length(text));
  }
  IBaseFilter* Keep(const ComPtr<IBaseFilter>& filter) {
    if (!filter) return nullptr;
    filters_.push_back(filter);
    return filter.Get();
  }

  std::vector<ComPtr<IBaseFilter>> filters_;
  std::vector<CTlxPcStmComLoader*> loaders_;
};

TEST_F(FakeFilters, TheLiveGraphPlaysItsScriptAndEveryModuleIsUnmappedAfterwards) {
  for (const char* file : {kFakeAvcDecoderFile, kFakeAudioRendererFile, kFakeVideoRendererFile}) {
    ASSERT_EQ(modules_.Register(file), S_OK) << file;
  }
  IBaseFilter* source = FromModule(CLSID_TlxStreamingClient, u"TlxStreamingClient.ax");
  IBaseFilter* audioKey = FromModule(CLSID_AESDecryptor, u"TlxAESDecryptor.ax");
  IBaseFilter* videoKey = FromModule(CLSID_AESDecryptor, u"TlxAESDecryptor.ax");
  IBaseFilter* aac = FromModule(CLSID_AacDecFilter,
                                u"TLXAACDEC.ax");  // copied as "tlxaacdec.ax"
  IBaseFilter* avc = ByName(u"Marovi AVC Decoder for TLX");
  IBaseFilter* audio = ByName(u"Ravix Audio Renderer");
  IBaseFilter* video = ByClass(CLSID_VideoMixingRenderer9, u"Video Mixing Renderer Filter");
  ASSERT_TRUE(source && audioKey && videoKey && aac && avc && audio && video);
  ConnectPin(source, u"1", audioKey);
  Connect(audioKey, aac);
  Connect(aac, audio);
  ConnectPin(source, u"2", videoKey);
  Connect(videoKey, avc);
  Connect(avc, video);

  {  // the test's own references go at the end of this block
    // What the engine hands the filters before it runs the graph.
    auto mode = Query<IAvcDecMode>(avc, IID_IAvcDecMode);
    ASSERT_TRUE(mode);
    EXPECT_EQ(mode->SetMode(0), S_OK);
    EXPECT_EQ(Control(avc)->Calls(), std::vector<std::string>{"SetMode 0"});
    const char kKey[] = "00112233445566778899aabbccddeeff";
    for (IBaseFilter* decryptor : {audioKey, videoKey}) {
      auto key = Query<IAESDecryptorKey>(decryptor, IID_IAESDecryptorKey);
      ASSERT_TRUE(key);
      EXPECT_EQ(key->SetKey(kKey), S_OK);
      char held[kAESDecryptorKeyDigits] = {};
      EXPECT_EQ(key->GetKey(held), S_OK);
      EXPECT_EQ(std::string(held, sizeof(held)), kKey);
    }
    auto clock = Query<IReferenceClock>(audio, IID_IReferenceClock);
    ASSERT_TRUE(clock);
    auto mediaFilter = Query<IMediaFilter>(Graph().Get(), IID_IMediaFilter);
    ASSERT_EQ(mediaFilter->SetSyncSource(clock.Get()), S_OK);

    // Events scripted before the run come when it starts; the samples follow,
    // then the ends of stream, which the renderers report as one completion.
    auto script = Control(source);
    EXPECT_EQ(script->ScriptEvent(EC_TLX_CONNECT_BEGIN, 0, 0), S_OK);
    EXPECT_EQ(script->ScriptEvent(EC_TLX_STATISTICS, 1500, 128), S_OK);
    const std::vector<FakeSample> audioSamples = {{{1, 2, 3}, 0, 100000}, {{4, 5}, 100000, 200000}};
    const std::vector<FakeSample> videoSamples = {{{9, 8, 7, 6}, 0, 400000}, {{5}, 400000, 800000}};
    for (const FakeSample& sample : audioSamples) EXPECT_EQ(script->ScriptSample(1, sample), S_OK);
    for (const FakeSample& sample : videoSamples) EXPECT_EQ(script->ScriptSample(2, sample), S_OK);
    EXPECT_EQ(script->ScriptSample(3, {}), E_INVALIDARG);
    EXPECT_EQ(script->ScriptSample(1, {std::vector<BYTE>(kFakeSampleBytes + 1), 0, 0}), E_INVALIDARG);
    EXPECT_EQ(script->ScriptEndOfStream(1), S_OK);
    EXPECT_EQ(script->ScriptEndOfStream(2), S_OK);

    auto control = Query<IMediaControl>(Graph().Get(), IID_IMediaControl);
    auto events = Query<IMediaEvent>(Graph().Get(), IID_IMediaEvent);
    ASSERT_TRUE(control && events);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    std::vector<std::vector<LONG_PTR>> seen;
    long code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    while (code != EC_COMPLETE && events->GetEvent(&code, &param1, &param2, 5000) == S_OK) {
      if (code != EC_COMPLETE) seen.push_back({code, param1, param2});
      events->FreeEventParams(code, param1, param2);
    }
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(seen, (std::vector<std::vector<LONG_PTR>>{{EC_TLX_CONNECT_BEGIN, 0, 0}, {EC_TLX_STATISTICS, 1500, 128}}));
    // Raised at once while running.
    EXPECT_EQ(script->ScriptEvent(EC_TLX_STOP_BEGIN, 7, 0), S_OK);
    ASSERT_EQ(events->GetEvent(&code, &param1, &param2, 5000), S_OK);
    EXPECT_EQ(std::vector<LONG_PTR>({code, param1}), std::vector<LONG_PTR>({EC_TLX_STOP_BEGIN, 7}));
    EXPECT_EQ(control->Stop(), S_OK);

    // Every filter on each path saw every byte, unchanged and in order.
    for (IBaseFilter* filter : {audioKey, aac, audio})
      EXPECT_EQ(BytesOf(Control(filter)->Received()), BytesOf(audioSamples));
    for (IBaseFilter* filter : {videoKey, avc, video})
      EXPECT_EQ(BytesOf(Control(filter)->Received()), BytesOf(videoSamples));
    const std::vector<FakeSample> shown = Control(video)->Received();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].start, 400000);
    EXPECT_EQ(shown[1].stop, 800000);
    EXPECT_EQ(Control(audio)->EndsOfStream(), 1);
    EXPECT_EQ(Control(video)->EndsOfStream(), 1);
  }

  // Nothing of the fakes stays alive: once the filter layer lets go of the
  // modules it registered, none is mapped.
  ReleaseAll();
  dshow::FreeUnusedFilterModules();
  for (const char* file : {kFakeAvcDecoderFile, kFakeAudioRendererFile, kFakeVideoRendererFile}) {
    EXPECT_FALSE(dshow::IsFilterModuleLoaded(modules_.Module(file))) << file;
  }
  EXPECT_EQ(MappedCopies(), std::vector<std::string>{});
}

TEST_F(FakeFilters, ScriptedAnswersAndRecordedCallsReachThroughTheGraph) {
  ASSERT_EQ(modules_.RegisterAll(), S_OK);
  IBaseFilter* source = ByName(u"TLX Streaming Client");
  IBaseFilter* videoKey = ByName(u"AES Decryption");
  IBaseFilter* mpeg4 = FromModule(CLSID_Mpeg4VideoDecoder, u"tlxm4vdec.ax");
  IBaseFilter* post = FromModule(CLSID_TlxPostFilter, u"TlxPostFilter.ax");
  IBaseFilter* video = ByClass(CLSID_VideoMixingRenderer9, u"Video Mixing Renderer Filter");
  IBaseFilter* audio = ByName(u"Ravix Audio Renderer");
  ASSERT_TRUE(source && videoKey && mpeg4 && post && video && audio);
  ConnectPin(source, u"2", videoKey);
  Connect(videoKey, mpeg4);
  Connect(mpeg4, post);
  Connect(post, video);

  // The source keeps what it is told and answers the scripted rates.
  auto stream = Query<ITlxStreamSourceControl>(source, IID_ITlxStreamSourceControl);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->SetQuality("DSP/vbr=1000/."), S_OK);
  EXPECT_EQ(stream->SetServer("127.0.0.1", 8554), S_OK);
  EXPECT_EQ(stream->Abort(), S_OK);
  Control(source)->SetValues("GetActualBitrate", {1500, 128});
  DWORD videoRate = 0, audioRate = 0;
  EXPECT_EQ(stream->GetActualBitrate(&videoRate, &audioRate), S_OK);
  EXPECT_EQ(videoRate, 1500u);
  EXPECT_EQ(audioRate, 128u);
  EXPECT_EQ(Control(source)->Calls(), (std::vector<std::string>{"SetQuality DSP/vbr=1000/.", "SetServer 127.0.0.1 8554",
                                                                "Abort", "GetActualBitrate"}));

  // A key the decryptor is scripted to refuse is recorded, but not kept.
  Control(videoKey)->SetResult("SetKey", E_FAIL);
  auto key = Query<IAESDecryptorKey>(videoKey, IID_IAESDecryptorKey);
  EXPECT_EQ(key->SetKey("FFEEDDCCBBAA99887766554433221100trailing"), E_FAIL);
  char held[kAESDecryptorKeyDigits] = {};
  EXPECT_EQ(key->GetKey(held), E_FAIL);
  EXPECT_EQ(Control(videoKey)->Calls(),
            (std::vector<std::string>{"SetKey FFEEDDCCBBAA99887766554433221100", "GetKey"}));

  // The graph forwards the window and picture calls to the connected
  // renderer, and the volume to the audio renderer.
  auto window = Query<IVideoWindow>(Graph().Get(), IID_IVideoWindow);
  auto picture = Query<IBasicVideo>(Graph().Get(), IID_IBasicVideo);
  auto volume = Query<IBasicAudio>(Graph().Get(), IID_IBasicAudio);
  ASSERT_TRUE(window && picture && volume);
  Control(video)->SetResult("put_Visible", E_FAIL);
  Control(video)->SetValues("GetVideoSize", {640, 480});
  EXPECT_EQ(window->put_Owner(0x1234), S_OK);
  EXPECT_EQ(window->SetWindowPosition(-9, -7, 840, 620), S_OK);
  EXPECT_EQ(window->put_Visible(OATRUE), E_FAIL);
  long width = 0, height = 0;
  EXPECT_EQ(picture->GetVideoSize(&width, &height), S_OK);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(640L, 480L));
  EXPECT_EQ(picture->GetVideoSize(&width, nullptr), E_POINTER);
  EXPECT_EQ(picture->SetDestinationPosition(0, 0, 800, 600), S_OK);
  EXPECT_EQ(picture->SetSourcePosition(8, 8, 584, 452), S_OK);
  auto aspect = Query<IVMRAspectRatioControl9>(video, IID_IVMRAspectRatioControl9);
  ASSERT_TRUE(aspect);
  EXPECT_EQ(aspect->SetAspectRatioMode(VMR_ARMODE_NONE), S_OK);
  EXPECT_EQ(Control(video)->Calls(),
            (std::vector<std::string>{"put_Owner 4660", "SetWindowPosition -9 -7 840 620", "put_Visible -1",
                                      "GetVideoSize", "GetVideoSize", "SetDestinationPosition 0 0 800 600",
                                      "SetSourcePosition 8 8 584 452", "SetAspectRatioMode 0"}));
  EXPECT_EQ(volume->put_Volume(-10000), S_OK);
  auto flush = Query<IRavixAudioRendererControl>(audio, IID_IRavixAudioRendererControl);
  ASSERT_TRUE(flush);
  EXPECT_EQ(flush->FlashBuffers(0), S_OK);
  EXPECT_EQ(Control(audio)->Calls(), (std::vector<std::string>{"put_Volume -10000", "FlashBuffers 0"}));
}

}  // namespace
}  // namespace tlx::engine::test

// The live graph over the fake filter modules: the filters it is built from
// and their connections, the settings of the "Filter" section, the failures
// of each step, the dump branch and the placement of the video.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "common/tlx_pc_cmn_system.h"
#include "dshow/filter_module.h"
#include "dshow/guids.h"
#include "engine/filter_tables.h"
#include "live_stream_fixture.h"

namespace tlx::engine::test {
namespace {

using com::ComPtr;

std::u16string NameInGraph(IBaseFilter* filter) {
  FILTER_INFO info{};
  if (filter == nullptr || FAILED(filter->QueryFilterInfo(&info))) return {};
  if (info.pGraph != nullptr) info.pGraph->Release();
  return info.achName;
}

bool Contains(const std::vector<std::string>& calls, const std::string& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

std::vector<std::pair<CLSID, CLSID>> Sorted(std::vector<std::pair<CLSID, CLSID>> links) {
  std::sort(links.begin(), links.end());
  return links;
}

std::vector<CLSID> Sorted(std::vector<CLSID> classes) {
  std::sort(classes.begin(), classes.end());
  return classes;
}

// The connections of the live graph with this video decoder (and post
// filter, when there is one).
std::vector<std::pair<CLSID, CLSID>> LiveLinks(const CLSID& videoDecoder, const CLSID* postFilter = nullptr) {
  std::vector<std::pair<CLSID, CLSID>> links = {
      {CLSID_TlxStreamingClient, CLSID_AESDecryptor},   {CLSID_TlxStreamingClient, CLSID_AESDecryptor},
      {CLSID_AESDecryptor, CLSID_AacDecFilter},         {CLSID_AacDecFilter, CLSID_RavixDSAudRenderer},
      {CLSID_AESDecryptor, videoDecoder},
  };
  if (postFilter != nullptr) {
    links.push_back({videoDecoder, *postFilter});
    links.push_back({*postFilter, CLSID_VideoMixingRenderer9});
  } else {
    links.push_back({videoDecoder, CLSID_VideoMixingRenderer9});
  }
  return Sorted(links);
}

using LiveGraphTest = LiveStreamTest;

TEST_F(LiveGraphTest, TheGraphFromModuleFilesOrRegisteredNames) {
  for (int filterDll : {1, 0}) {
    SCOPED_TRACE(filterDll);
    ini_.Rewrite("[Filter]\nFilterDll=" + std::to_string(filterDll) + "\n");
    std::error_code error;
    const auto directory = std::filesystem::current_path();
    ASSERT_TRUE(stream_->bInit(1));
    EXPECT_EQ(std::filesystem::current_path(), directory);
    auto graph = stream_->Graph();
    EXPECT_EQ(GraphFilterClasses(graph.Get()),
              Sorted({CLSID_TlxStreamingClient, CLSID_AESDecryptor, CLSID_AESDecryptor, CLSID_AacDecFilter,
                      CLSID_Mpeg4VideoDecoder, CLSID_RavixDSAudRenderer, CLSID_VideoMixingRenderer9}));
    EXPECT_EQ(GraphConnections(graph.Get()), LiveLinks(CLSID_Mpeg4VideoDecoder));
    // Pin "1" carries the audio through decryptor A, pin "2" the video
    // through decryptor B.
    auto decryptorA = stream_->DecryptorOnPin(u"1");
    auto decryptorB = stream_->DecryptorOnPin(u"2");
    ASSERT_TRUE(decryptorA && decryptorB);
    EXPECT_NE(decryptorA.Get(), decryptorB.Get());
    // A filter taken by its registered name joins the graph under it; one
    // made from its module file joins without one ("TLXAACDEC.ax" is there as
    // "tlxaacdec.ax").
    for (const CFilterParam* row : {&kStreamSourceTable[1], &kAudioDecoderTable[1], &kVideoDecoderTable[1],
                                    &kAudioRendererRow, &kDecryptorRow}) {
      SCOPED_TRACE(std::string(row->m_pszName, row->m_pszName + std::char_traits<char16_t>::length(row->m_pszName)));
      EXPECT_EQ(NameInGraph(stream_->Filter(row->m_clsid).Get()) == row->m_pszName, filterDll == 0);
    }
    // Live-source mode and the audio renderer's clock.
    ComPtr<IReferenceClock> clock;
    ASSERT_EQ(Query<IMediaFilter>(graph.Get(), IID_IMediaFilter)->GetSyncSource(clock.Receive()), S_OK);
    auto rendererClock = Query<IReferenceClock>(stream_->Filter(CLSID_RavixDSAudRenderer).Get(), IID_IReferenceClock);
    EXPECT_EQ(Query<IUnknown>(clock.Get(), IID_IUnknown).Get(), Query<IUnknown>(rendererClock.Get(), IID_IUnknown).Get());
    EXPECT_TRUE(Contains(stream_->Control(CLSID_VideoMixingRenderer9)->Calls(), "SetAspectRatioMode 0"));
    EXPECT_EQ(stream_->RendererInUse(), eVMRType9);
    EXPECT_TRUE(stream_->bCleanup());
  }
}

// The kind named first refuses the video and stays in the graph unconnected;
// the next kind connects, and only it is told to keep no aspect ratio.
TEST_F(LiveGraphTest, OnlyTheRendererThatConnectedGetsTheAspectRatioMode) {
  ini_.Rewrite("[Filter]\nVMRType=1\n");
  stream_->onRendererAdded = [](const GUID& clsid, IBaseFilter* renderer) {
    if (clsid != CLSID_VideoMixingRenderer9) return;
    Query<IFakeFilterControl>(renderer, IID_IFakeFilterControl)->SetResult("CheckMediaType", VFW_E_TYPE_NOT_ACCEPTED);
  };
  ASSERT_TRUE(stream_->bInit(1));
  auto graph = stream_->Graph();
  EXPECT_EQ(stream_->RendererInUse(), eVMRType7);
  const auto refused = GraphFiltersOf(graph.Get(), CLSID_VideoMixingRenderer9);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_FALSE(IsConnected(refused[0].Get()));
  const auto refusedCalls = Query<IFakeFilterControl>(refused[0].Get(), IID_IFakeFilterControl)->Calls();
  EXPECT_TRUE(std::none_of(refusedCalls.begin(), refusedCalls.end(),
                           [](const std::string& call) { return call.rfind("SetAspectRatioMode", 0) == 0; }))
      << ::testing::PrintToString(refusedCalls);
  const auto links = GraphConnections(graph.Get());
  EXPECT_TRUE(std::find(links.begin(), links.end(), std::make_pair(CLSID_Mpeg4VideoDecoder, CLSID_VideoMixingRenderer)) !=
              links.end());
  EXPECT_TRUE(Contains(stream_->Control(CLSID_VideoMixingRenderer)->Calls(), "SetAspectRatioMode 0"));
  graph.Reset();
  EXPECT_TRUE(stream_->bCleanup());
}

TEST_F(LiveGraphTest, AMissingModuleFileFallsBackToTheRegisteredName) {
  ini_.Rewrite("[Filter]\nVDecFileName=nosuch.ax\n");
  ASSERT_TRUE(stream_->bInit(1));
  EXPECT_EQ(NameInGraph(stream_->Filter(CLSID_Mpeg4VideoDecoder).Get()), kVideoDecoderTable[1].m_pszName);
  EXPECT_EQ(GraphConnections(stream_->Graph().Get()), LiveLinks(CLSID_Mpeg4VideoDecoder));
}

TEST_F(LiveGraphTest, TheVideoDecoderFromTheCodecMasksAndTheSettings) {
  struct Case {
    const char* ini;
    int baseMask;
    bool avcAllowed;
    CLSID decoder;  // GUID_NULL: the build fails
    int line;
  };
  const Case cases[] = {
      {"", 3, true, CLSID_Mpeg4VideoDecoder, 0},
      {"", 5, true, CLSID_AvcDecFilter, 0},
      {"", 5, false, CLSID_Mpeg4VideoDecoder, 0},
      {"", 4, false, GUID{}, 1089},
      {"[Filter]\nBaseCodecs=4\n", 3, true, CLSID_AvcDecFilter, 0},
      {"[Filter]\nBaseCodecs=8192\n", 3, true, GUID{}, 1141},  // row 0 is not in the system
      // Overrides of the row: both missing fail at the row's line.
      {"[Filter]\nVDec=No Such Decoder\nVDecFileName=nosuch.ax\n", 3, true, GUID{}, 1141},
      {"[Filter]\nADecFilterName=No Such Decoder\nADecFileName=nosuch.ax\n", 3, true, GUID{}, 1127},
      // A class override: the AVC decoder's class from the MPEG-4 row's
      // settings is still given its mode.
      {"[Filter]\nVDecCLSID={9872c352-F1E2-414D-8090-FE32302F4309}\nVDecFileName=tlxavcdec.ax\n", 3, true,
       CLSID_AvcDecFilter, 0},
      // A text that is no class counts as empty.
      {"[Filter]\nVDecCLSID=9872C352\n", 3, true, CLSID_Mpeg4VideoDecoder, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.ini << " mask " << c.baseMask << " avc " << c.avcAllowed);
    ini_.Rewrite(c.ini);
    stream_->vSetBaseCodecType(static_cast<eCodec>(c.baseMask));
    stream_->SetAvcAllowed(c.avcAllowed);
    const bool built = stream_->bInit(1);
    EXPECT_EQ(built, c.line == 0);
    if (built) {
      EXPECT_EQ(GraphConnections(stream_->Graph().Get()), LiveLinks(c.decoder));
      if (c.decoder == CLSID_AvcDecFilter) {
        EXPECT_EQ(stream_->Control(CLSID_AvcDecFilter)->Calls(), std::vector<std::string>{"SetMode 0"});
      }
    } else {
      ExpectRecord(c.line, 24);
    }
    EXPECT_TRUE(stream_->bCleanup());
  }
}

TEST_F(LiveGraphTest, APostFilterNamedInTheSettingsGoesBeforeTheRenderer) {
  ini_.Rewrite("[Filter]\nPostFilter=TLX Post Filter\n");
  ASSERT_TRUE(stream_->bInit(1));
  EXPECT_EQ(GraphConnections(stream_->Graph().Get()), LiveLinks(CLSID_Mpeg4VideoDecoder, &CLSID_TlxPostFilter));
  EXPECT_TRUE(stream_->bCleanup());

  ini_.Rewrite("[Filter]\nPostFilter=No Such Filter\n");
  EXPECT_FALSE(stream_->bInit(1));
  ExpectRecord(1115, 24);
}

TEST_F(LiveGraphTest, StepFailures) {
  // The old renderer first, refusing: the next kind after it is none.
  ASSERT_EQ(dshow::RegisterFilterModule(FAKE_VIDEO_RENDERER_MODULE), S_OK);
  ini_.Rewrite("[Filter]\nVMRType=0x12\n");
  EXPECT_FALSE(stream_->bInit(1));
  ExpectRecord(1356, 24);
  auto graph = stream_->Graph();
  ASSERT_EQ(GraphFiltersOf(graph.Get(), CLSID_VideoRenderer).size(), 1u);
  EXPECT_FALSE(IsConnected(GraphFiltersOf(graph.Get(), CLSID_VideoRenderer)[0].Get()));
  EXPECT_TRUE(GraphFiltersOf(graph.Get(), CLSID_VideoMixingRenderer9).empty());
  graph.Reset();
  EXPECT_TRUE(stream_->bCleanup());
  // Without a preference every kind is tried, each left unconnected.
  ini_.Rewrite("[Filter]\nVMRType=0\n");
  EXPECT_FALSE(stream_->bInit(1));
  ExpectRecord(1356, 24);
  EXPECT_EQ(GraphFiltersOf(stream_->Graph().Get(), CLSID_VideoMixingRenderer).size(), 1u);
  EXPECT_TRUE(stream_->bCleanup());
  EXPECT_EQ(dshow::UnregisterFilterModule(FAKE_VIDEO_RENDERER_MODULE), S_OK);

  // No sound device.
  dsound::SetDeviceCounter([] { return 0u; });
  EXPECT_FALSE(stream_->bInit(1));
  ExpectRecord(1170, 25);
  EXPECT_TRUE(stream_->bCleanup());
  dsound::SetDeviceCounter([] { return 1u; });

  // Colour system 0 gives an empty quality string, which the source refuses.
  stream_->SetColourSystem(0);
  stream_->onAddFilter = [this] {
    if (auto source = stream_->Control(CLSID_TlxStreamingClient)) source->SetResult("SetQuality", E_INVALIDARG);
  };
  EXPECT_FALSE(stream_->bInit(1));
  stream_->onAddFilter = nullptr;
  ExpectRecord(1224, 24);
  EXPECT_TRUE(Contains(stream_->Control(CLSID_TlxStreamingClient)->Calls(), "SetQuality "));
  EXPECT_TRUE(stream_->bCleanup());
}

TEST_F(LiveGraphTest, AFailedInitializeReleasesEveryFilterAndModule) {
  dsound::SetDeviceCounter([] { return 0u; });
  EXPECT_FALSE(Initialize());
  ExpectRecord(1170, 25);
  EXPECT_FALSE(stream_->Graph());
  dshow::FreeUnusedFilterModules();
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) EXPECT_EQ(line.find(modules_.path().string()), std::string::npos) << line;
}

TEST_F(LiveGraphTest, TheDumpBranchWritesWhatTheDecryptorsPassOn) {
  tlx::test::TempFolder work;
  const auto directory = std::filesystem::current_path();
  std::filesystem::current_path(work.path());
  ini_.Rewrite("[Filter]\nDumpStream=1\n");
  const bool built = stream_->bInit(1);
  std::vector<FakeSample> audio = {{{1, 2, 3}, 0, 100000}, {{4, 5}, 100000, 200000}};
  std::vector<FakeSample> video = {{{9, 8, 7, 6}, 0, 400000}, {{5}, 400000, 800000}};
  if (built) {
    auto source = stream_->Control(CLSID_TlxStreamingClient);
    for (const FakeSample& sample : audio) source->ScriptSample(1, sample);
    for (const FakeSample& sample : video) source->ScriptSample(2, sample);
    source->ScriptEndOfStream(1);
    source->ScriptEndOfStream(2);
    auto graph = stream_->Graph();
    auto control = Query<IMediaControl>(graph.Get(), IID_IMediaControl);
    auto events = Query<IMediaEvent>(graph.Get(), IID_IMediaEvent);
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    long code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (code != EC_COMPLETE && events->GetEvent(&code, &p1, &p2, 5000) == S_OK) events->FreeEventParams(code, p1, p2);
    EXPECT_EQ(code, EC_COMPLETE);
    control->Stop();
  }
  auto bytesOf = [](const std::vector<FakeSample>& samples) {
    std::vector<BYTE> bytes;
    for (const FakeSample& s : samples) bytes.insert(bytes.end(), s.bytes.begin(), s.bytes.end());
    return bytes;
  };
  auto received = [&](const CLSID& clsid) { return bytesOf(stream_->Control(clsid)->Received()); };
  if (built) {
    EXPECT_EQ(received(CLSID_AacDecFilter), bytesOf(audio));
    EXPECT_EQ(received(CLSID_Mpeg4VideoDecoder), bytesOf(video));
  }
  EXPECT_TRUE(stream_->bCleanup());
  auto fileBytes = [&](const char* name) {
    std::ifstream in(work.path() / name, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
  };
  std::filesystem::current_path(directory);
  ASSERT_TRUE(built);
  EXPECT_EQ(fileBytes("rawaudio.aac"), bytesOf(audio));
  EXPECT_EQ(fileBytes("rawvideo.m4v"), bytesOf(video));
}

// The video's placement inside the owner's area, as the renderer receives it.
TEST_F(LiveGraphTest, Placement) {
  ASSERT_TRUE(Initialize());
  auto renderer = stream_->Control(CLSID_VideoMixingRenderer9);
  ASSERT_TRUE(renderer);
  struct Case {
    int colourSystem;
    bool tuner;
    int scalingMode;
    const char* ini;
    long videoWidth, videoHeight;
    int width, height;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {1, false, 0, "", 320, 240, 640, 480,
       {"SetWindowPosition 10 20 640 480", "SetDestinationPosition 0 0 640 480", "SetSourcePosition 4 4 292 226"}},
      {2, false, 1, "", 320, 240, 640, 480,
       {"SetWindowPosition 1 13 672 496", "SetDestinationPosition 0 0 672 496",
        "SetSourcePosition 12 8 296 224"}},
      {3, false, 2, "", 320, 240, 640, 480, {"SetWindowPosition 1 13 672 496"}},
      {4, false, 0, "", 352, 288, 640, 480,
       {"SetWindowPosition 3 13 696 512", "SetDestinationPosition 0 0 696 512", "SetSourcePosition 4 4 321 271"}},
      {4, true, 2, "", 320, 240, 640, 480, {"SetWindowPosition 10 20 640 480"}},
      // The INI's offsets move the window; the picture fills it from its corner.
      {1, false, 0, "[Movie]\npos_x=5\npos_y=-3\n", 320, 240, 640, 480,
       {"SetWindowPosition 15 17 640 480", "SetDestinationPosition 0 0 640 480", "SetSourcePosition 4 4 292 226"}},
      // Automatic adjustment: wider than 4:3 moves x back, taller moves y.
      {1, false, 2, "[Movie]\nauto_adj=1\n", 320, 240, 640, 360, {"SetWindowPosition -70 20 640 360"}},
      {1, false, 2, "[Movie]\nauto_adj=1\n", 320, 240, 400, 480, {"SetWindowPosition 10 -70 400 480"}},
      {1, false, 2,
       "[Movie]\npos_x=5\npos_y=-3\nsize_x_num=400\nsize_x_den=800\nsize_y_num=300\nsize_y_den=600\n", 320, 240,
       640, 480, {"SetWindowPosition 15 17 320 240"}},
      // The source scaled instead: the window takes the area as it is.
      {2, false, 0, "[Movie]\nscaling_source=1\n", 352, 288, 640, 480,
       {"SetWindowPosition 10 20 640 480", "SetSourcePosition 19 27 335 278"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.colourSystem << " " << c.tuner << " " << c.scalingMode << " " << c.ini);
    ini_.Rewrite(c.ini);
    stream_->SetColourSystem(c.colourSystem);
    stream_->SetScalingMode(c.scalingMode);
    SetTVTunerEnabled(c.tuner);
    renderer->SetValues("GetVideoSize", {c.videoWidth, c.videoHeight});
    renderer->ClearCalls();
    EXPECT_TRUE(stream_->bSetMoviePosition(10, 20, c.width, c.height));
    std::vector<std::string> placed;
    for (const std::string& call : renderer->Calls()) {
      if (call.rfind("Set", 0) == 0 && call.find("Position ") != std::string::npos) placed.push_back(call);
    }
    EXPECT_EQ(placed, c.calls);
  }
  SetTVTunerEnabled(false);
  EXPECT_TRUE(stream_->bCleanup());
}

}  // namespace
}  // namespace tlx::engine::test

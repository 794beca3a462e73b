#include "source_graph.h"

#include <dirent.h>


#include "auth/identity_fixture.h"
#include "auth/tlx_authentication.h"

namespace tlx::dshow::test {

const StreamMedia kMpeg4Media{"video.m4v", "mpeg4", "audio_24000.aac", 24000,
                              "vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=48000.ambr=48000."
                              "asr=24000.afl=1810.",
                              0};
const StreamMedia kAvcMedia{"video.h264", "avc", "audio_44100.aac", 44100,
                            "vbr=3000000.vmbr=3000000.vfr=30.vw=640.vh=240.vtype=3.vfl=273.abr=128000.ambr=128000."
                            "asr=44100.afl=1810.",
                            2};

std::string StreamScenario(const StreamMedia& media, const std::string& stream, const std::string& http) {
  const std::string identity =
      "{\"model\": \"QZA-K20US\", \"ether_mac\": \"001122334455\", \"wlan_mac\": \"66:77:88:99:AA:BB\", "
      "\"ident\": \"ABCD1234\", \"shared_key\": \"" + tlx::test::TestSharedKeyHex() + "\"}";
  return "{\"services\": {\"http\": {\"identities\": [" + identity + "], \"stream\": {\"media\": " +
         "{\"video\": \"" + Fixture(media.video) + "\", \"video_codec\": \"" + media.codec + "\", \"audio\": \"" +
         Fixture(media.audio) + "\"}, \"auth\": true, \"key\": \"digest\", \"pacing\": \"realtime\"" + stream +
         "}" + http + "}}}";
}

namespace {
int CountEntries(const char* folder) {
  int count = 0;
  if (DIR* dir = opendir(folder)) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}
}  // namespace

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

int OpenDescriptorCount() { return CountEntries("/proc/self/fd"); }
int ThreadCount() { return CountEntries("/proc/self/task"); }

SourceGraph::SourceGraph(bool audio, bool video, int videoTypeIndex) {
  const TLX_SYSINFO_RECORD identity = tlx::test::TestIdentity();
  EXPECT_TRUE(TlxRavixSysInfoRegister(&identity));
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid()),
            S_OK);
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  mediaControl = graph.As<IMediaControl>(IID_IMediaControl);
  events = graph.As<IMediaEventEx>(IID_IMediaEventEx);
  HRESULT hr = S_OK;
  source = static_cast<CStreamingClientFilter*>(CStreamingClientFilter::CreateInstance(nullptr, &hr));
  EXPECT_EQ(hr, S_OK);
  sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
  control = sourceFilter.As<ITlxStreamSourceControl>(IID_ITlxStreamSourceControl);
  EXPECT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
  const bool wanted[2] = {audio, video};
  for (int i = 0; i < 2; ++i) {
    if (!wanted[i]) continue;
    decryptors[i] = Adopt<IBaseFilter>(CAESDecryptorFilter::CreateInstance(nullptr, &hr), IID_IBaseFilter);
    renderers[i] = new RecordingRenderer(nullptr, &hr);
    rendererFilters[i] = Adopt<IBaseFilter>(renderers[i], IID_IBaseFilter);
    EXPECT_EQ(graph->AddFilter(decryptors[i].Get(), i == 0 ? u"decryptor A" : u"decryptor B"), S_OK);
    EXPECT_EQ(graph->AddFilter(rendererFilters[i].Get(), i == 0 ? u"renderer A" : u"renderer B"), S_OK);
    CMediaType mt;
    TlxStreamPin* pin = i == 0 ? static_cast<TlxStreamPin*>(source->AudioPin()) : source->VideoPin();
    pin->GetMediaType(i == 0 ? 0 : videoTypeIndex, &mt);
    EXPECT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), i == 0 ? u"1" : u"2").Get(),
                                   PinOf(decryptors[i].Get(), u"Input").Get(), &mt),
              S_OK);
    EXPECT_EQ(graph->ConnectDirect(PinOf(decryptors[i].Get(), u"Output").Get(),
                                   PinOf(rendererFilters[i].Get(), u"In").Get(), nullptr),
              S_OK);
  }
  engine_ = std::thread([this] { EngineLoop(); });
}

SourceGraph::~SourceGraph() {
  if (mediaControl) mediaControl->Stop();
  stop_ = true;
  engine_.join();
}

HRESULT SourceGraph::Run() {
  TlxRavixAuthInit();
  return mediaControl->Run();
}

HRESULT SourceGraph::Stop() { return mediaControl->Stop(); }

void SourceGraph::Use(const StreamMedia& media, int port) {
  SetQuality(media);
  control->SetServer("127.0.0.1", port);
}

void SourceGraph::EngineLoop() {
  while (!stop_) {
    long code;
    LONG_PTR p1, p2;
    if (events->GetEvent(&code, &p1, &p2, 20) != S_OK) continue;
    events->FreeEventParams(code, p1, p2);
    {
      std::lock_guard<std::mutex> lock(lock_);
      events_.push_back({code, p1, p2, SteadyClock::now()});
    }
    if (code == EC_TLX_AUTH_END) {
      char key[64] = {};
      if (TlxRavixGetAKS(key) != S_OK) continue;
      for (auto& decryptor : decryptors) {
        if (!decryptor) continue;
        decryptor.As<IAESDecryptorKey>(IID_IAESDecryptorKey)->SetKey(key);
      }
      ++keysSet;
    }
  }
}

std::vector<GraphEvent> SourceGraph::Events() {
  std::lock_guard<std::mutex> lock(lock_);
  return events_;
}

std::vector<long> SourceGraph::EventCodes(bool withStatistics) {
  std::vector<long> codes;
  for (const GraphEvent& e : Events()) {
    if (e.code == EC_TLX_STATISTICS && !withStatistics) continue;
    if (e.code >= EC_TLX_CONNECT_BEGIN && e.code <= EC_TLX_LOOP_ENDED) codes.push_back(e.code);
  }
  return codes;
}

bool SourceGraph::WaitForEvent(long code, int milliseconds) {
  const auto until = SteadyClock::now() + std::chrono::milliseconds(milliseconds);
  while (SteadyClock::now() < until) {
    for (const GraphEvent& e : Events()) {
      if (e.code == code) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

bool SourceGraph::CatchUp(int milliseconds) {
  // Above the stream source's own codes, a new one each time.
  const long marker = EC_TLX_LOOP_ENDED + 0x100 + ++markers_;
  if (FAILED(graph.As<IMediaEventSink>(IID_IMediaEventSink)->Notify(marker, 0, 0))) return false;
  return WaitForEvent(marker, milliseconds);
}

bool SourceGraph::WaitForEnd(RecordingRenderer* renderer, int milliseconds) {
  const auto until = SteadyClock::now() + std::chrono::milliseconds(milliseconds);
  while (SteadyClock::now() < until) {
    for (const std::string& e : renderer->Events()) {
      if (e == "eos") return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

}  // namespace tlx::dshow::test

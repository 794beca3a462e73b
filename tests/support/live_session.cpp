#include "support/live_session.h"

#include <QApplication>
#include <QImage>
#include <QMetaObject>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "auth/identity_fixture.h"
#include "com/com_ptr.h"
#include "dsound/backend.h"
#include "engine/tlx_pc_stm_ravix_if.h"
#include "link/tlx_bcf.h"
#include "win32/registry.h"

namespace tlx::test {

using com::ComPtr;
using dshow::video::IID_IVideoRendererProbe;
using dshow::video::IVideoRendererProbe;
using dshow::video::PresentedFrame;

// The live stream object, made as pCreate makes it, with its graph open to
// the session so the video renderer can be watched.
class LiveSession::Stream final : public CTlxPcStmRavixIf {
 public:
  static std::unique_ptr<Stream> Create() {
    std::unique_ptr<Stream> stream(new Stream());
    if (!stream->bInitializeTlxBcf(nullptr)) return nullptr;
    return stream;
  }

  // The filter of the current graph that answers the renderer probe.
  ComPtr<IVideoRendererProbe> VideoRenderer() {
    ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
    ComPtr<IEnumFilters> filters;
    if (!graph || FAILED(graph->EnumFilters(filters.Receive()))) return {};
    ComPtr<IBaseFilter> filter;
    ULONG fetched = 0;
    while (filters->Next(1, filter.Receive(), &fetched) == S_OK) {
      ComPtr<IVideoRendererProbe> probe = filter.As<IVideoRendererProbe>(IID_IVideoRendererProbe);
      if (probe) return probe;
    }
    return {};
  }

 private:
  Stream() = default;
};

namespace {

// Hands every block an output plays to the observer, with the time its first
// sample plays: the output pulls each block when it begins to play it.
class TappedStream final : public dsound::Stream {
 public:
  TappedStream(dsound::Stream* inner, const WAVEFORMATEX& format,
               std::shared_ptr<LiveSession::SoundObserver> observer)
      : inner_(inner), format_(format), observer_(std::move(observer)) {}

  void Pull(BYTE* out, DWORD bytes) override {
    const SteadyClock::time_point at = SteadyClock::now();
    inner_->Pull(out, bytes);
    if (format_.wBitsPerSample != 16 || format_.nChannels == 0) return;
    const size_t frames = bytes / (2u * format_.nChannels);
    (*observer_)(at, reinterpret_cast<const int16_t*>(out), frames, format_.nChannels,
                 static_cast<int>(format_.nSamplesPerSec));
  }

 private:
  dsound::Stream* const inner_;
  const WAVEFORMATEX format_;
  const std::shared_ptr<LiveSession::SoundObserver> observer_;
};

// The inner output, closed before the tap it pulls through goes.
class TappedOutput final : public dsound::Output {
 public:
  explicit TappedOutput(std::unique_ptr<TappedStream> tap) : tap_(std::move(tap)) {}
  ~TappedOutput() override { Close(); }
  void Close() override {
    if (inner_) inner_->Close();
  }
  void Play() override { inner_->Play(); }
  void Pause() override { inner_->Pause(); }
  bool Paced() const override { return inner_->Paced(); }
  bool Lost() const override { return inner_->Lost(); }
  void Restore() override { inner_->Restore(); }

  std::unique_ptr<TappedStream> tap_;
  std::unique_ptr<dsound::Output> inner_;
};

class TappedBackend final : public dsound::Backend {
 public:
  TappedBackend(std::shared_ptr<dsound::Backend> inner, std::shared_ptr<LiveSession::SoundObserver> observer)
      : inner_(std::move(inner)), observer_(std::move(observer)) {}

  HRESULT Open(const WAVEFORMATEX& format, dsound::Stream* stream,
               std::unique_ptr<dsound::Output>* output) override {
    auto tapped = std::make_unique<TappedOutput>(std::make_unique<TappedStream>(stream, format, observer_));
    const HRESULT hr = inner_->Open(format, tapped->tap_.get(), &tapped->inner_);
    if (FAILED(hr)) return hr;
    *output = std::move(tapped);
    return hr;
  }

 private:
  const std::shared_ptr<dsound::Backend> inner_;
  const std::shared_ptr<LiveSession::SoundObserver> observer_;
};

std::string ServerText(const std::string& codec) {
  // Codec bits: 0 MPEG-4, 2 AVC.
  return std::string("Ravix/1.0; TLXStreamingServer, model=HX-R10, support=1/2/3, id=peer, codec=") +
         (codec == "avc" ? "0/2" : "0/1");
}

std::string Scenario(const LiveClip& clip, const std::string& streamOptions) {
  const std::string identity = "{\"model\": \"QZA-K20US\", \"ether_mac\": \"001122334455\", "
                               "\"wlan_mac\": \"66:77:88:99:AA:BB\", \"ident\": \"ABCD1234\", \"shared_key\": \"" +
                               TestSharedKeyHex() + "\"}";
  return "{\"services\": {\"vexlink\": {}, \"ravix\": {}, \"tv\": {}, \"http\": {\"identities\": [" + identity +
         "], \"server\": \"" + ServerText(clip.codec) + "\", \"stream\": {\"media\": {\"video\": \"" + clip.video +
         "\", \"video_codec\": \"" + clip.codec + "\", \"audio\": \"" + clip.audio +
         "\"}, \"auth\": true, \"key\": \"digest\", \"pacing\": \"realtime\", \"end\": \"hold\", \"start_ms\": " +
         std::to_string(clip.startMs) + streamOptions + "}}}}";
}

// The player's identity values as registration leaves them in the registry
// (the test identity the peer knows), read by the link library when it
// starts.
void WriteIdentityValues() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Marovi Corporation\\TLX\\Identity", 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::pair<const char*, std::string> values[] = {
      {"EtherMac", "001122334455"}, {"WlanMac", "66778899AABB"}, {"PlayerIdent", "ABCD1234"},
      {"SharedKey", TestSharedKeyHex()}};
  for (const auto& [name, text] : values) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
  }
  RegCloseKey(key);
}

// The panel's part before a session: a headless display and sound output
// unless the environment names others, and the player's registration in
// the process's registry folder. Then the peer's scenario.
std::string PrepareAndDescribe(const LiveClip& clip, const std::string& streamOptions) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  ProcessRegistryFolder();
  WriteIdentityValues();
  return Scenario(clip, streamOptions);
}

}  // namespace

LiveSession::LiveSession(const LiveClip& clip, const std::string& streamOptions)
    : clip_(clip), peer_(PrepareAndDescribe(clip, streamOptions)) {}

LiveSession::~LiveSession() {
  Destroy();
  dsound::SetBackendFactory(nullptr);
}

void LiveSession::ObservePresents(PresentObserver observer) { presentObserver_ = std::move(observer); }

void LiveSession::ObserveSound(SoundObserver observer) {
  if (!observer) {
    soundObserver_.reset();
    dsound::SetBackendFactory(nullptr);
    return;
  }
  soundObserver_ = std::make_shared<SoundObserver>(std::move(observer));
  dsound::SetBackendFactory([observer = soundObserver_]() -> std::shared_ptr<dsound::Backend> {
    std::shared_ptr<dsound::Backend> sdl = dsound::CreateSdlBackend();
    if (!sdl) return nullptr;
    return std::make_shared<TappedBackend>(std::move(sdl), observer);
  });
}

bool LiveSession::Create() {
  stream_ = Stream::Create();
  if (!stream_) return Failed("the link library did not start");
  // The internet link (connect kind 49) to the peer: the port as decimal
  // text at byte 4, the host at byte 16.
  uint8_t link[68] = {};
  const uint16_t useLink = 49;
  std::memcpy(link, &useLink, sizeof useLink);
  const std::string port = std::to_string(peer_.port());
  std::memcpy(link + 4, port.c_str(), port.size());
  std::memcpy(link + 16, "127.0.0.1", 9);
  if (tlxAnetMgrAPI_SetConfig(2, 6, link) != 1) return Failed("the internet link was not configured");
  stream_->vSetServerAddress(u"127.0.0.1", peer_.port());
  if (!stream_->bInitialize(&LiveSession::OnNotify, &LiveSession::OnTvStatus, &LiveSession::OnRestart, nullptr,
                            this)) {
    return Failed("bInitialize failed");
  }
  return true;
}

bool LiveSession::Failed(const std::string& what) {
  failure_ = what;
  if (stream_) {
    CTlxPcCmnErrInfo info;
    stream_->vGetLastErrorInfo(info);
    failure_ += " (line " + std::to_string(info.nGetLine()) + ", id " + std::to_string(info.nGetErrId()) + ")";
  }
  return false;
}

bool LiveSession::Run() {
  const bool avc = clip_.codec == "avc";
  int autoAvailable = 0;
  int avcAvailable = 0;
  runStart_ = SteadyClock::now();
  // MPEG-4: quality step 5 of the preset table, whose sound is at 24000 Hz.
  // AVC: custom parameters (step 7, kept where the base station offers AVC)
  // asking for the clip's sample rate, as the base station then encodes it.
  const int code = avc ? 7 : 5;
  const int audioRate = avc ? clip_.audioRate : 0;
  const bool ran =
      stream_->bRunMovie(1, code, 0, autoAvailable, avcAvailable, 0, audioRate, 0, 0, 0, avc ? 1 : 0);
  avcAvailable_ = avcAvailable != 0;
  if (!ran) return Failed("bRunMovie failed");
  WatchRenderer();
  return true;
}

void LiveSession::WatchRenderer() {
  if (!presentObserver_) return;
  ComPtr<IVideoRendererProbe> probe = stream_->VideoRenderer();
  if (!probe) return;
  IVideoRendererProbe* raw = probe.Get();
  probe->SetPresentHook([this, raw](const PresentedFrame& frame) {
    const SteadyClock::time_point at = SteadyClock::now();
    presentObserver_(frame, at, raw->CurrentFrame());
  });
}

bool LiveSession::Stop() { return stream_->bStopMovie() != 0; }

bool LiveSession::Cleanup() {
  if (ComPtr<IVideoRendererProbe> probe = stream_->VideoRenderer()) probe->SetPresentHook(nullptr);
  return stream_->bCleanup() != 0;
}

void LiveSession::Destroy() { stream_.reset(); }

CTlxPcStmModeIf* LiveSession::stream() { return stream_.get(); }

long LiveSession::Presented() {
  if (!stream_) return 0;
  ComPtr<IVideoRendererProbe> probe = stream_->VideoRenderer();
  return probe ? probe->PresentedCount() : 0;
}

std::vector<NotifyCall> LiveSession::Notifications() {
  std::lock_guard<std::mutex> hold(lock_);
  return notifications_;
}

std::vector<int> LiveSession::Restarts() {
  std::lock_guard<std::mutex> hold(lock_);
  return restarts_;
}

bool LiveSession::WaitForNotify(int event, size_t count, std::chrono::milliseconds timeout) {
  const SteadyClock::time_point deadline = SteadyClock::now() + timeout;
  for (;;) {
    size_t seen = 0;
    for (const NotifyCall& call : Notifications()) seen += call.event == event ? 1 : 0;
    if (seen >= count) return true;
    if (SteadyClock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void LiveSession::OnNotify(int event, void* user, int ok, int errorId) {
  auto* self = static_cast<LiveSession*>(user);
  std::lock_guard<std::mutex> hold(self->lock_);
  self->notifications_.push_back({event, ok, errorId, SteadyClock::now()});
}

void LiveSession::OnTvStatus(int, int, void*) {}

void LiveSession::OnRestart(int reason, void* user) {
  auto* self = static_cast<LiveSession*>(user);
  std::lock_guard<std::mutex> hold(self->lock_);
  self->restarts_.push_back(reason);
}

void RunWithEventLoop(const std::function<void()>& controller) {
  static int argc = 1;
  static char name[] = "live_session";
  static char* argv[] = {name, nullptr};
  std::unique_ptr<QApplication> application;
  if (QCoreApplication::instance() == nullptr) application = std::make_unique<QApplication>(argc, argv);
  std::thread thread([&controller] {
    controller();
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  QCoreApplication::exec();
  thread.join();
}

}  // namespace tlx::test

#include "streaming_session.h"

#include <cstring>
#include <mutex>
#include <new>

#include "filters/streaming_client/tlx_stream_source_control.h"

namespace {
constexpr int kVerbosity = 1;
constexpr const char* kApplicationName = "TLXStreamingClient";
}  // namespace

std::unique_ptr<StreamingSession> StreamingSession::Create(LockedTaskScheduler::EventCallback events,
                                                           std::function<void()> firstFrame, HRESULT* hr) {
  std::unique_ptr<StreamingSession> session(new (std::nothrow) StreamingSession);
  if (session) {
    session->fEvents = std::move(events);
    session->fFirstFrame = std::move(firstFrame);
    session->fScheduler.reset(new (std::nothrow) LockedTaskScheduler);
  }
  if (session && session->fScheduler) {
    session->fScheduler->setEventCallback(session->fEvents);
    session->fEnv.reset(BasicUsageEnvironment::createNew(*session->fScheduler));
  }
  if (session && session->fEnv) {
    session->fClient.reset(TunnelingRTSPClient::createNew(*session->fEnv, kVerbosity, kApplicationName));
  }
  if (!session || !session->fClient) {
    *hr = TLX_E_SESSION_CREATE;
    return nullptr;
  }
  auto raise = session->fEvents;
  session->fClient->setEventCallback([raise](long code) {
    if (raise) raise(code, 0, 0);
  });
  *hr = S_OK;
  return session;
}

StreamingSession::~StreamingSession() {
  if (fState != kIdle) Stop();
}

HRESULT StreamingSession::Connect(const char* host, int port, const char* proxyHost, int proxyPort) {
  if (fState == kPlaying) return TLX_E_SESSION_STATE;
  if (host == nullptr) return TLX_E_NO_SERVER;
  fClient->clearProxy();
  if (proxyHost != nullptr && *proxyHost != '\0') {
    fClient->setProxy(("rtsp://" + std::string(proxyHost) + ":" + std::to_string(proxyPort) + "/connect").c_str());
  }
  const std::string url = "rtsp://" + std::string(host) + ":" + std::to_string(port) + "/connect";
  const HRESULT hr = fClient->OpenTunnelConnection(url.c_str());
  if (hr != S_OK) {
    fClient->Close();
    return hr;
  }
  fHost = host;
  fPort = port;
  fState = kConnected;
  return S_OK;
}

HRESULT StreamingSession::SetUpSubsessions(bool needAudio, bool needVideo) {
  // One subsession feeds each pin: the first audio and the first video of the
  // description. Further ones and other media are not set up, so no sink is
  // ever given a second subsession or taken from the one that feeds it.
  MediaSubsession* audio = nullptr;
  MediaSubsession* video = nullptr;
  for (const auto& subsession : fMedia->subsessions()) {
    if (audio == nullptr && std::strcmp(subsession->mediumName(), "audio") == 0) audio = subsession.get();
    if (video == nullptr && std::strcmp(subsession->mediumName(), "video") == 0) video = subsession.get();
  }
  if ((audio == nullptr && video == nullptr) || (needAudio && audio == nullptr) || (needVideo && video == nullptr)) {
    return TLX_E_DESCRIBE_SETUP;
  }
  unsigned short clientPort = kFirstClientPort;
  for (const auto& subsession : fMedia->subsessions()) {
    subsession->setClientPortNum(clientPort);
    clientPort += 2;
    if (subsession.get() != audio && subsession.get() != video) continue;
    if (!subsession->initiate(-1)) return TLX_E_START_FAILED;
    if (!fClient->setupMediaSubsession(*subsession, false, true) || subsession->readSource() == nullptr) {
      return TLX_E_DESCRIBE_SETUP;
    }
    const bool isAudio = subsession.get() == audio;
    std::shared_ptr<TlxFilterSink>& sink = isAudio ? fAudioSink : fVideoSink;
    sink = std::make_shared<TlxFilterSink>(*fEnv, isAudio ? kAudioSinkLayout : kVideoSinkLayout, fFirstFrame);
    subsession->sink = sink.get();
    if (subsession->rtcpInstance() != nullptr) subsession->rtcpInstance()->setByeHandler(TlxFilterSink::OnBye, sink.get());
    if (!sink->startPlaying(*subsession->readSource(), nullptr, nullptr)) return TLX_E_START_FAILED;
  }
  fQos = std::make_unique<TlxStreamingClientQOS>(*fMedia, *fScheduler);
  return S_OK;
}

HRESULT StreamingSession::Play(const char* streamPath, bool needAudio, bool needVideo) {
  if (streamPath == nullptr) return TLX_E_NO_SERVER;
  if (fState != kConnected) return TLX_E_SESSION_STATE;
  const std::string url = "rtsp://" + fHost + ":" + std::to_string(fPort) + "/" + streamPath;
  std::optional<std::string> sdp = fClient->describeURL(url.c_str());
  if (!sdp) return TLX_E_DESCRIBE_SETUP;
  fSdp = *sdp;
  fMedia.reset(MediaSession::createNew(*fEnv, fSdp.c_str()));
  if (!fMedia || fMedia->subsessions().empty()) {
    TearDown();
    return TLX_E_DESCRIBE_SETUP;
  }
  HRESULT hr = SetUpSubsessions(needAudio, needVideo);
  if (hr == S_OK && !fClient->playMediaSession(*fMedia, 0.0, -1.0)) hr = TLX_E_START_FAILED;
  if (hr == S_OK && !fScheduler->StartThread()) hr = TLX_E_START_FAILED;
  if (hr != S_OK) {
    // A session the server set up is ended there too.
    if (!fClient->sessionId().empty()) fClient->teardownMediaSession(*fMedia);
    TearDown();
    return hr;
  }
  fState = kPlaying;
  return S_OK;
}

void StreamingSession::StartStatistics(unsigned periodMs, TlxStreamingClientQOS::Callback callback) {
  if (!fQos) return;
  std::lock_guard<std::recursive_mutex> lock(fScheduler->lock());
  fQos->Start(periodMs, std::move(callback));
}

void StreamingSession::TearDown() {
  fScheduler->StopThread();
  fQos.reset();
  // The sinks stop asking their sources first. The subsessions then go with
  // their sources and RTCP instances, whose BYE and closure handlers point at
  // the sinks, and with their channels; the sinks last.
  for (const auto& sink : {fAudioSink, fVideoSink}) {
    if (sink) {
      sink->Close();
      sink->stopPlaying();
    }
  }
  if (fMedia) {
    for (const auto& subsession : fMedia->subsessions()) {
      fClient->demux().unbindReceiver(subsession->rtpSource());
      fClient->demux().unbindReceiver(subsession->rtcpInstance());
      subsession->sink = nullptr;
      subsession->deInitiate();
    }
  }
  fMedia.reset();
  fAudioSink.reset();
  fVideoSink.reset();
}

HRESULT StreamingSession::Stop() {
  if (fState == kIdle) return TLX_E_SESSION_STATE;
  if (fState == kPlaying) {
    {
      std::lock_guard<std::recursive_mutex> lock(fScheduler->lock());
      fClient->teardownMediaSession(*fMedia);
      if (fQos) fQos->Stop();
    }
    TearDown();
    fState = kConnected;
  }
  fMedia.reset();
  fClient->Close();
  fState = kIdle;
  return S_OK;
}

std::vector<unsigned short> StreamingSession::clientPorts() const {
  std::vector<unsigned short> ports;
  if (!fMedia) return ports;
  for (const auto& subsession : fMedia->subsessions()) ports.push_back(subsession->clientPortNum());
  return ports;
}

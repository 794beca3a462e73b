#include "streaming_client_filter.h"

#include <cstring>
#include <new>
#include <string>

#include "com/class_registry.h"
#include "dshow/property_page.h"
#include "media_formats.h"
#include "win32/synch.h"

namespace {

constexpr AMOVIESETUP_MEDIATYPE kAudioTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_NULL}};
constexpr AMOVIESETUP_MEDIATYPE kVideoTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
constexpr AMOVIESETUP_PIN kPins[] = {
    {u"Audio output", FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 1, kAudioTypes},
    {u"Video output", FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 1, kVideoTypes},
};

constexpr const char* kFilePrefix = "FILE";
constexpr const char* kDspPrefix = "DSP/";
constexpr size_t kPrefixLength = 4;
// The canonical quality text in a stream path is at most this long.
constexpr size_t kMaxCanonicalQuality = 250;
constexpr int kAuthenticationOffBit = 1;

// Length of a text of at most kTlxParamTextBytes - 1 characters, or 0 when
// it is empty or longer.
size_t BoundedLength(const char* text) {
  const size_t length = strnlen(text, kTlxParamTextBytes);
  return length >= kTlxParamTextBytes ? 0 : length;
}

bool HasTerminator(const char* field) { return std::memchr(field, '\0', kTlxParamTextBytes) != nullptr; }

void DrainSemaphore(HANDLE semaphore) {
  while (WaitForSingleObject(semaphore, 0) == WAIT_OBJECT_0) {
  }
}

}  // namespace

const AMOVIESETUP_FILTER g_StreamingClientSetup{&CLSID_TlxStreamingClient, u"TLX Streaming Client", MERIT_DO_NOT_USE,
                                                2, kPins};

CStreamingClientFilter::CStreamingClientFilter(IUnknown* outer, HRESULT* hr)
    : CSource("TLX Streaming Client", outer, CLSID_TlxStreamingClient, hr),
      m_firstFrame(CreateSemaphore(nullptr, 0, 1, nullptr)),
      m_videoStart(CreateSemaphore(nullptr, 0, 2, nullptr)) {
  HRESULT made = S_OK;
  m_session = StreamingSession::Create(
      [this](long code, LONG_PTR p1, LONG_PTR p2) { RaiseEvent(code, p1, p2); }, [this] { OnFirstFrame(); }, &made);
  m_audio = new TlxAudioStream(&made, this);
  m_video = new TlxVideoStream(&made, this);
  if (hr != nullptr && (!m_session || m_firstFrame == nullptr || m_videoStart == nullptr)) {
    *hr = m_session ? E_OUTOFMEMORY : TLX_E_SESSION_CREATE;
  }
}

CStreamingClientFilter::~CStreamingClientFilter() {
  m_session.reset();
  if (m_firstFrame != nullptr) CloseHandle(m_firstFrame);
  if (m_videoStart != nullptr) CloseHandle(m_videoStart);
}

CUnknown* CStreamingClientFilter::CreateInstance(IUnknown* outer, HRESULT* hr) {
  HRESULT made = S_OK;
  auto* filter = new (std::nothrow) CStreamingClientFilter(outer, &made);
  if (filter != nullptr && FAILED(made)) {
    delete filter;
    filter = nullptr;
  }
  if (hr != nullptr) *hr = filter == nullptr ? (FAILED(made) ? made : E_OUTOFMEMORY) : S_OK;
  return filter;
}

HRESULT CStreamingClientFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_ITlxStreamSourceControl) return GetInterface(static_cast<ITlxStreamSourceControl*>(this), object);
  if (iid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  if (iid == IID_IAMFilterMiscFlags) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), object);
  return CSource::NonDelegatingQueryInterface(iid, object);
}

void CStreamingClientFilter::RaiseEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  NotifyEvent(code, param1, param2);
}

void CStreamingClientFilter::OnFirstFrame() { ReleaseSemaphore(m_firstFrame, 1, nullptr); }

// ------------------------------------------------------------- state changes

STDMETHODIMP CStreamingClientFilter::Pause() {
  CAutoLock lock(&m_cStateLock);
  if (m_State != State_Stopped) return CSource::Pause();
  return StartSession();
}

HRESULT CStreamingClientFilter::StartSession() {
  HRESULT hr = Connect();
  if (FAILED(hr)) return hr;
  hr = CSource::Pause();
  if (FAILED(hr)) Disconnect();
  return hr;
}

STDMETHODIMP CStreamingClientFilter::Run(REFERENCE_TIME start) {
  CAutoLock lock(&m_cStateLock);
  const bool wasStopped = m_State == State_Stopped;
  const HRESULT hr = CSource::Run(start);
  if (FAILED(hr) && wasStopped) Disconnect();
  return hr;
}

STDMETHODIMP CStreamingClientFilter::Stop() {
  CAutoLock lock(&m_cStateLock);
  m_abort = false;
  tlxInitAbortion();
  HRESULT hr = S_OK;
  if (m_State != State_Stopped) hr = Disconnect();
  const HRESULT base = CSource::Stop();
  return FAILED(hr) && hr != TLX_E_SESSION_STATE ? hr : base;
}

HRESULT CStreamingClientFilter::Connect() {
  if (!m_session || m_session->state() != StreamingSession::kIdle) return TLX_E_SESSION_STATE;
  if (m_params.serverHost[0] == '\0' || m_params.streamPath[0] == '\0') return TLX_E_NO_SERVER;
  if (m_abort.exchange(false)) {
    // The abort is consumed: the next start connects again.
    tlxInitAbortion();
    return TLX_E_ABORTED;
  }
  DrainSemaphore(m_firstFrame);
  DrainSemaphore(m_videoStart);
  {
    std::lock_guard<std::mutex> lock(m_clockLock);
    m_audioClock = StreamClock();
    m_videoClock = StreamClock();
  }
  RaiseEvent(EC_TLX_CONNECT_BEGIN, 0, 0);
  HRESULT hr = m_session->Connect(m_params.serverHost, m_params.serverPort, m_params.proxyHost, m_params.proxyPort);
  RaiseEvent(EC_TLX_CONNECT_END, 0, 0);
  if (FAILED(hr)) return hr;
  hr = m_session->Play(m_params.streamPath, m_audio->IsConnected(), m_video->IsConnected());
  if (FAILED(hr)) {
    m_session->Stop();
    return hr;
  }
  m_audio->AttachSink(m_session->audioSink());
  m_video->AttachSink(m_session->videoSink());
  m_audio->SetFormat(m_quality);
  m_video->SetFormat(m_quality);
  m_session->StartStatistics(kStatisticsPeriodMs, [this](double audio, double video) {
    RaiseEvent(EC_TLX_STATISTICS, static_cast<LONG_PTR>(audio), static_cast<LONG_PTR>(video));
  });
  return S_OK;
}

HRESULT CStreamingClientFilter::Disconnect() {
  if (!m_session || m_session->state() != StreamingSession::kPlaying) return TLX_E_SESSION_STATE;
  // Closing the queues first wakes a pin waiting for a frame and an event
  // loop waiting for room, so the session's stop can join its loop.
  m_audio->DetachSink();
  m_video->DetachSink();
  RaiseEvent(EC_TLX_STOP_BEGIN, 0, 0);
  m_session->Stop();
  RaiseEvent(EC_TLX_STOP_END, 0, 0);
  return S_OK;
}

void CStreamingClientFilter::FirstFrameWait(bool audio) {
  if (audio) {
    const auto begin = std::chrono::steady_clock::now();
    WaitForSingleObject(m_firstFrame, kFirstFrameWaitMs);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
    m_audio->SetWaitedMs(static_cast<DWORD>(waited.count()));
    m_video->SetWaitedMs(static_cast<DWORD>(waited.count()));
    WaitForSingleObject(m_videoStart, 0);
    ReleaseSemaphore(m_videoStart, 1, nullptr);
    return;
  }
  RaiseEvent(EC_TLX_FRAME_WAIT, 0, 0);
  // Only a connected audio pin's thread releases the video pin.
  if (m_audio->IsConnected()) WaitForSingleObject(m_videoStart, kVideoStartWaitMs);
  RaiseEvent(EC_TLX_FRAME_READY, 0, 0);
}

REFERENCE_TIME CStreamingClientFilter::SampleTime(bool video, uint32_t stampMs) {
  std::lock_guard<std::mutex> lock(m_clockLock);
  StreamClock& clock = video ? m_videoClock : m_audioClock;
  REFERENCE_TIME time = clock.Unwrap(stampMs);
  const REFERENCE_TIME base = clock.Base();
  StreamClock::AlignWrapped(m_audioClock, m_videoClock);
  return time + clock.Base() - base;
}

// ------------------------------------------------------------ control interface

STDMETHODIMP CStreamingClientFilter::SetServer(const char* host, int port) {
  if (host == nullptr) return E_POINTER;
  const size_t length = BoundedLength(host);
  if (length == 0) return E_INVALIDARG;
  CAutoLock lock(&m_cStateLock);
  std::memcpy(m_params.serverHost, host, length + 1);
  m_params.serverPort = static_cast<uint16_t>(port);
  return S_OK;
}

STDMETHODIMP CStreamingClientFilter::SetProxy(const char* host, int port) {
  CAutoLock lock(&m_cStateLock);
  if (host == nullptr) {
    m_params.proxyHost[0] = '\0';
    return S_OK;
  }
  const size_t length = BoundedLength(host);
  if (length == 0) return E_INVALIDARG;
  std::memcpy(m_params.proxyHost, host, length + 1);
  m_params.proxyPort = static_cast<uint16_t>(port);
  return S_OK;
}

STDMETHODIMP CStreamingClientFilter::SetQuality(const char* text) {
  if (text == nullptr) return E_POINTER;
  const size_t length = BoundedLength(text);
  if (length == 0) return E_INVALIDARG;
  std::string path = text;
  if (std::strncmp(text, kFilePrefix, kPrefixLength) != 0) {
    if (length < kPrefixLength) return E_INVALIDARG;
    TlxQualityParam record{};
    char canonical[kMaxCanonicalQuality + 1];
    if (getDspQuality(text + kPrefixLength, &record) == 0 &&
        QualityParamToString(&record, canonical, sizeof canonical) >= 0) {
      path = std::string(kDspPrefix) + canonical + "/";
    }
  }
  {
    CAutoLock lock(&m_cStateLock);
    std::memset(m_params.streamPath, 0, sizeof m_params.streamPath);
    std::memcpy(m_params.streamPath, path.c_str(), path.size() + 1);
  }
  if (std::strncmp(text, kFilePrefix, kPrefixLength) == 0) return S_OK;
  return ApplyQuality(path.c_str());
}

STDMETHODIMP CStreamingClientFilter::ApplyQuality(const char* text) {
  if (text == nullptr) return E_POINTER;
  if (strnlen(text, kPrefixLength) < kPrefixLength) return E_INVALIDARG;
  return ApplyQualityText(text + kPrefixLength);
}

HRESULT CStreamingClientFilter::ApplyQualityText(const char* text) {
  {
    CAutoLock lock(&m_cStateLock);
    TlxQualityParam record = m_quality;
    if (getDspQuality(text, &record) != 0 && StringToQualityParam(text, &record) != 0) return E_INVALIDARG;
    if (AacSampleRateIndex(record.asr) < 0) return TLX_E_SAMPLE_RATE;
    m_quality = record;
    m_audio->SetFormat(record);
    m_video->SetFormat(record);
  }
  // The graph takes its own lock and then the filters': reconnecting under
  // the filter lock would take the two the other way round.
  HRESULT hr = S_OK;
  if (m_audio->IsConnected()) {
    CMediaType mt;
    m_audio->CurrentType(&mt);
    hr = ReconnectPin(m_audio, &mt);
  }
  if (m_video->IsConnected()) {
    const HRESULT video = ReconnectPin(m_video, nullptr);
    if (SUCCEEDED(hr)) hr = video;
  }
  return FAILED(hr) ? hr : S_OK;
}

STDMETHODIMP CStreamingClientFilter::SetMode(int mode) {
  CAutoLock lock(&m_cStateLock);
  m_params.mode = mode;
  if (m_session) m_session->setAuthenticate((mode & kAuthenticationOffBit) == 0);
  return S_OK;
}

STDMETHODIMP CStreamingClientFilter::Abort() {
  m_abort = true;
  tlxAbortConnection();
  return S_OK;
}

STDMETHODIMP CStreamingClientFilter::GetActualBitrate(DWORD* video, DWORD* audio) {
  if (video == nullptr || audio == nullptr) return E_POINTER;
  *video = m_video->ActualBitrate();
  *audio = m_audio->ActualBitrate();
  return S_OK;
}

STDMETHODIMP CStreamingClientFilter::SetParams(const TlxStreamSourceParams* params) {
  if (params == nullptr) return E_INVALIDARG;
  if (!HasTerminator(params->streamPath) || !HasTerminator(params->serverHost) || !HasTerminator(params->proxyHost)) {
    return E_INVALIDARG;
  }
  CAutoLock lock(&m_cStateLock);
  m_params = *params;
  return S_OK;
}

STDMETHODIMP CStreamingClientFilter::GetParams(TlxStreamSourceParams* params) {
  if (params == nullptr) return E_INVALIDARG;
  CAutoLock lock(&m_cStateLock);
  *params = m_params;
  return S_OK;
}

STDMETHODIMP CStreamingClientFilter::GetPages(CAUUID* pages) { return OnePropertyPage(pages, CLSID_TlxStreamingClientAbout); }

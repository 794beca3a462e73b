#include "ravix_ds_aud_renderer.h"

#include <algorithm>
#include <cstring>

#include "dshow/errors.h"

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;
constexpr UINT kMaxBufferBytes = 120000;
constexpr REFERENCE_TIME kDefaultTimeCorrection = 200000;

// The three interface locks, in order.
class InterfaceLocks {
 public:
  InterfaceLocks(CCritSec* l1, CCritSec* l2, CCritSec* l3) : l1_(l1), l2_(l2), l3_(l3) {}

 private:
  CAutoLock l1_;
  CAutoLock l2_;
  CAutoLock l3_;
};

}  // namespace

// ----------------------------------------------------------------- companions

HRESULT CRendererControl::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IRavixAudioRendererControl) {
    return GetInterface(static_cast<IRavixAudioRendererControl*>(this), object);
  }
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CRendererControl::FlashBuffers(int) {
  if (m_pRenderer == nullptr) return E_FAIL;
  return m_pRenderer->StartFlash();
}

HRESULT CRendererControl::SetTimeCorrection(REFERENCE_TIME correction) {
  if (m_pRenderer == nullptr) return E_FAIL;
  return m_pRenderer->SetTimeCorrection(correction);
}

HRESULT CRendererControl::GetTimeCorrection(REFERENCE_TIME* correction) {
  if (m_pRenderer == nullptr || correction == nullptr) return E_FAIL;
  *correction = m_pRenderer->GetTimeCorrection();
  return S_OK;
}

HRESULT CRendererControl::SetGain(unsigned numerator, unsigned denominator) {
  if (m_pRenderer == nullptr) return E_FAIL;
  return m_pRenderer->SetGain(numerator, denominator);
}

HRESULT CRendererClock::GetTime(REFERENCE_TIME* time) {
  if (time == nullptr) return E_POINTER;
  *time = GetPrivateTime();
  return S_OK;
}

REFERENCE_TIME CRendererClock::GetPrivateTime() { return m_pRenderer->GetClockTime(); }

HRESULT CRendererVolume::put_Volume(long volume) {
  m_pRenderer->PutVolume(volume);
  return S_OK;
}

HRESULT CRendererVolume::get_Volume(long* volume) {
  if (volume == nullptr) return E_POINTER;
  *volume = m_pRenderer->GetVolume();
  return S_OK;
}

HRESULT CRendererVolume::get_Balance(long* balance) {
  if (balance == nullptr) return E_POINTER;
  *balance = 0;
  return S_OK;
}

// ------------------------------------------------------------------- the filter

CUnknown* CRavixDSAudRenderer::CreateInstance(IUnknown* outer, HRESULT* hr) {
  auto* renderer = new CRavixDSAudRenderer(outer, hr);
  if (FAILED(*hr)) {
    delete renderer;
    return nullptr;
  }
  return renderer;
}

CRavixDSAudRenderer::CRavixDSAudRenderer(IUnknown* outer, HRESULT* hr)
    : CBaseRenderer(CLSID_RavixDSAudRenderer, "Ravix Audio Renderer", outer, hr) {
  HRESULT clockResult = S_OK;
  m_pControl = new CRendererControl(this, GetOwner());
  m_pClockObject = new CRendererClock(this, GetOwner(), &clockResult);
  m_pVolume = new CRendererVolume(this, GetOwner());
  if (FAILED(clockResult) && hr != nullptr) *hr = E_FAIL;
}

CRavixDSAudRenderer::~CRavixDSAudRenderer() {
  // The clock's advise thread reads the renderer: it goes first.
  delete m_pClockObject;
  {
    InterfaceLocks locks(&m_InterfaceLock, &m_RendererLock, &m_ClockLock);
    TearDown();
    m_hasFormat = false;
  }
  delete m_pControl;
  delete m_pVolume;
  for (HANDLE event : m_events) CloseHandle(event);
}

HRESULT CRavixDSAudRenderer::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IReferenceClock) return m_pClockObject->NonDelegatingQueryInterface(iid, object);
  if (iid == IID_IBasicAudio) return m_pVolume->NonDelegatingQueryInterface(iid, object);
  if (iid == IID_IRavixAudioRendererControl) return m_pControl->NonDelegatingQueryInterface(iid, object);
  return CBaseRenderer::NonDelegatingQueryInterface(iid, object);
}

HRESULT CRavixDSAudRenderer::CheckMediaType(const CMediaType* mt) {
  if (mt == nullptr) return E_POINTER;
  if (mt->majortype != MEDIATYPE_Audio || mt->formattype != FORMAT_WaveFormatEx || mt->pbFormat == nullptr ||
      mt->cbFormat < offsetof(WAVEFORMATEX, cbSize)) {
    return E_INVALIDARG;
  }
  WORD tag;
  std::memcpy(&tag, mt->pbFormat, sizeof tag);
  return tag == WAVE_FORMAT_PCM ? S_OK : E_INVALIDARG;
}

HRESULT CRavixDSAudRenderer::SetMediaType(const CMediaType* mt) {
  InterfaceLocks locks(&m_InterfaceLock, &m_RendererLock, &m_ClockLock);
  const int state = m_state;
  if (state != kRendererNew && state != kRendererTypeSet) return E_FAIL;
  HRESULT hr = CheckMediaType(mt);
  if (FAILED(hr)) return hr;
  // A format block without the size field counts as one without extra bytes.
  m_format = WAVEFORMATEX{};
  std::memcpy(&m_format, mt->pbFormat, std::min<ULONG>(mt->cbFormat, sizeof m_format));
  if (mt->cbFormat < sizeof m_format) m_format.cbSize = 0;
  m_hasFormat = true;
  hr = CBaseRenderer::SetMediaType(mt);
  if (SUCCEEDED(hr)) m_state = kRendererTypeSet;
  return hr;
}

HRESULT CRavixDSAudRenderer::Pause() {
  InterfaceLocks locks(&m_InterfaceLock, &m_RendererLock, &m_ClockLock);
  // A graph pauses before it runs, and the source delivers from the pause on.
  if (m_state == kRendererStopped) m_state = kRendererTypeSet;
  return CBaseRenderer::Pause();
}

HRESULT CRavixDSAudRenderer::Run(REFERENCE_TIME start) {
  InterfaceLocks locks(&m_InterfaceLock, &m_RendererLock, &m_ClockLock);
  if (m_state == kRendererStopped) m_state = kRendererTypeSet;
  return CBaseRenderer::Run(start);
}

HRESULT CRavixDSAudRenderer::Stop() {
  InterfaceLocks locks(&m_InterfaceLock, &m_RendererLock, &m_ClockLock);
  m_state = kRendererStopped;
  HRESULT hr = CBaseRenderer::Stop();
  TearDown();
  return hr;
}

void CRavixDSAudRenderer::TearDown() {
  StopRenderThread();
  {
    CAutoLock stream(&m_StreamLock);
    m_dataQueue.Close();
    m_timeQueue.Close();
    EndMode();
  }
  {
    CAutoLock table(&m_TableLock);
    m_tableValid = false;
  }
  // The next start's stream times begin near zero again.
  m_lastTime = 0;
  m_holdCount = 0;
}

HRESULT CRavixDSAudRenderer::EndFlush() {
  {
    CAutoLock stream(&m_StreamLock);
    const UINT used = m_dataQueue.GetUsed();
    if (used != 0xFFFFFFFF) {
      m_dataQueue.Discard(used);
      m_timeQueue.Discard(m_timeQueue.GetUsed());
    }
    EndMode();
    m_playThreshold = m_prebuffer;
  }
  return CBaseRenderer::EndFlush();
}

HRESULT CRavixDSAudRenderer::Receive(IMediaSample* sample) {
  CAutoLock lock(&m_RendererLock);
  return DoRenderSample(sample);
}

UINT CRavixDSAudRenderer::BytesFor(REFERENCE_TIME duration) const {
  return static_cast<UINT>(duration * m_format.nAvgBytesPerSec / kSecond);
}

HRESULT CRavixDSAudRenderer::DoRenderSample(IMediaSample* sample) {
  if (sample == nullptr) return E_FAIL;
  if (m_state == kRendererTypeSet) {
    if (FAILED(SetupStreaming(sample))) {
      m_state = kRendererFailed;
      return E_FAIL;
    }
    // The render thread has started and may already have failed to open the
    // device: its failure stands.
    int typeSet = kRendererTypeSet;
    m_state.compare_exchange_strong(typeSet, kRendererRunning);
  }
  if (m_state != kRendererRunning) return E_FAIL;
  const LONG length = sample->GetActualDataLength();
  if (length < 0 || static_cast<UINT>(length) != m_cfg.notifySize) return E_FAIL;
  BYTE* data = nullptr;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  if (FAILED(sample->GetPointer(&data)) || FAILED(sample->GetTime(&start, &stop))) return E_FAIL;

  CAutoLock stream(&m_StreamLock);
  DropCheck();
  StretchUpdate();
  SampleTimeRecord record{start, static_cast<uint32_t>(length), 0};
  if (m_upsampler.Push(data, static_cast<UINT>(length), start, &record) != 0) return E_FAIL;
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  if (sample->GetMediaTime(&mediaStart, &mediaStop) == S_OK && (mediaStart & 1) != 0) RequestCatchUp();
  return S_OK;
}

HRESULT CRavixDSAudRenderer::SetupStreaming(IMediaSample* sample) {
  const LONG length = sample->GetActualDataLength();
  if (!m_hasFormat || m_format.nAvgBytesPerSec == 0 || length <= 0) return E_FAIL;
  // The whole path works on 16-bit samples of one or two channels.
  if (m_format.wBitsPerSample != 16 || (m_format.nChannels != 1 && m_format.nChannels != 2)) return E_FAIL;
  StreamingConfig cfg;
  cfg.notifySize = static_cast<UINT>(length);
  cfg.notifyCount = std::min(BytesFor(kSecond / 2), kMaxBufferBytes) / cfg.notifySize;
  if (cfg.notifyCount == 0 || cfg.notifyCount > kMaxNotifyCount) return E_FAIL;
  cfg.bufferBytes = cfg.notifySize * cfg.notifyCount;
  cfg.blockDuration = kSecond * cfg.notifySize / m_format.nAvgBytesPerSec;
  cfg.queueCapacity = BytesFor(4 * kSecond);
  cfg.stretchLimit = BytesFor(kSecond * 5 / 2) / cfg.notifySize;
  cfg.dropThreshold = BytesFor(kSecond * 7 / 2) / cfg.notifySize;
  cfg.dropAmount = BytesFor(kSecond) / cfg.notifySize;
  m_cfg = cfg;
  {
    CAutoLock clock(&m_ClockLock);
    m_timeCorrection = kDefaultTimeCorrection;
  }
  {
    CAutoLock stream(&m_StreamLock);
    m_playThreshold = m_prebuffer;
    if (m_dataQueue.Create(cfg.queueCapacity) != 0 ||
        m_timeQueue.Create(cfg.queueCapacity / cfg.notifySize * sizeof(SampleTimeRecord)) != 0) {
      return E_FAIL;
    }
    HRESULT hr = SetupConverters();
    if (FAILED(hr)) return hr;
  }
  {
    CAutoLock table(&m_TableLock);
    m_tableValid = false;
    if (FAILED(m_table.Create(cfg.notifyCount))) return E_FAIL;
  }
  return StartRenderThread();
}

HRESULT CRavixDSAudRenderer::SetupConverters() {
  m_stretch = true;
  m_prebuffer = BytesFor(kSecond / 2) / m_cfg.notifySize;
  m_baseRate = m_format.nSamplesPerSec / m_format.nChannels;
  m_maxRate = m_baseRate * 106 / 100;
  m_currentRate = 2 * m_maxRate;
  m_flash = false;
  m_catchUp = false;
  m_catchUpEnd = -1;
  if (m_upsampler.Configure(m_format.nChannels, m_baseRate, m_maxRate, m_cfg.notifySize,
                            m_format.nAvgBytesPerSec) != 0) {
    return E_FAIL;
  }
  if (m_decimator.Configure(m_format.nChannels, m_cfg.notifySize) != 0) return E_FAIL;
  m_decimator.SetShift(6);
  return S_OK;
}

// ------------------------------------------------------ control and volume

HRESULT CRavixDSAudRenderer::StartFlash() {
  InterfaceLocks locks(&m_InterfaceLock, &m_RendererLock, &m_ClockLock);
  if (m_state != kRendererRunning) return S_OK;
  CAutoLock stream(&m_StreamLock);
  if (m_flash || m_marked) return S_OK;
  if (QueuedBlocks() <= BytesFor(kSecond) / m_cfg.notifySize) return S_OK;
  m_flash = true;
  m_flashWindow = 700;
  m_flashTarget = BytesFor(kSecond / 2) / m_cfg.notifySize;
  m_flashStart = m_services.now();
  return S_OK;
}

HRESULT CRavixDSAudRenderer::SetTimeCorrection(REFERENCE_TIME correction) {
  CAutoLock clock(&m_ClockLock);
  m_timeCorrection = correction;
  return S_OK;
}

REFERENCE_TIME CRavixDSAudRenderer::GetTimeCorrection() {
  CAutoLock clock(&m_ClockLock);
  return m_timeCorrection;
}

HRESULT CRavixDSAudRenderer::SetGain(unsigned numerator, unsigned denominator) {
  if (denominator == 0) return E_INVALIDARG;
  CAutoLock stream(&m_StreamLock);
  m_gainNumerator = numerator;
  m_gainDenominator = denominator;
  return S_OK;
}

void CRavixDSAudRenderer::PutVolume(long volume) {
  CAutoLock buffer(&m_BufferLock);
  m_volume = volume;
  m_volumePending = true;
  if (m_pStreamBuffer != nullptr) {
    m_pStreamBuffer->Buffer()->SetVolume(volume);
    m_volumePending = false;
  }
}

long CRavixDSAudRenderer::GetVolume() {
  CAutoLock buffer(&m_BufferLock);
  LONG volume = 0;
  if (m_pStreamBuffer != nullptr) m_pStreamBuffer->Buffer()->GetVolume(&volume);
  return volume;
}

void CRavixDSAudRenderer::ApplyPendingVolume() {
  CAutoLock buffer(&m_BufferLock);
  if (!m_volumePending || m_pStreamBuffer == nullptr) return;
  m_pStreamBuffer->Buffer()->SetVolume(m_volume);
  m_volumePending = false;
}

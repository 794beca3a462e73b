#include "dshow/base_renderer.h"

#include "win32/timing.h"

// -------------------------------------------------------- CRendererInputPin

CRendererInputPin::CRendererInputPin(CBaseRenderer* renderer, HRESULT* hr, LPCWSTR name)
    : CBaseInputPin("renderer input", renderer, renderer->InterfaceLock(), hr, name), m_pRenderer(renderer) {}

HRESULT CRendererInputPin::Receive(IMediaSample* sample) { return m_pRenderer->Receive(sample); }

HRESULT CRendererInputPin::EndOfStream() {
  CAutoLock lock(m_pRenderer->InterfaceLock());
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  return m_pRenderer->EndOfStream();
}

HRESULT CRendererInputPin::BeginFlush() {
  CAutoLock lock(m_pRenderer->InterfaceLock());
  CBaseInputPin::BeginFlush();
  return m_pRenderer->BeginFlush();
}

HRESULT CRendererInputPin::EndFlush() {
  CAutoLock lock(m_pRenderer->InterfaceLock());
  m_pRenderer->ResetEndOfStream();
  HRESULT hr = m_pRenderer->EndFlush();
  if (FAILED(hr)) return hr;
  return CBaseInputPin::EndFlush();
}

HRESULT CRendererInputPin::BreakConnect() {
  HRESULT hr = m_pRenderer->BreakConnect();
  if (FAILED(hr)) return hr;
  return CBaseInputPin::BreakConnect();
}

HRESULT CRendererInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = m_pRenderer->CompleteConnect(receivePin);
  if (FAILED(hr)) return hr;
  return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CRendererInputPin::SetMediaType(const CMediaType* mt) {
  HRESULT hr = CBaseInputPin::SetMediaType(mt);
  if (FAILED(hr)) return hr;
  return m_pRenderer->SetMediaType(mt);
}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* mt) { return m_pRenderer->CheckMediaType(mt); }

HRESULT CRendererInputPin::Active() { return m_pRenderer->Active(); }

HRESULT CRendererInputPin::Inactive() {
  m_pRenderer->Inactive();
  return CBaseInputPin::Inactive();
}

// ------------------------------------------------------------ CBaseRenderer

CBaseRenderer::CBaseRenderer(REFCLSID clsid, const char* name, IUnknown* outer, HRESULT*)
    : CBaseFilter(name, outer, &m_InterfaceLock, clsid) {
  Ready();
}

CBaseRenderer::~CBaseRenderer() {
  ClearPendingSample();
  if (m_pPosition != nullptr) m_pPosition->Release();
  delete m_pInputPin;
}

HRESULT CBaseRenderer::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IMediaSeeking || iid == IID_IMediaPosition) {
    {
      CAutoLock lock(&m_InterfaceLock);
      if (m_pPosition == nullptr) {
        HRESULT hr = S_OK;
        m_pPositionObject = new CRendererPosPassThru("renderer pass-through", GetOwner(), &hr, GetPinInternal());
        m_pPosition = m_pPositionObject->GetInnerUnknown();
        m_pPosition->AddRef();
      }
    }
    return m_pPosition->QueryInterface(iid, object);
  }
  return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

CBasePin* CBaseRenderer::GetPinInternal() {
  CAutoLock lock(&m_InterfaceLock);
  if (m_pInputPin == nullptr) {
    HRESULT hr = S_OK;
    m_pInputPin = new CRendererInputPin(this, &hr, u"In");
  }
  return m_pInputPin;
}

int CBaseRenderer::GetPinCount() { return 1; }

CBasePin* CBaseRenderer::GetPin(int index) { return index == 0 ? GetPinInternal() : nullptr; }

HRESULT CBaseRenderer::FindPin(LPCWSTR id, IPin** pin) {
  if (pin == nullptr || id == nullptr) return E_POINTER;
  if (std::u16string(id) != u"In") {
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
  }
  *pin = GetPinInternal();
  (*pin)->AddRef();
  return S_OK;
}

BOOL CBaseRenderer::HaveCurrentSample() {
  CAutoLock lock(&m_RendererLock);
  return m_pMediaSample != nullptr;
}

IMediaSample* CBaseRenderer::GetCurrentSample() {
  CAutoLock lock(&m_RendererLock);
  if (m_pMediaSample != nullptr) m_pMediaSample->AddRef();
  return m_pMediaSample;
}

void CBaseRenderer::ClearPendingSample() {
  CAutoLock lock(&m_RendererLock);
  if (m_pMediaSample != nullptr) {
    m_pMediaSample->Release();
    m_pMediaSample = nullptr;
  }
}

HRESULT CBaseRenderer::CancelNotification() {
  CAutoLock lock(&m_RendererLock);
  DWORD_PTR advise = m_dwAdvise;
  if (advise != 0 && m_pClock != nullptr) m_pClock->Unadvise(advise);
  m_dwAdvise = 0;
  m_RenderEvent.Reset();
  return advise != 0 ? S_OK : S_FALSE;
}

void CBaseRenderer::SourceThreadCanWait(BOOL canWait) {
  if (canWait) {
    m_ThreadSignal.Reset();
  } else {
    m_ThreadSignal.Set();
  }
}

void CBaseRenderer::WaitForReceiveToComplete() {
  while (m_bInReceive) Sleep(1);
}

HRESULT CBaseRenderer::StartStreaming() {
  CAutoLock lock(&m_RendererLock);
  if (m_bStreaming) return S_OK;
  m_bStreaming = TRUE;
  OnStartStreaming();
  if (m_pMediaSample != nullptr) {
    // The sample held while paused now waits for its time.
    if (!ScheduleSample(m_pMediaSample)) m_RenderEvent.Set();
    return S_OK;
  }
  return SendEndOfStream();
}

HRESULT CBaseRenderer::StopStreaming() {
  CAutoLock lock(&m_RendererLock);
  if (m_bStreaming) {
    m_bStreaming = FALSE;
    OnStopStreaming();
  }
  return S_OK;
}

void CBaseRenderer::CompleteStateChange(FILTER_STATE) {
  if (!m_pInputPin->IsConnected() || m_bEOS || HaveCurrentSample()) {
    Ready();
  } else {
    NotReady();
  }
}

HRESULT CBaseRenderer::Stop() {
  CAutoLock lock(&m_InterfaceLock);
  if (m_State == State_Stopped) return S_OK;
  GetPinInternal();
  HRESULT hr = CBaseFilter::Stop();
  StopStreaming();
  SourceThreadCanWait(FALSE);
  ResetEndOfStream();
  CancelNotification();
  Ready();
  WaitForReceiveToComplete();
  m_bAbort = FALSE;
  ClearPendingSample();
  return hr;
}

HRESULT CBaseRenderer::Pause() {
  CAutoLock lock(&m_InterfaceLock);
  FILTER_STATE old = m_State;
  if (old == State_Paused) return S_OK;
  GetPinInternal();
  if (old == State_Stopped) {
    m_bAbort = FALSE;
    SourceThreadCanWait(TRUE);
    ClearPendingSample();
  }
  if (old == State_Running) {
    StopStreaming();
    CancelNotification();
  }
  HRESULT hr = CBaseFilter::Pause();
  if (FAILED(hr)) return hr;
  CompleteStateChange(old);
  return S_OK;
}

HRESULT CBaseRenderer::Run(REFERENCE_TIME start) {
  CAutoLock lock(&m_InterfaceLock);
  if (m_State == State_Running) return S_OK;
  GetPinInternal();
  HRESULT hr = CBaseFilter::Run(start);
  if (FAILED(hr)) return hr;
  if (!m_pInputPin->IsConnected()) {
    // Nothing will ever arrive.
    NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
  }
  Ready();
  return StartStreaming();
}

HRESULT CBaseRenderer::GetState(DWORD milliseconds, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  *state = m_State;
  if (*state == State_Paused && !m_evComplete.Wait(milliseconds)) return VFW_S_STATE_INTERMEDIATE;
  return S_OK;
}

HRESULT CBaseRenderer::BreakConnect() {
  ClearPendingSample();
  return S_OK;
}

HRESULT CBaseRenderer::GetSampleTimes(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (FAILED(sample->GetTime(start, stop))) return S_OK;  // no time: show it now
  if (*stop < *start) return VFW_E_START_TIME_AFTER_END;
  if (m_pClock == nullptr) return S_OK;
  return ShouldDrawSampleNow(sample, start, stop);
}

HRESULT CBaseRenderer::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*) { return S_FALSE; }

BOOL CBaseRenderer::ScheduleSample(IMediaSample* sample) {
  REFERENCE_TIME start = 0, stop = 0;
  HRESULT hr = GetSampleTimes(sample, &start, &stop);
  if (FAILED(hr)) return FALSE;
  if (hr == S_OK) {
    m_RenderEvent.Set();
    return TRUE;
  }
  m_SignalTime = stop;
  hr = m_pClock->AdviseTime(m_tStart, start, static_cast<HEVENT>(m_RenderEvent), &m_dwAdvise);
  return SUCCEEDED(hr);
}

HRESULT CBaseRenderer::WaitForRenderTime() {
  HANDLE events[2] = {m_ThreadSignal, m_RenderEvent};
  OnWaitStart();
  DWORD result = WaitForMultipleObjects(2, events, FALSE, INFINITE);
  OnWaitEnd();
  return result == WAIT_OBJECT_0 + 1 ? S_OK : VFW_E_STATE_CHANGED;
}

HRESULT CBaseRenderer::PrepareReceive(IMediaSample* sample) {
  CAutoLock lock(&m_InterfaceLock);
  m_bInReceive = TRUE;
  HRESULT hr = m_pInputPin->CBaseInputPin::Receive(sample);
  if (hr != S_OK) {
    m_bInReceive = FALSE;
    return hr;
  }
  CAutoLock sampleLock(&m_RendererLock);
  if (m_pMediaSample != nullptr || m_bEOS || m_bAbort) {
    Ready();
    m_bInReceive = FALSE;
    return E_UNEXPECTED;
  }
  if (m_bStreaming && !ScheduleSample(sample)) {
    m_bInReceive = FALSE;
    return VFW_E_SAMPLE_REJECTED;
  }
  m_pMediaSample = sample;
  m_pMediaSample->AddRef();
  return S_OK;
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  HRESULT hr = PrepareReceive(sample);
  if (hr == VFW_E_SAMPLE_REJECTED) return S_OK;  // dropped by the scheduler
  if (hr != S_OK) return hr;

  if (m_State == State_Paused) {
    PrepareRender();
    m_bInReceive = FALSE;
    {
      CAutoLock lock(&m_InterfaceLock);
      if (m_State == State_Stopped) return S_OK;
      m_bInReceive = TRUE;
      CAutoLock sampleLock(&m_RendererLock);
      OnReceiveFirstSample(sample);
    }
    Ready();
  }

  hr = WaitForRenderTime();
  if (FAILED(hr)) {
    // Stopped or flushed meanwhile; whoever did it dropped the sample.
    m_bInReceive = FALSE;
    return S_OK;
  }
  PrepareRender();
  m_bInReceive = FALSE;

  CAutoLock lock(&m_InterfaceLock);
  if (m_State == State_Stopped) return S_OK;
  CAutoLock sampleLock(&m_RendererLock);
  if (m_pMediaSample != nullptr) {
    Render(m_pMediaSample);
    ClearPendingSample();
  }
  SendEndOfStream();
  CancelNotification();
  return S_OK;
}

HRESULT CBaseRenderer::Render(IMediaSample* sample) {
  if (sample == nullptr) return S_FALSE;
  if (m_pPositionObject != nullptr) m_pPositionObject->RegisterMediaTime(sample);
  OnRenderStart(sample);
  HRESULT hr = DoRenderSample(sample);
  OnRenderEnd(sample);
  return hr;
}

HRESULT CBaseRenderer::EndOfStream() {
  if (m_State == State_Stopped) return S_OK;
  m_bEOS = TRUE;
  if (HaveCurrentSample()) return S_OK;  // sent once that sample is shown
  Ready();
  if (m_bStreaming) SendEndOfStream();
  return S_OK;
}

HRESULT CBaseRenderer::SendEndOfStream() {
  if (!m_bEOS || m_bEOSDelivered) return S_OK;
  m_bEOSDelivered = TRUE;
  if (m_pPositionObject != nullptr) m_pPositionObject->EOS();
  return NotifyEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT CBaseRenderer::ResetEndOfStream() {
  m_bEOS = FALSE;
  m_bEOSDelivered = FALSE;
  m_SignalTime = 0;
  return S_OK;
}

HRESULT CBaseRenderer::BeginFlush() {
  if (m_State == State_Paused) NotReady();
  SourceThreadCanWait(FALSE);
  CancelNotification();
  ClearPendingSample();
  WaitForReceiveToComplete();
  return S_OK;
}

HRESULT CBaseRenderer::EndFlush() {
  if (m_pPositionObject != nullptr) m_pPositionObject->ResetMediaTime();
  SourceThreadCanWait(TRUE);
  return S_OK;
}

HRESULT CBaseRenderer::SendNotify(REFERENCE_TIME late) {
  IPin* upstream = m_pInputPin != nullptr ? m_pInputPin->GetConnected() : nullptr;
  if (upstream == nullptr) return VFW_E_NOT_CONNECTED;
  IQualityControl* control = nullptr;
  if (FAILED(upstream->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&control)))) return E_NOTIMPL;
  CRefTime now;
  StreamTime(now);
  Quality q{late > 0 ? Famine : Flood, late > 0 ? 500 : 1000, late, now};
  HRESULT hr = control->Notify(this, q);
  control->Release();
  return hr;
}

#include "dshow/transform_filter.h"

#include <algorithm>
#include <cstring>

// ------------------------------------------------------- CTransformInputPin

CTransformInputPin::CTransformInputPin(const char* objectName, CTransformFilter* filter, HRESULT* hr, LPCWSTR name)
    : CBaseInputPin(objectName, filter, &filter->m_csFilter, hr, name), m_pTransformFilter(filter) {}

HRESULT CTransformInputPin::CheckConnect(IPin* pin) {
  HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pin);
  if (FAILED(hr)) return hr;
  return CBaseInputPin::CheckConnect(pin);
}

HRESULT CTransformInputPin::BreakConnect() {
  m_pTransformFilter->BreakConnect(PINDIR_INPUT);
  return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, receivePin);
  if (FAILED(hr)) return hr;
  return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* mt) {
  HRESULT hr = m_pTransformFilter->CheckInputType(mt);
  if (hr != S_OK) return hr == S_FALSE ? VFW_E_TYPE_NOT_ACCEPTED : hr;
  // With the output connected, the new input must still suit it.
  CTransformOutputPin* out = m_pTransformFilter->m_pOutput;
  if (out != nullptr && out->IsConnected()) return m_pTransformFilter->CheckTransform(mt, &out->CurrentMediaType());
  return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* mt) {
  HRESULT hr = CBaseInputPin::SetMediaType(mt);
  if (FAILED(hr)) return hr;
  return m_pTransformFilter->SetMediaType(PINDIR_INPUT, mt);
}

HRESULT CTransformInputPin::Receive(IMediaSample* sample) {
  CAutoLock lock(&m_pTransformFilter->m_csReceive);
  HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return m_pTransformFilter->Receive(sample);
}

HRESULT CTransformInputPin::EndOfStream() {
  CAutoLock lock(&m_pTransformFilter->m_csReceive);
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  return m_pTransformFilter->EndOfStream();
}

HRESULT CTransformInputPin::BeginFlush() {
  CAutoLock lock(&m_pTransformFilter->m_csFilter);
  if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
  HRESULT hr = CBaseInputPin::BeginFlush();
  if (FAILED(hr)) return hr;
  return m_pTransformFilter->BeginFlush();
}

HRESULT CTransformInputPin::EndFlush() {
  CAutoLock lock(&m_pTransformFilter->m_csFilter);
  if (!IsConnected() || !m_pTransformFilter->m_pOutput->IsConnected()) return VFW_E_NOT_CONNECTED;
  HRESULT hr = m_pTransformFilter->EndFlush();
  if (FAILED(hr)) return hr;
  return CBaseInputPin::EndFlush();
}

HRESULT CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  return m_pTransformFilter->NewSegment(start, stop, rate);
}

// ------------------------------------------------------ CTransformOutputPin

CTransformOutputPin::CTransformOutputPin(const char* objectName, CTransformFilter* filter, HRESULT* hr,
                                         LPCWSTR name)
    : CBaseOutputPin(objectName, filter, &filter->m_csFilter, hr, name), m_pTransformFilter(filter) {}

CTransformOutputPin::~CTransformOutputPin() {
  if (m_pPosition != nullptr) m_pPosition->Release();
}

HRESULT CTransformOutputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IMediaSeeking || iid == IID_IMediaPosition) {
    if (m_pPosition == nullptr) {
      HRESULT hr = S_OK;
      // Aggregated by the pin, so the pass-through answers as the pin.
      auto* passThru = new CPosPassThru("output pass-through", GetOwner(), &hr, m_pTransformFilter->InputPin());
      m_pPosition = passThru->GetInnerUnknown();
      m_pPosition->AddRef();
    }
    return m_pPosition->QueryInterface(iid, object);
  }
  return CBaseOutputPin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin) {
  if (!m_pTransformFilter->m_pInput->IsConnected()) return E_UNEXPECTED;
  HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pin);
  if (FAILED(hr)) return hr;
  return CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::BreakConnect() {
  m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
  return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin) {
  HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, receivePin);
  if (FAILED(hr)) return hr;
  return CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  return m_pTransformFilter->DecideBufferSize(allocator, request);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* mt) {
  CTransformInputPin* in = m_pTransformFilter->m_pInput;
  if (!in->IsConnected()) return E_INVALIDARG;
  return m_pTransformFilter->CheckTransform(&in->CurrentMediaType(), mt);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* mt) {
  HRESULT hr = CBaseOutputPin::SetMediaType(mt);
  if (FAILED(hr)) return hr;
  return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, mt);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* mt) {
  if (!m_pTransformFilter->m_pInput->IsConnected()) return E_UNEXPECTED;
  return m_pTransformFilter->GetMediaType(position, mt);
}

HRESULT CTransformOutputPin::Notify(IBaseFilter*, Quality q) {
  HRESULT hr = m_pTransformFilter->AlterQuality(q);
  if (hr != S_FALSE) return hr;
  // Passed to whoever asked for quality messages, else upstream.
  if (m_pQSink != nullptr) return m_pQSink->Notify(m_pTransformFilter, q);
  IPin* upstream = m_pTransformFilter->m_pInput->GetConnected();
  if (upstream == nullptr) return VFW_E_NOT_FOUND;
  IQualityControl* control = nullptr;
  if (FAILED(upstream->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&control)))) {
    return VFW_E_NOT_FOUND;
  }
  hr = control->Notify(m_pTransformFilter, q);
  control->Release();
  return hr;
}

// --------------------------------------------------------- CTransformFilter

CTransformFilter::CTransformFilter(const char* name, IUnknown* outer, REFCLSID clsid)
    : CBaseFilter(name, outer, &m_csFilter, clsid) {}

CTransformFilter::~CTransformFilter() {
  delete m_pInput;
  delete m_pOutput;
}

void CTransformFilter::CreatePins() {
  HRESULT hr = S_OK;
  if (m_pInput == nullptr) m_pInput = new CTransformInputPin("transform input", this, &hr, u"XForm In");
  if (m_pOutput == nullptr) m_pOutput = new CTransformOutputPin("transform output", this, &hr, u"XForm Out");
}

CBasePin* CTransformFilter::GetPin(int index) {
  {
    CAutoLock lock(&m_csFilter);
    if (m_pInput == nullptr || m_pOutput == nullptr) CreatePins();
  }
  if (index == 0) return m_pInput;
  if (index == 1) return m_pOutput;
  return nullptr;
}

HRESULT CTransformFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (pin == nullptr || id == nullptr) return E_POINTER;
  // The fixed identifiers, whatever the pins are called.
  std::u16string name(id);
  CBasePin* found = name == u"In" ? GetPin(0) : name == u"Out" ? GetPin(1) : nullptr;
  if (found == nullptr) return CBaseFilter::FindPin(id, pin);
  *pin = found;
  found->AddRef();
  return S_OK;
}

HRESULT CTransformFilter::Stop() {
  CAutoLock lock(&m_csFilter);
  if (m_State == State_Stopped) return S_OK;
  if (m_pInput == nullptr || !m_pInput->IsConnected() || !m_pOutput->IsConnected()) {
    m_State = State_Stopped;
    m_bEOSDelivered = FALSE;
    return S_OK;
  }
  // Stop taking samples first, then wait for the one in progress.
  m_pInput->Inactive();
  CAutoLock receive(&m_csReceive);
  m_pOutput->Inactive();
  HRESULT hr = StopStreaming();
  if (SUCCEEDED(hr)) {
    m_State = State_Stopped;
    m_bEOSDelivered = FALSE;
  }
  return hr;
}

HRESULT CTransformFilter::Pause() {
  CAutoLock lock(&m_csFilter);
  if (m_State == State_Paused) return S_OK;
  GetPin(0);
  HRESULT hr = S_OK;
  if (!m_pInput->IsConnected()) {
    // Nothing will come: the stream downstream ends at once.
    if (m_pOutput->IsConnected() && !m_bEOSDelivered) {
      m_pOutput->DeliverEndOfStream();
      m_bEOSDelivered = TRUE;
    }
    m_State = State_Paused;
  } else if (!m_pOutput->IsConnected()) {
    m_State = State_Paused;
  } else {
    const bool starting = m_State == State_Stopped;
    if (starting) {
      CAutoLock receive(&m_csReceive);
      hr = StartStreaming();
    }
    if (SUCCEEDED(hr)) {
      hr = CBaseFilter::Pause();
      // Still stopped, so no Stop will come to undo the start.
      if (FAILED(hr) && starting) {
        CAutoLock receive(&m_csReceive);
        StopStreaming();
      }
    }
  }
  m_bSampleSkipped = FALSE;
  m_bQualityChanged = FALSE;
  return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*) { return E_UNEXPECTED; }

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* sample, IMediaSample** out) {
  DWORD flags = 0;
  if (sample->IsSyncPoint() != S_OK) flags |= AM_GBF_NOTASYNCPOINT;
  if (m_bSampleSkipped) flags |= AM_GBF_PREVFRAMESKIPPED;
  REFERENCE_TIME start = 0, stop = 0;
  HRESULT timeResult = sample->GetTime(&start, &stop);
  bool timed = SUCCEEDED(timeResult);
  HRESULT hr = m_pOutput->GetDeliveryBuffer(out, timed ? &start : nullptr, timed ? &stop : nullptr, flags);
  if (FAILED(hr)) return hr;
  IMediaSample* o = *out;
  if (timed) o->SetTime(&start, timeResult == S_OK ? &stop : nullptr);
  o->SetSyncPoint(sample->IsSyncPoint() == S_OK);
  o->SetDiscontinuity(sample->IsDiscontinuity() == S_OK || m_bSampleSkipped);
  o->SetPreroll(sample->IsPreroll() == S_OK);
  LONGLONG mediaStart, mediaStop;
  if (sample->GetMediaTime(&mediaStart, &mediaStop) == S_OK) o->SetMediaTime(&mediaStart, &mediaStop);
  return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* sample) {
  IMediaSample* out = nullptr;
  HRESULT hr = InitializeOutputSample(sample, &out);
  if (FAILED(hr)) return hr;
  hr = Transform(sample, out);
  if (hr == S_OK) {
    hr = m_pOutput->Deliver(out);
    m_bSampleSkipped = FALSE;
  } else if (hr == S_FALSE) {
    // Skipped on purpose: the next delivered sample is a discontinuity.
    m_bSampleSkipped = TRUE;
    hr = S_OK;
  }
  out->Release();
  return hr;
}

HRESULT CTransformFilter::EndOfStream() { return m_pOutput->DeliverEndOfStream(); }
HRESULT CTransformFilter::BeginFlush() { return m_pOutput->DeliverBeginFlush(); }
HRESULT CTransformFilter::EndFlush() { return m_pOutput->DeliverEndFlush(); }

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (m_pOutput->IsConnected()) return m_pOutput->DeliverNewSegment(start, stop, rate);
  return S_OK;
}

// ------------------------------------------------------ CTransInPlaceFilter

CTransInPlaceFilter::CTransInPlaceFilter(const char* name, IUnknown* outer, REFCLSID clsid, HRESULT*,
                                         bool modifiesData)
    : CTransformFilter(name, outer, clsid), m_bModifiesData(modifiesData) {}

void CTransInPlaceFilter::CreatePins() {
  HRESULT hr = S_OK;
  if (m_pInput == nullptr) m_pInput = new CTransInPlaceInputPin("in-place input", this, &hr, u"Input");
  if (m_pOutput == nullptr) m_pOutput = new CTransInPlaceOutputPin("in-place output", this, &hr, u"Output");
}

HRESULT CTransInPlaceFilter::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return mt->Set(m_pInput->CurrentMediaType());
}

HRESULT CTransInPlaceFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  // Our own buffers are only used for copies: the same shape as upstream's.
  ALLOCATOR_PROPERTIES wanted = *request;
  if (IMemAllocator* upstream = m_pInput->Allocator()) {
    ALLOCATOR_PROPERTIES props;
    if (SUCCEEDED(upstream->GetProperties(&props))) {
      if (props.cBuffers > wanted.cBuffers) wanted.cBuffers = props.cBuffers;
      if (props.cbBuffer > wanted.cbBuffer) wanted.cbBuffer = props.cbBuffer;
    }
  }
  if (wanted.cBuffers < 1) wanted.cBuffers = 1;
  if (wanted.cbBuffer < 1) wanted.cbBuffer = 1;
  if (wanted.cbAlign < 1) wanted.cbAlign = 1;
  ALLOCATOR_PROPERTIES actual;
  HRESULT hr = allocator->SetProperties(&wanted, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= wanted.cbBuffer ? S_OK : E_FAIL;
}

bool CTransInPlaceFilter::UsingDifferentAllocators() {
  return m_pInput->Allocator() != m_pOutput->Allocator();
}

IMediaSample* CTransInPlaceFilter::Copy(IMediaSample* source) {
  IMediaSample* copy = nullptr;
  if (FAILED(InitializeOutputSample(source, &copy))) return nullptr;
  LONG length = source->GetActualDataLength();
  BYTE* from = nullptr;
  BYTE* to = nullptr;
  if (length > copy->GetSize() || FAILED(source->GetPointer(&from)) || FAILED(copy->GetPointer(&to))) {
    copy->Release();
    return nullptr;
  }
  std::memcpy(to, from, static_cast<size_t>(length));
  copy->SetActualDataLength(length);
  AM_MEDIA_TYPE* type = nullptr;
  if (source->GetMediaType(&type) == S_OK) {
    copy->SetMediaType(type);
    DeleteMediaType(type);
  }
  return copy;
}

HRESULT CTransInPlaceFilter::Receive(IMediaSample* sample) {
  IMediaSample* target = sample;
  bool copied = UsingDifferentAllocators() || (m_bModifiesData && m_pInput->IsReadOnly());
  if (copied) {
    target = Copy(sample);
    if (target == nullptr) return E_UNEXPECTED;
  }
  HRESULT hr = Transform(target);
  if (hr == S_OK) {
    hr = m_pOutput->Deliver(target);
  } else if (hr == S_FALSE) {
    m_bSampleSkipped = TRUE;
    hr = S_OK;
  }
  if (copied) target->Release();
  return hr;
}

CTransInPlaceInputPin::CTransInPlaceInputPin(const char* objectName, CTransInPlaceFilter* filter, HRESULT* hr,
                                             LPCWSTR name)
    : CTransformInputPin(objectName, filter, hr, name) {}

HRESULT CTransInPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
  if (allocator == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  CTransformOutputPin* out = m_pTransformFilter->OutputPin();
  if (out->IsConnected() && out->InputPin() != nullptr) {
    // Upstream then fills the buffers that go on downstream untouched.
    return out->InputPin()->GetAllocator(allocator);
  }
  return CTransformInputPin::GetAllocator(allocator);
}

HRESULT CTransInPlaceInputPin::CheckMediaType(const CMediaType* mt) {
  HRESULT hr = m_pTransformFilter->CheckInputType(mt);
  if (hr != S_OK) return hr == S_FALSE ? VFW_E_TYPE_NOT_ACCEPTED : hr;
  CTransformOutputPin* out = m_pTransformFilter->OutputPin();
  if (out->IsConnected() && out->GetConnected()->QueryAccept(mt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

CTransInPlaceOutputPin::CTransInPlaceOutputPin(const char* objectName, CTransInPlaceFilter* filter, HRESULT* hr,
                                               LPCWSTR name)
    : CTransformOutputPin(objectName, filter, hr, name) {}

HRESULT CTransInPlaceOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
  if (pin == nullptr) return VFW_E_NOT_CONNECTED;
  IMemAllocator* upstream = m_pTransformFilter->InputPin()->Allocator();
  if (upstream != nullptr) {
    auto* input = static_cast<CTransInPlaceInputPin*>(m_pTransformFilter->InputPin());
    if (SUCCEEDED(pin->NotifyAllocator(upstream, input->IsReadOnly()))) {
      *allocator = upstream;
      upstream->AddRef();
      return S_OK;
    }
  }
  return CTransformOutputPin::DecideAllocator(pin, allocator);
}

STDMETHODIMP CTransInPlaceOutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) {
  AskUpstream();
  connecting_ = true;
  HRESULT hr = CTransformOutputPin::Connect(receivePin, mt);
  connecting_ = false;
  if (FAILED(hr)) return hr;
  CTransformInputPin* input = m_pTransformFilter->InputPin();
  const CMediaType chosen = CurrentMediaType();
  if (chosen == input->CurrentMediaType()) return hr;
  HRESULT reconnected = m_pTransformFilter->ReconnectPin(input, &chosen);
  if (SUCCEEDED(reconnected)) return hr;
  receivePin->Disconnect();
  Disconnect();
  return reconnected;
}

HRESULT CTransInPlaceOutputPin::CheckMediaType(const CMediaType* mt) {
  HRESULT hr = m_pTransformFilter->CheckInputType(mt);
  if (hr != S_OK) return hr == S_FALSE ? VFW_E_TYPE_NOT_ACCEPTED : hr;
  CTransformInputPin* input = m_pTransformFilter->InputPin();
  if (!input->IsConnected()) return E_UNEXPECTED;
  if (*mt == input->CurrentMediaType()) return S_OK;
  std::lock_guard lock(offeredLock_);
  return std::find(offered_.begin(), offered_.end(), *mt) != offered_.end() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTransInPlaceOutputPin::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (!m_pTransformFilter->InputPin()->IsConnected()) return E_UNEXPECTED;
  if (!connecting_) AskUpstream();
  std::lock_guard lock(offeredLock_);
  if (static_cast<size_t>(position) >= offered_.size()) return VFW_S_NO_MORE_ITEMS;
  return mt->Set(offered_[static_cast<size_t>(position)]);
}

void CTransInPlaceOutputPin::AskUpstream() {
  std::vector<CMediaType> offered;
  IPin* upstream = m_pTransformFilter->InputPin()->GetConnected();
  IEnumMediaTypes* list = nullptr;
  if (upstream != nullptr && SUCCEEDED(upstream->EnumMediaTypes(&list)) && list != nullptr) {
    AM_MEDIA_TYPE* next = nullptr;
    ULONG fetched = 0;
    while (list->Next(1, &next, &fetched) == S_OK && fetched == 1 && next != nullptr) {
      CMediaType type(*next);
      DeleteMediaType(next);
      if (upstream->QueryAccept(&type) == S_OK) offered.push_back(std::move(type));
    }
    list->Release();
  }
  std::lock_guard lock(offeredLock_);
  offered_ = std::move(offered);
}

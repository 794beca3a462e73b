#include "dshow/base_pin.h"

#include <cstring>

#include "com/class_registry.h"
#include "dshow/media_sample.h"

void CopyPinName(const std::u16string& name, WCHAR* buffer, size_t size) {
  size_t n = name.size() < size - 1 ? name.size() : size - 1;
  std::memcpy(buffer, name.data(), n * sizeof(WCHAR));
  buffer[n] = 0;
}

LPWSTR CoTaskStringCopy(const std::u16string& text) {
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  return copy;
}

// ---------------------------------------------------------------- CBasePin

CBasePin::CBasePin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT*, LPCWSTR name,
                   PIN_DIRECTION direction)
    : CUnknown(objectName, nullptr),
      m_pName(name != nullptr ? name : u""),
      m_dir(direction),
      m_pLock(lock),
      m_pFilter(filter) {}

CBasePin::~CBasePin() {
  if (m_Connected != nullptr) m_Connected->Release();
}

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IPin) return GetInterface(static_cast<IPin*>(this), object);
  if (iid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

ULONG CBasePin::NonDelegatingAddRef() { return m_pFilter->AddRef(); }
ULONG CBasePin::NonDelegatingRelease() { return m_pFilter->Release(); }

HRESULT CBasePin::CheckProposedType(const CMediaType* mt) {
  if (!IsFormatBlockValid(*mt)) return VFW_E_TYPE_NOT_ACCEPTED;
  HRESULT hr = CheckMediaType(mt);
  return hr == S_OK ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) {
  if (receivePin == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  if (m_Connected != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION direction;
  if (SUCCEEDED(receivePin->QueryDirection(&direction)) && direction == m_dir) return VFW_E_INVALID_DIRECTION;
  CMediaType partial;
  if (mt != nullptr) {
    if (FAILED(partial.Set(*mt))) return E_OUTOFMEMORY;
  } else {
    partial.majortype = GUID_NULL;
  }
  return AgreeMediaType(receivePin, &partial);
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* mt) {
  if (!mt->IsPartiallySpecified()) return AttemptConnection(receivePin, mt);
  HRESULT firstError = VFW_E_NO_ACCEPTABLE_TYPES;
  for (int pass = 0; pass < 2; ++pass) {
    bool mine = (pass == 0) == (m_bTryMyTypesFirst != FALSE);
    IEnumMediaTypes* types = nullptr;
    HRESULT hr = mine ? EnumMediaTypes(&types) : receivePin->EnumMediaTypes(&types);
    if (FAILED(hr) || types == nullptr) continue;
    hr = TryMediaTypes(receivePin, mt, types);
    types->Release();
    if (SUCCEEDED(hr)) return S_OK;
    // A refusal more telling than "no type fits" is kept and reported.
    if (hr != VFW_E_NO_ACCEPTABLE_TYPES && firstError == VFW_E_NO_ACCEPTABLE_TYPES) firstError = hr;
  }
  return firstError;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types) {
  if (FAILED(types->Reset())) return VFW_E_NO_ACCEPTABLE_TYPES;
  HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
  for (;;) {
    AM_MEDIA_TYPE* next = nullptr;
    ULONG fetched = 0;
    if (types->Next(1, &next, &fetched) != S_OK || fetched != 1 || next == nullptr) break;
    CMediaType candidate(*next);
    DeleteMediaType(next);
    if (partial->majortype != GUID_NULL && !candidate.MatchesPartial(partial)) continue;
    HRESULT hr = AttemptConnection(receivePin, &candidate);
    if (SUCCEEDED(hr)) return S_OK;
    if (hr != VFW_E_TYPE_NOT_ACCEPTED && hr != E_FAIL && result == VFW_E_NO_ACCEPTABLE_TYPES) result = hr;
  }
  return result;
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* mt) {
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  hr = CheckProposedType(mt);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  m_Connected = receivePin;
  m_Connected->AddRef();
  hr = SetMediaType(mt);
  if (SUCCEEDED(hr)) {
    hr = receivePin->ReceiveConnection(static_cast<IPin*>(this), mt);
    if (SUCCEEDED(hr)) {
      hr = CompleteConnect(receivePin);
      if (SUCCEEDED(hr)) return S_OK;
      receivePin->Disconnect();
    }
  }
  BreakConnect();
  m_Connected->Release();
  m_Connected = nullptr;
  return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
  if (connector == nullptr || mt == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  if (m_Connected != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (!IsStopped() && !m_bCanReconnectWhenActive) return VFW_E_NOT_STOPPED;
  HRESULT hr = CheckConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  CMediaType type;
  if (FAILED(type.Set(*mt))) return E_OUTOFMEMORY;
  hr = CheckProposedType(&type);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  m_Connected = connector;
  m_Connected->AddRef();
  hr = SetMediaType(&type);
  if (SUCCEEDED(hr)) {
    hr = CompleteConnect(connector);
    if (SUCCEEDED(hr)) return S_OK;
  }
  BreakConnect();
  m_Connected->Release();
  m_Connected = nullptr;
  return hr;
}

HRESULT CBasePin::Disconnect() {
  CAutoLock lock(m_pLock);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal() {
  CAutoLock lock(m_pLock);
  if (m_Connected == nullptr) return S_FALSE;
  HRESULT hr = BreakConnect();
  if (FAILED(hr)) return hr;
  m_Connected->Release();
  m_Connected = nullptr;
  return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  *pin = m_Connected;
  if (m_Connected == nullptr) return VFW_E_NOT_CONNECTED;
  m_Connected->AddRef();
  return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
  if (mt == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  if (m_Connected == nullptr) {
    std::memset(mt, 0, sizeof *mt);
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(mt, &m_mt);
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) return E_POINTER;
  info->pFilter = m_pFilter;
  m_pFilter->AddRef();
  CopyPinName(m_pName, info->achName, MAX_PIN_NAME);
  info->dir = m_dir;
  return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) return E_POINTER;
  *direction = m_dir;
  return S_OK;
}

HRESULT CBasePin::QueryId(LPWSTR* id) {
  if (id == nullptr) return E_POINTER;
  *id = CoTaskStringCopy(m_pName);
  return *id != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* mt) {
  if (mt == nullptr) return E_POINTER;
  CMediaType type;
  if (FAILED(type.Set(*mt))) return E_OUTOFMEMORY;
  return CheckProposedType(&type) == S_OK ? S_OK : S_FALSE;
}

HRESULT CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (types == nullptr) return E_POINTER;
  *types = new CEnumMediaTypes(this, nullptr);
  return S_OK;
}

HRESULT CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT CBasePin::EndOfStream() { return S_OK; }

HRESULT CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  m_tStart = start;
  m_tStop = stop;
  m_dRate = rate;
  return S_OK;
}

HRESULT CBasePin::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

HRESULT CBasePin::SetSink(IQualityControl* sink) {
  CAutoLock lock(m_pLock);
  m_pQSink = sink;
  return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* mt) { return m_mt.Set(*mt); }

HRESULT CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION direction;
  HRESULT hr = pin->QueryDirection(&direction);
  if (FAILED(hr)) return hr;
  return direction == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() { return S_OK; }
HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }
HRESULT CBasePin::GetMediaType(int, CMediaType*) { return E_UNEXPECTED; }

HRESULT CBasePin::Inactive() {
  m_bRunTimeError = FALSE;
  return S_OK;
}

HRESULT CBasePin::Run(REFERENCE_TIME) { return S_OK; }

// ---------------------------------------------------------- CBaseOutputPin

CBaseOutputPin::CBaseOutputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* hr,
                               LPCWSTR name)
    : CBasePin(objectName, filter, lock, hr, name, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() {
  if (m_pAllocator != nullptr) m_pAllocator->Release();
  if (m_pInputPin != nullptr) m_pInputPin->Release();
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
  HRESULT hr = CBasePin::CheckConnect(pin);
  if (FAILED(hr)) return hr;
  IMemInputPin* input = nullptr;
  if (FAILED(pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)))) return E_NOINTERFACE;
  if (m_pInputPin != nullptr) m_pInputPin->Release();
  m_pInputPin = input;
  return S_OK;
}

namespace {

// Lets go of a pin's allocator, decommitted so its buffers are freed.
void DropAllocator(IMemAllocator*& allocator) {
  if (allocator == nullptr) return;
  allocator->Decommit();
  allocator->Release();
  allocator = nullptr;
}

}  // namespace

HRESULT CBaseOutputPin::BreakConnect() {
  DropAllocator(m_pAllocator);
  if (m_pInputPin != nullptr) {
    m_pInputPin->Release();
    m_pInputPin = nullptr;
  }
  return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) { return DecideAllocator(m_pInputPin, &m_pAllocator); }

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) {
  if (pin == nullptr) return VFW_E_NOT_CONNECTED;
  ALLOCATOR_PROPERTIES request{};
  pin->GetAllocatorRequirements(&request);  // a pin without requirements leaves them zero
  if (request.cbAlign == 0) request.cbAlign = 1;

  // The input pin's allocator first, then our own; one that cannot be sized
  // or is refused is let go.
  auto settle = [&](HRESULT hr) {
    if (SUCCEEDED(hr) && *allocator == nullptr) hr = VFW_E_NO_ALLOCATOR;
    if (SUCCEEDED(hr)) hr = DecideBufferSize(*allocator, &request);
    if (SUCCEEDED(hr)) hr = pin->NotifyAllocator(*allocator, FALSE);
    if (SUCCEEDED(hr)) return S_OK;
    if (*allocator != nullptr) {
      (*allocator)->Release();
      *allocator = nullptr;
    }
    return hr;
  };
  *allocator = nullptr;
  if (SUCCEEDED(settle(pin->GetAllocator(allocator)))) return S_OK;
  return settle(InitAllocator(allocator));
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator) { return CMemAllocator::Create(allocator); }

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          DWORD flags) {
  if (m_pAllocator == nullptr) return VFW_E_NO_ALLOCATOR;
  return m_pAllocator->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  if (m_pInputPin == nullptr) return VFW_E_NOT_CONNECTED;
  return m_pInputPin->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  if (m_Connected == nullptr) return VFW_E_NOT_CONNECTED;
  return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
  if (m_Connected == nullptr) return VFW_E_NOT_CONNECTED;
  return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
  if (m_Connected == nullptr) return VFW_E_NOT_CONNECTED;
  return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (m_Connected == nullptr) return VFW_E_NOT_CONNECTED;
  return m_Connected->NewSegment(start, stop, rate);
}

HRESULT CBaseOutputPin::Active() {
  if (m_pAllocator == nullptr) return VFW_E_NO_ALLOCATOR;
  return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive() {
  m_bRunTimeError = FALSE;
  if (m_pAllocator == nullptr) return VFW_E_NO_ALLOCATOR;
  return m_pAllocator->Decommit();
}

// ----------------------------------------------------------- CBaseInputPin

CBaseInputPin::CBaseInputPin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* hr,
                             LPCWSTR name)
    : CBasePin(objectName, filter, lock, hr, name, PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() {
  if (m_pAllocator != nullptr) m_pAllocator->Release();
}

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), object);
  return CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (allocator == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  if (m_pAllocator == nullptr) {
    HRESULT hr = CMemAllocator::Create(&m_pAllocator);
    if (FAILED(hr)) return hr;
  }
  *allocator = m_pAllocator;
  m_pAllocator->AddRef();
  return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (allocator == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  allocator->AddRef();
  if (m_pAllocator != nullptr) m_pAllocator->Release();
  m_pAllocator = allocator;
  m_bReadOnly = readOnly;
  return S_OK;
}

HRESULT CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT CBaseInputPin::CheckStreaming() {
  if (!IsConnected()) return VFW_E_NOT_CONNECTED;
  if (IsStopped()) return VFW_E_WRONG_STATE;
  if (m_bFlushing) return S_FALSE;
  if (m_bRunTimeError) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

HRESULT CBaseInputPin::Receive(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  AM_MEDIA_TYPE* changed = nullptr;
  if (sample->GetMediaType(&changed) == S_OK && changed != nullptr) {
    CMediaType type(*changed);
    DeleteMediaType(changed);
    if (CheckProposedType(&type) != S_OK) {
      // A stream whose type turns unacceptable cannot go on.
      m_bRunTimeError = TRUE;
      EndOfStream();
      m_pFilter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
      return VFW_E_INVALIDMEDIATYPE;
    }
    hr = SetMediaType(&type);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
  if (samples == nullptr || processed == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  *processed = 0;
  while (count-- > 0) {
    hr = Receive(samples[*processed]);
    if (hr != S_OK) break;
    ++*processed;
  }
  return hr;
}

HRESULT CBaseInputPin::ReceiveCanBlock() { return S_OK; }

HRESULT CBaseInputPin::BeginFlush() {
  CAutoLock lock(m_pLock);
  m_bFlushing = TRUE;
  return S_OK;
}

HRESULT CBaseInputPin::EndFlush() {
  CAutoLock lock(m_pLock);
  m_bFlushing = FALSE;
  m_bRunTimeError = FALSE;
  return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
  DropAllocator(m_pAllocator);
  return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
  m_bRunTimeError = FALSE;
  if (m_pAllocator == nullptr) return VFW_E_NO_ALLOCATOR;
  m_bFlushing = FALSE;
  return m_pAllocator->Decommit();
}

// -------------------------------------------------------------- enumerators

bool PinEnumTraits::Get(CBaseFilter* filter, int index, IPin** pin) {
  if (index >= filter->GetPinCount()) return false;
  CBasePin* found = filter->GetPin(index);
  if (found == nullptr) return false;
  found->AddRef();
  *pin = found;
  return true;
}

bool MediaTypeEnumTraits::Get(CBasePin* pin, int index, AM_MEDIA_TYPE** type) {
  CMediaType mt;
  if (pin->GetMediaType(index, &mt) != S_OK) return false;
  *type = CreateMediaType(&mt);
  return *type != nullptr;
}

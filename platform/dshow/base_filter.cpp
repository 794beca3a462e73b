#include "dshow/base_filter.h"

#include "com/class_registry.h"
#include "dshow/base_pin.h"
#include "dshow/filter_category.h"

CBaseFilter::CBaseFilter(const char* name, IUnknown* outer, CCritSec* lock, REFCLSID clsid)
    : CUnknown(name, outer), m_clsid(clsid), m_pLock(lock) {}

CBaseFilter::CBaseFilter(const char* name, IUnknown* outer, CCritSec* lock, REFCLSID clsid, HRESULT*)
    : CBaseFilter(name, outer, lock, clsid) {}

CBaseFilter::~CBaseFilter() {
  if (m_pClock != nullptr) m_pClock->Release();
}

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IBaseFilter) return GetInterface(static_cast<IBaseFilter*>(this), object);
  if (iid == IID_IMediaFilter) return GetInterface(static_cast<IMediaFilter*>(this), object);
  if (iid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), object);
  if (iid == IID_IAMovieSetup) return GetInterface(static_cast<IAMovieSetup*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseFilter::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = m_clsid;
  return S_OK;
}

HRESULT CBaseFilter::Stop() {
  CAutoLock lock(m_pLock);
  HRESULT result = S_OK;
  if (m_State != State_Stopped) {
    for (int i = 0, n = GetPinCount(); i < n; ++i) {
      CBasePin* pin = GetPin(i);
      if (pin != nullptr && pin->IsConnected()) {
        HRESULT hr = pin->Inactive();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
      }
    }
  }
  m_State = State_Stopped;
  return result;
}

HRESULT CBaseFilter::Pause() {
  CAutoLock lock(m_pLock);
  if (m_State == State_Stopped) {
    for (int i = 0, n = GetPinCount(); i < n; ++i) {
      CBasePin* pin = GetPin(i);
      if (pin != nullptr && pin->IsConnected()) {
        HRESULT hr = pin->Active();
        if (FAILED(hr)) {
          // The filter stays stopped, and a Stop of a stopped filter does
          // nothing, so the pins started so far (and the failed one, which
          // may have got half way) are stopped here.
          for (int j = 0; j <= i; ++j) {
            CBasePin* started = GetPin(j);
            if (started != nullptr && started->IsConnected()) started->Inactive();
          }
          return hr;
        }
      }
    }
  }
  m_State = State_Paused;
  return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start) {
  CAutoLock lock(m_pLock);
  m_tStart = start;
  if (m_State == State_Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  if (m_State != State_Running) {
    for (int i = 0, n = GetPinCount(); i < n; ++i) {
      CBasePin* pin = GetPin(i);
      if (pin != nullptr && pin->IsConnected()) {
        HRESULT hr = pin->Run(start);
        if (FAILED(hr)) return hr;
      }
    }
  }
  m_State = State_Running;
  return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  *state = m_State;
  return S_OK;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  CAutoLock lock(m_pLock);
  if (clock != nullptr) clock->AddRef();
  if (m_pClock != nullptr) m_pClock->Release();
  m_pClock = clock;
  return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  *clock = m_pClock;
  if (m_pClock != nullptr) m_pClock->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::StreamTime(CRefTime& streamTime) {
  if (m_pClock == nullptr) return VFW_E_NO_CLOCK;
  REFERENCE_TIME now;
  HRESULT hr = m_pClock->GetTime(&now);
  if (FAILED(hr)) return hr;
  streamTime = now - m_tStart;
  return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** pins) {
  if (pins == nullptr) return E_POINTER;
  *pins = new CEnumPins(this, nullptr);
  return S_OK;
}

HRESULT CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (pin == nullptr || id == nullptr) return E_POINTER;
  CAutoLock lock(m_pLock);
  for (int i = 0, n = GetPinCount(); i < n; ++i) {
    CBasePin* candidate = GetPin(i);
    if (candidate != nullptr && candidate->Name() == id) {
      *pin = candidate;
      candidate->AddRef();
      return S_OK;
    }
  }
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) return E_POINTER;
  CopyPinName(m_pName, info->achName, MAX_FILTER_NAME);
  info->pGraph = m_pGraph;
  if (m_pGraph != nullptr) m_pGraph->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  CAutoLock lock(m_pLock);
  m_pGraph = graph;
  m_pSink = nullptr;
  if (graph != nullptr) {
    // Kept without a reference, like the graph itself.
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&m_pSink)))) {
      m_pSink->Release();
    } else {
      m_pSink = nullptr;
    }
  }
  m_pName = name != nullptr ? std::u16string(name) : std::u16string();
  return S_OK;
}

HRESULT CBaseFilter::QueryVendorInfo(LPWSTR* vendorInfo) {
  if (vendorInfo != nullptr) *vendorInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT CBaseFilter::Register() {
  const AMOVIESETUP_FILTER* setup = GetSetupData();
  if (setup == nullptr) return S_FALSE;
  return tlx::dshow::RegisterFilterSetup(*setup);
}

HRESULT CBaseFilter::Unregister() {
  const AMOVIESETUP_FILTER* setup = GetSetupData();
  if (setup == nullptr) return S_FALSE;
  return tlx::dshow::UnregisterFilterSetup(*setup->clsID);
}

BOOL CBaseFilter::IsActive() {
  CAutoLock lock(m_pLock);
  return m_State != State_Stopped;
}

BOOL CBaseFilter::IsStopped() { return m_State == State_Stopped; }

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = m_pSink;
  if (sink == nullptr) return E_NOTIMPL;
  if (code == EC_COMPLETE) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  return sink->Notify(code, param1, param2);
}

HRESULT CBaseFilter::ReconnectPin(IPin* pin, const AM_MEDIA_TYPE* mt) {
  if (m_pGraph == nullptr) return E_NOINTERFACE;
  IFilterGraph2* graph2 = nullptr;
  if (SUCCEEDED(m_pGraph->QueryInterface(IID_IFilterGraph2, reinterpret_cast<void**>(&graph2)))) {
    HRESULT hr = graph2->ReconnectEx(pin, mt);
    graph2->Release();
    return hr;
  }
  return m_pGraph->Reconnect(pin);
}

// The base class's operations: the graph's interfaces, the video window, the
// volume and the building blocks of graph construction.
#include "engine/tlx_pc_stm_mode_if.h"

#include <new>
#include <utility>

#include "com/automation.h"
#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "common/tlx_pc_cmn_region.h"
#include "common/tlx_pc_cmn_system.h"
#include "dshow/errors.h"
#include "dshow/guids.h"
#include "engine/tlx_pc_stm_com_loader.h"
#include "win32/modules.h"

using tlx::com::ComPtr;

namespace {

// Takes the pointer out of the member under the lock; the caller releases it.
template <typename T>
T* TakeOut(std::mutex& lock, T*& member) {
  std::lock_guard<std::mutex> hold(lock);
  return std::exchange(member, nullptr);
}

template <typename T>
void ReleaseTaken(T* p) {
  if (p != nullptr) p->Release();
}

bool FriendlyNameIs(IMoniker* moniker, const WCHAR* name) {
  ComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.ReceiveVoid()))) return false;
  VARIANT value;
  VariantInit(&value);
  bool equal = false;
  if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal != nullptr) {
    equal = std::u16string_view(value.bstrVal) == std::u16string_view(name);
  }
  VariantClear(&value);
  return equal;
}

}  // namespace

CTlxPcStmModeIf::CTlxPcStmModeIf(int classId)
    : m_errInfo(kTlxPcStmModuleId, kTlxPcStmClassBase, 252, 0, 0),
      m_nColorSystem(TlxPcCmnGetDefaultColorSystem()),
      m_nClassId(classId) {}

CTlxPcStmModeIf::~CTlxPcStmModeIf() { CTlxPcStmModeIf::vCleanup(); }

int CTlxPcStmModeIf::bInitialize(TlxPcStmNotifyProc notify, TlxPcStmTvStatusProc tvStatus,
                                 TlxPcStmRestartProc restart, CWnd* owner, void* user) {
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_pNotify = notify;
  m_pTvStatus = tvStatus;
  m_pRestart = restart;
  m_pOwnerWnd = owner;
  m_pUser = user;
  return TRUE;
}

void CTlxPcStmModeIf::vSetServerAddress(const WCHAR* address, int port) {
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_strServerAddress = CString(address);
  m_nServerPort = port;
}

int CTlxPcStmModeIf::bRunMovie() {
  ComPtr<IMediaControl> control = ComPtr<IMediaControl>::Attach(pAddRefUnderLock(m_pMediaControl));
  if (!control) {
    vSetFailure(297, 3, S_OK);
    return FALSE;
  }
  HRESULT hr = control->Run();
  if (bCheckFailed(hr)) {
    vSetErrInfo(305, 4);
    return FALSE;
  }
  return TRUE;
}

int CTlxPcStmModeIf::bStopMovie() {
  ComPtr<IMediaControl> control = ComPtr<IMediaControl>::Attach(pAddRefUnderLock(m_pMediaControl));
  if (!control) {
    vSetFailure(88, 3, S_OK);
    return FALSE;
  }
  int result = TRUE;
  ComPtr<IVideoWindow> window = ComPtr<IVideoWindow>::Attach(pAddRefUnderLock(m_pVideoWindow));
  if (window) {
    const HRESULT hr = window->put_Visible(OAFALSE);
    if (FAILED(hr)) {
      vSetFailure(97, 12, hr);
      result = FALSE;
    }
  }
  const HRESULT hr = control->Stop();
  if (FAILED(hr)) {
    vSetFailure(105, 5, hr);
    result = FALSE;
  }
  return result;
}

int CTlxPcStmModeIf::bSetMoviePosition(int x, int y, int width, int height) {
  ComPtr<IVideoWindow> window = ComPtr<IVideoWindow>::Attach(pAddRefUnderLock(m_pVideoWindow));
  if (!window) {
    std::lock_guard<std::mutex> hold(m_stateLock);
    m_hrLast = S_OK;
    return FALSE;
  }
  HRESULT hr = window->SetWindowPosition(x, y, width, height);
  if (bCheckFailed(hr)) {
    vSetErrInfo(130, 13);
    return FALSE;
  }
  return TRUE;
}

int CTlxPcStmModeIf::bGetVideoSize(long& width, long& height) {
  ComPtr<IBasicVideo> video = ComPtr<IBasicVideo>::Attach(pAddRefUnderLock(m_pBasicVideo));
  if (!video) {
    vSetFailure(144, 3, S_OK);
    return FALSE;
  }
  HRESULT hr = video->GetVideoSize(&width, &height);
  if (bCheckFailed(hr)) {
    vSetErrInfo(151, 6);
    return FALSE;
  }
  return TRUE;
}

int CTlxPcStmModeIf::bSetVolume(long volume) {
  ComPtr<IBasicAudio> audio = ComPtr<IBasicAudio>::Attach(pAddRefUnderLock(m_pBasicAudio));
  if (!audio) {
    vSetFailure(166, 3, S_OK);
    return FALSE;
  }
  HRESULT hr = audio->put_Volume(volume - 10000);
  if (bCheckFailed(hr)) {
    vSetErrInfo(174, 11);
    return FALSE;
  }
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_lVolume = volume;
  return TRUE;
}

int CTlxPcStmModeIf::bGetVolume(long& volume) {
  std::lock_guard<std::mutex> hold(m_stateLock);
  volume = m_lVolume;
  return TRUE;
}

int CTlxPcStmModeIf::bIsRanMovie() {
  ComPtr<IMediaControl> control = ComPtr<IMediaControl>::Attach(pAddRefUnderLock(m_pMediaControl));
  if (!control) {
    vSetFailure(207, 3, S_OK);
    return FALSE;
  }
  OAFilterState state = State_Stopped;
  HRESULT hr = control->GetState(0, &state);
  return !bCheckFailed(hr) && state == State_Running;
}

void CTlxPcStmModeIf::vGetLastErrorInfo(CTlxPcCmnErrInfo& info) {
  std::lock_guard<std::mutex> hold(m_stateLock);
  info = m_errInfo;
}

HRESULT CTlxPcStmModeIf::hGetLastErrorCodeForDirectX() {
  std::lock_guard<std::mutex> hold(m_stateLock);
  return m_hrLast;
}

int CTlxPcStmModeIf::GetChangeStateError() { return 0; }

int CTlxPcStmModeIf::bSendFlashBuffers() { return TRUE; }

void CTlxPcStmModeIf::vSetBaseCodecType(eCodec) {}

int CTlxPcStmModeIf::bSetupTVParams(int, const WCHAR*) { return TRUE; }

int CTlxPcStmModeIf::bSetOwnerWnd(CWnd* owner) {
  ComPtr<IVideoWindow> window = ComPtr<IVideoWindow>::Attach(pAddRefUnderLock(m_pVideoWindow));
  if (!window) {
    vSetFailure(263, 3, S_OK);
    return FALSE;
  }
  const OAHWND handle = owner == nullptr ? 0 : reinterpret_cast<OAHWND>(owner->GetSafeHwnd());
  HRESULT hr = window->put_Owner(handle);
  if (bCheckFailed(hr)) {
    vSetErrInfo(270, 8);
    return FALSE;
  }
  hr = window->put_MessageDrain(handle);
  if (bCheckFailed(hr)) {
    vSetErrInfo(277, 9);
    return FALSE;
  }
  hr = window->put_WindowStyle(static_cast<long>(WS_CHILD | WS_CLIPSIBLINGS));
  if (bCheckFailed(hr)) {
    vSetErrInfo(284, 10);
    return FALSE;
  }
  return TRUE;
}

void CTlxPcStmModeIf::vSetErrInfo(int line, int errorId) {
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_errInfo.vSetErrInfo(kTlxPcStmModuleId, m_nClassId, line, errorId, 0);
}

void CTlxPcStmModeIf::vSetFailure(int line, int errorId, HRESULT hr) {
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_errInfo.vSetErrInfo(kTlxPcStmModuleId, m_nClassId, line, errorId, 0);
  m_hrLast = hr;
}

void CTlxPcStmModeIf::vCleanup() {
  ReleaseTaken(TakeOut(m_stateLock, m_pMediaPosition));
  ReleaseTaken(TakeOut(m_stateLock, m_pMediaEvent));
  ReleaseTaken(TakeOut(m_stateLock, m_pBasicAudio));
  ReleaseTaken(TakeOut(m_stateLock, m_pBasicVideo));
  if (IVideoWindow* window = TakeOut(m_stateLock, m_pVideoWindow)) {
    window->put_Visible(OAFALSE);
    window->put_Owner(0);
    window->Release();
  }
  ReleaseTaken(TakeOut(m_stateLock, m_pMediaControl));
  CTlxPcStmModeIf::vRemoveAllFilters();
  ReleaseTaken(TakeOut(m_stateLock, m_pGraph));
}

void CTlxPcStmModeIf::vRemoveAllFilters() {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  if (!graph) return;
  for (;;) {
    ComPtr<IEnumFilters> filters;
    if (FAILED(graph->EnumFilters(filters.Receive())) || !filters) return;
    ComPtr<IBaseFilter> filter;
    ULONG fetched = 0;
    if (filters->Next(1, filter.Receive(), &fetched) != S_OK || !filter) return;
    if (FAILED(graph->RemoveFilter(filter.Get()))) return;
  }
}

void CTlxPcStmModeIf::vSafeRelease(IBaseFilter** filter) {
  if (filter != nullptr && *filter != nullptr) {
    (*filter)->Release();
    *filter = nullptr;
  }
}

HRESULT CTlxPcStmModeIf::hCreateFilterGraph() {
  IGraphBuilder* graph = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph));
  IGraphBuilder* previous = nullptr;
  {
    std::lock_guard<std::mutex> hold(m_stateLock);
    m_hrLast = hr;
    if (SUCCEEDED(hr)) previous = std::exchange(m_pGraph, graph);
  }
  ReleaseTaken(previous);
  return hr;
}

HRESULT CTlxPcStmModeIf::hGetInterface() {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  if (!graph) return E_FAIL;
  // Each interface is kept as soon as it is obtained, replacing an older one.
  auto keep = [this, &graph](REFIID iid, auto*& member) { return hKeepGraphInterface(graph.Get(), iid, member); };
  HRESULT hr = keep(IID_IMediaControl, m_pMediaControl);
  if (SUCCEEDED(hr)) hr = keep(IID_IVideoWindow, m_pVideoWindow);
  if (SUCCEEDED(hr)) hr = keep(IID_IBasicVideo, m_pBasicVideo);
  if (SUCCEEDED(hr)) hr = keep(IID_IBasicAudio, m_pBasicAudio);
  if (SUCCEEDED(hr)) hr = keep(IID_IMediaEvent, m_pMediaEvent);
  if (SUCCEEDED(hr)) hr = keep(IID_IMediaPosition, m_pMediaPosition);
  if (FAILED(hr)) return hr;
  ComPtr<IMediaEvent> events = ComPtr<IMediaEvent>::Attach(pAddRefUnderLock(m_pMediaEvent));
  ComPtr<IVideoWindow> window = ComPtr<IVideoWindow>::Attach(pAddRefUnderLock(m_pVideoWindow));
  hr = events->CancelDefaultHandling(EC_DISPLAY_CHANGED);
  if (SUCCEEDED(hr)) hr = events->CancelDefaultHandling(EC_NEED_RESTART);
  if (SUCCEEDED(hr)) hr = window->put_AutoShow(OAFALSE);
  if (SUCCEEDED(hr)) hr = window->put_Visible(OAFALSE);
  return hr;
}

HRESULT CTlxPcStmModeIf::hAddFilter(const GUID& clsid, const WCHAR* name, IBaseFilter** filter) {
  if (filter == nullptr) return E_POINTER;
  *filter = nullptr;
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  if (!graph) return E_FAIL;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(filter));
  if (FAILED(hr)) return hr;
  hr = graph->AddFilter(*filter, name);
  if (FAILED(hr)) vSafeRelease(filter);
  return hr;
}

HRESULT CTlxPcStmModeIf::hAddFilter(const WCHAR* friendlyName, IBaseFilter** filter) {
  if (filter == nullptr || friendlyName == nullptr) return E_POINTER;
  *filter = nullptr;
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  if (!graph) return E_FAIL;
  ComPtr<ICreateDevEnum> devices;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devices.ReceiveVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IEnumMoniker> monikers;
  // An empty category answers S_FALSE and no enumerator: nothing to find.
  if (devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, monikers.Receive(), 0) != S_OK || !monikers) {
    return E_FAIL;
  }
  ComPtr<IMoniker> moniker;
  ULONG fetched = 0;
  while (monikers->Next(1, moniker.Receive(), &fetched) == S_OK && moniker) {
    if (!FriendlyNameIs(moniker.Get(), friendlyName)) continue;
    hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
    if (FAILED(hr)) return hr;
    hr = graph->AddFilter(*filter, friendlyName);
    if (FAILED(hr)) vSafeRelease(filter);
    return hr;
  }
  return E_FAIL;
}

HRESULT CTlxPcStmModeIf::hAddFilterDll(const GUID& clsid, const WCHAR* file, IBaseFilter** filter,
                                       CTlxPcStmComLoader** loader) {
  if (filter == nullptr || loader == nullptr) return E_POINTER;
  *filter = nullptr;
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  if (!graph) return E_FAIL;
  delete std::exchange(*loader, nullptr);
  *loader = new (std::nothrow) CTlxPcStmComLoader(file);
  if (*loader == nullptr) return E_FAIL;
  HMODULE module = (*loader)->hGetModule();
  if (module == nullptr) return REGDB_E_CLASSNOTREG;
  auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(module, kDllGetClassObjectName));
  if (getClassObject == nullptr) return REGDB_E_CLASSNOTREG;
  ComPtr<IClassFactory> factory;
  HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.ReceiveVoid());
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
  factory.Reset();
  if (FAILED(hr)) return hr;
  hr = graph->AddFilter(*filter, nullptr);
  if (FAILED(hr)) vSafeRelease(filter);
  return hr;
}

HRESULT CTlxPcStmModeIf::hConnectPinToFilter(IPin* out, IBaseFilter* to) {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  if (!graph) return E_FAIL;
  ComPtr<IPin> in;
  HRESULT hr = hGetUnconnectedPin(to, PINDIR_INPUT, in.Receive());
  if (FAILED(hr)) return hr;
  return graph->ConnectDirect(out, in.Get(), nullptr);
}

HRESULT CTlxPcStmModeIf::hConnectFilters(IBaseFilter* from, IBaseFilter* to) {
  ComPtr<IGraphBuilder> graph = ComPtr<IGraphBuilder>::Attach(pAddRefUnderLock(m_pGraph));
  if (!graph) return E_FAIL;
  ComPtr<IPin> out;
  HRESULT hr = hGetUnconnectedPin(from, PINDIR_OUTPUT, out.Receive());
  if (FAILED(hr)) return hr;
  return hConnectPinToFilter(out.Get(), to);
}

HRESULT CTlxPcStmModeIf::hGetUnconnectedPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin) {
  if (pin == nullptr || filter == nullptr) return E_POINTER;
  *pin = nullptr;
  ComPtr<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(pins.Receive());
  if (FAILED(hr)) return hr;
  ComPtr<IPin> candidate;
  ULONG fetched = 0;
  while (pins->Next(1, candidate.Receive(), &fetched) == S_OK && candidate) {
    PIN_DIRECTION found = PINDIR_INPUT;
    if (FAILED(candidate->QueryDirection(&found)) || found != direction) continue;
    ComPtr<IPin> peer;
    if (SUCCEEDED(candidate->ConnectedTo(peer.Receive()))) continue;
    *pin = candidate.Detach();
    return S_OK;
  }
  return E_FAIL;
}

int CTlxPcStmModeIf::bCheckFailed(HRESULT& hr) {
  std::lock_guard<std::mutex> hold(m_stateLock);
  m_hrLast = hr;
  return FAILED(hr) ? TRUE : FALSE;
}

eVMRType CTlxPcStmModeIf::eGetNextProperVMRType(eVMRType kind) {
  if (TlxPcCmnIsWindowsVistaOrNewer()) {
    switch (kind) {
      case eVMRTypeNone: return eVMRType9;
      case eVMRType9: return eVMRType7;
      case eVMRType7: return eVMRTypeOld;
      default: return eVMRTypeNone;
    }
  }
  switch (kind) {
    case eVMRTypeNone: return eVMRType7;
    case eVMRType7: return eVMRType9;
    case eVMRType9: return eVMRTypeOld;
    default: return eVMRTypeNone;
  }
}

int CTlxPcStmModeIf::bAddVideoRenderer(IBaseFilter*& renderer, eVMRType kind) {
  switch (kind) {
    case eVMRType9: return SUCCEEDED(hAddFilter(CLSID_VideoMixingRenderer9, u"Video Mixing Renderer Filter", &renderer));
    case eVMRTypeOld: return SUCCEEDED(hAddFilter(CLSID_VideoRenderer, u"Video Renderer", &renderer));
    case eVMRType7: return SUCCEEDED(hAddFilter(CLSID_VideoMixingRenderer, u"Video Renderer", &renderer));
    default: return FALSE;
  }
}

eVMRType CTlxPcStmModeIf::eAddProperVideoRenderer(IBaseFilter*& renderer, eVMRType kind) {
  for (eVMRType tried = kind == eVMRTypeNone ? eGetNextProperVMRType(eVMRTypeNone) : kind; tried != eVMRTypeNone;
       tried = eGetNextProperVMRType(tried)) {
    if (bAddVideoRenderer(renderer, tried)) return tried;
  }
  return eVMRTypeNone;
}

void CTlxPcStmModeIf::vSetAspectRatioModeNone(IBaseFilter* renderer, eVMRType kind) {
  if (renderer == nullptr) return;
  if (kind == eVMRType9) {
    ComPtr<IVMRAspectRatioControl9> control;
    if (SUCCEEDED(renderer->QueryInterface(IID_IVMRAspectRatioControl9, control.ReceiveVoid()))) {
      control->SetAspectRatioMode(VMR_ARMODE_NONE);
    }
    return;
  }
  ComPtr<IVMRAspectRatioControl> control;
  if (SUCCEEDED(renderer->QueryInterface(IID_IVMRAspectRatioControl, control.ReceiveVoid()))) {
    control->SetAspectRatioMode(VMR_ARMODE_NONE);
  }
}

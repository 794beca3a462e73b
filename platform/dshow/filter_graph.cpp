#include "dshow/internal/filter_graph.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "dshow/am_thread.h"
#include "dshow/base_pin.h"
#include "dshow/pos_pass_thru.h"
#include "dshow/reference_clock.h"
#include "dshow/internal/snapshot_enum.h"
#include "win32/timing.h"

namespace tlx::dshow {
namespace {

using com::ComPtr;

struct PinLink {
  ComPtr<IPin> pin;
  PIN_DIRECTION direction;
  ComPtr<IPin> peer;  // empty when unconnected
};

std::vector<PinLink> PinsOf(IBaseFilter* filter) {
  std::vector<PinLink> links;
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.Receive())) || !pins) return links;
  for (;;) {
    IPin* raw = nullptr;
    ULONG fetched = 0;
    if (pins->Next(1, &raw, &fetched) != S_OK || fetched != 1) break;
    PinLink link{ComPtr<IPin>::Attach(raw), PINDIR_INPUT, {}};
    raw->QueryDirection(&link.direction);
    raw->ConnectedTo(link.peer.Receive());
    links.push_back(std::move(link));
  }
  return links;
}

ComPtr<IBaseFilter> FilterOfPin(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return {};
  return ComPtr<IBaseFilter>::Attach(info.pFilter);
}

// A filter that takes data in and passes nothing on.
bool IsRenderer(IBaseFilter* filter) {
  bool input = false;
  for (const PinLink& link : PinsOf(filter)) {
    if (!link.peer) continue;
    if (link.direction == PINDIR_OUTPUT) return false;
    input = true;
  }
  return input;
}

IBaseFilter* HandFilter(const ComPtr<IBaseFilter>& filter) {
  filter->AddRef();
  return filter.Get();
}
using CEnumFilters = SnapshotEnum<IEnumFilters, IBaseFilter, ComPtr<IBaseFilter>, IID_IEnumFilters, HandFilter>;

constexpr long kDefaultHandled[] = {EC_COMPLETE,         EC_REPAINT,          EC_NEED_RESTART, EC_DISPLAY_CHANGED,
                                    EC_ACTIVATE,         EC_WINDOW_DESTROYED, EC_STARVATION,   EC_CLOCK_CHANGED};

bool IsDefaultHandled(long code) {
  return std::find(std::begin(kDefaultHandled), std::end(kDefaultHandled), code) != std::end(kDefaultHandled);
}

class CFilterGraph final : public CUnknown,
                           public IFilterGraph2,
                           public IMediaControl,
                           public IMediaEventEx,
                           public IMediaEventSink,
                           public IMediaFilter,
                           public IMediaSeeking,
                           public CMediaPosition,
                           public IVideoWindow,
                           public IBasicVideo,
                           public IBasicAudio,
                           public IAMGraphStreams {
 public:
  CFilterGraph(IUnknown* outer) : CUnknown("filter graph", outer), m_EventAvailable(TRUE), m_Completion(TRUE) {}

  ~CFilterGraph() override {
    Stop();
    while (!m_Filters.empty()) RemoveFilter(m_Filters.back().filter.Get());
  }

  DECLARE_IUNKNOWN
  TLX_NO_DISPATCH

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IFilterGraph) return GetInterface(static_cast<IFilterGraph*>(this), object);
    if (iid == IID_IGraphBuilder) return GetInterface(static_cast<IGraphBuilder*>(this), object);
    if (iid == IID_IFilterGraph2) return GetInterface(static_cast<IFilterGraph2*>(this), object);
    if (iid == IID_IMediaControl) return GetInterface(static_cast<IMediaControl*>(this), object);
    if (iid == IID_IMediaEvent) return GetInterface(static_cast<IMediaEvent*>(this), object);
    if (iid == IID_IMediaEventEx) return GetInterface(static_cast<IMediaEventEx*>(this), object);
    if (iid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink*>(this), object);
    if (iid == IID_IMediaFilter) return GetInterface(static_cast<IMediaFilter*>(this), object);
    if (iid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), object);
    if (iid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking*>(this), object);
    if (iid == IID_IMediaPosition) return GetInterface(static_cast<IMediaPosition*>(this), object);
    if (iid == IID_IVideoWindow) return GetInterface(static_cast<IVideoWindow*>(this), object);
    if (iid == IID_IBasicVideo) return GetInterface(static_cast<IBasicVideo*>(this), object);
    if (iid == IID_IBasicAudio) return GetInterface(static_cast<IBasicAudio*>(this), object);
    if (iid == IID_IAMGraphStreams) return GetInterface(static_cast<IAMGraphStreams*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  // ------------------------------------------------------------ IFilterGraph

  STDMETHODIMP AddFilter(IBaseFilter* filter, LPCWSTR name) override {
    if (filter == nullptr) return E_POINTER;
    CAutoLock lock(&m_Lock);
    if (Find(filter) != m_Filters.end()) return E_INVALIDARG;
    HRESULT result = S_OK;
    std::u16string chosen;
    if (name == nullptr || *name == 0) {
      do {
        chosen = u"Filter " + ToU16(std::to_string(++m_NameCounter));
      } while (FindByName(chosen) != m_Filters.end());
    } else {
      chosen = std::u16string(name).substr(0, MAX_FILTER_NAME - 1);
      if (FindByName(chosen) != m_Filters.end()) {
        // A name already taken gets the first free numbered suffix.
        std::u16string base = chosen.substr(0, MAX_FILTER_NAME - 6);
        for (int n = 1; n < 10000; ++n) {
          char suffix[8];
          std::snprintf(suffix, sizeof suffix, " %04d", n);
          chosen = base + ToU16(suffix);
          if (FindByName(chosen) == m_Filters.end()) break;
        }
        result = VFW_S_DUPLICATE_NAME;
      }
    }
    HRESULT hr = filter->JoinFilterGraph(static_cast<IFilterGraph*>(this), chosen.c_str());
    if (FAILED(hr)) return hr;
    m_Filters.push_back({ComPtr<IBaseFilter>(filter), chosen});
    if (m_Clock) filter->SetSyncSource(m_Clock.Get());
    return result;
  }

  STDMETHODIMP RemoveFilter(IBaseFilter* filter) override {
    if (filter == nullptr) return E_POINTER;
    CAutoLock lock(&m_Lock);
    auto it = Find(filter);
    if (it == m_Filters.end()) return VFW_E_NOT_FOUND;
    if (m_State != State_Stopped) Stop();
    for (PinLink& link : PinsOf(filter)) {
      if (link.peer) link.peer->Disconnect();
      link.pin->Disconnect();
    }
    ComPtr<IBaseFilter> keep = it->filter;
    m_Filters.erase(it);
    // The clock may live in this very filter.
    if (m_Clock) {
      ComPtr<IBaseFilter> owner = m_Clock.As<IBaseFilter>(IID_IBaseFilter);
      if (owner.Get() == filter) {
        m_Clock.Reset();
        m_ClockChosen = false;
        for (auto& entry : m_Filters) entry.filter->SetSyncSource(nullptr);
      }
    }
    keep->SetSyncSource(nullptr);
    keep->JoinFilterGraph(nullptr, nullptr);
    return S_OK;
  }

  STDMETHODIMP EnumFilters(IEnumFilters** filters) override {
    if (filters == nullptr) return E_POINTER;
    CAutoLock lock(&m_Lock);
    std::vector<ComPtr<IBaseFilter>> list;
    for (auto& entry : m_Filters) list.push_back(entry.filter);
    *filters = new CEnumFilters(std::move(list));
    return S_OK;
  }

  STDMETHODIMP FindFilterByName(LPCWSTR name, IBaseFilter** filter) override {
    if (name == nullptr || filter == nullptr) return E_POINTER;
    CAutoLock lock(&m_Lock);
    auto it = FindByName(name);
    if (it == m_Filters.end()) {
      *filter = nullptr;
      return VFW_E_NOT_FOUND;
    }
    *filter = it->filter.Get();
    (*filter)->AddRef();
    return S_OK;
  }

  STDMETHODIMP ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) override {
    if (out == nullptr || in == nullptr) return E_POINTER;
    CAutoLock lock(&m_Lock);
    if (m_State != State_Stopped) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckPinInGraph(out, PINDIR_OUTPUT);
    if (SUCCEEDED(hr)) hr = CheckPinInGraph(in, PINDIR_INPUT);
    if (FAILED(hr)) return hr;
    return out->Connect(in, mt);
  }

  STDMETHODIMP Reconnect(IPin* pin) override { return ReconnectEx(pin, nullptr); }

  // Done at once, so a filter that asks sees the new connection when the
  // call returns. Only a stopped graph reconnects (VFW_E_WRONG_STATE).
  STDMETHODIMP ReconnectEx(IPin* pin, const AM_MEDIA_TYPE* mt) override {
    if (pin == nullptr) return E_POINTER;
    CAutoLock lock(&m_Lock);
    if (m_State != State_Stopped) return VFW_E_WRONG_STATE;
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(peer.Receive()))) return VFW_E_NOT_CONNECTED;
    PIN_DIRECTION direction;
    pin->QueryDirection(&direction);
    ComPtr<IPin> out = direction == PINDIR_OUTPUT ? ComPtr<IPin>(pin) : peer;
    ComPtr<IPin> in = direction == PINDIR_OUTPUT ? peer : ComPtr<IPin>(pin);
    AM_MEDIA_TYPE previous;
    HRESULT hr = out->ConnectionMediaType(&previous);
    if (FAILED(hr)) return hr;
    out->Disconnect();
    in->Disconnect();
    hr = out->Connect(in.Get(), mt);
    // A refused type leaves the pins as they were, not apart.
    if (FAILED(hr)) out->Connect(in.Get(), &previous);
    FreeMediaType(previous);
    return hr;
  }

  STDMETHODIMP Disconnect(IPin* pin) override {
    if (pin == nullptr) return E_POINTER;
    CAutoLock lock(&m_Lock);
    return pin->Disconnect();
  }

  STDMETHODIMP SetDefaultSyncSource() override {
    CAutoLock lock(&m_Lock);
    ComPtr<IReferenceClock> clock;
    for (auto& entry : m_Filters) {
      if (IsRenderer(entry.filter.Get())) {
        clock = entry.filter.As<IReferenceClock>(IID_IReferenceClock);
        if (clock) break;
      }
    }
    if (!clock) {
      HRESULT hr =
          CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock, clock.ReceiveVoid());
      if (FAILED(hr)) return hr;
    }
    return SetClock(clock.Get());
  }

  // ----------------------------------------------------------- IGraphBuilder

  STDMETHODIMP Connect(IPin* out, IPin* in) override { return ConnectDirect(out, in, nullptr); }
  STDMETHODIMP Render(IPin*) override { return E_NOTIMPL; }
  STDMETHODIMP RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  STDMETHODIMP SetLogFile(DWORD_PTR) override { return S_OK; }
  STDMETHODIMP Abort() override { return S_OK; }
  STDMETHODIMP ShouldOperationContinue() override { return S_OK; }

  // ----------------------------------------------------------- IMediaControl

  STDMETHODIMP Run() override {
    CAutoLock lock(&m_Lock);
    if (m_State == State_Running) return S_OK;
    if (m_State == State_Stopped) {
      HRESULT hr = Pause();
      if (FAILED(hr)) return hr;
    }
    // Stream time goes on from where the pause left it.
    REFERENCE_TIME now = 0;
    if (m_Clock) m_Clock->GetTime(&now);
    m_RunStart = now - m_PausedStreamTime + kStartLatency;
    return ChangeState(State_Running);
  }

  STDMETHODIMP Pause() override {
    CAutoLock lock(&m_Lock);
    if (m_State == State_Paused) return S_OK;
    if (m_State == State_Stopped) {
      // Unless the application chose, the clock is chosen again at each start.
      if (!m_ClockChosen) {
        HRESULT hr = SetDefaultSyncSource();
        if (FAILED(hr)) return hr;
      }
      m_PausedStreamTime = 0;
      ResetCompletion();
    } else {
      m_PausedStreamTime = CurrentStreamTime();
    }
    return ChangeState(State_Paused);
  }

  STDMETHODIMP Stop() override {
    CAutoLock lock(&m_Lock);
    if (m_State == State_Stopped) return S_OK;
    HRESULT result = S_OK;
    for (IBaseFilter* filter : DownstreamFirst()) {
      HRESULT hr = filter->Stop();
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    m_State = State_Stopped;
    m_PausedStreamTime = 0;
    ResetCompletion();
    return result;
  }

  STDMETHODIMP GetState(LONG milliseconds, OAFilterState* state) override {
    if (state == nullptr) return E_POINTER;
    std::vector<ComPtr<IBaseFilter>> filters;
    {
      CAutoLock lock(&m_Lock);
      *state = m_State;
      for (auto& entry : m_Filters) filters.push_back(entry.filter);
    }
    // Each filter gets what is left of the time-out.
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONG>(milliseconds < 0 ? 0 : milliseconds);
    HRESULT result = S_OK;
    for (auto& filter : filters) {
      ULONGLONG now = GetTickCount64();
      DWORD left = milliseconds == static_cast<LONG>(INFINITE) ? INFINITE
                   : now >= deadline                             ? 0
                                                                 : static_cast<DWORD>(deadline - now);
      FILTER_STATE filterState;
      HRESULT hr = filter->GetState(left, &filterState);
      if (FAILED(hr)) return hr;
      if (hr == VFW_S_STATE_INTERMEDIATE) result = VFW_S_STATE_INTERMEDIATE;
    }
    return result;
  }

  STDMETHODIMP RenderFile(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP AddSourceFilter(BSTR, IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_FilterCollection(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_RegFilterCollection(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP StopWhenReady() override { return E_NOTIMPL; }

  // ------------------------------------------------------------ IMediaFilter

  STDMETHODIMP GetClassID(CLSID* clsid) override {
    if (clsid == nullptr) return E_POINTER;
    *clsid = CLSID_FilterGraph;
    return S_OK;
  }
  STDMETHODIMP Run(REFERENCE_TIME) override { return Run(); }
  STDMETHODIMP GetState(DWORD milliseconds, FILTER_STATE* state) override {
    if (state == nullptr) return E_POINTER;
    OAFilterState s;
    HRESULT hr = GetState(static_cast<LONG>(milliseconds), &s);
    *state = static_cast<FILTER_STATE>(s);
    return hr;
  }
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override {
    CAutoLock lock(&m_Lock);
    if (m_State != State_Stopped) return VFW_E_NOT_STOPPED;
    HRESULT hr = SetClock(clock);
    // Chosen by the application, even when it chose none.
    m_ClockChosen = true;
    return hr;
  }
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override {
    if (clock == nullptr) return E_POINTER;
    CAutoLock lock(&m_Lock);
    *clock = m_Clock.Get();
    if (*clock != nullptr) (*clock)->AddRef();
    return S_OK;
  }

  // ------------------------------------------------------------- IMediaEvent

  STDMETHODIMP GetEventHandle(OAEVENT* event) override {
    if (event == nullptr) return E_POINTER;
    *event = reinterpret_cast<OAEVENT>(static_cast<HANDLE>(m_EventAvailable));
    return S_OK;
  }

  STDMETHODIMP GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long milliseconds) override {
    if (code == nullptr || param1 == nullptr || param2 == nullptr) return E_POINTER;
    // INFINITE arrives as a 32-bit -1 or widened unsigned; both mean no limit.
    const bool forever = milliseconds < 0 || milliseconds == static_cast<long>(INFINITE);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONG>(forever ? 0 : milliseconds);
    for (;;) {
      {
        std::lock_guard lock(m_EventLock);
        if (!m_Events.empty()) {
          Event e = m_Events.front();
          m_Events.pop_front();
          if (m_Events.empty()) m_EventAvailable.Reset();
          *code = e.code;
          *param1 = e.param1;
          *param2 = e.param2;
          return S_OK;
        }
      }
      DWORD wait = INFINITE;
      if (!forever) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        wait = static_cast<DWORD>(deadline - now);
      }
      if (!m_EventAvailable.Wait(wait)) break;
    }
    *code = 0;
    *param1 = *param2 = 0;
    return E_ABORT;
  }

  STDMETHODIMP WaitForCompletion(long milliseconds, long* code) override {
    if (code == nullptr) return E_POINTER;
    *code = 0;
    if (!m_Completion.Wait(milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds))) return E_ABORT;
    std::lock_guard lock(m_EventLock);
    *code = m_CompletionCode;
    return S_OK;
  }

  STDMETHODIMP CancelDefaultHandling(long code) override {
    if (!IsDefaultHandled(code)) return E_INVALIDARG;
    std::lock_guard lock(m_EventLock);
    m_Cancelled.insert(code);
    return S_OK;
  }

  STDMETHODIMP RestoreDefaultHandling(long code) override {
    if (!IsDefaultHandled(code)) return E_INVALIDARG;
    std::lock_guard lock(m_EventLock);
    m_Cancelled.erase(code);
    return S_OK;
  }

  STDMETHODIMP FreeEventParams(long, LONG_PTR, LONG_PTR) override { return S_OK; }

  STDMETHODIMP SetNotifyWindow(OAHWND, long, LONG_PTR) override { return E_NOTIMPL; }
  STDMETHODIMP SetNotifyFlags(long flags) override {
    if ((flags & ~AM_MEDIAEVENT_NONOTIFY) != 0) return E_INVALIDARG;
    std::lock_guard lock(m_EventLock);
    m_NotifyFlags = flags;
    if ((flags & AM_MEDIAEVENT_NONOTIFY) != 0) {
      m_Events.clear();
      m_EventAvailable.Reset();
    }
    return S_OK;
  }
  STDMETHODIMP GetNotifyFlags(long* flags) override {
    if (flags == nullptr) return E_POINTER;
    std::lock_guard lock(m_EventLock);
    *flags = m_NotifyFlags;
    return S_OK;
  }

  // --------------------------------------------------------- IMediaEventSink

  // From any thread; never calls into filters.
  STDMETHODIMP Notify(long code, LONG_PTR param1, LONG_PTR param2) override {
    std::lock_guard lock(m_EventLock);
    if (code == EC_COMPLETE && !m_Cancelled.contains(EC_COMPLETE)) {
      if (!m_Running) return S_OK;  // a late report from before a stop or seek
      m_Completed.insert(param2);
      if (m_CompletionSent || m_Completed.size() < m_RenderersExpected) return S_OK;
      m_CompletionSent = true;
      Complete(EC_COMPLETE, S_OK);
      return Queue(EC_COMPLETE, S_OK, 0);
    }
    if (code == EC_ERRORABORT || code == EC_USERABORT) Complete(code, param1);
    if (IsDefaultHandled(code) && !m_Cancelled.contains(code)) return S_OK;
    return Queue(code, param1, param2);
  }

  // ----------------------------------------------------------- IMediaSeeking

  STDMETHODIMP GetCapabilities(DWORD* caps) override {
    if (caps == nullptr) return E_POINTER;
    auto seekers = Seekers();
    if (seekers.empty()) return E_NOTIMPL;
    DWORD all = ~0u;
    for (auto& s : seekers) {
      DWORD c = 0;
      if (SUCCEEDED(s->GetCapabilities(&c))) all &= c;
    }
    *caps = all;
    return S_OK;
  }
  STDMETHODIMP CheckCapabilities(DWORD* caps) override {
    if (caps == nullptr) return E_POINTER;
    DWORD have;
    HRESULT hr = GetCapabilities(&have);
    if (FAILED(hr)) return hr;
    DWORD asked = *caps;
    *caps &= have;
    if (*caps == asked) return S_OK;
    return *caps != 0 ? S_FALSE : E_FAIL;
  }
  STDMETHODIMP IsFormatSupported(const GUID* format) override {
    if (format == nullptr) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
  }
  STDMETHODIMP QueryPreferredFormat(GUID* format) override { return GetTimeFormat(format); }
  STDMETHODIMP GetTimeFormat(GUID* format) override {
    if (format == nullptr) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
  }
  STDMETHODIMP IsUsingTimeFormat(const GUID* format) override { return IsFormatSupported(format); }
  STDMETHODIMP SetTimeFormat(const GUID* format) override {
    if (format == nullptr) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
  }
  STDMETHODIMP GetDuration(LONGLONG* duration) override {
    if (duration == nullptr) return E_POINTER;
    auto seekers = Seekers();
    if (seekers.empty()) return E_NOTIMPL;
    HRESULT result = E_NOTIMPL;
    *duration = 0;
    for (auto& s : seekers) {
      LONGLONG d;
      if (SUCCEEDED(s->GetDuration(&d))) {
        *duration = std::max(*duration, d);
        result = S_OK;
      }
    }
    return result;
  }
  STDMETHODIMP GetStopPosition(LONGLONG* stop) override { return First([&](IMediaSeeking* s) { return s->GetStopPosition(stop); }); }
  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override {
    return First([&](IMediaSeeking* s) { return s->GetCurrentPosition(current); });
  }
  STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                 const GUID* sourceFormat) override {
    if (target == nullptr) return E_POINTER;
    auto isMediaTime = [](const GUID* f) { return f == nullptr || *f == TIME_FORMAT_MEDIA_TIME; };
    if (!isMediaTime(targetFormat) || !isMediaTime(sourceFormat)) return E_INVALIDARG;
    *target = source;
    return S_OK;
  }
  STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override {
    CAutoLock lock(&m_Lock);
    auto seekers = Seekers();
    if (seekers.empty()) return E_NOTIMPL;
    const bool moves = (currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_NoPositioning;
    const FILTER_STATE old = m_State;
    // A running graph pauses, seeks (the sources flush) and runs again from
    // a new start, so stream time begins again at the new position.
    if (moves && old == State_Running) Pause();
    HRESULT result = S_OK;
    for (auto& s : seekers) {
      HRESULT hr = s->SetPositions(current, currentFlags, stop, stopFlags);
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    if (moves && old != State_Stopped) {
      m_PausedStreamTime = 0;
      ResetCompletion();
      if (old == State_Running) {
        HRESULT hr = Run();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
      }
    }
    return result;
  }
  STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override {
    return First([&](IMediaSeeking* s) { return s->GetPositions(current, stop); });
  }
  STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override {
    return First([&](IMediaSeeking* s) { return s->GetAvailable(earliest, latest); });
  }
  STDMETHODIMP SetRate(double rate) override {
    auto seekers = Seekers();
    if (seekers.empty()) return E_NOTIMPL;
    HRESULT result = S_OK;
    for (auto& s : seekers) {
      HRESULT hr = s->SetRate(rate);
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
  }
  STDMETHODIMP GetRate(double* rate) override { return First([&](IMediaSeeking* s) { return s->GetRate(rate); }); }
  STDMETHODIMP GetPreroll(LONGLONG* preroll) override {
    return First([&](IMediaSeeking* s) { return s->GetPreroll(preroll); });
  }

  // ------------------------------------------- IVideoWindow and IBasicVideo

#define TLX_VIDEO_WINDOW_FORWARD(name, params, args)                          \
  STDMETHODIMP name params override {                                         \
    ComPtr<IVideoWindow> target = RendererInterface<IVideoWindow>(IID_IVideoWindow); \
    return target ? target->name args : E_NOINTERFACE;                        \
  }
#define TLX_BASIC_VIDEO_FORWARD(name, params, args)                           \
  STDMETHODIMP name params override {                                         \
    ComPtr<IBasicVideo> target = RendererInterface<IBasicVideo>(IID_IBasicVideo); \
    return target ? target->name args : E_NOINTERFACE;                        \
  }
  TLX_VIDEO_WINDOW_METHODS(TLX_VIDEO_WINDOW_FORWARD)
  TLX_BASIC_VIDEO_METHODS(TLX_BASIC_VIDEO_FORWARD)
#undef TLX_VIDEO_WINDOW_FORWARD
#undef TLX_BASIC_VIDEO_FORWARD

  // ------------------------------------------------------------- IBasicAudio

  STDMETHODIMP put_Volume(long volume) override {
    return ForEachAudio([&](IBasicAudio* a) { return a->put_Volume(volume); });
  }
  STDMETHODIMP get_Volume(long* volume) override {
    auto all = AudioFilters();
    return all.empty() ? E_NOTIMPL : all.front()->get_Volume(volume);
  }
  STDMETHODIMP put_Balance(long balance) override {
    return ForEachAudio([&](IBasicAudio* a) { return a->put_Balance(balance); });
  }
  STDMETHODIMP get_Balance(long* balance) override {
    auto all = AudioFilters();
    return all.empty() ? E_NOTIMPL : all.front()->get_Balance(balance);
  }

  // --------------------------------------------------------- IAMGraphStreams

  STDMETHODIMP FindUpstreamInterface(IPin* pin, REFIID iid, void** object, DWORD) override {
    if (pin == nullptr || object == nullptr) return E_POINTER;
    *object = nullptr;
    CAutoLock lock(&m_Lock);
    std::set<IBaseFilter*> visited;
    return FindUpstream(pin, iid, object, visited) ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP SyncUsingStreamOffset(BOOL use) override {
    m_SyncUsingStreamOffset = use;
    return S_OK;
  }
  STDMETHODIMP SetMaxGraphLatency(REFERENCE_TIME latency) override {
    m_MaxGraphLatency = latency;
    return S_OK;
  }

 protected:
  IMediaSeeking* Seeking() override { return this; }

 private:
  struct Entry {
    ComPtr<IBaseFilter> filter;
    std::u16string name;
  };
  struct Event {
    long code;
    LONG_PTR param1;
    LONG_PTR param2;
  };

  // So the first samples, stamped at stream time 0, are not already late.
  static constexpr REFERENCE_TIME kStartLatency = 10 * 10000;

  static std::u16string ToU16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

  std::vector<Entry>::iterator Find(IBaseFilter* filter) {
    return std::find_if(m_Filters.begin(), m_Filters.end(), [&](const Entry& e) { return e.filter.Get() == filter; });
  }
  std::vector<Entry>::iterator FindByName(const std::u16string& name) {
    return std::find_if(m_Filters.begin(), m_Filters.end(), [&](const Entry& e) { return e.name == name; });
  }

  HRESULT CheckPinInGraph(IPin* pin, PIN_DIRECTION expected) {
    ComPtr<IBaseFilter> owner = FilterOfPin(pin);
    if (!owner || Find(owner.Get()) == m_Filters.end()) return VFW_E_NOT_FOUND;
    PIN_DIRECTION direction;
    if (FAILED(pin->QueryDirection(&direction)) || direction != expected) return VFW_E_INVALID_DIRECTION;
    return S_OK;
  }

  HRESULT SetClock(IReferenceClock* clock) {
    m_Clock = ComPtr<IReferenceClock>(clock);
    HRESULT result = S_OK;
    for (auto& entry : m_Filters) {
      HRESULT hr = entry.filter->SetSyncSource(clock);
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
  }

  REFERENCE_TIME CurrentStreamTime() {
    if (!m_Clock) return m_PausedStreamTime;
    REFERENCE_TIME now = 0;
    m_Clock->GetTime(&now);
    REFERENCE_TIME t = now - m_RunStart;
    return t > 0 ? t : 0;
  }

  // The filters ordered so every filter comes before those upstream of it.
  std::vector<IBaseFilter*> DownstreamFirst() {
    std::map<IBaseFilter*, std::vector<IBaseFilter*>> downstream;
    for (auto& entry : m_Filters) {
      auto& next = downstream[entry.filter.Get()];
      for (PinLink& link : PinsOf(entry.filter.Get())) {
        if (link.direction != PINDIR_OUTPUT || !link.peer) continue;
        ComPtr<IBaseFilter> peer = FilterOfPin(link.peer.Get());
        if (peer) next.push_back(peer.Get());
      }
    }
    std::vector<IBaseFilter*> order;
    std::set<IBaseFilter*> done;
    std::set<IBaseFilter*> active;
    std::function<void(IBaseFilter*)> visit = [&](IBaseFilter* f) {
      if (done.contains(f) || active.contains(f)) return;
      active.insert(f);
      for (IBaseFilter* d : downstream[f]) {
        if (downstream.contains(d)) visit(d);
      }
      active.erase(f);
      done.insert(f);
      order.push_back(f);
    };
    for (auto& entry : m_Filters) visit(entry.filter.Get());
    return order;
  }

  // Changes every filter's state, downstream first; when one fails, every
  // filter goes back to Stopped and its result is returned.
  HRESULT ChangeState(FILTER_STATE target) {
    HRESULT result = S_OK;
    std::vector<IBaseFilter*> order = DownstreamFirst();
    size_t renderers = 0;
    for (IBaseFilter* f : order) renderers += IsRenderer(f) ? 1 : 0;
    {
      // Before any filter moves: a renderer may report the end at once.
      std::lock_guard lock(m_EventLock);
      m_RenderersExpected = renderers;
      m_Running = true;
    }
    for (IBaseFilter* f : order) {
      HRESULT hr = target == State_Running ? f->Run(m_RunStart) : f->Pause();
      if (FAILED(hr)) {
        for (IBaseFilter* g : order) g->Stop();
        m_State = State_Stopped;
        m_PausedStreamTime = 0;
        ResetCompletion();
        return hr;
      }
      if (hr == S_FALSE) result = S_FALSE;  // still on its way
    }
    m_State = target;
    return result;
  }

  void ResetCompletion() {
    std::lock_guard lock(m_EventLock);
    m_Completed.clear();
    m_CompletionSent = false;
    m_Running = false;
    m_Completion.Reset();
  }

  // Under m_EventLock.
  HRESULT Queue(long code, LONG_PTR param1, LONG_PTR param2) {
    if ((m_NotifyFlags & AM_MEDIAEVENT_NONOTIFY) != 0) return S_OK;
    m_Events.push_back({code, param1, param2});
    m_EventAvailable.Set();
    return S_OK;
  }
  void Complete(long code, LONG_PTR) {
    m_CompletionCode = code;
    m_Completion.Set();
  }

  std::vector<ComPtr<IBaseFilter>> Renderers() {
    CAutoLock lock(&m_Lock);
    std::vector<ComPtr<IBaseFilter>> renderers;
    for (auto& entry : m_Filters) {
      if (IsRenderer(entry.filter.Get())) renderers.push_back(entry.filter);
    }
    return renderers;
  }

  template <typename T>
  ComPtr<T> RendererInterface(REFIID iid) {
    for (auto& r : Renderers()) {
      ComPtr<T> found = r.As<T>(iid);
      if (found) return found;
    }
    return {};
  }

  std::vector<ComPtr<IMediaSeeking>> Seekers() {
    std::vector<ComPtr<IMediaSeeking>> seekers;
    for (auto& r : Renderers()) {
      ComPtr<IMediaSeeking> s = r.As<IMediaSeeking>(IID_IMediaSeeking);
      if (s) seekers.push_back(s);
    }
    return seekers;
  }

  template <typename F>
  HRESULT First(F&& call) {
    HRESULT result = E_NOTIMPL;
    for (auto& s : Seekers()) {
      result = call(s.Get());
      if (SUCCEEDED(result)) return result;
    }
    return result;
  }

  std::vector<ComPtr<IBasicAudio>> AudioFilters() {
    CAutoLock lock(&m_Lock);
    std::vector<ComPtr<IBasicAudio>> all;
    for (auto& entry : m_Filters) {
      ComPtr<IBasicAudio> audio = entry.filter.As<IBasicAudio>(IID_IBasicAudio);
      if (audio) all.push_back(audio);
    }
    return all;
  }

  template <typename F>
  HRESULT ForEachAudio(F&& call) {
    auto all = AudioFilters();
    if (all.empty()) return E_NOTIMPL;
    HRESULT result = S_OK;
    for (auto& a : all) {
      HRESULT hr = call(a.Get());
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
  }

  bool FindUpstream(IPin* pin, REFIID iid, void** object, std::set<IBaseFilter*>& visited) {
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(peer.Receive()))) return false;
    if (SUCCEEDED(peer->QueryInterface(iid, object))) return true;
    ComPtr<IBaseFilter> filter = FilterOfPin(peer.Get());
    if (!filter || !visited.insert(filter.Get()).second) return false;
    if (SUCCEEDED(filter->QueryInterface(iid, object))) return true;
    for (PinLink& link : PinsOf(filter.Get())) {
      if (link.direction == PINDIR_INPUT && FindUpstream(link.pin.Get(), iid, object, visited)) return true;
    }
    return false;
  }

  CCritSec m_Lock;
  std::vector<Entry> m_Filters;
  int m_NameCounter = 0;
  FILTER_STATE m_State = State_Stopped;
  ComPtr<IReferenceClock> m_Clock;
  bool m_ClockChosen = false;
  REFERENCE_TIME m_RunStart = 0;
  REFERENCE_TIME m_PausedStreamTime = 0;
  BOOL m_SyncUsingStreamOffset = FALSE;
  REFERENCE_TIME m_MaxGraphLatency = 0;

  std::mutex m_EventLock;
  std::deque<Event> m_Events;
  CAMEvent m_EventAvailable;
  CAMEvent m_Completion;
  long m_CompletionCode = 0;
  std::set<long> m_Cancelled;
  long m_NotifyFlags = 0;
  std::set<LONG_PTR> m_Completed;
  size_t m_RenderersExpected = 0;
  bool m_CompletionSent = false;
  bool m_Running = false;
};

}  // namespace

CUnknown* CreateFilterGraph(IUnknown* outer, HRESULT*) { return new CFilterGraph(outer); }

}  // namespace tlx::dshow

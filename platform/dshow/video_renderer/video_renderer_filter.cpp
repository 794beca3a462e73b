#include "video_renderer_filter.h"

#include "dshow/reference_clock.h"

namespace tlx::dshow::video {

CVideoRenderer::CVideoRenderer(REFCLSID clsid, IUnknown* outer, HRESULT* hr)
    : CBaseRenderer(clsid, "video renderer", outer, hr) {}

CVideoRenderer::~CVideoRenderer() { surface_->Close(); }

CUnknown* CVideoRenderer::CreateMixingRenderer9(IUnknown* outer, HRESULT* hr) {
  return new CVideoRenderer(CLSID_VideoMixingRenderer9, outer, hr);
}

CUnknown* CVideoRenderer::CreateMixingRenderer(IUnknown* outer, HRESULT* hr) {
  return new CVideoRenderer(CLSID_VideoMixingRenderer, outer, hr);
}

CUnknown* CVideoRenderer::CreateVideoRenderer(IUnknown* outer, HRESULT* hr) {
  return new CVideoRenderer(CLSID_VideoRenderer, outer, hr);
}

HRESULT CVideoRenderer::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IVideoWindow) return GetInterface(static_cast<IVideoWindow*>(this), object);
  if (iid == IID_IBasicVideo) return GetInterface(static_cast<IBasicVideo*>(this), object);
  if (iid == IID_IVMRAspectRatioControl9 && m_clsid == CLSID_VideoMixingRenderer9) {
    return GetInterface(static_cast<IVMRAspectRatioControl9*>(this), object);
  }
  if (iid == IID_IVMRAspectRatioControl && m_clsid == CLSID_VideoMixingRenderer) {
    return GetInterface(static_cast<IVMRAspectRatioControl*>(this), object);
  }
  if (iid == IID_IVideoRendererProbe) return GetInterface(static_cast<IVideoRendererProbe*>(this), object);
  return CBaseRenderer::NonDelegatingQueryInterface(iid, object);
}

// ------------------------------------------------------------ state changes

HRESULT CVideoRenderer::Pause() {
  HRESULT hr = CBaseRenderer::Pause();
  if (SUCCEEDED(hr)) {
    surface_->Update([](SurfaceState& s) { s.visible = s.visible || s.autoShow; });
  }
  return hr;
}

HRESULT CVideoRenderer::Run(REFERENCE_TIME start) {
  HRESULT hr = CBaseRenderer::Run(start);
  if (SUCCEEDED(hr)) {
    surface_->Update([](SurfaceState& s) { s.visible = s.visible || s.autoShow; });
  }
  return hr;
}

HRESULT CVideoRenderer::GetState(DWORD milliseconds, FILTER_STATE* state) {
  return CBaseFilter::GetState(milliseconds, state);
}

// ---------------------------------------------------------------- the type

HRESULT CVideoRenderer::CheckMediaType(const CMediaType* mt) {
  VideoFormat format;
  return mt == nullptr ? E_POINTER : ReadVideoFormat(*mt, &format);
}

HRESULT CVideoRenderer::SetMediaType(const CMediaType* mt) {
  VideoFormat format;
  HRESULT hr = ReadVideoFormat(*mt, &format);
  if (FAILED(hr)) return hr;
  {
    std::lock_guard lock(formatLock_);
    format_ = format;
    connected_ = true;
  }
  surface_->Update([&](SurfaceState& s) {
    s.picture = QSize(format.width, format.height);
    // A source that the new picture no longer holds goes back to the whole.
    if (s.sourceSet && (s.source.right > format.width || s.source.bottom > format.height)) s.sourceSet = false;
  });
  return S_OK;
}

HRESULT CVideoRenderer::BreakConnect() {
  {
    std::lock_guard lock(formatLock_);
    connected_ = false;
  }
  surface_->Update([](SurfaceState& s) { s.picture = QSize(); });
  return CBaseRenderer::BreakConnect();
}

HRESULT CVideoRenderer::ConnectedFormat(VideoFormat* format) {
  std::lock_guard lock(formatLock_);
  if (!connected_) return VFW_E_NOT_CONNECTED;
  *format = format_;
  return S_OK;
}

// -------------------------------------------------------------- scheduling

BOOL CVideoRenderer::ScheduleSample(IMediaSample* sample) {
  {
    std::lock_guard lock(scheduleLock_);
    dueSet_ = false;
  }
  REFERENCE_TIME start = 0, stop = 0;
  HRESULT hr = GetSampleTimes(sample, &start, &stop);
  if (FAILED(hr)) return FALSE;
  if (hr == S_OK) {
    m_RenderEvent.Set();
    return TRUE;
  }
  std::lock_guard lock(scheduleLock_);
  dueSet_ = true;
  due_ = m_tStart + start;
  dueClock_ = com::ComPtr<IReferenceClock>(m_pClock);
  return TRUE;
}

bool CVideoRenderer::Due() {
  com::ComPtr<IReferenceClock> clock;
  REFERENCE_TIME due;
  {
    std::lock_guard lock(scheduleLock_);
    if (!dueSet_ || !m_bStreaming) return false;
    clock = dueClock_;
    due = due_;
  }
  REFERENCE_TIME now = 0;
  return clock && SUCCEEDED(clock->GetTime(&now)) && now >= due;
}

HRESULT CVideoRenderer::WaitForRenderTime() {
  // Stop and flush set the first event, a sample to show at once the second.
  HANDLE events[2] = {m_ThreadSignal, m_RenderEvent};
  DWORD wait = 0;
  for (;;) {
    DWORD result = WaitForMultipleObjects(2, events, FALSE, wait);
    if (result == WAIT_OBJECT_0) return VFW_E_STATE_CHANGED;
    if (result == WAIT_OBJECT_0 + 1 || Due()) return S_OK;
    wait = CBaseReferenceClock::kPollMilliseconds;
  }
}

HRESULT CVideoRenderer::OnStopStreaming() {
  // Paused again: the held sample waits for the next Run to schedule it.
  std::lock_guard lock(scheduleLock_);
  dueSet_ = false;
  dueClock_.Reset();
  return S_OK;
}

// ------------------------------------------------------------ presentation

HRESULT CVideoRenderer::DoRenderSample(IMediaSample* sample) {
  VideoFormat format;
  HRESULT hr = ConnectedFormat(&format);
  if (FAILED(hr)) return hr;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) return E_POINTER;
  const LONG length = sample->GetActualDataLength();
  QImage picture = ConvertToRgb32(format, data, length > 0 ? static_cast<size_t>(length) : 0);
  if (picture.isNull()) return E_INVALIDARG;
  surface_->Present(std::move(picture));
  ++presented_;

  PresentHook hook;
  {
    std::lock_guard lock(hookLock_);
    hook = hook_;
  }
  if (!hook) return S_OK;
  PresentedFrame frame{false, 0, 0, 0};
  REFERENCE_TIME stop = 0;
  frame.timed = SUCCEEDED(sample->GetTime(&frame.sampleStart, &stop));
  if (!frame.timed) frame.sampleStart = 0;
  if (m_pClock != nullptr && SUCCEEDED(m_pClock->GetTime(&frame.clockTime))) frame.runStart = m_tStart;
  hook(frame);
  return S_OK;
}

void CVideoRenderer::SetPresentHook(PresentHook hook) {
  std::lock_guard lock(hookLock_);
  hook_ = std::move(hook);
}

QImage CVideoRenderer::CurrentFrame() { return surface_->Frame(); }

QWidget* CVideoRenderer::VideoWidget() { return surface_->Widget(); }

// ------------------------------------------------------------ IVideoWindow

namespace {

HWND HandleOf(OAHWND window) { return reinterpret_cast<HWND>(window); }
OAHWND OaOf(HWND window) { return reinterpret_cast<OAHWND>(window); }
long OaBool(bool value) { return value ? OATRUE : OAFALSE; }

}  // namespace

HRESULT CVideoRenderer::put_Caption(BSTR) { return E_NOTIMPL; }
HRESULT CVideoRenderer::get_Caption(BSTR*) { return E_NOTIMPL; }

HRESULT CVideoRenderer::put_WindowStyle(long style) {
  surface_->Update([&](SurfaceState& s) { s.style = style; });
  return S_OK;
}

HRESULT CVideoRenderer::get_WindowStyle(long* style) {
  if (style == nullptr) return E_POINTER;
  *style = surface_->State().style;
  return S_OK;
}

HRESULT CVideoRenderer::put_WindowStyleEx(long) { return E_NOTIMPL; }
HRESULT CVideoRenderer::get_WindowStyleEx(long*) { return E_NOTIMPL; }

HRESULT CVideoRenderer::put_AutoShow(long autoShow) {
  surface_->Update([&](SurfaceState& s) { s.autoShow = autoShow != OAFALSE; });
  return S_OK;
}

HRESULT CVideoRenderer::get_AutoShow(long* autoShow) {
  if (autoShow == nullptr) return E_POINTER;
  *autoShow = OaBool(surface_->State().autoShow);
  return S_OK;
}

HRESULT CVideoRenderer::put_WindowState(long) { return E_NOTIMPL; }
HRESULT CVideoRenderer::get_WindowState(long*) { return E_NOTIMPL; }
HRESULT CVideoRenderer::put_BackgroundPalette(long) { return E_NOTIMPL; }
HRESULT CVideoRenderer::get_BackgroundPalette(long*) { return E_NOTIMPL; }

HRESULT CVideoRenderer::put_Visible(long visible) {
  surface_->Update([&](SurfaceState& s) { s.visible = visible != OAFALSE; });
  return S_OK;
}

HRESULT CVideoRenderer::get_Visible(long* visible) {
  if (visible == nullptr) return E_POINTER;
  *visible = OaBool(surface_->State().visible);
  return S_OK;
}

bool CVideoRenderer::RectOf(const Box& b, RECT* rect) {
  // The calls take 64-bit longs; a rectangle keeps 32-bit sides.
  auto fits = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
  const int64_t right = int64_t{b.left} + b.width, bottom = int64_t{b.top} + b.height;
  if (!fits(b.left) || !fits(b.top) || !fits(b.width) || !fits(b.height) || !fits(right) || !fits(bottom)) {
    return false;
  }
  *rect = RECT{static_cast<LONG>(b.left), static_cast<LONG>(b.top), static_cast<LONG>(right),
               static_cast<LONG>(bottom)};
  return true;
}

HRESULT CVideoRenderer::GetBox(RectOfState which, Box* box, bool needsConnection) {
  SurfaceState state = surface_->State();
  if (needsConnection && state.picture.isEmpty()) return VFW_E_NOT_CONNECTED;
  *box = BoxOf((state.*which)());
  return S_OK;
}

// The parts of the window, source and destination rectangles, each read from
// the rectangle and written back through the call that sets all of it.
#define TLX_BOX_PART(getter, setter, member, which, setAll, needsConnection) \
  HRESULT CVideoRenderer::getter(long* value) {                             \
    if (value == nullptr) return E_POINTER;                                 \
    Box box;                                                                \
    HRESULT hr = GetBox(which, &box, needsConnection);                      \
    if (SUCCEEDED(hr)) *value = box.member;                                 \
    return hr;                                                              \
  }                                                                         \
  HRESULT CVideoRenderer::setter(long value) {                              \
    Box box;                                                                \
    HRESULT hr = GetBox(which, &box, needsConnection);                      \
    if (FAILED(hr)) return hr;                                              \
    box.member = value;                                                     \
    return setAll(box.left, box.top, box.width, box.height);                \
  }

TLX_BOX_PART(get_Left, put_Left, left, &SurfaceState::WindowRect, SetWindowPosition, false)
TLX_BOX_PART(get_Top, put_Top, top, &SurfaceState::WindowRect, SetWindowPosition, false)
TLX_BOX_PART(get_Width, put_Width, width, &SurfaceState::WindowRect, SetWindowPosition, false)
TLX_BOX_PART(get_Height, put_Height, height, &SurfaceState::WindowRect, SetWindowPosition, false)
TLX_BOX_PART(get_SourceLeft, put_SourceLeft, left, &SurfaceState::SourceRect, SetSourcePosition, true)
TLX_BOX_PART(get_SourceTop, put_SourceTop, top, &SurfaceState::SourceRect, SetSourcePosition, true)
TLX_BOX_PART(get_SourceWidth, put_SourceWidth, width, &SurfaceState::SourceRect, SetSourcePosition, true)
TLX_BOX_PART(get_SourceHeight, put_SourceHeight, height, &SurfaceState::SourceRect, SetSourcePosition, true)
TLX_BOX_PART(get_DestinationLeft, put_DestinationLeft, left, &SurfaceState::DestRect, SetDestinationPosition, false)
TLX_BOX_PART(get_DestinationTop, put_DestinationTop, top, &SurfaceState::DestRect, SetDestinationPosition, false)
TLX_BOX_PART(get_DestinationWidth, put_DestinationWidth, width, &SurfaceState::DestRect, SetDestinationPosition,
             false)
TLX_BOX_PART(get_DestinationHeight, put_DestinationHeight, height, &SurfaceState::DestRect, SetDestinationPosition,
             false)
#undef TLX_BOX_PART

HRESULT CVideoRenderer::put_Owner(OAHWND owner) {
  surface_->Update([&](SurfaceState& s) {
    s.owner = HandleOf(owner);
    // Detached from its owner, the video is hidden.
    if (owner == 0) s.visible = false;
  });
  return S_OK;
}

HRESULT CVideoRenderer::get_Owner(OAHWND* owner) {
  if (owner == nullptr) return E_POINTER;
  *owner = OaOf(surface_->State().owner);
  return S_OK;
}

HRESULT CVideoRenderer::put_MessageDrain(OAHWND drain) {
  surface_->Update([&](SurfaceState& s) { s.drain = HandleOf(drain); });
  return S_OK;
}

HRESULT CVideoRenderer::get_MessageDrain(OAHWND* drain) {
  if (drain == nullptr) return E_POINTER;
  *drain = OaOf(surface_->State().drain);
  return S_OK;
}

HRESULT CVideoRenderer::get_BorderColor(long*) { return E_NOTIMPL; }
HRESULT CVideoRenderer::put_BorderColor(long) { return E_NOTIMPL; }
HRESULT CVideoRenderer::get_FullScreenMode(long*) { return E_NOTIMPL; }
HRESULT CVideoRenderer::put_FullScreenMode(long) { return E_NOTIMPL; }
HRESULT CVideoRenderer::SetWindowForeground(long) { return E_NOTIMPL; }
// The video widget is a Qt child of its owner: nothing to relay.
HRESULT CVideoRenderer::NotifyOwnerMessage(OAHWND, long, LONG_PTR, LONG_PTR) { return S_OK; }

HRESULT CVideoRenderer::SetWindowPosition(long left, long top, long width, long height) {
  RECT window;
  if (width < 0 || height < 0 || !RectOf(Box{left, top, width, height}, &window)) return E_INVALIDARG;
  surface_->Update([&](SurfaceState& s) {
    s.windowSet = true;
    s.window = window;
  });
  return S_OK;
}

HRESULT CVideoRenderer::GetWindowPosition(long* left, long* top, long* width, long* height) {
  if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
  Box box = BoxOf(surface_->State().WindowRect());
  *left = box.left;
  *top = box.top;
  *width = box.width;
  *height = box.height;
  return S_OK;
}

HRESULT CVideoRenderer::GetMinIdealImageSize(long*, long*) { return E_NOTIMPL; }
HRESULT CVideoRenderer::GetMaxIdealImageSize(long*, long*) { return E_NOTIMPL; }
HRESULT CVideoRenderer::GetRestorePosition(long*, long*, long*, long*) { return E_NOTIMPL; }
HRESULT CVideoRenderer::HideCursor(long) { return E_NOTIMPL; }
HRESULT CVideoRenderer::IsCursorHidden(long*) { return E_NOTIMPL; }

// ------------------------------------------------------------- IBasicVideo

HRESULT CVideoRenderer::get_AvgTimePerFrame(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  VideoFormat format;
  HRESULT hr = ConnectedFormat(&format);
  if (SUCCEEDED(hr)) *time = static_cast<REFTIME>(format.avgTimePerFrame) / UNITS;
  return hr;
}

HRESULT CVideoRenderer::get_BitRate(long* rate) {
  if (rate == nullptr) return E_POINTER;
  VideoFormat format;
  HRESULT hr = ConnectedFormat(&format);
  if (SUCCEEDED(hr)) *rate = static_cast<long>(format.bitRate);
  return hr;
}

HRESULT CVideoRenderer::get_BitErrorRate(long* rate) {
  if (rate == nullptr) return E_POINTER;
  VideoFormat format;
  HRESULT hr = ConnectedFormat(&format);
  if (SUCCEEDED(hr)) *rate = static_cast<long>(format.bitErrorRate);
  return hr;
}

HRESULT CVideoRenderer::get_VideoWidth(long* width) {
  long height;
  return GetVideoSize(width, &height);
}

HRESULT CVideoRenderer::get_VideoHeight(long* height) {
  long width;
  return GetVideoSize(&width, height);
}

HRESULT CVideoRenderer::GetVideoSize(long* width, long* height) {
  if (width == nullptr || height == nullptr) return E_POINTER;
  QSize picture = surface_->State().picture;
  if (picture.isEmpty()) return VFW_E_NOT_CONNECTED;
  *width = picture.width();
  *height = picture.height();
  return S_OK;
}

HRESULT CVideoRenderer::SetSourcePosition(long left, long top, long width, long height) {
  HRESULT hr = S_OK;
  surface_->Update([&](SurfaceState& s) {
    RECT source;
    if (s.picture.isEmpty()) {
      hr = VFW_E_NOT_CONNECTED;
    } else if (left < 0 || top < 0 || width <= 0 || height <= 0 || !RectOf(Box{left, top, width, height}, &source) ||
               source.right > s.picture.width() || source.bottom > s.picture.height()) {
      hr = E_INVALIDARG;  // not inside the picture, or without a size
    } else {
      s.sourceSet = true;
      s.source = source;
    }
  });
  return hr;
}

HRESULT CVideoRenderer::GetSourcePosition(long* left, long* top, long* width, long* height) {
  if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
  Box box;
  HRESULT hr = GetBox(&SurfaceState::SourceRect, &box, true);
  if (FAILED(hr)) return hr;
  *left = box.left;
  *top = box.top;
  *width = box.width;
  *height = box.height;
  return S_OK;
}

HRESULT CVideoRenderer::SetDefaultSourcePosition() {
  surface_->Update([](SurfaceState& s) { s.sourceSet = false; });
  return S_OK;
}

HRESULT CVideoRenderer::SetDestinationPosition(long left, long top, long width, long height) {
  RECT dest;
  if (width <= 0 || height <= 0 || !RectOf(Box{left, top, width, height}, &dest)) return E_INVALIDARG;
  surface_->Update([&](SurfaceState& s) {
    s.destSet = true;
    s.dest = dest;
  });
  return S_OK;
}

HRESULT CVideoRenderer::GetDestinationPosition(long* left, long* top, long* width, long* height) {
  if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
  Box box = BoxOf(surface_->State().DestRect());
  *left = box.left;
  *top = box.top;
  *width = box.width;
  *height = box.height;
  return S_OK;
}

HRESULT CVideoRenderer::SetDefaultDestinationPosition() {
  surface_->Update([](SurfaceState& s) { s.destSet = false; });
  return S_OK;
}

HRESULT CVideoRenderer::GetVideoPaletteEntries(long, long, long*, long*) { return E_NOTIMPL; }
HRESULT CVideoRenderer::GetCurrentImage(long*, long*) { return E_NOTIMPL; }

HRESULT CVideoRenderer::IsUsingDefaultSource() { return surface_->State().sourceSet ? S_FALSE : S_OK; }
HRESULT CVideoRenderer::IsUsingDefaultDestination() { return surface_->State().destSet ? S_FALSE : S_OK; }

// --------------------------------------------------------- aspect controls

HRESULT CVideoRenderer::GetAspectRatioMode(DWORD* mode) {
  if (mode == nullptr) return E_POINTER;
  *mode = surface_->State().aspectMode;
  return S_OK;
}

HRESULT CVideoRenderer::SetAspectRatioMode(DWORD mode) {
  if (mode != VMR_ARMODE_NONE && mode != VMR_ARMODE_LETTER_BOX) return E_INVALIDARG;
  surface_->Update([&](SurfaceState& s) { s.aspectMode = mode; });
  return S_OK;
}

}  // namespace tlx::dshow::video

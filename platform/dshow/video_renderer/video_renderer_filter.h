// The video renderer filter: takes uncompressed video, converts each picture
// to RGB32 on the streaming thread and presents it when the graph clock
// reaches its time, in the widget of its surface. It serves the video window,
// the picture rectangles and, as a mixing renderer, the aspect-ratio mode;
// seeking passes upstream through the base renderer.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "com/com_ptr.h"
#include "dshow/base_renderer.h"
#include "video_format.h"
#include "video_renderer/video_renderer.h"
#include "video_surface.h"

namespace tlx::dshow::video {

class CVideoRenderer final : public CBaseRenderer,
                             public IVideoWindow,
                             public IBasicVideo,
                             public IVMRAspectRatioControl,
                             public IVMRAspectRatioControl9,
                             public IVideoRendererProbe {
 public:
  // `clsid` is the kind asked for: the mixing renderers (7 and 9) also answer
  // their aspect-ratio control, the old renderer none.
  CVideoRenderer(REFCLSID clsid, IUnknown* outer, HRESULT* hr);
  ~CVideoRenderer() override;

  static CUnknown* CreateMixingRenderer9(IUnknown* outer, HRESULT* hr);
  static CUnknown* CreateMixingRenderer(IUnknown* outer, HRESULT* hr);
  static CUnknown* CreateVideoRenderer(IUnknown* outer, HRESULT* hr);

  DECLARE_IUNKNOWN
  TLX_NO_DISPATCH
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Pause and Run show the window when AutoShow is on. A paused renderer
  // counts as ready without a first sample.
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD milliseconds, FILTER_STATE* state) override;

  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  HRESULT BreakConnect() override;
  // Converts and presents; a sample shorter than its picture is not shown.
  HRESULT DoRenderSample(IMediaSample* sample) override;

  // The sample is due at run start + its start time; WaitForRenderTime reads
  // the clock every few milliseconds until then, because the audio
  // renderer's clock stalls and jumps. Untimed samples and those without a
  // clock are shown at once.
  BOOL ScheduleSample(IMediaSample* sample) override;
  HRESULT WaitForRenderTime() override;
  HRESULT OnStopStreaming() override;

  // IVideoWindow: the calls change the surface's state and return at once.
  TLX_VIDEO_WINDOW_METHODS(TLX_DECLARE_OVERRIDE)
  // IBasicVideo: sizes of the connected type and the picture rectangles.
  TLX_BASIC_VIDEO_METHODS(TLX_DECLARE_OVERRIDE)

  // IVMRAspectRatioControl and IVMRAspectRatioControl9: VMR_ARMODE_NONE or
  // VMR_ARMODE_LETTER_BOX, else E_INVALIDARG.
  STDMETHODIMP GetAspectRatioMode(DWORD* mode) override;
  STDMETHODIMP SetAspectRatioMode(DWORD mode) override;

  // IVideoRendererProbe
  void SetPresentHook(PresentHook hook) override;
  LONG PresentedCount() override { return presented_; }
  QImage CurrentFrame() override;
  QWidget* VideoWidget() override;

 private:
  // A rectangle as the calls give it: origin and size.
  struct Box {
    long left, top, width, height;
  };
  static Box BoxOf(const RECT& r) { return Box{r.left, r.top, r.right - r.left, r.bottom - r.top}; }
  // The RECT of a box; false when a side does not fit a LONG.
  static bool RectOf(const Box& b, RECT* rect);
  // The window, source or destination as a box, read from the state.
  using RectOfState = RECT (SurfaceState::*)() const;
  HRESULT GetBox(RectOfState which, Box* box, bool needsConnection);
  // True when the sample's time on the clock has come.
  bool Due();
  HRESULT ConnectedFormat(VideoFormat* format);

  std::shared_ptr<Surface> surface_ = std::make_shared<Surface>();

  std::mutex formatLock_;
  bool connected_ = false;
  VideoFormat format_;

  std::mutex scheduleLock_;
  bool dueSet_ = false;
  REFERENCE_TIME due_ = 0;
  com::ComPtr<IReferenceClock> dueClock_;

  std::mutex hookLock_;
  PresentHook hook_;
  std::atomic<LONG> presented_{0};
};

}  // namespace tlx::dshow::video

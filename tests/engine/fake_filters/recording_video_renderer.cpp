// A fake of the two mixing video renderers, as a filter module registered
// under their classes and friendly names: it takes any video type (unless
// scripted to refuse) and records the samples it receives and every call on
// its video window, picture and aspect-ratio interfaces, which the graph
// forwards to it once it is connected. Getters answer the values a test
// scripts (GetVideoSize).
#include <atomic>
#include <string>
#include <type_traits>
#include <vector>

#include "com/automation.h"
#include "dshow/factory_template.h"
#include "dshow/guids.h"
#include "fake_renderer.h"

namespace {

class RecordingVideoRenderer final : public FakeRenderer,
                                     public IVideoWindow,
                                     public IBasicVideo,
                                     public IVMRAspectRatioControl9,
                                     public IVMRAspectRatioControl {
 public:
  RecordingVideoRenderer(REFCLSID clsid, IUnknown* outer, HRESULT* hr)
      : FakeRenderer(clsid, "recording video renderer", MEDIATYPE_Video, outer, hr) {}

  template <const CLSID& kClass>
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr) {
    return new RecordingVideoRenderer(kClass, outer, hr);
  }

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IVideoWindow) return GetInterface(static_cast<IVideoWindow*>(this), object);
    if (iid == IID_IBasicVideo) return GetInterface(static_cast<IBasicVideo*>(this), object);
    if (iid == IID_IVMRAspectRatioControl9) return GetInterface(static_cast<IVMRAspectRatioControl9*>(this), object);
    if (iid == IID_IVMRAspectRatioControl) return GetInterface(static_cast<IVMRAspectRatioControl*>(this), object);
    return FakeRenderer::NonDelegatingQueryInterface(iid, object);
  }
  TLX_NO_DISPATCH

  // Every video window and picture call is recorded with its number
  // arguments; its pointer arguments receive the scripted values.
#define FAKE_RECORDED_CALL(name, params, args) \
  STDMETHODIMP name params override { return RecordedCall{this, #name} args; }
  TLX_VIDEO_WINDOW_METHODS(FAKE_RECORDED_CALL)
  TLX_BASIC_VIDEO_METHODS(FAKE_RECORDED_CALL)
#undef FAKE_RECORDED_CALL

  // Both aspect-ratio interfaces keep one mode.
  STDMETHODIMP GetAspectRatioMode(DWORD* mode) override {
    const HRESULT hr = Call("GetAspectRatioMode");
    if (hr != S_OK) return hr;
    if (mode == nullptr) return E_POINTER;
    *mode = aspectMode_;
    return S_OK;
  }
  STDMETHODIMP SetAspectRatioMode(DWORD mode) override {
    const HRESULT hr = Call("SetAspectRatioMode", mode);
    if (hr != S_OK) return hr;
    if (mode != VMR_ARMODE_NONE && mode != VMR_ARMODE_LETTER_BOX) return E_INVALIDARG;
    aspectMode_ = mode;
    return S_OK;
  }

 private:
  // Binds a call's name, so the arguments can follow as they stand.
  struct RecordedCall {
    RecordingVideoRenderer* self;
    const char* method;
    template <typename... Args>
    HRESULT operator()(Args... args) const {
      return self->Record(method, args...);
    }
  };

  // An output is a pointer other than an input text.
  template <typename T>
  static constexpr bool kIsOutput = std::is_pointer_v<T> && !std::is_same_v<T, BSTR>;

  // Records "method n n ..." and, unless scripted to fail, writes the
  // scripted values (or zeros) into the outputs in their order; an output
  // text becomes null.
  template <typename... Args>
  HRESULT Record(const char* method, Args... args) {
    std::string numbers;
    (AppendNumber(numbers, args), ...);
    const HRESULT hr = numbers.empty() ? Call(method) : Call(method, numbers.c_str());
    if (hr != S_OK) return hr;
    if ((IsNullOutput(args) || ...)) return E_POINTER;
    const std::vector<long> values = Values(method, (0 + ... + (kIsOutput<Args> ? 1 : 0)));
    size_t next = 0;
    (Fill(args, values, next), ...);
    return S_OK;
  }
  template <typename T>
  static void AppendNumber(std::string& text, T value) {
    if constexpr (std::is_arithmetic_v<T>) {
      if (!text.empty()) text += ' ';
      text += std::to_string(value);
    }
  }
  template <typename T>
  static bool IsNullOutput(T value) {
    if constexpr (kIsOutput<T>) return value == nullptr;
    return false;
  }
  template <typename T>
  static void Fill(T output, const std::vector<long>& values, size_t& next) {
    if constexpr (kIsOutput<T>) {
      using Value = std::remove_pointer_t<T>;
      if constexpr (std::is_arithmetic_v<Value>) {
        *output = static_cast<Value>(values[next]);
      } else {
        *output = nullptr;
      }
      ++next;
    }
  }

  std::atomic<DWORD> aspectMode_{VMR_ARMODE_LETTER_BOX};
};

const AMOVIESETUP_FILTER kMixing9Setup{&CLSID_VideoMixingRenderer9, u"Video Mixing Renderer Filter",
                                       MERIT_DO_NOT_USE, 0, nullptr};
const AMOVIESETUP_FILTER kMixing7Setup{&CLSID_VideoMixingRenderer, u"Video Renderer", MERIT_DO_NOT_USE, 0,
                                       nullptr};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {u"Video Mixing Renderer Filter", &CLSID_VideoMixingRenderer9,
     RecordingVideoRenderer::CreateInstance<CLSID_VideoMixingRenderer9>, nullptr, &kMixing9Setup},
    {u"Video Renderer", &CLSID_VideoMixingRenderer, RecordingVideoRenderer::CreateInstance<CLSID_VideoMixingRenderer>,
     nullptr, &kMixing7Setup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

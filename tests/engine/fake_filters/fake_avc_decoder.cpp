// The AVC decoder as a fake: passes samples through unchanged and keeps the
// mode it is given.
#include "dshow/factory_template.h"
#include "fake_pass_through.h"
#include "filters/avc/avc_dec_mode.h"

namespace {

class FakeAvcDecoder final : public FakePassThrough, public IAvcDecMode {
 public:
  FakeAvcDecoder(IUnknown* outer, HRESULT* hr) : FakePassThrough(CLSID_AvcDecFilter, "fake AVC decoder", outer, hr) {}
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr) { return new FakeAvcDecoder(outer, hr); }

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IAvcDecMode) return GetInterface(static_cast<IAvcDecMode*>(this), object);
    return FakePassThrough::NonDelegatingQueryInterface(iid, object);
  }

  STDMETHODIMP GetMode(int* mode, int* connected) override {
    const HRESULT hr = Call("GetMode");
    return hr != S_OK ? hr : WriteMode(mode, connected);
  }
  STDMETHODIMP SetMode(int mode) override {
    const HRESULT hr = Call("SetMode", mode);
    if (hr == S_OK) mode_ = mode;
    return hr;
  }
  STDMETHODIMP GetModeEx(int* mode, int* connected, int* reserved) override {
    const HRESULT hr = Call("GetModeEx");
    if (hr != S_OK) return hr;
    if (reserved != nullptr) *reserved = 0;
    return WriteMode(mode, connected);
  }

 private:
  HRESULT WriteMode(int* mode, int* connected) {
    if (mode == nullptr) return E_POINTER;
    *mode = mode_;
    if (connected != nullptr) *connected = OutputPin()->IsConnected() ? 1 : 0;
    return S_OK;
  }

  std::atomic<int> mode_{kAvcModeDefault};
};

const AMOVIESETUP_FILTER kSetup{&CLSID_AvcDecFilter, u"Marovi AVC Decoder for TLX", MERIT_DO_NOT_USE, 0, nullptr};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {u"Marovi AVC Decoder for TLX", &CLSID_AvcDecFilter, FakeAvcDecoder::CreateInstance, nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

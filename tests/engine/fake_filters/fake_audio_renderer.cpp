// The audio renderer as a fake: takes any audio type, records what it
// receives and what the engine asks of it, and keeps the time by the system
// tick as the graph's clock.
#include <atomic>

#include "dshow/basic_audio.h"
#include "dshow/factory_template.h"
#include "dshow/reference_clock.h"
#include "fake_renderer.h"
#include "filters/audio_renderer/ravix_audio_renderer_control.h"

namespace {

class FakeAudioRenderer;

// The volume of the renderer, recorded with the renderer's other calls.
class FakeVolume final : public CBasicAudio {
 public:
  FakeVolume(FakeAudioRenderer* renderer, IUnknown* owner)
      : CBasicAudio("fake audio volume", owner), renderer_(renderer) {}
  STDMETHODIMP put_Volume(long volume) override;
  STDMETHODIMP get_Volume(long* volume) override;
  STDMETHODIMP put_Balance(long balance) override;
  STDMETHODIMP get_Balance(long* balance) override;

 private:
  FakeAudioRenderer* const renderer_;
  std::atomic<long> volume_{0};
  std::atomic<long> balance_{0};
};

class FakeAudioRenderer final : public FakeRenderer, public IRavixAudioRendererControl {
 public:
  FakeAudioRenderer(IUnknown* outer, HRESULT* hr)
      : FakeRenderer(CLSID_RavixDSAudRenderer, "fake audio renderer", MEDIATYPE_Audio, outer, hr) {
    clock_ = new CBaseReferenceClock("fake audio clock", GetOwner(), hr);
    volume_ = new FakeVolume(this, GetOwner());
  }
  ~FakeAudioRenderer() override {
    delete clock_;
    delete volume_;
  }
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr) { return new FakeAudioRenderer(outer, hr); }

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IReferenceClock) return clock_->NonDelegatingQueryInterface(iid, object);
    if (iid == IID_IBasicAudio) return volume_->NonDelegatingQueryInterface(iid, object);
    if (iid == IID_IRavixAudioRendererControl) {
      return GetInterface(static_cast<IRavixAudioRendererControl*>(this), object);
    }
    return FakeRenderer::NonDelegatingQueryInterface(iid, object);
  }

  // ------------------------------------------- IRavixAudioRendererControl

  STDMETHODIMP Reserved() override { return Call("Reserved"); }
  STDMETHODIMP FlashBuffers(int unused) override { return Call("FlashBuffers", unused); }
  STDMETHODIMP SetTimeCorrection(REFERENCE_TIME correction) override {
    const HRESULT hr = Call("SetTimeCorrection", correction);
    if (hr == S_OK) correction_ = correction;
    return hr;
  }
  STDMETHODIMP GetTimeCorrection(REFERENCE_TIME* correction) override {
    const HRESULT hr = Call("GetTimeCorrection");
    if (hr != S_OK) return hr;
    if (correction == nullptr) return E_POINTER;
    *correction = correction_;
    return S_OK;
  }
  STDMETHODIMP SetGain(unsigned numerator, unsigned denominator) override {
    const HRESULT hr = Call("SetGain", numerator, denominator);
    if (hr != S_OK) return hr;
    return denominator == 0 ? E_INVALIDARG : S_OK;
  }

  // The volume object records through the renderer.
  using FakeRecorder::Call;

 private:
  CBaseReferenceClock* clock_ = nullptr;
  FakeVolume* volume_ = nullptr;
  std::atomic<REFERENCE_TIME> correction_{0};
};

STDMETHODIMP FakeVolume::put_Volume(long volume) {
  const HRESULT hr = renderer_->Call("put_Volume", volume);
  if (hr != S_OK) return hr;
  if (volume < -10000 || volume > 0) return E_INVALIDARG;
  volume_ = volume;
  return S_OK;
}

STDMETHODIMP FakeVolume::get_Volume(long* volume) {
  const HRESULT hr = renderer_->Call("get_Volume");
  if (hr != S_OK) return hr;
  if (volume == nullptr) return E_POINTER;
  *volume = volume_;
  return S_OK;
}

STDMETHODIMP FakeVolume::put_Balance(long balance) {
  const HRESULT hr = renderer_->Call("put_Balance", balance);
  if (hr != S_OK) return hr;
  if (balance < -10000 || balance > 10000) return E_INVALIDARG;
  balance_ = balance;
  return S_OK;
}

STDMETHODIMP FakeVolume::get_Balance(long* balance) {
  const HRESULT hr = renderer_->Call("get_Balance");
  if (hr != S_OK) return hr;
  if (balance == nullptr) return E_POINTER;
  *balance = balance_;
  return S_OK;
}

const AMOVIESETUP_FILTER kSetup{&CLSID_RavixDSAudRenderer, u"Ravix Audio Renderer", MERIT_DO_NOT_USE, 0, nullptr};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {u"Ravix Audio Renderer", &CLSID_RavixDSAudRenderer, FakeAudioRenderer::CreateInstance, nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

// The device object and the process's backend factory.
#include <atomic>
#include <mutex>

#include "dsound/backend.h"
#include "dsound/dsound.h"
#include "dsound/internal/sound_buffer.h"

namespace tlx::dsound {
namespace {

std::mutex& FactoryLock() {
  static std::mutex lock;
  return lock;
}

BackendFactory& Factory() {
  static BackendFactory factory;
  return factory;
}

std::shared_ptr<Backend> MakeBackend() {
  BackendFactory factory;
  {
    std::lock_guard hold(FactoryLock());
    factory = Factory();
  }
  return factory ? factory() : CreateSdlBackend();
}

class Device final : public IDirectSound8 {
 public:
  explicit Device(std::shared_ptr<Backend> backend) : backend_(std::move(backend)) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IDirectSound8) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IDirectSound8*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG count = --refs_;
    if (count == 0) delete this;
    return count;
  }

  STDMETHODIMP CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) override {
    if (buffer == nullptr) return DSERR_INVALIDPARAM;
    *buffer = nullptr;
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    if (desc == nullptr || desc->dwSize != sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
    if ((desc->dwFlags & DSBCAPS_PRIMARYBUFFER) != 0) {
      if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr) return DSERR_INVALIDPARAM;
      *buffer = new SoundBuffer();
      return DS_OK;
    }
    if (desc->lpwfxFormat == nullptr) return DSERR_INVALIDPARAM;
    if (!IsPlayableFormat(*desc->lpwfxFormat)) return DSERR_BADFORMAT;
    const DWORD size = desc->dwBufferBytes;
    if (size < DSBSIZE_MIN || size > DSBSIZE_MAX || size % desc->lpwfxFormat->nBlockAlign != 0) {
      return DSERR_INVALIDPARAM;
    }
    auto* created = new SoundBuffer(backend_, *desc->lpwfxFormat, size);
    const HRESULT hr = created->Open();
    if (FAILED(hr)) {
      created->Release();
      return hr;
    }
    *buffer = created;
    return DS_OK;
  }

  STDMETHODIMP SetCooperativeLevel(HWND, DWORD) override { return DS_OK; }

 private:
  ~Device() = default;

  std::atomic<ULONG> refs_{1};
  const std::shared_ptr<Backend> backend_;
};

}  // namespace

void SetBackendFactory(BackendFactory factory) {
  std::lock_guard hold(FactoryLock());
  Factory() = std::move(factory);
}

}  // namespace tlx::dsound

HRESULT DirectSoundCreate8(const GUID* device, IDirectSound8** sound, IUnknown* outer) {
  if (sound == nullptr) return DSERR_INVALIDPARAM;
  *sound = nullptr;
  if (outer != nullptr) return DSERR_NOAGGREGATION;
  if (device != nullptr && *device != GUID_NULL) return DSERR_NODRIVER;
  auto backend = tlx::dsound::MakeBackend();
  if (backend == nullptr) return DSERR_NODRIVER;
  *sound = new tlx::dsound::Device(std::move(backend));
  return DS_OK;
}

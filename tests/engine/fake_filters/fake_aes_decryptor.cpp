// The decryptor as a fake: passes samples through unchanged and keeps the
// key text it is given.
#include <algorithm>
#include <cstring>

#include "dshow/factory_template.h"
#include "fake_pass_through.h"
#include "filters/aes_decryptor/aes_decryptor_key.h"

namespace {

class FakeAESDecryptor final : public FakePassThrough, public IAESDecryptorKey {
 public:
  FakeAESDecryptor(IUnknown* outer, HRESULT* hr) : FakePassThrough(CLSID_AESDecryptor, "fake decryptor", outer, hr) {}
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr) { return new FakeAESDecryptor(outer, hr); }

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IAESDecryptorKey) return GetInterface(static_cast<IAESDecryptorKey*>(this), object);
    return FakePassThrough::NonDelegatingQueryInterface(iid, object);
  }

  // Records the key text (its first 32 characters, up to a NUL) and keeps it
  // unless the call is scripted to fail.
  STDMETHODIMP SetKey(const char* key) override {
    const std::string text = key != nullptr ? std::string(key, strnlen(key, kAESDecryptorKeyDigits)) : "";
    const HRESULT hr = Call("SetKey", key != nullptr ? text.c_str() : nullptr);
    if (hr != S_OK) return hr;
    if (key == nullptr) return E_POINTER;
    std::lock_guard lock(keyLock_);
    key_ = text;
    return S_OK;
  }
  // The kept key, padded with NULs to 32 characters; E_FAIL before any.
  STDMETHODIMP GetKey(char* out) override {
    const HRESULT hr = Call("GetKey");
    if (hr != S_OK) return hr;
    if (out == nullptr) return E_POINTER;
    std::lock_guard lock(keyLock_);
    if (key_.empty()) return E_FAIL;
    std::fill_n(out, kAESDecryptorKeyDigits, '\0');
    std::copy(key_.begin(), key_.end(), out);
    return S_OK;
  }
  STDMETHODIMP GetKeySize(int* out) override {
    const HRESULT hr = Call("GetKeySize");
    if (hr != S_OK) return hr;
    if (out == nullptr) return E_POINTER;
    *out = kAESDecryptorKeyDigits;
    return S_OK;
  }

 private:
  std::mutex keyLock_;
  std::string key_;
};

const AMOVIESETUP_FILTER kSetup{&CLSID_AESDecryptor, u"AES Decryption", MERIT_DO_NOT_USE, 0, nullptr};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {u"AES Decryption", &CLSID_AESDecryptor, FakeAESDecryptor::CreateInstance, nullptr, &kSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

// CAESDecryptorFilter: an in-place transform that decrypts the encrypted
// head of every sample with the stream key (AES-128, ECB, at most the first
// 128 bytes), removes the ADTS header of audio frames and holds video back
// until its first start code.
#pragma once

#include <atomic>
#include <mutex>

#include "auth/tlx_authentication.h"
#include "dshow/interfaces.h"
#include "dshow/transform_filter.h"
#include "filters/aes_decryptor/aes_decryptor_key.h"

extern const AMOVIESETUP_FILTER g_AESDecryptorSetup;

class CAESDecryptorFilter final : public CTransInPlaceFilter, public IAESDecryptorKey {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);
  ~CAESDecryptorFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Every type is accepted.
  HRESULT CheckInputType(const CMediaType* mt) override;
  HRESULT Transform(IMediaSample* sample) override;
  // Releases a sample waiting for the key; the instance delivers nothing
  // afterwards.
  STDMETHODIMP Stop() override;

  STDMETHODIMP SetKey(const char* key) override;
  STDMETHODIMP GetKey(char* out) override;
  STDMETHODIMP GetKeySize(int* out) override;

 private:
  CAESDecryptorFilter(IUnknown* outer, HRESULT* hr);

  // Decrypts min(length / 16, 8) blocks in place; false without a valid key.
  bool DecryptHead(BYTE* data, LONG length);

  std::mutex m_keyLock;  // the key bytes, the context and its validity
  Rijndael m_aes;
  BYTE m_key[16] = {};
  bool m_keyValid = false;
  HANDLE m_keyReady;  // manual reset; null when it could not be made
  bool m_waited = false;   // streaming thread only
  bool m_started = false;  // streaming thread only
  std::atomic<bool> m_stopped{false};
};

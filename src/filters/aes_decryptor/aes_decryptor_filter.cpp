#include "aes_decryptor_filter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dshow/guids.h"
#include "win32/synch.h"

namespace {

constexpr AMOVIESETUP_MEDIATYPE kAnyType[] = {{&MEDIATYPE_NULL, &MEDIASUBTYPE_NULL}};
constexpr AMOVIESETUP_PIN kPins[] = {
    {u"Input", FALSE, FALSE, FALSE, FALSE, &GUID_NULL, u"Output", 1, kAnyType},
    {u"Output", FALSE, TRUE, FALSE, FALSE, &GUID_NULL, u"Input", 1, kAnyType},
};

// Only the head of a sample is encrypted.
constexpr LONG kMaxEncryptedBlocks = 8;
constexpr LONG kBlockBytes = 16;
constexpr LONG kAdtsHeaderBytes = 7;
// An ADTS header is only taken off a frame longer than this.
constexpr LONG kAdtsMinFrameBytes = 12;
// What a video sample before the first start code becomes: zero bytes.
constexpr LONG kPlaceholderBytes = 4;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// FF F1 or FF F9: an ADTS header without or with CRC, MPEG-4 or MPEG-2.
bool StartsWithAdts(const BYTE* data, LONG length) {
  return length > kAdtsMinFrameBytes && data[0] == 0xFF && (data[1] == 0xF1 || data[1] == 0xF9);
}

// The starts a video stream may begin with: a visual object sequence, a video
// object layer, a video object, or an AVC start code.
bool StartsWithStartCode(const BYTE* data, LONG length) {
  if (length < 4) return false;
  if (data[0] != 0 || data[1] != 0) return false;
  if (data[2] == 0 && data[3] == 1) return true;
  return data[2] == 1 && (data[3] == 0x20 || data[3] == 0xB0 || data[3] == 0x00);
}

}  // namespace

const AMOVIESETUP_FILTER g_AESDecryptorSetup{&CLSID_AESDecryptor, u"AES Decryption", MERIT_DO_NOT_USE, 2, kPins};

CAESDecryptorFilter::CAESDecryptorFilter(IUnknown* outer, HRESULT* hr)
    : CTransInPlaceFilter("AES Decryption", outer, CLSID_AESDecryptor, hr),
      m_keyReady(CreateEvent(nullptr, TRUE, FALSE, nullptr)) {}

CAESDecryptorFilter::~CAESDecryptorFilter() {
  if (m_keyReady != nullptr) {
    SetEvent(m_keyReady);
    CloseHandle(m_keyReady);
  }
}

CUnknown* CAESDecryptorFilter::CreateInstance(IUnknown* outer, HRESULT* hr) {
  auto* filter = new (std::nothrow) CAESDecryptorFilter(outer, hr);
  if (filter == nullptr && hr != nullptr) *hr = E_OUTOFMEMORY;
  return filter;
}

HRESULT CAESDecryptorFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IAESDecryptorKey) return GetInterface(static_cast<IAESDecryptorKey*>(this), object);
  return CTransInPlaceFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT CAESDecryptorFilter::CheckInputType(const CMediaType*) { return S_OK; }

HRESULT CAESDecryptorFilter::Stop() {
  m_stopped = true;
  if (m_keyReady != nullptr) SetEvent(m_keyReady);
  return CTransInPlaceFilter::Stop();
}

STDMETHODIMP CAESDecryptorFilter::SetKey(const char* key) {
  HRESULT hr = S_OK;
  if (key == nullptr) {
    hr = E_POINTER;
  } else {
    BYTE bytes[16];
    for (int i = 0; i < kAESDecryptorKeyDigits && hr == S_OK; i += 2) {
      const int high = HexValue(key[i]);
      const int low = high < 0 ? -1 : HexValue(key[i + 1]);
      if (low < 0) hr = E_INVALIDARG;
      else bytes[i / 2] = static_cast<BYTE>(high << 4 | low);
    }
    if (hr == S_OK) {
      std::lock_guard<std::mutex> lock(m_keyLock);
      std::memcpy(m_key, bytes, sizeof m_key);
      m_keyValid = m_aes.MakeKey(m_key, Rijndael::Decrypt) == 0;
      if (!m_keyValid) hr = E_FAIL;
    }
  }
  if (m_keyReady != nullptr) SetEvent(m_keyReady);
  return hr;
}

STDMETHODIMP CAESDecryptorFilter::GetKey(char* out) {
  if (out == nullptr) return E_POINTER;
  static const char kDigits[] = "0123456789ABCDEF";
  std::lock_guard<std::mutex> lock(m_keyLock);
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = kDigits[m_key[i] >> 4];
    out[2 * i + 1] = kDigits[m_key[i] & 15];
  }
  return S_OK;
}

STDMETHODIMP CAESDecryptorFilter::GetKeySize(int* out) {
  if (out == nullptr) return E_POINTER;
  *out = kAESDecryptorKeyDigits;
  return S_OK;
}

bool CAESDecryptorFilter::DecryptHead(BYTE* data, LONG length) {
  std::lock_guard<std::mutex> lock(m_keyLock);
  if (!m_keyValid) return false;
  const LONG blocks = std::min(length / kBlockBytes, kMaxEncryptedBlocks);
  if (blocks > 0) m_aes.DecryptBlocks(data, static_cast<size_t>(blocks), data);
  return true;
}

HRESULT CAESDecryptorFilter::Transform(IMediaSample* sample) {
  LONG length = sample->GetActualDataLength();
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;

  if (!m_waited) {
    if (m_keyReady != nullptr) WaitForSingleObject(m_keyReady, INFINITE);
    m_waited = true;
  }
  if (m_stopped) return S_FALSE;
  // Without a valid key the sample would only reach the decoder as noise.
  if (!DecryptHead(data, length)) return S_FALSE;

  // The connected medium says which rule applies: audio never carries a
  // start code and video never an ADTS header.
  const GUID& major = m_pInput->CurrentMediaType().majortype;
  const bool audioRule = major != MEDIATYPE_Video;
  const bool videoRule = major != MEDIATYPE_Audio;
  if (audioRule && StartsWithAdts(data, length)) {
    std::memmove(data, data + kAdtsHeaderBytes, static_cast<size_t>(length - kAdtsHeaderBytes));
    length -= kAdtsHeaderBytes;
  } else if (videoRule && !m_started) {
    if (StartsWithStartCode(data, length)) {
      m_started = true;
    } else {
      // Before the first start code the decoder gets an empty placeholder
      // (shorter only in a buffer that cannot hold four bytes).
      length = std::min<LONG>(kPlaceholderBytes, sample->GetSize());
      std::memset(data, 0, static_cast<size_t>(length));
    }
  }
  return sample->SetActualDataLength(length);
}

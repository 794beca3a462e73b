#include "dshow/media_type.h"

#include <cstring>

#include "com/class_registry.h"

namespace {

// A video header whose bitmap header announces bit fields is followed by
// the three colour masks.
ULONG VideoFormatSize(ULONG header, const BYTE* format, ULONG size) {
  if (format == nullptr || size < header) return header;
  DWORD compression;
  std::memcpy(&compression, format + header - sizeof(BITMAPINFOHEADER) + offsetof(BITMAPINFOHEADER, biCompression),
              sizeof compression);
  return compression == BI_BITFIELDS ? header + 3 * sizeof(DWORD) : header;
}

}  // namespace

ULONG MinimumFormatSize(REFGUID formattype, const BYTE* format, ULONG size) {
  static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) + sizeof(BITMAPINFOHEADER) == sizeof(VIDEOINFOHEADER));
  static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) + sizeof(BITMAPINFOHEADER) == sizeof(VIDEOINFOHEADER2));
  if (formattype == FORMAT_VideoInfo) return VideoFormatSize(sizeof(VIDEOINFOHEADER), format, size);
  if (formattype == FORMAT_VideoInfo2) return VideoFormatSize(sizeof(VIDEOINFOHEADER2), format, size);
  if (formattype == FORMAT_WaveFormatEx) {
    if (format == nullptr || size < sizeof(WAVEFORMATEX)) return sizeof(WAVEFORMATEX);
    WORD extra;
    WORD tag;
    std::memcpy(&extra, format + offsetof(WAVEFORMATEX, cbSize), sizeof extra);
    std::memcpy(&tag, format + offsetof(WAVEFORMATEX, wFormatTag), sizeof tag);
    const ULONG announced = sizeof(WAVEFORMATEX) + extra;
    // The extensible tag says the whole extended record follows.
    if (tag == WAVE_FORMAT_EXTENSIBLE && announced < sizeof(WAVEFORMATEXTENSIBLE)) return sizeof(WAVEFORMATEXTENSIBLE);
    return announced;
  }
  return 0;
}

bool IsFormatBlockValid(const AM_MEDIA_TYPE& mt) {
  if (mt.cbFormat != 0 && mt.pbFormat == nullptr) return false;
  ULONG needed = MinimumFormatSize(mt.formattype, mt.pbFormat, mt.cbFormat);
  return mt.cbFormat >= needed;
}

void FreeMediaType(AM_MEDIA_TYPE& mt) {
  if (mt.cbFormat != 0 || mt.pbFormat != nullptr) CoTaskMemFree(mt.pbFormat);
  mt.cbFormat = 0;
  mt.pbFormat = nullptr;
  if (mt.pUnk != nullptr) {
    mt.pUnk->Release();
    mt.pUnk = nullptr;
  }
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  if (target == nullptr || source == nullptr) return E_POINTER;
  *target = *source;
  if (source->cbFormat != 0) {
    // A failed copy holds neither a block nor a reference, so freeing it is
    // harmless.
    const HRESULT hr = source->pbFormat == nullptr ? E_INVALIDARG : S_OK;
    target->pbFormat = SUCCEEDED(hr) ? static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat)) : nullptr;
    if (target->pbFormat == nullptr) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return FAILED(hr) ? hr : E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
  } else {
    target->pbFormat = nullptr;
  }
  if (target->pUnk != nullptr) target->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
  auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (mt == nullptr) return nullptr;
  if (FAILED(CopyMediaType(mt, source))) {
    CoTaskMemFree(mt);
    return nullptr;
  }
  return mt;
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
  if (mt == nullptr) return;
  FreeMediaType(*mt);
  CoTaskMemFree(mt);
}

CMediaType::CMediaType() { Clear(); }

CMediaType::CMediaType(const GUID* type) {
  Clear();
  if (type != nullptr) majortype = *type;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) {
  Clear();
  Set(other);
}

CMediaType::CMediaType(const CMediaType& other) : CMediaType(static_cast<const AM_MEDIA_TYPE&>(other)) {}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
  Set(other);
  return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& other) { return *this = static_cast<const AM_MEDIA_TYPE&>(other); }

CMediaType::~CMediaType() { FreeMediaType(*this); }

void CMediaType::Clear() {
  std::memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
  bFixedSizeSamples = TRUE;
  lSampleSize = 1;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& other) {
  if (&other == this) return S_OK;
  FreeMediaType(*this);
  HRESULT hr = CopyMediaType(this, &other);
  if (FAILED(hr)) Clear();
  return hr;
}

bool CMediaType::operator==(const CMediaType& other) const {
  return majortype == other.majortype && subtype == other.subtype && formattype == other.formattype &&
         cbFormat == other.cbFormat && (cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}

void CMediaType::SetSampleSize(ULONG size) {
  if (size == 0) {
    SetVariableSize();
  } else {
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
  }
}

bool CMediaType::SetFormat(const BYTE* format, ULONG size) {
  if (size == 0) {
    ResetFormatBuffer();
    return true;
  }
  if (format == nullptr) return false;
  // The source may lie inside the block this type holds now (a caller
  // trimming its own format), so copy it before the old block goes.
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
  if (block == nullptr) return false;
  std::memcpy(block, format, size);
  CoTaskMemFree(pbFormat);
  pbFormat = block;
  cbFormat = size;
  return true;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG size) {
  if (size == 0) return nullptr;
  if (cbFormat == size) return pbFormat;
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, size);
  CoTaskMemFree(pbFormat);
  pbFormat = block;
  cbFormat = size;
  return block;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG size) {
  if (size == 0) return nullptr;
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(size));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, size);
  if (pbFormat != nullptr) std::memcpy(block, pbFormat, cbFormat < size ? cbFormat : size);
  CoTaskMemFree(pbFormat);
  pbFormat = block;
  cbFormat = size;
  return block;
}

void CMediaType::ResetFormatBuffer() {
  CoTaskMemFree(pbFormat);
  pbFormat = nullptr;
  cbFormat = 0;
}

bool CMediaType::MatchesPartial(const CMediaType* partial) const {
  if (partial->majortype != GUID_NULL && partial->majortype != majortype) return false;
  if (partial->subtype != GUID_NULL && partial->subtype != subtype) return false;
  if (partial->formattype != GUID_NULL) {
    if (partial->formattype != formattype || partial->cbFormat != cbFormat) return false;
    if (cbFormat != 0 && std::memcmp(partial->pbFormat, pbFormat, cbFormat) != 0) return false;
  }
  return true;
}

bool CMediaType::IsPartiallySpecified() const {
  return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

#include "dshow/persist_stream.h"

#include <cstring>

namespace {

// The most a memory stream holds.
constexpr size_t kMaxStreamSize = 0x7FFFFFFF;

}  // namespace

CPersistStream::CPersistStream(IUnknown*, HRESULT*) {}

HRESULT CPersistStream::IsDirty() { return mPS_fDirty ? S_OK : S_FALSE; }

HRESULT ReadStreamBytes(IStream* stream, void* buffer, ULONG size) {
  ULONG read = 0;
  HRESULT hr = stream->Read(buffer, size, &read);
  if (FAILED(hr)) return hr;
  return read == size ? S_OK : STG_E_READFAULT;
}

HRESULT WriteStreamBytes(IStream* stream, const void* buffer, ULONG size) {
  ULONG written = 0;
  HRESULT hr = stream->Write(buffer, size, &written);
  if (FAILED(hr)) return hr;
  return written == size ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT CPersistStream::Load(IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  DWORD version;
  HRESULT hr = ReadStreamBytes(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  if (version > GetSoftwareVersion()) return E_UNEXPECTED;
  mPS_dwFileVersion = version;
  hr = ReadFromStream(stream);
  if (SUCCEEDED(hr)) mPS_fDirty = FALSE;
  return hr;
}

HRESULT CPersistStream::Save(IStream* stream, BOOL clearDirty) {
  if (stream == nullptr) return E_POINTER;
  DWORD version = GetSoftwareVersion();
  HRESULT hr = WriteStreamBytes(stream, &version, sizeof version);
  if (FAILED(hr)) return hr;
  hr = WriteToStream(stream);
  if (FAILED(hr)) return hr;
  if (clearDirty) mPS_fDirty = FALSE;
  return S_OK;
}

HRESULT CPersistStream::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = sizeof(DWORD) + static_cast<ULONGLONG>(SizeMax());
  return S_OK;
}

CMemoryStream::CMemoryStream(const char* name, IUnknown* outer, HRESULT*) : CUnknown(name, outer) {}

HRESULT CMemoryStream::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IStream || iid == IID_ISequentialStream) return GetInterface(static_cast<IStream*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CMemoryStream::Read(void* buffer, ULONG size, ULONG* read) {
  if (buffer == nullptr && size != 0) return STG_E_INVALIDPOINTER;
  CAutoLock lock(&lock_);
  size_t left = position_ < data_.size() ? data_.size() - position_ : 0;
  ULONG n = static_cast<ULONG>(left < size ? left : size);
  if (n != 0) std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  if (read != nullptr) *read = n;
  return n == size ? S_OK : S_FALSE;
}

HRESULT CMemoryStream::Write(const void* buffer, ULONG size, ULONG* written) {
  if (buffer == nullptr && size != 0) return STG_E_INVALIDPOINTER;
  CAutoLock lock(&lock_);
  if (written != nullptr) *written = 0;
  if (position_ + size > kMaxStreamSize) return STG_E_MEDIUMFULL;
  if (position_ + size > data_.size()) data_.resize(position_ + size);
  if (size != 0) std::memcpy(data_.data() + position_, buffer, size);
  position_ += size;
  if (written != nullptr) *written = size;
  return S_OK;
}

HRESULT CMemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  CAutoLock lock(&lock_);
  LONGLONG base;
  switch (origin) {
    case STREAM_SEEK_SET: base = 0; break;
    case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
    case STREAM_SEEK_END: base = static_cast<LONGLONG>(data_.size()); break;
    default: return STG_E_INVALIDFUNCTION;
  }
  LONGLONG target;
  if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0) return STG_E_INVALIDFUNCTION;
  position_ = static_cast<size_t>(target);
  if (position != nullptr) position->QuadPart = static_cast<ULONGLONG>(target);
  return S_OK;
}

HRESULT CMemoryStream::SetSize(ULARGE_INTEGER size) {
  CAutoLock lock(&lock_);
  if (size.QuadPart > kMaxStreamSize) return STG_E_MEDIUMFULL;
  data_.resize(static_cast<size_t>(size.QuadPart));
  return S_OK;
}

std::vector<BYTE> CMemoryStream::Bytes() {
  CAutoLock lock(&lock_);
  return data_;
}

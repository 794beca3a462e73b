// Persistence of a filter's settings in a stream, and a stream in memory.
#pragma once

#include <vector>

#include "com/unknown_base.h"
#include "dshow/crit_sec.h"
#include "dshow/interfaces.h"

// IPersistStream for a filter: a version word, then what WriteToStream
// writes. The filter derives from this next to its filter base and routes
// IPersistStream to it.
class CPersistStream : public IPersistStream {
 public:
  CPersistStream(IUnknown* outer, HRESULT* hr);
  virtual ~CPersistStream() = default;

  STDMETHODIMP IsDirty() override;
  // Refuses a stream written by a newer version (E_UNEXPECTED).
  STDMETHODIMP Load(IStream* stream) override;
  STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;

  virtual HRESULT WriteToStream(IStream* stream) = 0;
  virtual HRESULT ReadFromStream(IStream* stream) = 0;
  // Bytes WriteToStream writes at most.
  virtual int SizeMax() = 0;
  virtual DWORD GetSoftwareVersion() { return 0; }
  // The version word of the stream being loaded, during ReadFromStream.
  DWORD LoadedVersion() const { return mPS_dwFileVersion; }
  HRESULT SetDirty(BOOL dirty) {
    mPS_fDirty = dirty;
    return S_OK;
  }

 protected:
  DWORD mPS_dwFileVersion = 0;
  BOOL mPS_fDirty = FALSE;
};

// Whole reads and writes: a short read or write is an error.
HRESULT ReadStreamBytes(IStream* stream, void* buffer, ULONG size);
HRESULT WriteStreamBytes(IStream* stream, const void* buffer, ULONG size);

// An IStream over a growing block of memory.
class CMemoryStream : public CUnknown, public IStream {
 public:
  CMemoryStream(const char* name, IUnknown* outer, HRESULT* hr);
  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Reads what is there: S_FALSE with fewer bytes at the end.
  STDMETHODIMP Read(void* buffer, ULONG size, ULONG* read) override;
  // STG_E_MEDIUMFULL, writing nothing, past the largest size SetSize takes.
  STDMETHODIMP Write(const void* buffer, ULONG size, ULONG* written) override;
  // STG_E_INVALIDFUNCTION for a position before the start.
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  STDMETHODIMP SetSize(ULARGE_INTEGER size) override;
  STDMETHODIMP Commit(DWORD) override { return S_OK; }

  std::vector<BYTE> Bytes();

 private:
  CCritSec lock_;
  std::vector<BYTE> data_;
  size_t position_ = 0;
};

// Media samples and the allocators that lend them: CBaseAllocator keeps the
// free list, commit state and waiting callers; CMemAllocator backs the
// samples with one block of memory.
#pragma once

#include <atomic>
#include <vector>

#include "com/unknown_base.h"
#include "dshow/crit_sec.h"
#include "dshow/interfaces.h"

class CBaseAllocator;

class CMediaSample : public IMediaSample {
 public:
  CMediaSample(const char* name, CBaseAllocator* allocator, HRESULT* hr, BYTE* buffer = nullptr, LONG length = 0);
  virtual ~CMediaSample();
  CMediaSample(const CMediaSample&) = delete;
  CMediaSample& operator=(const CMediaSample&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  // The last release clears the sample and returns it to its allocator.
  STDMETHODIMP_(ULONG) Release() override;

  HRESULT SetPointer(BYTE* buffer, LONG length);

  STDMETHODIMP GetPointer(BYTE** buffer) override;
  STDMETHODIMP_(LONG) GetSize() override;
  // S_OK with both times, VFW_S_NO_STOP_TIME with only the start (stop is
  // start + 1), VFW_E_SAMPLE_TIME_NOT_SET without times.
  STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  // A null start clears the times; a null stop sets the start alone.
  STDMETHODIMP SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  STDMETHODIMP IsSyncPoint() override;
  STDMETHODIMP SetSyncPoint(BOOL syncPoint) override;
  STDMETHODIMP IsPreroll() override;
  STDMETHODIMP SetPreroll(BOOL preroll) override;
  STDMETHODIMP_(LONG) GetActualDataLength() override;
  STDMETHODIMP SetActualDataLength(LONG length) override;
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** mt) override;
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP IsDiscontinuity() override;
  STDMETHODIMP SetDiscontinuity(BOOL discontinuity) override;
  STDMETHODIMP GetMediaTime(LONGLONG* start, LONGLONG* stop) override;
  STDMETHODIMP SetMediaTime(LONGLONG* start, LONGLONG* stop) override;

 protected:
  friend class CBaseAllocator;

  // Forgets times, flags and type when the sample goes back to the allocator.
  void ClearProperties();

  BYTE* m_pBuffer;
  LONG m_cbBuffer;
  LONG m_lActual;
  REFERENCE_TIME m_Start = 0;
  REFERENCE_TIME m_End = 0;
  LONGLONG m_MediaStart = 0;
  LONGLONG m_MediaEnd = 0;
  bool m_bTimeValid = false;
  bool m_bStopValid = false;
  bool m_bMediaTimeValid = false;
  bool m_bSyncPoint = false;
  bool m_bPreroll = false;
  bool m_bDiscontinuity = false;
  AM_MEDIA_TYPE* m_pMediaType = nullptr;
  CBaseAllocator* m_pAllocator;
  std::atomic<LONG> m_cRef{0};
};

class CBaseAllocator : public CUnknown, public IMemAllocator {
 public:
  CBaseAllocator(const char* name, IUnknown* outer, HRESULT* hr);
  ~CBaseAllocator() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // Refused while committed or while samples are out.
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* props) override;
  STDMETHODIMP Commit() override;
  // Free samples are released now, the rest as they come back; callers
  // waiting in GetBuffer get VFW_E_NOT_COMMITTED.
  STDMETHODIMP Decommit() override;
  // Waits for a free sample unless AM_GBF_NOWAIT is given (VFW_E_TIMEOUT).
  STDMETHODIMP GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                         DWORD flags) override;
  STDMETHODIMP ReleaseBuffer(IMediaSample* sample) override;

  BOOL IsCommitted();
  // Samples lent out at the moment.
  LONG OutstandingBuffers();

 protected:
  // Makes the samples for the current properties (under m_cs).
  virtual HRESULT Alloc();
  // Destroys the samples once they are all back (under m_cs).
  virtual void Free() = 0;
  // Wakes the callers waiting for a sample.
  void NotifyWaiters();

  CCritSec m_cs;
  std::vector<CMediaSample*> m_lFree;
  LONG m_lAllocated = 0;
  LONG m_lCount = 0;
  LONG m_lSize = 0;
  LONG m_lAlignment = 0;
  LONG m_lPrefix = 0;
  BOOL m_bChanged = FALSE;
  BOOL m_bCommitted = FALSE;
  BOOL m_bDecommitInProgress = FALSE;

 private:
  HANDLE m_hSem;
  LONG m_lWaiting = 0;
};

class CMemAllocator : public CBaseAllocator {
 public:
  CMemAllocator(const char* name, IUnknown* outer, HRESULT* hr);
  ~CMemAllocator() override;

  // Rounds the buffer size up to the alignment.
  STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;

  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);
  // A new allocator, handed out with one reference.
  static HRESULT Create(IMemAllocator** allocator);

 protected:
  HRESULT Alloc() override;
  void Free() override;

 private:
  void ReallyFree();

  BYTE* m_pBuffer = nullptr;
};

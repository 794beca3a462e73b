#include "dshow/media_sample.h"

#include <cstdlib>
#include <cstring>

#include "com/class_registry.h"

// ------------------------------------------------------------- CMediaSample

CMediaSample::CMediaSample(const char*, CBaseAllocator* allocator, HRESULT*, BYTE* buffer, LONG length)
    : m_pBuffer(buffer), m_cbBuffer(length), m_lActual(length), m_pAllocator(allocator) {}

CMediaSample::~CMediaSample() {
  if (m_pMediaType != nullptr) DeleteMediaType(m_pMediaType);
}

HRESULT CMediaSample::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IMediaSample) return GetInterface(static_cast<IMediaSample*>(this), object);
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CMediaSample::AddRef() { return static_cast<ULONG>(++m_cRef); }

ULONG CMediaSample::Release() {
  LONG count = --m_cRef;
  if (count == 0) {
    ClearProperties();
    m_pAllocator->ReleaseBuffer(this);
  }
  return static_cast<ULONG>(count);
}

void CMediaSample::ClearProperties() {
  m_bTimeValid = m_bStopValid = m_bMediaTimeValid = false;
  m_bSyncPoint = m_bPreroll = m_bDiscontinuity = false;
  m_lActual = m_cbBuffer;
  if (m_pMediaType != nullptr) {
    DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
  }
}

HRESULT CMediaSample::SetPointer(BYTE* buffer, LONG length) {
  if (length < 0) return VFW_E_BUFFER_OVERFLOW;
  m_pBuffer = buffer;
  m_cbBuffer = length;
  m_lActual = length;
  return S_OK;
}

HRESULT CMediaSample::GetPointer(BYTE** buffer) {
  if (buffer == nullptr) return E_POINTER;
  *buffer = m_pBuffer;
  return S_OK;
}

LONG CMediaSample::GetSize() { return m_cbBuffer; }

HRESULT CMediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (start == nullptr || stop == nullptr) return E_POINTER;
  if (!m_bTimeValid) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = m_Start;
  if (!m_bStopValid) {
    *stop = m_Start + 1;
    return VFW_S_NO_STOP_TIME;
  }
  *stop = m_End;
  return S_OK;
}

HRESULT CMediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (start == nullptr) {
    m_bTimeValid = m_bStopValid = false;
    return S_OK;
  }
  m_Start = *start;
  m_bTimeValid = true;
  m_bStopValid = stop != nullptr;
  if (stop != nullptr) m_End = *stop;
  return S_OK;
}

HRESULT CMediaSample::IsSyncPoint() { return m_bSyncPoint ? S_OK : S_FALSE; }
HRESULT CMediaSample::SetSyncPoint(BOOL syncPoint) {
  m_bSyncPoint = syncPoint != FALSE;
  return S_OK;
}
HRESULT CMediaSample::IsPreroll() { return m_bPreroll ? S_OK : S_FALSE; }
HRESULT CMediaSample::SetPreroll(BOOL preroll) {
  m_bPreroll = preroll != FALSE;
  return S_OK;
}
LONG CMediaSample::GetActualDataLength() { return m_lActual; }

HRESULT CMediaSample::SetActualDataLength(LONG length) {
  if (length < 0 || length > m_cbBuffer) return VFW_E_BUFFER_OVERFLOW;
  m_lActual = length;
  return S_OK;
}

HRESULT CMediaSample::GetMediaType(AM_MEDIA_TYPE** mt) {
  if (mt == nullptr) return E_POINTER;
  if (m_pMediaType == nullptr) {
    *mt = nullptr;
    return S_FALSE;
  }
  *mt = CreateMediaType(m_pMediaType);
  return *mt != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::SetMediaType(AM_MEDIA_TYPE* mt) {
  if (m_pMediaType != nullptr) {
    DeleteMediaType(m_pMediaType);
    m_pMediaType = nullptr;
  }
  if (mt == nullptr) return S_OK;
  m_pMediaType = CreateMediaType(mt);
  return m_pMediaType != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaSample::IsDiscontinuity() { return m_bDiscontinuity ? S_OK : S_FALSE; }
HRESULT CMediaSample::SetDiscontinuity(BOOL discontinuity) {
  m_bDiscontinuity = discontinuity != FALSE;
  return S_OK;
}

HRESULT CMediaSample::GetMediaTime(LONGLONG* start, LONGLONG* stop) {
  if (start == nullptr || stop == nullptr) return E_POINTER;
  if (!m_bMediaTimeValid) return VFW_E_MEDIA_TIME_NOT_SET;
  *start = m_MediaStart;
  *stop = m_MediaEnd;
  return S_OK;
}

HRESULT CMediaSample::SetMediaTime(LONGLONG* start, LONGLONG* stop) {
  if (start == nullptr) {
    m_bMediaTimeValid = false;
    return S_OK;
  }
  if (stop == nullptr) return E_POINTER;
  m_MediaStart = *start;
  m_MediaEnd = *stop;
  m_bMediaTimeValid = true;
  return S_OK;
}

// ----------------------------------------------------------- CBaseAllocator

CBaseAllocator::CBaseAllocator(const char* name, IUnknown* outer, HRESULT* hr)
    : CUnknown(name, outer), m_hSem(CreateSemaphore(nullptr, 0, 0x7FFFFFFF, nullptr)) {
  if (m_hSem == nullptr && hr != nullptr) *hr = E_OUTOFMEMORY;
}

CBaseAllocator::~CBaseAllocator() { CloseHandle(m_hSem); }

HRESULT CBaseAllocator::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IMemAllocator) return GetInterface(static_cast<IMemAllocator*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (request == nullptr || actual == nullptr) return E_POINTER;
  CAutoLock lock(&m_cs);
  if (m_bCommitted) return VFW_E_ALREADY_COMMITTED;
  if (m_lAllocated != static_cast<LONG>(m_lFree.size())) return VFW_E_BUFFERS_OUTSTANDING;
  if (request->cBuffers < 0 || request->cbBuffer < 0 || request->cbPrefix < 0) return E_INVALIDARG;
  LONG align = request->cbAlign;
  if (align <= 0 || (align & (align - 1)) != 0) return VFW_E_BADALIGN;
  m_lCount = request->cBuffers;
  m_lSize = request->cbBuffer;
  m_lAlignment = align;
  m_lPrefix = request->cbPrefix;
  m_bChanged = TRUE;
  *actual = *request;
  return S_OK;
}

HRESULT CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* props) {
  if (props == nullptr) return E_POINTER;
  CAutoLock lock(&m_cs);
  props->cBuffers = m_lCount;
  props->cbBuffer = m_lSize;
  props->cbAlign = m_lAlignment;
  props->cbPrefix = m_lPrefix;
  return S_OK;
}

HRESULT CBaseAllocator::Commit() {
  CAutoLock lock(&m_cs);
  if (m_bCommitted) return S_OK;
  m_bDecommitInProgress = FALSE;
  // Samples of an earlier commit may still be out; they return to this one.
  if (m_lAllocated == 0 || m_bChanged) {
    if (m_lAllocated != static_cast<LONG>(m_lFree.size())) return VFW_E_BUFFERS_OUTSTANDING;
    HRESULT hr = Alloc();
    if (FAILED(hr)) return hr;
  }
  m_bCommitted = TRUE;
  return S_OK;
}

HRESULT CBaseAllocator::Alloc() {
  if (m_lCount <= 0 || m_lSize <= 0) return VFW_E_SIZENOTSET;
  m_bChanged = FALSE;
  return S_OK;
}

HRESULT CBaseAllocator::Decommit() {
  CAutoLock lock(&m_cs);
  if (!m_bCommitted) return S_OK;
  m_bCommitted = FALSE;
  if (m_lAllocated == static_cast<LONG>(m_lFree.size())) {
    Free();
  } else {
    m_bDecommitInProgress = TRUE;
  }
  NotifyWaiters();
  return S_OK;
}

void CBaseAllocator::NotifyWaiters() {
  if (m_lWaiting > 0) {
    ReleaseSemaphore(m_hSem, m_lWaiting, nullptr);
    m_lWaiting = 0;
  }
}

HRESULT CBaseAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags) {
  if (sample == nullptr) return E_POINTER;
  *sample = nullptr;
  for (;;) {
    {
      CAutoLock lock(&m_cs);
      if (!m_bCommitted) return VFW_E_NOT_COMMITTED;
      if (!m_lFree.empty()) {
        CMediaSample* free = m_lFree.back();
        m_lFree.pop_back();
        free->m_cRef = 1;
        *sample = free;
        // A lent sample keeps its allocator alive until it comes back.
        AddRef();
        return S_OK;
      }
      if ((flags & AM_GBF_NOWAIT) != 0) return VFW_E_TIMEOUT;
      ++m_lWaiting;
    }
    WaitForSingleObject(m_hSem, INFINITE);
  }
}

HRESULT CBaseAllocator::ReleaseBuffer(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  {
    CAutoLock lock(&m_cs);
    m_lFree.push_back(static_cast<CMediaSample*>(sample));
    NotifyWaiters();
    if (m_bDecommitInProgress && m_lAllocated == static_cast<LONG>(m_lFree.size())) {
      m_bDecommitInProgress = FALSE;
      Free();
    }
  }
  Release();
  return S_OK;
}

BOOL CBaseAllocator::IsCommitted() {
  CAutoLock lock(&m_cs);
  return m_bCommitted;
}

LONG CBaseAllocator::OutstandingBuffers() {
  CAutoLock lock(&m_cs);
  return m_lAllocated - static_cast<LONG>(m_lFree.size());
}

// ------------------------------------------------------------ CMemAllocator

CMemAllocator::CMemAllocator(const char* name, IUnknown* outer, HRESULT* hr) : CBaseAllocator(name, outer, hr) {}

CMemAllocator::~CMemAllocator() {
  Decommit();
  ReallyFree();
}

CUnknown* CMemAllocator::CreateInstance(IUnknown* outer, HRESULT* hr) {
  return new CMemAllocator("memory allocator", outer, hr);
}

HRESULT CMemAllocator::Create(IMemAllocator** allocator) {
  HRESULT hr = S_OK;
  auto* memory = new CMemAllocator("memory allocator", nullptr, &hr);
  memory->NonDelegatingAddRef();
  if (SUCCEEDED(hr)) hr = memory->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(allocator));
  memory->NonDelegatingRelease();
  return hr;
}

HRESULT CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (request == nullptr || actual == nullptr) return E_POINTER;
  ALLOCATOR_PROPERTIES adjusted = *request;
  if (adjusted.cbAlign > 0 && (adjusted.cbAlign & (adjusted.cbAlign - 1)) == 0) {
    const LONGLONG total = static_cast<LONGLONG>(adjusted.cbBuffer) + adjusted.cbPrefix;
    const LONGLONG rounded = (total + adjusted.cbAlign - 1) & ~static_cast<LONGLONG>(adjusted.cbAlign - 1);
    if (rounded - adjusted.cbPrefix > 0x7FFFFFFF) return E_INVALIDARG;
    adjusted.cbBuffer = static_cast<LONG>(rounded - adjusted.cbPrefix);
  }
  return CBaseAllocator::SetProperties(&adjusted, actual);
}

HRESULT CMemAllocator::Alloc() {
  HRESULT hr = CBaseAllocator::Alloc();
  if (FAILED(hr)) return hr;
  ReallyFree();
  const LONGLONG stride = static_cast<LONGLONG>(m_lSize) + m_lPrefix;
  const LONGLONG total = stride * m_lCount;
  if (total > 0x7FFFFFFF) return E_OUTOFMEMORY;
  const LONGLONG align = m_lAlignment < 16 ? 16 : m_lAlignment;
  m_pBuffer = static_cast<BYTE*>(
      std::aligned_alloc(static_cast<size_t>(align), static_cast<size_t>((total + align - 1) & ~(align - 1))));
  if (m_pBuffer == nullptr) return E_OUTOFMEMORY;
  for (LONG i = 0; i < m_lCount; ++i) {
    HRESULT ignored = S_OK;
    auto* sample = new CMediaSample("memory sample", this, &ignored, m_pBuffer + i * stride + m_lPrefix, m_lSize);
    m_lFree.push_back(sample);
  }
  m_lAllocated = m_lCount;
  return S_OK;
}

void CMemAllocator::Free() {
  // The memory stays until the properties change or the allocator goes, so a
  // recommit without changes reuses it.
}

void CMemAllocator::ReallyFree() {
  CAutoLock lock(&m_cs);
  for (CMediaSample* sample : m_lFree) delete sample;
  m_lFree.clear();
  m_lAllocated = 0;
  std::free(m_pBuffer);
  m_pBuffer = nullptr;
}

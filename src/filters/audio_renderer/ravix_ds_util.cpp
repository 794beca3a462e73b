#include "ravix_ds_util.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "com/hresult.h"
#include "win32/synch.h"
#include "win32/timing.h"

// ------------------------------------------------------------ CDsStreamBuffer

CDsStreamBuffer::CDsStreamBuffer(IDirectSoundBuffer* buffer, IBlockSource* callback, UINT blockSize,
                                 UINT totalBytes)
    : m_pBuffer(buffer), m_totalBytes(totalBytes), m_pCallback(callback), m_blockSize(blockSize) {}

CDsStreamBuffer::~CDsStreamBuffer() {
  if (m_pBuffer != nullptr) m_pBuffer->Release();
}

HRESULT CDsStreamBuffer::RestoreIfLost(bool* restored) {
  *restored = false;
  if (m_pBuffer == nullptr) return CO_E_NOTINITIALIZED;
  DWORD status = 0;
  HRESULT hr = m_pBuffer->GetStatus(&status);
  if (FAILED(hr)) return hr;
  if ((status & DSBSTATUS_BUFFERLOST) == 0) return 1;
  while (m_pBuffer->Restore() == DSERR_BUFFERLOST) Sleep(10);
  *restored = true;
  return 0;
}

HRESULT CDsStreamBuffer::Clear() {
  bool restored;
  HRESULT hr = RestoreIfLost(&restored);
  if (FAILED(hr)) return hr;
  void* audio = nullptr;
  DWORD bytes = 0;
  hr = m_pBuffer->Lock(0, m_totalBytes, &audio, &bytes, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  std::memset(audio, 0, bytes);
  return m_pBuffer->Unlock(audio, bytes, nullptr, 0);
}

HRESULT CDsStreamBuffer::Reset() {
  m_writeOffset = 0;
  bool restored;
  HRESULT hr = RestoreIfLost(&restored);
  if (FAILED(hr)) return hr;
  if (restored) Clear();
  return m_pBuffer->SetCurrentPosition(0);
}

HRESULT CDsStreamBuffer::Start() {
  bool restored;
  HRESULT hr = RestoreIfLost(&restored);
  if (FAILED(hr)) return hr;
  hr = Clear();
  if (FAILED(hr)) return hr;
  return m_pBuffer->Play(0, 0, DSBPLAY_LOOPING);
}

HRESULT CDsStreamBuffer::FillNextBlock() {
  bool restored;
  HRESULT hr = RestoreIfLost(&restored);
  if (FAILED(hr)) return hr;
  if (restored) return Clear();
  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0;
  DWORD secondBytes = 0;
  hr = m_pBuffer->Lock(m_writeOffset, m_blockSize, &first, &firstBytes, &second, &secondBytes, 0);
  if (FAILED(hr)) return hr;
  if (second != nullptr && secondBytes != 0) {
    m_pBuffer->Unlock(first, firstBytes, second, secondBytes);
    return E_UNEXPECTED;
  }
  UINT read = 0;
  hr = m_pCallback->Fill(static_cast<BYTE*>(first), firstBytes, &read);
  if (SUCCEEDED(hr) && read != firstBytes) hr = E_FAIL;
  m_pBuffer->Unlock(first, firstBytes, nullptr, 0);
  if (FAILED(hr)) return hr;
  m_pCallback->Notify(m_writeOffset);
  m_writeOffset = (m_writeOffset + firstBytes) % m_totalBytes;
  return 0;
}

HRESULT CDsStreamBuffer::Stop() {
  if (m_pBuffer == nullptr) return CO_E_NOTINITIALIZED;
  return m_pBuffer->Stop();
}

// ------------------------------------------------------------------ CDsDevice

HRESULT CDsDevice::Open(HWND window, DWORD level) {
  Close();
  HRESULT hr = DirectSoundCreate8(nullptr, &m_pDS, nullptr);
  if (FAILED(hr)) return hr;
  return m_pDS->SetCooperativeLevel(window, level);
}

HRESULT CDsDevice::SetPrimaryFormat(const WAVEFORMATEX* format) {
  if (m_pDS == nullptr || format == nullptr) return CO_E_NOTINITIALIZED;
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
  IDirectSoundBuffer* primary = nullptr;
  HRESULT hr = m_pDS->CreateSoundBuffer(&desc, &primary, nullptr);
  if (FAILED(hr)) return hr;
  hr = primary->SetFormat(format);
  if (SUCCEEDED(hr)) hr = primary->Play(0, 0, DSBPLAY_LOOPING);
  primary->Release();
  return hr;
}

HRESULT CDsDevice::CreateStreamBuffer(CDsStreamBuffer** out, IBlockSource* callback, DWORD flags, UINT count,
                                      UINT blockSize, const HANDLE* events) {
  if (m_pDS == nullptr) return CO_E_NOTINITIALIZED;
  if (out == nullptr || callback == nullptr || events == nullptr) return E_INVALIDARG;
  *out = nullptr;
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = flags | DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLPOSITIONNOTIFY;
  desc.dwBufferBytes = count * blockSize;
  desc.lpwfxFormat = callback->GetFormat();
  IDirectSoundBuffer* buffer = nullptr;
  HRESULT hr = m_pDS->CreateSoundBuffer(&desc, &buffer, nullptr);
  if (FAILED(hr)) return hr;
  IDirectSoundNotify* notify = nullptr;
  hr = buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&notify));
  if (FAILED(hr)) {
    buffer->Release();
    return hr;
  }
  std::vector<DSBPOSITIONNOTIFY> positions(count);
  for (UINT k = 0; k < count; ++k) positions[k] = {blockSize - 1 + k * blockSize, events[k]};
  hr = notify->SetNotificationPositions(count, positions.data());
  notify->Release();
  if (FAILED(hr)) {
    buffer->Release();
    return hr;
  }
  *out = new (std::nothrow) CDsStreamBuffer(buffer, callback, blockSize, count * blockSize);
  if (*out == nullptr) {
    buffer->Release();
    return E_OUTOFMEMORY;
  }
  return 0;
}

void CDsDevice::Close() {
  if (m_pDS == nullptr) return;
  m_pDS->SetCooperativeLevel(nullptr, 0);
  m_pDS->Release();
  m_pDS = nullptr;
}

// ------------------------------------------------------------------ CByteRing

int CByteRing::Create(UINT capacity) {
  try {
    m_storage.assign(static_cast<size_t>(capacity) + 1, 0);
  } catch (const std::bad_alloc&) {
    return 1;
  }
  m_capacity = capacity;
  m_read = 0;
  m_write = 0;
  return 0;
}

UINT CByteRing::Used() const {
  const UINT read = m_read.load(std::memory_order_acquire);
  const UINT write = m_write.load(std::memory_order_acquire);
  return write >= read ? write - read : m_capacity + 1 + write - read;
}

UINT CByteRing::Write(const BYTE* src, UINT len) {
  len = std::min(len, Free());
  const UINT size = m_capacity + 1;
  UINT write = m_write.load(std::memory_order_relaxed);
  const UINT first = std::min(len, size - write);
  std::memcpy(m_storage.data() + write, src, first);
  std::memcpy(m_storage.data(), src + first, len - first);
  m_write.store((write + len) % size, std::memory_order_release);
  return len;
}

UINT CByteRing::Peek(BYTE* dst, UINT len) const {
  len = std::min(len, Used());
  const UINT size = m_capacity + 1;
  const UINT read = m_read.load(std::memory_order_relaxed);
  const UINT first = std::min(len, size - read);
  std::memcpy(dst, m_storage.data() + read, first);
  std::memcpy(dst + first, m_storage.data(), len - first);
  return len;
}

UINT CByteRing::Discard(UINT n) {
  // Moves past what was there when asked, never up to the writer's current
  // place: bytes written since then have not been read.
  n = std::min(n, Used());
  if (n == 0) return 0;
  m_read.store((m_read.load(std::memory_order_relaxed) + n) % (m_capacity + 1), std::memory_order_release);
  return n;
}

// -------------------------------------------------------------- CBlockingFifo

int CBlockingFifo::Create(UINT capacity) {
  Close();
  m_dataEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  m_spaceEvent = CreateEvent(nullptr, FALSE, TRUE, nullptr);
  if (m_dataEvent == nullptr || m_spaceEvent == nullptr || m_ring.Create(capacity) != 0) {
    Close();
    return 1;
  }
  m_created = true;
  return 0;
}

UINT CBlockingFifo::Write(const BYTE* src, UINT len) {
  UINT done = 0;
  while (done < len) {
    done += m_ring.Write(src + done, len - done);
    SetEvent(m_dataEvent);
    if (done < len) WaitForSingleObject(m_spaceEvent, INFINITE);
  }
  return len;
}

UINT CBlockingFifo::Read(BYTE* dst, UINT len) {
  UINT done = 0;
  while (done < len) {
    const UINT got = m_ring.Peek(dst + done, len - done);
    m_ring.Discard(got);
    SetEvent(m_spaceEvent);
    done += got;
    if (done < len) WaitForSingleObject(m_dataEvent, INFINITE);
  }
  return len;
}

UINT CBlockingFifo::GetUsed() const { return m_created ? m_ring.Used() : 0xFFFFFFFF; }

void CBlockingFifo::Close() {
  if (m_dataEvent != nullptr) CloseHandle(m_dataEvent);
  if (m_spaceEvent != nullptr) CloseHandle(m_spaceEvent);
  m_dataEvent = nullptr;
  m_spaceEvent = nullptr;
  m_ring.Create(0);
  m_created = false;
}

// The render thread: one per process. It opens the sound output and refills
// each block of the stream buffer once it has played.
#include <atomic>

#include "ravix_ds_aud_renderer.h"
#include "win32/synch.h"
#include "win32/threads.h"

namespace {

// Admits one render thread per process.
std::atomic<bool> g_renderThreadActive{false};

constexpr DWORD kStreamBufferFlags = DSBCAPS_LOCSOFTWARE | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY |
                                     DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
static_assert(kStreamBufferFlags == 0x18188);

}  // namespace

HRESULT CRavixDSAudRenderer::StartRenderThread() {
  // The events are made here, before the thread, so that Stop can always
  // signal them.
  for (HANDLE event : m_events) CloseHandle(event);
  m_events.clear();
  for (UINT k = 0; k < m_cfg.notifyCount; ++k) {
    HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) return E_FAIL;
    m_events.push_back(event);
  }
  m_run = true;
  m_alive = true;
  m_hThread = CreateThread(
      nullptr, 0, [](void* self) { return static_cast<CRavixDSAudRenderer*>(self)->RenderThreadProc(); }, this, 0,
      nullptr);
  if (m_hThread == nullptr) {
    m_run = false;
    m_alive = false;
    return E_FAIL;
  }
  SetThreadPriority(m_hThread, THREAD_PRIORITY_TIME_CRITICAL);
  return S_OK;
}

void CRavixDSAudRenderer::SignalEvents() {
  for (HANDLE event : m_events) SetEvent(event);
}

void CRavixDSAudRenderer::StopRenderThread() {
  m_run = false;
  SignalEvents();
  while (m_alive) {
    m_run = false;
    SignalEvents();
    m_services.sleep(50);
  }
  if (m_hThread != nullptr) {
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
  }
}

HRESULT CRavixDSAudRenderer::OpenOutput() {
  if (!m_hasFormat) return E_FAIL;
  CloseOutput();
  m_window = m_services.findMainWindow();
  HRESULT hr = m_device.Open(m_window, DSSCL_PRIORITY);
  if (FAILED(hr)) return hr;
  hr = m_device.SetPrimaryFormat(&m_format);
  if (FAILED(hr)) return hr;
  CDsStreamBuffer* streamBuffer = nullptr;
  hr = m_device.CreateStreamBuffer(&streamBuffer, this, kStreamBufferFlags, m_cfg.notifyCount, m_cfg.notifySize,
                                   m_events.data());
  if (FAILED(hr)) return hr;
  CAutoLock buffer(&m_BufferLock);
  m_pStreamBuffer = streamBuffer;
  return S_OK;
}

void CRavixDSAudRenderer::CloseOutput() {
  CDsStreamBuffer* streamBuffer;
  {
    CAutoLock buffer(&m_BufferLock);
    streamBuffer = m_pStreamBuffer;
    m_pStreamBuffer = nullptr;
  }
  if (streamBuffer != nullptr) {
    streamBuffer->Stop();
    delete streamBuffer;
  }
  m_device.Close();
  m_window = nullptr;
}

DWORD CRavixDSAudRenderer::RenderThreadProc() {
  if (g_renderThreadActive.exchange(true)) {
    // Another renderer plays; this one ends at once and plays nothing.
    m_run = false;
    m_alive = false;
    return 0;
  }
  m_services.sleep(100);
  HRESULT hr = OpenOutput();
  if (SUCCEEDED(hr)) {
    m_services.sleep(200);
    hr = m_pStreamBuffer->Reset();
    if (SUCCEEDED(hr)) hr = m_pStreamBuffer->Start();
  }
  if (FAILED(hr)) {
    CloseOutput();
    m_run = false;
    m_state = kRendererFailed;
    g_renderThreadActive = false;
    m_alive = false;
    return static_cast<DWORD>(-1);
  }

  const UINT count = m_cfg.notifyCount;
  const DWORD blockMilliseconds = static_cast<DWORD>(m_cfg.blockDuration / 10000);
  UINT last = 0;
  DWORD lastFill = m_services.now();
  while (m_run) {
    const DWORD result = WaitForMultipleObjects(count, m_events.data(), FALSE, INFINITE);
    if (!m_run || result == WAIT_FAILED) break;
    const UINT c = result - WAIT_OBJECT_0;
    if (c >= count) continue;
    const DWORD now = m_services.now();
    if (now - lastFill < blockMilliseconds) {
      // Too soon after the last fill: these notifications are covered by the
      // next one.
      for (HANDLE event : m_events) ResetEvent(event);
      continue;
    }
    const UINT n = c >= last ? c - last : c + count - last;
    for (UINT i = 0; i < n && m_run; ++i) m_pStreamBuffer->FillNextBlock();
    ApplyPendingVolume();
    lastFill = now;
    last = c;
  }
  CloseOutput();
  m_run = false;
  // Free for the next start before this one counts as ended.
  g_renderThreadActive = false;
  m_alive = false;
  return 0;
}

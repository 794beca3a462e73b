// The renderer's clock: the start time of the block under the play cursor
// plus the bytes played since its start, less the time correction. It never
// goes back, except after a long run of reads that did not advance it, and it
// creeps forward while no time is known.
#include "ravix_ds_aud_renderer.h"

namespace {
constexpr UINT kHoldReads = 300000;
}

HRESULT CRavixDSAudRenderer::Notify(UINT offset) {
  if (m_pStreamBuffer == nullptr || m_cfg.notifySize == 0) return E_FAIL;
  CAutoLock table(&m_TableLock);
  HRESULT hr = m_table.Write(offset / m_cfg.notifySize, m_blockInHand.start, m_blockInHand.length != 0);
  if (FAILED(hr)) return hr;
  m_tableValid = true;
  return S_OK;
}

REFERENCE_TIME CRavixDSAudRenderer::GetClockTime() {
  CAutoLock clock(&m_ClockLock);
  bool known = false;
  UINT index = 0;
  CNotifyTimeTable::Entry entry;
  {
    CAutoLock table(&m_TableLock);
    if (m_tableValid) {
      entry = m_table.Read(&index);
      known = entry.valid;
    }
  }
  DWORD cursor = 0;
  if (known) {
    CAutoLock buffer(&m_BufferLock);
    known = m_pStreamBuffer != nullptr &&
            SUCCEEDED(m_pStreamBuffer->Buffer()->GetCurrentPosition(&cursor, nullptr)) &&
            cursor <= m_cfg.bufferBytes;
  }
  if (!known) return m_lastTime++;

  const UINT blockStart = m_cfg.notifySize * index;
  const UINT delta = cursor > blockStart ? cursor - blockStart : m_cfg.bufferBytes - blockStart + cursor;
  REFERENCE_TIME t = entry.time + static_cast<REFERENCE_TIME>(delta) * 10000000 / m_format.nAvgBytesPerSec;
  if (t > m_timeCorrection) t -= m_timeCorrection;
  if (t > m_lastTime) {
    m_lastTime = t;
    m_holdCount = 0;
  } else if (++m_holdCount > kHoldReads) {
    m_holdCount = 0;
    m_lastTime = t;
  } else {
    m_lastTime += 1;
  }
  return m_lastTime;
}

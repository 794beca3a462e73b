// Buffer-level control: what the sample path does before each push, the
// sink that queues the upsampler's frames, and the fill routine that hands the
// render thread one block at a time from the queue, from the decimator in the
// two fast-forward modes, or as silence.
#include <algorithm>
#include <cstring>

#include "ravix_ds_aud_renderer.h"

namespace {
constexpr REFERENCE_TIME kSecond = 10000000;
constexpr REFERENCE_TIME kPerMillisecond = 10000;
constexpr UINT kFastForwardMilliseconds = 700;
}  // namespace

void CRavixDSAudRenderer::DiscardBlocks(UINT blocks) {
  m_timeQueue.Discard(blocks * static_cast<UINT>(sizeof(SampleTimeRecord)));
  m_dataQueue.Discard(blocks * m_cfg.notifySize);
}

void CRavixDSAudRenderer::DropCheck() {
  if (QueuedBlocks() < m_cfg.dropThreshold) return;
  DiscardBlocks(m_cfg.dropAmount);
  m_playThreshold = 1;
}

void CRavixDSAudRenderer::StretchUpdate() {
  if (m_flash || m_catchUp) {
    m_upsampler.SetOutputRate(m_maxRate);
    return;
  }
  if (!m_stretch) return;
  const UINT q = QueuedBlocks();
  if (q < m_cfg.stretchLimit && m_currentRate != m_baseRate) {
    // Falls linearly from the highest rate at an empty queue to the base rate
    // at the stretch limit, only downwards and in steps of at least a third
    // of the range.
    UINT g = (m_cfg.stretchLimit * m_maxRate - q * (m_maxRate - m_baseRate)) / m_cfg.stretchLimit;
    g = std::max(g, m_baseRate);
    if (g < m_currentRate && 3 * (m_currentRate - g) >= m_maxRate - m_baseRate) {
      m_currentRate = g;
      m_upsampler.SetOutputRate(g);
    }
    return;
  }
  m_stretch = false;
  m_currentRate = 2 * m_maxRate;
  m_upsampler.SetOutputRate(m_baseRate);
}

void CRavixDSAudRenderer::RequestCatchUp() {
  m_marked = true;
  if (m_flash || m_catchUp) return;
  const UINT q = QueuedBlocks();
  if (q <= BytesFor(kSecond) / m_cfg.notifySize) return;
  m_catchUpOut = kFastForwardMilliseconds;
  m_catchUpIn = static_cast<UINT>(q * m_cfg.blockDuration / kPerMillisecond);
  m_catchUpEnd = m_lastWritten;
  m_catchUp = true;
}

void CRavixDSAudRenderer::EndMode() {
  if (!m_flash && !m_catchUp) return;
  m_catchUpEnd = -1;
  m_flash = false;
  m_catchUp = false;
  m_stretch = true;
  m_currentRate = 2 * m_maxRate;
  m_decimator.DropCarriedInput();
}

int CRavixDSAudRenderer::Deliver(const BYTE* frame, UINT, REFERENCE_TIME, const void* record) {
  if (record == nullptr) return 2;
  const auto* time = static_cast<const SampleTimeRecord*>(record);
  m_lastWritten = time->start;
  if (m_dataQueue.Write(frame, time->length) != time->length) return 3;
  if (m_timeQueue.Write(reinterpret_cast<const BYTE*>(time), sizeof *time) != sizeof *time) return 3;
  return 0;
}

void CRavixDSAudRenderer::ReadBlock(BYTE* buffer, UINT size, SampleTimeRecord* record) {
  m_timeQueue.Read(reinterpret_cast<BYTE*>(record), sizeof *record);
  m_dataQueue.Read(buffer, size);
}

HRESULT CRavixDSAudRenderer::Pull(BYTE* buffer, UINT size, REFERENCE_TIME* time) {
  if (size != m_cfg.notifySize) return E_FAIL;
  SampleTimeRecord record{};
  if (m_flash) {
    if (QueuedBlocks() <= m_flashTarget) {
      EndMode();
      return E_FAIL;
    }
    ReadBlock(buffer, size, &record);
    *time = record.start;
    return S_OK;
  }
  if (m_catchUp) {
    if (QueuedBlocks() == 0) {
      EndMode();
      return E_FAIL;
    }
    ReadBlock(buffer, size, &record);
    *time = record.start;
    if (record.start == m_catchUpEnd) EndMode();
    return S_OK;
  }
  return E_FAIL;
}

bool CRavixDSAudRenderer::FlashFill(BYTE* buffer, UINT size) {
  const UINT q = QueuedBlocks();
  if (q <= m_flashTarget) {
    EndMode();
    return false;
  }
  const DWORD elapsed = m_services.now() - m_flashStart;
  if (elapsed >= m_flashWindow) {
    // Out of time: the rest above the target goes.
    DiscardBlocks(q - m_flashTarget);
    EndMode();
    return false;
  }
  const UINT remaining = m_flashWindow - elapsed;
  const auto excess = static_cast<UINT>((q - m_flashTarget) * m_cfg.blockDuration / kPerMillisecond);
  if (excess == 0) {
    EndMode();
    return false;
  }
  REFERENCE_TIME mean = 0;
  m_decimator.Pull(buffer, size, remaining + excess, remaining, &mean);
  m_blockInHand = {mean, size, 0};
  return true;
}

bool CRavixDSAudRenderer::CatchUpFill(BYTE* buffer, UINT size) {
  REFERENCE_TIME mean = 0;
  m_decimator.Pull(buffer, size, m_catchUpIn, m_catchUpOut, &mean);
  m_blockInHand = {mean, size, 0};
  return true;
}

bool CRavixDSAudRenderer::PlayGate() {
  const UINT q = QueuedBlocks();
  if (q == 0) {
    m_playThreshold = m_prebuffer;
    return false;
  }
  if (q >= m_playThreshold) {
    m_playThreshold = 1;
    return true;
  }
  m_stretch = true;
  return false;
}

void CRavixDSAudRenderer::ApplyGain(BYTE* buffer, UINT size) const {
  if (m_gainNumerator <= m_gainDenominator) return;
  for (UINT i = 0; i + 1 < size; i += 2) {
    int16_t sample;
    std::memcpy(&sample, buffer + i, 2);
    const int64_t scaled = static_cast<int64_t>(sample) * m_gainNumerator / m_gainDenominator;
    sample = static_cast<int16_t>(std::clamp<int64_t>(scaled, -32768, 32767));
    std::memcpy(buffer + i, &sample, 2);
  }
}

HRESULT CRavixDSAudRenderer::Fill(BYTE* buffer, UINT size, UINT* sizeRead) {
  CAutoLock stream(&m_StreamLock);
  bool fromQueue = false;
  bool delivered = false;
  if (m_state == kRendererRunning) {
    delivered = (m_flash && FlashFill(buffer, size)) || (m_catchUp && CatchUpFill(buffer, size));
    if (!delivered) fromQueue = PlayGate();
  }
  if (fromQueue) {
    ReadBlock(buffer, size, &m_blockInHand);
    ApplyGain(buffer, size);
  } else if (!delivered) {
    m_blockInHand = {0, 0, 0};
    std::memset(buffer, 0, size);
  }
  *sizeRead = size;
  return S_OK;
}

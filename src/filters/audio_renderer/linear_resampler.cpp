#include "linear_resampler.h"

#include <cstring>

#include "win32/muldiv.h"

namespace {

int16_t SampleAt(const BYTE* bytes, UINT index) {
  int16_t sample;
  std::memcpy(&sample, bytes + 2 * index, 2);
  return sample;
}

void PutSample(BYTE* bytes, UINT index, int16_t sample) { std::memcpy(bytes + 2 * index, &sample, 2); }

}  // namespace

int CLinearResampler::Configure(UINT channels, UINT inputRate, UINT outputRate, UINT frameBytes,
                                UINT avgBytesPerSec) {
  if ((channels != 1 && channels != 2) || inputRate == 0 || outputRate == 0 || outputRate < inputRate ||
      frameBytes == 0 || avgBytesPerSec == 0) {
    return 2;
  }
  m_channels = channels;
  m_inputRate = inputRate;
  m_outputRate = outputRate;
  m_frame_size = frameBytes;
  m_frameSamples = frameBytes / 2;
  m_avgBytesPerSec = avgBytesPerSec;
  m_frame.assign(frameBytes, 0);
  m_fill = 0;
  ResetRatio();
  return 0;
}

int CLinearResampler::SetOutputRate(UINT rate) {
  if (rate == m_outputRate) return 0;
  if (rate == 0 || rate < m_inputRate) return 2;
  m_outputRate = rate;
  ResetRatio();
  return 0;
}

void CLinearResampler::ResetRatio() {
  UINT a = m_inputRate;
  UINT b = m_outputRate;
  while (b != 0) {
    const UINT r = a % b;
    a = b;
    b = r;
  }
  m_interp = m_inputRate / a;
  m_decim = m_outputRate / a;
  m_w0 = 0;
  m_w1 = static_cast<int>(m_decim);
  m_outputByteRate = MulDiv(static_cast<int>(m_avgBytesPerSec), static_cast<int>(m_outputRate),
                            static_cast<int>(m_inputRate));
}

int CLinearResampler::Push(const BYTE* data, UINT size, REFERENCE_TIME startTime, const void* record) {
  if (m_sink == nullptr || m_frame.empty()) return 1;
  if (data == nullptr || size != m_frame_size || (m_channels == 2 && (size & 2) != 0)) return 2;
  const UINT pending = m_fill * 2;
  REFERENCE_TIME frameTime = startTime;
  if (m_outputByteRate > 0) frameTime -= static_cast<REFERENCE_TIME>(pending) * 10000000 / m_outputByteRate;

  if (m_interp == m_decim) {
    std::memcpy(m_frame.data() + pending, data, m_frame_size - pending);
    m_sink->Deliver(m_frame.data(), m_frame_size, frameTime, record);
    std::memmove(m_frame.data(), data + (m_frame_size - pending), pending);
    return 0;
  }

  const int d = static_cast<int>(m_decim);
  const int step = static_cast<int>(m_decim - m_interp);
  const UINT frames = size / 2 / m_channels;
  UINT index = 0;
  for (UINT c = 0; c < m_channels; ++c) m_current[c] = SampleAt(data, c);
  for (;;) {
    for (UINT c = 0; c < m_channels; ++c) {
      const int value = (m_previous[c] * m_w0 + m_current[c] * m_w1 + d / 2) / d;
      PutSample(m_frame.data(), m_fill++, static_cast<int16_t>(value));
    }
    if (m_fill == m_frameSamples) {
      const int result = m_sink->Deliver(m_frame.data(), m_frame_size, frameTime, record);
      if (result != 0) return result;
      m_fill = 0;
    }
    m_w0 += step;
    m_w1 -= step;
    if (m_w0 > d) {
      // One more output sample between the same two inputs.
      m_w0 -= d;
      m_w1 += d;
      continue;
    }
    for (UINT c = 0; c < m_channels; ++c) m_previous[c] = m_current[c];
    if (++index == frames) return 0;
    for (UINT c = 0; c < m_channels; ++c) m_current[c] = SampleAt(data, index * m_channels + c);
  }
}

int CSampleDecimator::Configure(UINT channels, UINT frameBytes) {
  if ((channels != 1 && channels != 2) || frameBytes == 0) return 2;
  m_channels = channels;
  m_frame_size = frameBytes;
  m_input.assign(frameBytes, 0);
  m_remaining = 0;
  return 0;
}

int CSampleDecimator::Pull(BYTE* out, UINT size, UINT inCount, UINT outCount, REFERENCE_TIME* meanTime) {
  if (m_input.empty() || m_source == nullptr) return 1;
  if (out == nullptr || meanTime == nullptr || size != m_frame_size || inCount == 0 || outCount == 0 ||
      inCount < outCount) {
    return 2;
  }
  const UINT frameBytes = 2 * m_channels;
  UINT read = (size - m_remaining) & ~1u;
  REFERENCE_TIME timeSum = 0;
  LONGLONG taken = 0;
  UINT accumulator = 0;
  UINT written = 0;
  while (written + frameBytes <= size) {
    if (read + frameBytes > m_frame_size) {
      REFERENCE_TIME time = 0;
      if (m_source->Pull(m_input.data(), m_frame_size, &time) != S_OK) break;
      read = 0;
      ++taken;
      timeSum += time;
      accumulator = 0;
    }
    accumulator += outCount;
    if (accumulator >= inCount) {
      for (UINT c = 0; c < m_channels; ++c) {
        const int16_t sample = SampleAt(m_input.data() + read, c);
        PutSample(out + written, c, static_cast<int16_t>(sample >> m_shift));
      }
      written += frameBytes;
      accumulator -= inCount;
    }
    read += frameBytes;
  }
  std::memset(out + written, 0, size - written);
  m_remaining = m_frame_size > read ? m_frame_size - read : 0;
  if (taken == 0) {
    *meanTime = 0;
    return 4;
  }
  *meanTime = timeSum / taken;
  return 0;
}

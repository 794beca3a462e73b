// Frame-based converters for interleaved 16-bit PCM of one or two channels:
// CLinearResampler raises the sample count by the ratio of two rates with
// linear interpolation and hands fixed-size frames to a sink; CSampleDecimator
// fills fixed-size frames with an evenly spread fraction of its input, pulled
// frame by frame from a source, attenuated by a right shift.
//
// Result codes of both: 0 success, 1 not configured, 2 bad argument, 3 out of
// memory, 4 no data.
#pragma once

#include <vector>

#include "dshow/media_type.h"

struct IResamplerSink {
  // Takes one output frame. `record` is what the Push that produced it was
  // given. A non-zero result ends that Push with it.
  virtual int Deliver(const BYTE* frame, UINT frameBytes, REFERENCE_TIME frameTime, const void* record) = 0;

 protected:
  ~IResamplerSink() = default;
};

struct IDecimatorSource {
  // Fills `buffer` with the next input frame of `size` bytes and its time.
  virtual HRESULT Pull(BYTE* buffer, UINT size, REFERENCE_TIME* time) = 0;

 protected:
  ~IDecimatorSource() = default;
};

class CLinearResampler {
 public:
  explicit CLinearResampler(IResamplerSink* sink) : m_sink(sink) {}

  // 2 unless channels is 1 or 2, both rates are non-zero, outputRate >=
  // inputRate and the sizes are non-zero.
  int Configure(UINT channels, UINT inputRate, UINT outputRate, UINT frameBytes, UINT avgBytesPerSec);
  // 0 and nothing changes for the current rate; 2 for 0 or a rate below the
  // input rate.
  int SetOutputRate(UINT rate);
  // Consumes one input frame of m_frame_size bytes and delivers every output
  // frame it completes. The previous sample and an unfinished output frame
  // carry over to the next push.
  int Push(const BYTE* data, UINT size, REFERENCE_TIME startTime, const void* record);

  UINT OutputRate() const { return m_outputRate; }
  // The reduced ratio: I input samples give D output samples, S = D - I.
  UINT Interpolation() const { return m_interp; }
  UINT Decimation() const { return m_decim; }
  UINT Step() const { return m_decim - m_interp; }

 private:
  void ResetRatio();

  IResamplerSink* const m_sink;
  UINT m_channels = 0;
  UINT m_inputRate = 0;
  UINT m_outputRate = 0;
  UINT m_frame_size = 0;  // bytes
  UINT m_frameSamples = 0;
  UINT m_avgBytesPerSec = 0;
  int m_outputByteRate = 0;
  std::vector<BYTE> m_frame;
  UINT m_interp = 0;
  UINT m_decim = 0;
  int m_w0 = 0;  // weight of the previous input sample
  int m_w1 = 0;  // weight of the current one
  int16_t m_previous[2] = {0, 0};
  int16_t m_current[2] = {0, 0};
  UINT m_fill = 0;  // samples already in the frame buffer
};

class CSampleDecimator {
 public:
  explicit CSampleDecimator(IDecimatorSource* source) : m_source(source) {}

  // 2 unless channels is 1 or 2 and frameBytes is non-zero.
  int Configure(UINT channels, UINT frameBytes);
  void SetShift(int shift) { m_shift = shift; }
  // Forgets the unread rest of the last input frame.
  void DropCarriedInput() { m_remaining = 0; }
  // Fills `out` (m_frame_size bytes) with outCount of every inCount input
  // sample frames, shifted right; what the source could not supply is zero.
  // meanTime is the mean time of the input frames taken; 4 (and meanTime 0)
  // when none was taken.
  int Pull(BYTE* out, UINT size, UINT inCount, UINT outCount, REFERENCE_TIME* meanTime);

 private:
  IDecimatorSource* const m_source;
  UINT m_channels = 0;
  UINT m_frame_size = 0;
  std::vector<BYTE> m_input;
  UINT m_remaining = 0;  // unread bytes at the end of the last input frame
  int m_shift = 3;
};

// The source's two output pins. Each takes the oldest frame from the sink
// attached to it, copies it into a sample, stamps it and delivers it; the
// audio pin offers AAC types, the video pin MPEG-4 and AVC types.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "dshow/interfaces.h"
#include "dshow/source.h"
#include "filter_sink.h"
#include "utility/tlx_utility.h"

class CStreamingClientFilter;

class TlxStreamPin : public CSourceStream, public IAMPushSource {
 public:
  TlxStreamPin(const char* objectName, HRESULT* hr, CStreamingClientFilter* filter, LPCWSTR name);

  DECLARE_IUNKNOWN
  // IAMPushSource, but not IAMLatency on its own.
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP GetLatency(REFERENCE_TIME* latency) override;
  STDMETHODIMP GetPushSourceFlags(ULONG* flags) override;
  STDMETHODIMP SetPushSourceFlags(ULONG) override { return S_OK; }
  STDMETHODIMP SetStreamOffset(REFERENCE_TIME) override { return S_OK; }
  STDMETHODIMP GetStreamOffset(REFERENCE_TIME* offset) override;
  STDMETHODIMP GetMaxStreamOffset(REFERENCE_TIME* offset) override;
  STDMETHODIMP SetMaxStreamOffset(REFERENCE_TIME offset) override;

  // The three offered types (VFW_S_NO_MORE_ITEMS past them); a type is
  // accepted when it matches one, whose index the pin keeps.
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT SetMediaType(const CMediaType* mt) override;
  // The pin's current format at its accepted index.
  void CurrentType(CMediaType* mt);

  // At least 4 buffers of at least MinimumBufferBytes; E_FAIL when the
  // allocator grants less.
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Runs inside the filter's Pause: the first-frame wait.
  HRESULT OnThreadCreate() override;
  HRESULT FillBuffer(IMediaSample* sample) override;

  // The sink frames come from from now on.
  void AttachSink(std::shared_ptr<TlxFilterSink> sink);
  // Closes the sink's queue (waking a waiting take) and forgets the sink.
  void DetachSink();
  // kbit/s measured over the last second or more.
  DWORD ActualBitrate() const { return m_rate.load(); }
  // The first-frame wait, added to every sample time.
  void SetWaitedMs(DWORD ms) { m_waitedMs = ms; }
  // Applies the quality record's items that are present.
  virtual void SetFormat(const TlxQualityParam& quality) = 0;
  virtual bool IsAudio() const = 0;

 protected:
  // The offered type at an index with the current format (pin lock held),
  // and the index a type matches (-1: refused).
  virtual void MakeType(int index, CMediaType* mt) = 0;
  virtual int TypeIndex(const AM_MEDIA_TYPE& mt) const = 0;
  virtual LONG MinimumBufferBytes() const = 0;
  virtual ULONG PushSourceFlags() const = 0;
  // The payload length left after any cut.
  virtual unsigned PayloadLength(unsigned length) { return length; }
  // Sets the sample's times and flags from its frame.
  virtual void StampSample(IMediaSample* sample, const TlxFrameDescr& frame) = 0;

  CStreamingClientFilter* m_filter;
  CCritSec m_pinLock;  // the sink pointer and the format
  std::shared_ptr<TlxFilterSink> m_sink;
  std::atomic<DWORD> m_waitedMs{0};
  int m_typeIndex = 0;

 private:
  void CountBytes(unsigned bytes);

  std::atomic<DWORD> m_rate{0};
  uint64_t m_bytes = 0;
  std::chrono::steady_clock::time_point m_lastMeasure{};
  uint64_t m_delivered = 0;
  REFERENCE_TIME m_maxStreamOffset = 0;
};

class TlxAudioStream final : public TlxStreamPin {
 public:
  TlxAudioStream(HRESULT* hr, CStreamingClientFilter* filter);

  void SetFormat(const TlxQualityParam& quality) override;
  bool IsAudio() const override { return true; }
  // Units of one AAC frame of 1024 samples at the current rate.
  REFERENCE_TIME FrameDuration();

 protected:
  void MakeType(int index, CMediaType* mt) override;
  int TypeIndex(const AM_MEDIA_TYPE& mt) const override;
  LONG MinimumBufferBytes() const override { return 20496; }
  ULONG PushSourceFlags() const override { return AM_PUSHSOURCECAPS_NOT_LIVE; }
  unsigned PayloadLength(unsigned length) override;
  void StampSample(IMediaSample* sample, const TlxFrameDescr& frame) override;

 private:
  WAVEFORMATEX m_format;
  uint32_t m_audioFlags = 0;
};

class TlxVideoStream final : public TlxStreamPin {
 public:
  TlxVideoStream(HRESULT* hr, CStreamingClientFilter* filter);

  void SetFormat(const TlxQualityParam& quality) override;
  bool IsAudio() const override { return false; }
  LONG Width();
  LONG Height();
  REFERENCE_TIME FrameDuration();

 protected:
  void MakeType(int index, CMediaType* mt) override;
  int TypeIndex(const AM_MEDIA_TYPE& mt) const override;
  LONG MinimumBufferBytes() const override { return 0x80010; }
  ULONG PushSourceFlags() const override { return 0; }
  void StampSample(IMediaSample* sample, const TlxFrameDescr& frame) override;

 private:
  LONG m_width = 320;
  LONG m_height = 240;
  REFERENCE_TIME m_frameDuration = 333333;
  bool m_formatChanged = false;
};

#include "output_pins.h"

#include <algorithm>
#include <cstring>

#include "debug_log.h"
#include "media_formats.h"
#include "streaming_client_filter.h"

namespace {

// Bits of TlxQualityParam::present.
constexpr uint32_t kPresentVfr = 1u << 2, kPresentVw = 1u << 3, kPresentVh = 1u << 4, kPresentAsr = 1u << 9,
                   kPresentAfl = 1u << 10;
// Audio flag bits: stereo; and the pair that asks for the tail cut.
constexpr uint32_t kAudioStereo = 0x2, kAudioTailCut = 0x200, kAudioNoTailCut = 0x10;
constexpr uint32_t kMinFrameRate = 4, kMaxFrameRate = 30;
constexpr int kMinBuffers = 4;
constexpr auto kRatePeriod = std::chrono::milliseconds(1000);

}  // namespace

// ------------------------------------------------------------------ common

TlxStreamPin::TlxStreamPin(const char* objectName, HRESULT* hr, CStreamingClientFilter* filter, LPCWSTR name)
    : CSourceStream(objectName, hr, filter, name), m_filter(filter) {}

HRESULT TlxStreamPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IAMPushSource) return GetInterface(static_cast<IAMPushSource*>(this), object);
  if (iid == IID_IAMLatency) {
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
  }
  return CSourceStream::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP TlxStreamPin::GetLatency(REFERENCE_TIME* latency) {
  if (latency == nullptr) return E_POINTER;
  *latency = 0;
  return S_OK;
}

STDMETHODIMP TlxStreamPin::GetPushSourceFlags(ULONG* flags) {
  if (flags == nullptr) return E_POINTER;
  *flags = PushSourceFlags();
  return S_OK;
}

STDMETHODIMP TlxStreamPin::GetStreamOffset(REFERENCE_TIME* offset) {
  if (offset == nullptr) return E_POINTER;
  *offset = 0;
  return S_OK;
}

STDMETHODIMP TlxStreamPin::GetMaxStreamOffset(REFERENCE_TIME* offset) {
  if (offset == nullptr) return E_POINTER;
  CAutoLock lock(&m_pinLock);
  *offset = m_maxStreamOffset;
  return S_OK;
}

STDMETHODIMP TlxStreamPin::SetMaxStreamOffset(REFERENCE_TIME offset) {
  CAutoLock lock(&m_pinLock);
  m_maxStreamOffset = offset;
  return S_OK;
}

HRESULT TlxStreamPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (allocator == nullptr || request == nullptr) return E_POINTER;
  ALLOCATOR_PROPERTIES wanted = *request;
  wanted.cBuffers = std::max<LONG>(wanted.cBuffers, kMinBuffers);
  wanted.cbBuffer = std::max(wanted.cbBuffer, MinimumBufferBytes());
  if (wanted.cbAlign < 1) wanted.cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(&wanted, &actual);
  if (FAILED(hr)) return hr;
  return actual.cBuffers < wanted.cBuffers || actual.cbBuffer < wanted.cbBuffer ? E_FAIL : S_OK;
}

HRESULT TlxStreamPin::OnThreadCreate() {
  m_lastMeasure = std::chrono::steady_clock::now();
  m_bytes = 0;
  m_filter->FirstFrameWait(IsAudio());
  return S_OK;
}

HRESULT TlxStreamPin::GetMediaType(int position, CMediaType* mt) {
  if (mt == nullptr) return E_POINTER;
  if (position < 0 || position >= kPinTypeCount) return VFW_S_NO_MORE_ITEMS;
  CAutoLock lock(&m_pinLock);
  MakeType(position, mt);
  return S_OK;
}

HRESULT TlxStreamPin::CheckMediaType(const CMediaType* mt) {
  return mt != nullptr && TypeIndex(*mt) >= 0 ? S_OK : E_FAIL;
}

HRESULT TlxStreamPin::SetMediaType(const CMediaType* mt) {
  const int index = mt == nullptr ? -1 : TypeIndex(*mt);
  if (index < 0) return E_FAIL;
  {
    CAutoLock lock(&m_pinLock);
    m_typeIndex = index;
  }
  return CSourceStream::SetMediaType(mt);
}

void TlxStreamPin::CurrentType(CMediaType* mt) {
  CAutoLock lock(&m_pinLock);
  MakeType(m_typeIndex, mt);
}

void TlxStreamPin::AttachSink(std::shared_ptr<TlxFilterSink> sink) {
  CAutoLock lock(&m_pinLock);
  m_sink = std::move(sink);
}

void TlxStreamPin::DetachSink() {
  std::shared_ptr<TlxFilterSink> sink;
  {
    CAutoLock lock(&m_pinLock);
    sink = m_sink;
  }
  if (sink) sink->Close();
  CAutoLock lock(&m_pinLock);
  m_sink.reset();
}

void TlxStreamPin::CountBytes(unsigned bytes) {
  m_bytes += bytes;
  const auto now = std::chrono::steady_clock::now();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastMeasure).count();
  if (elapsed > kRatePeriod.count()) {
    m_rate = static_cast<DWORD>(m_bytes * 8 / static_cast<uint64_t>(elapsed));
    m_bytes = 0;
    m_lastMeasure = now;
  }
}

HRESULT TlxStreamPin::FillBuffer(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  BYTE* buffer = nullptr;
  if (FAILED(sample->GetPointer(&buffer)) || buffer == nullptr) return E_POINTER;
  const LONG capacity = sample->GetSize();
  std::memset(buffer, 0, static_cast<size_t>(capacity));
  std::shared_ptr<TlxFilterSink> sink;
  {
    CAutoLock lock(&m_pinLock);
    sink = m_sink;
  }
  // Without a sink (its stream ended, or the session stops) the pin has
  // nothing to deliver: its stream ends and its thread waits for the next
  // command.
  if (!sink) return S_FALSE;
  for (;;) {
    TlxFrameDescr frame;
    switch (sink->TakeFrame(&frame)) {
      case TlxFilterSink::Take::kClosed:
        return S_FALSE;
      case TlxFilterSink::Take::kEnd: {
        CAutoLock lock(&m_pinLock);
        if (m_sink == sink) m_sink.reset();
        return S_FALSE;
      }
      case TlxFilterSink::Take::kFrame:
        break;
    }
    const unsigned length = PayloadLength(frame.size - frame.offset);
    if (length == 0 || length > static_cast<unsigned>(capacity)) {
      // Nothing to play, or more than a sample holds: the frame goes.
      if (length != 0) StreamDebugLog::Instance().Debug("%c\tdrop\t%u\n", IsAudio() ? 'A' : 'V', length);
      sink->ReleaseFrame();
      continue;
    }
    std::memcpy(buffer, frame.data + frame.offset, length);
    sample->SetActualDataLength(static_cast<LONG>(length));
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(FALSE);
    StampSample(sample, frame);
    CountBytes(length);
    sink->ReleaseFrame();
    ++m_delivered;
    StreamDebugLog::Instance().Debug("%c\t%llu\t%u\t%u\t%zu\t%u\t%c\n", IsAudio() ? 'A' : 'V',
                                     static_cast<unsigned long long>(m_delivered), frame.stampMs, length,
                                     sink->queuedFrames(), frame.size, frame.marker ? 'M' : '-');
    return S_OK;
  }
}

// ------------------------------------------------------------------- audio

TlxAudioStream::TlxAudioStream(HRESULT* hr, CStreamingClientFilter* filter)
    : TlxStreamPin("audio pin", hr, filter, u"audio"), m_format(MakeAacWaveFormat(44100, 2)) {}


void TlxAudioStream::MakeType(int index, CMediaType* mt) { MakeAudioType(index, m_format, mt); }

int TlxAudioStream::TypeIndex(const AM_MEDIA_TYPE& mt) const { return AudioTypeIndex(mt); }

void TlxAudioStream::SetFormat(const TlxQualityParam& quality) {
  CAutoLock lock(&m_pinLock);
  uint32_t rate = m_format.nSamplesPerSec;
  unsigned channels = m_format.nChannels;
  if (quality.present & kPresentAsr) rate = quality.asr;
  if (quality.present & kPresentAfl) {
    m_audioFlags = quality.afl;
    channels = (quality.afl & kAudioStereo) ? 2 : 1;
  }
  m_format = MakeAacWaveFormat(rate, channels);
}

REFERENCE_TIME TlxAudioStream::FrameDuration() {
  CAutoLock lock(&m_pinLock);
  return m_format.nSamplesPerSec == 0 ? 0 : REFERENCE_TIME{1024000000 / m_format.nSamplesPerSec} * 10;
}

unsigned TlxAudioStream::PayloadLength(unsigned length) {
  uint32_t flags;
  {
    CAutoLock lock(&m_pinLock);
    flags = m_audioFlags;
  }
  if ((flags & kAudioTailCut) && !(flags & kAudioNoTailCut)) {
    length -= std::min(length, DataCorruptionCheck::Instance().GetTailSize());
  }
  return length;
}

void TlxAudioStream::StampSample(IMediaSample* sample, const TlxFrameDescr& frame) {
  REFERENCE_TIME start = m_filter->SampleTime(false, frame.stampMs) + REFERENCE_TIME{m_waitedMs.load()} * 10000;
  REFERENCE_TIME stop = start + FrameDuration();
  sample->SetTime(&start, &stop);
  // The frame's mark travels in the parity of the media start: odd when marked.
  LONGLONG mediaStart = start;
  if ((mediaStart & 1) != (frame.marker ? 1 : 0)) ++mediaStart;
  LONGLONG mediaStop = stop;
  sample->SetMediaTime(&mediaStart, &mediaStop);
  sample->SetPreroll(FALSE);
}

// ------------------------------------------------------------------- video

TlxVideoStream::TlxVideoStream(HRESULT* hr, CStreamingClientFilter* filter)
    : TlxStreamPin("video pin", hr, filter, u"video") {}


void TlxVideoStream::MakeType(int index, CMediaType* mt) { MakeVideoType(index, m_width, m_height, mt); }

int TlxVideoStream::TypeIndex(const AM_MEDIA_TYPE& mt) const { return VideoTypeIndex(mt); }

void TlxVideoStream::SetFormat(const TlxQualityParam& quality) {
  CAutoLock lock(&m_pinLock);
  const LONG width = m_width, height = m_height;
  if (quality.present & kPresentVw) m_width = static_cast<LONG>(quality.vw);
  if (quality.present & kPresentVh) m_height = static_cast<LONG>(quality.vh);
  if (quality.present & kPresentVfr) {
    m_frameDuration = 10000000 / std::clamp(quality.vfr, kMinFrameRate, kMaxFrameRate);
  }
  if (m_width != width || m_height != height) m_formatChanged = true;
}

LONG TlxVideoStream::Width() {
  CAutoLock lock(&m_pinLock);
  return m_width;
}

LONG TlxVideoStream::Height() {
  CAutoLock lock(&m_pinLock);
  return m_height;
}

REFERENCE_TIME TlxVideoStream::FrameDuration() {
  CAutoLock lock(&m_pinLock);
  return m_frameDuration;
}

void TlxVideoStream::StampSample(IMediaSample* sample, const TlxFrameDescr& frame) {
  REFERENCE_TIME start = m_filter->SampleTime(true, frame.stampMs) + REFERENCE_TIME{m_waitedMs.load()} * 10000;
  REFERENCE_TIME stop = start + FrameDuration();
  sample->SetTime(&start, &stop);
  sample->SetMediaTime(&start, &stop);
  CRefTime now;
  sample->SetPreroll(SUCCEEDED(m_filter->StreamTime(now)) && start < now.m_time ? TRUE : FALSE);
  bool changed;
  {
    CAutoLock lock(&m_pinLock);
    changed = m_formatChanged;
    m_formatChanged = false;
  }
  if (changed) {
    CMediaType mt;
    CurrentType(&mt);
    sample->SetMediaType(&mt);
  }
}

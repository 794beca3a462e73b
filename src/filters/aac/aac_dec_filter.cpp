#include "aac_dec_filter.h"

#include <cstring>
#include <new>

#include "aac_dec_setup.h"
#include "aac_params.h"
#include "com/class_registry.h"
#include "dshow/base_pin.h"
#include "dshow/property_page.h"

using tlx::aac::BuildOutputFormat;
using tlx::aac::FrameBytes;
using tlx::aac::IsServable;
using tlx::aac::kFrameSamples;
using tlx::aac::kOutputBufferBytes;

namespace {

constexpr AMOVIESETUP_MEDIATYPE kInputTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_TlxAAC},
                                                 {&MEDIATYPE_Audio, &MEDIASUBTYPE_TlxAAC}};
constexpr AMOVIESETUP_MEDIATYPE kOutputTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
constexpr AMOVIESETUP_PIN kPins[] = {
    {u"Input", FALSE, FALSE, FALSE, FALSE, &GUID_NULL, u"Output", 2, kInputTypes},
    {u"Output", FALSE, TRUE, FALSE, FALSE, &GUID_NULL, u"Input", 1, kOutputTypes},
};

bool MatchesEntry(const AM_MEDIA_TYPE& mt, const AMOVIESETUP_MEDIATYPE* entries, size_t count) {
  if (mt.formattype != FORMAT_WaveFormatEx) return false;
  for (size_t i = 0; i < count; ++i) {
    if (mt.majortype == *entries[i].clsMajorType && mt.subtype == *entries[i].clsMinorType) return true;
  }
  return false;
}

bool IsInputEntry(const AM_MEDIA_TYPE& mt) { return MatchesEntry(mt, kInputTypes, std::size(kInputTypes)); }
bool IsOutputEntry(const AM_MEDIA_TYPE& mt) { return MatchesEntry(mt, kOutputTypes, std::size(kOutputTypes)); }

bool HasWaveFormat(const AM_MEDIA_TYPE& mt) { return mt.pbFormat != nullptr && mt.cbFormat >= sizeof(WAVEFORMATEX); }

WAVEFORMATEX WaveFormatOf(const BYTE* block) {
  WAVEFORMATEX format;
  std::memcpy(&format, block, sizeof format);
  return format;
}

}  // namespace

const AMOVIESETUP_FILTER g_AacDecSetup{&CLSID_AacDecFilter, u"Marovi MPEG4 AAC Decoder for TLX", MERIT_DO_NOT_USE,
                                       2, kPins};

CAacDecFilter::CAacDecFilter(IUnknown* outer, HRESULT* hr)
    : CTransformFilter("AAC decoder", outer, CLSID_AacDecFilter),
      CPersistStream(outer, hr),
      m_input(kInputBufferBytes),
      m_params(DefaultAacDecParams()),
      m_outputFormat(BuildOutputFormat(m_params)) {}

CAacDecFilter::~CAacDecFilter() { CloseCore(); }

CUnknown* CAacDecFilter::CreateInstance(IUnknown* outer, HRESULT* hr) {
  auto* filter = new (std::nothrow) CAacDecFilter(outer, hr);
  if (filter == nullptr && hr != nullptr) *hr = E_OUTOFMEMORY;
  return filter;
}

HRESULT CAacDecFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  if (iid == IID_IAacDecParams) return GetInterface(static_cast<IAacDecParams*>(this), object);
  if (iid == IID_IPersistStream) return GetInterface(static_cast<IPersistStream*>(this), object);
  return CTransformFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT CAacDecFilter::GetClassID(CLSID* clsid) { return CTransformFilter::GetClassID(clsid); }

// ------------------------------------------------------------------ formats

bool CAacDecFilter::StoreFormat(const AM_MEDIA_TYPE& mt) {
  if (!HasWaveFormat(mt)) return false;
  const ULONG length = mt.cbFormat < kFormatBytes ? mt.cbFormat : kFormatBytes;
  std::memset(m_storedFormat, 0, sizeof m_storedFormat);
  std::memcpy(m_storedFormat, mt.pbFormat, length);
  return true;
}

HRESULT CAacDecFilter::CheckInputType(const CMediaType* mt) {
  if (mt == nullptr) return E_POINTER;
  if (!IsInputEntry(*mt)) return E_INVALIDARG;
  CAutoLock lock(&m_csReceive);
  if (!StoreFormat(*mt)) return E_INVALIDARG;
  // The tag is not checked: the source sends its own, and the AAC tag may
  // come as well.
  const WAVEFORMATEX format = WaveFormatOf(m_storedFormat);
  if (format.wBitsPerSample != 0 && format.wBitsPerSample != 16) return E_INVALIDARG;
  if (format.nChannels < 1 || format.nChannels > 8) return E_INVALIDARG;
  if (format.nSamplesPerSec < 8000 || format.nSamplesPerSec > 96000) return E_INVALIDARG;
  if (format.nChannels != 1 && format.nChannels != 2 && format.nChannels != 6) return E_INVALIDARG;
  return S_OK;
}

HRESULT CAacDecFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (in == nullptr || out == nullptr) return E_POINTER;
  if (!IsInputEntry(*in) || !IsOutputEntry(*out)) return E_INVALIDARG;
  {
    CAutoLock lock(&m_csReceive);
    if (!StoreFormat(*in)) return E_INVALIDARG;
    WAVEFORMATEX format = WaveFormatOf(m_storedFormat);
    format.wBitsPerSample = 16;
    std::memcpy(m_storedFormat, &format, sizeof format);
    // The checks of the filter's own reconnection see the format it offered.
    if (m_reconnectSuppress != 0) return S_OK;
    UpdateFormat(format, FormatSide::kInput);
  }
  ReconnectOutputIfChanged();
  return S_OK;
}

void CAacDecFilter::UpdateFormat(const WAVEFORMATEX& format, FormatSide side) {
  // An input format is compared with the input the block describes, an
  // output format with the output: so a mixed-down input matches too.
  const int channels = side == FormatSide::kInput ? m_params.channels : OutputChannels(m_params);
  if (format.nChannels == channels && static_cast<int>(format.nSamplesPerSec) == m_params.sampleRate &&
      format.wBitsPerSample == m_params.sampleBits) {
    return;
  }
  m_params.channels = format.nChannels;
  m_params.sampleRate = static_cast<int32_t>(format.nSamplesPerSec);
  m_params.sampleBits = format.wBitsPerSample;
  if (m_params.channels == 6) m_params.downMix = 2;
  m_outputFormat = BuildOutputFormat(m_params);
}

void CAacDecFilter::ReconnectOutputIfChanged() {
  // Only a stopped graph reconnects, and the filter's own reconnection does
  // not ask again.
  if (m_reconnectSuppress != 0 || !IsStopped()) return;
  CTransformOutputPin* out = OutputPin();
  if (out == nullptr || !out->IsConnected()) return;
  CMediaType type;
  WAVEFORMATEXTENSIBLE format;
  {
    CAutoLock lock(&m_csFilter);
    type = out->CurrentMediaType();
    format = OutputFormat();
  }
  if (type.FormatLength() == kFormatBytes && std::memcmp(type.Format(), &format, kFormatBytes) == 0) return;
  if (!type.SetFormat(reinterpret_cast<const BYTE*>(&format), kFormatBytes)) return;
  m_reconnectSuppress = 1;
  ReconnectPin(out, &type);
  m_reconnectSuppress = 0;
}

WAVEFORMATEXTENSIBLE CAacDecFilter::OutputFormat() {
  CAutoLock lock(&m_csReceive);
  return m_outputFormat;
}

HRESULT CAacDecFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* mt) {
  if (mt == nullptr) return E_POINTER;
  if (direction == PINDIR_INPUT) {
    if (!IsInputEntry(*mt)) return E_INVALIDARG;
    CAutoLock lock(&m_csReceive);
    if (!StoreFormat(*mt)) return E_INVALIDARG;
    WAVEFORMATEX format = WaveFormatOf(m_storedFormat);
    format.wBitsPerSample = 16;
    std::memcpy(m_storedFormat, &format, sizeof format);
    m_params.channels = format.nChannels;
    m_params.sampleRate = static_cast<int32_t>(format.nSamplesPerSec);
    m_params.sampleBits = 16;
    if (m_params.channels == 6) m_params.downMix = 2;
    m_outputFormat = BuildOutputFormat(m_params);
    return S_OK;
  }
  if (!IsOutputEntry(*mt)) return E_INVALIDARG;
  {
    CAutoLock lock(&m_csReceive);
    if (!StoreFormat(*mt)) return E_INVALIDARG;
    UpdateFormat(WaveFormatOf(m_storedFormat), FormatSide::kOutput);
  }
  ReconnectOutputIfChanged();
  return S_OK;
}

HRESULT CAacDecFilter::GetMediaType(int position, CMediaType* mt) {
  if (mt == nullptr) return E_POINTER;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  const WAVEFORMATEXTENSIBLE format = OutputFormat();
  mt->SetType(&MEDIATYPE_Audio);
  mt->SetSubtype(&MEDIASUBTYPE_PCM);
  mt->SetFormatType(&FORMAT_WaveFormatEx);
  if (!mt->SetFormat(reinterpret_cast<const BYTE*>(&format), kFormatBytes)) return E_OUTOFMEMORY;
  mt->SetTemporalCompression(FALSE);
  mt->SetSampleSize(1024);
  return S_OK;
}

HRESULT CAacDecFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (allocator == nullptr || request == nullptr) return E_POINTER;
  if (!InputPin()->IsConnected()) return E_UNEXPECTED;
  request->cBuffers = 1;
  request->cbBuffer = kOutputBufferBytes;
  request->cbAlign = 4;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer) return E_INVALIDARG;
  return S_OK;
}

// ------------------------------------------------------------------- stream

bool CAacDecFilter::OpenCore() {
  int channels = m_params.channels;
  int bits = m_params.sampleBits;
  int rate = m_params.sampleRate;
  int unused1 = 0;
  int unused2 = 0;
  const int reorderCount = m_params.channelReorder != 0 ? OutputChannels(m_params) : 0;
  AacDecHandle core = nullptr;
  if (aacDecCreateInstance(&core) < 0) return false;
  if (aacDecInit(core, &channels, &bits, &rate, &unused1, &unused2, 0, 0, 0, 1, m_params.downMix, reorderCount,
                 m_params.channelOrder) < 0) {
    // Not kept: the next start makes a new instance.
    aacDecReleaseInstance(&core);
    return false;
  }
  m_core = core;
  m_coreOpen = 1;
  return true;
}

bool CAacDecFilter::CloseCore() {
  if (m_coreOpen != 0) {
    if (aacDecExit(m_core) < 0) return false;
    if (aacDecReleaseInstance(&m_core) < 0) return false;
  }
  m_coreOpen = 0;
  m_core = nullptr;
  m_restart = 1;
  return true;
}

HRESULT CAacDecFilter::StopStreaming() { return CloseCore() ? S_OK : S_FALSE; }

HRESULT CAacDecFilter::EndFlush() {
  CAutoLock lock(&m_csReceive);
  return CTransformFilter::EndFlush();
}

HRESULT CAacDecFilter::Receive(IMediaSample* sample) {
  CAutoLock lock(&m_csReceive);
  if (sample->IsDiscontinuity() == S_OK || m_restart != 0) {
    // A core that will not close is not replaced.
    if (!CloseCore()) return S_FALSE;
    StoreFormat(InputPin()->CurrentMediaType());
    if (!OpenCore()) return S_FALSE;
  }
  m_restart = 0;

  BYTE* data = nullptr;
  HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  const LONG length = sample->GetActualDataLength();
  hr = sample->GetTime(&m_start, &m_stop);
  if (FAILED(hr)) return hr;
  const bool hasMediaTime = sample->GetMediaTime(&m_mediaStart, &m_mediaStop) == S_OK;
  if (length <= 0) return S_OK;
  // Longer than any access unit and than the input buffer: dropped whole.
  if (static_cast<ULONG>(length) > kInputBufferBytes) return S_OK;
  std::memcpy(m_input.data(), data, static_cast<size_t>(length));
  return DeliverFrame(sample, static_cast<ULONG>(length), hasMediaTime);
}

HRESULT CAacDecFilter::DeliverFrame(IMediaSample* in, ULONG length, bool hasMediaTime) {
  IMediaSample* out = nullptr;
  if (FAILED(OutputPin()->GetDeliveryBuffer(&out, nullptr, nullptr, 0))) return E_POINTER;
  BYTE* pcm = nullptr;
  if (FAILED(out->GetPointer(&pcm))) {
    out->Release();
    return E_POINTER;
  }
  int inputBytes = 0, outputBytes = 0, consumed = 0, written = 0;
  aacDecGetInfo(m_core, &inputBytes, &outputBytes, &consumed, &written);
  const int frameBytes = FrameBytes(m_params);
  // The core writes outputBytes, the frame is frameBytes: both must fit.
  if (outputBytes > out->GetSize() || frameBytes > out->GetSize()) {
    out->Release();
    return VFW_E_BUFFER_OVERFLOW;
  }
  if (aacDecMain(m_core, m_input.data(), inputBytes, &consumed, pcm, outputBytes, &written,
                 static_cast<int>(length)) < 0) {
    out->Release();
    return S_FALSE;
  }
  out->SetActualDataLength(frameBytes);
  out->SetSyncPoint(in->IsSyncPoint() == S_OK);
  out->SetPreroll(in->IsPreroll() == S_OK);
  out->SetDiscontinuity(in->IsDiscontinuity() == S_OK);
  REFERENCE_TIME start = m_start;
  REFERENCE_TIME stop = m_stop;
  out->SetTime(&start, &stop);
  if (hasMediaTime) {
    m_mediaStop = m_mediaStart + kFrameSamples;
    out->SetMediaTime(&m_mediaStart, &m_mediaStop);
    m_mediaStart = m_mediaStop;
  }
  m_start = m_stop;
  HRESULT hr = OutputPin()->Deliver(out);
  out->Release();
  return hr;
}

// -------------------------------------------------------------- parameters

HRESULT CAacDecFilter::GetParams(int* block, int, int) {
  if (block == nullptr) return E_POINTER;
  CAutoLock lock(&m_csReceive);
  std::memcpy(block, &m_params, sizeof m_params);
  return S_OK;
}

HRESULT CAacDecFilter::SetParams(const int* block, int, int) {
  if (block == nullptr) return E_POINTER;
  AacDecParams params;
  std::memcpy(&params, block, sizeof params);
  {
    CAutoLock filterLock(&m_csFilter);
    CAutoLock lock(&m_csReceive);
    // The block changes only while the decoder is not running, and only to
    // one it can serve.
    if (m_coreOpen != 0 || !IsStopped() || !IsServable(params)) return E_INVALIDARG;
    m_params = params;
    m_outputFormat = BuildOutputFormat(m_params);
    SetDirty(TRUE);
  }
  ReconnectOutputIfChanged();
  return S_OK;
}

HRESULT CAacDecFilter::GetPages(CAUUID* pages) { return OnePropertyPage(pages, CLSID_AacDecPropertyPage); }

// ------------------------------------------------------------- persistence

HRESULT CAacDecFilter::WriteToStream(IStream* stream) {
  AacDecParams params;
  {
    CAutoLock lock(&m_csReceive);
    params = m_params;
  }
  return WriteStreamBytes(stream, &params, sizeof params);
}

HRESULT CAacDecFilter::ReadFromStream(IStream* stream) {
  AacDecParams params;
  HRESULT hr = ReadStreamBytes(stream, &params, sizeof params);
  if (FAILED(hr)) return hr;
  // A damaged block is refused like one SetParams would refuse.
  if (!IsServable(params)) return E_INVALIDARG;
  CAutoLock lock(&m_csReceive);
  m_params = params;
  m_outputFormat = BuildOutputFormat(m_params);
  return S_OK;
}

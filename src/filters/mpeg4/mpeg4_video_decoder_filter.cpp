#include "mpeg4_video_decoder_filter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "dshow/errors.h"
#include "filters/streaming_client/tlx_media_subtypes.h"
#include "output_formats.h"
#include "win32/muldiv.h"
#include "win32/registry.h"

namespace tlx::mpeg4 {

namespace {

constexpr AMOVIESETUP_MEDIATYPE kVideoType[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
constexpr AMOVIESETUP_PIN kPins[] = {
    {u"Input", FALSE, FALSE, FALSE, FALSE, &GUID_NULL, u"Output", 1, kVideoType},
    {u"Output", FALSE, TRUE, FALSE, FALSE, &GUID_NULL, u"Input", 1, kVideoType},
};

// The first bytes of decoder-specific information: a start-code prefix.
constexpr BYTE kStartCodePrefix[3] = {0x00, 0x00, 0x01};
// A format block of a non-video input type keeps the rectangles and times.
constexpr ULONG kNonVideoKeptBytes = 48;
// dwBitRate: bits of one picture at the frame time, in 100-ns units.
constexpr int kBitsPerByteTimesUnitsPerSecond = 80000000;

const VIDEOINFOHEADER* VideoInfo(const CMediaType& mt) {
  if (*mt.FormatType() != FORMAT_VideoInfo || mt.Format() == nullptr || mt.FormatLength() < sizeof(VIDEOINFOHEADER))
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(mt.Format());
}

bool IsRectEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

}  // namespace

const AMOVIESETUP_FILTER g_Mpeg4VideoDecoderSetup{&CLSID_Mpeg4VideoDecoder, kMpeg4VideoDecoderName,
                                                  MERIT_DO_NOT_USE, 2, kPins};

CUnknown* CMpeg4VideoDecoderFilter::CreateInstance(IUnknown* outer, HRESULT* hr) {
  auto* filter = new (std::nothrow) CMpeg4VideoDecoderFilter(outer, hr);
  if (filter == nullptr && hr != nullptr) *hr = E_OUTOFMEMORY;
  return filter;
}

CMpeg4VideoDecoderFilter::CMpeg4VideoDecoderFilter(IUnknown* outer, HRESULT*)
    : CTransformFilter("MPEG Video codec filter", outer, CLSID_Mpeg4VideoDecoder) {
  ReadRegistry();
}

CMpeg4VideoDecoderFilter::~CMpeg4VideoDecoderFilter() {
  if (heldSample_ != nullptr) heldSample_->Release();
}

void CMpeg4VideoDecoderFilter::CreatePins() {
  HRESULT hr = S_OK;
  if (m_pInput == nullptr) m_pInput = new CTransformInputPin("transform input", this, &hr, u"Input");
  if (m_pOutput == nullptr) m_pOutput = new CTransformOutputPin("transform output", this, &hr, u"Output");
}

void CMpeg4VideoDecoderFilter::ReadRegistry() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDecoderRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD value = 0, type = 0, size = sizeof(value);
  if (RegQueryValueExA(key, kErrorOutputValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
          ERROR_SUCCESS &&
      size == sizeof(value) && (value == 0 || value == 1)) {
    errorOutput_ = value;
  }
  RegCloseKey(key);
}

HRESULT CMpeg4VideoDecoderFilter::CheckInputType(const CMediaType* in) {
  if (in == nullptr || *in->Type() != MEDIATYPE_Video ||
      (*in->Subtype() != MEDIASUBTYPE_MP4S && *in->Subtype() != MEDIASUBTYPE_TlxMP4V))
    return E_INVALIDARG;
  const VIDEOINFOHEADER* info = VideoInfo(*in);
  if (info == nullptr) return E_INVALIDARG;
  const BYTE* extra = in->Format() + sizeof(VIDEOINFOHEADER);
  const size_t extraLength = in->FormatLength() - sizeof(VIDEOINFOHEADER);
  // Decoder-specific bytes longer than the filter keeps are refused rather
  // than cut, so the decoder never sees half a header.
  if (extraLength >= sizeof(kStartCodePrefix) && std::memcmp(extra, kStartCodePrefix, 3) == 0 &&
      extraLength > kMaxDecoderSpecificBytes)
    return E_INVALIDARG;

  CAutoLock lock(&m_csReceive);
  std::memcpy(savedBytes_, in->Format() + in->FormatLength() - 2, 2);
  ReadFormatExtra(extra, extraLength);
  const size_t capacity = buffer_.AllocateBuffer(kStreamBufferBytes);
  width_ = info->bmiHeader.biWidth;
  height_ = info->bmiHeader.biHeight;
  ResetStreamState();
  return capacity == kStreamBufferBytes ? S_OK : E_OUTOFMEMORY;
}

void CMpeg4VideoDecoderFilter::ReadFormatExtra(const BYTE* bytes, size_t length) {
  extraLength_ = 0;
  if (length >= sizeof(kStartCodePrefix) && length <= kMaxDecoderSpecificBytes &&
      std::memcmp(bytes, kStartCodePrefix, sizeof(kStartCodePrefix)) == 0) {
    extraLength_ = length;
    std::memcpy(extra_, bytes, length);
  }
}

HRESULT CMpeg4VideoDecoderFilter::CheckTransform(const CMediaType*, const CMediaType* out) {
  if (out == nullptr || *out->Type() != MEDIATYPE_Video) return VFW_E_TYPE_NOT_ACCEPTED;
  const VIDEOINFOHEADER* info = VideoInfo(*out);
  if (info == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;
  const OutputFormat* format = FindOutputFormat(*out->Subtype());
  if (format == nullptr || !format->accepted) return VFW_E_TYPE_NOT_ACCEPTED;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const bool yuy2 = *out->Subtype() == MEDIASUBTYPE_YUY2;
  if (!yuy2 && header.biHeight < 0) return VFW_E_TYPE_NOT_ACCEPTED;
  if (yuy2 && width_ % 16 != 0) return VFW_E_TYPE_NOT_ACCEPTED;
  const LONG height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  if (height != height_ || header.biWidth < width_) return VFW_E_TYPE_NOT_ACCEPTED;
  if (IsRectEmpty(info->rcTarget)) return S_OK;
  const RECT& s = info->rcSource;
  const RECT& t = info->rcTarget;
  if (s.left != 0 || s.top != 0 || s.right != width_ || s.bottom != height_) return E_FAIL;
  if (t.right - t.left != width_ || t.bottom - t.top != height_) return E_FAIL;
  return S_OK;
}

HRESULT CMpeg4VideoDecoderFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (allocator == nullptr || request == nullptr) return E_POINTER;
  request->cBuffers = 1;
  request->cbBuffer = static_cast<LONG>(m_pOutput->CurrentMediaType().GetSampleSize());
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cbBuffer < request->cbBuffer || actual.cBuffers < request->cBuffers) return E_INVALIDARG;
  return S_OK;
}

void CMpeg4VideoDecoderFilter::FillVideoInfo(VIDEOINFOHEADER* info, DWORD compression, WORD bitCount) const {
  BITMAPINFOHEADER& header = info->bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width_;
  header.biHeight = height_;
  header.biPlanes = 1;
  header.biBitCount = bitCount;
  header.biCompression = compression;
  header.biSizeImage = DibSizeImage(header);
  header.biXPelsPerMeter = header.biYPelsPerMeter = 0;
  header.biClrUsed = header.biClrImportant = 0;
  info->dwBitErrorRate = 0;
  // The Windows meaning is kept: a zero frame time gives -1 (0xFFFFFFFF).
  info->dwBitRate = static_cast<DWORD>(MulDiv(static_cast<int>(header.biSizeImage), kBitsPerByteTimesUnitsPerSecond,
                                              static_cast<int>(info->AvgTimePerFrame)));
}

HRESULT CMpeg4VideoDecoderFilter::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position >= kOutputFormatCount) return VFW_S_NO_MORE_ITEMS;
  if (mt == nullptr) return E_POINTER;
  const OutputFormat& format = OfferedOutputFormat(position);
  HRESULT hr = mt->Set(m_pInput->CurrentMediaType());
  if (FAILED(hr)) return hr;
  if (*mt->Type() != MEDIATYPE_Video) {
    auto* kept = reinterpret_cast<VIDEOINFOHEADER*>(mt->ReallocFormatBuffer(kNonVideoKeptBytes));
    if (kept == nullptr) return E_OUTOFMEMORY;
    kept->rcSource = kept->rcTarget = RECT{0, 0, width_, height_};
    kept->AvgTimePerFrame = 0;
  }
  BYTE* block = mt->ReallocFormatBuffer(format.formatBytes);
  if (block == nullptr) return E_OUTOFMEMORY;
  std::memcpy(block + format.formatBytes - 2, savedBytes_, 2);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(block);
  FillVideoInfo(info, format.compression, format.bitCount);
  BYTE* after = block + sizeof(VIDEOINFOHEADER);
  if (position == kRgb8Position) {
    FillPalette8(after);
    info->bmiHeader.biClrUsed = 256;
    info->bmiHeader.biClrImportant = 0;
  } else if (position == kRgb565Position) {
    std::memcpy(after, kRgb565Masks, sizeof(kRgb565Masks));
  }
  mt->SetSubtype(format.subtype);
  mt->SetType(&MEDIATYPE_Video);
  mt->SetFormatType(&FORMAT_VideoInfo);
  mt->SetTemporalCompression(FALSE);
  mt->SetSampleSize(info->bmiHeader.biSizeImage);
  return S_OK;
}

HRESULT CMpeg4VideoDecoderFilter::StartStreaming() {
  CAutoLock filter(&m_csFilter);
  CAutoLock receive(&m_csReceive);
  frame_.outputWidth = static_cast<uint32_t>(std::max<LONG>(width_, 0));
  frame_.outputHeight = static_cast<uint32_t>(std::max<LONG>(height_, 0));
  ResetStreamState();
  return S_OK;
}

HRESULT CMpeg4VideoDecoderFilter::StopStreaming() {
  CAutoLock filter(&m_csFilter);
  CAutoLock receive(&m_csReceive);
  return S_OK;
}

HRESULT CMpeg4VideoDecoderFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* mt) {
  if (direction == PINDIR_OUTPUT && mt != nullptr) SelectOutputFormat(*mt);
  return S_OK;
}

void CMpeg4VideoDecoderFilter::SelectOutputFormat(const CMediaType& mt) {
  const OutputFormat* format = FindOutputFormat(*mt.Subtype());
  bottomUpCode_ = format != nullptr ? format->bottomUpCode : kMpeg4OutputYuy2;
  topDownCode_ = format != nullptr ? format->topDownCode : kMpeg4OutputYuy2;
  const VIDEOINFOHEADER* info = VideoInfo(mt);
  if (info == nullptr) return;
  const int64_t stride = OutputStride(info->bmiHeader.biWidth, info->bmiHeader.biBitCount);
  frame_.outputStride = static_cast<int32_t>(std::clamp<int64_t>(stride, 0, INT32_MAX));
  frame_.outputFormat = info->bmiHeader.biHeight >= 1 ? bottomUpCode_ : topDownCode_;
}

BYTE* CMpeg4VideoDecoderFilter::AcquireOutputBuffer() {
  IMediaSample* sample = nullptr;
  if (FAILED(m_pOutput->GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || sample == nullptr) return nullptr;
  heldSample_ = sample;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) return nullptr;
  AM_MEDIA_TYPE* carried = nullptr;
  if (sample->GetMediaType(&carried) == S_OK && carried != nullptr) {
    const CMediaType type(*carried);
    DeleteMediaType(carried);
    // The output pin's SetMediaType runs SelectOutputFormat on the new type.
    if (FAILED(m_pOutput->SetMediaType(&type))) return nullptr;
  }
  return data;
}

HRESULT CMpeg4VideoDecoderFilter::PushSample(IMediaSample* sample) {
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) return E_POINTER;
  const LONG length = std::max<LONG>(sample->GetActualDataLength(), 0);
  // An empty buffer gets the kept decoder-specific bytes first; the decoder
  // keeps what it has (see RecoverStreamState).
  if (buffer_.UnreadBytes() == 0 && extraLength_ > 0 && buffer_.AppendBytes(extra_, extraLength_) != extraLength_)
    return E_OUTOFMEMORY;
  if (length > 0 && buffer_.AppendBytes(data, static_cast<size_t>(length)) != static_cast<size_t>(length))
    return E_OUTOFMEMORY;
  return S_OK;
}

void CMpeg4VideoDecoderFilter::ResetRings() {
  startRing_.Reset();
  stopRing_.Reset();
  outcomeRing_.Reset();
}

void CMpeg4VideoDecoderFilter::ResetStreamState() {
  heldSample_ = nullptr;
  buffer_.ResetBuffer();
  ResetRings();
  synchronised_ = false;
}

void CMpeg4VideoDecoderFilter::RecoverStreamState() {
  buffer_.ClearBuffer();
  ResetRings();
  synchronised_ = false;
}

HRESULT CMpeg4VideoDecoderFilter::Receive(IMediaSample* sample) {
  if (sample == nullptr) return S_OK;
  CAutoLock lock(&m_csReceive);
  if (sample->IsDiscontinuity() == S_OK) {
    DrainPictures();
    RecoverStreamState();
  }
  if (sample->IsSyncPoint() == S_OK) {
    synchronised_ = true;
  } else if (!synchronised_) {
    return S_OK;
  }

  const uint32_t index = buffer_.AppendedPictures();
  REFERENCE_TIME start = 0, stop = 0;
  HRESULT hr = sample->GetTime(&start, &stop);
  const bool stamped = hr == S_OK || hr == VFW_S_NO_STOP_TIME;
  if (stamped) {
    startRing_.Put(start, index);
    stopRing_.Put(hr == S_OK ? stop : start, index);
  }
  if (PushSample(sample) != S_OK) {
    // The bytes that did not fit are lost: the picture they belong to would
    // decode with a hole, so the stream resumes at the next sync point.
    RecoverStreamState();
    return hr;
  }
  if (stamped && buffer_.AppendedPictures() == index) {
    REFERENCE_TIME discarded;
    startRing_.Take(&discarded, index);
    stopRing_.Take(&discarded, index);
  }

  bool stalled = false;
  for (int i = 0; SUCCEEDED(hr) && buffer_.PendingPictures() >= 2; ++i) {
    if (i == kMaxDecodesPerSample) {
      stalled = true;
      break;
    }
    hr = DecodeAndDeliver();
    if (FAILED(hr)) stalled = true;
  }
  buffer_.CompactBuffer();
  // After a failure or at the loop's limit the stream resumes at the next
  // sync point; so it does when nothing but a few bytes without a picture
  // start remain (a cleared buffer among them). A lone end marker stays.
  if ((stalled && buffer_.PendingPictures() >= 2) ||
      (buffer_.UnreadBytes() <= 4 && buffer_.PendingPictures() == 0)) {
    RecoverStreamState();
  }
  return hr;
}

HRESULT CMpeg4VideoDecoderFilter::DecodeAndDeliver() {
  frame_.outputBuffer = AcquireOutputBuffer();
  const bool haveBuffer = frame_.outputBuffer != nullptr;
  // Without a delivery buffer the picture is decoded once, converted into
  // nothing, so the references stay right.
  const uint32_t format = frame_.outputFormat;
  if (!haveBuffer) frame_.outputFormat = kMpeg4OutputNone;
  const int32_t result = buffer_.DecodeOnePicture(frame_);
  frame_.outputFormat = format;

  HRESULT hr = S_OK;
  if (result < 0) {
    hr = static_cast<HRESULT>(result);
  } else {
    const int64_t decoded = buffer_.DecodedPictures();
    outcomeRing_.Put(DecodeOutcome{result, frame_.pictureKind}, decoded - 1);
    if (frame_.outputAvailable != 0) {
      // The returned picture's own decode, stamps and outcome.
      const int64_t k = decoded - int64_t{frame_.reorderDelay} - 1;
      startRing_.Take(&start_, k);
      stopRing_.Take(&stop_, k);
      DecodeOutcome outcome{-1, 0};
      const bool known = outcomeRing_.Take(&outcome, k);
      const bool clean = known && (outcome.result == 0 || outcome.pictureKind == 1);
      if (haveBuffer && (errorOutput_ == 1 || clean) && stop_ > 0) {
        heldSample_->SetSyncPoint(TRUE);
        const VIDEOINFOHEADER* info = VideoInfo(m_pOutput->CurrentMediaType());
        heldSample_->SetActualDataLength(info != nullptr ? static_cast<LONG>(info->bmiHeader.biSizeImage) : 0);
        REFERENCE_TIME start = start_, stop = stop_;
        heldSample_->SetTime(&start, &stop);
        heldSample_->SetMediaTime(nullptr, nullptr);
        hr = m_pOutput->Deliver(heldSample_);
      }
    }
    // Damage without ErrorOutput: what follows is dropped, and decoding
    // resumes at the next sync point. A damaged intra picture is kept: it is
    // shown (the decoder returns it with the next picture) and predicted from.
    if (result > 0 && errorOutput_ == 0 && frame_.pictureKind != 1) buffer_.ClearBuffer();
  }
  if (heldSample_ != nullptr) {
    heldSample_->Release();
    heldSample_ = nullptr;
  }
  frame_.outputBuffer = nullptr;
  return hr;
}

void CMpeg4VideoDecoderFilter::DrainPictures() {
  HRESULT hr = S_OK;
  while (buffer_.PendingPictures() >= 1 && hr == S_OK && buffer_.UnreadBytes() > 4) hr = DecodeAndDeliver();
  if (hr != S_OK) return;
  // The decoder returns a reference picture only when the next one is
  // decoded: the end marker sends the last one out with its own stamps.
  if (buffer_.AppendBytes(kEndOfStreamMarker, sizeof(kEndOfStreamMarker)) == sizeof(kEndOfStreamMarker))
    DecodeAndDeliver();
}

HRESULT CMpeg4VideoDecoderFilter::EndOfStream() {
  CAutoLock lock(&m_csReceive);
  DrainPictures();
  ResetStreamState();
  return CTransformFilter::EndOfStream();
}

HRESULT CMpeg4VideoDecoderFilter::EndFlush() {
  CAutoLock lock(&m_csReceive);
  DrainPictures();
  ResetStreamState();
  return CTransformFilter::EndFlush();
}

}  // namespace tlx::mpeg4

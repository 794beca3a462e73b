#include "avc_output_worker.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "avc_core_binding.h"
#include "dshow/media_type.h"
#include "win32/synch.h"
#include "win32/threads.h"
#include "win32/timing.h"

namespace tlx::avc {
namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int kMaxShownSize = 2048;
constexpr int32_t kPictureFlagMask = 0x5410;

// Sample aspect ratios of aspect_ratio_idc 1 to 16.
constexpr int kAspectTable[17][2] = {{1, 1},   {1, 1},   {12, 11}, {10, 11}, {16, 11}, {40, 33},
                                     {24, 11}, {20, 11}, {32, 11}, {80, 33}, {18, 11}, {15, 11},
                                     {64, 33}, {160, 99}, {4, 3},  {3, 2},   {2, 1}};
constexpr int kAspectExtendedSar = 255;

int LimitShown(int size) { return size < 0 || size > kMaxShownSize ? kMaxShownSize : size; }

const VIDEOINFOHEADER2* VideoInfo(const AM_MEDIA_TYPE& mt) {
  if (mt.formattype != FORMAT_VideoInfo2 || mt.pbFormat == nullptr || mt.cbFormat < sizeof(VIDEOINFOHEADER2))
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
}

}  // namespace

void SampleAspectRatio(int idc, int sarWidth, int sarHeight, int* width, int* height) {
  *width = *height = 1;
  if (idc >= 1 && idc <= 16) {
    *width = kAspectTable[idc][0];
    *height = kAspectTable[idc][1];
  } else if (idc == kAspectExtendedSar && sarWidth > 0 && sarHeight > 0) {
    *width = sarWidth;
    *height = sarHeight;
  }
}

int64_t FrameDuration::Span(int64_t pictures) const {
  // Whole units and the rest apart, so the product stays inside 64 bits.
  const int64_t whole = numerator / denominator, rest = numerator % denominator;
  return pictures * whole + (pictures * rest + denominator / 2) / denominator;
}

std::optional<FrameDuration> FrameDurationOfTiming(const TlxAvcTimingInfo& timing) {
  if (timing.denominator <= 0 || timing.whole < 0 || timing.numerator < 0) return std::nullopt;
  // One field in 1 / denominator seconds; bounded, two of them in 100 ns
  // units stay inside 64 bits.
  const int64_t field = int64_t{timing.whole} * timing.denominator + timing.numerator;
  if (field == 0 || field > kMaxFieldSeconds * timing.denominator) return std::nullopt;
  const int64_t numerator = 2 * kUnitsPerSecond * field;
  const int64_t divisor = std::gcd(numerator, int64_t{timing.denominator});
  return FrameDuration{numerator / divisor, timing.denominator / divisor};
}

int OutputRowBytes(REFGUID subtype, int stride) {
  int bytesPerPixel = 0;
  if (subtype == MEDIASUBTYPE_YV12 || subtype == MEDIASUBTYPE_RGB24) bytesPerPixel = 3;
  if (subtype == MEDIASUBTYPE_YUY2 || subtype == MEDIASUBTYPE_RGB565) bytesPerPixel = 2;
  if (subtype == MEDIASUBTYPE_RGB32) bytesPerPixel = 4;
  return (bytesPerPixel * stride + 3) & ~3;
}

CAvcOutputWorker::CAvcOutputWorker(SleepFunction sleep) : sleep_(sleep != nullptr ? sleep : &::Sleep) {
  pictureReady_ = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  stopEvent_ = CreateEvent(nullptr, FALSE, FALSE, nullptr);
}

CAvcOutputWorker::~CAvcOutputWorker() {
  Stop();
  CloseHandle(pictureReady_);
  CloseHandle(stopEvent_);
}

void CAvcOutputWorker::Configure(const AvcWorkerSettings& settings) {
  Stop();
  settings_ = settings;
  SetFrameDuration(settings.frameDuration);
  aspectX_ = settings.aspectX;
  aspectY_ = settings.aspectY;
  interlace_ = settings.interlace;
  converter_.Select();
  StartThread();
}

void CAvcOutputWorker::StartThread() {
  if (thread_ != nullptr) return;
  startup_ = true;
  startupWaits_ = 0;
  lastTime_ = 0;
  timed_ = false;
  stop_.store(false);
  ResetEvent(pictureReady_);
  ResetEvent(stopEvent_);
  thread_ = CreateThread(nullptr, 0, &CAvcOutputWorker::ThreadMain, this, 0, nullptr);
  if (thread_ != nullptr) SetThreadPriority(thread_, THREAD_PRIORITY_TIME_CRITICAL);
}

void CAvcOutputWorker::SetFrameDuration(const FrameDuration& duration) {
  CAutoLock lock(&durationLock_);
  frameDuration_ = duration;
}

FrameDuration CAvcOutputWorker::Duration() {
  CAutoLock lock(&durationLock_);
  return frameDuration_;
}

void CAvcOutputWorker::Stop() {
  if (thread_ == nullptr) return;
  stop_.store(true);
  SetEvent(stopEvent_);
  WaitForEnd();
}

void CAvcOutputWorker::WaitForEnd() {
  if (thread_ == nullptr) return;
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
}

void CAvcOutputWorker::PictureReady(void* context) {
  auto* worker = static_cast<CAvcOutputWorker*>(context);
  CAutoLock lock(&worker->workerLock_);
  SetEvent(worker->pictureReady_);
}

DWORD CAvcOutputWorker::ThreadMain(void* self) {
  static_cast<CAvcOutputWorker*>(self)->Loop();
  return 0;
}

void CAvcOutputWorker::Loop() {
  const HANDLE events[2] = {stopEvent_, pictureReady_};
  for (;;) {
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
    int32_t count = 0;
    for (;;) {
      count = 0;
      const int32_t status = core::GetNumUnpullPicture(settings_.handle, &count);
      if (count == 0) break;
      if (status != TLXAVC_STATUS_DRAINING && startup_) {
        int32_t ratio = 0;
        core::GetDecodeRatio(settings_.handle, &ratio);
        // The stop flag ends the wait: Stop must not wait for the start-up.
        if (ratio < 100 && startupWaits_ < kStartupWaits && !stop_.load()) {
          sleep_(kStartupWaitMs);
          ++startupWaits_;
          continue;
        }
      }
      OutputOnePicture();
      startup_ = false;
      if (stop_.load()) break;
    }
    count = 0;
    const int32_t status = core::GetNumUnpullPicture(settings_.handle, &count);
    if ((status != 0 && count == 0) || stop_.load()) return;
  }
}

void CAvcOutputWorker::OutputOnePicture() {
  TlxAvcPictureId id{};
  TlxAvcPicture picture{};
  TlxAvcPictureTime time{};
  if (core::GetPicture(settings_.handle, &id, &picture, &time) != 0) return;
  const int fields = (picture.flags & TLXAVC_PICTURE_TWO_FIELDS) ? 2 : 1;
  int cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
  bool shown = true;
  for (int k = 0; k < fields; ++k) {
    TlxAvcCropInfo crop{};
    const TlxAvcSideInfoQuery query{id.sideInfoIndex + k, TLXAVC_SIDE_CROP, sizeof(crop)};
    if (core::GetSideInfo(settings_.handle, &query, &crop) != 0) continue;
    if (crop.cropped) {
      cropLeft = crop.left, cropRight = crop.right, cropTop = crop.top, cropBottom = crop.bottom;
    }
    if (crop.notShown) shown = false;
  }

  TlxAvcSequenceInfo sequence{};
  const TlxAvcSideInfoQuery sequenceQuery{id.sideInfoIndex, TLXAVC_SIDE_SEQUENCE, sizeof(sequence)};
  if (core::GetSideInfo(settings_.handle, &sequenceQuery, &sequence) == 0) {
    int sarWidth = 1, sarHeight = 1;
    if (sequence.aspectPresent)
      SampleAspectRatio(sequence.aspectIdc, sequence.sarWidth, sequence.sarHeight, &sarWidth, &sarHeight);
    const int64_t shownWidth = LimitShown(sequence.width - cropLeft - cropRight);
    const int64_t shownHeight = LimitShown(sequence.height - cropTop - cropBottom);
    int64_t x = sarWidth * shownWidth, y = sarHeight * shownHeight;
    if (const int64_t divisor = std::gcd(x, y); divisor > 1) x /= divisor, y /= divisor;
    if (x > 0 && y > 0 && (static_cast<DWORD>(x) != aspectX_ || static_cast<DWORD>(y) != aspectY_)) {
      aspectX_ = static_cast<DWORD>(x);
      aspectY_ = static_cast<DWORD>(y);
      formatChanged_ = true;
    }
  }

  bool timeValid = false, discontinuity = startup_;
  for (int k = 0; k < fields; ++k) {
    TlxAvcTimeInfo info{};
    const TlxAvcSideInfoQuery query{id.sideInfoIndex + k, TLXAVC_SIDE_TIME, sizeof(info)};
    if (core::GetSideInfo(settings_.handle, &query, &info) != 0) continue;
    timeValid |= info.timeValid != 0;
    discontinuity |= info.discontinuity != 0;
  }
  timeValid = timeValid && time.valid != 0;

  const int32_t kind = picture.flags & kPictureFlagMask;
  if (!shown || kind == 0x410 || kind == 0x1410) {
    REFERENCE_TIME start, stop;
    AssignTime(timeValid, time.time, &start, &stop);
  } else {
    // The new value rides on the sample of the picture that brings it.
    const DWORD interlace = (picture.flags & TLXAVC_PICTURE_PROGRESSIVE) ? kInterlaceNone
                            : (picture.flags & TLXAVC_PICTURE_BOTTOM_FIRST) ? kInterlaceBottomFirst
                                                                             : kInterlaceTopFirst;
    if (interlace != interlace_) {
      interlace_ = interlace;
      formatChanged_ = true;
    }
    Deliver(picture, timeValid, time.time, discontinuity);
  }
  core::ReleasePicture(settings_.handle);
}

bool CAvcOutputWorker::AssignTime(bool valid, int64_t time, REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  const FrameDuration duration = Duration();
  if (valid || !timed_) {
    // A stream without times starts at 0, as a timed one does.
    anchorTime_ = valid ? time : 0;
    sinceAnchor_ = 0;
  } else {
    // A new duration counts from the picture before.
    if (duration != anchorDuration_) {
      anchorTime_ = lastTime_;
      sinceAnchor_ = 0;
    }
    ++sinceAnchor_;
  }
  anchorDuration_ = duration;
  const int64_t t = anchorTime_ + duration.Span(sinceAnchor_);
  lastTime_ = t;
  timed_ = true;
  *start = t;
  *stop = t + duration.Span(1);
  return t >= 0;
}

HRESULT CAvcOutputWorker::Deliver(const TlxAvcPicture& picture, bool timeValid, int64_t time, bool discontinuity) {
  REFERENCE_TIME start, stop;
  if (!AssignTime(timeValid, time, &start, &stop)) return S_OK;
  CBaseOutputPin* pin = settings_.pin;
  IMediaSample* sample = nullptr;
  HRESULT hr = pin->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  if (sample == nullptr) return E_FAIL;
  struct Release {
    IMediaSample* s;
    ~Release() { s->Release(); }
  } release{sample};

  AM_MEDIA_TYPE* attached = nullptr;
  if (sample->GetMediaType(&attached) == S_OK && attached != nullptr) {
    CMediaType type(*attached);
    DeleteMediaType(attached);
    if (pin->CheckMediaType(&type) != S_OK || FAILED(pin->SetMediaType(&type))) return E_FAIL;
    settings_.subtype = type.subtype;
    // A new type may also widen the rows.
    if (const VIDEOINFOHEADER2* info = VideoInfo(type)) settings_.stride = std::abs(info->bmiHeader.biWidth);
  }
  BYTE* buffer = nullptr;
  if (FAILED(sample->GetPointer(&buffer)) || buffer == nullptr) return S_OK;

  const VIDEOINFOHEADER2* info = VideoInfo(pin->CurrentMediaType());
  if (info == nullptr) return E_FAIL;
  if (formatChanged_) {
    CMediaType type(pin->CurrentMediaType());
    auto* changed = reinterpret_cast<VIDEOINFOHEADER2*>(type.Format());
    changed->dwInterlaceFlags = interlace_;
    changed->dwPictAspectRatioX = aspectX_;
    changed->dwPictAspectRatioY = aspectY_;
    if (FAILED(pin->SetMediaType(&type))) return E_FAIL;
    sample->SetMediaType(&type);
    formatChanged_ = false;
    info = VideoInfo(pin->CurrentMediaType());
  }
  const int outWidth = std::abs(info->bmiHeader.biWidth), outHeight = std::abs(info->bmiHeader.biHeight);
  const int stride = settings_.stride;
  const int rowBytes = OutputRowBytes(settings_.subtype, stride);
  if (rowBytes == 0) return E_FAIL;
  const int w = std::min(picture.width, outWidth), h = std::min(picture.height, outHeight);
  const uint32_t sourceFormat =
      kFormatPlanar420 | ((picture.flags & TLXAVC_PICTURE_PROGRESSIVE) ? kSourceProgressive : kSourceInterlaced);
  const Planes source{{picture.y, picture.u, picture.v},
                      {picture.lumaStride, picture.chromaStride, picture.chromaStride}};
  const bool planar = settings_.subtype == MEDIASUBTYPE_YV12;
  // What the conversion writes must lie inside the buffer.
  const int64_t needed = planar ? int64_t{stride} * outHeight + 2 * int64_t{stride / 2} * (outHeight / 2)
                                : int64_t{h} * rowBytes;
  if (w <= 0 || h <= 0 || needed > sample->GetSize()) return E_FAIL;
  LONG length;
  int converted;
  if (planar) {
    const Planes destination{{buffer, buffer + int64_t{stride} * outHeight, buffer + int64_t{stride} * outHeight * 5 / 4},
                             {stride, stride / 2, stride / 2}};
    converted = converter_.PlanarConvert(source, w, h, sourceFormat, destination, kFormatYv12);
    length = h * rowBytes / 2;
  } else {
    uint32_t format = kFormatYuy2;
    if (settings_.subtype == MEDIASUBTYPE_RGB32) format = kFormatRgb32;
    if (settings_.subtype == MEDIASUBTYPE_RGB24) format = kFormatRgb24;
    if (settings_.subtype == MEDIASUBTYPE_RGB565) format = kFormatRgb565;
    // RGB rows run bottom-up for a positive height, as a bitmap's do.
    const uint32_t option = kOptionStudioRange | (info->bmiHeader.biHeight < 0 ? kOptionRowsFromLast : 0);
    converted = converter_.PackedConvert(source, w, h, sourceFormat, option, buffer, rowBytes, format);
    length = h * rowBytes;
  }
  if (!converted) return S_OK;
  sample->SetActualDataLength(length);
  sample->SetMediaTime(nullptr, nullptr);
  sample->SetDiscontinuity(discontinuity ? TRUE : FALSE);
  sample->SetTime(&start, &stop);
  CAutoLock lock(&deliveryLock_);
  return pin->Deliver(sample);
}

}  // namespace tlx::avc

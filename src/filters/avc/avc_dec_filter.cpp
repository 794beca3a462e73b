#include "avc_dec_filter.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "avc_core_binding.h"
#include "com/class_registry.h"
#include "dshow/errors.h"
#include "dshow/property_page.h"
#include "win32/profile.h"
#include "win32/timing.h"

namespace tlx::avc {
namespace {

constexpr uint32_t kCoreFlushRecreate = 0x80000002;
constexpr DWORD kBusyWaitMs = 3;
constexpr ULONG kRgb565FormatSize = sizeof(VIDEOINFOHEADER2) + 3 * sizeof(DWORD);
constexpr DWORD kRgb565Masks[3] = {0xF800, 0x07E0, 0x001F};

constexpr DWORD FourCc(char a, char b, char c, char d) {
  return DWORD(uint8_t(a)) | DWORD(uint8_t(b)) << 8 | DWORD(uint8_t(c)) << 16 | DWORD(uint8_t(d)) << 24;
}

struct OutputType {
  const GUID* subtype;
  DWORD compression;
  WORD bitCount;
};
const OutputType kOutputTypes[kOutputTypeCount] = {
    {&MEDIASUBTYPE_YV12, FourCc('Y', 'V', '1', '2'), 12}, {&MEDIASUBTYPE_YUY2, FourCc('Y', 'U', 'Y', '2'), 16},
    {&MEDIASUBTYPE_RGB32, BI_RGB, 32},                     {&MEDIASUBTYPE_RGB24, BI_RGB, 24},
    {&MEDIASUBTYPE_RGB565, BI_BITFIELDS, 16}};

const AMOVIESETUP_MEDIATYPE kAnyVideo{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
const AMOVIESETUP_PIN kSetupPins[2] = {
    {u"Input", FALSE, FALSE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kAnyVideo},
    {u"Output", FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kAnyVideo}};
const AMOVIESETUP_FILTER kSetup{&CLSID_AvcDecFilter, u"Marovi AVC Decoder for TLX", MERIT_DO_NOT_USE, 2, kSetupPins};

const VIDEOINFOHEADER2* VideoInfo(const AM_MEDIA_TYPE* mt) {
  if (mt == nullptr || mt->formattype != FORMAT_VideoInfo2 || mt->pbFormat == nullptr ||
      mt->cbFormat < sizeof(VIDEOINFOHEADER2))
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat);
}

bool IsOfferedSubtype(REFGUID subtype) {
  return std::any_of(std::begin(kOutputTypes), std::end(kOutputTypes),
                     [&](const OutputType& type) { return *type.subtype == subtype; });
}

// Bytes of a bitmap with this header: rows padded to 32 bits.
DWORD BitmapSize(const BITMAPINFOHEADER& header) {
  const int64_t rowBytes = ((int64_t{header.biWidth} * header.biBitCount + 31) & ~int64_t{31}) / 8;
  return static_cast<DWORD>(rowBytes * std::abs(header.biHeight));
}

}  // namespace

const AMOVIESETUP_FILTER* AvcDecFilterSetup() { return &kSetup; }

CUnknown* CAvcDecFilter::CreateInstance(IUnknown* outer, HRESULT* hr) { return new CAvcDecFilter(outer, hr); }

CAvcDecFilter::CAvcDecFilter(IUnknown* outer, HRESULT* hr, CAvcOutputWorker::SleepFunction sleep)
    : CTransformFilter("MPEG Video codec filter", outer, CLSID_AvcDecFilter),
      CPersistStream(outer, hr),
      sleep_(sleep) {
  ApplySettingsFile();
  if (!LoadAvcCore(&coreModule_)) {
    if (hr != nullptr) *hr = VFW_E_RUNTIME_ERROR;
    return;
  }
  auto buffer = CNalStreamBuffer::Create();
  if (buffer == nullptr) {
    if (hr != nullptr) *hr = VFW_E_RUNTIME_ERROR;
    return;
  }
  byteStreamHandler_ = std::make_unique<CAvcByteStreamHandler>(std::move(buffer));
  activeHandler_ = byteStreamHandler_.get();
}

CAvcDecFilter::~CAvcDecFilter() {
  if (coreModule_ != nullptr) {
    ReleaseWorkerAndInstance();
    FreeLibrary(coreModule_);
  }
}

HRESULT CAvcDecFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IAvcDecMode || iid == IID_IAvcDecModePage) return GetInterface(static_cast<IAvcDecMode*>(this), object);
  if (iid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  if (iid == IID_IPersistStream) return GetInterface(static_cast<IPersistStream*>(this), object);
  return CTransformFilter::NonDelegatingQueryInterface(iid, object);
}

// ---------------------------------------------------------------- settings

void CAvcDecFilter::ApplySettingsFile() {
  const std::string folder = OwnModuleFolder();
  if (folder.empty()) return;
  const std::string path = folder + kSettingsFileName;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return;
  mode_ = static_cast<int>(GetPrivateProfileIntA("TLXAVC", "Perfmode", mode_, path.c_str()));
}

// The filter lock comes before the mode lock, as in the connection paths
// that read the mode.
bool CAvcDecFilter::OutputConnected() {
  CAutoLock lock(&m_csFilter);
  return GetPin(1) != nullptr && OutputPin()->IsConnected();
}

STDMETHODIMP CAvcDecFilter::GetMode(int* mode, int* connected) {
  if (connected != nullptr) *connected = OutputConnected() ? 1 : 0;
  CAutoLock lock(&modeLock_);
  if (mode != nullptr) *mode = mode_;
  return S_OK;
}

STDMETHODIMP CAvcDecFilter::SetMode(int mode) {
  CAutoLock filterLock(&m_csFilter);
  CAutoLock lock(&modeLock_);
  if (OutputConnected()) return E_FAIL;
  mode_ = mode;
  ApplySettingsFile();
  return S_OK;
}

STDMETHODIMP CAvcDecFilter::GetModeEx(int* mode, int* connected, int* reserved) {
  if (reserved != nullptr) *reserved = 0;
  return GetMode(mode, connected);
}

STDMETHODIMP CAvcDecFilter::GetPages(CAUUID* pages) { return OnePropertyPage(pages, CLSID_AvcDecPropertyPage); }

// ------------------------------------------------------------------ types

HRESULT CAvcDecFilter::CheckInputType(const CMediaType* in) {
  if (in == nullptr || in->majortype != MEDIATYPE_Video ||
      (in->subtype != MEDIASUBTYPE_TlxAVCC && in->subtype != MEDIASUBTYPE_TlxAVC) ||
      in->formattype != FORMAT_VideoInfo2)
    return E_INVALIDARG;
  const VIDEOINFOHEADER2* info = VideoInfo(in);
  if (info == nullptr) return E_INVALIDARG;
  int width = info->rcSource.right - info->rcSource.left;
  int height = info->rcSource.bottom - info->rcSource.top;
  if (width <= 0) width = info->bmiHeader.biWidth;
  if (height <= 0) height = info->bmiHeader.biHeight;
  if (width <= 0 || height <= 0 || width > kMaxInputWidth || height > kMaxInputHeight) return E_INVALIDARG;
  width_ = width;
  height_ = height;
  aspectX_ = info->dwPictAspectRatioX;
  aspectY_ = info->dwPictAspectRatioY;
  if (info->AvgTimePerFrame > 0) frameDuration_ = {info->AvgTimePerFrame, 1};
  if (GetPin(1) != nullptr && OutputPin()->IsConnected() && m_pGraph != nullptr) {
    const HRESULT hr = m_pGraph->Reconnect(OutputPin());
    return hr == VFW_E_WRONG_STATE ? S_OK : hr;
  }
  return S_OK;
}

HRESULT CAvcDecFilter::GetMediaType(int position, CMediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  if (position >= kOutputTypeCount) return VFW_S_NO_MORE_ITEMS;
  const OutputType& type = kOutputTypes[position];
  *mt = InputPin()->CurrentMediaType();
  if (mt->majortype != MEDIATYPE_Video) return E_OUTOFMEMORY;
  const ULONG size = type.compression == BI_BITFIELDS ? kRgb565FormatSize : sizeof(VIDEOINFOHEADER2);
  BYTE* format = mt->ReallocFormatBuffer(size);
  if (format == nullptr) return E_OUTOFMEMORY;
  auto* info = reinterpret_cast<VIDEOINFOHEADER2*>(format);
  info->rcTarget = RECT{0, 0, 0, 0};
  info->dwBitRate = info->dwBitErrorRate = 0;
  info->dwInterlaceFlags = info->dwCopyProtectFlags = info->dwControlFlags = info->dwReserved2 = 0;
  info->bmiHeader = BITMAPINFOHEADER{};
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width_;
  info->bmiHeader.biHeight = height_;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = type.bitCount;
  info->bmiHeader.biCompression = type.compression;
  info->bmiHeader.biSizeImage = BitmapSize(info->bmiHeader);
  if (type.compression == BI_BITFIELDS) std::memcpy(format + sizeof(VIDEOINFOHEADER2), kRgb565Masks, sizeof kRgb565Masks);
  interlace_ = 0;
  mt->SetSubtype(type.subtype);
  mt->SetType(&MEDIATYPE_Video);
  mt->SetFormatType(&FORMAT_VideoInfo2);
  mt->SetTemporalCompression(FALSE);
  mt->SetSampleSize(info->bmiHeader.biSizeImage);
  return S_OK;
}

HRESULT CAvcDecFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if ((out->majortype != MEDIATYPE_Video && in->majortype != MEDIATYPE_Video) || VideoInfo(out) == nullptr)
    return E_INVALIDARG;
  // Only what the worker can produce connects.
  return IsOfferedSubtype(out->subtype) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CAvcDecFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* mt) {
  if (direction == PINDIR_OUTPUT) {
    outputSubtype_ = mt->subtype;
    if (const VIDEOINFOHEADER2* info = VideoInfo(mt)) outputStride_ = std::abs(info->bmiHeader.biWidth);
  }
  return S_OK;
}

HRESULT CAvcDecFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  const CMediaType& mt = OutputPin()->CurrentMediaType();
  const VIDEOINFOHEADER2* info = VideoInfo(&mt);
  if (allocator == nullptr || request == nullptr || info == nullptr) return E_INVALIDARG;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const int64_t height = std::abs(header.biHeight);
  const int64_t asked = ((height + 3) & ~int64_t{3}) * header.biBitCount * header.biWidth / 8;
  // The worker writes whole rows of 4-byte-aligned length.
  const int64_t rowBytes = OutputRowBytes(mt.subtype, std::abs(header.biWidth));
  const int64_t written = mt.subtype == MEDIASUBTYPE_YV12 ? height * rowBytes / 2 : height * rowBytes;
  const int64_t size = std::max({asked, written, int64_t{header.biSizeImage}});
  if (size <= 0 || size > 0x7FFFFFFF) return E_INVALIDARG;
  if (request->cbAlign <= 0) request->cbAlign = 1;
  request->cBuffers = 1;
  request->cbBuffer = static_cast<LONG>(size);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cbBuffer < size || actual.cBuffers < 1) return E_INVALIDARG;
  return S_OK;
}

// ------------------------------------------------------------- connection

HRESULT CAvcDecFilter::CheckConnect(PIN_DIRECTION, IPin* pin) { return pin != nullptr ? S_OK : E_FAIL; }

HRESULT CAvcDecFilter::CompleteConnect(PIN_DIRECTION direction, IPin* pin) {
  CAutoLock lock(&m_csFilter);
  if (direction == PINDIR_INPUT) {
    const GUID& subtype = InputPin()->CurrentMediaType().subtype;
    if (subtype == MEDIASUBTYPE_TlxAVC) {
      activeHandler_ = byteStreamHandler_.get();
    } else if (subtype == MEDIASUBTYPE_TlxAVCC) {
      activeHandler_ = &sampleHandler_;
    } else {
      return E_FAIL;
    }
    return S_OK;
  }
  PIN_INFO pinInfo{};
  if (pin == nullptr || FAILED(pin->QueryPinInfo(&pinInfo)) || pinInfo.pFilter == nullptr) return E_FAIL;
  IBaseFilter* downstream = pinInfo.pFilter;
  CLSID clsid{};
  const bool refused = SUCCEEDED(downstream->GetClassID(&clsid)) && clsid == CLSID_AvcRefusedRenderer;
  if (!refused && InputPin()->IsConnected()) {
    IBasicVideo* video = nullptr;
    const VIDEOINFOHEADER2* info = VideoInfo(&InputPin()->CurrentMediaType());
    if (info != nullptr && SUCCEEDED(downstream->QueryInterface(IID_IBasicVideo, reinterpret_cast<void**>(&video)))) {
      const RECT& source = info->rcSource;
      video->SetSourcePosition(source.left, source.top, std::abs(source.right - source.left),
                               std::abs(source.bottom - source.top));
      video->Release();
    }
  }
  downstream->Release();
  if (refused) return E_FAIL;
  ReleaseWorkerAndInstance();
  worker_ = std::make_unique<CAvcOutputWorker>(sleep_);
  int mode;
  GetMode(&mode, nullptr);
  if (core::CreateInstanceEx2(&handle_, mode, &CAvcOutputWorker::PictureReady, worker_.get()) != 0) {
    handle_ = nullptr;
    return S_FALSE;
  }
  return S_OK;
}

HRESULT CAvcDecFilter::BreakConnect(PIN_DIRECTION direction) {
  if (direction == PINDIR_OUTPUT && !IsStopped()) {
    FlushCore();
    activeHandler_->Reset();
  }
  ReleaseWorkerAndInstance();
  return S_OK;
}

void CAvcDecFilter::ReleaseWorkerAndInstance() {
  if (worker_ != nullptr) worker_->Stop();
  if (handle_ != nullptr) core::ReleaseInstance(&handle_);
  handle_ = nullptr;
  worker_.reset();
}

// -------------------------------------------------------------- streaming

bool CAvcDecFilter::StopRequested() {
  CAutoLock lock(&stopLock_);
  return stopRequested_;
}

void CAvcDecFilter::Wait(DWORD milliseconds) const { (sleep_ != nullptr ? sleep_ : &::Sleep)(milliseconds); }

STDMETHODIMP CAvcDecFilter::Stop() {
  // Before the base takes the receive lock, so a Receive waiting on a busy
  // core lets go of it.
  {
    CAutoLock lock(&stopLock_);
    stopRequested_ = true;
  }
  return CTransformFilter::Stop();
}

void CAvcDecFilter::ReconfigureWorker() {
  // Without an instance (its entry missing or failed) nothing is decoded.
  if (worker_ == nullptr || handle_ == nullptr) return;
  AvcWorkerSettings settings;
  settings.subtype = outputSubtype_;
  settings.handle = handle_;
  settings.pin = OutputPin();
  settings.width = width_;
  settings.height = height_;
  settings.stride = outputStride_;
  settings.aspectX = aspectX_;
  settings.aspectY = aspectY_;
  settings.interlace = interlace_;
  settings.frameDuration = frameDuration_;
  worker_->Configure(settings);
  core::Initialize(handle_);
}

void CAvcDecFilter::FlushCore() {
  if (worker_ == nullptr || handle_ == nullptr) return;
  uint8_t buffer[32] = {};
  NoteCoreStatus(core::FinalizePicture(handle_, buffer));
  const int32_t status = core::FlushPicture(handle_, buffer);
  NoteCoreStatus(status);
  if (static_cast<uint32_t>(status) & kCoreFlushRecreate) {
    worker_->Stop();
    core::ReleaseInstance(&handle_);
    int mode;
    GetMode(&mode, nullptr);
    if (core::CreateInstanceEx2(&handle_, mode, &CAvcOutputWorker::PictureReady, worker_.get()) != 0)
      handle_ = nullptr;
    ReconfigureWorker();
  } else {
    worker_->WaitForEnd();
    core::Discontinue(handle_);
  }
}

void CAvcDecFilter::NoteCoreStatus(int32_t status) {
  if (status >= 0 && (status & TLXAVC_STATUS_NOT_SHOWN)) notShown_ = true;
}

HRESULT CAvcDecFilter::EndStream() {
  FlushCore();
  activeHandler_->Reset();
  const HRESULT hr = OutputPin()->DeliverEndOfStream();
  if (notShown_ && !refused_.exchange(true)) NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
  return hr;
}

int32_t CAvcDecFilter::FeedUnit(const uint8_t* data, size_t length, bool hasTime, int64_t time,
                                bool discontinuity) {
  TlxAvcNalResult result{};
  const TlxAvcNalData unit{data, static_cast<int32_t>(std::min<size_t>(length, 0x7FFFFFFF))};
  const int32_t status = core::NALUnit(handle_, &result, &unit);
  NoteCoreStatus(status);
  if (status < 0) {
    FlushCore();
    activeHandler_->Reset();
    ReconfigureWorker();
    return status;
  }
  if (discontinuity) auxDiscontinuity_ = 1;
  if (hasTime) {
    const TlxAvcExtTimeStamp stamp{time, 1};
    core::AttachExtTimeStamp(handle_, &stamp);
    auxTime_ = 1;
  }
  if (status & TLXAVC_STATUS_BUSY) {
    Wait(kBusyWaitMs);
    if (worker_ != nullptr) CAutoLock delivery(worker_->DeliveryLock());
  } else {
    // A unit the core took nothing of counts as taken up to the next start
    // code, or it would be offered for ever.
    size_t taken = static_cast<size_t>(result.word[1]);
    if (taken == 0) taken = UnitLengthToNextStartCode(data, length);
    activeHandler_->Consume(std::min(taken, length));
  }
  if (result.word[5] & TLXAVC_RESULT_NEW_TIMING) {
    const TlxAvcSideInfoQuery query{-1, TLXAVC_SIDE_TIMING, sizeof(TlxAvcTimingInfo)};
    TlxAvcTimingInfo timing{};
    if (core::GetSideInfo(handle_, &query, &timing) == 0) {
      if (const auto duration = FrameDurationOfTiming(timing)) {
        frameDuration_ = *duration;
        if (worker_ != nullptr) worker_->SetFrameDuration(frameDuration_);
      }
    }
  }
  if (result.word[4] == 1) {
    auxTime_ = auxDiscontinuity_ = 0;
  } else {
    const TlxAvcAuxData aux{auxTime_, auxDiscontinuity_};
    core::SetAuxData(handle_, &aux);
  }
  return status;
}

HRESULT CAvcDecFilter::Receive(IMediaSample* sample) {
  if (sample == nullptr) return S_FALSE;
  if (sample->IsDiscontinuity() == S_OK) activeHandler_->SetDiscontinuity();
  const LONG length = sample->GetActualDataLength();
  // An empty sample is no reason for the source to stop delivering.
  if (length <= 0) return S_OK;
  REFERENCE_TIME start = 0, stop = 0;
  if (SUCCEEDED(sample->GetTime(&start, &stop))) activeHandler_->SetTime(start);
  if (!accepting_) return S_FALSE;
  if (refused_) return VFW_E_TYPE_NOT_ACCEPTED;
  if (handle_ == nullptr) return S_OK;
  BYTE* data = nullptr;
  const HRESULT hr = sample->GetPointer(&data);
  if (FAILED(hr)) return hr;
  if (data == nullptr) return S_OK;
  activeHandler_->Append(data, static_cast<size_t>(length));
  int32_t status = 0;
  const uint8_t* unit;
  size_t unitLength;
  while (status >= 0 && activeHandler_->NextNal(&unit, &unitLength)) {
    int64_t time = 0;
    const bool hasTime = activeHandler_->GetTime(&time);
    const bool discontinuity = activeHandler_->GetDiscontinuity();
    do {
      if (StopRequested()) return S_OK;
      status = FeedUnit(unit, unitLength, hasTime, time, discontinuity);
    } while (status == TLXAVC_STATUS_BUSY);
  }
  if (notShown_) {
    EndStream();
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT CAvcDecFilter::EndOfStream() {
  // A refused stream's end went downstream with the refusal.
  if (refused_) return S_OK;
  int32_t status = 0;
  const uint8_t* unit;
  size_t unitLength;
  while (handle_ != nullptr && status >= 0 && !StopRequested() && activeHandler_->NextNalAtEnd(&unit, &unitLength)) {
    int64_t time = 0;
    const bool hasTime = activeHandler_->GetTime(&time);
    status = FeedUnit(unit, unitLength, hasTime, time, activeHandler_->GetDiscontinuity());
  }
  return EndStream();
}

HRESULT CAvcDecFilter::BeginFlush() {
  accepting_ = false;
  return OutputPin()->DeliverBeginFlush();
}

HRESULT CAvcDecFilter::EndFlush() {
  FlushCore();
  notShown_ = false;
  refused_ = false;
  if (worker_ != nullptr && !worker_->HasThread()) worker_->StartThread();
  activeHandler_->Reset();
  accepting_ = true;
  return OutputPin()->DeliverEndFlush();
}

HRESULT CAvcDecFilter::StartStreaming() {
  {
    CAutoLock lock(&stopLock_);
    stopRequested_ = false;
  }
  notShown_ = false;
  refused_ = false;
  ReconfigureWorker();
  if (InputPin() == nullptr) return E_FAIL;
  if (InputPin()->CurrentMediaType().subtype == MEDIASUBTYPE_TlxAVCC) return HandOverConfigurationRecord();
  return S_OK;
}

HRESULT CAvcDecFilter::StopStreaming() {
  {
    CAutoLock lock(&stopLock_);
    stopRequested_ = true;
  }
  FlushCore();
  activeHandler_->Reset();
  return S_OK;
}

HRESULT CAvcDecFilter::HandOverConfigurationRecord() {
  const CMediaType& mt = InputPin()->CurrentMediaType();
  if (!mt.IsValid()) return E_FAIL;
  if (handle_ == nullptr) return S_OK;
  AvcCfgContext* context = nullptr;
  if (avcCfgCreate(&context) != kAvcCfgOk) return S_OK;
  // The record fills the format block after the header; a source that adds
  // bytes after it gives a length error with both lists complete.
  if (mt.pbFormat != nullptr && mt.cbFormat > sizeof(VIDEOINFOHEADER2))
    avcCfgParse(context, mt.pbFormat + sizeof(VIDEOINFOHEADER2), static_cast<int>(mt.cbFormat - sizeof(VIDEOINFOHEADER2)));
  HRESULT result = S_OK;
  for (const int kind : {kAvcCfgSequence, kAvcCfgPicture}) {
    int count = 0;
    if (avcCfgGetCount(context, kind, &count) != kAvcCfgOk) continue;
    for (int i = 1; i <= count && result == S_OK; ++i) {
      const uint8_t* data = nullptr;
      int length = 0;
      if (avcCfgGetParamSet(context, kind, i, &data, &length) != kAvcCfgOk) break;
      TlxAvcNalResult nalResult{};
      const TlxAvcNalData unit{data, length};
      if (core::NALUnit(handle_, &nalResult, &unit) < 0) result = S_FALSE;
    }
  }
  avcCfgDestroy(&context);
  return result;
}

}  // namespace tlx::avc

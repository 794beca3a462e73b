// The AVC decoder filter: a transform filter that feeds an AVC elementary
// stream to the decoder core and delivers the decoded pictures, through its
// output worker, as YV12, YUY2, RGB32, RGB24 or RGB565.
//
// RGB row order follows the sign of the output type's biHeight, as a bitmap's
// does: a positive biHeight gets bottom-up rows (the picture's top line in
// the buffer's last row), a negative one top-down rows.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "avc_config_record.h"
#include "avc_input_handler.h"
#include "avc_output_worker.h"
#include "dshow/persist_stream.h"
#include "dshow/transform_filter.h"
#include "filters/avc/avc_dec_mode.h"

namespace tlx::avc {

inline constexpr char kSettingsFileName[] = "tlxavcdl.ini";
inline constexpr int kMaxInputWidth = 1920;
inline constexpr int kMaxInputHeight = 1088;
inline constexpr int kOutputTypeCount = 5;
// A downstream filter class the output does not connect to.
TLX_GUID(CLSID_AvcRefusedRenderer, 0xAA20215C, 0xB047, 0x4702, 0xBA, 0x13, 0x57, 0x37, 0x61, 0x13, 0xAA, 0xD0);

// The registration data of the filter.
const AMOVIESETUP_FILTER* AvcDecFilterSetup();

class CAvcDecFilter : public CTransformFilter, public CPersistStream, public IAvcDecMode, public ISpecifyPropertyPages {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* hr);
  // `sleep` replaces the waits of the input path and the output worker.
  CAvcDecFilter(IUnknown* outer, HRESULT* hr, CAvcOutputWorker::SleepFunction sleep = nullptr);
  ~CAvcDecFilter() override;

  DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP GetClassID(CLSID* clsid) override { return CBaseFilter::GetClassID(clsid); }

  // IAvcDecMode
  STDMETHODIMP GetMode(int* mode, int* connected) override;
  STDMETHODIMP SetMode(int mode) override;
  STDMETHODIMP GetModeEx(int* mode, int* connected, int* reserved) override;
  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;
  // No settings of its own are persisted.
  HRESULT WriteToStream(IStream*) override { return S_OK; }
  HRESULT ReadFromStream(IStream*) override { return S_OK; }
  int SizeMax() override { return 0; }

  STDMETHODIMP Stop() override;

  HRESULT CheckInputType(const CMediaType* in) override;
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* mt) override;
  HRESULT CheckConnect(PIN_DIRECTION direction, IPin* pin) override;
  HRESULT AlterQuality(Quality) override { return S_OK; }
  HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* pin) override;
  HRESULT BreakConnect(PIN_DIRECTION direction) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  const AMOVIESETUP_FILTER* GetSetupData() override { return AvcDecFilterSetup(); }

  bool HasCoreInstance() const { return handle_ != nullptr; }

 private:
  // One unit to the core with the calls around it; the core's status.
  int32_t FeedUnit(const uint8_t* data, size_t length, bool hasTime, int64_t time, bool discontinuity);
  // Finalize and flush the core, then re-create it or wait for the drain.
  void FlushCore();
  // Notes a core status that tells of pictures the core could not show.
  void NoteCoreStatus(int32_t status);
  // Flushes the core and ends the stream downstream. A stream with pictures
  // the core could not show is then reported once, as one whose type turns
  // unacceptable is: EC_ERRORABORT with VFW_E_TYPE_NOT_ACCEPTED, and the rest
  // of it is refused.
  HRESULT EndStream();
  void ReconfigureWorker();
  void ReleaseWorkerAndInstance();
  HRESULT HandOverConfigurationRecord();
  void ApplySettingsFile();
  bool StopRequested();
  bool OutputConnected();
  void Wait(DWORD milliseconds) const;

  const CAvcOutputWorker::SleepFunction sleep_;
  CCritSec modeLock_;
  int mode_ = kAvcModeDefault;
  GUID outputSubtype_{};
  int outputStride_ = 0;
  std::unique_ptr<CAvcByteStreamHandler> byteStreamHandler_;
  CAvcSampleHandler sampleHandler_;
  CAvcInputHandler* activeHandler_ = nullptr;
  CCritSec stopLock_;
  bool stopRequested_ = false;
  TlxAvcHandle handle_ = nullptr;
  // Cleared by BeginFlush, which comes on another thread than Receive.
  std::atomic<bool> accepting_{true};
  // Since the start or the last flush: the core dropped pictures it could not
  // show; the stream was refused and reported.
  std::atomic<bool> notShown_{false};
  std::atomic<bool> refused_{false};
  int width_ = 0, height_ = 0;
  DWORD aspectX_ = 1, aspectY_ = 1;
  DWORD interlace_ = 0;
  FrameDuration frameDuration_;
  uint8_t auxTime_ = 0, auxDiscontinuity_ = 0;
  std::unique_ptr<CAvcOutputWorker> worker_;
  HMODULE coreModule_ = nullptr;
};

}  // namespace tlx::avc

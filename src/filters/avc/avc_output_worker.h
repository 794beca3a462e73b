// The output thread of the AVC decoder filter: pulls every decoded picture
// from the core, reads its side information, gives it its time, converts it
// into a buffer of the output pin's format and delivers it. At the start of
// streaming it holds output back until the core has decoded enough.
#pragma once

#include <atomic>
#include <cstdint>

#include "avccore/tlxavccore.h"
#include "dshow/base_pin.h"
#include "dshow/crit_sec.h"
#include "picture_converter.h"
#include "win32/types.h"

namespace tlx::avc {

inline constexpr int64_t kDefaultFrameDuration = 333666;
// Start-up: at most this many waits of kStartupWaitMs for the decode ratio.
inline constexpr int kStartupWaits = 40;
inline constexpr DWORD kStartupWaitMs = 50;
// Interlace values sent downstream.
inline constexpr DWORD kInterlaceNone = 0;
inline constexpr DWORD kInterlaceBottomFirst = 1;
inline constexpr DWORD kInterlaceTopFirst = 5;

// What the worker copies from the filter on each configuration.
struct AvcWorkerSettings {
  GUID subtype{};
  TlxAvcHandle handle = nullptr;
  CBaseOutputPin* pin = nullptr;
  int width = 0, height = 0;
  int stride = 0;  // output biWidth, pixels
  DWORD aspectX = 1, aspectY = 1;
  DWORD interlace = 0;
  int64_t frameDuration = kDefaultFrameDuration;
};

// The sample aspect ratio of an aspect_ratio_idc (1:1 for unknown values).
void SampleAspectRatio(int idc, int sarWidth, int sarHeight, int* width, int* height);

// Row bytes of the output buffer for a subtype and stride; 0 for a subtype
// the worker cannot produce.
int OutputRowBytes(REFGUID subtype, int stride);

class CAvcOutputWorker {
 public:
  using SleepFunction = void (*)(DWORD milliseconds);

  explicit CAvcOutputWorker(SleepFunction sleep = nullptr);
  ~CAvcOutputWorker();
  CAvcOutputWorker(const CAvcOutputWorker&) = delete;
  CAvcOutputWorker& operator=(const CAvcOutputWorker&) = delete;

  // Takes the settings, selects the converter, stops a running thread and
  // starts a new one.
  void Configure(const AvcWorkerSettings& settings);
  // Starts the thread when none runs.
  void StartThread();
  // Ends the thread with the stop event and waits for it.
  void Stop();
  // Waits for the thread to end by itself (after the core was drained).
  void WaitForEnd();
  bool HasThread() const { return thread_ != nullptr; }

  void SetFrameDuration(int64_t duration) { frameDuration_.store(duration); }
  int64_t FrameDuration() const { return frameDuration_.load(); }
  // Held around each delivery.
  CCritSec* DeliveryLock() { return &deliveryLock_; }

  // The core's picture-ready callback; the context is the worker.
  static void PictureReady(void* context);

 private:
  static DWORD ThreadMain(void* self);
  void Loop();
  void OutputOnePicture();
  // The time of the next picture; false when it is not to be delivered.
  bool AssignTime(bool valid, int64_t time, REFERENCE_TIME* start, REFERENCE_TIME* stop);
  HRESULT Deliver(const TlxAvcPicture& picture, bool timeValid, int64_t time, bool discontinuity);

  const SleepFunction sleep_;
  AvcWorkerSettings settings_;
  std::atomic<int64_t> frameDuration_{kDefaultFrameDuration};
  CPictureConverter converter_;
  DWORD aspectX_ = 1, aspectY_ = 1;
  DWORD interlace_ = 0;
  bool formatChanged_ = false;
  int64_t lastTime_ = 0;
  bool timed_ = false;  // a picture got a time since the thread started
  bool startup_ = true;
  int startupWaits_ = 0;
  std::atomic<bool> stop_{false};
  HANDLE thread_ = nullptr;
  HANDLE pictureReady_ = nullptr;
  HANDLE stopEvent_ = nullptr;
  CCritSec workerLock_;
  CCritSec deliveryLock_;
};

}  // namespace tlx::avc

// The output thread of the AVC decoder filter: pulls every decoded picture
// from the core, reads its side information, gives it its time, converts it
// into a buffer of the output pin's format and delivers it. At the start of
// streaming it holds output back until the core has decoded enough.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "avccore/tlxavccore.h"
#include "dshow/base_pin.h"
#include "dshow/crit_sec.h"
#include "picture_converter.h"
#include "win32/types.h"

namespace tlx::avc {

inline constexpr int64_t kDefaultFrameDuration = 333666;
// Longest field the core's timing may give.
inline constexpr int64_t kMaxFieldSeconds = 60;
// Start-up: at most this many waits of kStartupWaitMs for the decode ratio.
inline constexpr int kStartupWaits = 40;
inline constexpr DWORD kStartupWaitMs = 50;
// Interlace values sent downstream.
inline constexpr DWORD kInterlaceNone = 0;
inline constexpr DWORD kInterlaceBottomFirst = 1;
inline constexpr DWORD kInterlaceTopFirst = 5;

// The duration of one picture, exactly: numerator / denominator in 100 ns
// units (both positive).
struct FrameDuration {
  int64_t numerator = kDefaultFrameDuration;
  int64_t denominator = 1;
  // From a picture to the start of the one `pictures` after it, rounded once
  // to the nearest unit; Span(1) is one picture's duration.
  int64_t Span(int64_t pictures) const;
  friend bool operator==(const FrameDuration&, const FrameDuration&) = default;
};

// The picture duration (two fields) of the core's field timing, in lowest
// terms; nothing for a field that is not positive or lasts over
// kMaxFieldSeconds.
std::optional<FrameDuration> FrameDurationOfTiming(const TlxAvcTimingInfo& timing);

// What the worker copies from the filter on each configuration.
struct AvcWorkerSettings {
  GUID subtype{};
  TlxAvcHandle handle = nullptr;
  CBaseOutputPin* pin = nullptr;
  int width = 0, height = 0;
  int stride = 0;  // output biWidth, pixels
  DWORD aspectX = 1, aspectY = 1;
  DWORD interlace = 0;
  FrameDuration frameDuration;
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

  void SetFrameDuration(const FrameDuration& duration);
  // Held around each delivery.
  CCritSec* DeliveryLock() { return &deliveryLock_; }

  // The core's picture-ready callback; the context is the worker.
  static void PictureReady(void* context);

 private:
  static DWORD ThreadMain(void* self);
  void Loop();
  void OutputOnePicture();
  FrameDuration Duration();
  // The time of the next picture; false when it is not to be delivered.
  bool AssignTime(bool valid, int64_t time, REFERENCE_TIME* start, REFERENCE_TIME* stop);
  HRESULT Deliver(const TlxAvcPicture& picture, bool timeValid, int64_t time, bool discontinuity);

  const SleepFunction sleep_;
  AvcWorkerSettings settings_;
  CCritSec durationLock_;
  FrameDuration frameDuration_;  // under durationLock_
  CPictureConverter converter_;
  DWORD aspectX_ = 1, aspectY_ = 1;
  DWORD interlace_ = 0;
  bool formatChanged_ = false;
  int64_t lastTime_ = 0;
  bool timed_ = false;  // a picture got a time since the thread started
  // A picture without a time lies `sinceAnchor_` pictures of `anchorDuration_`
  // after `anchorTime_`, the last time given (or 0), so rounding never adds up.
  int64_t anchorTime_ = 0;
  int64_t sinceAnchor_ = 0;
  FrameDuration anchorDuration_;
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

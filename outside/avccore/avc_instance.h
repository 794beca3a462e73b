// One decoder instance over libavcodec's H.264 decoder.
//
// The streaming and control threads hand units over and drive decoding under
// the decode lock; the output thread pulls pictures under the queue lock and
// never reaches libavcodec. The picture-ready callback runs without either
// lock, on the thread that produced the picture.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "avccore/tlxavccore.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace tlx::avccore {

// Pictures waiting to be pulled beyond which NALUnit answers busy.
inline constexpr size_t kQueueCapacity = 4;

// Time and discontinuity of an access unit, carried through reordering.
struct UnitMark {
  int64_t time = 0;
  bool valid = false;
  bool discontinuity = false;
};

class AvcInstance {
 public:
  // Null when libavcodec cannot open its decoder.
  static std::unique_ptr<AvcInstance> Create(int32_t mode, TlxAvcPictureReady callback, void* context);
  ~AvcInstance();

  int32_t NalUnit(TlxAvcNalResult* result, std::span<const uint8_t> unit);
  void AttachTime(int64_t time);
  void SetAux(const TlxAvcAuxData& aux);
  int32_t Finalize();
  int32_t Flush();
  void Discontinue();
  void Initialize();

  int32_t UnpulledCount(int32_t* count);
  int32_t DecodeRatio(int32_t* ratio);
  int32_t GetPicture(TlxAvcPictureId* id, TlxAvcPicture* picture, TlxAvcPictureTime* time);
  int32_t ReleasePicture();
  int32_t GetSideInfo(const TlxAvcSideInfoQuery& query, void* answer);

 private:
  struct Picture;

  AvcInstance(TlxAvcPictureReady callback, void* context);

  // Under the decode lock. Each returns 0 or TLXAVC_STATUS_FATAL and adds the
  // pictures it queued to *produced.
  int32_t MovePendingToUnit(int* produced);
  int32_t DecodeOpenUnit(int* produced);
  int32_t ReceiveFrames(int* produced);
  void NoteTiming();
  // A status without failure gains TLXAVC_STATUS_NOT_SHOWN when pictures were
  // dropped since the last report.
  int32_t WithNotShown(int32_t status);
  void DropUndecoded();
  void Notify(int produced);

  const TlxAvcPictureReady callback_;
  void* const context_;

  std::mutex decodeMutex_;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  bool broken_ = false;           // libavcodec failed for want of memory
  bool atEnd_ = false;            // the end-of-stream packet went in
  std::vector<uint8_t> pending_;  // the unit the next Attach and SetAux apply to
  bool hasPending_ = false;
  bool pendingWhole_ = false;     // length-prefixed: one access unit on its own
  UnitMark pendingMark_;
  bool ignoreMarks_ = false;      // the last NALUnit answered busy
  bool auxTaken_ = false;
  std::vector<uint8_t> unit_;     // the open access unit, with start codes
  bool unitHasSlice_ = false;
  UnitMark unitMark_;
  int64_t nextSequence_ = 0;
  std::map<int64_t, UnitMark> marks_;  // by packet sequence number
  int framerateNum_ = 0, framerateDen_ = 0;
  bool timingChanged_ = false;
  bool notShown_ = false;  // a picture was dropped for its form since the last report

  std::mutex queueMutex_;
  std::deque<std::unique_ptr<Picture>> queue_;
  std::unique_ptr<Picture> current_;  // pulled, not yet released
  bool draining_ = false;
  int32_t nextNumber_ = 0;
  TlxAvcTimingInfo timing_{};
};

}  // namespace tlx::avccore

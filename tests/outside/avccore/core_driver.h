// Drives a loaded core the way the decoder filter does: units from after a
// start code to the end of the data, time and aux bytes after each, pictures
// pulled with their side information.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "outside/avccore/support/avc_streams.h"
#include "outside/avccore/support/core_library.h"

namespace tlx::avctest {

struct PulledPicture {
  Picture picture;
  TlxAvcTimeInfo timeInfo{};
  TlxAvcSequenceInfo sequence{};
};

class CoreDriver {
 public:
  CoreDriver(const CoreLibrary& core, int32_t mode) : core_(core) {
    EXPECT_EQ(core.CreateInstanceEx2(&handle, mode, &CoreDriver::Ready, this), 0);
  }
  ~CoreDriver() {
    if (handle != nullptr) core_.ReleaseInstance(&handle);
  }

  // Hands over the Annex-B bytes unit by unit; each access unit's time goes
  // to its first NAL unit. Pulls pictures whenever the core is busy, and after
  // each unit when pullAlways.
  void FeedAnnexB(const std::vector<AccessUnit>& units, bool pullAlways = true) {
    std::vector<uint8_t> bytes;
    std::vector<std::pair<size_t, int64_t>> times;  // first NAL of each access unit
    for (const AccessUnit& unit : units) {
      const size_t base = bytes.size();
      bytes.insert(bytes.end(), unit.bytes.begin(), unit.bytes.end());
      for (size_t i = 0; i + 2 < unit.bytes.size(); ++i)
        if (unit.bytes[i] == 0 && unit.bytes[i + 1] == 0 && unit.bytes[i + 2] == 1) {
          times.emplace_back(base + i + 3, unit.time);
          break;
        }
    }
    size_t pos = 0;
    while (pos + 3 <= bytes.size() && !(bytes[pos] == 0 && bytes[pos + 1] == 0 && bytes[pos + 2] == 1)) ++pos;
    pos += 3;
    size_t nextTime = 0;
    while (pos < bytes.size()) {
      TlxAvcNalResult result{};
      const int32_t status = Unit(bytes.data() + pos, bytes.size() - pos, &result);
      if (status == TLXAVC_STATUS_BUSY) {
        ++busyAnswers;
        PullAll();
        continue;
      }
      ASSERT_GE(status, 0);
      ASSERT_GT(result.word[1], 0);
      notShownReports += (status & TLXAVC_STATUS_NOT_SHOWN) != 0;
      const size_t end = pos + static_cast<size_t>(result.word[1]);
      ASSERT_LE(end, bytes.size());
      if (end < bytes.size()) {
        ASSERT_TRUE(end + 3 <= bytes.size() && bytes[end] == 0 && bytes[end + 1] == 0 && bytes[end + 2] == 1)
            << "the unit at " << pos << " ended at " << end << ", not at a start code";
      }
      while (nextTime < times.size() && times[nextTime].first < pos) ++nextTime;
      const bool timed = nextTime < times.size() && times[nextTime].first == pos;
      AfterUnit(result, timed, timed ? times[nextTime].second : 0);
      pos = end + 3;
      if (pullAlways) PullAll();
    }
  }

  // One unit and the calls the filter makes after it (time, aux bytes).
  int32_t Unit(const uint8_t* data, size_t length, TlxAvcNalResult* result) {
    const TlxAvcNalData unit{data, static_cast<int32_t>(length)};
    return core_.NALUnit(handle, result, &unit);
  }
  void AfterUnit(const TlxAvcNalResult& result, bool timed, int64_t time, bool discontinuity = false) {
    if (discontinuity) auxDiscontinuity_ = 1;
    if (timed) {
      const TlxAvcExtTimeStamp stamp{time, 1};
      core_.AttachExtTimeStamp(handle, &stamp);
      auxTime_ = 1;
    }
    if (result.word[5] & TLXAVC_RESULT_NEW_TIMING) newTiming = true;
    if (result.word[4] == 1) {
      auxTime_ = auxDiscontinuity_ = 0;
    } else {
      const TlxAvcAuxData aux{auxTime_, auxDiscontinuity_};
      core_.SetAuxData(handle, &aux);
    }
  }

  void PullAll() {
    for (;;) {
      int32_t count = 0;
      core_.GetNumUnpullPicture(handle, &count);
      if (count == 0) return;
      TlxAvcPictureId id{};
      TlxAvcPicture planes{};
      TlxAvcPictureTime time{};
      ASSERT_EQ(core_.GetPicture(handle, &id, &planes, &time), 0);
      PulledPicture pulled;
      pulled.picture = CopyPicture(planes);
      pulled.picture.time = time.time;
      pulled.picture.timeValid = time.valid != 0;
      const TlxAvcSideInfoQuery timeQuery{id.sideInfoIndex, TLXAVC_SIDE_TIME, sizeof(TlxAvcTimeInfo)};
      EXPECT_EQ(core_.GetSideInfo(handle, &timeQuery, &pulled.timeInfo), 0);
      const TlxAvcSideInfoQuery sequenceQuery{id.sideInfoIndex, TLXAVC_SIDE_SEQUENCE, sizeof(TlxAvcSequenceInfo)};
      EXPECT_EQ(core_.GetSideInfo(handle, &sequenceQuery, &pulled.sequence), 0);
      EXPECT_EQ(pulled.timeInfo.timeValid, time.valid);
      EXPECT_EQ(core_.ReleasePicture(handle), 0);
      pulled_.push_back(std::move(pulled));
    }
  }

  // Finalize, flush and pull what is left.
  void Drain() {
    uint8_t buffer[32] = {};
    for (const int32_t status : {core_.FinalizePicture(handle, buffer), core_.FlushPicture(handle, buffer)}) {
      EXPECT_EQ(status & ~TLXAVC_STATUS_NOT_SHOWN, 0);
      notShownReports += (status & TLXAVC_STATUS_NOT_SHOWN) != 0;
    }
    PullAll();
  }

  const std::vector<PulledPicture>& pulled() const { return pulled_; }

  TlxAvcHandle handle = nullptr;
  std::atomic<int> callbacks{0};
  int busyAnswers = 0;
  bool newTiming = false;
  int notShownReports = 0;  // statuses that told of pictures dropped for their form

 private:
  static void Ready(void* self) { ++static_cast<CoreDriver*>(self)->callbacks; }

  const CoreLibrary& core_;
  std::vector<PulledPicture> pulled_;
  uint8_t auxTime_ = 0, auxDiscontinuity_ = 0;
};

}  // namespace tlx::avctest

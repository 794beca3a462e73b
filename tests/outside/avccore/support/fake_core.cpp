// The fake decoder core: records every call and answers by the script, or by
// the contract when nothing is scripted (see fake_core_script.h).
#include <cstring>
#include <deque>
#include <span>

#include "avccore/nal_units.h"
#include "avccore/tlxavccore.h"
#include "fake_core_script.h"

using tlx::avctest::FakeCall;
using tlx::avctest::FakeScript;

namespace {

FakeScript& Script() {
  static FakeScript script;
  return script;
}

void Record(const char* name, std::vector<int64_t> args = {}, std::vector<uint8_t> bytes = {}) {
  std::lock_guard lock(Script().mutex);
  Script().calls.push_back(FakeCall{name, std::move(args), std::move(bytes)});
}

constexpr int kSize = 16, kLumaStride = 32;

struct Mark {
  int64_t time = 0;
  bool valid = false, discontinuity = false;
};

struct FakePicture {
  uint8_t planes[kLumaStride * kSize + 2 * (kLumaStride / 2) * (kSize / 2)];
  Mark mark;
  int32_t number = 0;
  tlx::avctest::FakePictureScript script;
};

struct FakeInstance {
  FakeInstance(TlxAvcPictureReady callback, void* context) : callback(callback), context(context) {}

  TlxAvcPictureReady callback;
  void* context;
  std::mutex mutex;
  std::deque<FakePicture> queue;
  FakePicture current{};
  bool hasPending = false, pendingSlice = false, ignoreMarks = false, auxTaken = false;
  bool timingChanged = false, timingKnown = false, draining = false;
  Mark pendingMark, carried;
  int32_t nextNumber = 0;

  // Under the mutex; true when a picture was queued.
  bool MovePending() {
    if (!hasPending) return false;
    hasPending = false;
    // Marks of the units before a slice belong to its picture.
    if (!carried.valid && pendingMark.valid) carried = pendingMark;
    carried.discontinuity |= pendingMark.discontinuity;
    if (!pendingSlice) return false;
    FakePicture picture{};
    std::memset(picture.planes, tlx::avctest::kFakeLuma, kLumaStride * kSize);
    std::memset(picture.planes + kLumaStride * kSize, tlx::avctest::kFakeChroma,
                sizeof(picture.planes) - kLumaStride * kSize);
    picture.mark = carried;
    carried = {};
    picture.number = nextNumber++;
    queue.push_back(picture);
    return true;
  }
  void Notify(bool produced) {
    if (produced && callback != nullptr) callback(context);
  }
};

FakeInstance* From(TlxAvcHandle handle) { return static_cast<FakeInstance*>(handle); }

}  // namespace

extern "C" {

FakeScript* TlxAvcFakeScript() { return &Script(); }

int32_t AVCDecCreateInstanceEx2(TlxAvcHandle* handle, int32_t mode, TlxAvcPictureReady callback, void* context) {
  Record("CreateInstanceEx2", {mode});
  int32_t status;
  {
    std::lock_guard lock(Script().mutex);
    status = Script().createStatus;
  }
  if (status < 0) return status;
  *handle = new FakeInstance(callback, context);
  return 0;
}

int32_t AVCDecReleaseInstance(TlxAvcHandle* handle) {
  Record("ReleaseInstance");
  delete From(*handle);
  *handle = nullptr;
  return 0;
}

int32_t AVCDecDiscontinue(TlxAvcHandle handle) {
  Record("Discontinue");
  FakeInstance* instance = From(handle);
  std::lock_guard lock(instance->mutex);
  instance->hasPending = false;
  instance->carried = {};
  instance->draining = false;
  return 0;
}

int32_t AVCDecInitialize(TlxAvcHandle handle) {
  Record("Initialize");
  FakeInstance* instance = From(handle);
  std::lock_guard lock(instance->mutex);
  instance->hasPending = false;
  instance->carried = {};
  instance->draining = false;
  instance->queue.clear();
  return 0;
}

int32_t AVCDecNALUnit(TlxAvcHandle handle, TlxAvcNalResult* result, const TlxAvcNalData* unit) {
  const std::span<const uint8_t> bytes(unit->data, static_cast<size_t>(unit->length));
  Record("NALUnit", {unit->length}, {bytes.begin(), bytes.end()});
  {
    std::lock_guard lock(Script().mutex);
    if (!Script().nalAnswers.empty()) {
      const auto answer = Script().nalAnswers.front();
      Script().nalAnswers.pop_front();
      result->word[1] = answer.consumed;
      result->word[4] = answer.word4;
      result->word[5] = answer.word5;
      return answer.status;
    }
  }
  FakeInstance* instance = From(handle);
  bool produced;
  {
    std::lock_guard lock(instance->mutex);
    if (instance->queue.size() >= 4) {
      instance->ignoreMarks = true;
      return TLXAVC_STATUS_BUSY;
    }
    instance->ignoreMarks = false;
    produced = instance->MovePending();
    const size_t taken = tlx::avccore::UnitEnd(bytes);
    instance->hasPending = !bytes.empty();
    instance->pendingSlice = tlx::avccore::IsSlice(bytes);
    instance->pendingMark = {};
    if (tlx::avccore::NalType(bytes) == 7 && !instance->timingKnown) {
      instance->timingKnown = true;
      instance->timingChanged = true;
    }
    result->word[1] = static_cast<int32_t>(taken);
    result->word[4] = instance->auxTaken ? 1 : 0;
    instance->auxTaken = false;
    if (instance->timingChanged && tlx::avccore::NalType(bytes) != 7) {
      result->word[5] = TLXAVC_RESULT_NEW_TIMING;
      instance->timingChanged = false;
    }
  }
  instance->Notify(produced);
  return 0;
}

int32_t AVCDecAttachExtTimeStamp(TlxAvcHandle handle, const TlxAvcExtTimeStamp* stamp) {
  Record("AttachExtTimeStamp", {stamp->time, stamp->valid});
  FakeInstance* instance = From(handle);
  std::lock_guard lock(instance->mutex);
  if (instance->ignoreMarks || !instance->hasPending || !stamp->valid) return 0;
  instance->pendingMark.time = stamp->time;
  instance->pendingMark.valid = true;
  return 0;
}

int32_t AVCDecSetAuxData(TlxAvcHandle handle, const TlxAvcAuxData* aux) {
  Record("SetAuxData", {aux->timeAttached, aux->discontinuity});
  FakeInstance* instance = From(handle);
  std::lock_guard lock(instance->mutex);
  if (instance->ignoreMarks || !instance->hasPending || (aux->timeAttached == 0 && aux->discontinuity == 0))
    return 0;
  instance->pendingMark.discontinuity |= aux->discontinuity != 0;
  instance->auxTaken = true;
  return 0;
}

int32_t AVCDecGetNumUnpullPicture(TlxAvcHandle handle, int32_t* count) {
  FakeInstance* instance = From(handle);
  std::lock_guard lock(instance->mutex);
  *count = static_cast<int32_t>(instance->queue.size());
  return instance->draining ? TLXAVC_STATUS_DRAINING : 0;
}

int32_t AVCDecGetDecodeRatio(TlxAvcHandle handle, int32_t* ratio) {
  {
    std::lock_guard lock(Script().mutex);
    if (Script().decodeRatio >= 0) {
      *ratio = Script().decodeRatio;
      return 0;
    }
  }
  FakeInstance* instance = From(handle);
  std::lock_guard lock(instance->mutex);
  const int32_t queued = static_cast<int32_t>(instance->queue.size());
  *ratio = instance->draining || queued >= 2 ? 100 : 50 * queued;
  return 0;
}

int32_t AVCDecGetPicture(TlxAvcHandle handle, TlxAvcPictureId* id, TlxAvcPicture* picture,
                         TlxAvcPictureTime* time) {
  Record("GetPicture");
  FakeInstance* instance = From(handle);
  std::lock_guard lock(instance->mutex);
  if (instance->queue.empty()) return TLXAVC_STATUS_NO_PICTURE;
  instance->current = instance->queue.front();
  instance->queue.pop_front();
  FakePicture& current = instance->current;
  {
    std::lock_guard scriptLock(Script().mutex);
    if (!Script().pictures.empty()) {
      current.script = Script().pictures.front();
      Script().pictures.pop_front();
    }
  }
  if (!current.script.timeValid) current.mark.valid = false;
  *id = {current.number, current.number};
  uint8_t* y = current.planes;
  *picture = {y, y + kLumaStride * kSize, y + kLumaStride * kSize + (kLumaStride / 2) * (kSize / 2),
              current.script.flags, kSize, kSize, kLumaStride, kLumaStride / 2};
  *time = {current.mark.valid ? 1 : 0, current.mark.valid ? current.mark.time : 0};
  return 0;
}

int32_t AVCDecReleasePicture(TlxAvcHandle) {
  Record("ReleasePicture");
  return 0;
}

int32_t AVCDecGetSideInfo(TlxAvcHandle handle, const TlxAvcSideInfoQuery* query, void* answer) {
  Record("GetSideInfo", {query->index, query->kind, query->size});
  FakeInstance* instance = From(handle);
  std::lock_guard lock(instance->mutex);
  switch (query->kind) {
    case TLXAVC_SIDE_TIMING: {
      if (!instance->timingKnown) return TLXAVC_STATUS_NO_PICTURE;
      std::lock_guard scriptLock(Script().mutex);
      std::memcpy(answer, &Script().timing, sizeof(Script().timing));
      return 0;
    }
    case TLXAVC_SIDE_SEQUENCE: {
      const auto& script = instance->current.script;
      TlxAvcSequenceInfo info{};
      info.width = script.width;
      info.height = script.height;
      if (script.aspectIdc >= 0) {
        info.aspectPresent = 1;
        info.aspectIdc = script.aspectIdc;
        info.sarWidth = script.sarWidth;
        info.sarHeight = script.sarHeight;
      }
      std::memcpy(answer, &info, sizeof(info));
      return 0;
    }
    case TLXAVC_SIDE_CROP: {
      TlxAvcCropInfo info{};
      info.notShown = instance->current.script.notShown ? 1 : 0;
      std::memcpy(answer, &info, sizeof(info));
      return 0;
    }
    case TLXAVC_SIDE_TIME: {
      TlxAvcTimeInfo info{};
      info.timeValid = instance->current.mark.valid;
      info.discontinuity = instance->current.mark.discontinuity;
      std::memcpy(answer, &info, sizeof(info));
      return 0;
    }
    default:
      return TLXAVC_STATUS_BAD_ARGUMENT;
  }
}

int32_t AVCDecFinalizePicture(TlxAvcHandle handle, void*) {
  Record("FinalizePicture");
  FakeInstance* instance = From(handle);
  bool produced;
  {
    std::lock_guard lock(instance->mutex);
    produced = instance->MovePending();
  }
  instance->Notify(produced);
  return 0;
}

int32_t AVCDecFlushPicture(TlxAvcHandle handle, void*) {
  Record("FlushPicture");
  FakeInstance* instance = From(handle);
  {
    std::lock_guard lock(instance->mutex);
    instance->MovePending();
    instance->draining = true;
  }
  instance->Notify(true);
  std::lock_guard lock(Script().mutex);
  return Script().flushStatus;
}

}  // extern "C"

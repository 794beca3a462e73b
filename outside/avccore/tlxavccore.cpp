// The exported entries: argument checks, then the instance.
#include "avccore/tlxavccore.h"

#include <new>
#include <span>

#include "avc_instance.h"

using tlx::avccore::AvcInstance;

namespace {

AvcInstance* From(TlxAvcHandle handle) { return static_cast<AvcInstance*>(handle); }

}  // namespace

extern "C" {

int32_t AVCDecCreateInstanceEx2(TlxAvcHandle* handle, int32_t mode, TlxAvcPictureReady callback,
                                void* context) {
  if (handle == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  *handle = nullptr;
  try {
    auto instance = AvcInstance::Create(mode, callback, context);
    if (instance == nullptr) return TLXAVC_STATUS_FATAL;
    *handle = instance.release();
    return 0;
  } catch (const std::bad_alloc&) {
    return TLXAVC_STATUS_FATAL;
  }
}

int32_t AVCDecReleaseInstance(TlxAvcHandle* handle) {
  if (handle == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  delete From(*handle);
  *handle = nullptr;
  return 0;
}

int32_t AVCDecDiscontinue(TlxAvcHandle handle) {
  if (handle == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  From(handle)->Discontinue();
  return 0;
}

int32_t AVCDecInitialize(TlxAvcHandle handle) {
  if (handle == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  From(handle)->Initialize();
  return 0;
}

int32_t AVCDecNALUnit(TlxAvcHandle handle, TlxAvcNalResult* result, const TlxAvcNalData* unit) {
  if (handle == nullptr || result == nullptr || unit == nullptr || unit->length < 0 ||
      (unit->data == nullptr && unit->length > 0))
    return TLXAVC_STATUS_BAD_ARGUMENT;
  try {
    return From(handle)->NalUnit(result, std::span(unit->data, static_cast<size_t>(unit->length)));
  } catch (const std::bad_alloc&) {
    return TLXAVC_STATUS_FATAL;
  }
}

int32_t AVCDecAttachExtTimeStamp(TlxAvcHandle handle, const TlxAvcExtTimeStamp* stamp) {
  if (handle == nullptr || stamp == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  if (stamp->valid) From(handle)->AttachTime(stamp->time);
  return 0;
}

int32_t AVCDecSetAuxData(TlxAvcHandle handle, const TlxAvcAuxData* aux) {
  if (handle == nullptr || aux == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  From(handle)->SetAux(*aux);
  return 0;
}

int32_t AVCDecGetNumUnpullPicture(TlxAvcHandle handle, int32_t* count) {
  if (handle == nullptr || count == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  return From(handle)->UnpulledCount(count);
}

int32_t AVCDecGetDecodeRatio(TlxAvcHandle handle, int32_t* ratio) {
  if (handle == nullptr || ratio == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  return From(handle)->DecodeRatio(ratio);
}

int32_t AVCDecGetPicture(TlxAvcHandle handle, TlxAvcPictureId* id, TlxAvcPicture* picture,
                         TlxAvcPictureTime* time) {
  if (handle == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  return From(handle)->GetPicture(id, picture, time);
}

int32_t AVCDecReleasePicture(TlxAvcHandle handle) {
  if (handle == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  return From(handle)->ReleasePicture();
}

int32_t AVCDecGetSideInfo(TlxAvcHandle handle, const TlxAvcSideInfoQuery* query, void* answer) {
  if (handle == nullptr || query == nullptr || answer == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  return From(handle)->GetSideInfo(*query, answer);
}

int32_t AVCDecFinalizePicture(TlxAvcHandle handle, void*) {
  if (handle == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  try {
    return From(handle)->Finalize();
  } catch (const std::bad_alloc&) {
    return TLXAVC_STATUS_FATAL;
  }
}

int32_t AVCDecFlushPicture(TlxAvcHandle handle, void*) {
  if (handle == nullptr) return TLXAVC_STATUS_BAD_ARGUMENT;
  try {
    return From(handle)->Flush();
  } catch (const std::bad_alloc&) {
    return TLXAVC_STATUS_FATAL;
  }
}

}  // extern "C"

// The exported functions of the decoder core. None of them leaves vector
// state behind (the kernels use no MMX registers), and no exception crosses
// this boundary: the core reports through status words only.
#include "filters/mpeg4/core/decoder_api.h"

#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/core/frame_driver.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/core/status.h"

using tlx::mpeg4::kStatusInvalidArgument;
using tlx::mpeg4::Mpeg4Decoder;

namespace {

Mpeg4Decoder* Instance(void* handle) { return static_cast<Mpeg4Decoder*>(handle); }

}  // namespace

uint32_t Mpeg4DecInit(void** handle) {
  if (handle == nullptr) return kStatusInvalidArgument;
  *handle = nullptr;
  Mpeg4Decoder* decoder = tlx::mpeg4::CoreNew<Mpeg4Decoder>();
  if (decoder == nullptr) return tlx::mpeg4::kStatusOutOfMemory;
  const uint32_t status = tlx::mpeg4::InitialiseInstance(*decoder);
  if (status != 0) {
    tlx::mpeg4::TeardownInstance(*decoder);
    tlx::mpeg4::CoreDelete(decoder);
    return status;
  }
  *handle = decoder;
  return 0;
}

uint32_t Mpeg4DecInitEx(void**, uint32_t) { return tlx::mpeg4::kStatusInitExNotSupported; }

uint32_t Mpeg4DecExit(void* handle) {
  if (handle == nullptr) return kStatusInvalidArgument;
  tlx::mpeg4::TeardownInstance(*Instance(handle));
  tlx::mpeg4::CoreDelete(Instance(handle));
  return 0;
}

uint32_t Mpeg4DecAFrame(void* handle, Mpeg4DecFrame* frame) {
  if (handle == nullptr) return kStatusInvalidArgument;
  return tlx::mpeg4::DecodeFrame(*Instance(handle), *frame);
}

// Discon, Reset and DebugDump return 0, or the fatal status that keeps the
// instance from working until it is destroyed.
uint32_t Mpeg4DecDiscon(void* handle) {
  if (handle == nullptr) return kStatusInvalidArgument;
  tlx::mpeg4::ForgetReferences(*Instance(handle));
  return Instance(handle)->status;
}

uint32_t Mpeg4DecReset(void* handle) {
  if (handle == nullptr) return kStatusInvalidArgument;
  tlx::mpeg4::ResetDecoder(*Instance(handle));
  return Instance(handle)->status;
}

uint32_t Mpeg4DecLookSequenceHeader(void* handle, Mpeg4DecFrame* frame) {
  if (handle == nullptr) return kStatusInvalidArgument;
  const uint32_t status = tlx::mpeg4::LookSequenceHeader(*Instance(handle), *frame);
  if (status != 0) tlx::mpeg4::ResetDecoder(*Instance(handle));
  return status;
}

uint32_t Mpeg4DecLookPictureHeader(void* handle, Mpeg4DecFrame* frame) {
  if (handle == nullptr) return kStatusInvalidArgument;
  return tlx::mpeg4::LookPictureHeader(*Instance(handle), *frame);
}

uint32_t Mpeg4DecDebugDump(void* handle, uint32_t) {
  if (handle == nullptr) return kStatusInvalidArgument;
  return tlx::mpeg4::CollectStatus(*Instance(handle));
}

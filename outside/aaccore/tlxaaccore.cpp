// The exported calls over AacDecoder.
#include "aaccore/tlxaaccore.h"

#include <new>

#include "aac_decoder.h"

using tlx::aaccore::AacDecoder;

namespace {

constexpr int kOk = 0;
constexpr int kFailed = -1;

AacDecoder* Decoder(AacDecHandle handle) { return static_cast<AacDecoder*>(handle); }

}  // namespace

extern "C" {

int aacDecCreateInstance(AacDecHandle* handle) {
  if (handle == nullptr) return kFailed;
  *handle = new (std::nothrow) AacDecoder();
  return *handle != nullptr ? kOk : kFailed;
}

int aacDecInit(AacDecHandle handle, int* channels, int* sampleBits, int* sampleRate, int*, int*, int, int, int, int,
               int downMix, int reorderCount, const int* order) {
  if (handle == nullptr || channels == nullptr || sampleBits == nullptr || sampleRate == nullptr) return kFailed;
  return Decoder(handle)->Open(*channels, *sampleRate, *sampleBits, downMix, reorderCount, order) ? kOk : kFailed;
}

int aacDecGetInfo(AacDecHandle handle, int* inputBytes, int* outputBytes, int* consumed, int* written) {
  if (handle == nullptr || !Decoder(handle)->IsOpen()) return kFailed;
  if (inputBytes == nullptr || outputBytes == nullptr || consumed == nullptr || written == nullptr) return kFailed;
  *inputBytes = Decoder(handle)->MaxUnitBytes();
  *outputBytes = Decoder(handle)->FrameBytes();
  *consumed = 0;
  *written = 0;
  return kOk;
}

int aacDecMain(AacDecHandle handle, const unsigned char* input, int, int* consumed, unsigned char* output,
               int outputBytes, int* written, int length) {
  if (handle == nullptr || !Decoder(handle)->IsOpen()) return kFailed;
  AacDecoder* decoder = Decoder(handle);
  if (consumed == nullptr || written == nullptr || output == nullptr || outputBytes < decoder->FrameBytes()) {
    return kFailed;
  }
  if (input == nullptr && length != 0) return kFailed;
  decoder->Decode(input, length, output);
  *consumed = length;
  *written = decoder->FrameBytes();
  return kOk;
}

int aacDecExit(AacDecHandle handle) {
  if (handle == nullptr) return kFailed;
  Decoder(handle)->Close();
  return kOk;
}

int aacDecReleaseInstance(AacDecHandle* handle) {
  if (handle == nullptr) return kFailed;
  delete Decoder(*handle);
  *handle = nullptr;
  return kOk;
}

}  // extern "C"

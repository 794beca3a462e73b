#include "mpeg4_decoder.h"

#include <cstring>

#include "block_decoder_state.h"
#include "core_allocation.h"
#include "cpu_probe.h"

namespace tlx::mpeg4 {
namespace {

// The processor variants of one instance, from the feature word masked by
// TLX_CPU_FEATURES.
void ChooseVariants(Mpeg4Decoder& decoder) {
  uint32_t features = ProbeCpuFeatures();
  if (const std::optional<uint32_t> mask = win32::CpuFeatureMask()) features &= *mask;
  decoder.features = features;
  if ((features & kFeatureSse2) != 0) {
    decoder.pictureVariant = PictureVariant::Simd;
    decoder.converterVariant = ConverterVariant::Sse2;
    decoder.postFilter = true;
  } else if ((features & kFeatureIntegerSse) != 0) {
    decoder.pictureVariant = PictureVariant::Simd;
    decoder.converterVariant = ConverterVariant::Isse;
    decoder.postFilter = false;
  } else {
    decoder.pictureVariant = PictureVariant::Plain;
    decoder.converterVariant = ConverterVariant::Mmx;
    decoder.postFilter = false;
  }
}

void ResetHeaderState(Mpeg4Decoder& decoder) {
  decoder.volSeen = 0;
  decoder.shortHeaderMode = 0;
  decoder.vol = VolHeader{};
  decoder.vop = VopHeader{};
  decoder.currentSeconds = -1;
  decoder.lastReferenceBase = -1;
  decoder.nextReferenceBase = -1;
  decoder.bTimeUnit = 0;
  decoder.resyncMarkerLength = 0;
  decoder.intraDcThreshold = -1;
  decoder.runningQuantiser = 0;
}

void ClearPictureStates(Picture* picture) {
  if (picture == nullptr) return;
  picture->kind = 0;
  picture->valid = 0;
  picture->reorder = 0;
}

void FreeTables(Mpeg4Decoder& decoder) {
  CoreFree(decoder.mbColumn);
  CoreFree(decoder.mbRow);
  CoreFree(decoder.mbWords);
  decoder.mbColumn = decoder.mbRow = nullptr;
  decoder.mbWords = nullptr;
  decoder.allocatedColumns = decoder.allocatedRows = decoder.allocatedCount = 0;
}

uint32_t BitLength(uint32_t value) {
  uint32_t bits = 0;
  while (value != 0) {
    ++bits;
    value >>= 1;
  }
  return bits;
}

}  // namespace

uint32_t InitialiseInstance(Mpeg4Decoder& decoder) {
  TeardownInstance(decoder);
  ResetHeaderState(decoder);
  ChooseVariants(decoder);
  for (Picture*& store : decoder.stores) {
    store = decoder.pictureVariant == PictureVariant::Simd ? static_cast<Picture*>(CoreNew<SimdPicture>())
                                                           : static_cast<Picture*>(CoreNew<PlainPicture>());
    if (store == nullptr) decoder.status |= kStatusOutOfMemory;
  }
  decoder.blockDecoder = CoreNew<BlockDecoderState>();
  if (decoder.blockDecoder == nullptr) {
    decoder.status |= kStatusOutOfMemory;
  } else {
    BlockDecoderReset(*decoder.blockDecoder);
  }
  if (decoder.status != 0) {
    const uint32_t status = decoder.status;
    TeardownInstance(decoder);
    return status;
  }
  decoder.pastReference = decoder.stores[0];
  decoder.futureReference = decoder.current = decoder.stores[1];
  decoder.bPicture = decoder.stores[2];
  decoder.postFilterPicture = decoder.stores[3];
  return 0;
}

void TeardownInstance(Mpeg4Decoder& decoder) {
  decoder.status = 0;
  decoder.snapshot = 0;
  if (decoder.blockDecoder != nullptr) BlockDecoderRelease(*decoder.blockDecoder);
  CoreDelete(decoder.blockDecoder);
  decoder.blockDecoder = nullptr;
  CoreDelete(decoder.report);
  decoder.report = nullptr;
  decoder.observer = nullptr;
  for (Picture*& store : decoder.stores) {
    CoreDelete(store);
    store = nullptr;
  }
  FreeMacroblockInfo(decoder);
  FreeTables(decoder);
  decoder.pastReference = decoder.futureReference = decoder.current = nullptr;
  decoder.bPicture = decoder.postFilterPicture = nullptr;
  decoder.mbColumns = decoder.mbRows = decoder.mbCount = decoder.mbNumberBits = 0;
}

uint32_t CollectStatus(Mpeg4Decoder& decoder) {
  // Only an out-of-memory failure survives from one call to the next; every
  // other bit describes the bytes of one call.
  uint32_t fatal = decoder.status & kStatusFatal;
  if (decoder.blockDecoder != nullptr) {
    decoder.blockDecoder->status &= kStatusOutOfMemory;
    fatal |= decoder.blockDecoder->status & kStatusFatal;
  }
  for (Picture* store : decoder.stores) {
    if (store == nullptr) continue;
    store->status &= kStatusOutOfMemory;
    fatal |= store->status & kStatusFatal;
  }
  decoder.status = fatal != 0 ? kStatusOutOfMemory : 0;
  return decoder.status;
}

void ResetDecoder(Mpeg4Decoder& decoder) {
  if (CollectStatus(decoder) != 0) return;
  decoder.volSeen = 0;
  decoder.currentSeconds = 0;
  decoder.lastReferenceBase = 0;
  decoder.nextReferenceBase = 0;
  ForgetReferences(decoder);
}

void ForgetReferences(Mpeg4Decoder& decoder) {
  if (CollectStatus(decoder) != 0) return;
  ClearPictureStates(decoder.pastReference);
  ClearPictureStates(decoder.futureReference);
  ClearPictureStates(decoder.bPicture);
}

uint32_t AllocateMacroblockArrays(Mpeg4Decoder& decoder, uint32_t width, uint32_t height) {
  const uint32_t columns = (width + 15) >> 4;
  const uint32_t rows = (height + 15) >> 4;
  const uint32_t count = columns * rows;
  if (columns > decoder.allocatedColumns || rows > decoder.allocatedRows || decoder.mbColumn == nullptr) {
    FreeTables(decoder);
    decoder.mbColumn = static_cast<int32_t*>(CoreAllocate(count * sizeof(int32_t)));
    decoder.mbRow = static_cast<int32_t*>(CoreAllocate(count * sizeof(int32_t)));
    decoder.mbWords = static_cast<uint32_t*>(CoreAllocate(count * sizeof(uint32_t)));
    if (decoder.mbColumn == nullptr || decoder.mbRow == nullptr || decoder.mbWords == nullptr) {
      FreeTables(decoder);
      decoder.status |= kStatusOutOfMemory;
      return decoder.status;
    }
    decoder.allocatedColumns = columns;
    decoder.allocatedRows = rows;
    decoder.allocatedCount = count;
  }
  for (uint32_t i = 0; i < count; ++i) {
    decoder.mbColumn[i] = static_cast<int32_t>(i % columns);
    decoder.mbRow[i] = static_cast<int32_t>(i / columns);
  }
  std::memset(decoder.mbWords, 0, count * sizeof(uint32_t));
  decoder.mbColumns = columns;
  decoder.mbRows = rows;
  decoder.mbCount = count;

  for (Picture* store : decoder.stores) {
    decoder.status |= store->PictureAllocate(int(columns * 16), int(rows * 16), 16, 16, kPlaneFormat420);
  }
  decoder.status |= BlockDecoderAllocate(*decoder.blockDecoder, columns);
  decoder.mbNumberBits = count > 1 ? BitLength(count - 1) : 1;
  return decoder.status;
}

uint32_t AllocateMacroblockInfo(Mpeg4Decoder& decoder) {
  if (decoder.mbInfoCount == decoder.mbCount && decoder.mbInfo != nullptr) return 0;
  FreeMacroblockInfo(decoder);
  decoder.mbInfo = static_cast<uint8_t*>(CoreAllocate(size_t(decoder.mbCount) * 64));
  if (decoder.mbInfo == nullptr) {
    decoder.status |= kStatusOutOfMemory;
    return decoder.status;
  }
  std::memset(decoder.mbInfo, 0, size_t(decoder.mbCount) * 64);
  decoder.mbInfoCount = decoder.mbCount;
  return 0;
}

void FreeMacroblockInfo(Mpeg4Decoder& decoder) {
  CoreFree(decoder.mbInfo);
  decoder.mbInfo = nullptr;
  decoder.mbInfoCount = 0;
}

}  // namespace tlx::mpeg4

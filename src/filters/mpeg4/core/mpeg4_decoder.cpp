#include "filters/mpeg4/core/mpeg4_decoder.h"

#include <cstring>

#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/core/core_allocation.h"
#include "filters/mpeg4/core/output/deblocking.h"
#include "filters/mpeg4/core/status.h"
#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"
#include "filters/mpeg4/core/yuv_rgb/output_converter.h"

namespace tlx::mpeg4 {
namespace {

// The processor variants of one instance, from the feature word masked by
// TLX_CPU_FEATURES.
void ChooseVariants(Mpeg4Decoder& decoder) {
  const uint32_t features = MaskedCpuFeatures();
  decoder.variants.features = features;
  if ((features & kFeatureSse2) != 0) {
    decoder.variants.picture = PictureVariant::Simd;
    decoder.variants.converter = ConverterVariant::Sse2;
    decoder.variants.postFilter = true;
  } else if ((features & kFeatureIntegerSse) != 0) {
    decoder.variants.picture = PictureVariant::Simd;
    decoder.variants.converter = ConverterVariant::Isse;
    decoder.variants.postFilter = false;
  } else {
    decoder.variants.picture = PictureVariant::Plain;
    decoder.variants.converter = ConverterVariant::Mmx;
    decoder.variants.postFilter = false;
  }
}

void ResetHeaderState(Mpeg4Decoder& decoder) {
  decoder.stream.volSeen = 0;
  decoder.stream.shortHeaderMode = 0;
  decoder.stream.vol = VolHeader{};
  decoder.stream.vop = VopHeader{};
  decoder.stream.currentSeconds = -1;
  decoder.stream.lastReferenceBase = -1;
  decoder.stream.nextReferenceBase = -1;
  decoder.stream.bTimeUnit = 0;
  decoder.stream.resyncMarkerLength = 0;
  decoder.stream.intraDcThreshold = -1;
  decoder.mb.runningQuantiser = 0;
}

void ClearPictureStates(Picture* picture) {
  if (picture != nullptr) picture->ClearState();
}

// Creates the four stores of the chosen picture class and fills the kernel
// tables that class selects.
template <typename PictureClass>
void CreateStores(Mpeg4Decoder& decoder) {
  InitDspTables(decoder.dsp, PictureClass::kVariant);
  for (Picture*& store : decoder.refs.stores) {
    store = CoreNew<PictureClass>();
    if (store == nullptr) decoder.status |= kStatusOutOfMemory;
  }
}

static_assert(kConverterOutOfMemory == kStatusOutOfMemory);

// The converter of the chosen variant (set up for studio range, lift 0) and,
// with SSE2, the deblocking filter.
void CreateOutputStage(Mpeg4Decoder& decoder) {
  const ConverterAllocator allocator = {CoreAllocate, CoreFree};
  switch (decoder.variants.converter) {
    case ConverterVariant::Sse2:
      decoder.output.converter = CoreNew<Sse2OutputConverter>(allocator, decoder.variants.features);
      break;
    case ConverterVariant::Isse:
      decoder.output.converter = CoreNew<IsseOutputConverter>(allocator, decoder.variants.features);
      break;
    case ConverterVariant::Mmx:
      decoder.output.converter = CoreNew<MmxOutputConverter>(allocator);
      break;
  }
  if (decoder.output.converter == nullptr) {
    decoder.status |= kStatusOutOfMemory;
  } else {
    decoder.output.converter->ConverterSetup(0, 0);
  }
  if (decoder.variants.postFilter) {
    decoder.output.postProcess = CoreNew<DeblockingStrategy>(decoder.dsp.output.deblockEdge);
    if (decoder.output.postProcess == nullptr) decoder.status |= kStatusOutOfMemory;
  }
}

void FreeTables(Mpeg4Decoder& decoder) {
  CoreFree(decoder.grid.column);
  CoreFree(decoder.grid.row);
  CoreFree(decoder.grid.words);
  decoder.grid.column = decoder.grid.row = nullptr;
  decoder.grid.words = nullptr;
  decoder.grid.allocatedColumns = decoder.grid.allocatedRows = decoder.grid.allocatedCount = 0;
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
  if (decoder.variants.picture == PictureVariant::Simd) {
    CreateStores<SimdPicture>(decoder);
  } else {
    CreateStores<PlainPicture>(decoder);
  }
  CreateOutputStage(decoder);
  decoder.blockDecoder = CoreNew<BlockDecoderState>();
  if (decoder.blockDecoder == nullptr) {
    decoder.status |= kStatusOutOfMemory;
  } else {
    BlockDecoderReset(*decoder.blockDecoder);
    decoder.blockDecoder->dequantise = decoder.dsp.block.dequantise;
  }
  if (decoder.status != 0) {
    const uint32_t status = decoder.status;
    TeardownInstance(decoder);
    return status;
  }
  decoder.motion.kernels = &decoder.dsp.prediction;
  decoder.refs.past = decoder.refs.stores[0];
  decoder.refs.future = decoder.refs.current = decoder.refs.stores[1];
  decoder.refs.bPicture = decoder.refs.stores[2];
  decoder.refs.postFilter = decoder.refs.stores[3];
  return 0;
}

void TeardownInstance(Mpeg4Decoder& decoder) {
  decoder.status = 0;
  decoder.snapshot = 0;
  if (decoder.blockDecoder != nullptr) BlockDecoderRelease(*decoder.blockDecoder);
  CoreDelete(decoder.blockDecoder);
  decoder.blockDecoder = nullptr;
  CoreDelete(decoder.output.converter);
  decoder.output.converter = nullptr;
  CoreDelete(decoder.output.postProcess);
  decoder.output.postProcess = nullptr;
  CoreDelete(decoder.observation.report);
  decoder.observation.report = nullptr;
  decoder.observation.observer = nullptr;
  for (Picture*& store : decoder.refs.stores) {
    CoreDelete(store);
    store = nullptr;
  }
  FreeMacroblockInfo(decoder);
  FreeTables(decoder);
  ReleaseMotionVectorRows(decoder.motion);
  decoder.motion.status = 0;
  decoder.refs.past = decoder.refs.future = decoder.refs.current = nullptr;
  decoder.refs.bPicture = decoder.refs.postFilter = nullptr;
  decoder.grid.columns = decoder.grid.rows = decoder.grid.count = decoder.grid.numberBits = 0;
}

uint32_t CollectStatus(Mpeg4Decoder& decoder) {
  // Only an out-of-memory failure survives from one call to the next; every
  // other bit describes the bytes of one call.
  uint32_t fatal = decoder.status & kStatusFatal;
  if (decoder.blockDecoder != nullptr) {
    decoder.blockDecoder->status &= kStatusOutOfMemory;
    fatal |= decoder.blockDecoder->status & kStatusFatal;
  }
  if (decoder.output.converter != nullptr) {
    decoder.output.converter->status &= kStatusOutOfMemory;
    fatal |= decoder.output.converter->status & kStatusFatal;
  }
  decoder.motion.status &= kStatusOutOfMemory;
  fatal |= decoder.motion.status & kStatusFatal;
  for (Picture* store : decoder.refs.stores) {
    if (store == nullptr) continue;
    store->status &= kStatusOutOfMemory;
    fatal |= store->status & kStatusFatal;
  }
  decoder.status = fatal != 0 ? kStatusOutOfMemory : 0;
  return decoder.status;
}

void ResetDecoder(Mpeg4Decoder& decoder) {
  if (CollectStatus(decoder) != 0) return;
  decoder.stream.volSeen = 0;
  decoder.stream.currentSeconds = 0;
  decoder.stream.lastReferenceBase = 0;
  decoder.stream.nextReferenceBase = 0;
  ForgetReferences(decoder);
}

void ForgetReferences(Mpeg4Decoder& decoder) {
  if (CollectStatus(decoder) != 0) return;
  ClearPictureStates(decoder.refs.past);
  ClearPictureStates(decoder.refs.future);
  ClearPictureStates(decoder.refs.bPicture);
  decoder.stream.referenceRefused = 0;
}

uint32_t AllocateMacroblockArrays(Mpeg4Decoder& decoder, uint32_t width, uint32_t height) {
  const uint32_t columns = (width + 15) >> 4;
  const uint32_t rows = (height + 15) >> 4;
  const uint32_t count = columns * rows;
  if (columns > decoder.grid.allocatedColumns || rows > decoder.grid.allocatedRows || decoder.grid.column == nullptr) {
    FreeTables(decoder);
    decoder.grid.column = static_cast<int32_t*>(CoreAllocate(count * sizeof(int32_t)));
    decoder.grid.row = static_cast<int32_t*>(CoreAllocate(count * sizeof(int32_t)));
    decoder.grid.words = static_cast<uint32_t*>(CoreAllocate(count * sizeof(uint32_t)));
    if (decoder.grid.column == nullptr || decoder.grid.row == nullptr || decoder.grid.words == nullptr) {
      FreeTables(decoder);
      decoder.status |= kStatusOutOfMemory;
      return decoder.status;
    }
    decoder.grid.allocatedColumns = columns;
    decoder.grid.allocatedRows = rows;
    decoder.grid.allocatedCount = count;
  }
  for (uint32_t i = 0; i < count; ++i) {
    decoder.grid.column[i] = static_cast<int32_t>(i % columns);
    decoder.grid.row[i] = static_cast<int32_t>(i / columns);
  }
  std::memset(decoder.grid.words, 0, count * sizeof(uint32_t));
  decoder.grid.columns = columns;
  decoder.grid.rows = rows;
  decoder.grid.count = count;

  for (Picture* store : decoder.refs.stores) {
    decoder.status |= store->PictureAllocate(int(columns * 16), int(rows * 16), 16, 16, kPlaneFormat420);
  }
  decoder.status |= BlockDecoderAllocate(*decoder.blockDecoder, columns);
  decoder.status |= AllocateMotionVectorRows(decoder.motion, columns, rows);
  decoder.grid.numberBits = count > 1 ? BitLength(count - 1) : 1;
  return decoder.status;
}

uint32_t AllocateMacroblockInfo(Mpeg4Decoder& decoder) {
  if (decoder.grid.infoCount == decoder.grid.count && decoder.grid.info != nullptr) return 0;
  FreeMacroblockInfo(decoder);
  decoder.grid.info = static_cast<PartitionRecord*>(CoreAllocate(size_t(decoder.grid.count) * sizeof(PartitionRecord)));
  if (decoder.grid.info == nullptr) {
    decoder.status |= kStatusOutOfMemory;
    return decoder.status;
  }
  std::memset(decoder.grid.info, 0, size_t(decoder.grid.count) * sizeof(PartitionRecord));
  decoder.grid.infoCount = decoder.grid.count;
  return 0;
}

void FreeMacroblockInfo(Mpeg4Decoder& decoder) {
  CoreFree(decoder.grid.info);
  decoder.grid.info = nullptr;
  decoder.grid.infoCount = 0;
}

}  // namespace tlx::mpeg4

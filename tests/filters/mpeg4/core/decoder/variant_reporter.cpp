// Prints the processor variants a new decoder instance chooses, for the
// probe test, which runs it under different TLX_CPU_FEATURES values. The
// kernel choice is "simd" or "plain" only when the picture class, the
// reconstruction slots and the inverse quantiser all agree ("mixed" else).
#include <cstdio>

#include "filters/mpeg4/core/block/block_decoding.h"
#include "filters/mpeg4/core/block/reconstruction.h"
#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"

int main() {
  void* handle = nullptr;
  if (Mpeg4DecInit(&handle) != 0) return 1;
  const tlx::mpeg4::Mpeg4Decoder& decoder = tlx::mpeg4::InspectInstance(handle);
  namespace m = tlx::mpeg4;
  const bool simdPicture = decoder.variants.picture == m::PictureVariant::Simd;
  const bool simdBlocks = decoder.dsp.block.putIntraMacroblock == m::PutIntraMacroblockSse2 &&
                          decoder.dsp.block.addInterMacroblock == m::AddInterMacroblockSse2;
  const bool simdDequantiser = decoder.blockDecoder->dequantise == m::DequantiseBlockSse2;
  const char* kernels = simdPicture && simdBlocks && simdDequantiser       ? "simd"
                        : !simdPicture && !simdBlocks && !simdDequantiser ? "plain"
                                                                           : "mixed";
  const char* converter = decoder.variants.converter == m::ConverterVariant::Sse2   ? "sse2"
                          : decoder.variants.converter == m::ConverterVariant::Isse ? "isse"
                                                                                           : "mmx";
  std::printf("%s %s%s\n", kernels, converter, decoder.variants.postFilter ? " filter" : "");
  Mpeg4DecExit(handle);
  return 0;
}

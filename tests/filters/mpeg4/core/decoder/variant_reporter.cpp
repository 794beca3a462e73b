// Prints the processor variants a new decoder instance chooses, for the
// probe test, which runs it under different TLX_CPU_FEATURES values.
#include <cstdio>

#include "inspection.h"
#include "filters/mpeg4/core/decoder_api.h"

int main() {
  void* handle = nullptr;
  if (Mpeg4DecInit(&handle) != 0) return 1;
  const tlx::mpeg4::Mpeg4Decoder& decoder = tlx::mpeg4::InspectInstance(handle);
  const bool simd = decoder.variants.picture == tlx::mpeg4::PictureVariant::Simd;
  const char* converter = decoder.variants.converter == tlx::mpeg4::ConverterVariant::Sse2   ? "sse2"
                          : decoder.variants.converter == tlx::mpeg4::ConverterVariant::Isse ? "isse"
                                                                                           : "mmx";
  std::printf("%s %s%s\n", simd ? "simd" : "plain", converter, decoder.variants.postFilter ? " filter" : "");
  Mpeg4DecExit(handle);
  return 0;
}

// Prints the processor variants a new decoder instance chooses, for the
// probe test, which runs it under different TLX_CPU_FEATURES values.
#include <cstdio>

#include "inspection.h"
#include "mpeg4_dec.h"

int main() {
  void* handle = nullptr;
  if (Mpeg4DecInit(&handle) != 0) return 1;
  const tlx::mpeg4::Mpeg4Decoder& decoder = tlx::mpeg4::InspectInstance(handle);
  const bool simd = decoder.pictureVariant == tlx::mpeg4::PictureVariant::Simd;
  const char* converter = decoder.converterVariant == tlx::mpeg4::ConverterVariant::Sse2   ? "sse2"
                          : decoder.converterVariant == tlx::mpeg4::ConverterVariant::Isse ? "isse"
                                                                                           : "mmx";
  std::printf("%s %s%s\n", simd ? "simd" : "plain", converter, decoder.postFilter ? " filter" : "");
  Mpeg4DecExit(handle);
  return 0;
}

// Decodes each fixture named on the command line under whatever
// TLX_CPU_FEATURES the process has, converting every returned picture in a
// rotating output format, and prints one line per fixture: a digest of the
// decoded planes, quantiser maps and vectors, and how many conversions
// differed from the plain reference pipeline. The mask test compares the
// lines of runs under different masks.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/output_reference.h"

namespace {

using tlx::mpeg4::Mpeg4Decoder;
using tlx::mpeg4::MacroblockReport;

struct Digest {
  uint64_t value = 1469598103934665603ull;
  void Add(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) value = (value ^ bytes[i]) * 1099511628211ull;
  }
};

void ObserveVectors(void* context, const MacroblockReport& report) {
  Digest& digest = *static_cast<Digest*>(context);
  digest.Add(&report.index, sizeof(report.index));
  digest.Add(report.vectors, sizeof(report.vectors));
  digest.Add(report.backward, sizeof(report.backward));
}

constexpr uint32_t kCodes[] = {kMpeg4OutputPlanar,          kMpeg4OutputYuy2,      kMpeg4OutputRgb555,
                               kMpeg4OutputRgb555 | 1,      kMpeg4OutputRgb565,    kMpeg4OutputRgb565 | 0x100001,
                               kMpeg4OutputRgb24 | 0x300000, kMpeg4OutputRgb24 | 1, kMpeg4OutputRgb32,
                               kMpeg4OutputRgb32 | 1};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string path = argv[i];
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 2;
    std::vector<uint8_t> stream;
    for (int c; (c = std::fgetc(file)) != EOF;) stream.push_back(uint8_t(c));
    std::fclose(file);
    Digest digest;
    int mismatches = 0;
    int pictures = 0;
    constexpr int kMaxWidth = 1408, kMaxHeight = 1152;
    const int32_t stride = 4 * kMaxWidth;
    std::vector<uint8_t> buffer(size_t(stride) * kMaxHeight), expected(buffer.size());
    tlx::mpeg4::test::DriveDecoder(
        stream,
        [&](Mpeg4DecFrame& frame, Mpeg4Decoder&, int call) {
          std::memset(buffer.data(), 0x6B, buffer.size());
          frame.outputBuffer = buffer.data();
          frame.outputStride = stride;
          frame.outputFormat = kCodes[call % std::size(kCodes)];
        },
        [&](const Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, uint32_t status) {
          digest.Add(&status, sizeof(status));
          if (frame.outputAvailable == 0) return;
          ++pictures;
          for (uint32_t row = 0; row < frame.height; ++row) digest.Add(frame.yPlane + row * frame.yStride, frame.width);
          for (uint32_t row = 0; row < frame.height / 2; ++row) {
            digest.Add(frame.uPlane + row * frame.uStride, frame.width / 2);
            digest.Add(frame.vPlane + row * frame.vStride, frame.width / 2);
          }
          const uint8_t* map = tlx::mpeg4::test::ReturnedQuantiserMap(frame, decoder);
          digest.Add(map, ((frame.width + 15) / 16) * ((frame.height + 15) / 16));
          std::memset(expected.data(), 0x6B, expected.size());
          tlx::mpeg4::test::ReferenceOutput(frame, map, decoder.variants.postFilter, expected.data());
          if (expected != buffer) ++mismatches;
        },
        ObserveVectors, &digest);
    std::printf("%s %016llx %d pictures %d mismatches\n", path.substr(path.rfind('/') + 1).c_str(),
                static_cast<unsigned long long>(digest.value), pictures, mismatches);
  }
  return 0;
}

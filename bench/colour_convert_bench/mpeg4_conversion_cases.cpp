// The MPEG-4 decoder's RGB32 output step (the SSE2 output converter with the
// kernels the masked feature word selects, as a decoder instance has them;
// rows top-down, the colour set-up of the default output format) against
// sws_scale yuv420p -> bgr0, on the first picture of a benchmark stream as
// our core decodes it.
#include <cstring>
#include <memory>

#include "conversion_cases.h"
#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"
#include "filters/mpeg4/core/yuv_rgb/output_converter.h"
#include "mpeg4/bench_streams.h"
#include "mpeg4/swscale_rgb.h"

namespace tlx::bench {

namespace {

using mpeg4::bench::BenchStream;

// A decoded picture in tightly packed planes (chroma rows half the luma
// rows), and an RGB32 frame buffer for it.
struct DecodedPicture {
  int width = 0, height = 0;
  std::vector<uint8_t> y, u, v, rgb;
};

std::shared_ptr<DecodedPicture> DecodeFirstPicture(const BenchStream& stream) {
  auto picture = std::make_shared<DecodedPicture>();
  void* decoder = nullptr;
  if (Mpeg4DecInit(&decoder) != 0) return nullptr;
  const uint8_t end[4] = {0x00, 0x00, 0x01, 0xB7};
  Mpeg4DecFrame frame{};
  for (int call = 0; call < 2 && frame.outputAvailable == 0; ++call) {
    frame = Mpeg4DecFrame{};
    frame.input = call == 0 ? stream.pictures[0].data() : end;
    frame.inputLength = uint32_t(call == 0 ? stream.sizes[0] : sizeof end);
    Mpeg4DecAFrame(decoder, &frame);
  }
  if (frame.outputAvailable != 0) {
    const int w = stream.width, h = stream.height;
    picture->width = w;
    picture->height = h;
    picture->y.resize(size_t(w) * h);
    picture->u.resize(size_t(w / 2) * (h / 2));
    picture->v.resize(picture->u.size());
    for (int row = 0; row < h; ++row) std::memcpy(&picture->y[size_t(row) * w], frame.yPlane + row * frame.yStride, w);
    for (int row = 0; row < h / 2; ++row) {
      std::memcpy(&picture->u[size_t(row) * (w / 2)], frame.uPlane + row * frame.uStride, w / 2);
      std::memcpy(&picture->v[size_t(row) * (w / 2)], frame.vPlane + row * frame.vStride, w / 2);
    }
    picture->rgb.resize(size_t(w) * h * 4);
  }
  Mpeg4DecExit(decoder);
  return picture->rgb.empty() ? nullptr : picture;
}

}  // namespace

void AddMpeg4ConversionCases(std::vector<ConversionCase>& cases) {
  for (const char* size : {"320x240", "640x480"}) {
    const std::vector<BenchStream> streams = mpeg4::bench::LoadBenchStreams(std::string("testsrc2_") + size + "_sp_1M");
    if (streams.empty()) continue;
    const std::shared_ptr<DecodedPicture> picture = DecodeFirstPicture(streams[0]);
    if (!picture) continue;
    auto converter = std::make_shared<mpeg4::Sse2OutputConverter>(mpeg4::HeapConverterAllocator(),
                                                                   mpeg4::MaskedCpuFeatures());
    converter->ConverterSetup(0, 0);
    converter->AllocateLineBuffers(picture->width);
    auto swscale = std::make_shared<mpeg4::bench::SwscaleRgb>(picture->width, picture->height,
                                                                mpeg4::bench::SwscaleRgbFormat::Bgr0);
    const ptrdiff_t stride = ptrdiff_t(picture->width) * 4;
    ConversionCase c;
    c.name = std::string("mpeg4/rgb32/") + size;
    c.ours = [picture, converter, stride] {
      // Top-down rows: the last destination row first, the stride negated.
      DecodedPicture& p = *picture;
      converter->Convert(mpeg4::RgbFormat::Rgb32, mpeg4::ConversionMode::Progressive, p.y.data(), p.u.data(),
                         p.v.data(), p.rgb.data() + (p.height - 1) * stride, p.width, p.height, -stride, p.width);
    };
    c.reference = [picture, swscale, stride] {
      DecodedPicture& p = *picture;
      const uint8_t* planes[3] = {p.y.data(), p.u.data(), p.v.data()};
      const int strides[3] = {p.width, p.width / 2, p.width / 2};
      swscale->Convert(planes, strides, p.rgb.data(), int(stride));
    };
    cases.push_back(std::move(c));
  }
}

}  // namespace tlx::bench

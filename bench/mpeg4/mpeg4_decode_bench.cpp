// Our MPEG-4 decoder against libavcodec's, on the benchmark streams split
// into pictures before timing, single threaded, each picture converted to
// 32-bit RGB of the picture's size: ours through Mpeg4DecAFrame's RGB32
// top-down output, libavcodec's through sws_scale to bgr0.
//
// The processor mask (TLX_CPU_FEATURES) is read once per process, so the
// program runs itself once per configuration and times libavcodec in each
// run:
//   equal-work  the probe word without SSE2 (0x2000): the vector kernels,
//               no deblocking post-filter (libavcodec does none);
//   production  unmasked: the vector kernels and the always-on deblocking.
// Each run prints Google Benchmark's table and microseconds per picture;
// the program ends with a summary (ratio = libavcodec time / our time, and
// the deblocking cost) and one line per stream and configuration:
//   ratio mpeg4/<stream>/<configuration> <value>
// Arguments: an optional part of the stream names to keep; the rest goes to
// Google Benchmark.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_streams.h"
#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"
#include "mean_time_reporter.h"
#include "swscale_rgb.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tlx::mpeg4::bench {
namespace {

constexpr char kConfigurationOption[] = "--configuration=";
constexpr uint8_t kEndMarker[4] = {0x00, 0x00, 0x01, 0xB7};

// Decodes the whole stream with our core into one RGB32 frame buffer.
void DecodeOurs(const BenchStream& stream, std::vector<uint8_t>& rgb) {
  void* decoder = nullptr;
  Mpeg4DecInit(&decoder);
  auto decode = [&](const uint8_t* bytes, size_t length) {
    Mpeg4DecFrame frame{};
    frame.input = bytes;
    frame.inputLength = uint32_t(length);
    frame.outputBuffer = rgb.data();
    frame.outputFormat = kMpeg4OutputRgb32;
    frame.outputStride = stream.width * 4;
    Mpeg4DecAFrame(decoder, &frame);
  };
  for (size_t i = 0; i < stream.pictures.size(); ++i) decode(stream.pictures[i].data(), stream.sizes[i]);
  decode(kEndMarker, sizeof kEndMarker);
  Mpeg4DecExit(decoder);
}

// Decodes the whole stream with libavcodec (one thread, default options)
// and converts every picture with sws_scale.
void DecodeReference(const BenchStream& stream, SwscaleRgb& converter, std::vector<uint8_t>& rgb) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  context->thread_count = 1;
  avcodec_open2(context, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&] {
    while (avcodec_receive_frame(context, frame) == 0) {
      converter.Convert(frame->data, frame->linesize, rgb.data(), stream.width * 4);
      av_frame_unref(frame);
    }
  };
  for (size_t i = 0; i < stream.pictures.size(); ++i) {
    packet->data = const_cast<uint8_t*>(stream.pictures[i].data());
    packet->size = int(stream.sizes[i]);
    avcodec_send_packet(context, packet);
    drain();
  }
  avcodec_send_packet(context, nullptr);
  drain();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
}

int RunConfiguration(const std::string& configuration, const std::string& filter, int argc, char** argv) {
  static std::vector<BenchStream> streams = LoadBenchStreams(filter);
  if (streams.empty()) {
    std::fprintf(stderr, "mpeg4_decode_bench: no streams (build the target mpeg4_bench_streams)\n");
    return 1;
  }
  for (const BenchStream& stream : streams) {
    const BenchStream* s = &stream;
    benchmark::RegisterBenchmark(("ours/" + stream.name).c_str(), [s](benchmark::State& state) {
      std::vector<uint8_t> rgb(size_t(s->width) * s->height * 4);
      for (auto _ : state) DecodeOurs(*s, rgb);
    })->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark(("libavcodec/" + stream.name).c_str(), [s](benchmark::State& state) {
      std::vector<uint8_t> rgb(size_t(s->width) * s->height * 4);
      SwscaleRgb converter(s->width, s->height, SwscaleRgbFormat::Bgr0);
      for (auto _ : state) DecodeReference(*s, converter, rgb);
    })->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  MeanTimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const BenchStream& stream : streams) {
    const double pictures = double(stream.pictures.size());
    const double ours = reporter.Seconds("ours/" + stream.name) * 1e6 / pictures;
    const double reference = reporter.Seconds("libavcodec/" + stream.name) * 1e6 / pictures;
    if (ours <= 0 || reference <= 0) continue;
    std::printf("%s %s: ours %.1f µs/picture, libavcodec+swscale %.1f µs/picture, ratio %.3f\n",
                stream.name.c_str(), configuration.c_str(), ours, reference, reference / ours);
    std::printf("us mpeg4/%s/%s %.3f %.3f\n", stream.name.c_str(), configuration.c_str(), ours, reference);
  }
  std::fflush(stdout);
  return 0;
}

struct Measured {
  double ours = 0, reference = 0;
};

// Runs this program once per configuration and sums up.
int RunAll(const char* self, const std::string& arguments) {
  const uint32_t probe = ProbeCpuFeatures(win32::ReadCpuidRegisters());
  char mask[16];
  std::snprintf(mask, sizeof mask, "0x%X", probe & ~kFeatureSse2);
  const std::pair<const char*, std::string> configurations[] = {
      {"equal-work", std::string("TLX_CPU_FEATURES=") + mask}, {"production", "-u TLX_CPU_FEATURES"}};
  std::map<std::string, std::map<std::string, Measured>> measured;  // stream -> configuration
  for (const auto& [name, environment] : configurations) {
    const std::string command = "env " + environment + " '" + self + "' " + kConfigurationOption + name + arguments;
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) return 1;
    char line[1024];
    while (std::fgets(line, sizeof line, child) != nullptr) {
      char stream[256], configuration[64];
      Measured m;
      if (std::sscanf(line, "us mpeg4/%255[^/]/%63s %lf %lf", stream, configuration, &m.ours, &m.reference) == 4) {
        measured[stream][configuration] = m;
        continue;
      }
      std::fputs(line, stdout);
    }
    if (pclose(child) != 0) return 1;
  }
  std::printf("\n%-34s %10s %10s %14s\n", "stream", "equal-work", "production", "deblocking µs");
  for (auto& [stream, runs] : measured) {
    const Measured& equal = runs["equal-work"];
    const Measured& production = runs["production"];
    std::printf("%-34s %10.3f %10.3f %14.1f\n", stream.c_str(), equal.reference / equal.ours,
                production.reference / production.ours, production.ours - equal.ours);
  }
  for (const char* configuration : {"equal-work", "production"}) {
    for (auto& [stream, runs] : measured) {
      const Measured& m = runs[configuration];
      std::printf("ratio mpeg4/%s/%s %.3f\n", stream.c_str(), configuration, m.reference / m.ours);
    }
  }
  return 0;
}

}  // namespace
}  // namespace tlx::mpeg4::bench

int main(int argc, char** argv) {
  using tlx::mpeg4::bench::kConfigurationOption;
  std::string configuration, filter, arguments;
  std::vector<char*> benchmarkArguments = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kConfigurationOption, sizeof kConfigurationOption - 1) == 0) {
      configuration = argv[i] + sizeof kConfigurationOption - 1;
      continue;
    }
    arguments += std::string(" '") + argv[i] + "'";
    if (std::strncmp(argv[i], "--", 2) == 0) {
      benchmarkArguments.push_back(argv[i]);
    } else {
      filter = argv[i];
    }
  }
  if (configuration.empty()) return tlx::mpeg4::bench::RunAll(argv[0], arguments);
  int count = int(benchmarkArguments.size());
  return tlx::mpeg4::bench::RunConfiguration(configuration, filter, count, benchmarkArguments.data());
}

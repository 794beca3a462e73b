#include "outside/aaccore/support/aac_reference.h"

#include <cstdlib>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace tlx::aaccore::test {
namespace {

struct InputClose {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct ContextFree {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ResamplerFree {
  void operator()(SwrContext* swr) const { swr_free(&swr); }
};

}  // namespace

AacStream ReadStream(const std::string& name) {
  AacStream stream;
  const std::string path = std::string(AAC_FIXTURE_DIR) + "/" + name;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return stream;
  std::unique_ptr<AVFormatContext, InputClose> input(raw);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) return stream;
  int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) return stream;
  const AVCodecParameters* par = input->streams[index]->codecpar;
  stream.sampleRate = par->sample_rate;
  stream.channels = par->ch_layout.nb_channels;
  stream.config.assign(par->extradata, par->extradata + par->extradata_size);
  const AVRational timeBase = input->streams[index]->time_base;
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == index) {
      stream.units.emplace_back(packet->data, packet->data + packet->size);
      stream.startSamples.push_back(av_rescale_q(packet->pts, timeBase, AVRational{1, stream.sampleRate}));
    }
    av_packet_unref(packet.get());
  }
  return stream;
}

std::vector<std::vector<int16_t>> ReferenceDecode(const AacStream& stream, int outputChannels) {
  std::vector<std::vector<int16_t>> frames;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
  std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(codec));
  context->extradata = static_cast<uint8_t*>(av_mallocz(stream.config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::copy(stream.config.begin(), stream.config.end(), context->extradata);
  context->extradata_size = static_cast<int>(stream.config.size());
  context->thread_count = 1;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return frames;

  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  std::unique_ptr<SwrContext, ResamplerFree> swr;
  for (const auto& unit : stream.units) {
    // A plain packet: no side data, so nothing is trimmed from the frames.
    if (av_new_packet(packet.get(), static_cast<int>(unit.size())) < 0) return {};
    std::copy(unit.begin(), unit.end(), packet->data);
    int sent = avcodec_send_packet(context.get(), packet.get());
    av_packet_unref(packet.get());
    if (sent < 0 || avcodec_receive_frame(context.get(), frame.get()) < 0) return {};
    if (!swr) {
      AVChannelLayout out{};
      if (outputChannels == frame->ch_layout.nb_channels) {
        av_channel_layout_copy(&out, &frame->ch_layout);
      } else {
        av_channel_layout_default(&out, outputChannels);
      }
      SwrContext* made = nullptr;
      int opened = swr_alloc_set_opts2(&made, &out, AV_SAMPLE_FMT_S16, frame->sample_rate, &frame->ch_layout,
                                       static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
      av_channel_layout_uninit(&out);
      swr.reset(made);
      if (opened < 0 || swr_init(swr.get()) < 0) return {};
    }
    std::vector<int16_t> pcm(static_cast<size_t>(frame->nb_samples) * static_cast<size_t>(outputChannels));
    uint8_t* out[] = {reinterpret_cast<uint8_t*>(pcm.data())};
    int converted = swr_convert(swr.get(), out, frame->nb_samples, const_cast<const uint8_t**>(frame->extended_data),
                                frame->nb_samples);
    if (converted != frame->nb_samples) return {};
    frames.push_back(std::move(pcm));
    av_frame_unref(frame.get());
  }
  return frames;
}

int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  if (a.size() != b.size()) return 1 << 20;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

}  // namespace tlx::aaccore::test

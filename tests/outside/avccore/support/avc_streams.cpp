#include "avc_streams.h"

#include <gtest/gtest.h>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

namespace tlx::avctest {

std::string FixturePath(const std::string& name) { return std::string(AVC_FIXTURE_DIR) + "/" + name; }

AvcStream ReadAvcStream(const std::string& path) {
  AvcStream stream;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
    ADD_FAILURE() << "cannot open " << path;
    return stream;
  }
  avformat_find_stream_info(format, nullptr);
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) {
    ADD_FAILURE() << "no video in " << path;
    avformat_close_input(&format);
    return stream;
  }
  const AVStream* video = format->streams[index];
  const AVCodecParameters* par = video->codecpar;
  stream.width = par->width;
  stream.height = par->height;
  stream.avcC.assign(par->extradata, par->extradata + par->extradata_size);

  const AVBitStreamFilter* toAnnexB = av_bsf_get_by_name("h264_mp4toannexb");
  AVBSFContext* bsf = nullptr;
  av_bsf_alloc(toAnnexB, &bsf);
  avcodec_parameters_copy(bsf->par_in, par);
  bsf->time_base_in = video->time_base;
  av_bsf_init(bsf);

  const AVRational hundredNs{1, 10000000};
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == index) {
      const int64_t time = av_rescale_q(packet->pts, video->time_base, hundredNs);
      stream.lengthPrefixed.push_back({{packet->data, packet->data + packet->size}, time});
      av_bsf_send_packet(bsf, packet);
      while (av_bsf_receive_packet(bsf, packet) == 0) {
        stream.annexB.push_back({{packet->data, packet->data + packet->size}, time});
        av_packet_unref(packet);
      }
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  av_bsf_free(&bsf);
  avformat_close_input(&format);
  return stream;
}

namespace {

void CopyPlane(std::vector<uint8_t>* out, const uint8_t* data, int stride, int width, int height) {
  out->resize(static_cast<size_t>(width) * height);
  for (int row = 0; row < height; ++row) std::memcpy(out->data() + row * width, data + row * stride, width);
}

}  // namespace

std::vector<Picture> ReferenceDecode(const std::vector<AccessUnit>& units) {
  std::vector<Picture> pictures;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  context->thread_count = 1;
  avcodec_open2(context, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const auto receive = [&] {
    while (avcodec_receive_frame(context, frame) == 0) {
      Picture picture;
      picture.width = frame->width;
      picture.height = frame->height;
      CopyPlane(&picture.y, frame->data[0], frame->linesize[0], frame->width, frame->height);
      CopyPlane(&picture.u, frame->data[1], frame->linesize[1], (frame->width + 1) / 2, (frame->height + 1) / 2);
      CopyPlane(&picture.v, frame->data[2], frame->linesize[2], (frame->width + 1) / 2, (frame->height + 1) / 2);
      picture.timeValid = frame->pts != AV_NOPTS_VALUE;
      picture.time = frame->pts;
      picture.flags = !frame->interlaced_frame ? TLXAVC_PICTURE_PROGRESSIVE
                      : frame->top_field_first ? 0
                                               : TLXAVC_PICTURE_BOTTOM_FIRST;
      pictures.push_back(std::move(picture));
      av_frame_unref(frame);
    }
  };
  for (const AccessUnit& unit : units) {
    av_new_packet(packet, static_cast<int>(unit.bytes.size()));
    std::memcpy(packet->data, unit.bytes.data(), unit.bytes.size());
    packet->pts = unit.time;
    avcodec_send_packet(context, packet);
    av_packet_unref(packet);
    receive();
  }
  avcodec_send_packet(context, nullptr);
  receive();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&context);
  return pictures;
}

Picture CopyPicture(const TlxAvcPicture& source) {
  Picture picture;
  picture.width = source.width;
  picture.height = source.height;
  picture.flags = source.flags;
  CopyPlane(&picture.y, source.y, source.lumaStride, source.width, source.height);
  CopyPlane(&picture.u, source.u, source.chromaStride, (source.width + 1) / 2, (source.height + 1) / 2);
  CopyPlane(&picture.v, source.v, source.chromaStride, (source.width + 1) / 2, (source.height + 1) / 2);
  return picture;
}

std::vector<std::vector<uint8_t>> SplitNalUnits(const std::vector<uint8_t>& annexB) {
  std::vector<size_t> starts;  // first byte after each start code
  for (size_t i = 0; i + 2 < annexB.size(); ++i)
    if (annexB[i] == 0 && annexB[i + 1] == 0 && annexB[i + 2] == 1) starts.push_back(i + 3);
  std::vector<std::vector<uint8_t>> units;
  for (size_t k = 0; k < starts.size(); ++k) {
    size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : annexB.size();
    while (end > starts[k] && annexB[end - 1] == 0) --end;
    units.emplace_back(annexB.begin() + starts[k], annexB.begin() + end);
  }
  return units;
}

}  // namespace tlx::avctest

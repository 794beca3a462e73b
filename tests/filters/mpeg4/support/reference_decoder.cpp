#include "filters/mpeg4/support/reference_decoder.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/motion_vector.h>
#include <libavutil/video_enc_params.h>
}

namespace tlx::mpeg4::test {
namespace {

// libavcodec's log callback is process-wide: one capture at a time.
std::mutex captureMutex;
std::string* captureLine = nullptr;
std::vector<std::string>* captureLines = nullptr;

void CaptureLog(void* context, int level, const char* format, va_list arguments) {
  if (captureLines == nullptr || level > AV_LOG_DEBUG) return;
  char text[1024];
  int prefix = 0;
  av_log_format_line2(context, level, format, arguments, text, sizeof(text), &prefix);
  // Strip the "[mpeg4 @ 0x...] " prefix that starts each new line.
  const char* body = text;
  if (captureLine->empty() && body[0] == '[') {
    if (const char* close = std::strstr(body, "] ")) body = close + 2;
  }
  *captureLine += body;
  size_t newline;
  while ((newline = captureLine->find('\n')) != std::string::npos) {
    captureLines->push_back(captureLine->substr(0, newline));
    captureLine->erase(0, newline + 1);
  }
}

char PictureTypeChar(AVPictureType type) {
  switch (type) {
    case AV_PICTURE_TYPE_I: return 'I';
    case AV_PICTURE_TYPE_P: return 'P';
    case AV_PICTURE_TYPE_B: return 'B';
    case AV_PICTURE_TYPE_S: return 'S';
    default: return '?';
  }
}

void CopyPlane(std::vector<uint8_t>& to, const uint8_t* from, int stride, int width, int height) {
  to.resize(size_t(width) * height);
  for (int row = 0; row < height; ++row) std::memcpy(&to[size_t(row) * width], from + row * stride, width);
}

ReferenceFrame TakeFrame(const AVFrame* frame) {
  ReferenceFrame out;
  out.width = frame->width;
  out.height = frame->height;
  out.pictureType = PictureTypeChar(frame->pict_type);
  CopyPlane(out.y, frame->data[0], frame->linesize[0], frame->width, frame->height);
  CopyPlane(out.u, frame->data[1], frame->linesize[1], frame->width / 2, frame->height / 2);
  CopyPlane(out.v, frame->data[2], frame->linesize[2], frame->width / 2, frame->height / 2);
  const int columns = (frame->width + 15) / 16;
  const int rows = (frame->height + 15) / 16;
  if (const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_VIDEO_ENC_PARAMS)) {
    const auto* params = reinterpret_cast<const AVVideoEncParams*>(side->data);
    out.quantisers.assign(size_t(columns) * rows, -1);
    for (unsigned i = 0; i < params->nb_blocks; ++i) {
      const AVVideoBlockParams* block = av_video_enc_params_block(const_cast<AVVideoEncParams*>(params), i);
      const int column = block->src_x / 16;
      const int row = block->src_y / 16;
      // The table holds twice the quantiser, as MPEG-1 counts it.
      if (column < columns && row < rows) out.quantisers[size_t(row) * columns + column] = (params->qp + block->delta_qp) / 2;
    }
  }
  if (const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_MOTION_VECTORS)) {
    const auto* vectors = reinterpret_cast<const AVMotionVector*>(side->data);
    for (size_t i = 0; i < side->size / sizeof(AVMotionVector); ++i) {
      const AVMotionVector& mv = vectors[i];
      out.vectors.push_back({mv.source, mv.w, mv.h, mv.dst_x - mv.w / 2, mv.dst_y - mv.h / 2, mv.motion_x,
                             mv.motion_y, int(mv.motion_scale)});
    }
  }
  return out;
}

// Turns the coefficient dump ("DCT coeffs of MB at XxY:" and six lines of 64
// numbers) into records.
std::vector<ReferenceMacroblockLevels> ParseLevels(const std::vector<std::string>& lines) {
  std::vector<ReferenceMacroblockLevels> out;
  for (size_t i = 0; i < lines.size(); ++i) {
    int column = 0;
    int row = 0;
    if (std::sscanf(lines[i].c_str(), "DCT coeffs of MB at %dx%d:", &column, &row) != 2) continue;
    ReferenceMacroblockLevels record;
    record.column = column;
    record.row = row;
    for (int block = 0; block < 6 && i + 1 + block < lines.size(); ++block) {
      const char* text = lines[i + 1 + block].c_str();
      for (int k = 0; k < 64; ++k) {
        int consumed = 0;
        int value = 0;
        if (std::sscanf(text, "%d%n", &value, &consumed) != 1) break;
        record.levels[block][k] = static_cast<int16_t>(value);
        text += consumed;
      }
    }
    out.push_back(record);
  }
  return out;
}

}  // namespace

ReferenceDecode DecodeWithLibavcodec(const std::vector<uint8_t>& stream, const ReferenceOptions& options) {
  ReferenceDecode result;
  const AVCodecID id = options.shortHeader ? AV_CODEC_ID_H263 : AV_CODEC_ID_MPEG4;
  const AVCodec* codec = avcodec_find_decoder(id);
  AVCodecParserContext* parser = av_parser_init(id);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  EXPECT_TRUE(codec != nullptr && parser != nullptr && context != nullptr);
  if (codec == nullptr || parser == nullptr || context == nullptr) return result;
  context->thread_count = 1;
  context->idct_algo = FF_IDCT_XVID;
  context->workaround_bugs = 0;
  context->error_concealment = 0;
  context->flags2 |= AV_CODEC_FLAG2_EXPORT_MVS;
  context->export_side_data |= AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
  if (options.pictureLines) context->debug |= FF_DEBUG_PICT_INFO;
  if (options.coefficients) context->debug |= FF_DEBUG_DCT_COEFF;
  EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);

  std::vector<std::string> lines;
  std::string partial;
  std::unique_lock<std::mutex> lock(captureMutex);
  const bool capturing = options.pictureLines || options.coefficients;
  if (capturing) {
    captureLines = &lines;
    captureLine = &partial;
    av_log_set_callback(CaptureLog);
  }

  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&] {
    while (avcodec_receive_frame(context, frame) == 0) {
      result.frames.push_back(TakeFrame(frame));
      av_frame_unref(frame);
    }
  };
  // The parser cuts the stream into pictures; its input needs padding.
  std::vector<uint8_t> padded(stream);
  padded.resize(stream.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  const uint8_t* data = padded.data();
  int left = static_cast<int>(stream.size());
  while (left > 0) {
    uint8_t* out = nullptr;
    int outSize = 0;
    const int used = av_parser_parse2(parser, context, &out, &outSize, data, left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    data += used;
    left -= used;
    if (outSize > 0) {
      packet->data = out;
      packet->size = outSize;
      avcodec_send_packet(context, packet);
      drain();
    }
  }
  uint8_t* out = nullptr;
  int outSize = 0;
  av_parser_parse2(parser, context, &out, &outSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
  if (outSize > 0) {
    packet->data = out;
    packet->size = outSize;
    avcodec_send_packet(context, packet);
    drain();
  }
  avcodec_send_packet(context, nullptr);
  drain();
  result.timeIncrementResolution = context->framerate.num;

  if (capturing) {
    av_log_set_callback(av_log_default_callback);
    captureLines = nullptr;
    captureLine = nullptr;
  }
  lock.unlock();
  for (const std::string& line : lines) {
    if (line.rfind("qp:", 0) == 0) result.pictureLines.push_back(line);
  }
  if (options.coefficients) result.levels = ParseLevels(lines);

  av_frame_free(&frame);
  av_packet_free(&packet);
  av_parser_close(parser);
  avcodec_free_context(&context);
  return result;
}

}  // namespace tlx::mpeg4::test

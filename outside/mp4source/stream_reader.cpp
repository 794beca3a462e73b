#include "stream_reader.h"

#include <algorithm>
#include <utility>

extern "C" {
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

namespace tlx::mp4source {
namespace {

constexpr AVRational k100ns{1, 10000000};

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

struct FormatCloser {
  void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
using FormatHandle = std::unique_ptr<AVFormatContext, FormatCloser>;

// Opens the file and reads its stream information.
FormatHandle OpenFormat(const std::string& path, std::string* error) {
  AVFormatContext* raw = nullptr;
  int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (rc < 0) {
    *error = "cannot open " + path + ": " + AvError(rc);
    return nullptr;
  }
  FormatHandle format(raw);
  rc = avformat_find_stream_info(format.get(), nullptr);
  if (rc < 0) {
    *error = "cannot read the streams of " + path + ": " + AvError(rc);
    return nullptr;
  }
  return format;
}

Time100ns To100ns(int64_t value, AVRational base) {
  return value == AV_NOPTS_VALUE ? kNoTime : av_rescale_q(value, base, k100ns);
}

size_t LargestIndexedSample(AVStream* stream) {
  size_t largest = 0;
  for (int i = 0, n = avformat_index_get_entries_count(stream); i < n; ++i) {
    const AVIndexEntry* entry = avformat_index_get_entry(stream, i);
    if (entry != nullptr) largest = std::max(largest, static_cast<size_t>(entry->size));
  }
  return largest;
}

}  // namespace

bool ProbeFile(const std::string& path, FileLayout* layout, std::string* error) {
  FormatHandle format = OpenFormat(path, error);
  if (!format) return false;
  *layout = FileLayout{};
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    // A cover picture is not the film.
    if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) continue;
    const AVMediaType kind = stream->codecpar->codec_type;
    if (kind == AVMEDIA_TYPE_VIDEO && layout->video < 0) layout->video = static_cast<int>(i);
    if (kind == AVMEDIA_TYPE_AUDIO && layout->audio < 0) layout->audio = static_cast<int>(i);
  }
  Time100ns origin = kNoTime;
  for (int index : {layout->video, layout->audio}) {
    if (index < 0) continue;
    AVStream* stream = format->streams[index];
    Time100ns start = To100ns(stream->start_time, stream->time_base);
    if (start != kNoTime && (origin == kNoTime || start < origin)) origin = start;
    (index == layout->video ? layout->largestVideo : layout->largestAudio) = LargestIndexedSample(stream);
  }
  layout->origin = origin == kNoTime ? 0 : origin;
  if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
    layout->duration = av_rescale_q(format->duration, AV_TIME_BASE_Q, k100ns);
  }
  return true;
}

std::unique_ptr<StreamReader> StreamReader::Open(const std::string& path, int index, bool annexB,
                                                 std::string* error) {
  FormatHandle format = OpenFormat(path, error);
  if (!format) return nullptr;
  if (index < 0 || static_cast<unsigned>(index) >= format->nb_streams) {
    *error = path + " has no stream " + std::to_string(index);
    return nullptr;
  }
  std::unique_ptr<StreamReader> reader(new StreamReader());
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    format->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  reader->index_ = index;
  reader->read_ = av_packet_alloc();
  reader->packet_ = av_packet_alloc();
  if (reader->read_ == nullptr || reader->packet_ == nullptr) {
    *error = "out of memory";
    return nullptr;
  }
  if (annexB) {
    const AVStream* stream = format->streams[index];
    const AVBitStreamFilter* kind = av_bsf_get_by_name("h264_mp4toannexb");
    int rc = kind != nullptr && stream->codecpar->codec_id == AV_CODEC_ID_H264
                 ? av_bsf_alloc(kind, &reader->filter_)
                 : AVERROR_BSF_NOT_FOUND;
    if (rc >= 0) rc = avcodec_parameters_copy(reader->filter_->par_in, stream->codecpar);
    if (rc >= 0) {
      reader->filter_->time_base_in = stream->time_base;
      rc = av_bsf_init(reader->filter_);
    }
    if (rc < 0) {
      *error = "cannot convert the H.264 stream of " + path + " to a byte stream: " + AvError(rc);
      return nullptr;
    }
  }
  reader->format_ = format.release();
  return reader;
}

StreamReader::~StreamReader() {
  av_bsf_free(&filter_);
  av_packet_free(&read_);
  av_packet_free(&packet_);
  avformat_close_input(&format_);
}

StreamReader::Result StreamReader::Next(std::string* error) {
  av_packet_unref(packet_);
  for (;;) {
    int rc = av_read_frame(format_, read_);
    if (rc == AVERROR_EOF) return Result::kEnd;
    if (rc < 0) {
      *error = "reading stream " + std::to_string(index_) + " failed: " + AvError(rc);
      return Result::kError;
    }
    if (read_->stream_index != index_ || (read_->flags & AV_PKT_FLAG_CORRUPT) != 0 || read_->size <= 0) {
      if (read_->stream_index == index_) ++skipped_;
      av_packet_unref(read_);
      continue;
    }
    if (filter_ == nullptr) {
      av_packet_move_ref(packet_, read_);
      return Result::kPacket;
    }
    // The conversion gives one unit for each it takes.
    rc = av_bsf_send_packet(filter_, read_);
    if (rc >= 0) rc = av_bsf_receive_packet(filter_, packet_);
    if (rc >= 0) return Result::kPacket;
    av_packet_unref(read_);
    av_bsf_flush(filter_);
    ++skipped_;
  }
}

const uint8_t* StreamReader::Data() const { return packet_->data; }
size_t StreamReader::Size() const { return static_cast<size_t>(std::max(packet_->size, 0)); }

Time100ns StreamReader::Start() const {
  const AVRational base = format_->streams[index_]->time_base;
  return To100ns(packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts, base);
}

Time100ns StreamReader::Duration() const {
  return packet_->duration > 0 ? av_rescale_q(packet_->duration, format_->streams[index_]->time_base, k100ns) : 0;
}

bool StreamReader::IsKeyFrame() const { return (packet_->flags & AV_PKT_FLAG_KEY) != 0; }

int StreamReader::TakeSkipped() { return std::exchange(skipped_, 0); }

bool StreamReader::Seek(Time100ns position) {
  av_packet_unref(packet_);
  if (filter_ != nullptr) av_bsf_flush(filter_);
  const AVStream* stream = format_->streams[index_];
  int64_t target = av_rescale_q(position, k100ns, stream->time_base);
  return av_seek_frame(format_, index_, target, AVSEEK_FLAG_BACKWARD) >= 0;
}

bool StreamReader::SeekToFirst() {
  AVStream* stream = format_->streams[index_];
  const AVIndexEntry* first = avformat_index_get_entries_count(stream) > 0 ? avformat_index_get_entry(stream, 0)
                                                                          : nullptr;
  if (first == nullptr) return Seek(To100ns(stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0,
                                            stream->time_base));
  av_packet_unref(packet_);
  if (filter_ != nullptr) av_bsf_flush(filter_);
  return av_seek_frame(format_, index_, first->timestamp, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) >= 0;
}

const AVStream& StreamReader::Stream() const { return *format_->streams[index_]; }

}  // namespace tlx::mp4source

#include "avc_instance.h"

#include <algorithm>
#include <cstring>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "nal_units.h"

namespace tlx::avccore {
namespace {

constexpr uint8_t kStartCode[] = {0, 0, 0, 1};
// Marks of packets whose picture never came out (damaged data) are dropped
// once this many are waiting.
constexpr size_t kMaxMarks = 64;
constexpr int kMaxThreads = 4;
// The converters read chroma rows this far past their width.
constexpr int kChromaOverread = 8;

}  // namespace

struct AvcInstance::Picture {
  AVFrame* frame = nullptr;
  std::vector<uint8_t> repacked;  // own planes when the frame's do not fit the contract
  TlxAvcPicture planes{};
  UnitMark mark;
  int32_t number = 0;
  TlxAvcSequenceInfo sequence{};

  ~Picture() { av_frame_free(&frame); }
};

namespace {

// True when the frame's planes hold what the record promises: chroma stride
// half the luma stride, and each chroma row readable past its width.
bool PlanesFit(const AVFrame* frame) {
  const int chromaWidth = (frame->width + 1) / 2, chromaHeight = (frame->height + 1) / 2;
  if (frame->linesize[0] <= 0 || frame->linesize[0] % 2 != 0) return false;
  for (int p = 1; p <= 2; ++p) {
    if (frame->linesize[p] != frame->linesize[0] / 2) return false;
    const AVBufferRef* buffer = av_frame_get_plane_buffer(const_cast<AVFrame*>(frame), p);
    if (buffer == nullptr || frame->data[p] < buffer->data) return false;
    const size_t end = static_cast<size_t>(frame->data[p] - buffer->data) +
                       static_cast<size_t>(chromaHeight - 1) * frame->linesize[p] + chromaWidth +
                       kChromaOverread;
    if (end > buffer->size) return false;
  }
  return true;
}

void Repack(const AVFrame* frame, std::vector<uint8_t>* store, TlxAvcPicture* planes) {
  const int width = frame->width, height = frame->height;
  const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
  const int stride = (width + 2 * kChromaOverread + 31) & ~31;
  const size_t lumaSize = static_cast<size_t>(stride) * height;
  const size_t chromaSize = static_cast<size_t>(stride / 2) * chromaHeight;
  store->assign(lumaSize + 2 * chromaSize, 0);
  planes->y = store->data();
  planes->u = store->data() + lumaSize;
  planes->v = planes->u + chromaSize;
  planes->lumaStride = stride;
  planes->chromaStride = stride / 2;
  for (int row = 0; row < height; ++row)
    std::memcpy(planes->y + row * stride, frame->data[0] + row * frame->linesize[0], width);
  for (int row = 0; row < chromaHeight; ++row) {
    std::memcpy(planes->u + row * (stride / 2), frame->data[1] + row * frame->linesize[1], chromaWidth);
    std::memcpy(planes->v + row * (stride / 2), frame->data[2] + row * frame->linesize[2], chromaWidth);
  }
}

}  // namespace

AvcInstance::AvcInstance(TlxAvcPictureReady callback, void* context) : callback_(callback), context_(context) {}

std::unique_ptr<AvcInstance> AvcInstance::Create(int32_t mode, TlxAvcPictureReady callback, void* context) {
  std::unique_ptr<AvcInstance> instance(new AvcInstance(callback, context));
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (codec == nullptr) return nullptr;
  instance->codec_ = avcodec_alloc_context3(codec);
  instance->packet_ = av_packet_alloc();
  instance->frame_ = av_frame_alloc();
  if (instance->codec_ == nullptr || instance->packet_ == nullptr || instance->frame_ == nullptr) return nullptr;
  if (mode & TLXAVC_MODE_MULTITHREAD) {
    const unsigned cpus = std::max(1u, std::thread::hardware_concurrency());
    instance->codec_->thread_count = static_cast<int>(std::min<unsigned>(cpus, kMaxThreads));
    instance->codec_->thread_type = FF_THREAD_FRAME;
  } else {
    instance->codec_->thread_count = 1;
  }
  if (avcodec_open2(instance->codec_, codec, nullptr) < 0) return nullptr;
  return instance;
}

AvcInstance::~AvcInstance() {
  avcodec_free_context(&codec_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
}

void AvcInstance::Notify(int produced) {
  if (produced > 0 && callback_ != nullptr) callback_(context_);
}

int32_t AvcInstance::NalUnit(TlxAvcNalResult* result, std::span<const uint8_t> unit) {
  int produced = 0;
  int32_t status = 0;
  {
    std::lock_guard lock(decodeMutex_);
    if (broken_) return TLXAVC_STATUS_FATAL;
    {
      std::lock_guard queueLock(queueMutex_);
      if (queue_.size() >= kQueueCapacity) {
        ignoreMarks_ = true;
        return TLXAVC_STATUS_BUSY;
      }
    }
    ignoreMarks_ = false;
    status = MovePendingToUnit(&produced);
    size_t taken = unit.size();
    if (!unit.empty() && unit[0] == 0) {
      // Length-prefixed units arrive as whole samples; anything else that
      // starts with a zero byte is no unit and is dropped.
      hasPending_ = TilesWithLengthPrefixes(unit);
      pendingWhole_ = true;
      if (hasPending_) pending_.assign(unit.begin(), unit.end());
    } else if (!unit.empty()) {
      taken = UnitEnd(unit);
      const auto nal = WithoutTrailingZeros(unit.first(taken));
      pending_.assign(nal.begin(), nal.end());
      hasPending_ = true;
      pendingWhole_ = false;
    }
    pendingMark_ = {};
    result->word[1] = static_cast<int32_t>(taken);
    result->word[4] = auxTaken_ ? 1 : 0;
    auxTaken_ = false;
    if (timingChanged_) result->word[5] |= TLXAVC_RESULT_NEW_TIMING;
    timingChanged_ = false;
    status = WithNotShown(status);
  }
  Notify(produced);
  return status;
}

void AvcInstance::AttachTime(int64_t time) {
  std::lock_guard lock(decodeMutex_);
  if (ignoreMarks_ || !hasPending_) return;
  pendingMark_.time = time;
  pendingMark_.valid = true;
}

void AvcInstance::SetAux(const TlxAvcAuxData& aux) {
  std::lock_guard lock(decodeMutex_);
  if (ignoreMarks_ || !hasPending_ || (aux.timeAttached == 0 && aux.discontinuity == 0)) return;
  pendingMark_.discontinuity |= aux.discontinuity != 0;
  auxTaken_ = true;
}

int32_t AvcInstance::MovePendingToUnit(int* produced) {
  if (!hasPending_) return 0;
  hasPending_ = false;
  const std::span<const uint8_t> nal(pending_);
  // A unit closes only once it holds a slice: parameter sets that come
  // before an access unit delimiter join the picture that follows.
  int32_t status = 0;
  if (unitHasSlice_ && (pendingWhole_ || StartsAccessUnit(nal))) status = DecodeOpenUnit(produced);
  if (unit_.empty()) {
    unitMark_ = pendingMark_;
  } else {
    // A time that comes before the unit's first slice replaces the one of
    // units that held no picture.
    if (pendingMark_.valid && (!unitMark_.valid || !unitHasSlice_)) {
      unitMark_.time = pendingMark_.time;
      unitMark_.valid = true;
    }
    unitMark_.discontinuity |= pendingMark_.discontinuity;
  }
  if (!pendingWhole_) {
    unit_.insert(unit_.end(), std::begin(kStartCode), std::end(kStartCode));
    unit_.insert(unit_.end(), nal.begin(), nal.end());
    unitHasSlice_ |= IsSlice(nal);
    return status;
  }
  for (size_t pos = 0; pos + 4 <= nal.size();) {
    const size_t length = (size_t{nal[pos]} << 24) | (size_t{nal[pos + 1]} << 16) |
                          (size_t{nal[pos + 2]} << 8) | nal[pos + 3];
    if (length == 0) break;
    unit_.insert(unit_.end(), std::begin(kStartCode), std::end(kStartCode));
    unit_.insert(unit_.end(), nal.begin() + pos + 4, nal.begin() + pos + 4 + length);
    pos += 4 + length;
  }
  unitHasSlice_ = true;
  return status < 0 ? status : DecodeOpenUnit(produced);
}

int32_t AvcInstance::DecodeOpenUnit(int* produced) {
  if (unit_.empty()) return 0;
  if (atEnd_) {
    avcodec_flush_buffers(codec_);
    atEnd_ = false;
  }
  if (av_new_packet(packet_, static_cast<int>(unit_.size())) < 0) {
    broken_ = true;
    return TLXAVC_STATUS_FATAL;
  }
  std::memcpy(packet_->data, unit_.data(), unit_.size());
  packet_->pts = nextSequence_;
  marks_[nextSequence_++] = unitMark_;
  while (marks_.size() > kMaxMarks) marks_.erase(marks_.begin());
  unit_.clear();
  unitHasSlice_ = false;
  unitMark_ = {};
  int sent = avcodec_send_packet(codec_, packet_);
  if (sent == AVERROR(EAGAIN)) {
    if (ReceiveFrames(produced) < 0) return TLXAVC_STATUS_FATAL;
    sent = avcodec_send_packet(codec_, packet_);
  }
  av_packet_unref(packet_);
  // Damaged data is concealed by the decoder; only a lack of memory ends it.
  if (sent == AVERROR(ENOMEM)) {
    broken_ = true;
    return TLXAVC_STATUS_FATAL;
  }
  return ReceiveFrames(produced);
}

void AvcInstance::NoteTiming() {
  const AVRational rate = codec_->framerate;
  if (rate.num <= 0 || rate.den <= 0 || (rate.num == framerateNum_ && rate.den == framerateDen_)) return;
  framerateNum_ = rate.num;
  framerateDen_ = rate.den;
  timingChanged_ = true;
  std::lock_guard queueLock(queueMutex_);
  timing_ = {0, framerateDen_, 2 * framerateNum_};
}

int32_t AvcInstance::ReceiveFrames(int* produced) {
  // The decoder knows the timing once it has read a sequence parameter set,
  // which may be well before its first picture comes out.
  NoteTiming();
  for (;;) {
    const int got = avcodec_receive_frame(codec_, frame_);
    if (got == AVERROR(ENOMEM)) {
      broken_ = true;
      return TLXAVC_STATUS_FATAL;
    }
    if (got < 0) return 0;
    UnitMark mark;
    if (auto it = marks_.find(frame_->pts); it != marks_.end()) {
      mark = it->second;
      marks_.erase(it);
    }
    const bool planar420 = frame_->format == AV_PIX_FMT_YUV420P || frame_->format == AV_PIX_FMT_YUVJ420P;
    if (!planar420 || frame_->width <= 0 || frame_->height <= 0) {
      // Other sampling and depths are not shown; the caller hears of it.
      notShown_ = notShown_ || !planar420;
      av_frame_unref(frame_);
      continue;
    }
    auto picture = std::make_unique<Picture>();
    picture->frame = av_frame_alloc();
    if (picture->frame == nullptr || av_frame_ref(picture->frame, frame_) < 0) {
      av_frame_unref(frame_);
      broken_ = true;
      return TLXAVC_STATUS_FATAL;
    }
    av_frame_unref(frame_);
    const AVFrame* f = picture->frame;
    TlxAvcPicture& planes = picture->planes;
    if (PlanesFit(f)) {
      planes.y = f->data[0];
      planes.u = f->data[1];
      planes.v = f->data[2];
      planes.lumaStride = f->linesize[0];
      planes.chromaStride = f->linesize[1];
    } else {
      Repack(f, &picture->repacked, &planes);
    }
    planes.width = f->width;
    planes.height = f->height;
    planes.flags = !f->interlaced_frame ? TLXAVC_PICTURE_PROGRESSIVE
                   : f->top_field_first ? 0
                                        : TLXAVC_PICTURE_BOTTOM_FIRST;
    picture->mark = mark;
    TlxAvcSequenceInfo& sequence = picture->sequence;
    sequence.width = f->width;
    sequence.height = f->height;
    if (f->sample_aspect_ratio.num > 0 && f->sample_aspect_ratio.den > 0) {
      sequence.aspectPresent = 1;
      sequence.aspectIdc = 255;
      sequence.sarWidth = f->sample_aspect_ratio.num;
      sequence.sarHeight = f->sample_aspect_ratio.den;
    }
    std::lock_guard queueLock(queueMutex_);
    picture->number = nextNumber_++;
    queue_.push_back(std::move(picture));
    ++*produced;
  }
}

int32_t AvcInstance::Finalize() {
  int produced = 0;
  int32_t status;
  {
    std::lock_guard lock(decodeMutex_);
    if (broken_) return TLXAVC_STATUS_FATAL;
    status = MovePendingToUnit(&produced);
    if (status >= 0) status = DecodeOpenUnit(&produced);
    status = WithNotShown(status);
  }
  Notify(produced);
  return status;
}

int32_t AvcInstance::Flush() {
  int32_t status;
  {
    std::lock_guard lock(decodeMutex_);
    int produced = 0;
    status = broken_ ? TLXAVC_STATUS_FATAL : MovePendingToUnit(&produced);
    if (status >= 0) status = DecodeOpenUnit(&produced);
    if (status >= 0 && !atEnd_) {
      atEnd_ = true;
      if (avcodec_send_packet(codec_, nullptr) == AVERROR(ENOMEM)) broken_ = true;
      status = broken_ ? TLXAVC_STATUS_FATAL : ReceiveFrames(&produced);
    }
    status = WithNotShown(status < 0 ? TLXAVC_STATUS_FATAL : 0);
    std::lock_guard queueLock(queueMutex_);
    draining_ = true;
  }
  // Called even without a picture, so the output thread sees the drained core.
  if (callback_ != nullptr) callback_(context_);
  return status;
}

int32_t AvcInstance::WithNotShown(int32_t status) {
  if (status < 0 || !notShown_) return status;
  notShown_ = false;
  return status | TLXAVC_STATUS_NOT_SHOWN;
}

void AvcInstance::DropUndecoded() {
  avcodec_flush_buffers(codec_);
  atEnd_ = false;
  hasPending_ = false;
  pendingMark_ = {};
  ignoreMarks_ = false;
  auxTaken_ = false;
  unit_.clear();
  unitHasSlice_ = false;
  unitMark_ = {};
  marks_.clear();
  notShown_ = false;
}

void AvcInstance::Discontinue() {
  std::lock_guard lock(decodeMutex_);
  DropUndecoded();
  std::lock_guard queueLock(queueMutex_);
  draining_ = false;
}

void AvcInstance::Initialize() {
  std::lock_guard lock(decodeMutex_);
  DropUndecoded();
  std::lock_guard queueLock(queueMutex_);
  draining_ = false;
  queue_.clear();
  current_.reset();
}

int32_t AvcInstance::UnpulledCount(int32_t* count) {
  std::lock_guard lock(queueMutex_);
  *count = static_cast<int32_t>(queue_.size());
  return draining_ ? TLXAVC_STATUS_DRAINING : 0;
}

int32_t AvcInstance::DecodeRatio(int32_t* ratio) {
  std::lock_guard lock(queueMutex_);
  *ratio = draining_ || queue_.size() >= 2 ? 100 : 50 * static_cast<int32_t>(queue_.size());
  return 0;
}

int32_t AvcInstance::GetPicture(TlxAvcPictureId* id, TlxAvcPicture* picture, TlxAvcPictureTime* time) {
  std::lock_guard lock(queueMutex_);
  if (queue_.empty()) return TLXAVC_STATUS_NO_PICTURE;
  current_ = std::move(queue_.front());
  queue_.pop_front();
  if (id != nullptr) *id = {current_->number, current_->number};
  if (picture != nullptr) *picture = current_->planes;
  if (time != nullptr) *time = {current_->mark.valid ? 1 : 0, current_->mark.valid ? current_->mark.time : 0};
  return 0;
}

int32_t AvcInstance::ReleasePicture() {
  std::lock_guard lock(queueMutex_);
  current_.reset();
  return 0;
}

int32_t AvcInstance::GetSideInfo(const TlxAvcSideInfoQuery& query, void* answer) {
  std::lock_guard lock(queueMutex_);
  const auto fill = [&](const auto& record) {
    if (query.size < static_cast<int32_t>(sizeof(record))) return TLXAVC_STATUS_BAD_ARGUMENT;
    std::memcpy(answer, &record, sizeof(record));
    return 0;
  };
  if (query.kind == TLXAVC_SIDE_TIMING) {
    if (timing_.denominator == 0) return TLXAVC_STATUS_NO_PICTURE;
    return fill(timing_);
  }
  const Picture* picture = nullptr;
  if (current_ != nullptr && current_->number == query.index) picture = current_.get();
  for (const auto& queued : queue_)
    if (queued->number == query.index) picture = queued.get();
  if (picture == nullptr) return TLXAVC_STATUS_NO_PICTURE;
  switch (query.kind) {
    case TLXAVC_SIDE_SEQUENCE:
      return fill(picture->sequence);
    case TLXAVC_SIDE_CROP:
      return fill(TlxAvcCropInfo{});  // the decoder crops; every picture is shown
    case TLXAVC_SIDE_TIME: {
      TlxAvcTimeInfo info{};
      info.timeValid = picture->mark.valid ? 1 : 0;
      info.discontinuity = picture->mark.discontinuity ? 1 : 0;
      return fill(info);
    }
    default:
      return TLXAVC_STATUS_BAD_ARGUMENT;
  }
}

}  // namespace tlx::avccore

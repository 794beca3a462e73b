#include "aac_decoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mem.h>
}

#include "aaccore/tlxaaccore.h"
#include "audio_specific_config.h"

namespace tlx::aaccore {

void AacDecoder::ContextFree::operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
void AacDecoder::FrameFree::operator()(AVFrame* frame) const { av_frame_free(&frame); }
void AacDecoder::PacketFree::operator()(AVPacket* packet) const { av_packet_free(&packet); }

AacDecoder::AacDecoder() = default;
AacDecoder::~AacDecoder() = default;

bool AacDecoder::Open(int channels, int sampleRate, int sampleBits, int downMix, int reorderCount,
                      const int* order) {
  if (IsOpen() || sampleBits != 16) return false;
  const int outputChannels = downMix > 0 ? downMix : channels;
  std::optional<PcmMixer> mixer = PcmMixer::Create(channels, outputChannels, order, reorderCount);
  std::vector<uint8_t> config = BuildAudioSpecificConfig(channels, sampleRate);
  if (!mixer || config.empty()) return false;

  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
  if (codec == nullptr) return false;
  std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(codec));
  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  if (!context || !frame || !packet) return false;
  context->extradata = static_cast<uint8_t*>(av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (context->extradata == nullptr) return false;
  std::memcpy(context->extradata, config.data(), config.size());
  context->extradata_size = static_cast<int>(config.size());
  context->thread_count = 1;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return false;

  unitCopy_.assign(static_cast<size_t>(channels) * AACDEC_MAX_UNIT_BYTES_PER_CHANNEL + AV_INPUT_BUFFER_PADDING_SIZE,
                   0);
  context_ = std::move(context);
  frame_ = std::move(frame);
  packet_ = std::move(packet);
  mixer_ = std::move(mixer);
  pcm_.assign(static_cast<size_t>(outputChannels) * AACDEC_FRAME_SAMPLES, 0);
  return true;
}

void AacDecoder::Close() {
  context_.reset();
  frame_.reset();
  packet_.reset();
  mixer_.reset();
  unitCopy_.clear();
  pcm_.clear();
}

int AacDecoder::MaxUnitBytes() const { return mixer_->InputChannels() * AACDEC_MAX_UNIT_BYTES_PER_CHANNEL; }

int AacDecoder::FrameBytes() const {
  return mixer_->OutputChannels() * AACDEC_FRAME_SAMPLES * static_cast<int>(sizeof(int16_t));
}

bool AacDecoder::DecodeUnit(const uint8_t* unit, int length, int16_t* frame) {
  if (length <= 0 || length > MaxUnitBytes()) return false;
  // A copy with zeroed padding: the decoder reads ahead of the unit's end,
  // and whatever follows the unit in the caller's memory is not ours.
  std::memcpy(unitCopy_.data(), unit, static_cast<size_t>(length));
  std::memset(unitCopy_.data() + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  packet_->data = unitCopy_.data();
  packet_->size = length;
  int sent = avcodec_send_packet(context_.get(), packet_.get());
  packet_->data = nullptr;
  packet_->size = 0;
  if (sent < 0) return false;
  if (avcodec_receive_frame(context_.get(), frame_.get()) != 0) return false;
  bool good = frame_->nb_samples == AACDEC_FRAME_SAMPLES && frame_->format == AV_SAMPLE_FMT_FLTP &&
              frame_->ch_layout.nb_channels == mixer_->InputChannels();
  if (good) mixer_->Mix(reinterpret_cast<const float* const*>(frame_->extended_data), AACDEC_FRAME_SAMPLES, frame);
  av_frame_unref(frame_.get());
  // One unit gives one frame; should the decoder hold more, they are dropped
  // so that the next unit finds it empty.
  while (avcodec_receive_frame(context_.get(), frame_.get()) == 0) {
    av_frame_unref(frame_.get());
    good = false;
  }
  return good;
}

void AacDecoder::Decode(const uint8_t* unit, int length, uint8_t* frame) {
  if (!DecodeUnit(unit, length, pcm_.data())) std::fill(pcm_.begin(), pcm_.end(), 0);
  std::memcpy(frame, pcm_.data(), static_cast<size_t>(FrameBytes()));
}

}  // namespace tlx::aaccore

// One decoder instance: libavcodec's AAC decoder opened for a stream's
// channel count and rate, and the mixer that makes its output.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "pcm_mixer.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace tlx::aaccore {

class AacDecoder {
 public:
  AacDecoder();
  ~AacDecoder();
  AacDecoder(const AacDecoder&) = delete;
  AacDecoder& operator=(const AacDecoder&) = delete;

  // False for a stream the core does not take (see aaccore/tlxaaccore.h) or
  // when the decoder will not open; the instance then stays closed.
  bool Open(int channels, int sampleRate, int sampleBits, int downMix, int reorderCount, const int* order);
  void Close();
  bool IsOpen() const { return context_ != nullptr; }

  int MaxUnitBytes() const;
  int FrameBytes() const;

  // Decodes `length` bytes as one unit into one frame of FrameBytes() bytes
  // (interleaved native-endian s16, at any alignment); a unit that gives no
  // proper frame gives silence.
  void Decode(const uint8_t* unit, int length, uint8_t* frame);

 private:
  struct ContextFree {
    void operator()(AVCodecContext* context) const;
  };
  struct FrameFree {
    void operator()(AVFrame* frame) const;
  };
  struct PacketFree {
    void operator()(AVPacket* packet) const;
  };

  // True when the decoder gave one frame of the expected shape, mixed into
  // `frame`.
  bool DecodeUnit(const uint8_t* unit, int length, int16_t* frame);

  std::unique_ptr<AVCodecContext, ContextFree> context_;
  std::unique_ptr<AVFrame, FrameFree> frame_;
  std::unique_ptr<AVPacket, PacketFree> packet_;
  std::vector<uint8_t> unitCopy_;  // the unit with the zero padding libavcodec reads past its end
  std::optional<PcmMixer> mixer_;
  std::vector<int16_t> pcm_;  // the frame being made
};

}  // namespace tlx::aaccore

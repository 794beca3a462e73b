#include "stream_types.h"

#include <cstring>
#include <iterator>
#include <numeric>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tlx::mp4source {
namespace {

// The MPEG-4 sampling-frequency index.
constexpr int kAacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
constexpr int kAacLc = 2;
constexpr int kAacSbr = 5;
constexpr int kAacPs = 29;
constexpr unsigned kSyncExtension = 0x2B7;
// The bitmap compression code the live source writes for AVC video.
constexpr DWORD kAvcCompression = MAKEFOURCC('M', 'P', '4', 'S');

// Reads bits from the front of a byte string; past the end it reads zeros
// and says so.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), bits_(size * 8) {}
  unsigned Read(int count) {
    unsigned value = 0;
    for (int i = 0; i < count; ++i, ++position_) {
      unsigned bit = position_ < bits_ ? (data_[position_ / 8] >> (7 - position_ % 8)) & 1 : 0;
      value = (value << 1) | bit;
    }
    return value;
  }
  size_t Left() const { return position_ < bits_ ? bits_ - position_ : 0; }

 private:
  const uint8_t* data_;
  size_t bits_;
  size_t position_ = 0;
};

LONG Clamp(int value) { return value > 0 ? value : 0; }

REFERENCE_TIME FrameDuration(const AVStream& stream) {
  AVRational rate = stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0 ? stream.avg_frame_rate
                                                                                    : stream.r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) return 0;
  return av_rescale(10000000, rate.den, rate.num);
}

}  // namespace

std::optional<AacLcConfig> ParseAacLcConfig(const uint8_t* config, size_t size) {
  if (config == nullptr || size < 2) return std::nullopt;
  BitReader bits(config, size);
  int objectType = static_cast<int>(bits.Read(5));
  unsigned rateIndex = bits.Read(4);
  int channels = static_cast<int>(bits.Read(4));
  if (objectType != kAacLc || rateIndex >= std::size(kAacRates)) return std::nullopt;
  if (channels != 1 && channels != 2 && channels != 6) return std::nullopt;
  bits.Read(3);  // frame length, core coder and extension flags
  // A backward-compatible announcement of SBR or PS makes the stream HE-AAC.
  if (bits.Left() >= 16 && bits.Read(11) == kSyncExtension) {
    int extension = static_cast<int>(bits.Read(5));
    if ((extension == kAacSbr || extension == kAacPs) && bits.Read(1) == 1) return std::nullopt;
  }
  return AacLcConfig{{config[0], config[1]}, kAacRates[rateIndex], channels};
}

CMediaType VideoType(const AVStream& stream, bool annexB) {
  const AVCodecParameters& par = *stream.codecpar;
  const bool avc = annexB && par.codec_id == AV_CODEC_ID_H264;
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetFormatType(&FORMAT_VideoInfo2);
  mt.SetTemporalCompression(TRUE);
  mt.SetVariableSize();
  auto* vih = reinterpret_cast<VIDEOINFOHEADER2*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
  if (vih == nullptr) return CMediaType();
  const LONG width = Clamp(par.width);
  const LONG height = Clamp(par.height);
  vih->rcSource = RECT{0, 0, width, height};
  vih->AvgTimePerFrame = FrameDuration(stream);
  // The picture's shape: its size stretched by the sample aspect.
  AVRational sar = par.sample_aspect_ratio.num > 0 && par.sample_aspect_ratio.den > 0 ? par.sample_aspect_ratio
                                                                                     : AVRational{1, 1};
  int64_t x = int64_t{width} * sar.num;
  int64_t y = int64_t{height} * sar.den;
  int64_t common = std::gcd(x, y);
  if (common > 0) {
    vih->dwPictAspectRatioX = static_cast<DWORD>(x / common);
    vih->dwPictAspectRatioY = static_cast<DWORD>(y / common);
  }
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  vih->bmiHeader.biCompression = avc ? kAvcCompression : par.codec_tag;
  const GUID subtype = avc ? MEDIASUBTYPE_TlxAVC : FourccSubtype(par.codec_tag);
  mt.SetSubtype(&subtype);
  return mt;
}

CMediaType AudioType(const AVStream& stream) {
  const AVCodecParameters& par = *stream.codecpar;
  std::optional<AacLcConfig> aac;
  if (par.codec_id == AV_CODEC_ID_AAC) aac = ParseAacLcConfig(par.extradata, static_cast<size_t>(par.extradata_size));
  CMediaType mt(&MEDIATYPE_Audio);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  mt.SetVariableSize();
  const ULONG extra = aac ? 2 : 0;
  BYTE* block = mt.AllocFormatBuffer(sizeof(WAVEFORMATEX) + extra);
  if (block == nullptr) return CMediaType();
  WAVEFORMATEX wfx{};
  wfx.wFormatTag = aac ? WAVE_FORMAT_TLX_AAC : 0;
  wfx.nChannels = static_cast<WORD>(aac ? aac->channels : Clamp(par.ch_layout.nb_channels));
  wfx.nSamplesPerSec = static_cast<DWORD>(aac ? aac->sampleRate : Clamp(par.sample_rate));
  wfx.wBitsPerSample = 16;
  wfx.nBlockAlign = static_cast<WORD>(wfx.nChannels * wfx.wBitsPerSample / 8);
  wfx.nAvgBytesPerSec = wfx.nBlockAlign * wfx.nSamplesPerSec;
  wfx.cbSize = static_cast<WORD>(extra);
  std::memcpy(block, &wfx, sizeof wfx);
  if (aac) std::memcpy(block + sizeof wfx, aac->bytes, 2);
  const GUID subtype = aac ? MEDIASUBTYPE_TlxAAC : FourccSubtype(par.codec_tag);
  mt.SetSubtype(&subtype);
  return mt;
}

}  // namespace tlx::mp4source

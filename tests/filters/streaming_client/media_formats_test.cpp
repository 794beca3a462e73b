// The pins' media types against golden bytes, the AudioSpecificConfig
// against libavcodec's AAC decoder, which types the pins accept, and the
// buffers and push-source values they ask for.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>

#include "filters/streaming_client/media_formats.h"
#include "filters/streaming_client/streaming_client_filter.h"
#include "filters/streaming_client/tlx_media_subtypes.h"
#include "platform/dshow/graph_fixture.h"

namespace tlx::dshow::test {
namespace {

std::vector<BYTE> FormatBytes(const CMediaType& mt) { return {mt.Format(), mt.Format() + mt.FormatLength()}; }

void PutLe32(std::vector<BYTE>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

TEST(MediaFormats, AudioTypesCarryTheWaveFormatAndTheAudioSpecificConfig) {
  const GUID* subtypes[] = {&MEDIASUBTYPE_RAW_AAC1, &MEDIASUBTYPE_TlxAAC, &MEDIASUBTYPE_TlxAAC};
  // FF 00, 2 channels, 44100, 176400 bytes/s, align 4, 16 bits, cbSize 2, 12 10.
  const std::vector<BYTE> golden{0xFF, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1,
                                 0x02, 0x00, 0x04, 0x00, 0x10, 0x00, 0x02, 0x00, 0x12, 0x10};
  for (int i = 0; i < kPinTypeCount; ++i) {
    CMediaType mt;
    MakeAudioType(i, MakeAacWaveFormat(44100, 2), &mt);
    EXPECT_EQ(mt.majortype, MEDIATYPE_Audio);
    EXPECT_EQ(mt.subtype, *subtypes[i]);
    EXPECT_EQ(mt.formattype, FORMAT_WaveFormatEx);
    EXPECT_EQ(FormatBytes(mt), golden) << i;
    EXPECT_EQ(AudioTypeIndex(mt), i == 2 ? 1 : i) << "the subtype names the index";
  }
}

TEST(MediaFormats, VideoTypesAreTheFixedHeaderBlocks) {
  std::vector<BYTE> mpeg4(94, 0);
  PutLe32(mpeg4, 40, 333333);                 // AvgTimePerFrame
  PutLe32(mpeg4, 52, 320);                    // biWidth
  PutLe32(mpeg4, 56, 240);                    // biHeight
  PutLe32(mpeg4, 64, MAKEFOURCC('m', 'p', '4', 'v'));
  mpeg4[88 + 2] = 0x01;
  mpeg4[88 + 3] = 0xB0;
  std::vector<BYTE> mp4s = mpeg4;
  PutLe32(mp4s, 64, MAKEFOURCC('M', 'P', '4', 'S'));
  std::vector<BYTE> avc(112, 0);
  PutLe32(avc, 8, 320);  // rcSource right
  PutLe32(avc, 12, 240); // rcSource bottom
  PutLe32(avc, 40, 333333);
  PutLe32(avc, 56, 22);
  PutLe32(avc, 60, 15);
  PutLe32(avc, 76, 320);
  PutLe32(avc, 80, 240);
  PutLe32(avc, 88, MAKEFOURCC('M', 'P', '4', 'S'));
  const std::vector<BYTE>* golden[] = {&mpeg4, &mp4s, &avc};
  const GUID* subtypes[] = {&MEDIASUBTYPE_mp4v, &MEDIASUBTYPE_TlxMP4V, &MEDIASUBTYPE_TlxAVC};
  const GUID* formats[] = {&FORMAT_VideoInfo, &FORMAT_VideoInfo, &FORMAT_VideoInfo2};
  for (int i = 0; i < kPinTypeCount; ++i) {
    CMediaType mt;
    MakeVideoType(i, 320, 240, &mt);
    EXPECT_EQ(mt.majortype, MEDIATYPE_Video);
    EXPECT_EQ(mt.subtype, *subtypes[i]);
    EXPECT_EQ(mt.formattype, *formats[i]);
    EXPECT_EQ(FormatBytes(mt), *golden[i]) << i;
    EXPECT_EQ(VideoTypeIndex(mt), i);
  }
}

// Encodes silence with libavcodec's AAC encoder at that rate and channel
// count and decodes the first access unit with `asc` as the decoder's only
// description of the stream; the rate and channels it reports come from it.
void DecodeOneFrame(uint32_t rate, unsigned channels, const uint8_t asc[2], int* decodedRate, int* decodedChannels) {
  const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_AAC);
  const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_AAC);
  ASSERT_TRUE(encoder && decoder);
  AVCodecContext* enc = avcodec_alloc_context3(encoder);
  enc->sample_rate = static_cast<int>(rate);
  av_channel_layout_default(&enc->ch_layout, static_cast<int>(channels));
  enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
  enc->bit_rate = 64000;
  ASSERT_EQ(avcodec_open2(enc, encoder, nullptr), 0);
  AVFrame* frame = av_frame_alloc();
  frame->nb_samples = enc->frame_size;
  frame->format = enc->sample_fmt;
  av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
  av_frame_get_buffer(frame, 0);
  AVPacket* packet = av_packet_alloc();
  bool havePacket = false;
  for (int i = 0; i < 8 && !havePacket; ++i) {
    av_frame_make_writable(frame);
    for (int c = 0; c < static_cast<int>(channels); ++c) std::memset(frame->data[c], 0, enc->frame_size * sizeof(float));
    frame->pts = i * enc->frame_size;
    avcodec_send_frame(enc, frame);
    havePacket = avcodec_receive_packet(enc, packet) == 0;
  }
  if (!havePacket) {
    avcodec_send_frame(enc, nullptr);
    havePacket = avcodec_receive_packet(enc, packet) == 0;
  }
  ASSERT_TRUE(havePacket);
  AVCodecContext* dec = avcodec_alloc_context3(decoder);
  dec->extradata = static_cast<uint8_t*>(av_mallocz(2 + AV_INPUT_BUFFER_PADDING_SIZE));
  std::memcpy(dec->extradata, asc, 2);
  dec->extradata_size = 2;
  ASSERT_EQ(avcodec_open2(dec, decoder, nullptr), 0);
  AVFrame* decoded = av_frame_alloc();
  ASSERT_EQ(avcodec_send_packet(dec, packet), 0);
  ASSERT_EQ(avcodec_receive_frame(dec, decoded), 0);
  *decodedRate = decoded->sample_rate;
  *decodedChannels = decoded->ch_layout.nb_channels;
  av_frame_free(&decoded);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&dec);
  avcodec_free_context(&enc);
}

TEST(MediaFormats, EveryRateAndChannelCountDecodesAsItSays) {
  const uint32_t rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
  const struct {
    uint32_t rate;
    unsigned channels;
    uint8_t bytes[2];
  } known[] = {{16000, 1, {0x14, 0x08}}, {24000, 2, {0x13, 0x10}}, {44100, 2, {0x12, 0x10}}, {48000, 2, {0x11, 0x90}}};
  for (const auto& k : known) {
    uint8_t asc[2];
    MakeAudioSpecificConfig(k.rate, k.channels, asc);
    EXPECT_EQ(asc[0], k.bytes[0]) << k.rate;
    EXPECT_EQ(asc[1], k.bytes[1]) << k.rate;
  }
  for (uint32_t rate : rates) {
    for (unsigned channels : {1u, 2u}) {
      SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(channels) + " channels");
      uint8_t asc[2];
      MakeAudioSpecificConfig(rate, channels, asc);
      int decodedRate = 0, decodedChannels = 0;
      DecodeOneFrame(rate, channels, asc, &decodedRate, &decodedChannels);
      EXPECT_EQ(decodedRate, static_cast<int>(rate));
      EXPECT_EQ(decodedChannels, static_cast<int>(channels));
    }
  }
  EXPECT_EQ(AacSampleRateIndex(22000), -1);
}

// The pins of a filter made for the test.
class Pins : public ::testing::Test {
 protected:
  void SetUp() override {
    HRESULT hr = S_OK;
    source = static_cast<CStreamingClientFilter*>(CStreamingClientFilter::CreateInstance(nullptr, &hr));
    filter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
  }
  CStreamingClientFilter* source = nullptr;
  ComPtr<IBaseFilter> filter;
};

TEST_F(Pins, EnumerationEndsAfterThreeTypesAndOnlyTheirKindIsAccepted) {
  for (TlxStreamPin* pin : {static_cast<TlxStreamPin*>(source->AudioPin()), static_cast<TlxStreamPin*>(source->VideoPin())}) {
    CMediaType mt;
    EXPECT_EQ(pin->GetMediaType(3, &mt), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(pin->GetMediaType(-1, &mt), VFW_S_NO_MORE_ITEMS);
    for (int i = 0; i < kPinTypeCount; ++i) {
      ASSERT_EQ(pin->GetMediaType(i, &mt), S_OK);
      EXPECT_EQ(pin->CheckMediaType(&mt), S_OK);
      CMediaType noFormat = mt;
      noFormat.ResetFormatBuffer();
      EXPECT_NE(pin->CheckMediaType(&noFormat), S_OK) << "a type without a format block";
      CMediaType otherSubtype = mt;
      otherSubtype.SetSubtype(&MEDIASUBTYPE_PCM);
      EXPECT_NE(pin->CheckMediaType(&otherSubtype), S_OK);
    }
    CMediaType other;
    (pin->IsAudio() ? source->VideoPin() : static_cast<TlxStreamPin*>(source->AudioPin()))->GetMediaType(0, &other);
    EXPECT_NE(pin->CheckMediaType(&other), S_OK) << "the other medium";
  }
}

TEST_F(Pins, BuffersAndPushSourceValues) {
  // An allocator that grants less than asked.
  class Stingy : public CMemAllocator {
   public:
    explicit Stingy(HRESULT* hr) : CMemAllocator("stingy", nullptr, hr) {}
    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
      ALLOCATOR_PROPERTIES less = *request;
      less.cbBuffer /= 2;
      return CMemAllocator::SetProperties(&less, actual);
    }
  };
  HRESULT hr = S_OK;
  for (TlxStreamPin* pin : {static_cast<TlxStreamPin*>(source->AudioPin()), static_cast<TlxStreamPin*>(source->VideoPin())}) {
    auto* stingy = new Stingy(&hr);
    stingy->NonDelegatingAddRef();
    ALLOCATOR_PROPERTIES request{};
    EXPECT_EQ(pin->DecideBufferSize(stingy, &request), E_FAIL);
    stingy->NonDelegatingRelease();
    auto* fair = new CMemAllocator("fair", nullptr, &hr);
    fair->NonDelegatingAddRef();
    EXPECT_EQ(pin->DecideBufferSize(fair, &request), S_OK);
    ALLOCATOR_PROPERTIES actual{};
    fair->GetProperties(&actual);
    EXPECT_EQ(actual.cBuffers, 4);
    EXPECT_EQ(actual.cbBuffer, pin->IsAudio() ? 20496 : 0x80010);
    fair->NonDelegatingRelease();

    ComPtr<IPin> asPin = PinOf(filter.Get(), pin->IsAudio() ? u"1" : u"2");
    ComPtr<IAMPushSource> push = asPin.As<IAMPushSource>(IID_IAMPushSource);
    ASSERT_TRUE(push);
    EXPECT_FALSE(asPin.As<IAMLatency>(IID_IAMLatency)) << "not IAMLatency alone";
    REFERENCE_TIME latency = -1, offset = 0;
    ULONG flags = 99;
    EXPECT_EQ(push->GetLatency(&latency), S_OK);
    EXPECT_EQ(latency, 0);
    EXPECT_EQ(push->GetPushSourceFlags(&flags), S_OK);
    EXPECT_EQ(flags, pin->IsAudio() ? 2u : 0u);
    EXPECT_EQ(push->SetPushSourceFlags(7), S_OK);
    EXPECT_EQ(push->SetMaxStreamOffset(123456), S_OK);
    EXPECT_EQ(push->GetMaxStreamOffset(&offset), S_OK);
    EXPECT_EQ(offset, 123456);
  }
}

TEST_F(Pins, FormatsFollowTheQualityRecordWithinTheirLimits) {
  TlxQualityParam q{};
  q.asr = 24000;
  q.afl = 0;
  q.present = 1u << 9 | 1u << 10;
  source->AudioPin()->SetFormat(q);
  EXPECT_EQ(source->AudioPin()->FrameDuration(), 426660);
  CMediaType mt;
  source->AudioPin()->GetMediaType(0, &mt);
  EXPECT_EQ(reinterpret_cast<const WAVEFORMATEX*>(mt.Format())->nChannels, 1) << "afl without the stereo bit";
  q.asr = 44100;
  q.present = 1u << 9;
  source->AudioPin()->SetFormat(q);
  EXPECT_EQ(source->AudioPin()->FrameDuration(), 232190);
  source->AudioPin()->GetMediaType(0, &mt);
  EXPECT_EQ(reinterpret_cast<const WAVEFORMATEX*>(mt.Format())->nChannels, 1) << "absent items keep their value";

  const struct {
    uint32_t vfr;
    REFERENCE_TIME duration;
  } rates[] = {{30, 333333}, {15, 666666}, {2, 2500000}, {60, 333333}, {4, 2500000}};
  for (const auto& r : rates) {
    TlxQualityParam v{};
    v.vfr = r.vfr;
    v.present = 1u << 2;
    source->VideoPin()->SetFormat(v);
    EXPECT_EQ(source->VideoPin()->FrameDuration(), r.duration) << r.vfr;
  }
  EXPECT_EQ(source->VideoPin()->Width(), 320) << "absent size keeps the default";
}

}  // namespace
}  // namespace tlx::dshow::test

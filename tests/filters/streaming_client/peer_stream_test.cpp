// The source and two decryptors against the test peer: the tunnel and the
// requests byte for byte, the events, and the samples the renderers get
// against the fixtures the peer streamed.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>
#include <map>

#include "platform/rtsp/peer/peer_record.h"
#include "source_graph.h"

namespace tlx::dshow::test {
namespace {

using tlx::test::PeerProcess;

std::string Bytes(const ReceivedSample& s) { return std::string(s.bytes.begin(), s.bytes.end()); }

std::vector<PeerEvent> Record(const PeerProcess& peer, const std::string& kind) {
  return PeerEvents(peer.RecordLines(), kind);
}

// The stamps the peer sent for one medium, in order.
std::vector<long long> SentStamps(const PeerProcess& peer, const std::string& medium) {
  std::vector<long long> stamps;
  for (const PeerEvent& e : Record(peer, "frame")) {
    if (e["medium"] == medium) stamps.push_back(e.number("stamp"));
  }
  return stamps;
}

// Decodes access units with libavcodec and returns every picture or block of
// PCM as bytes (planes in order); `extradata` describes the stream when the
// units do not.
std::vector<std::string> Decode(AVCodecID id, const std::vector<std::string>& units,
                                const std::string& extradata = "") {
  std::vector<std::string> out;
  const AVCodec* codec = avcodec_find_decoder(id);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->thread_count = 1;
  if (!extradata.empty()) {
    ctx->extradata = static_cast<uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(ctx->extradata, extradata.data(), extradata.size());
    ctx->extradata_size = static_cast<int>(extradata.size());
  }
  if (avcodec_open2(ctx, codec, nullptr) != 0) return out;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&] {
    while (avcodec_receive_frame(ctx, frame) == 0) {
      std::string bytes;
      for (int p = 0; p < AV_NUM_DATA_POINTERS && frame->data[p] != nullptr; ++p) {
        const bool audio = ctx->codec_type == AVMEDIA_TYPE_AUDIO;
        const int rows = audio ? 1 : (p == 0 ? frame->height : (frame->height + 1) / 2);
        const int width = audio ? frame->nb_samples * av_get_bytes_per_sample(ctx->sample_fmt)
                                : (p == 0 ? frame->width : (frame->width + 1) / 2);
        for (int y = 0; y < rows; ++y) bytes.append(reinterpret_cast<const char*>(frame->data[p] + y * frame->linesize[p]), width);
      }
      out.push_back(std::move(bytes));
    }
  };
  for (const std::string& unit : units) {
    av_new_packet(packet, static_cast<int>(unit.size()));
    std::memcpy(packet->data, unit.data(), unit.size());
    avcodec_send_packet(ctx, packet);
    av_packet_unref(packet);
    drain();
  }
  avcodec_send_packet(ctx, nullptr);
  drain();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&ctx);
  return out;
}

TEST(PeerStream, DecryptedSamplesEqualTheFixturesWithTheirTimes) {
  for (const StreamMedia* media : {&kMpeg4Media, &kAvcMedia}) {
    SCOPED_TRACE(media->video);
    PeerProcess peer(StreamScenario(*media));
    ASSERT_TRUE(peer.running()) << peer.error();
    SourceGraph g(true, true, media->videoTypeIndex);
    g.Use(*media, peer.port());
    ASSERT_EQ(g.Run(), S_OK);
    ASSERT_TRUE(g.WaitForEnd(g.renderers[0], 20000));
    ASSERT_TRUE(g.WaitForEnd(g.renderers[1], 20000));
    ASSERT_EQ(g.Stop(), S_OK);

    const auto video = Packets(Fixture(media->video));
    const auto audio = Packets(Fixture(media->audio));
    const auto videoSamples = g.renderers[1]->Samples();
    const auto audioSamples = g.renderers[0]->Samples();
    ASSERT_EQ(videoSamples.size(), video.size());
    ASSERT_EQ(audioSamples.size(), audio.size());
    for (size_t i = 0; i < video.size(); ++i) EXPECT_TRUE(Bytes(videoSamples[i]) == video[i]) << "video " << i;
    for (size_t i = 0; i < audio.size(); ++i) EXPECT_TRUE(Bytes(audioSamples[i]) == audio[i].substr(7)) << "audio " << i;

    // Decoded, they give what the fixture files give; the audio described
    // only by the AudioSpecificConfig of the pin's format.
    std::vector<std::string> videoUnits, audioUnits;
    for (const auto& s : videoSamples) videoUnits.push_back(Bytes(s));
    for (const auto& s : audioSamples) audioUnits.push_back(Bytes(s));
    const AVCodecID videoCodec = std::string(media->codec) == "avc" ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
    const auto pictures = Decode(videoCodec, videoUnits);
    EXPECT_FALSE(pictures.empty());
    EXPECT_TRUE(pictures == Decode(videoCodec, video));
    AM_MEDIA_TYPE audioType;
    ASSERT_EQ(PinOf(g.sourceFilter.Get(), u"1")->ConnectionMediaType(&audioType), S_OK);
    ASSERT_EQ(audioType.cbFormat, 20u);
    const std::string asc(reinterpret_cast<const char*>(audioType.pbFormat) + 18, 2);
    FreeMediaType(audioType);
    const auto pcm = Decode(AV_CODEC_ID_AAC, audioUnits, asc);
    EXPECT_EQ(pcm.size(), audio.size());
    EXPECT_TRUE(pcm == Decode(AV_CODEC_ID_AAC, audio));

    // Times: the stamps in 100-ns units, offset by one constant for both pins.
    const auto videoStamps = SentStamps(peer, "video");
    const auto audioStamps = SentStamps(peer, "audio");
    ASSERT_EQ(videoStamps.size(), video.size());
    ASSERT_EQ(audioStamps.size(), audio.size());
    const REFERENCE_TIME offset = videoSamples[0].start - videoStamps[0] * 10000;
    EXPECT_GE(offset, 0);
    for (size_t i = 0; i < video.size(); ++i) {
      EXPECT_EQ(videoSamples[i].start - videoStamps[i] * 10000, offset) << "video " << i;
      EXPECT_EQ(videoSamples[i].stop - videoSamples[i].start, 333333);
    }
    const REFERENCE_TIME audioDuration = media->rate == 24000 ? 426660 : 232190;
    for (size_t i = 0; i < audio.size(); ++i) {
      EXPECT_EQ(audioSamples[i].start - audioStamps[i] * 10000, offset) << "audio " << i;
      EXPECT_EQ(audioSamples[i].stop - audioSamples[i].start, audioDuration);
      EXPECT_EQ(audioSamples[i].mediaStart % 2, 0) << "no marker frames";
    }
  }
}

TEST(PeerStream, TheTunnelRequestsAndEventsAreThoseOfTheSystem) {
  PeerProcess peer(StreamScenario(kMpeg4Media, R"(, "end": "hold")"));
  ASSERT_TRUE(peer.running()) << peer.error();
  SourceGraph g;
  g.Use(kMpeg4Media, peer.port());
  ASSERT_EQ(g.Run(), S_OK);
  EXPECT_EQ(g.source->Session()->clientPorts(), (std::vector<unsigned short>{5024, 5026}));
  ASSERT_TRUE(g.WaitForEvent(EC_TLX_STATISTICS, 3000));
  ASSERT_EQ(g.Stop(), S_OK);
  // The last event was raised before Stop returned; the test's event loop
  // may not have taken it from the graph yet.
  ASSERT_TRUE(g.WaitForEvent(EC_TLX_STOP_END, 2000));

  const std::string port = std::to_string(peer.port());
  const std::string ua = "User-Agent: TLXStreamingClient\r\n";
  std::map<std::string, std::string> tunnels;  // kind -> connection
  for (const PeerEvent& e : Record(peer, "tunnel")) tunnels[e["kind"]] = e["conn"];
  ASSERT_EQ(tunnels.size(), 2u);
  // Each connection: its digest message (challenged, then authorised, on the
  // first), then the tunnel request.
  const std::map<std::string, std::vector<std::string>> expected{
      {"get", {"GET /ravix/message0", "GET /ravix/message0", "GET /connect"}},
      {"post", {"GET /ravix/message1", "POST /connect"}}};
  for (const auto& [kind, conn] : tunnels) {
    std::vector<std::string> requests;
    for (const PeerEvent& e : Record(peer, "request")) {
      if (e["conn"] == conn) requests.push_back(e["method"] + " " + e["target"]);
    }
    EXPECT_EQ(requests, expected.at(kind)) << kind;
  }
  std::string getHead, postHead;
  for (const PeerEvent& e : Record(peer, "recv")) {
    (e["conn"] == tunnels["get"] ? getHead : postHead) += FromHex(e["data_hex"]);
  }
  const std::string common = "HOST: 127.0.0.1 \r\n" + ua + "X-SessionCookie: 0\r\n";
  EXPECT_NE(getHead.find("GET /connect HTTP/1.0\r\n" + common +
                         "Accept: application/x-rtsp-rtp-interleaved\r\nPragma:no-cache\r\nCache-control:no-cache\r\n\r\n"),
            std::string::npos);
  EXPECT_NE(postHead.find("POST /connect HTTP/1.0\r\n" + common +
                          "Content-Type: application/x-rtsp-rtp-interleaved\r\nPragma:no-cache\r\n"
                          "Cache-control:no-cache\r\nContent-Length:32767\r\nExpires: Sun, 9 Jan 1972 00:00:00 GMT\r\n\r\n"),
            std::string::npos);

  const auto requests = Record(peer, "rtsp_request");
  ASSERT_EQ(requests.size(), 5u);
  const std::string url = "rtsp://127.0.0.1:" + port + "/DSP/" + kMpeg4Media.quality + "/";
  EXPECT_EQ(requests[0]["text"], "DESCRIBE " + url + " RTSP/1.0\r\nCSeq: 1\r\nAccept: application/sdp\r\n" + ua + "\r\n");
  EXPECT_NE(requests[1]["text"].find("SETUP " + url + "trackID=1 RTSP/1.0\r\n"), std::string::npos);
  EXPECT_NE(requests[1]["text"].find("interleaved=0-1"), std::string::npos);
  EXPECT_NE(requests[2]["text"].find("SETUP " + url + "trackID=2 RTSP/1.0\r\n"), std::string::npos);
  EXPECT_NE(requests[2]["text"].find("interleaved=2-3\r\nSession: "), std::string::npos);
  EXPECT_EQ(requests[3]["method"], "PLAY");
  EXPECT_EQ(requests[4]["method"], "TEARDOWN");

  EXPECT_EQ(g.EventCodes(), (std::vector<long>{EC_TLX_CONNECT_BEGIN, EC_TLX_AUTH_BEGIN, EC_TLX_AUTH_END,
                                               EC_TLX_CONNECT_END, EC_TLX_FRAME_WAIT, EC_TLX_FRAME_READY,
                                               EC_TLX_STOP_BEGIN, EC_TLX_STOP_END}));
  const auto codes = g.EventCodes(true);
  const auto firstStatistics = std::find(codes.begin(), codes.end(), EC_TLX_STATISTICS);
  ASSERT_NE(firstStatistics, codes.end());
  EXPECT_GT(firstStatistics - codes.begin(), 5) << "statistics come after the frame wait";
}

}  // namespace
}  // namespace tlx::dshow::test

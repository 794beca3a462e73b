// The source and two decryptors against the test peer: the tunnel and the
// requests byte for byte, the events, and the samples the renderers get
// against the fixtures the peer streamed.
#include <gtest/gtest.h>

#include <map>

#include "../../platform/rtsp/peer/peer_record.h"
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

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "peer_record.h"
#include "stream_fixtures.h"
#include "support/peer_process.h"
#include "tunnel_session.h"
#include "utility/tlx_utility.h"

namespace {

using Clock = std::chrono::steady_clock;
using tlx::test::PeerProcess;

const char* kKeyHex = "00112233445566778899aabbccddeeff";
const std::string kPath24 =
    "DSP/vbr=500000.vmbr=850000.vfr=30.vw=320.vh=240.vtype=2.vfl=273.abr=48000.ambr=48000.asr=24000.afl=1810./";
const std::string kPath44 =
    "DSP/vbr=3000000.vmbr=3000000.vfr=30.vw=320.vh=240.vtype=3.vfl=273.abr=128000.ambr=128000.asr=44100.afl=1810./";

std::string Sha256Hex(const std::string& data) {
  unsigned char digest[32];
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
  static const char* hex = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < length; ++i) {
    text.push_back(hex[digest[i] >> 4]);
    text.push_back(hex[digest[i] & 15]);
  }
  return text;
}

// Decrypts the head of a payload the way the stream is encrypted.
std::string DecryptHead(std::string payload) {
  unsigned char key[16];
  for (int i = 0; i < 16; ++i) key[i] = static_cast<unsigned char>(std::strtol(std::string(kKeyHex + 2 * i, 2).c_str(), nullptr, 16));
  const int n = static_cast<int>(std::min<size_t>(payload.size() / 16, 8) * 16);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_DecryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, key, nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int out = 0;
  auto* data = reinterpret_cast<unsigned char*>(payload.data());
  EVP_DecryptUpdate(ctx, data, &out, data, n);
  EVP_CIPHER_CTX_free(ctx);
  return payload;
}

uint32_t StampOf(const std::string& frame) {
  return static_cast<uint8_t>(frame[8]) | static_cast<uint8_t>(frame[9]) << 8 |
         static_cast<uint8_t>(frame[10]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(frame[11])) << 24;
}

struct Media {
  std::string video;
  std::string codec;
  std::string audio;
  int rate;
  const std::string* path;
};
const Media kMpeg4{"video.m4v", "mpeg4", "audio_24000.aac", 24000, &kPath24};
const Media kAvc{"video.h264", "avc", "audio_44100.aac", 44100, &kPath44};

std::string Scenario(const Media& media, const std::string& extra = "") {
  return R"({"services": {"http": {"stream": {"media": {"video": ")" + Fixture(media.video) +
         R"(", "video_codec": ")" + media.codec + R"(", "audio": ")" + Fixture(media.audio) +
         R"("}, "key": ")" + kKeyHex + "\"" + extra + "}}}}";
}

// The frames the peer recorded for one medium, in order.
std::vector<PeerEvent> SentFrames(const PeerProcess& peer, const std::string& medium) {
  std::vector<PeerEvent> frames;
  for (PeerEvent& e : PeerEvents(peer.RecordLines(), "frame")) {
    if (e["medium"] == medium) frames.push_back(std::move(e));
  }
  return frames;
}

TEST(StreamFromPeer, FramesArriveWholeWithTheDocumentsRequestsAndStamps) {
  for (const Media* media : {&kMpeg4, &kAvc}) {
    PeerProcess peer(Scenario(*media));
    ASSERT_TRUE(peer.running()) << peer.error();
    const auto videoPackets = Packets(Fixture(media->video));
    const auto audioPackets = Packets(Fixture(media->audio));
    TunnelSession s;
    ASSERT_TRUE(s.start(peer.port(), *media->path)) << s.error();
    ASSERT_TRUE(s.waitForFrames(static_cast<int>(audioPackets.size()), static_cast<int>(videoPackets.size()), 20000));
    s.stop();

    // The requests, byte-exact as the peer decoded them.
    const std::string url = "rtsp://127.0.0.1:" + std::to_string(peer.port()) + "/" + *media->path;
    const std::string ua = "User-Agent: TLXStreamingClient\r\n";
    std::vector<PeerEvent> requests;
    for (int tries = 0; tries < 200; ++tries) {
      requests = PeerEvents(peer.RecordLines(), "rtsp_request");
      if (requests.size() == 5) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(requests.size(), 5u);
    const std::string session = s.client->sessionId();
    EXPECT_EQ(requests[0]["text"], "DESCRIBE " + url + " RTSP/1.0\r\nCSeq: 1\r\nAccept: application/sdp\r\n" + ua + "\r\n");
    EXPECT_EQ(requests[1]["text"], "SETUP " + url + "trackID=1 RTSP/1.0\r\nCSeq: 2\r\n"
              "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n" + ua + "\r\n");
    EXPECT_EQ(requests[2]["text"], "SETUP " + url + "trackID=2 RTSP/1.0\r\nCSeq: 3\r\n"
              "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\nSession: " + session + "\r\n" + ua + "\r\n");
    EXPECT_EQ(requests[3]["text"], "PLAY " + url + " RTSP/1.0\r\nCSeq: 4\r\nSession: " + session +
              "\r\nRange: npt=0.000-\r\n" + ua + "\r\n");
    EXPECT_EQ(requests[4]["text"], "TEARDOWN " + url + " RTSP/1.0\r\nCSeq: 5\r\nSession: " + session + "\r\n" + ua + "\r\n");

    // Audio, then video, with the description's values.
    auto& subsessions = s.session->subsessions();
    ASSERT_EQ(subsessions.size(), 2u);
    EXPECT_STREQ(subsessions[0]->mediumName(), "audio");
    EXPECT_EQ(subsessions[0]->rtpTimestampFrequency(), static_cast<unsigned>(media->rate));
    EXPECT_EQ(subsessions[0]->numChannels(), 2u);
    EXPECT_STREQ(subsessions[1]->mediumName(), "video");
    EXPECT_STREQ(subsessions[1]->codecName(), media->codec == "avc" ? "X-TLX-AVC" : "MP4V-ES");
    EXPECT_EQ(subsessions[1]->videoWidth(), 320);
    EXPECT_EQ(subsessions[1]->videoHeight(), 240);

    // Every frame as sent, and once unwrapped the fixture's packet.
    struct Stream {
      const char* medium;
      FrameSink* sink;
      const std::vector<std::string>* packets;
    } streams[] = {{"audio", s.sinks[0].get(), &audioPackets}, {"video", s.sinks[1].get(), &videoPackets}};
    for (const Stream& stream : streams) {
      const auto sent = SentFrames(peer, stream.medium);
      ASSERT_EQ(stream.sink->frames.size(), stream.packets->size()) << stream.medium;
      ASSERT_EQ(sent.size(), stream.packets->size()) << stream.medium;
      for (size_t i = 0; i < sent.size(); ++i) {
        const auto& frame = stream.sink->frames[i];
        EXPECT_EQ(frame.truncated, 0u);
        EXPECT_EQ(static_cast<long long>(frame.data.size()), sent[i].number("size")) << stream.medium << i;
        EXPECT_EQ(Sha256Hex(frame.data), sent[i]["sha256"]) << stream.medium << i;
        ASSERT_GE(frame.data.size(), 12u);
        const uint32_t stamp = std::string(stream.medium) == "audio" ? i * 1024 * 1000 / media->rate : i * 1000 / 30;
        EXPECT_EQ(StampOf(frame.data), stamp) << stream.medium << i;
        EXPECT_TRUE(DecryptHead(frame.data.substr(12)) == (*stream.packets)[i]) << stream.medium << i;
      }
    }
  }
}

// Runs one scenario row to its end (SR + BYE on both streams) and returns
// the session for checks.
std::unique_ptr<TunnelSession> RunToEnd(PeerProcess& peer, const Media& media) {
  auto s = std::make_unique<TunnelSession>();
  if (!s->start(peer.port(), *media.path)) {
    ADD_FAILURE() << s->error();
    return nullptr;
  }
  const auto until = Clock::now() + std::chrono::seconds(20);
  while ((s->byes[0] == 0 || s->byes[1] == 0) && Clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  s->stop();
  return s;
}

TEST(StreamFromPeer, LeftOutPacketsLoseExactlyTheFramesThatHeldThem) {
  PeerProcess peer(Scenario(kMpeg4, R"(, "faults": {"drop_packets": {"video": [5, 6]}})"));
  ASSERT_TRUE(peer.running()) << peer.error();
  auto s = RunToEnd(peer, kMpeg4);
  ASSERT_TRUE(s);
  std::set<long long> broken;
  for (const PeerEvent& e : PeerEvents(peer.RecordLines(), "rtp")) {
    if (e["medium"] == "video" && e["dropped"] == "true") broken.insert(e.number("frame"));
  }
  ASSERT_FALSE(broken.empty());
  std::vector<std::string> expected;
  for (const PeerEvent& e : SentFrames(peer, "video")) {
    if (broken.count(e.number("index")) == 0) expected.push_back(e["sha256"]);
  }
  std::vector<std::string> got;
  for (const auto& f : s->sinks[1]->frames) got.push_back(Sha256Hex(f.data));
  EXPECT_EQ(got, expected);
  EXPECT_EQ(s->sinks[0]->frames.size(), SentFrames(peer, "audio").size()) << "audio is untouched";
}

TEST(StreamFromPeer, ByeOnAudioEndsAudioOnlyAndIsReportedOnce) {
  PeerProcess peer(Scenario(kMpeg4, R"(, "end": "hold", "faults": {"bye_after_frames": {"audio": 10}})"));
  ASSERT_TRUE(peer.running()) << peer.error();
  TunnelSession s;
  ASSERT_TRUE(s.start(peer.port(), *kMpeg4.path)) << s.error();
  ASSERT_TRUE(s.waitForFrames(10, 60, 20000));
  s.stop();
  EXPECT_EQ(s.byes[0].load(), 1);
  EXPECT_EQ(s.byes[1].load(), 0);
  EXPECT_EQ(s.sinks[0]->frames.size(), 10u);
  EXPECT_EQ(s.sinks[1]->frames.size(), 60u) << "video goes on";
}

TEST(StreamFromPeer, DeliveryIsTheSameWhateverTheWritesAndCountsMatchThePeer) {
  struct Row {
    const char* name;
    std::string extra;
  } rows[] = {
      {"plain", ""},
      {"one-byte writes", R"(, "faults": {"one_byte_writes": true})"},
      {"frames before the PLAY response", R"(, "faults": {"before_response": {"PLAY": "frames", "SETUP": "garbage"}})"},
  };
  for (const Row& row : rows) {
    PeerProcess peer(Scenario(kMpeg4, row.extra));
    ASSERT_TRUE(peer.running()) << peer.error();
    auto s = RunToEnd(peer, kMpeg4);
    ASSERT_TRUE(s);
  ASSERT_TRUE(s);
    for (int i = 0; i < 2; ++i) {
      const char* medium = i == 0 ? "audio" : "video";
      const auto sent = SentFrames(peer, medium);
      ASSERT_EQ(s->sinks[i]->frames.size(), sent.size()) << row.name << " " << medium;
      for (size_t k = 0; k < sent.size(); ++k) {
        EXPECT_EQ(Sha256Hex(s->sinks[i]->frames[k].data), sent[k]["sha256"]) << row.name << medium << k;
      }
      // The peer's packet and byte counts are what the statistics saw.
      long long packets = 0, bytes = 0;
      for (const PeerEvent& e : PeerEvents(peer.RecordLines(), "rtp")) {
        if (e["medium"] == medium) {
          ++packets;
          bytes += e.number("payload_size");
        }
      }
      RTPReceptionStatsDB::Iterator it(s->session->subsessions()[i]->rtpSource()->receptionStatsDB());
      RTPReceptionStats* stats = it.next();
      ASSERT_NE(stats, nullptr);
      EXPECT_EQ(stats->totNumPacketsReceived(), packets) << row.name << medium;
      EXPECT_EQ(stats->totNumPacketsExpected(), packets) << row.name << medium;
      EXPECT_DOUBLE_EQ(stats->totNumKBytesReceived(), bytes / 1000.0) << row.name << medium;
      EXPECT_GE(s->session->subsessions()[i]->rtcpInstance()->numSenderReports(), 1u);
    }
  }
}

TEST(StreamFromPeer, WithoutInBandHeaderFramesStartWithThePayload) {
  PeerProcess peer(Scenario(kMpeg4, R"(, "inband_header": false)"));
  ASSERT_TRUE(peer.running()) << peer.error();
  auto s = RunToEnd(peer, kMpeg4);
  ASSERT_TRUE(s);
  const auto packets = Packets(Fixture(kMpeg4.video));
  ASSERT_EQ(s->sinks[1]->frames.size(), packets.size());
  for (size_t i = 0; i < packets.size(); ++i) EXPECT_TRUE(DecryptHead(s->sinks[1]->frames[i].data) == packets[i]) << i;
}

TEST(StreamFromPeer, MalformedPacketsAndUnknownChannelsAreDroppedAndCounted) {
  PeerProcess peer(Scenario(kMpeg4, R"(, "faults": {"malformed": [
      {"after_frame": 2, "kind": "rtp_version"}, {"after_frame": 3, "kind": "rtp_short"},
      {"after_frame": 4, "kind": "rtp_padding"}, {"after_frame": 5, "kind": "rtp_foreign_type"},
      {"after_frame": 6, "kind": "rtcp_length"}, {"after_frame": 7, "kind": "rtcp_version"},
      {"after_frame": 8, "kind": "unknown_channel"}]})"));
  ASSERT_TRUE(peer.running()) << peer.error();
  auto s = RunToEnd(peer, kMpeg4);
  ASSERT_TRUE(s);
  const auto sent = SentFrames(peer, "video");
  ASSERT_EQ(s->sinks[1]->frames.size(), sent.size());
  for (size_t k = 0; k < sent.size(); ++k) EXPECT_EQ(Sha256Hex(s->sinks[1]->frames[k].data), sent[k]["sha256"]) << k;
  auto& video = *s->session->subsessions()[1];
  EXPECT_EQ(video.rtpSource()->numMalformedPackets(), 4u);
  EXPECT_EQ(video.rtcpInstance()->numMalformedPackets(), 2u);
  EXPECT_EQ(s->client->demux().unboundFrames(), 1u);
}

// The response waits: time-out, abort and refusals.
struct Waiting {
  explicit Waiting(const std::string& answers) : peer(Scenario(kMpeg4, R"(, "faults": {"answers": )" + answers + "}")) {}
  bool open() {
    client = std::make_unique<TunnelClient>(*t.env);
    return client->open(peer.port());
  }
  std::string url() const { return "rtsp://127.0.0.1:" + std::to_string(peer.port()) + "/" + kPath24; }
  PeerProcess peer;
  TestEnvironment t;
  std::unique_ptr<TunnelClient> client;
};

TEST(ResponseWait, EndsAtItsTimeOut) {
  Waiting w(R"({"DESCRIBE": {"do": "silence"}})");
  ASSERT_TRUE(w.peer.running()) << w.peer.error();
  ASSERT_TRUE(w.open()) << w.t.env->getResultMsg();
  w.client->setResponseTimeout(std::chrono::milliseconds(300));
  const auto start = Clock::now();
  EXPECT_FALSE(w.client->describeURL(w.url().c_str()));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
  EXPECT_EQ(std::string(w.t.env->getResultMsg()), "DESCRIBE failed: no response within 300 ms");
}

TEST(ResponseWait, AbortFromAnotherThreadEndsItAtOnce) {
  Waiting w(R"({"DESCRIBE": {"do": "silence"}})");
  ASSERT_TRUE(w.peer.running()) << w.peer.error();
  ASSERT_TRUE(w.open()) << w.t.env->getResultMsg();
  std::atomic<bool> done{false};
  Clock::time_point ended;
  std::thread waiter([&] {
    EXPECT_FALSE(w.client->describeURL(w.url().c_str()));
    ended = Clock::now();
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(done);
  const auto aborted = Clock::now();
  tlxAbortConnection();
  waiter.join();
  tlxInitAbortion();
  EXPECT_LT(ended - aborted, std::chrono::milliseconds(100));
}

TEST(ResponseWait, RefusalsCarryCodeAndReason) {
  struct Row {
    std::string answers;
    std::string message;
  } rows[] = {
      {R"({"DESCRIBE": {"status": 404, "reason": "Not Found"}})", "DESCRIBE failed: 404 Not Found"},
      {R"({"SETUP": {"status": 461, "reason": "Unsupported Transport"}})", "SETUP failed: 461 Unsupported Transport"},
      {R"({"PLAY": {"status": 454, "reason": "Session Not Found"}})", "PLAY failed: 454 Session Not Found"},
  };
  for (const Row& row : rows) {
    Waiting w(row.answers);
    ASSERT_TRUE(w.peer.running()) << w.peer.error();
    TunnelSession s;
    EXPECT_FALSE(s.start(w.peer.port(), kPath24));
    EXPECT_NE(s.error().find(row.message), std::string::npos) << s.error();
  }
}

}  // namespace

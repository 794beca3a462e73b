// ffmpeg's RTP muxer is a packetiser written by others: what it sends for the
// fixtures, received with the session description it writes, must come out as
// libavformat's packets of the same files.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/rtsp/rtp_builder.h"
#include "platform/rtsp/test_environment.h"
#include "rtsp/media_session.h"
#include "stream_fixtures.h"
#include "support/child_process.h"
#include "win32/sockets.h"

namespace {

using tlx::win32::Descriptor;


// Two UDP sockets on loopback ports P (even) and P + 1.
struct PortPair {
  PortPair() {
    for (int port = 40000; port < 60000 && !rtp; port += 2) {
      Descriptor a = tlx::win32::OpenSocket(AF_INET, SOCK_DGRAM);
      Descriptor b = tlx::win32::OpenSocket(AF_INET, SOCK_DGRAM);
      if (Bind(a, port) && Bind(b, port + 1)) {
        rtp = std::move(a);
        rtcp = std::move(b);
        rtpPort = port;
      }
    }
    tlx::win32::SetReceiveBuffer(rtp.get(), 8 << 20);
  }
  static bool Bind(const Descriptor& s, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  Descriptor rtp, rtcp;
  int rtpPort = 0;
};

struct Received {
  std::vector<std::string> rtp;
  std::vector<std::string> rtcp;
  std::string sdp;
};

// Runs ffmpeg's RTP muxer over the file and keeps every datagram.
Received RunMuxer(const std::string& input) {
  PortPair ports;
  EXPECT_TRUE(ports.rtp);
  tlx::test::TempFolder folder;
  const std::string sdpFile = (folder.path() / "out.sdp").string();
  tlx::test::ChildProcess ffmpeg("/usr/bin/ffmpeg",
                                 {"-nostdin", "-loglevel", "error", "-i", input, "-c", "copy", "-f", "rtp",
                                  "-sdp_file", sdpFile, "rtp://127.0.0.1:" + std::to_string(ports.rtpPort)});
  Received got;
  char buffer[65536];
  // Datagrams until the muxer has ended and nothing came for a while.
  int exitCode = -1;
  for (;;) {
    const auto deadline = tlx::win32::DeadlineAfter(exitCode < 0 ? 2000 : 200);
    pollfd entries[2] = {{ports.rtp.get(), POLLIN, 0}, {ports.rtcp.get(), POLLIN, 0}};
    const int ready = tlx::win32::PollUntil(entries, 2, deadline);
    if (ready <= 0) {
      if (exitCode >= 0) break;
      exitCode = ffmpeg.Wait(10000);
      continue;
    }
    for (int i = 0; i < 2; ++i) {
      if (!(entries[i].revents & POLLIN)) continue;
      const long n = tlx::win32::ReadSome(entries[i].fd, buffer, sizeof buffer, tlx::win32::Deadline());
      if (n > 0) (i == 0 ? got.rtp : got.rtcp).emplace_back(buffer, static_cast<size_t>(n));
    }
  }
  EXPECT_EQ(exitCode, 0);
  std::ifstream in(sdpFile);
  std::stringstream text;
  text << in.rdbuf();
  got.sdp = text.str();
  return got;
}

// heldBack: how many of the last packets the muxer may never send (ffmpeg's
// AAC packetiser does not flush the access units of its last, unfilled
// packet); the frames that came must be the first packets, in order.
void CheckAgainstFixture(const std::string& input, const std::string& reference, const char* codec,
                         unsigned clock, size_t heldBack = 0) {
  Received got = RunMuxer(input);
  ASSERT_FALSE(got.rtp.empty());
  TestEnvironment t;
  std::unique_ptr<MediaSession> session(MediaSession::createNew(*t.env, got.sdp.c_str()));
  ASSERT_TRUE(session) << got.sdp;
  MediaSubsession& subsession = *session->subsessions()[0];
  EXPECT_STREQ(subsession.codecName(), codec);
  EXPECT_EQ(subsession.rtpTimestampFrequency(), clock);
  EXPECT_STRNE(subsession.fmtp_config(), "");
  ASSERT_TRUE(subsession.initiate(-1));
  CollectingSink sink(*t.env, 1 << 20);
  sink.startPlaying(*subsession.readSource(), nullptr, nullptr);
  for (const std::string& p : got.rtp) {
    subsession.rtpSource()->handleInterleavedPacket(reinterpret_cast<const uint8_t*>(p.data()), p.size());
  }
  const auto packets = Packets(reference);
  ASSERT_LE(sink.frames.size(), packets.size());
  ASSERT_GE(sink.frames.size() + heldBack, packets.size());
  for (size_t i = 0; i < sink.frames.size(); ++i) EXPECT_TRUE(sink.frames[i].data == packets[i]) << i;
  EXPECT_EQ(subsession.rtpSource()->numMalformedPackets(), 0u);

  ASSERT_FALSE(got.rtcp.empty());
  for (const std::string& p : got.rtcp) {
    subsession.rtcpInstance()->handleInterleavedPacket(reinterpret_cast<const uint8_t*>(p.data()), p.size());
  }
  EXPECT_GE(subsession.rtcpInstance()->numSenderReports(), 1u);
  EXPECT_EQ(subsession.rtcpInstance()->lastSenderReportSSRC(), subsession.rtpSource()->lastReceivedSSRC());
  EXPECT_EQ(subsession.rtcpInstance()->numMalformedPackets(), 0u);
}

TEST(FfmpegPacketizer, Mpeg4FramesComeOutAsLibavformatsPackets) {
  CheckAgainstFixture(Fixture("video.m4v"), Fixture("video.m4v"), "MP4V-ES", 90000);
}

TEST(FfmpegPacketizer, AacAccessUnitsComeOutAsTheM4aPackets) {
  // ffmpeg packs up to five access units per packet.
  CheckAgainstFixture(Fixture("audio_24000.m4a"), Fixture("audio_24000.m4a"), "MPEG4-GENERIC", 24000, 4);
}

}  // namespace

#include <gtest/gtest.h>

#include <string>

#include "rtp_builder.h"
#include "rtsp/rtcp_instance.h"
#include "rtsp/rtp_source.h"
#include "test_environment.h"

namespace {

constexpr uint32_t kSsrc = 0x11223344;

struct Fixture {
  Fixture() : source(*t.env, 97, 90000, AuHeaderLayout{}), rtcp(*t.env, &source), sink(*t.env, 1000) {
    rtcp.setByeHandler([](void* d) { ++*static_cast<int*>(d); }, &byes);
    sink.startPlaying(source, nullptr, nullptr);
  }
  void Rtp(uint16_t seq, uint32_t ts, const std::string& payload = "x") {
    std::string p = RtpPacket({seq, ts, true, 97, kSsrc}, payload);
    source.handleInterleavedPacket(reinterpret_cast<const uint8_t*>(p.data()), p.size());
  }
  void Rtcp(const std::string& p) {
    rtcp.handleInterleavedPacket(reinterpret_cast<const uint8_t*>(p.data()), p.size());
  }
  int64_t TimeUs(size_t frame) const {
    const timeval& tv = sink.frames.at(frame).time;
    return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
  }
  TestEnvironment t;
  RTPSource source;
  RTCPInstance rtcp;
  CollectingSink sink;
  int byes = 0;
};

TEST(Rtcp, CompoundPacketsAndTheirFaults) {
  const std::string sdes = RtcpPart(RTCP_PT_SDES, 1, std::string("\x11\x22\x33\x44\x01\x02hi\x00\x00\x00\x00", 12));
  const std::string bye = RtcpPart(RTCP_PT_BYE, 1, std::string("\x11\x22\x33\x44", 4));
  const std::string rr = RtcpPart(RTCP_PT_RR, 1, std::string(4 + 24, '\0'));
  const std::string app = RtcpPart(RTCP_PT_APP, 0, std::string("\x11\x22\x33\x44" "name" "data", 12));
  std::string tooLong = RtcpPart(RTCP_PT_RR, 0, std::string(4, '\0'));
  tooLong[3] = 9;
  std::string version1 = bye;
  version1[0] = 0x41;
  struct Row {
    const char* name;
    std::string packet;
    int reports;
    int byes;
    int malformed;
  } rows[] = {
      {"SR + SDES + BYE", SenderReport(kSsrc, 1, 2, 3) + sdes + bye, 1, 1, 0},
      {"SR with two report blocks", SenderReport(kSsrc, 1, 2, 3, 2), 1, 0, 0},
      {"RR", rr, 0, 0, 0},
      {"APP then SR", app + SenderReport(kSsrc, 1, 2, 3), 1, 0, 0},
      {"length beyond the packet", tooLong + bye, 0, 0, 1},
      {"SR cut short", SenderReport(kSsrc, 1, 2, 3, 2).substr(0, 28) , 0, 0, 1},
      {"version 1 drops the rest", SenderReport(kSsrc, 1, 2, 3) + version1 + bye, 1, 0, 1},
      {"two BYEs call the handler once", bye + bye, 0, 1, 0},
  };
  for (const Row& row : rows) {
    Fixture f;
    f.Rtcp(row.packet);
    f.Rtcp(row.packet);
    EXPECT_EQ(f.rtcp.numSenderReports(), 2u * row.reports) << row.name;
    EXPECT_EQ(f.byes, row.byes) << row.name;
    EXPECT_EQ(f.rtcp.numMalformedPackets(), 2u * row.malformed) << row.name;
  }
}

TEST(PresentationTime, BeforeAReportFramesDifferByTheirTimestamps) {
  Fixture f;
  f.Rtp(1, 4294967296u - 9000);  // wraps past 2^32 below
  f.Rtp(2, 4294967296u - 9000 + 3000);
  f.Rtp(3, 900);  // 900 after the wrap
  ASSERT_EQ(f.sink.frames.size(), 3u);
  EXPECT_EQ(f.TimeUs(1) - f.TimeUs(0), 33333);
  EXPECT_EQ(f.TimeUs(2) - f.TimeUs(0), 110000);
  EXPECT_FALSE(f.source.hasBeenSynchronizedUsingRTCP());
}

TEST(PresentationTime, AfterAReportFramesFollowItsNtpTime) {
  // NTP 3900000000.5 s is Unix 1691011200.5 s.
  const uint32_t ntpSeconds = 3900000000u;
  const int64_t unixUs = (3900000000LL - 2208988800LL) * 1000000 + 500000;
  for (bool reportFirst : {true, false}) {
    Fixture f;
    if (!reportFirst) f.Rtp(1, 4294960000u);
    f.Rtcp(SenderReport(kSsrc, ntpSeconds, 0x80000000u, 4294960000u));
    f.Rtp(2, 4294960000u + 90);
    f.Rtp(3, 4294960000u + 90000 + 45);  // past 2^32
    const size_t first = reportFirst ? 0 : 1;
    ASSERT_EQ(f.sink.frames.size(), first + 2);
    EXPECT_EQ(f.TimeUs(first), unixUs + 1000);
    EXPECT_EQ(f.TimeUs(first + 1), unixUs + 1000500);
    EXPECT_TRUE(f.source.hasBeenSynchronizedUsingRTCP());
  }
}

TEST(ReceptionStats, CountsAcrossASequenceWrapWithLosses) {
  Fixture f;
  const uint16_t seqs[] = {65530, 65531, 65533, 65534, 65535, 0, 1, 3, 4, 5};
  for (uint16_t s : seqs) f.Rtp(s, 0, std::string(150, 'p'));
  RTPReceptionStatsDB::Iterator it(f.source.receptionStatsDB());
  RTPReceptionStats* stats = it.next();
  ASSERT_NE(stats, nullptr);
  EXPECT_EQ(it.next(), nullptr);
  EXPECT_EQ(stats->SSRC(), kSsrc);
  EXPECT_EQ(stats->totNumPacketsReceived(), 10u);
  EXPECT_EQ(stats->totNumPacketsExpected(), 12u);
  EXPECT_EQ(stats->highestExtSeqNumReceived() >> 16, 1u) << "one cycle";
  EXPECT_EQ(stats->highestExtSeqNumReceived() & 0xFFFF, 5u);
  EXPECT_DOUBLE_EQ(stats->totNumKBytesReceived(), 1.5);
  // A late packet does not move the highest number back.
  f.Rtp(65532, 0);
  EXPECT_EQ(stats->totNumPacketsExpected(), 12u);
  EXPECT_EQ(stats->totNumPacketsReceived(), 11u);
}

TEST(ReceptionStats, KeepsABoundedNumberOfSenders) {
  Fixture f;
  for (uint32_t ssrc = 1; ssrc <= RTPSource::kMaxSenders + 5; ++ssrc) {
    std::string p = RtpPacket({1, 0, true, 97, ssrc}, "x");
    f.source.handleInterleavedPacket(reinterpret_cast<const uint8_t*>(p.data()), p.size());
  }
  EXPECT_EQ(f.source.receptionStatsDB().numActiveSourcesSinceLastReset(), RTPSource::kMaxSenders);
  EXPECT_EQ(f.source.numMalformedPackets(), 5u);
}

}  // namespace

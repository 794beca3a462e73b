#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "rtp_builder.h"
#include "rtsp/rtcp_instance.h"
#include "rtsp/rtp_source.h"
#include "test_environment.h"

namespace {

constexpr uint32_t kSsrc = 0x11223344;

struct Fixture {
  explicit Fixture(unsigned clock = 90000)
      : source(*t.env, 97, clock, AuHeaderLayout{}), rtcp(*t.env, &source), sink(*t.env, 1000) {
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

// `count` timestamps from `first`, each `step` after the one before (modulo
// 2^32).
std::vector<uint32_t> Steps(uint32_t first, uint32_t step, size_t count) {
  std::vector<uint32_t> timestamps;
  for (size_t i = 0; i < count; ++i) timestamps.push_back(first + static_cast<uint32_t>(i) * step);
  return timestamps;
}

std::vector<uint32_t> Join(std::vector<uint32_t> a, const std::vector<uint32_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A step of up to 10 s of the clock is time passing; a larger one is a jump of
// the sender's clock, and the frame keeps the time of the one before. Steps of
// nearly 2^31 ticks, thousands of times over, once overflowed the arithmetic.
TEST(PresentationTime, TimestampSequencesGiveBoundedTimes) {
  const uint32_t tenSeconds = RTPSource::kMaxTimestampStepSeconds * 90000;
  const uint32_t wide = 0xFFFFFFFFu;  // a clock at which every 32-bit step is under 10 s
  struct Row {
    const char* name;
    unsigned clock;
    std::vector<uint32_t> timestamps;
    std::vector<std::pair<size_t, int64_t>> times;  // frame, microseconds after the first frame
  } rows[] = {
      {"30 frames a second across the wrap", 90000, Steps(0xFFFFFFFFu - 4000, 3000, 4), {{1, 33333}, {3, 100000}}},
      {"a step back", 90000, {6000, 3000}, {{1, -33333}}},
      {"10 s ahead and back", 90000, {0, tenSeconds, 0}, {{1, 10000000}, {2, 0}}},
      {"just past 10 s ahead", 90000, {0, tenSeconds + 1, tenSeconds + 3001}, {{1, 0}, {2, 33333}}},
      {"just past 10 s back", 90000, {tenSeconds + 1, 0, 3000}, {{1, 0}, {2, 33333}}},
      {"one jump inside a steady stream", 90000,
       Join(Steps(0, 3000, 2), Steps(0x40000000u + 3000, 3000, 2)), {{1, 33333}, {2, 33333}, {3, 66666}}},
      {"5000 steps of 2^31 - 1", 90000, Steps(7, 0x7FFFFFFFu, 5000), {{1, 0}, {4999, 0}}},
      {"100 steps of 2^31", 90000, Steps(7, 0x80000000u, 100), {{1, 0}, {99, 0}}},
      {"5000 steps of 2^31 - 1 at a 2^32 - 1 clock", wide, Steps(7, 0x7FFFFFFFu, 5000),
       {{1, 499999}, {4294, 2146999999}, {4999, 2499499999}}},
      {"1 Hz clock", 1, {0, 10, 21, 31}, {{1, 10000000}, {2, 10000000}, {3, 20000000}}},
  };
  for (const Row& row : rows) {
    Fixture f(row.clock);
    for (size_t i = 0; i < row.timestamps.size(); ++i) f.Rtp(static_cast<uint16_t>(i), row.timestamps[i]);
    ASSERT_EQ(f.sink.frames.size(), row.timestamps.size()) << row.name;
    for (const auto& [frame, us] : row.times) EXPECT_EQ(f.TimeUs(frame) - f.TimeUs(0), us) << row.name << ", frame " << frame;
  }
}

// A report can only place packets whose timestamps lie within a step of its
// RTP time; one farther off is dropped and the earlier one stays.
TEST(PresentationTime, AReportAJumpAwayFromThePacketsIsNotUsed) {
  const uint32_t ntpSeconds = 3900000000u;
  const int64_t unixUs = (3900000000LL - 2208988800LL) * 1000000;
  const uint32_t tenSeconds = RTPSource::kMaxTimestampStepSeconds * 90000;
  for (bool reportFirst : {true, false}) {
    Fixture f;
    if (!reportFirst) f.Rtp(1, 1000);
    f.Rtcp(SenderReport(kSsrc, ntpSeconds, 0, 1000 + tenSeconds + 1));
    f.Rtp(2, 1000);
    EXPECT_FALSE(f.source.hasBeenSynchronizedUsingRTCP()) << reportFirst;
  }
  Fixture f;
  f.Rtp(1, 1000);
  f.Rtcp(SenderReport(kSsrc, ntpSeconds, 0, 1000 + tenSeconds));
  f.Rtcp(SenderReport(kSsrc, ntpSeconds + 100, 0, 0x80000000u));
  f.Rtp(2, 1000);
  EXPECT_TRUE(f.source.hasBeenSynchronizedUsingRTCP());
  EXPECT_EQ(f.TimeUs(1), unixUs - 10000000) << "the first report places the frame";
  // After a jump, a report on the sender's new clock places the frames again.
  f.Rtp(3, 0x80000000u);
  f.Rtcp(SenderReport(kSsrc, ntpSeconds + 100, 0, 0x80000000u + 90));
  f.Rtp(4, 0x80000000u + 90);
  EXPECT_EQ(f.TimeUs(2), unixUs - 10000000) << "the jump keeps the time of the frame before";
  EXPECT_EQ(f.TimeUs(3), (ntpSeconds + 100 - 2208988800LL) * 1000000);
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

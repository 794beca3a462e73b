#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rtp_builder.h"
#include "rtsp/rtp_source.h"
#include "test_environment.h"

namespace {

constexpr AuHeaderLayout kMarkerMode{};
constexpr AuHeaderLayout kAacHbr{13, 3, 3};

struct Fixture {
  explicit Fixture(AuHeaderLayout layout, unsigned maxSize = 100000)
      : source(*t.env, 97, 90000, layout), sink(*t.env, maxSize) {
    sink.startPlaying(source, [](void* d) { static_cast<Fixture*>(d)->afterPlaying = true; }, this);
  }
  void Feed(const std::string& packet) {
    source.handleInterleavedPacket(reinterpret_cast<const uint8_t*>(packet.data()), packet.size());
  }
  std::vector<std::string> Frames() const {
    std::vector<std::string> out;
    for (const auto& f : sink.frames) out.push_back(f.data);
    return out;
  }
  TestEnvironment t;
  RTPSource source;
  CollectingSink sink;
  bool afterPlaying = false;
};

TEST(RtpPacket, MalformedAndForeignPacketsAreDroppedAndCounted) {
  auto header = [](uint8_t b0, uint8_t b1) {
    std::string p(12, '\0');
    p[0] = static_cast<char>(b0);
    p[1] = static_cast<char>(b1);
    return p;
  };
  struct Row {
    const char* name;
    std::string packet;
    bool accepted;
    std::string payload;
  } rows[] = {
      {"version 1", header(0x40, 0x80 | 97) + "abc", false, ""},
      {"CC 15 with an extension",
       header(0x9F, 0x80 | 97) + std::string(60, 'c') + std::string("\x00\x00\x00\x01", 4) + "xxxx" + "pay",
       true, "pay"},
      {"padding", header(0xA0, 0x80 | 97) + "data" + std::string("\x00\x00\x03", 3), true, "data"},
      {"padding count beyond the payload", header(0xA0, 0x80 | 97) + "ab" + std::string("\x09", 1), false, ""},
      {"padding count zero", header(0xA0, 0x80 | 97) + "ab" + std::string("\x00", 1), false, ""},
      {"11 bytes", header(0x80, 0x80 | 97).substr(0, 11), false, ""},
      {"CSRC list beyond the packet", header(0x83, 0x80 | 97) + "12345678", false, ""},
      {"extension length beyond the packet",
       header(0x90, 0x80 | 97) + std::string("\x00\x00\x00\x05", 4) + "short", false, ""},
      {"foreign payload type", header(0x80, 0x80 | 96) + "abc", false, ""},
  };
  for (const Row& row : rows) {
    Fixture f(kMarkerMode);
    f.Feed(row.packet);
    EXPECT_EQ(f.source.numMalformedPackets(), row.accepted ? 0u : 1u) << row.name;
    if (row.accepted) {
      EXPECT_EQ(f.Frames(), std::vector<std::string>{row.payload}) << row.name;
    } else {
      EXPECT_TRUE(f.Frames().empty()) << row.name;
      EXPECT_EQ(f.source.receptionStatsDB().totNumPacketsReceived(), 0u) << row.name;
    }
  }
}

TEST(RtpFraming, MarkerModeJoinsPacketsAndDropsBrokenFrames) {
  struct Packet {
    uint16_t seq;
    uint32_t ts;
    bool marker;
    const char* payload;
  };
  struct Row {
    const char* name;
    std::vector<Packet> packets;
    std::vector<std::string> frames;
  } rows[] = {
      {"three-packet frame", {{1, 100, false, "aa"}, {2, 100, false, "bb"}, {3, 100, true, "cc"}}, {"aabbcc"}},
      {"gap inside a frame",
       {{1, 100, false, "aa"}, {3, 100, true, "cc"}, {4, 200, false, "dd"}, {5, 200, true, "ee"}},
       {"ddee"}},
      {"gap before the middle of a frame",
       {{1, 100, true, "aa"}, {3, 200, false, "cc"}, {4, 200, true, "dd"}, {5, 300, true, "ee"}},
       {"aa", "ee"}},
      {"timestamp change without marker",
       {{1, 100, false, "aa"}, {2, 200, false, "bb"}, {3, 200, true, "cc"}},
       {"bbcc"}},
      {"sequence wrap inside a frame",
       {{65534, 7, false, "aa"}, {65535, 7, false, "bb"}, {0, 7, true, "cc"}, {1, 8, true, "dd"}},
       {"aabbcc", "dd"}},
  };
  for (const Row& row : rows) {
    Fixture f(kMarkerMode);
    for (const Packet& p : row.packets) f.Feed(RtpPacket({p.seq, p.ts, p.marker}, p.payload));
    EXPECT_EQ(f.Frames(), row.frames) << row.name;
  }
}

TEST(RtpFraming, FrameLargerThanTheRequestIsCutAndTheCutReported) {
  Fixture f(kMarkerMode, 1000);
  const std::string frame(1100, 'v');
  f.Feed(RtpPacket({1, 5, false}, frame.substr(0, 700)));
  f.Feed(RtpPacket({2, 5, true}, frame.substr(700)));
  ASSERT_EQ(f.sink.frames.size(), 1u);
  EXPECT_EQ(f.sink.frames[0].data, frame.substr(0, 1000));
  EXPECT_EQ(f.sink.frames[0].truncated, 100u);
}

TEST(RtpFraming, AuHeaderMode) {
  const std::string big(3000, 'B');
  struct Row {
    const char* name;
    std::vector<std::string> packets;
    std::vector<std::string> frames;
    uint64_t malformed;
  } rows[] = {
      {"one AU", {RtpPacket({1, 0, true, 97}, AuPayload({"hello"}))}, {"hello"}, 0},
      {"five AUs", {RtpPacket({1, 0, true, 97}, AuPayload({"a", "bb", "ccc", "dddd", "eeeee"}))},
       {"a", "bb", "ccc", "dddd", "eeeee"}, 0},
      {"one AU over three packets",
       {RtpPacket({1, 0, false, 97}, AuPayload({big.substr(0, 1000)}, 3000)),
        RtpPacket({2, 0, false, 97}, AuPayload({big.substr(1000, 1000)}, 3000)),
        RtpPacket({3, 0, true, 97}, AuPayload({big.substr(2000)}, 3000))},
       {big}, 0},
      {"fragment with a packet lost",
       {RtpPacket({1, 0, false, 97}, AuPayload({big.substr(0, 1000)}, 3000)),
        RtpPacket({3, 0, true, 97}, AuPayload({big.substr(2000)}, 3000)),
        RtpPacket({4, 1024, true, 97}, AuPayload({"next"}))},
       {"next"}, 0},
      {"AU-headers-length 15", {RtpPacket({1, 0, true, 97}, std::string("\x00\x0f\x00\x28", 4) + "hello")}, {}, 1},
      {"AU headers beyond the payload", {RtpPacket({1, 0, true, 97}, std::string("\x00\x40\x00", 3))}, {}, 1},
      {"sizes not matching", {RtpPacket({1, 0, true, 97}, AuPayload({"abc", "d"}).substr(0, 8))}, {}, 1},
      {"no AU-headers-length", {RtpPacket({1, 0, true, 97}, "x")}, {}, 1},
  };
  for (const Row& row : rows) {
    Fixture f(kAacHbr);
    for (const std::string& p : row.packets) f.Feed(p);
    EXPECT_EQ(f.Frames(), row.frames) << row.name;
    EXPECT_EQ(f.source.numMalformedPackets(), row.malformed) << row.name;
  }
}

// A sender may announce an AU of up to 2^32 - 1 bytes (sizelength=32) and
// send it in fragments without end: an AU over the frame limit is dropped
// packet by packet as it comes, and the stream goes on.
TEST(RtpFraming, AuLargerThanTheFrameLimitIsDroppedAsItComes) {
  constexpr AuHeaderLayout kWideSizes{32, 0, 0};
  constexpr size_t kPiece = 60000;
  // One packet of an AU announced as `whole` bytes, carrying `piece`.
  auto fragment = [](uint16_t seq, bool marker, uint32_t whole, const std::string& piece) {
    std::string payload;
    PutBe16(&payload, 32);
    PutBe32(&payload, whole);
    return RtpPacket({seq, 5, marker, 97}, payload + piece);
  };
  struct Row {
    const char* name;
    uint32_t announced;
    size_t sent;  // bytes sent in fragments of kPiece, the last with the marker unless `unended`
    bool unended;
    size_t frameSize;  // of the AU delivered, 0 for none
  } rows[] = {
      {"4 MiB is joined", RTPSource::kMaxFrameBytes, RTPSource::kMaxFrameBytes, false, RTPSource::kMaxFrameBytes},
      {"4 MiB + 1 is dropped", RTPSource::kMaxFrameBytes + 1, RTPSource::kMaxFrameBytes + 1, false, 0},
      {"0xFFFFFFF0 announced, 6 MB sent without a marker", 0xFFFFFFF0u, 100 * kPiece, true, 0},
  };
  for (const Row& row : rows) {
    Fixture f(kWideSizes);
    uint16_t seq = 0;
    for (size_t at = 0; at < row.sent; at += kPiece) {
      const std::string piece(std::min(kPiece, row.sent - at), static_cast<char>('a' + seq % 26));
      f.Feed(fragment(seq++, !row.unended && at + kPiece >= row.sent, row.announced, piece));
    }
    const uint64_t packets = seq;
    std::string next;
    PutBe16(&next, 32);
    PutBe32(&next, 4);
    f.Feed(RtpPacket({seq, 6, true, 97}, next + "next"));
    ASSERT_EQ(f.sink.frames.size(), row.frameSize > 0 ? 2u : 1u) << row.name;
    if (row.frameSize > 0) {
      EXPECT_EQ(f.sink.frames[0].data.size() + f.sink.frames[0].truncated, row.frameSize) << row.name;
      EXPECT_EQ(f.source.numDroppedPackets(), 0u) << row.name;
    } else {
      EXPECT_EQ(f.source.numDroppedPackets(), packets) << row.name;
    }
    EXPECT_EQ(f.sink.frames.back().data, "next") << row.name;
    EXPECT_EQ(f.source.numDroppedFrames(), 0u) << row.name;
    EXPECT_EQ(f.source.numMalformedPackets(), 0u) << row.name;
  }
}

TEST(RtpFraming, QueueKeepsTheNewestFramesWhileNoRequestIsPending) {
  constexpr size_t kMiB = 1024 * 1024;
  struct Row {
    const char* name;
    size_t frames;
    size_t frameSize;
    size_t kept;  // the newest ones
  } rows[] = {
      {"40 small frames", 40, 1, RTPSource::kMaxQueuedFrames},
      {"8 frames of 1 MiB", 8, kMiB, 4},
      {"3 frames of 4 MiB", 3, RTPSource::kMaxFrameBytes, 1},
  };
  for (const Row& row : rows) {
    TestEnvironment t;
    RTPSource source(*t.env, 97, 90000, kMarkerMode);
    uint16_t seq = 0;
    for (size_t i = 0; i < row.frames; ++i) {
      const std::string frame(row.frameSize, static_cast<char>('a' + i));
      for (size_t at = 0; at < frame.size(); at += 60000) {
        std::string p = RtpPacket({seq++, static_cast<uint32_t>(i), at + 60000 >= frame.size()}, frame.substr(at, 60000));
        source.handleInterleavedPacket(reinterpret_cast<const uint8_t*>(p.data()), p.size());
      }
    }
    EXPECT_EQ(source.numDroppedFrames(), row.frames - row.kept) << row.name;
    CollectingSink sink(*t.env, 100);
    sink.startPlaying(source, nullptr, nullptr);
    ASSERT_EQ(sink.frames.size(), row.kept) << row.name;
    for (size_t k = 0; k < row.kept; ++k) {
      EXPECT_EQ(sink.frames[k].data[0], static_cast<char>('a' + row.frames - row.kept + k)) << row.name;
      EXPECT_EQ(sink.frames[k].data.size() + sink.frames[k].truncated, row.frameSize) << row.name;
    }
  }
}

// Requests made from inside the frame callback over many queued frames are
// served by one loop: the stack does not grow with the number of frames.
TEST(RtpFraming, RequestsFromTheCallbackDoNotDeepenTheStack) {
  TestEnvironment t;
  RTPSource source(*t.env, 97, 90000, kAacHbr);
  struct Counter {
    RTPSource* source;
    unsigned char buffer[16];
    int frames = 0;
    uintptr_t firstDepth = 0;
    uintptr_t maxDepthDiff = 0;
  } counter{&source, {}};
  static FramedSource::afterGettingFunc* after = [](void* d, unsigned, unsigned, timeval, unsigned) {
    auto* c = static_cast<Counter*>(d);
    int marker;
    const auto depth = reinterpret_cast<uintptr_t>(&marker);
    if (c->frames++ == 0) c->firstDepth = depth;
    const uintptr_t diff = depth > c->firstDepth ? depth - c->firstDepth : c->firstDepth - depth;
    if (diff > c->maxDepthDiff) c->maxDepthDiff = diff;
    c->source->getNextFrame(c->buffer, sizeof c->buffer, after, c, nullptr, nullptr);
  };
  // 10 000 AUs arrive in packets of 100 while nothing is asked; then one
  // request drains what the queue kept, and later packets go straight out.
  std::vector<std::string> aus(100, "au");
  for (uint16_t i = 0; i < 100; ++i) {
    std::string p = RtpPacket({i, i, true, 97}, AuPayload(aus));
    if (i == 50) source.getNextFrame(counter.buffer, sizeof counter.buffer, after, &counter, nullptr, nullptr);
    source.handleInterleavedPacket(reinterpret_cast<const uint8_t*>(p.data()), p.size());
  }
  EXPECT_EQ(counter.frames, 32 + 50 * 100);
  EXPECT_LT(counter.maxDepthDiff, 4096u);
}

TEST(MediaSink, StopsOnRequestAndReportsTheSourcesClosure) {
  Fixture f(kMarkerMode);
  EXPECT_FALSE(f.sink.startPlaying(f.source, nullptr, nullptr)) << "already playing";
  f.source.handleClosure();
  EXPECT_TRUE(f.afterPlaying);
  EXPECT_EQ(f.sink.source(), nullptr);

  Fixture g(kMarkerMode);
  g.sink.stopPlaying();
  EXPECT_FALSE(g.source.isCurrentlyAwaitingData());
  g.Feed(RtpPacket({1, 1, true}, "x"));
  EXPECT_TRUE(g.sink.frames.empty());
  EXPECT_FALSE(g.afterPlaying);
}

}  // namespace

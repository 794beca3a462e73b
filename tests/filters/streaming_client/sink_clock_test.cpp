// Frame sinks fed the way a source delivers frames, and the stream clocks.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include "filters/streaming_client/filter_sink.h"
#include "filters/streaming_client/stream_clock.h"
#include "rtsp/usage_environment.h"

namespace {

using Clock = std::chrono::steady_clock;

class Sinks : public ::testing::Test {
 protected:
  Sinks() : scheduler(BasicTaskScheduler::createNew()), env(BasicUsageEnvironment::createNew(*scheduler)) {}

  std::unique_ptr<TlxFilterSink> Make(const TlxSinkLayout& layout) {
    return std::make_unique<TlxFilterSink>(*env, layout, [this] { ++firstFrames; });
  }

  // Hands a frame to the sink as its source would.
  static void Deliver(TlxFilterSink& sink, const std::vector<uint8_t>& bytes, unsigned truncated = 0,
                      timeval pt = {5, 250000}) {
    sink.prepareNextBuffer();
    std::memcpy(sink.nextBuffer(), bytes.data(), bytes.size());
    sink.afterGettingFrame(static_cast<unsigned>(bytes.size()), truncated, pt);
  }

  static std::vector<uint8_t> Frame(uint32_t magic, uint32_t stamp, size_t size) {
    std::vector<uint8_t> bytes(size, 0x5A);
    for (int i = 0; i < 4 && i < static_cast<int>(size); ++i) bytes[i] = static_cast<uint8_t>(magic >> (8 * i));
    for (int i = 0; i < 4 && 8 + i < static_cast<int>(size); ++i) bytes[8 + i] = static_cast<uint8_t>(stamp >> (8 * i));
    return bytes;
  }

  std::unique_ptr<BasicTaskScheduler> scheduler;
  std::unique_ptr<BasicUsageEnvironment> env;
  int firstFrames = 0;
};

TEST_F(Sinks, InBandHeadersGiveTheStampAndThePayloadStart) {
  struct Case {
    const char* what;
    const TlxSinkLayout& layout;
    std::vector<uint8_t> bytes;
    uint32_t stamp;
    unsigned offset;
  };
  const Case cases[] = {
      {"video header", kVideoSinkLayout, Frame(0xF0F0F0F0, 1234, 40), 1234, 12},
      {"video magic on audio", kAudioSinkLayout, Frame(0xF0F0F0F0, 1234, 40), 5250, 0},
      {"audio header", kAudioSinkLayout, Frame(0xE0E0E0E0, 777, 40), 777, 12},
      {"11 bytes are never a header", kVideoSinkLayout, Frame(0xF0F0F0F0, 0, 11), 5250, 0},
      {"no magic", kVideoSinkLayout, Frame(0x01000000, 1234, 40), 5250, 0},
  };
  for (const Case& c : cases) {
    auto sink = Make(c.layout);
    Deliver(*sink, c.bytes);
    TlxFrameDescr frame;
    ASSERT_EQ(sink->TakeFrame(&frame), TlxFilterSink::Take::kFrame) << c.what;
    EXPECT_EQ(frame.stampMs, c.stamp) << c.what;
    EXPECT_EQ(frame.offset, c.offset) << c.what;
    EXPECT_EQ(frame.size, c.bytes.size()) << c.what;
    EXPECT_EQ(std::memcmp(frame.data, c.bytes.data(), c.bytes.size()), 0) << c.what;
  }
  EXPECT_EQ(firstFrames, 5) << "once per sink";
}

TEST_F(Sinks, AMarkerFrameIsNotQueuedAndMarksTheNextAudioFrame) {
  auto sink = Make(kAudioSinkLayout);
  Deliver(*sink, Frame(0xD0D0D0D0, 0, 12));
  EXPECT_EQ(firstFrames, 1) << "a marker also ends the first-frame wait";
  EXPECT_EQ(sink->queuedFrames(), 0u);
  Deliver(*sink, Frame(0xE0E0E0E0, 10, 30));
  Deliver(*sink, Frame(0xE0E0E0E0, 20, 30));
  TlxFrameDescr frame;
  ASSERT_EQ(sink->TakeFrame(&frame), TlxFilterSink::Take::kFrame);
  EXPECT_TRUE(frame.marker);
  EXPECT_EQ(frame.stampMs, 10u);
  ASSERT_EQ(sink->TakeFrame(&frame), TlxFilterSink::Take::kFrame);
  EXPECT_FALSE(frame.marker);
  EXPECT_EQ(firstFrames, 1);
}

TEST_F(Sinks, TheVideoQueueDropsAt297AndKeepsWhatItHolds) {
  auto sink = Make(kVideoSinkLayout);
  for (uint32_t i = 0; i < 298; ++i) Deliver(*sink, Frame(0xF0F0F0F0, i, 64));
  EXPECT_EQ(sink->queuedFrames(), 297u);
  EXPECT_EQ(sink->framesDropped(), 1u);
  for (uint32_t i = 0; i < 297; ++i) {
    TlxFrameDescr frame;
    ASSERT_EQ(sink->TakeFrame(&frame), TlxFilterSink::Take::kFrame);
    EXPECT_EQ(frame.stampMs, i);
    EXPECT_EQ(frame.data[20], 0x5A);
    sink->ReleaseFrame();
  }
}

TEST_F(Sinks, AFullAudioQueueWaitsForATakeThenDropsUntilOne) {
  auto sink = Make(kAudioSinkLayout);
  for (uint32_t i = 0; i < 200; ++i) Deliver(*sink, Frame(0xE0E0E0E0, i, 40));
  // The producer waits, and a take releases it.
  auto producer = std::async(std::launch::async, [&] { Deliver(*sink, Frame(0xE0E0E0E0, 200, 40)); });
  EXPECT_EQ(producer.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  TlxFrameDescr frame;
  ASSERT_EQ(sink->TakeFrame(&frame), TlxFilterSink::Take::kFrame);
  sink->ReleaseFrame();
  ASSERT_EQ(producer.wait_for(std::chrono::seconds(1)), std::future_status::ready);
  EXPECT_EQ(sink->queuedFrames(), 200u);
  EXPECT_EQ(sink->framesDropped(), 0u);

  // Full for the whole wait: that frame and the following go at once.
  const auto begin = Clock::now();
  Deliver(*sink, Frame(0xE0E0E0E0, 201, 40));
  EXPECT_GE(Clock::now() - begin, TlxFilterSink::kFullQueueWait - std::chrono::milliseconds(50));
  const auto again = Clock::now();
  Deliver(*sink, Frame(0xE0E0E0E0, 202, 40));
  EXPECT_LT(Clock::now() - again, std::chrono::milliseconds(100));
  EXPECT_EQ(sink->framesDropped(), 2u);
  // A take ends the dropping.
  ASSERT_EQ(sink->TakeFrame(&frame), TlxFilterSink::Take::kFrame);
  sink->ReleaseFrame();
  Deliver(*sink, Frame(0xE0E0E0E0, 203, 40));
  EXPECT_EQ(sink->framesDropped(), 2u);
  EXPECT_EQ(sink->queuedFrames(), 200u);
}

TEST_F(Sinks, ClosingWakesAWaitingProducerAndAWaitingPinAtOnce) {
  auto full = Make(kAudioSinkLayout);
  for (uint32_t i = 0; i < 200; ++i) Deliver(*full, Frame(0xE0E0E0E0, i, 40));
  auto producer = std::async(std::launch::async, [&] { Deliver(*full, Frame(0xE0E0E0E0, 200, 40)); });
  auto empty = Make(kVideoSinkLayout);
  auto pin = std::async(std::launch::async, [&] {
    TlxFrameDescr frame;
    return empty->TakeFrame(&frame);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto begin = Clock::now();
  full->Close();
  empty->Close();
  ASSERT_EQ(producer.wait_for(std::chrono::milliseconds(200)), std::future_status::ready);
  ASSERT_EQ(pin.wait_for(std::chrono::milliseconds(200)), std::future_status::ready);
  EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(200));
  EXPECT_EQ(pin.get(), TlxFilterSink::Take::kClosed);
}

TEST_F(Sinks, AFrameWithoutRoomOrCutShortIsDroppedAndTheSinkGoesOn) {
  const TlxSinkLayout tiny{'V', 64, 32, 300, 0xF0F0F0F0u, false};
  auto sink = Make(tiny);
  Deliver(*sink, Frame(0xF0F0F0F0, 1, 20));
  Deliver(*sink, Frame(0xF0F0F0F0, 2, 20));
  Deliver(*sink, Frame(0xF0F0F0F0, 3, 20));  // no room for a largest frame
  EXPECT_EQ(sink->framesDropped(), 1u);
  Deliver(*sink, Frame(0xF0F0F0F0, 4, 20), 5);  // cut short by the source
  EXPECT_EQ(sink->framesDropped(), 2u);
  TlxFrameDescr frame;
  for (uint32_t stamp : {1u, 2u}) {
    ASSERT_EQ(sink->TakeFrame(&frame), TlxFilterSink::Take::kFrame);
    EXPECT_EQ(frame.stampMs, stamp);
    sink->ReleaseFrame();
  }
  Deliver(*sink, Frame(0xF0F0F0F0, 5, 20));
  ASSERT_EQ(sink->TakeFrame(&frame), TlxFilterSink::Take::kFrame);
  EXPECT_EQ(frame.stampMs, 5u) << "the sink lives on";
  sink->ReleaseFrame();
  sink->End();
  EXPECT_EQ(sink->TakeFrame(&frame), TlxFilterSink::Take::kEnd);
}

TEST(StreamClocks, UnwrapKeepsTimesRisingAndIgnoresSmallStepsBack) {
  struct Case {
    const char* what;
    std::vector<uint32_t> stamps;
    std::vector<REFERENCE_TIME> times;
  };
  const REFERENCE_TIME wrap = StreamClock::kWrapUnits;
  const Case cases[] = {
      {"wrap", {4294967000u, 100}, {4294967000LL * 10000, 100 * 10000 + wrap}},
      {"step back", {1000, 960, 1040, 1073}, {10000000, 9600000, 10400000, 10730000}},
      {"late stamp from before a wrap", {4294967000u, 100, 4294967200u, 200},
       {4294967000LL * 10000, 100 * 10000 + wrap, 4294967200LL * 10000, 200 * 10000 + wrap}},
  };
  for (const Case& c : cases) {
    StreamClock clock;
    for (size_t i = 0; i < c.stamps.size(); ++i) EXPECT_EQ(clock.Unwrap(c.stamps[i]), c.times[i]) << c.what << i;
  }
  // 4294967000 then 100 rise by 396 ms.
  StreamClock clock;
  const REFERENCE_TIME before = clock.Unwrap(4294967000u);
  EXPECT_EQ(clock.Unwrap(100) - before, 396 * 10000);
}

TEST(StreamClocks, BothClocksWrappedTakeTheLargerBase) {
  StreamClock audio, video;
  audio.Unwrap(4294967000u);
  audio.Unwrap(10);
  StreamClock::AlignWrapped(audio, video);
  EXPECT_TRUE(audio.Wrapped()) << "one wrapped clock waits for the other";
  video.Unwrap(4294967100u);
  video.Unwrap(20);
  video.Unwrap(4294967100u);  // late: counted before the wrap
  video.Unwrap(30);
  StreamClock::AlignWrapped(audio, video);
  EXPECT_FALSE(audio.Wrapped());
  EXPECT_FALSE(video.Wrapped());
  EXPECT_EQ(audio.Base(), video.Base());
  EXPECT_EQ(audio.Base(), StreamClock::kWrapUnits);
}

}  // namespace

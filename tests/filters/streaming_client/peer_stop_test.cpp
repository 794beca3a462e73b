// Stops that must not hang: a held audio renderer, one branch alone, a Stop
// during the first-frame wait and while the pins wait for a silent peer, and
// repeated runs, each five times under a watchdog; and the ten-second limit
// on an unanswered DESCRIBE.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

#include "source_graph.h"

namespace tlx::dshow::test {
namespace {

using tlx::test::PeerProcess;


// Runs `body` five times, each under a 10-s watchdog that ends the program
// rather than let a hang pass.
void FiveCycles(const std::function<void()>& body) {
  for (int cycle = 0; cycle < 5; ++cycle) {
    SCOPED_TRACE(cycle);
    auto done = std::async(std::launch::async, body);
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "hung";
      std::abort();
    }
    done.get();
  }
}

TEST(PeerStop, AnAudioRendererThatTakesNothingLetsVideoFlowAndStopReturn) {
  PeerProcess peer(StreamScenario(kMpeg4Media, R"(, "end": "loop", "pacing": "burst")"));
  ASSERT_TRUE(peer.running()) << peer.error();
  FiveCycles([&] {
    SourceGraph g;
    g.renderers[0]->SetHolding(true);
    g.Use(kMpeg4Media, peer.port());
    ASSERT_EQ(g.Run(), S_OK);
    const auto until = SteadyClock::now() + std::chrono::seconds(8);
    while (g.source->Session()->audioSink()->framesDropped() == 0 && SteadyClock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GT(g.source->Session()->audioSink()->framesDropped(), 0u) << "the held audio queue drops";
    const size_t before = g.renderers[1]->Samples().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GT(g.renderers[1]->Samples().size(), before) << "video flows";
    g.renderers[0]->SetHolding(false);
    EXPECT_EQ(g.Stop(), S_OK);
  });
}

TEST(PeerStop, OneBranchAloneStartsAndStops) {
  PeerProcess peer(StreamScenario(kMpeg4Media, R"(, "end": "hold")"));
  ASSERT_TRUE(peer.running()) << peer.error();
  for (const bool audio : {false, true}) {
    SCOPED_TRACE(audio ? "audio only" : "video only");
    FiveCycles([&] {
      SourceGraph g(audio, !audio);
      g.Use(kMpeg4Media, peer.port());
      ASSERT_EQ(g.Run(), S_OK);
      if (!audio) {
        EXPECT_TRUE(g.WaitForEvent(EC_TLX_FRAME_WAIT, 1000));
        EXPECT_TRUE(g.WaitForEvent(EC_TLX_FRAME_READY, 1000));
      }
      EXPECT_EQ(g.Stop(), S_OK);
    });
  }
}

TEST(PeerStop, StopDuringTheFirstFrameWaitReturnsOnceTheWaitEnded) {
  PeerProcess peer(StreamScenario(kMpeg4Media, R"(, "end": "hold", "faults": {"pause_after_play_ms": 60000})"));
  ASSERT_TRUE(peer.running()) << peer.error();
  FiveCycles([&] {
    SourceGraph g;
    g.Use(kMpeg4Media, peer.port());
    auto run = std::async(std::launch::async, [&] { return g.Run(); });
    ASSERT_TRUE(g.WaitForEvent(EC_TLX_CONNECT_END, 5000));
    auto stopped = std::async(std::launch::async, [&] { return g.Stop(); });
    EXPECT_EQ(run.get(), S_OK);
    EXPECT_EQ(stopped.get(), S_OK);
    // Stopping again while the pins wait for a frame from the silent peer.
    EXPECT_EQ(g.Run(), S_OK);
    EXPECT_EQ(g.Stop(), S_OK);
  });
}

TEST(PeerStop, ASilentDescribeFailsAfterTheTenSecondAnswerLimit) {
  PeerProcess peer(StreamScenario(kMpeg4Media, R"(, "faults": {"answers": {"DESCRIBE": {"do": "silence"}}})"));
  ASSERT_TRUE(peer.running()) << peer.error();
  SourceGraph g;
  g.Use(kMpeg4Media, peer.port());
  const auto begin = SteadyClock::now();
  EXPECT_EQ(g.Run(), TLX_E_DESCRIBE_SETUP);
  const auto waited = SteadyClock::now() - begin;
  EXPECT_GE(waited, std::chrono::milliseconds(9900));
  EXPECT_LT(waited, std::chrono::seconds(12));
  EXPECT_TRUE(SUCCEEDED(g.Stop()));
}

TEST(PeerStop, RepeatedRunsLeaveNoDescriptorOrThreadBehind) {
  PeerProcess peer(StreamScenario(kMpeg4Media, R"(, "end": "loop")"));
  ASSERT_TRUE(peer.running()) << peer.error();
  SourceGraph g;
  g.Use(kMpeg4Media, peer.port());
  const int descriptors = OpenDescriptorCount(), threads = ThreadCount();
  FiveCycles([&] {
    ASSERT_EQ(g.Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(g.Stop(), S_OK);
  });
  const auto until = SteadyClock::now() + std::chrono::seconds(2);
  while ((OpenDescriptorCount() != descriptors || ThreadCount() != threads) && SteadyClock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  EXPECT_EQ(ThreadCount(), threads);
}

}  // namespace
}  // namespace tlx::dshow::test

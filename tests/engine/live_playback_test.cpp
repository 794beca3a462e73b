// The live stream object end to end: the test peer as the base station, the
// real filters (network source, both decryptors, the MPEG-4 or AVC decoder,
// the AAC decoder, the audio renderer on a headless sound output, the video
// renderer offscreen), driven from a controller thread while this thread runs
// the Qt loop, as the panel does.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dshow/filter_module.h"
#include "engine/tlx_pc_stm_mode_if.h"
#include "link/tlx_bcf.h"
#include "mapped_modules.h"
#include "support/live_session.h"
#include "support/qt_sanitizer_suppressions.h"
#include "thread_count.h"

// Qt is not built with ThreadSanitizer, so the synchronisation inside it is
// invisible: a queued call made on the controller thread and run on this one
// looks unordered when either thread frees it, whichever lets go of it last.
// Calls made from inside Qt are left out, and so are reports whose access
// frees a queued call; races in our code stay reported.
extern "C" const char* __tsan_default_suppressions() {
  return TLX_QT_TSAN_SUPPRESSIONS
         "race:QMetaObject::invokeMethodImpl\n"
         "race:QMetaCallEvent::~QMetaCallEvent\n";
}

namespace tlx::engine::test {
namespace {

using namespace std::chrono_literals;
using tlx::test::LiveClip;
using tlx::test::LiveSession;
using tlx::test::NotifyCall;
using tlx::test::SteadyClock;

std::string Fixture(const char* name) {
  const char* folder = std::getenv("TLX_STREAM_FIXTURES");
  return std::string(folder != nullptr ? folder : "") + "/" + name;
}

std::vector<int> EventsOf(const std::vector<NotifyCall>& calls, size_t from = 0) {
  std::vector<int> events;
  for (size_t i = from; i < calls.size(); ++i) events.push_back(calls[i].event);
  return events;
}

// The TV requests the peer received that select a channel: (band, channel).
std::vector<std::pair<int, int>> ChannelSelections(tlx::test::PeerProcess& peer) {
  std::vector<std::pair<int, int>> selections;
  for (const std::vector<int>& words : tlx::test::TvRequestWords(peer)) {
    // Action 3 (a channel): the channel in word 2, the band in word 7.
    if (words.size() >= 8 && words[0] == 3) selections.emplace_back(words[7], words[2]);
  }
  return selections;
}

// Presentation seen from the video renderer: when each picture went out, and
// how many went out before their time on the graph's clock.
class Presentations {
 public:
  void Add(const dshow::video::PresentedFrame& frame, SteadyClock::time_point at) {
    std::lock_guard<std::mutex> hold(lock_);
    times_.push_back(at);
    if (frame.timed && frame.clockTime < frame.runStart + frame.sampleStart) ++early_;
  }
  std::vector<SteadyClock::time_point> Times() {
    std::lock_guard<std::mutex> hold(lock_);
    return times_;
  }
  int Early() {
    std::lock_guard<std::mutex> hold(lock_);
    return early_;
  }

 private:
  std::mutex lock_;
  std::vector<SteadyClock::time_point> times_;
  int early_ = 0;
};

struct Scenario {
  const char* name;
  const char* video;
  const char* codec;
  const char* audio;
  int audioRate;
};

class LivePlaybackTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(LivePlaybackTest, PlaysTheBaseStationsStreamAndStopsCleanly) {
  const Scenario& scenario = GetParam();
  // The two-second fixtures again and again, so the stream outlasts the test.
  LiveSession session(LiveClip{Fixture(scenario.video), scenario.codec, Fixture(scenario.audio), 0, scenario.audioRate},
                      ", \"end\": \"loop\"");
  ASSERT_TRUE(session.ready()) << session.error();
  Presentations presentations;
  session.ObservePresents([&](const dshow::video::PresentedFrame& frame, SteadyClock::time_point at, const QImage&) {
    presentations.Add(frame, at);
  });

  tlx::test::RunWithEventLoop([&] {
    const size_t threadsBefore = SteadyThreadCount();
    ASSERT_TRUE(session.Create()) << session.failure();
    ASSERT_TRUE(session.Run()) << session.failure();
    // The peer's server text offers AVC only in the AVC scenario.
    EXPECT_EQ(session.avcAvailable(), std::string(scenario.codec) == "avc");
    ASSERT_TRUE(session.WaitForNotify(8, 1, 20s)) << ::testing::PrintToString(EventsOf(session.Notifications()));
    const std::vector<NotifyCall> started = session.Notifications();
    EXPECT_EQ(EventsOf(started), (std::vector<int>{0, 0, 6, 7, 1, 4, 5, 8}));
    const auto keyed = std::find_if(started.begin(), started.end(), [](const NotifyCall& c) { return c.event == 7; });
    ASSERT_NE(keyed, started.end());
    // Both decryptors got the stream key: the pictures that follow decoded.
    EXPECT_EQ(keyed->ok, 1);

    // Five seconds of pictures from the first one on.
    std::vector<SteadyClock::time_point> times;
    const SteadyClock::time_point shown = SteadyClock::now();
    while (SteadyClock::now() - shown < 15s) {
      times = presentations.Times();
      if (!times.empty() && times.back() - times.front() >= 5s) break;
      std::this_thread::sleep_for(50ms);
    }
    ASSERT_FALSE(times.empty());
    EXPECT_GE(times.back() - times.front(), 5s);
    SteadyClock::duration longestGap{};
    for (size_t i = 1; i < times.size(); ++i) longestGap = std::max(longestGap, times[i] - times[i - 1]);
    EXPECT_LT(longestGap, 500ms) << "pictures kept coming";
    EXPECT_EQ(presentations.Early(), 0);

    // Band 3 is sent as 2; the flush goes to the audio renderer.
    EXPECT_TRUE(session.stream()->bSetSelectChannel(0, 3, 12, 1));
    const SteadyClock::time_point asked = SteadyClock::now();
    std::vector<std::pair<int, int>> selections;
    while (SteadyClock::now() - asked < 5s) {
      selections = ChannelSelections(session.peer());
      if (std::count(selections.begin(), selections.end(), std::make_pair(2, 12)) > 0) break;
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(std::count(selections.begin(), selections.end(), std::make_pair(2, 12)), 1)
        << ::testing::PrintToString(tlx::test::TvRequestWords(session.peer()));

    EXPECT_EQ(tlxRavixMgr_GetState(), 2);
    const size_t beforeStop = session.Notifications().size();
    EXPECT_TRUE(session.Stop());
    EXPECT_TRUE(session.WaitForNotify(9, 1, 5s));
    EXPECT_EQ(EventsOf(session.Notifications(), beforeStop), (std::vector<int>{2, 3, 9}));
    // Stopping (3), then idle (0).
    EXPECT_EQ(tlxRavixMgr_GetState(), 0);
    EXPECT_EQ(session.stream()->GetChangeStateError(), 0);

    EXPECT_TRUE(session.Cleanup());
    session.Destroy();
    EXPECT_EQ(ThreadCountSettledAt(threadsBefore), threadsBefore);
    dshow::FreeUnusedFilterModules();
    EXPECT_EQ(MappedFilterModules(), std::vector<std::string>{});
  });
}

INSTANTIATE_TEST_SUITE_P(Codecs, LivePlaybackTest,
                         ::testing::Values(Scenario{"Mpeg4", "video.m4v", "mpeg4", "audio_24000.aac", 24000},
                                           Scenario{"Avc", "video.h264", "avc", "audio_44100.aac", 44100}),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tlx::engine::test

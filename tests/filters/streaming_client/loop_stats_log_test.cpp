// The locked scheduler's loop thread, the reception statistics over the RTP
// layer's real counters, and the debug logs' marker.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "filters/streaming_client/debug_log.h"
#include "filters/streaming_client/locked_task_scheduler.h"
#include "filters/streaming_client/streaming_qos.h"
#include "filters/streaming_client/tlx_stream_source_control.h"
#include "rtsp/reception_stats.h"
#include "win32/sockets.h"

namespace {

using Clock = std::chrono::steady_clock;

struct EventLog {
  std::atomic<int> loopEnded{0};
  std::atomic<int> others{0};
  Clock::time_point endedAt{};
  LockedTaskScheduler::EventCallback Callback() {
    return [this](long code, LONG_PTR, LONG_PTR) {
      if (code == EC_TLX_LOOP_ENDED) {
        endedAt = Clock::now();
        ++loopEnded;
      } else {
        ++others;
      }
    };
  }
};

TEST(LockedScheduler, OtherThreadsScheduleAndCancelWhileTheLoopRuns) {
  EventLog log;
  std::atomic<int> ran{0};
  LockedTaskScheduler scheduler;
  scheduler.setEventCallback(log.Callback());
  ASSERT_TRUE(scheduler.StartThread());
  auto count = [](void* counter) { ++*static_cast<std::atomic<int>*>(counter); };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        TaskToken kept = scheduler.scheduleDelayedTask(1000, count, &ran);
        TaskToken cancelled = scheduler.scheduleDelayedTask(200000, count, &ran);
        scheduler.unscheduleDelayedTask(cancelled);
        (void)kept;
      }
    });
  }
  for (auto& t : threads) t.join();
  const auto until = Clock::now() + std::chrono::seconds(2);
  while (ran < 200 && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(ran.load(), 200);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  EXPECT_EQ(ran.load(), 200) << "no cancelled task ran";
  scheduler.StopThread();
  EXPECT_EQ(log.loopEnded.load(), 0);
}

// A loop thread that reads one end of a socket pair.
class LoopOnSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    int sockets[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
    ours.reset(sockets[0]);
    theirs.reset(sockets[1]);
    scheduler.setEventCallback(log.Callback());
    scheduler.turnOnBackgroundReadHandling(
        ours.get(), [](void* counter, int) { ++*static_cast<std::atomic<int>*>(counter); }, &handled);
    ASSERT_TRUE(scheduler.StartThread());
  }

  // Declared before the scheduler, so they outlive its loop thread.
  tlx::win32::Descriptor ours, theirs;
  EventLog log;
  std::atomic<int> handled{0};
  LockedTaskScheduler scheduler;
};

TEST_F(LoopOnSocket, AStopWhileTheLoopWaitsReturnsWithinHalfASecondQuietly) {
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto begin = Clock::now();
  scheduler.StopThread();
  EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(600));
  EXPECT_EQ(log.loopEnded.load(), 0);
}

TEST_F(LoopOnSocket, APeerThatClosesEndsTheLoopWithinOneStep) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto closed = Clock::now();
  theirs.reset();
  const auto until = closed + std::chrono::seconds(2);
  while (log.loopEnded == 0 && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_EQ(log.loopEnded.load(), 1);
  EXPECT_LT(log.endedAt - closed, std::chrono::milliseconds(500));
  EXPECT_EQ(handled.load(), 0) << "the handler is not called for a closed peer";
  scheduler.StopThread();
  EXPECT_EQ(log.loopEnded.load(), 1);
}

TEST(Statistics, RatesAndLossesFromTheReceptionCounters) {
  RTPReceptionStatsDB db;
  TlxQosMonitor monitor;
  monitor.lastTime = 10.0;
  monitor.last = ReadReceptionCounters(db);
  // 100 packets of 1000 bytes, sequence numbers 0..109 with 10 missing.
  for (uint16_t seq = 0; seq < 110; ++seq) {
    if (seq % 11 != 5) db.noteIncomingPacket(0x1234, seq, 1000);
  }
  monitor.Measure(ReadReceptionCounters(db), 12.0);
  EXPECT_DOUBLE_EQ(monitor.rate, 100 * 1000 / 1000.0 * 8 / 2.0);  // 400 kbit/s
  EXPECT_NEAR(monitor.loss, 10.0 / 110, 1e-9);
  // Nothing new, no time passed: rate 0 and loss 0.
  monitor.Measure(ReadReceptionCounters(db), 12.0);
  EXPECT_EQ(monitor.rate, 0);
  EXPECT_EQ(monitor.loss, 0) << "nothing was expected";
  // A later, slower second.
  for (uint16_t seq = 110; seq < 120; ++seq) db.noteIncomingPacket(0x1234, seq, 500);
  monitor.Measure(ReadReceptionCounters(db), 13.0);
  EXPECT_DOUBLE_EQ(monitor.rate, 10 * 500 / 1000.0 * 8);
  EXPECT_EQ(monitor.rateMin, 0);
  EXPECT_DOUBLE_EQ(monitor.rateMax, 400);
  EXPECT_EQ(monitor.lossMin, 0);
  EXPECT_NEAR(monitor.lossMax, 10.0 / 110, 1e-9);
}

TEST(Statistics, AudioGoesToTheFirstParameterAndVideoToTheSecond) {
  std::unique_ptr<BasicTaskScheduler> scheduler(BasicTaskScheduler::createNew());
  std::unique_ptr<BasicUsageEnvironment> env(BasicUsageEnvironment::createNew(*scheduler));
  const char* sdp =
      "v=0\r\ns=x\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\na=control:trackID=2\r\n"
      "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 mpeg4-generic/24000/2\r\na=control:trackID=1\r\n";
  std::unique_ptr<MediaSession> session(MediaSession::createNew(*env, sdp));
  ASSERT_TRUE(session);
  for (const auto& s : session->subsessions()) ASSERT_TRUE(s->initiate());
  TlxStreamingClientQOS qos(*session, *scheduler);
  std::vector<std::pair<double, double>> reports;
  qos.Start(100, [&](double audio, double video) { reports.emplace_back(audio, video); });
  MediaSubsession& video = *session->subsessions()[0];
  MediaSubsession& audio = *session->subsessions()[1];
  for (uint16_t seq = 0; seq < 50; ++seq) {
    video.rtpSource()->receptionStatsDB().noteIncomingPacket(1, seq, 2000);
    audio.rtpSource()->receptionStatsDB().noteIncomingPacket(2, seq, 200);
  }
  const auto until = Clock::now() + std::chrono::seconds(2);
  while (reports.empty() && Clock::now() < until) scheduler->SingleStep(50000);
  qos.Stop();
  ASSERT_FALSE(reports.empty());
  EXPECT_NEAR(reports[0].second / reports[0].first, 10.0, 0.01) << "video carried ten times the audio";
  EXPECT_GT(reports[0].first, 0);
}

class DebugLogs : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() /
             ("tlx-stream-logs-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  void Marker(const std::string& text) { std::ofstream(folder / "580317264") << text; }
  static std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path folder;
};

TEST_F(DebugLogs, TheMarkerOpensBothLogsWithTheirFirstLines) {
  Marker("580317264");
  StreamDebugLog log;
  ASSERT_TRUE(log.Open(folder));
  log.Sink("%u\t%u\tV\n", 1u, 2u);
  log.Debug("Drop frame %c\n", 'V');
  log.Close();
  EXPECT_EQ(Read(folder / "ts.log"), "clock\tts\tsize\tbuffuredFrames\n1\t2\tV\n");
  EXPECT_EQ(Read(folder / "TlxStreamingClientDbg.log"),
            "Type\tCounter\tSysClock\tStreamTime\tTimeStamp\tFramesInBuffer\tFrameSize\tDropped\nDrop frame V\n");
}

TEST_F(DebugLogs, AnyOtherMarkerOrNoneOpensNothing) {
  for (const char* marker : std::initializer_list<const char*>{"580317265", "58031726", nullptr}) {
    std::filesystem::remove(folder / "580317264");
    if (marker != nullptr) Marker(marker);
    StreamDebugLog log;
    EXPECT_FALSE(log.Open(folder));
    log.Sink("x\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "ts.log"));
    EXPECT_FALSE(std::filesystem::exists(folder / "TlxStreamingClientDbg.log"));
  }
}

}  // namespace

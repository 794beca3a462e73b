// The live class's operations over the scripted link library: its life with
// the link library, what it does without a graph, the tuner's channel
// selection, connecting and playing, and stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/tlx_pc_cmn_region.h"
#include "engine/filter_tables.h"
#include "engine/quality_presets.h"
#include "filters/streaming_client/tlx_stream_source_control.h"
#include "live_stream_fixture.h"
#include "thread_count.h"

namespace tlx::engine::test {
namespace {

using tlx::test::FakeTlxBcf;

std::vector<int> ChangeStates(const FakeTlxBcf& link) {
  std::vector<int> states;
  for (const auto& call : link.CallsOf("tlxRavixMgr_ChangeState")) states.push_back(call.ints.at(0));
  return states;
}

// The text of the source's last SetQuality call.
std::string LastQuality(TestLiveStream& stream) {
  auto control = stream.Control(CLSID_TlxStreamingClient);
  std::string quality;
  if (!control) return quality;
  for (const std::string& call : control->Calls()) {
    if (call.rfind("SetQuality ", 0) == 0) quality = call.substr(11);
  }
  return quality;
}

TEST(LiveStreamLife, TheLinkLibraryIsStartedOnceAndCleanedUpOnlyAfterAStart) {
  {
    FakeTlxBcf link;
    CTlxPcStmRavixIf* stream = CTlxPcStmRavixIf::pCreate(nullptr);
    ASSERT_NE(stream, nullptr);
    const auto init = link.CallsOf("tlxInit");
    ASSERT_EQ(init.size(), 1u);
    EXPECT_EQ(init[0].ints, (std::vector<int>{TlxPcCmnGetModelIdForMiddle(), 0, 0, 0, 0, 0}));
    ASSERT_EQ(link.CallsOf("tlxHnetMgr_SetConnType").size(), 1u);
    EXPECT_EQ(link.CallsOf("tlxHnetMgr_SetConnType")[0].ints, std::vector<int>{2});
    delete stream;
    EXPECT_EQ(link.CountCalls("tlxCleanup"), 1);
  }
  {
    // A failed start is not balanced by a clean-up.
    FakeTlxBcf link;
    link.SetResult("tlxInit", -1);
    EXPECT_EQ(CTlxPcStmRavixIf::pCreate(nullptr), nullptr);
    EXPECT_EQ(link.CountCalls("tlxCleanup"), 0);
    EXPECT_EQ(link.CountCalls("tlxHnetMgr_SetConnType"), 0);
  }
  {
    // The start succeeded, the connection type did not: balanced.
    FakeTlxBcf link;
    link.SetResult("tlxHnetMgr_SetConnType", 3);
    EXPECT_EQ(CTlxPcStmRavixIf::pCreate(nullptr), nullptr);
    EXPECT_EQ(link.CountCalls("tlxCleanup"), 1);
  }
}

TEST_F(LiveStreamTest, WithoutAGraphTheOperationsFailWithInterfaceMissing) {
  struct Case {
    const char* name;
    std::function<int()> call;
    int line;
  };
  long width = 0, height = 0;
  const Case cases[] = {
      {"bStopMovie", [&] { return stream_->bStopMovie(); }, 88},
      {"bIsRanMovie", [&] { return stream_->bIsRanMovie(); }, 207},
      {"bGetVideoSize", [&] { return stream_->bGetVideoSize(width, height); }, 144},
      {"bSetVolume", [&] { return stream_->bSetVolume(5000); }, 166},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(c.call());
    ExpectRecord(c.line, 3);
    EXPECT_EQ(stream_->hGetLastErrorCodeForDirectX(), S_OK);
  }
  // Placement without a video window keeps the area for the next graph.
  EXPECT_TRUE(stream_->bSetMoviePosition(1, 2, 3, 4));
  // The stop still tells the base station, in this order.
  EXPECT_EQ(ChangeStates(link_), (std::vector<int>{3, 0}));
  DWORD video = 7, audio = 7;
  EXPECT_TRUE(stream_->bGetActualBitrate(video, audio));
  EXPECT_TRUE(stream_->bSetMovieFile(CString(u"ignored")));
  EXPECT_TRUE(stream_->bCleanup());
}

TEST_F(LiveStreamTest, TheLinkLibraryOperationsPassTheirValuesAndResults) {
  int out = 0;
  link_.SetBitrateOut(42);
  EXPECT_TRUE(stream_->bSetBitrate(1007, &out));
  EXPECT_EQ(out, 42);
  link_.SetResult("tlxRavixMgr_SetBitrate", -1);
  EXPECT_FALSE(stream_->bSetBitrate(505, nullptr));
  ExpectRecord(390, 14);

  link_.SetResult("tlxTvMgr_GetVideoIn", 2);
  int input = 0;
  EXPECT_TRUE(stream_->bGetVideoIn(input));
  EXPECT_EQ(input, 2);
  link_.SetResult("tlxTvMgr_GetVideoIn", -1);
  EXPECT_FALSE(stream_->bGetVideoIn(input));

  EXPECT_TRUE(stream_->bSetPictureCtrl(1, -2, 3, 4, 5));
  EXPECT_EQ(link_.CallsOf("tlxTvMgr_SetPictureCtrl").back().ints, (std::vector<int>{1, -2, 3, 4, 5}));
  link_.SetResult("tlxTvMgr_SetPictureCtrl", 1);
  EXPECT_FALSE(stream_->bSetPictureCtrl(0, 0, 0, 0, 0));

  EXPECT_TRUE(stream_->bSetupTVParams(4, u"Kan\u00e4l"));
  EXPECT_EQ(link_.CallsOf("tlxTvMgr_SetTVParams").back().ints, std::vector<int>{4});
  EXPECT_EQ(link_.CallsOf("tlxTvMgr_SetTVParams").back().text, "Kan\xc3\xa4l");
  link_.SetResult("tlxTvMgr_SetTVParams", 5);
  EXPECT_FALSE(stream_->bSetupTVParams(4, u"x"));

  stream_->vSetMultiSound();
  EXPECT_EQ(link_.CountCalls("tlxTvMgr_ChangeAudioBli"), 1);
}

TEST_F(LiveStreamTest, ChannelSelection) {
  struct Case {
    int source, band, channel;
    int result;
    std::vector<int> sent;  // empty: no call
  };
  const Case cases[] = {
      {0, 0, 12, TRUE, {0, 0, 12, 0, 0}},
      {0, 1, 12, TRUE, {}},  // band 1 goes out as 0: the same selection
      {0, 2, 12, TRUE, {0, 1, 12, 0, 0}},
      {0, 3, 12, TRUE, {0, 2, 12, 0, 0}},
      {1, 0, 12, TRUE, {1, 0, 12, 0, 0}},
      {2, 0, 12, TRUE, {2, 0, 12, 0, 0}},
      {2, 0, 12, TRUE, {}},
      {3, 0, 12, FALSE, {}},
      {-1, 0, 12, FALSE, {}},
      {0, 4, 12, FALSE, {}},
      {0, -1, 12, FALSE, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.source << " " << c.band);
    const int before = link_.CountCalls("tlxTvMgr_SelectEx");
    EXPECT_EQ(stream_->bSetSelectChannel(c.source, c.band, c.channel, 0), c.result);
    const auto calls = link_.CallsOf("tlxTvMgr_SelectEx");
    if (c.sent.empty()) {
      EXPECT_EQ(static_cast<int>(calls.size()), before);
    } else {
      ASSERT_EQ(static_cast<int>(calls.size()), before + 1);
      EXPECT_EQ(calls.back().ints, c.sent);
    }
  }
  // A refused selection is not remembered: asking again asks the base again.
  link_.SetResult("tlxTvMgr_SelectEx", 1);
  EXPECT_FALSE(stream_->bSetSelectChannel(0, 0, 5, 0));
  link_.SetResult("tlxTvMgr_SelectEx", 0);
  EXPECT_TRUE(stream_->bSetSelectChannel(0, 0, 5, 0));
  EXPECT_EQ(link_.CallsOf("tlxTvMgr_SelectEx").back().ints, (std::vector<int>{0, 0, 5, 0, 0}));
}

TEST_F(LiveStreamTest, AFlushingSelectionFlushesTheRendererUnlessTheIniSaysNo) {
  ASSERT_TRUE(Initialize());
  auto renderer = stream_->Control(CLSID_RavixDSAudRenderer);
  ASSERT_TRUE(renderer);
  auto flushes = [&] {
    int count = 0;
    for (const std::string& call : renderer->Calls()) count += call == "FlashBuffers 0";
    return count;
  };
  EXPECT_TRUE(stream_->bSetSelectChannel(0, 3, 12, 1));
  EXPECT_EQ(flushes(), 1);
  EXPECT_TRUE(stream_->bSetSelectChannel(0, 3, 12, 1));  // the same again: nothing
  EXPECT_EQ(flushes(), 1);
  ini_.Rewrite("[Pelmo]\nFlashBuffer=0\n");
  EXPECT_TRUE(stream_->bSetSelectChannel(0, 3, 13, 1));
  EXPECT_EQ(flushes(), 1);
  EXPECT_TRUE(stream_->bSetSelectChannel(0, 3, 14, 0));
  EXPECT_TRUE(stream_->bSendFlashBuffers());
  EXPECT_EQ(flushes(), 1);
  ini_.Rewrite("");
  EXPECT_TRUE(stream_->bSendFlashBuffers());
  EXPECT_EQ(flushes(), 2);
}

TEST_F(LiveStreamTest, VolumeIsSentInHundredthsOfADecibelAndRemembered) {
  ASSERT_TRUE(Initialize());
  auto renderer = stream_->Control(CLSID_RavixDSAudRenderer);
  ASSERT_TRUE(renderer);
  renderer->ClearCalls();
  EXPECT_TRUE(stream_->bSetVolume(10000));
  EXPECT_TRUE(stream_->bSetVolume(0));
  EXPECT_EQ(renderer->Calls(), (std::vector<std::string>{"put_Volume 0", "put_Volume -10000"}));
  long volume = 1;
  EXPECT_TRUE(stream_->bGetVolume(volume));
  EXPECT_EQ(volume, 0);
}

class LiveRunTest : public LiveStreamTest {
 protected:
  void SetUp() override {
    LiveStreamTest::SetUp();
    ASSERT_TRUE(Initialize());
    stream_->vSetServerAddress(u"127.0.0.1", 0x10000 + 5004);
    TLX_BASE_INFO info{};
    info.codec = 1;
    link_.SetBaseInfo(info);
    ClearCallbacks();
  }
  int Run(int code = 505, int autoBitrate = 0, int frameRate = 30, int useAvc = 1) {
    return stream_->bRunMovie(1, code, autoBitrate, autoAvailable_, avcAvailable_, 0, 0, 0, 0, frameRate, useAvc);
  }
  int autoAvailable_ = -1;
  int avcAvailable_ = -1;
};

TEST_F(LiveRunTest, ASuccessfulRunStartsTheStreamAndHandsTheServerToTheSource) {
  ASSERT_TRUE(Run());
  EXPECT_EQ(ChangeStates(link_), (std::vector<int>{1, 2}));
  // Event 0 goes out before the base station is asked to stream.
  ASSERT_FALSE(Callbacks().empty());
  EXPECT_EQ(Callbacks().front(), N(0));
  const auto calls = link_.Calls();
  size_t startAt = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].name == "tlxRavixMgr_ChangeState" && calls[i].ints.at(0) == 1) startAt = i;
  }
  EXPECT_GT(startAt, 0u);
  auto source = stream_->Control(CLSID_TlxStreamingClient);
  ASSERT_TRUE(source);
  const auto sourceCalls = source->Calls();
  EXPECT_NE(std::find(sourceCalls.begin(), sourceCalls.end(), "SetServer 127.0.0.1 5004"), sourceCalls.end());
  EXPECT_TRUE(stream_->bIsRanMovie());
  EXPECT_EQ(autoAvailable_, 0);
  EXPECT_EQ(avcAvailable_, 0);
  EXPECT_EQ(stream_->GetChangeStateError(), 0);

  link_.SetChangeStateResult(3, 4);
  EXPECT_TRUE(stream_->bStopMovie());
  EXPECT_EQ(ChangeStates(link_), (std::vector<int>{1, 2, 3, 0}));
  EXPECT_EQ(stream_->GetChangeStateError(), 4);
  EXPECT_FALSE(stream_->bIsRanMovie());
}

TEST_F(LiveRunTest, ARefusedStartLeavesAFreshGraphAndTheStateChangeError) {
  link_.SetChangeStateResult(1, 7);
  EXPECT_FALSE(Run());
  ExpectRecord(454, 4);
  EXPECT_EQ(stream_->GetChangeStateError(), 7);
  EXPECT_EQ(ChangeStates(link_), (std::vector<int>{1, 0}));
  EXPECT_TRUE(stream_->Graph());
  EXPECT_TRUE(stream_->Filter(CLSID_TlxStreamingClient));

  // The idle request's own failure replaces the start's.
  link_.SetChangeStateResult(0, 9);
  EXPECT_FALSE(Run());
  EXPECT_EQ(stream_->GetChangeStateError(), 9);
}

TEST_F(LiveRunTest, AnAbortDuringTheStartStopsTheStartingSession) {
  link_.BlockStart();
  int result = -1;
  std::thread controller([&] { result = Run(); });
  ASSERT_TRUE(link_.WaitStartBlocked());
  EXPECT_TRUE(stream_->bIsMiddleConnecting());
  stream_->vAbortConnectionAsync();
  controller.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(stream_->bIsMiddleConnecting());
  const auto states = ChangeStates(link_);
  ASSERT_GE(states.size(), 2u);
  EXPECT_EQ(states[0], 1);
  EXPECT_EQ(states[1], 3);
  ExpectRecord(454, 4);
}

TEST_F(LiveRunTest, AnAbortAfterTheStartWithdrawsTheRequestAndTheGraphIsNotRun) {
  // While the graph is being built, after the base station answered.
  stream_->onAddFilter = [this] {
    if (link_.CountCalls("tlxRavixMgr_GetBaseInfo") > 0 && !stream_->bIsMiddleConnecting()) {
      stream_->vAbortConnectionAsync();
    }
  };
  EXPECT_FALSE(Run());
  stream_->onAddFilter = nullptr;
  EXPECT_EQ(ChangeStates(link_), (std::vector<int>{1, 0}));
  EXPECT_FALSE(stream_->bIsRanMovie());
}

TEST_F(LiveRunTest, WhatTheBaseStationReportsShapesTheQualityString) {
  // No AVC with the automatic step: code 507, automatic, parameters cleared.
  TLX_BASE_INFO info{};
  info.codec = 1;
  link_.SetBaseInfo(info);
  ASSERT_TRUE(stream_->bRunMovie(1, 1007, 0, autoAvailable_, avcAvailable_, 64000, 48000, 640, 480, 15, 1));
  std::string expected = PresetEntry(0, 1, 3);
  expected = "DSP/vbr=500000" + expected.substr(expected.find('.'));
  EXPECT_EQ(LastQuality(*stream_), expected);
  EXPECT_EQ(avcAvailable_, 0);
  ASSERT_TRUE(stream_->bStopMovie());

  // AVC offered and allowed: the AVC row; frame rate 25 is not passed on,
  // 15 is.
  info.codec = 5;
  info.type3 = 1;
  link_.SetBaseInfo(info);
  ASSERT_TRUE(stream_->bRunMovie(1, 1007, 0, autoAvailable_, avcAvailable_, 0, 0, 0, 0, 25, 1));
  EXPECT_EQ(autoAvailable_, 1);
  EXPECT_EQ(avcAvailable_, 1);
  EXPECT_TRUE(stream_->Filter(CLSID_AvcDecFilter));
  std::string quality = LastQuality(*stream_);
  EXPECT_NE(quality.find("vbr=1000000."), std::string::npos) << quality;
  EXPECT_NE(quality.find(".vfr=30."), std::string::npos) << quality;
  ASSERT_TRUE(stream_->bStopMovie());
  ASSERT_TRUE(stream_->bRunMovie(1, 1007, 0, autoAvailable_, avcAvailable_, 0, 0, 0, 0, 15, 1));
  quality = LastQuality(*stream_);
  EXPECT_NE(quality.find(".vfr=15."), std::string::npos) << quality;
  ASSERT_TRUE(stream_->bStopMovie());

  // AVC not allowed by the caller, automatic flag, a manual step: no width.
  ASSERT_TRUE(stream_->bRunMovie(1, 505, 1, autoAvailable_, avcAvailable_, 0, 0, 640, 0, 30, 0));
  EXPECT_TRUE(stream_->Filter(CLSID_Mpeg4VideoDecoder));
  quality = LastQuality(*stream_);
  EXPECT_NE(quality.find(".vw=320."), std::string::npos) << quality;
}

TEST_F(LiveRunTest, AHideThatFailsStillStopsTheGraphAndTheSession) {
  ASSERT_TRUE(Run());
  auto renderer = stream_->Control(CLSID_VideoMixingRenderer9);
  ASSERT_TRUE(renderer);
  renderer->SetResult("put_Visible", E_FAIL);
  EXPECT_FALSE(stream_->bStopMovie());
  ExpectRecord(533, 12);
  EXPECT_EQ(ChangeStates(link_), (std::vector<int>{1, 2, 3, 0}));
  EXPECT_FALSE(stream_->bIsRanMovie());
}

// The user-interface thread places the video and aborts, the graph's and the
// link library's events come in, while the controller connects, stops and
// cleans up: every caller finishes (the sanitizer build checks the sharing).
TEST_F(LiveRunTest, CallersOnOtherThreadsDuringRunAndStopCycles) {
  std::atomic<bool> done{false};
  std::thread controller([&] {
    for (int cycle = 0; cycle < 4; ++cycle) {
      Run(cycle % 2 == 0 ? 505 : 1007);
      stream_->bStopMovie();
      stream_->bCleanup();
    }
    done = true;
  });
  std::thread userInterface([&] {
    for (int i = 0; !done && i < 100000; ++i) {
      stream_->bSetMoviePosition(i % 50, 10, 640, 480);
      if (i % 7 == 0) stream_->vAbortConnectionAsync();
      if (i % 5 == 0) stream_->vAbortConnection();
      std::this_thread::yield();
    }
  });
  std::thread events([&] {
    const long codes[] = {EC_TLX_CONNECT_BEGIN, EC_TLX_FRAME_READY, EC_TLX_AUTH_END, EC_VMR_RENDERDEVICE_SET,
                          EC_TLX_STATISTICS, EC_TLX_STOP_END};
    for (int i = 0; !done && i < 100000; ++i) {
      stream_->Raise(codes[i % 6]);
      if (i % 3 == 0) link_.FireEvent(EVENT_ID_TV, {2, 1});
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  controller.join();
  userInterface.join();
  events.join();
  EXPECT_TRUE(stream_->bCleanup());
  EXPECT_TRUE(link_.AttachedMasks().empty());
}

TEST_F(LiveStreamTest, TheThreadAndTheCallbacksEndWithTheObject) {
  const size_t before = SteadyThreadCount();
  ASSERT_TRUE(Initialize());
  EXPECT_EQ(link_.AttachedMasks(), (std::vector<unsigned>{0x200, 0x20000, 0x4000}));
  EXPECT_GT(ThreadCount(), before);
  // Deleted without bCleanup.
  stream_.reset();
  EXPECT_TRUE(link_.AttachedMasks().empty());
  EXPECT_EQ(ThreadCountSettledAt(before), before);
}

TEST_F(LiveStreamTest, AThreadHeldInACallbackIsDetachedAndCallsNoMore) {
  ASSERT_TRUE(Initialize());
  HoldCallbacks(true);
  ASSERT_EQ(stream_->Raise(EC_TLX_CONNECT_BEGIN), S_OK);
  ASSERT_TRUE(WaitForCallbacks(1));
  ASSERT_EQ(stream_->Raise(EC_TLX_CONNECT_END), S_OK);
  EXPECT_FALSE(stream_->bCleanup());
  ExpectRecord(364, 1);
  HoldCallbacks(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Callbacks(), std::vector<CallbackCall>{N(0)});
}

TEST_F(LiveStreamTest, AFailedAttachCleansUpAndReportsItsLine) {
  struct Case {
    unsigned mask;
    int line;
  };
  for (const Case& c : {Case{0x200, 1826}, Case{0x20000, 1833}, Case{0x4000, 1840}}) {
    SCOPED_TRACE(c.line);
    link_.FailAttach(c.mask);
    EXPECT_FALSE(Initialize());
    ExpectRecord(c.line, 1);
    EXPECT_FALSE(stream_->Graph());
    EXPECT_TRUE(link_.AttachedMasks().empty());
    link_.FailAttach(c.mask, false);
  }
}

}  // namespace
}  // namespace tlx::engine::test

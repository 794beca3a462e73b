// The video renderer without a QApplication: its classes, the types it takes,
// when it presents, its end of stream and its picture rectangles. Here it
// presents into its frame slot only.
#include <chrono>
#include <mutex>
#include <thread>

#include "dshow/base_filter.h"
#include "renderer_fixture.h"

namespace tlx::dshow::video::test {
namespace {

using dshow::test::PinOf;
using dshow::test::WaitFor;

constexpr REFERENCE_TIME kFrame = 400000;  // 40 ms

TEST(VideoRendererClasses, EachKindAnswersItsOwnAspectControlAndNoClock) {
  struct Case {
    const CLSID* clsid;
    bool aspect9;
    bool aspect7;
  };
  for (const Case& c : {Case{&CLSID_VideoMixingRenderer9, true, false}, Case{&CLSID_VideoMixingRenderer, false, true},
                        Case{&CLSID_VideoRenderer, false, false}}) {
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.ReceiveVoid()), S_OK);
    CLSID clsid{};
    filter->GetClassID(&clsid);
    EXPECT_EQ(clsid, *c.clsid);
    EXPECT_TRUE(filter.As<IVideoWindow>(IID_IVideoWindow));
    EXPECT_TRUE(filter.As<IBasicVideo>(IID_IBasicVideo));
    EXPECT_TRUE(filter.As<IMediaSeeking>(IID_IMediaSeeking)) << "seeking passes upstream";
    EXPECT_FALSE(filter.As<IReferenceClock>(IID_IReferenceClock)) << "the audio renderer's clock leads";
    auto aspect9 = filter.As<IVMRAspectRatioControl9>(IID_IVMRAspectRatioControl9);
    auto aspect7 = filter.As<IVMRAspectRatioControl>(IID_IVMRAspectRatioControl);
    EXPECT_EQ(bool(aspect9), c.aspect9);
    EXPECT_EQ(bool(aspect7), c.aspect7);
    if (aspect9) {
      DWORD mode = 99;
      EXPECT_EQ(aspect9->GetAspectRatioMode(&mode), S_OK);
      EXPECT_EQ(mode, VMR_ARMODE_NONE) << "the start value";
      EXPECT_EQ(aspect9->SetAspectRatioMode(VMR_ARMODE_LETTER_BOX), S_OK);
      EXPECT_EQ(aspect9->SetAspectRatioMode(2), E_INVALIDARG);
      aspect9->GetAspectRatioMode(&mode);
      EXPECT_EQ(mode, VMR_ARMODE_LETTER_BOX) << "a refused mode changes nothing";
    }
  }
}

class VideoRendererTypes : public RendererGraph {};

TEST_F(VideoRendererTypes, TakesTheListedLayoutsAndRefusesTheRest) {
  ASSERT_EQ(CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             renderer.ReceiveVoid()),
            S_OK);
  ComPtr<IPin> in = PinOf(renderer.Get(), u"In");
  ComPtr<IPin> out = PinOf(sourceFilter.Get(), u"1");
  struct Case {
    CMediaType type;
    bool accepted;
  };
  CMediaType audio = VideoType(MEDIASUBTYPE_RGB32, 8, 8);
  audio.SetType(&MEDIATYPE_Audio);
  CMediaType shortBlock = VideoType(MEDIASUBTYPE_RGB32, 8, 8);
  shortBlock.ReallocFormatBuffer(sizeof(VIDEOINFOHEADER) - 4);
  std::vector<Case> cases = {
      {VideoType(MEDIASUBTYPE_YV12, 8, 8), true},
      {VideoType(MEDIASUBTYPE_YUY2, 7, 3, false, true), true},
      {VideoType(MEDIASUBTYPE_RGB32, 8, 8, true), true},
      {VideoType(MEDIASUBTYPE_RGB24, 5, 5, false, true), true},
      {VideoType(MEDIASUBTYPE_RGB565, 8, 8), true},
      {VideoType(MEDIASUBTYPE_RGB555, 8, 8, true, true), true},
      {VideoType(MEDIASUBTYPE_Y41P, 8, 8), false},
      {VideoType(MEDIASUBTYPE_UYVY, 8, 8), false},
      {VideoType(MEDIASUBTYPE_RGB8, 8, 8), false},
      {audio, false},
      {shortBlock, false},
      {VideoType(MEDIASUBTYPE_RGB32, 0, 8), false},
      {VideoType(MEDIASUBTYPE_RGB32, 8, 0), false},
      {VideoType(MEDIASUBTYPE_RGB32, kMaxPictureSide + 1, 8), false},
      {VideoType(MEDIASUBTYPE_RGB32, 8, kMaxPictureSide + 1, true), false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    HRESULT hr = in->ReceiveConnection(out.Get(), &cases[i].type);
    EXPECT_EQ(hr, cases[i].accepted ? S_OK : VFW_E_TYPE_NOT_ACCEPTED);
    if (hr == S_OK) {
      long width = 0, height = 0;
      EXPECT_EQ(renderer.As<IBasicVideo>(IID_IBasicVideo)->GetVideoSize(&width, &height), S_OK);
      const auto* header = &reinterpret_cast<VIDEOINFOHEADER*>(cases[i].type.Format())->bmiHeader;
      if (cases[i].type.formattype == FORMAT_VideoInfo2) {
        header = &reinterpret_cast<VIDEOINFOHEADER2*>(cases[i].type.Format())->bmiHeader;
      }
      EXPECT_EQ(width, header->biWidth);
      EXPECT_EQ(height, std::abs(header->biHeight));
      in->Disconnect();
    }
  }
}

class VideoRendererSchedule : public RendererGraph {
 protected:
  void SetUp() override {
    RendererGraph::SetUp();
    clock->SetTime(50 * UNITS);
  }
  // Records every presentation.
  void Watch() {
    probe->SetPresentHook([this](const PresentedFrame& frame) {
      std::lock_guard lock(lock_);
      presented_.push_back(frame);
    });
  }
  std::vector<PresentedFrame> Presented() {
    std::lock_guard lock(lock_);
    return presented_;
  }
  REFERENCE_TIME RunStart() { return static_cast<CBaseFilter*>(renderer.Get())->StartTime(); }

 private:
  std::mutex lock_;
  std::vector<PresentedFrame> presented_;
};

TEST_F(VideoRendererSchedule, NoFrameBeforeItsTimeThenOneCompletionAfterTheLast) {
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 4, 4)));
  Watch();
  std::vector<BYTE> picture(64, 0);
  source->SetScript({ScriptItem::Sample(picture, 0, kFrame), ScriptItem::Sample(picture, kFrame, 2 * kFrame),
                     ScriptItem::Sample(picture, 2 * kFrame, 3 * kFrame), ScriptItem::EndOfStream()});
  Run();
  const REFERENCE_TIME start = RunStart();
  for (LONG i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    // Just before the frame's time the clock is read many times, in vain.
    clock->SetTime(start + i * kFrame - 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(probe->PresentedCount(), i);
    EXPECT_EQ(NextEvent(0), 0) << "no completion before the last frame";
    clock->SetTime(start + i * kFrame);
    EXPECT_TRUE(WaitFor([&] { return probe->PresentedCount() == i + 1; }));
  }
  EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
  EXPECT_EQ(NextEvent(100), 0) << "one completion";
  auto frames = Presented();
  ASSERT_EQ(frames.size(), 3u);
  for (size_t i = 0; i < frames.size(); ++i) {
    EXPECT_TRUE(frames[i].timed);
    EXPECT_EQ(frames[i].sampleStart, static_cast<REFERENCE_TIME>(i) * kFrame) << "in order";
    EXPECT_EQ(frames[i].runStart, start);
    EXPECT_GE(frames[i].clockTime - frames[i].runStart, frames[i].sampleStart) << "not before it is due";
  }
  EXPECT_FALSE(probe->CurrentFrame().isNull()) << "headless, the frame slot holds the picture";
}

TEST_F(VideoRendererSchedule, StopDuringAWaitReturnsPromptlyWithoutPresenting) {
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 4, 4)));
  source->SetScript({ScriptItem::Sample(std::vector<BYTE>(64, 0), 100 * UNITS, 101 * UNITS)});
  Run();
  // The sample is held in the wait while the clock stands still.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(control->Stop(), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
  EXPECT_EQ(probe->PresentedCount(), 0);
}

TEST_F(VideoRendererSchedule, PauseHoldsTheWaitingSampleUntilTheNextRun) {
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 4, 4)));
  source->SetScript({ScriptItem::Sample(std::vector<BYTE>(64, 0), kFrame, 2 * kFrame)});
  Run();
  const REFERENCE_TIME firstStart = RunStart();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(control->Pause(), S_OK);
  // The time the sample had in the first run passes while paused.
  clock->SetTime(firstStart + 10 * kFrame);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(probe->PresentedCount(), 0);
  Run();
  const REFERENCE_TIME secondStart = RunStart();
  EXPECT_GT(secondStart, firstStart);
  clock->SetTime(secondStart + kFrame - 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(probe->PresentedCount(), 0) << "due again by the new run's start";
  clock->SetTime(secondStart + kFrame);
  EXPECT_TRUE(WaitFor([&] { return probe->PresentedCount() == 1; }));
}

TEST_F(VideoRendererSchedule, UntimedLateAndClocklessSamplesAreShownAtOnce) {
  struct Case {
    const char* name;
    bool timed;
    REFERENCE_TIME start;
    bool clocked;
  };
  for (const Case& c : {Case{"untimed", false, 0, true}, Case{"late", true, -10 * UNITS, true},
                        Case{"no clock", true, 100 * UNITS, false}}) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 4, 4)));
    if (!c.clocked) graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
    std::vector<BYTE> picture(64, 0);
    source->SetScript({c.timed ? ScriptItem::Sample(picture, c.start, c.start + kFrame) : ScriptItem::Untimed(picture)});
    Run();
    EXPECT_TRUE(WaitFor([&] { return probe->PresentedCount() == 1; })) << "the clock never moves";
  }
}

TEST_F(VideoRendererSchedule, PauseIsCompleteWithoutAFirstSample) {
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 4, 4)));
  EXPECT_EQ(control->Pause(), S_OK);
  OAFilterState state = -1;
  EXPECT_EQ(control->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Paused);
}

TEST_F(VideoRendererSchedule, TypeChangesOnSamplesAndShortSamples) {
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 4, 4), CLSID_VideoMixingRenderer9, 4096));
  Watch();
  ScriptItem changed = ScriptItem::Untimed(std::vector<BYTE>(7 * 3 * 2 + 3 * 2, 0x80));
  changed.type = VideoType(MEDIASUBTYPE_YUY2, 7, 3, false, true);
  ScriptItem shortOne = ScriptItem::Untimed(std::vector<BYTE>(10, 0));
  ScriptItem refused = ScriptItem::Untimed(std::vector<BYTE>(64, 0));
  refused.type = VideoType(MEDIASUBTYPE_UYVY, 4, 4);
  source->SetScript({ScriptItem::Untimed(std::vector<BYTE>(64, 0)), changed, shortOne, refused});
  Run();
  ASSERT_TRUE(WaitFor([&] { return probe->PresentedCount() == 2; }));
  EXPECT_EQ(probe->CurrentFrame().size(), QSize(7, 3)) << "the second picture came in its own type";
  long width = 0, height = 0;
  EXPECT_EQ(video->GetVideoSize(&width, &height), S_OK);
  EXPECT_EQ(QSize(width, height), QSize(7, 3));
  // A YUY2 grey of 0x80 is RGB 130 in studio range.
  EXPECT_EQ(probe->CurrentFrame().pixel(6, 2), qRgb(130, 130, 130));
  EXPECT_TRUE(WaitFor([&] { return NextEvent(10) == EC_ERRORABORT; })) << "a stream that turns to a refused type stops";
  EXPECT_EQ(probe->PresentedCount(), 2) << "neither the short sample nor the refused one";
}

TEST_F(VideoRendererSchedule, SeekingTheGraphReachesTheSource) {
  ASSERT_NO_FATAL_FAILURE(Build(VideoType(MEDIASUBTYPE_RGB32, 1, 1)));
  Watch();
  std::vector<ScriptItem> script;
  for (int i = 0; i < 3; ++i) script.push_back(ScriptItem::Sample(std::vector<BYTE>(4, BYTE(i + 1)), i * UNITS, (i + 1) * UNITS));
  source->SetScript(script);
  auto seeking = graph.As<IMediaSeeking>(IID_IMediaSeeking);
  ASSERT_TRUE(seeking);
  LONGLONG position = 2 * UNITS;
  ASSERT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  Run();
  clock->SetTime(RunStart());
  ASSERT_TRUE(WaitFor([&] { return probe->PresentedCount() == 1; }));
  EXPECT_EQ(qBlue(probe->CurrentFrame().pixel(0, 0)), 3) << "the source went on from the third sample";
}

class VideoRendererRectangles : public RendererGraph {};

TEST_F(VideoRendererRectangles, DefaultsAndLimitsOfTheSourceAndDestination) {
  ASSERT_EQ(CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_IBasicVideo,
                             video.ReceiveVoid()),
            S_OK);
  long l, t, w, h;
  EXPECT_EQ(video->GetVideoSize(&w, &h), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(video->SetSourcePosition(0, 0, 4, 4), VFW_E_NOT_CONNECTED);
  renderer = video.As<IBaseFilter>(IID_IBaseFilter);
  window = video.As<IVideoWindow>(IID_IVideoWindow);
  CMediaType type = VideoType(MEDIASUBTYPE_RGB32, 64, 48);
  ASSERT_EQ(PinOf(renderer.Get(), u"In")->ReceiveConnection(PinOf(sourceFilter.Get(), u"1").Get(), &type), S_OK);

  EXPECT_EQ(video->GetSourcePosition(&l, &t, &w, &h), S_OK);
  EXPECT_EQ((std::vector<long>{l, t, w, h}), (std::vector<long>{0, 0, 64, 48})) << "the whole picture";
  EXPECT_EQ(window->GetWindowPosition(&l, &t, &w, &h), S_OK);
  EXPECT_EQ((std::vector<long>{w, h}), (std::vector<long>{64, 48})) << "the window takes the picture's size";
  ASSERT_EQ(window->SetWindowPosition(-10, -20, 320, 240), S_OK) << "partly outside the owner";
  EXPECT_EQ(video->GetDestinationPosition(&l, &t, &w, &h), S_OK);
  EXPECT_EQ((std::vector<long>{l, t, w, h}), (std::vector<long>{0, 0, 320, 240})) << "the whole widget";
  EXPECT_EQ(video->IsUsingDefaultSource(), S_OK);

  struct Case {
    long l, t, w, h;
    HRESULT source;
    HRESULT dest;
  };
  for (const Case& c : {Case{0, 0, 64, 48, S_OK, S_OK}, Case{4, 4, 60, 44, S_OK, S_OK},
                        Case{4, 4, 61, 44, E_INVALIDARG, S_OK}, Case{-1, 0, 10, 10, E_INVALIDARG, S_OK},
                        Case{0, 0, 0, 10, E_INVALIDARG, E_INVALIDARG}, Case{0, 0, 10, -5, E_INVALIDARG, E_INVALIDARG},
                        Case{-50, -50, 500, 500, E_INVALIDARG, S_OK},
                        Case{0, 0, 0x7FFFFFFFL, 10, E_INVALIDARG, S_OK},
                        Case{1, 0, 0x7FFFFFFFL, 10, E_INVALIDARG, E_INVALIDARG}}) {
    SCOPED_TRACE(testing::Message() << c.l << "," << c.t << "," << c.w << "," << c.h);
    video->SetDefaultSourcePosition();
    EXPECT_EQ(video->SetSourcePosition(c.l, c.t, c.w, c.h), c.source);
    video->GetSourcePosition(&l, &t, &w, &h);
    const std::vector<long> expected =
        c.source == S_OK ? std::vector<long>{c.l, c.t, c.w, c.h} : std::vector<long>{0, 0, 64, 48};
    EXPECT_EQ((std::vector<long>{l, t, w, h}), expected) << "a refused source changes nothing";
    EXPECT_EQ(video->SetDestinationPosition(c.l, c.t, c.w, c.h), c.dest);
    if (c.dest == S_OK) {
      video->GetDestinationPosition(&l, &t, &w, &h);
      EXPECT_EQ((std::vector<long>{l, t, w, h}), (std::vector<long>{c.l, c.t, c.w, c.h}));
    }
  }
  EXPECT_EQ(video->IsUsingDefaultDestination(), S_FALSE);
  ASSERT_EQ(video->SetSourcePosition(0, 0, 32, 24), S_OK);
  EXPECT_EQ(video->put_SourceLeft(8), S_OK);
  EXPECT_EQ(video->get_SourceLeft(&l), S_OK);
  EXPECT_EQ(l, 8);
  EXPECT_EQ(video->put_SourceWidth(60), E_INVALIDARG) << "8 + 60 leaves the picture";
  PinOf(renderer.Get(), u"In")->Disconnect();
  EXPECT_EQ(video->GetVideoSize(&w, &h), VFW_E_NOT_CONNECTED);
}

}  // namespace
}  // namespace tlx::dshow::video::test

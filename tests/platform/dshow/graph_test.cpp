#include <gtest/gtest.h>

#include "graph_fixture.h"

namespace tlx::dshow::test {
namespace {

constexpr REFERENCE_TIME kMs = 10000;

std::vector<ScriptItem> ThreeSamplesAndEnd() {
  return {ScriptItem::Sample(Bytes({1, 2}), 0, 100 * kMs), ScriptItem::Sample(Bytes({3}), 100 * kMs, 200 * kMs),
          ScriptItem::Sample(Bytes({4}), 200 * kMs, 300 * kMs), ScriptItem::EndOfStream()};
}

TEST_F(GraphFixture, StateChangesGoDownstreamFirstAndRepeat) {
  Build();
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(control->Pause(), S_OK);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"renderer:Pause", "marker:Pause", "source:Pause"}));
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"renderer:Run", "marker:Run", "source:Run"}));
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"renderer:Stop", "marker:Stop", "source:Stop"}));
  }
  OAFilterState state;
  EXPECT_EQ(control->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
}

TEST_F(GraphFixture, FailedPauseReturnsEveryFilterToStopped) {
  Build();
  marker->FailNextPause(VFW_E_RUNTIME_ERROR);
  EXPECT_EQ(control->Pause(), VFW_E_RUNTIME_ERROR);
  std::vector<std::string> order = log.Take();
  ASSERT_GE(order.size(), 2u);
  EXPECT_EQ(order[0], "renderer:Pause");
  EXPECT_EQ(order[1], "marker:Pause");
  EXPECT_EQ(std::count(order.begin(), order.end(), "source:Pause"), 0) << "nothing upstream of the failure pauses";
  for (IBaseFilter* filter : {sourceFilter.Get(), markerFilter.Get(), rendererFilter.Get()}) {
    FILTER_STATE state;
    filter->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
  }
  OAFilterState graphState;
  control->GetState(0, &graphState);
  EXPECT_EQ(graphState, State_Stopped);
  // The graph can start afterwards.
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  source->SetScript(ThreeSamplesAndEnd());
  EXPECT_EQ(control->Run(), S_OK);
  EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
}

TEST_F(GraphFixture, SamplesPassWithTheirPropertiesAndOneCompletionArrives) {
  Build();
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  renderer->SetAcceptedTypes({{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}, {MEDIATYPE_Video, MEDIASUBTYPE_YUY2}});
  ScriptItem timed = ScriptItem::Sample(Bytes({10, 20}), 5, 7);
  timed.hasMediaTime = true;
  timed.mediaStart = 41;
  timed.mediaStop = 42;
  timed.discontinuity = true;
  ScriptItem startOnly = ScriptItem::Sample(Bytes({30}), 9, 0);
  startOnly.hasStop = false;
  startOnly.sync = false;
  startOnly.preroll = true;
  ScriptItem retyped = ScriptItem::Untimed(Bytes({40}));
  retyped.type = SimpleType(MEDIATYPE_Video, MEDIASUBTYPE_YUY2);
  source->SetScript({timed, startOnly, retyped, ScriptItem::EndOfStream()});

  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(NextEvent(2000), EC_COMPLETE);
  EXPECT_EQ(NextEvent(50), 0) << "one completion for the one renderer";

  std::vector<ReceivedSample> got = renderer->Samples();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].bytes, Bytes({11, 21})) << "the marker changed the bytes in place";
  EXPECT_EQ(got[0].timeResult, S_OK);
  EXPECT_EQ(got[0].start, 5);
  EXPECT_EQ(got[0].stop, 7);
  EXPECT_EQ(got[0].mediaTimeResult, S_OK);
  EXPECT_EQ(got[0].mediaStart, 41);
  EXPECT_TRUE(got[0].sync);
  EXPECT_TRUE(got[0].discontinuity);
  EXPECT_FALSE(got[0].preroll);
  EXPECT_EQ(got[1].timeResult, VFW_S_NO_STOP_TIME);
  EXPECT_EQ(got[1].start, 9);
  EXPECT_TRUE(got[1].preroll);
  EXPECT_FALSE(got[1].sync);
  EXPECT_EQ(got[1].mediaTimeResult, VFW_E_MEDIA_TIME_NOT_SET);
  EXPECT_EQ(got[2].timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
  ASSERT_TRUE(got[2].type.has_value());
  EXPECT_EQ(got[2].type->subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(renderer->Events().back(), "eos");
}

TEST_F(GraphFixture, FlushAndNewSegmentReachTheRenderer) {
  Build();
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  source->SetScript({ScriptItem::Sample(Bytes({1}), 0, 1), ScriptItem::Flush(),
                     ScriptItem::NewSegment(5 * kMs, 50 * kMs, 1.0), ScriptItem::Sample(Bytes({2}), 0, 1),
                     ScriptItem::EndOfStream()});
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(NextEvent(2000), EC_COMPLETE);
  EXPECT_EQ(renderer->Events(), (std::vector<std::string>{"sample", "begin-flush", "end-flush", "segment 50000",
                                                          "sample", "eos"}));
}

TEST_F(GraphFixture, GetEventTimesOutWithAbort) {
  Build();
  long code = 7;
  LONG_PTR p1 = 7, p2 = 7;
  EXPECT_EQ(events->GetEvent(&code, &p1, &p2, 20), E_ABORT);
  EXPECT_EQ(code, 0);
  // Events a filter raises from any thread arrive in order.
  auto sink = graph.As<IMediaEventSink>(IID_IMediaEventSink);
  std::thread([&] { sink->Notify(EC_USER + 8, 1, 2); }).join();
  sink->Notify(EC_USER + 9, 3, 4);
  EXPECT_EQ(NextEvent(100), EC_USER + 8);
  EXPECT_EQ(NextEvent(100), EC_USER + 9);

  // Without a limit (written either way) the call waits for the next event.
  for (long forever : {static_cast<long>(INFINITE), -1L}) {
    std::thread later([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      sink->Notify(EC_USER + 10, 5, 6);
    });
    EXPECT_EQ(events->GetEvent(&code, &p1, &p2, forever), S_OK) << forever;
    EXPECT_EQ(code, EC_USER + 10);
    later.join();
  }
}

TEST_F(GraphFixture, DefaultHandlingKeepsOrPassesEvents) {
  auto sink = graph.As<IMediaEventSink>(IID_IMediaEventSink);
  sink->Notify(EC_NEED_RESTART, 0, 0);
  EXPECT_EQ(NextEvent(10), 0) << "handled by the graph";
  ASSERT_EQ(events->CancelDefaultHandling(EC_NEED_RESTART), S_OK);
  ASSERT_EQ(events->CancelDefaultHandling(EC_DISPLAY_CHANGED), S_OK);
  sink->Notify(EC_NEED_RESTART, 0, 0);
  sink->Notify(EC_DISPLAY_CHANGED, 0, 0);
  EXPECT_EQ(NextEvent(10), EC_NEED_RESTART);
  EXPECT_EQ(NextEvent(10), EC_DISPLAY_CHANGED);
  ASSERT_EQ(events->RestoreDefaultHandling(EC_NEED_RESTART), S_OK);
  sink->Notify(EC_NEED_RESTART, 0, 0);
  EXPECT_EQ(NextEvent(10), 0);
  EXPECT_EQ(events->CancelDefaultHandling(EC_USER), E_INVALIDARG);
}

TEST_F(GraphFixture, CompletionWaitsForEveryRenderer) {
  Build(false);
  HRESULT hr = S_OK;
  auto* source2 = new ScriptedSource(nullptr, &hr);
  ComPtr<IBaseFilter> source2Filter = Adopt<IBaseFilter>(source2, IID_IBaseFilter);
  auto* renderer2 = new RecordingRenderer(nullptr, &hr);
  ComPtr<IBaseFilter> renderer2Filter = Adopt<IBaseFilter>(renderer2, IID_IBaseFilter);
  ASSERT_EQ(graph->AddFilter(source2Filter.Get(), u"source"), VFW_S_DUPLICATE_NAME);
  ASSERT_EQ(graph->AddFilter(renderer2Filter.Get(), nullptr), S_OK);
  ASSERT_EQ(graph->Connect(PinOf(source2Filter.Get(), u"1").Get(), PinOf(renderer2Filter.Get(), u"In").Get()),
            S_OK);
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);

  source->SetScript(ThreeSamplesAndEnd());
  source2->SetScript({ScriptItem::Sample(Bytes({9}), 0, 1)});
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return renderer->Events().size() == 4 && renderer2->Samples().size() == 1; }));
  EXPECT_EQ(NextEvent(30), 0) << "the second renderer has not finished";
  source2->AppendScript({ScriptItem::EndOfStream()});
  EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
  EXPECT_EQ(NextEvent(30), 0);
}

TEST_F(GraphFixture, SamplesArePresentedAtTheirStreamTimes) {
  Build();
  HRESULT hr = S_OK;
  auto* clock = new ManualClock(&hr);
  ComPtr<IReferenceClock> clockRef = Adopt<IReferenceClock>(clock, IID_IReferenceClock);
  clock->SetTime(1000 * kMs);
  ASSERT_EQ(graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(clockRef.Get()), S_OK);
  source->SetScript({ScriptItem::Sample(Bytes({1}), 0, 50 * kMs), ScriptItem::Sample(Bytes({2}), 100 * kMs, 150 * kMs),
                     ScriptItem::EndOfStream()});

  ASSERT_EQ(control->Pause(), S_OK);
  OAFilterState state;
  // Paused, the renderer holds the first sample without presenting it.
  EXPECT_EQ(control->GetState(2000, &state), S_OK);
  EXPECT_EQ(renderer->Samples().size(), 0u);
  ASSERT_EQ(control->Run(), S_OK);

  // Stream time starts a little behind zero, so nothing is due yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(renderer->Samples().size(), 0u);
  clock->Advance(20 * kMs);
  ASSERT_TRUE(WaitFor([&] { return renderer->Samples().size() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(renderer->Samples().size(), 1u) << "the second sample is not due";
  clock->Advance(100 * kMs);
  ASSERT_TRUE(WaitFor([&] { return renderer->Samples().size() == 2; }));
  for (const ReceivedSample& s : renderer->Samples()) EXPECT_GE(s.presentedAt, s.start);
  EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
}

TEST_F(GraphFixture, SeekingARunningGraphRestartsAtTheNewPosition) {
  Build();
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  std::vector<ScriptItem> script;
  for (int i = 0; i < 5; ++i) {
    script.push_back(ScriptItem::Sample(Bytes({i}), i * 100 * kMs, (i + 1) * 100 * kMs));
  }
  script.push_back(ScriptItem::EndOfStream());
  source->SetScript(script);
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(NextEvent(2000), EC_COMPLETE);
  renderer->ClearRecords();

  LONGLONG position = 200 * kMs;
  ASSERT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_EQ(NextEvent(2000), EC_COMPLETE) << "the graph runs on from the new position";
  OAFilterState state;
  control->GetState(0, &state);
  EXPECT_EQ(state, State_Running);
  std::vector<std::string> events = renderer->Events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0], "begin-flush");
  EXPECT_EQ(events[1], "end-flush");
  EXPECT_EQ(events[2], "segment 2000000");
  std::vector<ReceivedSample> got = renderer->Samples();
  ASSERT_EQ(got.size(), 3u);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].bytes, Bytes({static_cast<int>(i) + 3})) << "sample " << i + 2 << ", marked";
    EXPECT_EQ(got[i].start, static_cast<REFERENCE_TIME>(i) * 100 * kMs) << "times count from the new start";
  }
  LONGLONG current = -1;
  EXPECT_EQ(seeking->GetCurrentPosition(&current), S_OK);
  EXPECT_EQ(current, 500 * kMs) << "the end of the last sample shown, on the stream's time line";
  // The same through IMediaPosition, in seconds.
  auto position2 = graph.As<IMediaPosition>(IID_IMediaPosition);
  EXPECT_EQ(position2->put_CurrentPosition(0.1), S_OK);
  EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
}

TEST_F(GraphFixture, HeldSamplesPushBackOnTheSource) {
  Build(false);
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  source->SetBuffers(2, 16);
  std::vector<ScriptItem> script;
  for (int i = 0; i < 6; ++i) script.push_back(ScriptItem::Sample(Bytes({i}), i, i + 1));
  script.push_back(ScriptItem::EndOfStream());
  source->SetScript(script);
  renderer->SetHolding(true);
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return renderer->HeldSamples() == 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(renderer->Samples().size(), 2u) << "the source has no buffer left";
  renderer->SetHolding(false);
  EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
  EXPECT_EQ(renderer->Samples().size(), 6u);

  // A stop while the source waits for a buffer does not hang.
  ASSERT_EQ(control->Stop(), S_OK);
  renderer->ClearRecords();
  renderer->SetHolding(true);
  source->SetScript(script);
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return renderer->HeldSamples() == 2; }));
  EXPECT_EQ(control->Stop(), S_OK);
}

TEST_F(GraphFixture, AStarvedAllocatorDelaysDelivery) {
  Build(false);
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  renderer->Allocator()->SetStarved(true);
  source->SetScript(ThreeSamplesAndEnd());
  ASSERT_EQ(control->Run(), S_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(renderer->Samples().size(), 0u);
  renderer->Allocator()->SetStarved(false);
  EXPECT_EQ(NextEvent(2000), EC_COMPLETE);
  EXPECT_EQ(renderer->Samples().size(), 3u);
  // Stopping while starved returns.
  ASSERT_EQ(control->Stop(), S_OK);
  renderer->Allocator()->SetStarved(true);
  source->SetScript(ThreeSamplesAndEnd());
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_EQ(control->Stop(), S_OK);
}

TEST_F(GraphFixture, AnUnacceptableTypeChangeAbortsTheStream) {
  Build(false);
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  renderer->SetAcceptedTypes({{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}});
  ScriptItem retyped = ScriptItem::Untimed(Bytes({1}));
  retyped.type = SimpleType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
  source->SetScript({retyped, ScriptItem::EndOfStream()});
  ASSERT_EQ(control->Run(), S_OK);
  LONG_PTR param = 0;
  EXPECT_EQ(NextEvent(2000, &param), EC_ERRORABORT);
  EXPECT_EQ(param, VFW_E_TYPE_NOT_ACCEPTED);
  EXPECT_TRUE(renderer->Samples().empty());
}

TEST_F(GraphFixture, ManagesFiltersByName) {
  Build();
  ComPtr<IBaseFilter> found;
  EXPECT_EQ(graph->FindFilterByName(u"marker", found.Receive()), S_OK);
  EXPECT_EQ(found.Get(), markerFilter.Get());
  EXPECT_EQ(graph->FindFilterByName(u"nobody", found.Receive()), VFW_E_NOT_FOUND);

  HRESULT hr = S_OK;
  ComPtr<IBaseFilter> extra = Adopt<IBaseFilter>(new RecordingRenderer(nullptr, &hr), IID_IBaseFilter);
  EXPECT_EQ(graph->AddFilter(extra.Get(), u"marker"), VFW_S_DUPLICATE_NAME);
  FILTER_INFO info;
  extra->QueryFilterInfo(&info);
  EXPECT_EQ(std::u16string(info.achName), u"marker 0001");
  EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(graph.Get()));
  info.pGraph->Release();

  ComPtr<IEnumFilters> all;
  ASSERT_EQ(graph->EnumFilters(all.Receive()), S_OK);
  IBaseFilter* filters[8];
  ULONG fetched = 0;
  EXPECT_EQ(all->Next(8, filters, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 4u);
  for (ULONG i = 0; i < fetched; ++i) filters[i]->Release();

  // Removing a filter of a running graph stops it and disconnects both ends.
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(graph->RemoveFilter(markerFilter.Get()), S_OK);
  OAFilterState state;
  control->GetState(0, &state);
  EXPECT_EQ(state, State_Stopped);
  ComPtr<IPin> peer;
  EXPECT_EQ(PinOf(sourceFilter.Get(), u"1")->ConnectedTo(peer.Receive()), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(PinOf(rendererFilter.Get(), u"In")->ConnectedTo(peer.Receive()), VFW_E_NOT_CONNECTED);
  markerFilter->QueryFilterInfo(&info);
  EXPECT_EQ(info.pGraph, nullptr);
}

TEST_F(GraphFixture, ForwardsWindowAndVolumeOnlyToFiltersThatServeThem) {
  Build();
  auto window = graph.As<IVideoWindow>(IID_IVideoWindow);
  auto video = graph.As<IBasicVideo>(IID_IBasicVideo);
  auto audio = graph.As<IBasicAudio>(IID_IBasicAudio);
  ASSERT_TRUE(window && video && audio);
  EXPECT_EQ(window->put_Visible(OAFALSE), E_NOINTERFACE);
  long width;
  EXPECT_EQ(video->get_VideoWidth(&width), E_NOINTERFACE);
  EXPECT_EQ(audio->put_Volume(-100), E_NOTIMPL);
  EXPECT_TRUE(graph.As<IAMGraphStreams>(IID_IAMGraphStreams));
  EXPECT_EQ(graph.As<IAMGraphStreams>(IID_IAMGraphStreams)->SyncUsingStreamOffset(TRUE), S_OK);
}

TEST_F(GraphFixture, TakesTheSystemClockWhenNoRendererOffersOne) {
  Build();
  ASSERT_EQ(control->Pause(), S_OK);
  ComPtr<IReferenceClock> clock;
  ASSERT_EQ(graph.As<IMediaFilter>(IID_IMediaFilter)->GetSyncSource(clock.Receive()), S_OK);
  ASSERT_TRUE(clock);
  CLSID clsid{};
  ASSERT_EQ(clock.As<IPersist>(IID_IPersist)->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_SystemClock);
  ComPtr<IReferenceClock> rendererClock;
  rendererFilter->GetSyncSource(rendererClock.Receive());
  EXPECT_EQ(rendererClock.Get(), clock.Get()) << "every filter gets the graph's clock";
}

// A connected input pin that notes whether it is active; its activation can
// be made to fail.
class ActivityPin final : public CBaseInputPin {
 public:
  ActivityPin(CBaseFilter* filter, CCritSec* lock, IPin* peer, HRESULT activeResult)
      : CBaseInputPin("activity pin", filter, lock, nullptr, u"In"), activeResult_(activeResult) {
    m_Connected = peer;
    peer->AddRef();
  }
  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  HRESULT Active() override {
    if (SUCCEEDED(activeResult_)) active = true;
    return activeResult_;
  }
  HRESULT Inactive() override {
    active = false;
    CBaseInputPin::Inactive();
    return S_OK;
  }
  bool active = false;

 private:
  const HRESULT activeResult_;
};

class TwoPinFilter final : public CBaseFilter {
 public:
  TwoPinFilter(IPin* peer, HRESULT secondActive)
      : CBaseFilter("two pins", nullptr, &lock_, GUID_NULL),
        first_(this, &lock_, peer, S_OK),
        second_(this, &lock_, peer, secondActive) {}
  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override { return index == 0 ? &first_ : index == 1 ? &second_ : nullptr; }
  bool AnyPinActive() const { return first_.active || second_.active; }

 private:
  CCritSec lock_;
  ActivityPin first_;
  ActivityPin second_;
};

TEST(BaseFilter, APauseThatFailsOnOnePinLeavesNoPinActive) {
  HRESULT hr = S_OK;
  ComPtr<IBaseFilter> peerFilter = Adopt<IBaseFilter>(new RecordingRenderer(nullptr, &hr), IID_IBaseFilter);
  ComPtr<IPin> peer = PinOf(peerFilter.Get(), u"In");
  for (HRESULT second : {S_OK, E_OUTOFMEMORY}) {
    TwoPinFilter filter(peer.Get(), second);
    EXPECT_EQ(filter.Pause(), second);
    EXPECT_EQ(filter.AnyPinActive(), SUCCEEDED(second)) << "a failed pause leaves what it started running";
    filter.Stop();
    EXPECT_FALSE(filter.AnyPinActive());
  }
}

TEST(GraphCycles, FiftyBuildRunStopDestroyCyclesLeaveNothingBehind) {
  const LONG before = CBaseObject::ObjectsActive();
  for (int cycle = 0; cycle < 50; ++cycle) {
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, graph.ReceiveVoid()), S_OK);
    HRESULT hr = S_OK;
    auto* source = new ScriptedSource(nullptr, &hr);
    ComPtr<IBaseFilter> s = Adopt<IBaseFilter>(source, IID_IBaseFilter);
    ComPtr<IBaseFilter> m = Adopt<IBaseFilter>(new InPlaceMarker(nullptr, &hr), IID_IBaseFilter);
    ComPtr<IBaseFilter> r = Adopt<IBaseFilter>(new RecordingRenderer(nullptr, &hr), IID_IBaseFilter);
    graph->AddFilter(s.Get(), u"s");
    graph->AddFilter(m.Get(), u"m");
    graph->AddFilter(r.Get(), u"r");
    ASSERT_EQ(graph->Connect(PinOf(s.Get(), u"1").Get(), PinOf(m.Get(), u"In").Get()), S_OK);
    ASSERT_EQ(graph->Connect(PinOf(m.Get(), u"Out").Get(), PinOf(r.Get(), u"In").Get()), S_OK);
    source->SetScript({ScriptItem::Sample(Bytes({1}), 0, 1), ScriptItem::EndOfStream()});
    auto control = graph.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(control->Run(), S_OK);
    long code;
    LONG_PTR p1, p2;
    ASSERT_EQ(graph.As<IMediaEvent>(IID_IMediaEvent)->GetEvent(&code, &p1, &p2, 2000), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    ASSERT_EQ(control->Stop(), S_OK);
  }
  EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

}  // namespace
}  // namespace tlx::dshow::test

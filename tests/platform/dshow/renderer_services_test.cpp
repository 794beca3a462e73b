// The graph's forwarding to renderers that serve a clock, a video window and
// volume, as the system's audio and video renderers do through companion
// objects aggregated into the filter.
#include <gtest/gtest.h>

#include "dshow/basic_audio.h"
#include "graph_fixture.h"

namespace tlx::dshow::test {
namespace {

class CompanionClock final : public CBaseReferenceClock {
 public:
  explicit CompanionClock(IUnknown* outer) : CBaseReferenceClock("companion clock", outer, nullptr) {}
  ~CompanionClock() override { StopAdviseThread(); }
};

class VolumeControl final : public CBasicAudio {
 public:
  explicit VolumeControl(IUnknown* outer) : CBasicAudio("volume", outer) {}
  STDMETHODIMP put_Volume(long v) override {
    volume = v;
    return S_OK;
  }
  STDMETHODIMP get_Volume(long* v) override {
    *v = volume;
    return S_OK;
  }
  STDMETHODIMP put_Balance(long) override { return S_OK; }
  STDMETHODIMP get_Balance(long* b) override {
    *b = 0;
    return S_OK;
  }
  long volume = 0;
};

class WindowRenderer final : public CBaseRenderer, public IVideoWindow {
 public:
  explicit WindowRenderer(HRESULT* hr)
      : CBaseRenderer(GUID_NULL, "window renderer", nullptr, hr),
        clock_(new CompanionClock(GetOwner())),
        volume_(new VolumeControl(GetOwner())) {}
  ~WindowRenderer() override {
    delete clock_;
    delete volume_;
  }

  DECLARE_IUNKNOWN
  TLX_NO_DISPATCH
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IReferenceClock) return clock_->NonDelegatingQueryInterface(iid, object);
    if (iid == IID_IBasicAudio) return volume_->NonDelegatingQueryInterface(iid, object);
    if (iid == IID_IVideoWindow) return GetInterface(static_cast<IVideoWindow*>(this), object);
    return CBaseRenderer::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  HRESULT DoRenderSample(IMediaSample*) override { return S_OK; }

#define TLX_NOTE_CALL(name, params, args) \
  STDMETHODIMP name params override {     \
    [](auto&&...) {} args;                \
    calls.push_back(#name);               \
    return S_OK;                          \
  }
  TLX_VIDEO_WINDOW_METHODS(TLX_NOTE_CALL)
#undef TLX_NOTE_CALL

  std::vector<std::string> calls;
  long VolumeLevel() const { return volume_->volume; }

 private:
  CompanionClock* clock_;
  VolumeControl* volume_;
};

TEST(RendererServices, GraphUsesTheRendererClockWindowAndVolume) {
  const LONG before = CBaseObject::ObjectsActive();
  {
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, graph.ReceiveVoid()), S_OK);
    HRESULT hr = S_OK;
    auto* source = new ScriptedSource(nullptr, &hr);
    ComPtr<IBaseFilter> s = Adopt<IBaseFilter>(source, IID_IBaseFilter);
    auto* shown = new WindowRenderer(&hr);
    ComPtr<IBaseFilter> r = Adopt<IBaseFilter>(shown, IID_IBaseFilter);
    auto* spare = new WindowRenderer(&hr);  // in the graph, connected to nothing
    ComPtr<IBaseFilter> spareFilter = Adopt<IBaseFilter>(spare, IID_IBaseFilter);
    graph->AddFilter(spareFilter.Get(), u"spare");
    graph->AddFilter(s.Get(), u"source");
    graph->AddFilter(r.Get(), u"renderer");
    ASSERT_EQ(graph->Connect(PinOf(s.Get(), u"1").Get(), PinOf(r.Get(), u"In").Get()), S_OK);

    auto control = graph.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(control->Pause(), S_OK);
    ComPtr<IReferenceClock> clock;
    graph.As<IMediaFilter>(IID_IMediaFilter)->GetSyncSource(clock.Receive());
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock.As<IUnknown>(IID_IUnknown).Get(), r.As<IUnknown>(IID_IUnknown).Get())
        << "the connected renderer's clock";

    auto window = graph.As<IVideoWindow>(IID_IVideoWindow);
    EXPECT_EQ(window->put_Visible(OATRUE), S_OK);
    EXPECT_EQ(window->SetWindowPosition(0, 0, 320, 240), S_OK);
    EXPECT_EQ(shown->calls, (std::vector<std::string>{"put_Visible", "SetWindowPosition"}));
    EXPECT_TRUE(spare->calls.empty()) << "only a connected renderer gets window calls";

    auto audio = graph.As<IBasicAudio>(IID_IBasicAudio);
    EXPECT_EQ(audio->put_Volume(-500), S_OK);
    EXPECT_EQ(shown->VolumeLevel(), -500);
    EXPECT_EQ(spare->VolumeLevel(), -500) << "volume goes to every filter that has it";
    long volume = 0;
    EXPECT_EQ(audio->get_Volume(&volume), S_OK);
    EXPECT_EQ(volume, -500);
    control->Stop();
  }
  // The renderer held its own clock; leaving the graph broke that circle.
  EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

}  // namespace
}  // namespace tlx::dshow::test

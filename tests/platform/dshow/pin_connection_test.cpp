#include <gtest/gtest.h>

#include "graph_fixture.h"

namespace tlx::dshow::test {
namespace {

struct PinPair {
  const char* what;
  CMediaType offered;                               // the source's type
  std::vector<std::pair<GUID, GUID>> accepted;      // the renderer's types
  const AM_MEDIA_TYPE* asked;                       // the type asked for, if any
  HRESULT expected;
};

TEST(PinConnection, NegotiatesTypesOrRefuses) {
  CMediaType rgb = SimpleType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32);
  CMediaType yuy2 = SimpleType(MEDIATYPE_Video, MEDIASUBTYPE_YUY2);
  CMediaType pcm = SimpleType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
  std::vector<PinPair> pairs = {
      {"same type", rgb, {{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}}, nullptr, S_OK},
      {"any type", pcm, {}, nullptr, S_OK},
      {"nothing in common", rgb, {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}}, nullptr, VFW_E_NO_ACCEPTABLE_TYPES},
      {"asked type matches", rgb, {}, &rgb, S_OK},
      {"asked type the source does not make", rgb, {}, &yuy2, VFW_E_TYPE_NOT_ACCEPTED},
      {"asked type the renderer refuses", yuy2, {{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}}, &yuy2,
       VFW_E_TYPE_NOT_ACCEPTED},
  };
  for (const PinPair& p : pairs) {
    HRESULT hr = S_OK;
    auto* source = new ScriptedSource(nullptr, &hr);
    ComPtr<IBaseFilter> s = Adopt<IBaseFilter>(source, IID_IBaseFilter);
    auto* renderer = new RecordingRenderer(nullptr, &hr);
    ComPtr<IBaseFilter> r = Adopt<IBaseFilter>(renderer, IID_IBaseFilter);
    source->SetMediaType(p.offered);
    renderer->SetAcceptedTypes(p.accepted);
    ComPtr<IPin> out = PinOf(s.Get(), u"1");
    ComPtr<IPin> in = PinOf(r.Get(), u"In");
    EXPECT_EQ(out->Connect(in.Get(), p.asked), p.expected) << p.what;
    ComPtr<IPin> peer;
    if (p.expected == S_OK) {
      EXPECT_EQ(in->ConnectedTo(peer.Receive()), S_OK) << p.what;
      AM_MEDIA_TYPE mt;
      ASSERT_EQ(in->ConnectionMediaType(&mt), S_OK);
      EXPECT_TRUE(CMediaType(mt) == p.offered) << p.what;
      FreeMediaType(mt);
      out->Disconnect();
      in->Disconnect();
    } else {
      EXPECT_EQ(in->ConnectedTo(peer.Receive()), VFW_E_NOT_CONNECTED) << p.what << ": nothing left half-connected";
      EXPECT_EQ(out->ConnectedTo(peer.Receive()), VFW_E_NOT_CONNECTED) << p.what;
    }
  }
}

TEST_F(GraphFixture, RefusesWrongDirectionsRepeatsAndActiveGraphs) {
  Build(false);
  ComPtr<IPin> out = PinOf(sourceFilter.Get(), u"1");
  ComPtr<IPin> in = PinOf(rendererFilter.Get(), u"In");
  ComPtr<IPin> markerIn = PinOf(markerFilter.Get(), u"In");
  ComPtr<IPin> markerOut = PinOf(markerFilter.Get(), u"Out");
  graph->AddFilter(markerFilter.Get(), u"marker");
  EXPECT_EQ(graph->ConnectDirect(out.Get(), markerIn.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(graph->ConnectDirect(markerIn.Get(), markerOut.Get(), nullptr), VFW_E_INVALID_DIRECTION);
  EXPECT_EQ(markerIn->Connect(in.Get(), nullptr), VFW_E_INVALID_DIRECTION);
  EXPECT_EQ(markerOut->Connect(markerIn.Get(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES)
      << "an output offers nothing before its input is connected";

  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_EQ(graph->ConnectDirect(out.Get(), markerIn.Get(), nullptr), VFW_E_NOT_STOPPED);
  EXPECT_EQ(out->Disconnect(), VFW_E_NOT_STOPPED);
  ASSERT_EQ(control->Stop(), S_OK);

  // Reconnecting keeps the pins paired; a type the pins refuse leaves them
  // connected as before; a graph that is not stopped does not reconnect.
  ASSERT_EQ(graph->Reconnect(out.Get()), S_OK);
  ComPtr<IPin> peer;
  ASSERT_EQ(out->ConnectedTo(peer.Receive()), S_OK);
  EXPECT_EQ(peer.Get(), in.Get());
  auto graph2 = graph.As<IFilterGraph2>(IID_IFilterGraph2);
  CMediaType audio = SimpleType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
  EXPECT_EQ(graph2->ReconnectEx(in.Get(), &audio), VFW_E_TYPE_NOT_ACCEPTED);
  ASSERT_EQ(in->ConnectedTo(peer.Receive()), S_OK);
  EXPECT_EQ(peer.Get(), out.Get());
  ASSERT_EQ(control->Pause(), S_OK);
  EXPECT_EQ(graph->Reconnect(out.Get()), VFW_E_WRONG_STATE);
}

TEST_F(GraphFixture, AllocatorsAreNegotiatedAlongTheChain) {
  source->SetBuffers(3, 1000);
  Build();
  // The in-place filter hands the allocator its input got on downstream, so
  // samples travel from the source to the renderer without copies.
  IMemAllocator* shared = static_cast<CBaseOutputPin*>(source->GetPin(0))->Allocator();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(marker->InputPin()->Allocator(), shared);
  EXPECT_EQ(marker->OutputPin()->Allocator(), shared);
  EXPECT_EQ(renderer->InputPin()->Allocator(), shared);
  ALLOCATOR_PROPERTIES props;
  ASSERT_EQ(shared->GetProperties(&props), S_OK);
  EXPECT_EQ(props.cBuffers, 3) << "as the source decided";
  EXPECT_GE(props.cbBuffer, 1000);

  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  source->SetScript({ScriptItem::Sample(Bytes({1, 2, 3}), 0, 1), ScriptItem::EndOfStream()});
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(NextEvent(2000), EC_COMPLETE);
  EXPECT_EQ(marker->Transformed(), 1);
  EXPECT_EQ(renderer->Samples().at(0).bytes, Bytes({2, 3, 4}));
}

TEST(PinConnection, EnumeratesPreferredTypes) {
  HRESULT hr = S_OK;
  auto* source = new ScriptedSource(nullptr, &hr);
  ComPtr<IBaseFilter> s = Adopt<IBaseFilter>(source, IID_IBaseFilter);
  source->SetMediaType(SimpleType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM));
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(PinOf(s.Get(), u"1")->EnumMediaTypes(types.Receive()), S_OK);
  AM_MEDIA_TYPE* got[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(types->Next(2, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(got[0]->subtype, MEDIASUBTYPE_PCM);
  DeleteMediaType(got[0]);
  EXPECT_EQ(types->Next(1, got, nullptr), S_FALSE);
  EXPECT_EQ(types->Reset(), S_OK);
  EXPECT_EQ(types->Skip(2), S_FALSE);
  types->Reset();
  ComPtr<IEnumMediaTypes> clone;
  ASSERT_EQ(types->Clone(clone.Receive()), S_OK);
  EXPECT_EQ(clone->Next(1, got, nullptr), S_OK);
  DeleteMediaType(got[0]);

  // The in-place filter offers nothing on its output until its input knows
  // a type, then exactly that type.
  ComPtr<IBaseFilter> m = Adopt<IBaseFilter>(new InPlaceMarker(nullptr, &hr), IID_IBaseFilter);
  ComPtr<IEnumMediaTypes> markerTypes;
  ASSERT_EQ(PinOf(m.Get(), u"Out")->EnumMediaTypes(markerTypes.Receive()), S_OK);
  EXPECT_EQ(markerTypes->Next(1, got, nullptr), S_FALSE);
  ASSERT_EQ(PinOf(s.Get(), u"1")->Connect(PinOf(m.Get(), u"In").Get(), nullptr), S_OK);
  markerTypes->Reset();
  ASSERT_EQ(markerTypes->Next(1, got, nullptr), S_OK);
  EXPECT_EQ(got[0]->majortype, MEDIATYPE_Audio);
  DeleteMediaType(got[0]);
  PinOf(s.Get(), u"1")->Disconnect();
  PinOf(m.Get(), u"In")->Disconnect();
}

}  // namespace
}  // namespace tlx::dshow::test

namespace tlx::dshow::test {
namespace {

TEST(PinConnection, SourcePinsAreFoundByNumber) {
  HRESULT hr = S_OK;
  ComPtr<IBaseFilter> s = Adopt<IBaseFilter>(new ScriptedSource(nullptr, &hr), IID_IBaseFilter);
  ComPtr<IPin> pin;
  for (const char16_t* bad : {u"2", u"0", u"", u"Out", u"1x"}) {
    EXPECT_EQ(s->FindPin(bad, pin.Receive()), VFW_E_NOT_FOUND) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
  ASSERT_EQ(s->FindPin(u"1", pin.Receive()), S_OK);
  LPWSTR id = nullptr;
  ASSERT_EQ(pin->QueryId(&id), S_OK);
  EXPECT_EQ(std::u16string(id), u"1");
  CoTaskMemFree(id);
}

}  // namespace
}  // namespace tlx::dshow::test

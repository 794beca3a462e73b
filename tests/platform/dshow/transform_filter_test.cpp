#include "dshow/transform_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "graph_fixture.h"

namespace tlx::dshow::test {
namespace {

// Writes each input sample twice into its output; skips samples that begin
// with a zero byte.
class Doubler final : public CTransformFilter {
 public:
  Doubler() : CTransformFilter("doubler", nullptr, GUID_NULL) {}
  HRESULT CheckInputType(const CMediaType*) override { return S_OK; }
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override { return *in == *out ? S_OK : E_FAIL; }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    ALLOCATOR_PROPERTIES wanted{2, bufferSize, 1, 0}, actual;
    if (request->cBuffers > wanted.cBuffers) wanted.cBuffers = request->cBuffers;
    return allocator->SetProperties(&wanted, &actual);
  }
  HRESULT GetMediaType(int position, CMediaType* mt) override {
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    return mt->Set(InputPin()->CurrentMediaType());
  }
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
    BYTE* from;
    BYTE* to;
    in->GetPointer(&from);
    out->GetPointer(&to);
    LONG n = in->GetActualDataLength();
    if (n > 0 && from[0] == 0) return S_FALSE;
    if (2 * n > out->GetSize()) return E_FAIL;
    std::memcpy(to, from, static_cast<size_t>(n));
    std::memcpy(to + n, from, static_cast<size_t>(n));
    out->SetActualDataLength(2 * n);
    return S_OK;
  }
  HRESULT StartStreaming() override {
    ++starts;
    return S_OK;
  }
  HRESULT StopStreaming() override {
    ++stops;
    return S_OK;
  }
  int starts = 0;
  int stops = 0;
  LONG bufferSize = 64;
};

void Connect(IGraphBuilder* graph, IBaseFilter* source, IBaseFilter* doubler, IBaseFilter* renderer) {
  ASSERT_EQ(graph->AddFilter(source, u"source"), S_OK);
  ASSERT_EQ(graph->AddFilter(doubler, u"doubler"), S_OK);
  ASSERT_EQ(graph->AddFilter(renderer, u"renderer"), S_OK);
  ASSERT_EQ(graph->Connect(PinOf(source, u"1").Get(), PinOf(doubler, u"In").Get()), S_OK);
  ASSERT_EQ(graph->Connect(PinOf(doubler, u"Out").Get(), PinOf(renderer, u"In").Get()), S_OK);
}

TEST_F(GraphFixture, TransformMakesOutputSamplesAndPassesTheStreamOn) {
  auto* doubler = new Doubler();
  ComPtr<IBaseFilter> d = Adopt<IBaseFilter>(doubler, IID_IBaseFilter);
  ASSERT_NO_FATAL_FAILURE(Connect(graph.Get(), sourceFilter.Get(), d.Get(), rendererFilter.Get()));
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);

  ScriptItem withMediaTime = ScriptItem::Sample(Bytes({1, 2}), 10, 20);
  withMediaTime.hasMediaTime = true;
  withMediaTime.mediaStart = 5;
  withMediaTime.mediaStop = 6;
  source->SetScript({withMediaTime, ScriptItem::Sample(Bytes({0, 9}), 20, 30), ScriptItem::Sample(Bytes({3}), 30, 40),
                     ScriptItem::NewSegment(7, 8, 1.0), ScriptItem::Flush(), ScriptItem::EndOfStream()});
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(NextEvent(2000), EC_COMPLETE);
  EXPECT_EQ(doubler->starts, 1);

  std::vector<ReceivedSample> got = renderer->Samples();
  ASSERT_EQ(got.size(), 2u) << "the sample beginning with zero was skipped";
  EXPECT_EQ(got[0].bytes, Bytes({1, 2, 1, 2}));
  EXPECT_EQ(got[0].start, 10);
  EXPECT_EQ(got[0].stop, 20);
  EXPECT_EQ(got[0].mediaStart, 5);
  EXPECT_TRUE(got[0].sync);
  EXPECT_FALSE(got[0].discontinuity);
  EXPECT_EQ(got[1].bytes, Bytes({3, 3}));
  EXPECT_TRUE(got[1].discontinuity) << "the sample after a skipped one";
  EXPECT_EQ(renderer->Events(),
            (std::vector<std::string>{"sample", "sample", "segment 7", "begin-flush", "end-flush", "eos"}));
  ASSERT_EQ(control->Stop(), S_OK);
  EXPECT_EQ(doubler->stops, 1);
}

// Buffers too large to allocate make the output fail to start after the
// transform has started streaming; the rolled-back graph must stop it again.
TEST_F(GraphFixture, ATransformWhoseOutputCannotStartStopsStreamingAgain) {
  auto* doubler = new Doubler();
  doubler->bufferSize = 0x40000000;
  ComPtr<IBaseFilter> d = Adopt<IBaseFilter>(doubler, IID_IBaseFilter);
  ASSERT_NO_FATAL_FAILURE(Connect(graph.Get(), sourceFilter.Get(), d.Get(), rendererFilter.Get()));
  EXPECT_EQ(control->Pause(), E_OUTOFMEMORY);
  EXPECT_EQ(doubler->starts, 1);
  EXPECT_EQ(doubler->stops, 1) << "started streaming left running by the failed pause";
  ASSERT_EQ(control->Stop(), S_OK);
  EXPECT_EQ(doubler->stops, 1);
}

// The source offers A then B; the in-place filter's input takes A, the first
// type offered. The output offers what the source offers, so a sink that takes
// only B connects, and the input is moved to B with it.
const CMediaType kTypeA = SimpleType(MEDIATYPE_Video, MEDIASUBTYPE_RGB32);
const CMediaType kTypeB = SimpleType(MEDIATYPE_Video, MEDIASUBTYPE_RGB24);
const CMediaType kTypeC = SimpleType(MEDIATYPE_Video, MEDIASUBTYPE_YUY2);

// The types differ in subtype only, which names them in a failure.
std::string Subtype(const AM_MEDIA_TYPE& mt) { return GuidToString(mt.subtype); }

std::string ConnectionSubtype(IPin* pin) {
  AM_MEDIA_TYPE mt{};
  if (pin->ConnectionMediaType(&mt) != S_OK) return "not connected";
  std::string subtype = Subtype(mt);
  FreeMediaType(mt);
  return subtype;
}

class InPlaceTypeFixture : public GraphFixture {
 protected:
  void SetUp() override {
    GraphFixture::SetUp();
    ASSERT_EQ(source->SetMediaTypes({kTypeA, kTypeB}), S_OK);
    ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(markerFilter.Get(), u"marker"), S_OK);
    ASSERT_EQ(graph->AddFilter(rendererFilter.Get(), u"renderer"), S_OK);
    sourceOut = PinOf(sourceFilter.Get(), u"1");
    markerIn = PinOf(markerFilter.Get(), u"In");
    markerOut = PinOf(markerFilter.Get(), u"Out");
    rendererIn = PinOf(rendererFilter.Get(), u"In");
  }

  ComPtr<IPin> sourceOut, markerIn, markerOut, rendererIn;
};

TEST_F(InPlaceTypeFixture, OutputOffersTheUpstreamTypesInTheirOrderOnceTheInputIsConnected) {
  auto offered = [&] {
    std::vector<std::string> subtypes;
    ComPtr<IEnumMediaTypes> list;
    if (markerOut->EnumMediaTypes(list.Receive()) != S_OK || !list) return subtypes;
    AM_MEDIA_TYPE* mt = nullptr;
    ULONG fetched = 0;
    while (list->Next(1, &mt, &fetched) == S_OK && fetched == 1) {
      subtypes.push_back(Subtype(*mt));
      DeleteMediaType(mt);
    }
    return subtypes;
  };
  EXPECT_TRUE(offered().empty()) << "nothing to offer before the input is connected";
  ASSERT_EQ(graph->ConnectDirect(sourceOut.Get(), markerIn.Get(), nullptr), S_OK);
  EXPECT_EQ(ConnectionSubtype(markerIn.Get()), Subtype(kTypeA));
  EXPECT_EQ(offered(), (std::vector<std::string>{Subtype(kTypeA), Subtype(kTypeB)}));
}

// What the sink takes decides the type of both in-place pins; a sink that
// takes nothing upstream offers leaves the input as it was.
TEST_F(InPlaceTypeFixture, DownstreamChoiceOfTheUpstreamTypesRunsThroughTheFilter) {
  struct Case {
    const char* name;
    std::vector<std::pair<GUID, GUID>> accepted;
    HRESULT connect;
    CMediaType through;  // the type of the input, and of the output when it connects
  };
  const Case cases[] = {
      {"takes only the second type", {{kTypeB.majortype, kTypeB.subtype}}, S_OK, kTypeB},
      {"takes both", {{kTypeB.majortype, kTypeB.subtype}, {kTypeA.majortype, kTypeA.subtype}}, S_OK, kTypeA},
      {"takes neither", {{kTypeC.majortype, kTypeC.subtype}}, VFW_E_NO_ACCEPTABLE_TYPES, kTypeA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    graph->Disconnect(sourceOut.Get());
    graph->Disconnect(markerIn.Get());
    graph->Disconnect(markerOut.Get());
    graph->Disconnect(rendererIn.Get());
    renderer->SetAcceptedTypes(c.accepted);
    ASSERT_EQ(graph->ConnectDirect(sourceOut.Get(), markerIn.Get(), nullptr), S_OK);
    EXPECT_EQ(graph->ConnectDirect(markerOut.Get(), rendererIn.Get(), nullptr), c.connect);

    ComPtr<IPin> upstream;
    ASSERT_EQ(markerIn->ConnectedTo(upstream.Receive()), S_OK) << "the input stays connected";
    EXPECT_EQ(upstream.Get(), sourceOut.Get());
    EXPECT_EQ(ConnectionSubtype(sourceOut.Get()), Subtype(c.through));
    EXPECT_EQ(ConnectionSubtype(markerIn.Get()), Subtype(c.through));
    if (SUCCEEDED(c.connect)) {
      EXPECT_EQ(ConnectionSubtype(markerOut.Get()), Subtype(c.through));
      EXPECT_EQ(ConnectionSubtype(rendererIn.Get()), Subtype(c.through));
    } else {
      ComPtr<IPin> downstream;
      EXPECT_EQ(markerOut->ConnectedTo(downstream.Receive()), VFW_E_NOT_CONNECTED);
    }
  }
}

// After the input was moved to the sink's type, samples still run through
// the filter: the reconnected input and the output agree on the allocator.
TEST_F(InPlaceTypeFixture, SamplesRunThroughAfterTheInputWasMovedToTheSinksType) {
  renderer->SetAcceptedTypes({{kTypeB.majortype, kTypeB.subtype}});
  ASSERT_EQ(graph->ConnectDirect(sourceOut.Get(), markerIn.Get(), nullptr), S_OK);
  ASSERT_EQ(graph->ConnectDirect(markerOut.Get(), rendererIn.Get(), nullptr), S_OK);
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  source->SetScript({ScriptItem::Untimed(Bytes({1, 2, 3})), ScriptItem::EndOfStream()});
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(NextEvent(2000), EC_COMPLETE);
  std::vector<ReceivedSample> got = renderer->Samples();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].bytes, Bytes({2, 3, 4}));
}

}  // namespace
}  // namespace tlx::dshow::test

#include "dshow/transform_filter.h"

#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
}  // namespace tlx::dshow::test

// The default audio renderer on SDL audio's disk driver, in real time: a
// source that delivers everything at once still plays every byte, once and
// in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "graph_fixture.h"
#include "platform/dsound/support/disk_audio.h"
#include "platform/dsound/support/pcm_format.h"

namespace {

using namespace tlx::dshow::test;

TEST(AudioRendererDisk, PcmDeliveredAtOnceLandsInTheFileUnchanged) {
  const tlx::dsound::test::DiskAudio disk("tlx-audio-renderer");

  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid()),
            S_OK);
  HRESULT hr = S_OK;
  auto* source = new ScriptedSource(nullptr, &hr);
  auto sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
  ComPtr<IBaseFilter> audio;
  ASSERT_EQ(CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, audio.ReceiveVoid()),
            S_OK);
  const WAVEFORMATEX format = tlx::dsound::test::PcmFormat(2, 44100);
  CMediaType mt;
  mt.SetType(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_PCM);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof format);
  source->SetMediaType(mt);
  source->SetBuffers(4, 4096);
  ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
  ASSERT_EQ(graph->AddFilter(audio.Get(), u"audio"), S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(audio.Get(), u"In").Get(), nullptr),
            S_OK);

  // 1.2 s of samples of 1024 frames, then the end of the stream.
  std::vector<BYTE> pcm;
  std::vector<ScriptItem> script;
  for (int k = 0; k < 52; ++k) {
    std::vector<BYTE> block(4096);
    for (size_t i = 0; i < block.size() / 2; ++i) {
      const auto v = static_cast<int16_t>((((k * 2048 + i) * 2654435761u) >> 17) | 1);
      std::memcpy(block.data() + 2 * i, &v, 2);
    }
    pcm.insert(pcm.end(), block.begin(), block.end());
    script.push_back(ScriptItem::Sample(block, k * 1024LL * UNITS / 44100, (k + 1) * 1024LL * UNITS / 44100));
  }
  script.push_back(ScriptItem::EndOfStream());
  source->SetScript(script);
  auto control = graph.As<IMediaControl>(IID_IMediaControl);
  auto events = graph.As<IMediaEventEx>(IID_IMediaEventEx);
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  long code = 0;
  LONG_PTR p1 = 0;
  LONG_PTR p2 = 0;
  ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 10000), S_OK);
  events->FreeEventParams(code, p1, p2);
  EXPECT_EQ(code, EC_COMPLETE);
  ASSERT_EQ(control->Stop(), S_OK);
  graph.Reset();
  sourceFilter.Reset();
  audio.Reset();

  const std::vector<BYTE> content = disk.Content();
  const auto at = std::search(content.begin(), content.end(), pcm.begin(), pcm.begin() + 64);
  ASSERT_NE(at, content.end());
  const auto offset = static_cast<size_t>(at - content.begin());
  ASSERT_GE(content.size() - offset, pcm.size());
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), at));
  // Only silence around it.
  EXPECT_TRUE(std::all_of(content.begin(), at, [](BYTE b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(at + static_cast<long>(pcm.size()), content.end(), [](BYTE b) { return b == 0; }));
}

}  // namespace

// The renderer in a graph as the sync source, playing through SDL audio's
// disk driver in real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "filters/audio_renderer/ravix_ds_aud_renderer.h"
#include "platform/dshow/graph_fixture.h"
#include "platform/dsound/support/disk_audio.h"
#include "platform/dsound/support/pcm_format.h"

namespace {

using namespace std::chrono_literals;
using namespace tlx::dshow::test;

constexpr UINT kBlock = 4096;
constexpr REFERENCE_TIME kBlockTime = 213333;
constexpr double kBytesPerSecond = 192000;

// Block k holds 1024 stereo frames that appear nowhere else.
std::vector<BYTE> PatternBlock(int k) {
  std::vector<BYTE> bytes(kBlock);
  for (UINT i = 0; i < kBlock / 2; ++i) {
    const auto v = static_cast<int16_t>(((k * 2048 + i) * 2654435761u) >> 17);
    std::memcpy(bytes.data() + 2 * i, &v, 2);
  }
  return bytes;
}

CMediaType Stereo48k() {
  const WAVEFORMATEX f = tlx::dsound::test::PcmFormat(2, 48000);
  CMediaType mt;
  mt.SetType(&MEDIATYPE_Audio);
  mt.SetSubtype(&GUID_NULL);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&f), sizeof f);
  return mt;
}

TEST(DeviceGraph, PlaysTheInputBitForBitAndClocksAtTheDevicesPace) {
  const tlx::dsound::test::DiskAudio disk("tlx-renderer");

  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid()),
            S_OK);
  HRESULT hr = S_OK;
  auto* source = new ScriptedSource(nullptr, &hr);
  auto sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
  auto rendererFilter = Adopt<IBaseFilter>(new CRavixDSAudRenderer(nullptr, &hr), IID_IBaseFilter);
  source->SetMediaType(Stereo48k());
  source->SetBuffers(8, kBlock);
  ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
  ASSERT_EQ(graph->AddFilter(rendererFilter.Get(), u"renderer"), S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(rendererFilter.Get(), u"In").Get(),
                                 nullptr),
            S_OK);
  auto clock = rendererFilter.As<IReferenceClock>(IID_IReferenceClock);
  ASSERT_EQ(graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(clock.Get()), S_OK);

  // 2.6 s at once, then the rest at the pace of real time.
  const int atOnce = 122;
  std::vector<ScriptItem> first;
  for (int k = 0; k < atOnce; ++k) first.push_back(ScriptItem::Sample(PatternBlock(k), k * kBlockTime, (k + 1) * kBlockTime));
  source->SetScript(first);
  auto control = graph.As<IMediaControl>(IID_IMediaControl);
  ASSERT_TRUE(SUCCEEDED(control->Run()));

  // The rest is fed and the phases are timed at the device's pace, the sound
  // the driver has written: a loaded machine slows the driver below real
  // time, and input fed by the wall clock would then pile up until the
  // renderer drops it, which rightly moves its clock ahead of the bytes.
  int sent = atOnce;
  auto keepFeeding = [&] {
    const auto due = static_cast<int>(atOnce + disk.Size() / kBlock);
    for (; sent < due; ++sent) {
      source->AppendScript({ScriptItem::Sample(PatternBlock(sent), sent * kBlockTime, (sent + 1) * kBlockTime)});
    }
  };
  const auto limit = std::chrono::steady_clock::now() + 60s;
  auto playedFor = [&](double seconds) {
    return disk.Size() >= static_cast<std::uintmax_t>(seconds * kBytesPerSecond) ||
           std::chrono::steady_clock::now() > limit;
  };
  // Let stretching end and the stretched blocks play out: until then the
  // device writes more than the clock moves on.
  while (!playedFor(3.5)) {
    keepFeeding();
    std::this_thread::sleep_for(5ms);
  }
  // Two seconds of steady play: the clock against the bytes written.
  REFERENCE_TIME previous = 0;
  REFERENCE_TIME clockStart = 0;
  clock->GetTime(&clockStart);
  const auto sizeStart = disk.Size();
  while (!playedFor(5.5)) {
    keepFeeding();
    REFERENCE_TIME t = 0;
    clock->GetTime(&t);
    ASSERT_GE(t, previous);
    previous = t;
    std::this_thread::sleep_for(5ms);
  }
  REFERENCE_TIME clockEnd = 0;
  clock->GetTime(&clockEnd);
  const auto sizeEnd = disk.Size();
  ASSERT_LT(std::chrono::steady_clock::now(), limit) << "the device stalled";
  const double written = static_cast<double>(sizeEnd - sizeStart) / kBytesPerSecond * 1e7;
  EXPECT_NEAR(static_cast<double>(clockEnd - clockStart) / written, 1.0, 0.05);
  // Until the blocks fed at the device's pace have played for a while.
  while (!playedFor(7.0)) {
    keepFeeding();
    std::this_thread::sleep_for(5ms);
  }

  const auto stopAt = std::chrono::steady_clock::now();
  control->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 1s);
  graph.Reset();
  sourceFilter.Reset();
  rendererFilter.Reset();
  clock.Reset();

  // From a block after stretching ended (the queue passed 2.5 s a few
  // blocks before the last of those sent at once), the file holds the input
  // as one run.
  const auto content = disk.Content();
  const int from = atOnce - 4;
  const auto marker = PatternBlock(from);
  auto at = std::search(content.begin(), content.end(), marker.begin(), marker.begin() + 64);
  ASSERT_NE(at, content.end());
  size_t offset = static_cast<size_t>(at - content.begin());
  int blocks = 0;
  for (int k = from; offset + kBlock <= content.size() && k < sent; ++k, offset += kBlock, ++blocks) {
    const auto expected = PatternBlock(k);
    if (!std::equal(expected.begin(), expected.end(), content.begin() + static_cast<long>(offset))) break;
  }
  EXPECT_GE(blocks, 30);
}

}  // namespace

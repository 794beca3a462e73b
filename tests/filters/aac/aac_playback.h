// A test stream as the source delivers it (its type, one sample per unit with
// the stream's times), its reference PCM, and the player's path for it:
// source -> the decoder module -> the player's audio renderer as the clock.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "aac_graph.h"
#include "dshow/filter_module.h"
#include "filters/audio_renderer/ravix_ds_aud_renderer.h"
#include "outside/aaccore/support/aac_reference.h"

namespace tlx::aac::test {

// 100-ns units at sample `n` of a stream at `rate`.
inline REFERENCE_TIME TimeOf(int64_t n, int rate) { return n * 10000000 / rate; }

// One sample per unit with the stream's times; every third media start
// carries the source's marker in bit 0.
inline std::vector<dshow::test::ScriptItem> Script(const aaccore::test::AacStream& stream) {
  std::vector<dshow::test::ScriptItem> items;
  for (size_t i = 0; i < stream.units.size(); ++i) {
    const int64_t start = stream.startSamples[i];
    auto item = dshow::test::ScriptItem::Sample(stream.units[i], TimeOf(start, stream.sampleRate),
                                                TimeOf(start + 1024, stream.sampleRate));
    item.hasMediaTime = true;
    item.mediaStart = static_cast<LONGLONG>(i) * 2048 + (i % 3 == 0 ? 1 : 0);
    item.mediaStop = item.mediaStart + 1024;
    item.discontinuity = i == 0;
    items.push_back(std::move(item));
  }
  items.push_back(dshow::test::ScriptItem::EndOfStream());
  return items;
}

// The source's type for a stream: its channels and rate, the source's tag,
// and the stream's own two-byte configuration.
inline CMediaType InputTypeOf(const aaccore::test::AacStream& stream) {
  return AacInputType(stream.channels, stream.sampleRate, 0x00FF, 16,
                      std::vector<BYTE>(stream.config.begin(), stream.config.begin() + 2));
}

// libavcodec's decode of the stream as one run of interleaved s16 bytes.
inline std::vector<BYTE> ReferenceBytes(const aaccore::test::AacStream& stream, int channels) {
  std::vector<BYTE> bytes;
  for (const auto& frame : aaccore::test::ReferenceDecode(stream, channels)) {
    const auto* data = reinterpret_cast<const BYTE*>(frame.data());
    bytes.insert(bytes.end(), data, data + frame.size() * 2);
  }
  return bytes;
}

// The decoder module, beside the test program.
inline std::string ModulePath() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
  return path.substr(0, path.rfind('/')) + "/tlxaacdec.ax";
}

// Source -> the decoder from its module -> the player's audio renderer, which
// is the graph's sync source.
struct PlaybackGraph {
  // Builds and connects the graph for `stream`.
  void Build(const aaccore::test::AacStream& stream) {
    ASSERT_EQ(dshow::RegisterFilterModule(ModulePath()), S_OK);
    ASSERT_EQ(
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.ReceiveVoid()),
        S_OK);
    HRESULT hr = S_OK;
    source = new dshow::test::ScriptedSource(nullptr, &hr);
    sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
    ASSERT_EQ(
        CoCreateInstance(CLSID_AacDecFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, decoder.ReceiveVoid()),
        S_OK);
    renderer = new CRavixDSAudRenderer(nullptr, &hr);
    rendererFilter = Adopt<IBaseFilter>(renderer, IID_IBaseFilter);
    source->SetMediaType(InputTypeOf(stream));
    source->SetBuffers(4, 8192);
    ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(decoder.Get(), u"decoder"), S_OK);
    ASSERT_EQ(graph->AddFilter(rendererFilter.Get(), u"renderer"), S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(decoder.Get(), u"In").Get(), nullptr),
              S_OK);
    ASSERT_EQ(
        graph->ConnectDirect(PinOf(decoder.Get(), u"Out").Get(), PinOf(rendererFilter.Get(), u"In").Get(), nullptr),
        S_OK);
    clock = rendererFilter.As<IReferenceClock>(IID_IReferenceClock);
    ASSERT_EQ(graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(clock.Get()), S_OK);
    control = graph.As<IMediaControl>(IID_IMediaControl);
  }

  // The renderer's clock now.
  REFERENCE_TIME Time() {
    REFERENCE_TIME t = 0;
    clock->GetTime(&t);
    return t;
  }

  ComPtr<IGraphBuilder> graph;
  dshow::test::ScriptedSource* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter;
  ComPtr<IBaseFilter> decoder;
  CRavixDSAudRenderer* renderer = nullptr;
  ComPtr<IBaseFilter> rendererFilter;
  ComPtr<IReferenceClock> clock;
  ComPtr<IMediaControl> control;
};

// The first 2.6 s of a 24 kHz stream: the units the source delivers at once
// before the rest follows at the stream's pace.
inline constexpr size_t kUnitsAtOnce = 61;

// One decoded frame of such a stream: 1024 stereo samples.
inline constexpr size_t kFrameBytes = 4096;

// What the renderer played of a 24 kHz stereo stream fed as above: from a
// frame after stretching ended (the queue passed 2.5 s a few units before the
// first burst was in), the reference PCM bit for bit as one run into the last
// frame; the part of that frame still in the renderer's converter when the
// input ended does not play, and only silence follows.
inline void ExpectReferenceRunToTheEnd(const std::vector<BYTE>& played, const std::vector<BYTE>& reference) {
  constexpr size_t from = kUnitsAtOnce - 4;
  ASSERT_GT(reference.size(), (from + 1) * kFrameBytes);
  const auto marker = reference.begin() + static_cast<long>(from * kFrameBytes);
  const auto at = std::search(played.begin(), played.end(), marker, marker + 64);
  ASSERT_NE(at, played.end());
  const auto [end, endOfReference] = std::mismatch(at, played.end(), marker, reference.end());
  EXPECT_GE(endOfReference - marker, static_cast<long>(reference.size() - (from + 1) * kFrameBytes));
  EXPECT_TRUE(std::all_of(end, played.end(), [](BYTE b) { return b == 0; }));
}

}  // namespace tlx::aac::test

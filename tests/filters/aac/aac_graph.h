// A graph of the test source, the AAC decoder filter and the recording
// renderer, and the input types and samples the tests feed it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filters/aac/aac_dec.h"
#include "filters/aac/aac_dec_filter.h"
#include "platform/dshow/graph_fixture.h"

namespace tlx::aac::test {

using dshow::test::Adopt;
using dshow::test::PinOf;
using tlx::com::ComPtr;

// The input type the source offers: a WAVEFORMATEX with `tag`, followed by
// the AudioSpecificConfig (cbSize 2 for the usual two bytes).
inline CMediaType AacInputType(int channels, int rate, WORD tag = 0x00FF, int bits = 16,
                               std::vector<BYTE> config = {0x12, 0x10}) {
  CMediaType mt;
  mt.SetType(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_TlxAAC);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  std::vector<BYTE> block(sizeof(WAVEFORMATEX) + config.size());
  WAVEFORMATEX wave{};
  wave.wFormatTag = tag;
  wave.nChannels = static_cast<WORD>(channels);
  wave.nSamplesPerSec = static_cast<DWORD>(rate);
  wave.wBitsPerSample = static_cast<WORD>(bits);
  wave.cbSize = static_cast<WORD>(config.size());
  std::memcpy(block.data(), &wave, sizeof wave);
  if (!config.empty()) std::memcpy(block.data() + sizeof wave, config.data(), config.size());
  mt.SetFormat(block.data(), static_cast<ULONG>(block.size()));
  return mt;
}

inline WAVEFORMATEXTENSIBLE FormatOf(const AM_MEDIA_TYPE& mt) {
  WAVEFORMATEXTENSIBLE format{};
  std::memcpy(&format, mt.pbFormat, std::min<size_t>(mt.cbFormat, sizeof format));
  return format;
}

inline AacDecParams ParamsOf(IAacDecParams* filter) {
  AacDecParams params{};
  filter->GetParams(reinterpret_cast<int*>(&params), 0, 0);
  return params;
}

inline HRESULT SetParams(IAacDecParams* filter, const AacDecParams& params) {
  return filter->SetParams(reinterpret_cast<const int*>(&params), 0, 0);
}

// One input sample.
struct Unit {
  std::vector<BYTE> bytes;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  bool hasMediaTime = true;
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  bool sync = true;
  bool preroll = false;
  bool discontinuity = false;
};

// The test source and renderer of the filter layer's graph tests, with the
// decoder in place of the marker.
class AacGraph : public dshow::test::GraphFixture {
 protected:
  void SetUp() override {
    GraphFixture::SetUp();
    HRESULT hr = S_OK;
    filter = new CAacDecFilter(nullptr, &hr);
    decoderFilter = Adopt<IBaseFilter>(filter, IID_IBaseFilter);
    ASSERT_EQ(graph->AddFilter(sourceFilter.Get(), u"source"), S_OK);
    ASSERT_EQ(graph->AddFilter(decoderFilter.Get(), u"decoder"), S_OK);
    ASSERT_EQ(graph->AddFilter(rendererFilter.Get(), u"renderer"), S_OK);
    graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  }

  void TearDown() override {
    GraphFixture::TearDown();
    if (allocator) allocator->Decommit();
  }

  // Connects source -> decoder -> renderer with `input` as the source's
  // type; the decoder is the test's own unless another is given.
  void Connect(const CMediaType& input, IBaseFilter* decoder = nullptr) {
    if (decoder == nullptr) decoder = decoderFilter.Get();
    source->SetMediaType(input);
    source->SetBuffers(4, 80000);
    ASSERT_EQ(graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(decoder, u"In").Get(), nullptr),
              S_OK);
    ASSERT_EQ(graph->ConnectDirect(PinOf(decoder, u"Out").Get(), PinOf(rendererFilter.Get(), u"In").Get(), nullptr),
              S_OK);
  }

  // Runs the graph without a clock, so the renderer takes each frame at once.
  void Run() { ASSERT_EQ(control->Run(), S_OK); }

  // Hands one sample to the decoder's input pin, as the source would.
  HRESULT Push(const Unit& unit) {
    if (!allocator) {
      HRESULT hr = S_OK;
      allocator = Adopt<IMemAllocator>(new CMemAllocator("test samples", nullptr, &hr), IID_IMemAllocator);
      ALLOCATOR_PROPERTIES wanted{1, 80000, 1, 0}, actual{};
      EXPECT_EQ(allocator->SetProperties(&wanted, &actual), S_OK);
      EXPECT_EQ(allocator->Commit(), S_OK);
    }
    IMediaSample* sample = nullptr;
    if (FAILED(allocator->GetBuffer(&sample, nullptr, nullptr, 0))) return E_FAIL;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (!unit.bytes.empty()) std::memcpy(data, unit.bytes.data(), unit.bytes.size());
    sample->SetActualDataLength(static_cast<LONG>(unit.bytes.size()));
    REFERENCE_TIME start = unit.start, stop = unit.stop;
    sample->SetTime(&start, &stop);
    if (unit.hasMediaTime) {
      LONGLONG mediaStart = unit.mediaStart, mediaStop = unit.mediaStop;
      sample->SetMediaTime(&mediaStart, &mediaStop);
    }
    sample->SetSyncPoint(unit.sync);
    sample->SetPreroll(unit.preroll);
    sample->SetDiscontinuity(unit.discontinuity);
    HRESULT hr = filter->InputPin()->Receive(sample);
    sample->Release();
    return hr;
  }

  std::vector<dshow::test::ReceivedSample> Received() { return renderer->Samples(); }

  CAacDecFilter* filter = nullptr;
  ComPtr<IBaseFilter> decoderFilter;
  ComPtr<IMemAllocator> allocator;
};

}  // namespace tlx::aac::test

// The MPEG-4 decoder filter in a graph between the test source and the
// recording renderer, fed sample by sample from the test thread through its
// input pin (as the upstream streaming thread would), and the core API's own
// output for the same stream as the reference.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "com/com_ptr.h"
#include "dshow/media_sample.h"
#include "dshow/media_type.h"
#include "filters/mpeg4/mpeg4_video_decoder_filter.h"
#include "platform/dshow/support/test_filters.h"

namespace tlx::mpeg4::filtertest {

using com::ComPtr;
using dshow::test::ReceivedSample;
using dshow::test::RecordingRenderer;
using dshow::test::ScriptedSource;

// The six bytes the network source sends after its VIDEOINFOHEADER: a visual
// object sequence start code and two zero bytes (94-byte format block).
inline const std::vector<uint8_t> kNetworkExtra = {0x00, 0x00, 0x01, 0xB0, 0x00, 0x00};
inline constexpr REFERENCE_TIME kFrameTime = 400000;

// Every test process keeps its registry in a folder of its own; sets
// ErrorOutput (or removes it with `present` false).
void SetErrorOutput(bool present, DWORD value = 0);

// A Video input type with a VIDEOINFOHEADER and `extra` after it.
CMediaType Mpeg4InputType(int width, int height, const std::vector<uint8_t>& extra = kNetworkExtra,
                          const GUID& subtype = MEDIASUBTYPE_MP4S, REFERENCE_TIME frameTime = kFrameTime);

// Sample i holds VOP i; the first also everything before it.
std::vector<std::vector<uint8_t>> SplitPictures(const std::vector<uint8_t>& stream);

// One picture the core API returned: the decode call that decoded it and
// its converted bytes.
struct CorePictureBytes {
  uint32_t decodeIndex = 0;
  std::vector<uint8_t> bytes;
};
// The stream through the exported functions one call after another, then
// the end marker, each returned picture converted as the filter asks.
std::vector<CorePictureBytes> CoreOutput(const std::vector<uint8_t>& stream, uint32_t format, int32_t stride,
                                         uint32_t width, uint32_t height, size_t imageBytes);

struct Stamp {
  enum Kind { kBoth, kStartOnly, kNone };
  Kind kind = kBoth;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
};
// The stamps of picture sample i: [(i + 1) T, (i + 2) T).
Stamp PictureStamp(size_t index);

class FilterGraph {
 public:
  // Connects source -> filter -> renderer (the renderer taking only
  // `outputSubtype`) and runs the graph without a clock. The source plays
  // nothing unless told; Feed hands samples to the filter's input pin.
  FilterGraph(const CMediaType& input, const GUID& outputSubtype);
  ~FilterGraph();

  HRESULT Feed(const std::vector<uint8_t>& bytes, const Stamp& stamp, bool sync = true, bool discontinuity = false);
  HRESULT EndOfStream();
  std::vector<ReceivedSample> Delivered() const;
  int EndOfStreams() const;
  const CMediaType& OutputType() const;

  CMpeg4VideoDecoderFilter* filter = nullptr;
  ComPtr<IBaseFilter> filterObject;
  ScriptedSource* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter;
  RecordingRenderer* renderer = nullptr;
  ComPtr<IBaseFilter> rendererFilter;
  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  HRESULT inputConnect = E_FAIL, outputConnect = E_FAIL;

 private:
  ComPtr<IMemInputPin> input_;
  ComPtr<IMemAllocator> samples_;
};

}  // namespace tlx::mpeg4::filtertest

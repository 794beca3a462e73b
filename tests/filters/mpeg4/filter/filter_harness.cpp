#include "filter_harness.h"

#include <algorithm>
#include <cstring>

#include "filters/mpeg4/support/stream_corrupter.h"
#include "platform/dshow/graph_fixture.h"
#include "support/child_process.h"
#include "win32/registry.h"

namespace tlx::mpeg4::filtertest {

namespace {

using dshow::test::Adopt;
using dshow::test::PinOf;

const bool g_registryFolderSet = [] {
  static tlx::test::TempFolder folder;
  return setenv("TLX_REGISTRY_DIR", folder.path().c_str(), 1) == 0;
}();

constexpr LONG kSampleBytes = 1 << 20;

}  // namespace

void SetErrorOutput(bool present, DWORD value) {
  ASSERT_TRUE(g_registryFolderSet);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDecoderRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (present) {
    EXPECT_EQ(RegSetValueExA(key, kErrorOutputValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof(value)),
              ERROR_SUCCESS);
  } else {
    RegDeleteValueA(key, kErrorOutputValue);
  }
  RegCloseKey(key);
}

CMediaType Mpeg4InputType(int width, int height, const std::vector<uint8_t>& extra, const GUID& subtype,
                          REFERENCE_TIME frameTime) {
  CMediaType mt(&MEDIATYPE_Video);
  mt.SetSubtype(&subtype);
  mt.SetFormatType(&FORMAT_VideoInfo);
  BYTE* format = mt.AllocFormatBuffer(static_cast<ULONG>(sizeof(VIDEOINFOHEADER) + extra.size()));
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(format);
  info->rcSource = info->rcTarget = RECT{0, 0, width, height};
  info->AvgTimePerFrame = frameTime;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  info->bmiHeader.biCompression = MAKEFOURCC('M', 'P', '4', 'S');
  std::copy(extra.begin(), extra.end(), format + sizeof(VIDEOINFOHEADER));
  return mt;
}

std::vector<std::vector<uint8_t>> SplitPictures(const std::vector<uint8_t>& stream) {
  std::vector<size_t> starts = test::VopStarts(stream);
  std::vector<std::vector<uint8_t>> pictures;
  if (starts.empty()) return pictures;
  starts[0] = 0;
  starts.push_back(stream.size());
  for (size_t i = 0; i + 1 < starts.size(); ++i)
    pictures.emplace_back(stream.begin() + long(starts[i]), stream.begin() + long(starts[i + 1]));
  return pictures;
}

std::vector<CorePictureBytes> CoreOutput(const std::vector<uint8_t>& stream, uint32_t format, int32_t stride,
                                         uint32_t width, uint32_t height, size_t imageBytes) {
  std::vector<CorePictureBytes> out;
  void* decoder = nullptr;
  EXPECT_EQ(Mpeg4DecInit(&decoder), 0u);
  std::vector<uint8_t> input = stream;
  input.insert(input.end(), std::begin(kEndOfStreamMarker), std::end(kEndOfStreamMarker));
  const size_t markerAt = stream.size();
  std::vector<uint8_t> image(imageBytes);
  size_t offset = 0;
  uint32_t call = 0;
  while (offset < input.size()) {
    Mpeg4DecFrame frame{};
    frame.input = input.data() + offset;
    // Pictures first, the end marker in a call of its own.
    frame.inputLength = uint32_t((offset < markerAt ? markerAt : input.size()) - offset);
    frame.outputBuffer = image.data();
    frame.outputFormat = format;
    frame.outputStride = stride;
    frame.outputWidth = width;
    frame.outputHeight = height;
    Mpeg4DecAFrame(decoder, &frame);
    if (frame.outputAvailable != 0) out.push_back({call - frame.reorderDelay, image});
    ++call;
    if (frame.consumed == 0) break;
    offset += frame.consumed;
  }
  Mpeg4DecExit(decoder);
  return out;
}

Stamp PictureStamp(size_t index) {
  return Stamp{Stamp::kBoth, REFERENCE_TIME(index + 1) * kFrameTime, REFERENCE_TIME(index + 2) * kFrameTime};
}

FilterGraph::FilterGraph(const CMediaType& input, const GUID& outputSubtype) {
  HRESULT hr = S_OK;
  filter = new CMpeg4VideoDecoderFilter(nullptr, &hr);
  filterObject = Adopt<IBaseFilter>(filter, IID_IBaseFilter);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             graph.ReceiveVoid()),
            S_OK);
  control = graph.As<IMediaControl>(IID_IMediaControl);
  source = new ScriptedSource(nullptr, &hr);
  sourceFilter = Adopt<IBaseFilter>(source, IID_IBaseFilter);
  renderer = new RecordingRenderer(nullptr, &hr);
  rendererFilter = Adopt<IBaseFilter>(renderer, IID_IBaseFilter);
  renderer->SetAcceptedTypes({{MEDIATYPE_Video, outputSubtype}});
  source->SetMediaType(input);
  source->SetBuffers(2, kSampleBytes);
  graph->AddFilter(sourceFilter.Get(), u"source");
  graph->AddFilter(filterObject.Get(), u"decoder");
  graph->AddFilter(rendererFilter.Get(), u"renderer");
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  inputConnect = graph->ConnectDirect(PinOf(sourceFilter.Get(), u"1").Get(), PinOf(filter, u"In").Get(), nullptr);
  outputConnect = graph->ConnectDirect(PinOf(filter, u"Out").Get(), PinOf(rendererFilter.Get(), u"In").Get(), nullptr);
  input_ = PinOf(filter, u"In").As<IMemInputPin>(IID_IMemInputPin);
  auto* allocator = new CMemAllocator("test samples", nullptr, &hr);
  samples_ = Adopt<IMemAllocator>(allocator, IID_IMemAllocator);
  ALLOCATOR_PROPERTIES request{2, kSampleBytes, 1, 0}, actual{};
  samples_->SetProperties(&request, &actual);
  samples_->Commit();
  if (inputConnect == S_OK && outputConnect == S_OK) {
    EXPECT_EQ(control->Run(), S_OK);
  }
}

FilterGraph::~FilterGraph() {
  if (control) control->Stop();
  samples_->Decommit();
  graph->RemoveFilter(sourceFilter.Get());
  graph->RemoveFilter(filterObject.Get());
  graph->RemoveFilter(rendererFilter.Get());
}

HRESULT FilterGraph::Feed(const std::vector<uint8_t>& bytes, const Stamp& stamp, bool sync, bool discontinuity) {
  IMediaSample* sample = nullptr;
  EXPECT_EQ(samples_->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  if (sample == nullptr) return E_FAIL;
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  const size_t length = std::min(bytes.size(), size_t(kSampleBytes));
  if (length > 0) std::memcpy(data, bytes.data(), length);
  sample->SetActualDataLength(LONG(length));
  REFERENCE_TIME start = stamp.start, stop = stamp.stop;
  if (stamp.kind == Stamp::kBoth) sample->SetTime(&start, &stop);
  if (stamp.kind == Stamp::kStartOnly) sample->SetTime(&start, nullptr);
  sample->SetSyncPoint(sync);
  sample->SetDiscontinuity(discontinuity);
  const HRESULT hr = input_->Receive(sample);
  sample->Release();
  return hr;
}

HRESULT FilterGraph::EndOfStream() { return PinOf(filter, u"In")->EndOfStream(); }

std::vector<ReceivedSample> FilterGraph::Delivered() const { return renderer->Samples(); }

int FilterGraph::EndOfStreams() const {
  const std::vector<std::string> events = renderer->Events();
  return int(std::count(events.begin(), events.end(), "eos"));
}

const CMediaType& FilterGraph::OutputType() const { return filter->OutputPin()->CurrentMediaType(); }

}  // namespace tlx::mpeg4::filtertest

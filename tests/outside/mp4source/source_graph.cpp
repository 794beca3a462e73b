#include "source_graph.h"

#include <fstream>
#include <iterator>

#include "win32/text.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tlx::mp4source::test {

std::string FixturePath(const std::string& name) { return std::string(MP4_FIXTURE_DIR) + "/" + name; }

std::vector<BYTE> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<BYTE>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::u16string Wide(const std::string& text) { return win32::Utf8ToUtf16(text); }

ReferenceStream ReadReference(const std::string& path, bool video) {
  ReferenceStream result;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return result;
  avformat_find_stream_info(format, nullptr);
  int wanted = av_find_best_stream(format, video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  int64_t origin = INT64_MAX;
  for (AVMediaType kind : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
    int index = av_find_best_stream(format, kind, -1, -1, nullptr, 0);
    if (index < 0 || format->streams[index]->start_time == AV_NOPTS_VALUE) continue;
    origin = std::min(origin, av_rescale_q(format->streams[index]->start_time, format->streams[index]->time_base,
                                           AVRational{1, 10000000}));
  }
  if (origin == INT64_MAX) origin = 0;
  if (wanted >= 0) {
    const AVCodecParameters* par = format->streams[wanted]->codecpar;
    result.extradata.assign(par->extradata, par->extradata + par->extradata_size);
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == wanted) {
        result.packets.push_back(
            {std::vector<BYTE>(packet->data, packet->data + packet->size),
             av_rescale_q(packet->pts, format->streams[wanted]->time_base, AVRational{1, 10000000}) - origin,
             av_rescale_q(packet->duration, format->streams[wanted]->time_base, AVRational{1, 10000000}),
             (packet->flags & AV_PKT_FLAG_KEY) != 0});
      }
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
  }
  avformat_close_input(&format);
  return result;
}

void SourceGraph::SetUp() {
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             graph.ReceiveVoid()),
            S_OK);
  control = graph.As<IMediaControl>(IID_IMediaControl);
  events = graph.As<IMediaEventEx>(IID_IMediaEventEx);
  // Samples are taken as they come, not at their times.
  graph.As<IMediaFilter>(IID_IMediaFilter)->SetSyncSource(nullptr);
  HRESULT hr = S_OK;
  source = dshow::test::Adopt<IBaseFilter>(CreateMp4FileSource(nullptr, &hr), IID_IBaseFilter);
  ASSERT_TRUE(source);
  file = source.As<IFileSourceFilter>(IID_IFileSourceFilter);
  ASSERT_TRUE(file);
  ASSERT_EQ(graph->AddFilter(source.Get(), u"source"), S_OK);
}

void SourceGraph::TearDown() {
  if (control) control->Stop();
}

HRESULT SourceGraph::LoadAndConnect(const std::string& path) {
  HRESULT hr = file->Load(Wide(path).c_str(), nullptr);
  if (FAILED(hr)) return hr;
  for (int number = 1;; ++number) {
    std::string id = std::to_string(number);
    ComPtr<IPin> pin = dshow::test::PinOf(source.Get(), Wide(id).c_str());
    if (!pin) break;
    HRESULT made = S_OK;
    auto* renderer = new RecordingRenderer(nullptr, &made, nullptr, "renderer");
    rendererFilters.push_back(dshow::test::Adopt<IBaseFilter>(renderer, IID_IBaseFilter));
    renderers.push_back(renderer);
    pins.push_back(pin);
    EXPECT_EQ(graph->AddFilter(rendererFilters.back().Get(), Wide("renderer" + id).c_str()), S_OK);
    EXPECT_EQ(graph->ConnectDirect(pin.Get(), dshow::test::PinOf(rendererFilters.back().Get(), u"In").Get(), nullptr),
              S_OK);
  }
  return hr;
}

long SourceGraph::NextEvent(long milliseconds) {
  long code;
  LONG_PTR p1, p2;
  if (events->GetEvent(&code, &p1, &p2, milliseconds) != S_OK) return 0;
  events->FreeEventParams(code, p1, p2);
  return code;
}

bool SourceGraph::RunToEnd(long milliseconds) {
  if (FAILED(control->Run())) return false;
  for (;;) {
    long code = NextEvent(milliseconds);
    if (code == 0) return false;
    if (code == EC_COMPLETE || code == EC_ERRORABORT) return true;
  }
}

}  // namespace tlx::mp4source::test

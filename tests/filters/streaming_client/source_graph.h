// The stream engine's part in a test: a graph with one branch per medium
// (source pin -> decryptor -> recording renderer), a thread that takes the
// graph's events and hands the stream key to the decryptors on
// EC_TLX_AUTH_END (audio first), and the peer's scenario around it.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "filters/aes_decryptor/aes_decryptor_filter.h"
#include "filters/streaming_client/streaming_client_filter.h"
#include "platform/dshow/graph_fixture.h"
#include "platform/rtsp/peer/stream_fixtures.h"
#include "support/peer_process.h"

namespace tlx::dshow::test {

using SteadyClock = std::chrono::steady_clock;

struct GraphEvent {
  long code;
  LONG_PTR param1;
  LONG_PTR param2;
  SteadyClock::time_point at;
};

// The stream presets of the stream engine, and the fixtures each plays.
struct StreamMedia {
  const char* video;
  const char* codec;
  const char* audio;
  uint32_t rate;
  const char* quality;  // the preset text after "DSP/"
  int videoTypeIndex;
};
extern const StreamMedia kMpeg4Media;
extern const StreamMedia kAvcMedia;


// A scenario for the peer's http service with the test identity and the
// stream of `media`; `stream` and `http` add members to the stream and the
// service options.
std::string StreamScenario(const StreamMedia& media, const std::string& stream = "", const std::string& http = "");

std::string FromHex(const std::string& hex);
// Open descriptors and threads of this process.
int OpenDescriptorCount();
int ThreadCount();

class SourceGraph {
 public:
  // Registers the test identity and builds the graph with the branches asked for.
  explicit SourceGraph(bool audio = true, bool video = true, int videoTypeIndex = 0);
  ~SourceGraph();

  // TlxRavixAuthInit, then IMediaControl::Run.
  HRESULT Run();
  HRESULT Stop();
  void SetQuality(const StreamMedia& media) { control->SetQuality((std::string("DSP/") + media.quality).c_str()); }
  // The stream engine's set-up: the media's preset, then the server
  // 127.0.0.1 at the port.
  void Use(const StreamMedia& media, int port);

  std::vector<GraphEvent> Events();
  std::vector<long> EventCodes(bool withStatistics = false);
  bool WaitForEvent(long code, int milliseconds);
  // Waits until every event the graph was sent before the call is in
  // Events(): a marker sent now comes out of the graph's queue after them.
  bool CatchUp(int milliseconds);
  // Waits until the renderer saw the end of its stream.
  bool WaitForEnd(RecordingRenderer* renderer, int milliseconds);

  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> mediaControl;
  ComPtr<IMediaEventEx> events;
  CStreamingClientFilter* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter;
  ComPtr<ITlxStreamSourceControl> control;
  ComPtr<IBaseFilter> decryptors[2];  // audio, video
  RecordingRenderer* renderers[2] = {nullptr, nullptr};
  ComPtr<IBaseFilter> rendererFilters[2];
  std::atomic<int> keysSet{0};

 private:
  void EngineLoop();
  std::mutex lock_;
  std::vector<GraphEvent> events_;
  long markers_ = 0;
  std::atomic<bool> stop_{false};
  std::thread engine_;
};

}  // namespace tlx::dshow::test

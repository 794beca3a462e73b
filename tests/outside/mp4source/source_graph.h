// A graph of the MP4 file source with a recording renderer on each of its
// pins, and the test's own reading of a fixture file through libavformat.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mp4source/mp4_file_source.h"
#include "platform/dshow/graph_fixture.h"

namespace tlx::mp4source::test {

using dshow::test::ComPtr;
using dshow::test::RecordingRenderer;
using dshow::test::ReceivedSample;

std::string FixturePath(const std::string& name);
std::vector<BYTE> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<BYTE>& bytes);
// UTF-8 to UTF-16.
std::u16string Wide(const std::string& text);

// One packet as libavformat reads it, with its presentation time in 100-ns
// units counted from the file's origin (the earliest start of the first
// video and audio stream).
struct ReferencePacket {
  std::vector<BYTE> bytes;
  REFERENCE_TIME start;
  REFERENCE_TIME duration;
  bool key;
};
struct ReferenceStream {
  std::vector<ReferencePacket> packets;
  std::vector<BYTE> extradata;
};
// The first stream of `video` or audio kind.
ReferenceStream ReadReference(const std::string& path, bool video);

class SourceGraph : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Loads the file into the source; on success puts a renderer on each pin
  // and connects it.
  HRESULT LoadAndConnect(const std::string& path);
  // The next event, skipping none, or 0 after the time-out.
  long NextEvent(long milliseconds);
  // Runs until every renderer has had the end of its stream; false when the
  // graph neither completes nor aborts within `milliseconds`.
  bool RunToEnd(long milliseconds);

  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEventEx> events;
  ComPtr<IBaseFilter> source;
  ComPtr<IFileSourceFilter> file;
  std::vector<RecordingRenderer*> renderers;  // one for each pin, in pin order
  std::vector<ComPtr<IBaseFilter>> rendererFilters;
  std::vector<ComPtr<IPin>> pins;
};

}  // namespace tlx::mp4source::test

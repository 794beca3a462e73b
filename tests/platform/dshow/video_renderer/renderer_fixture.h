// A playback graph for the video renderer: the scripted pushing source
// connected to a renderer made through the class registry, with a manual
// clock as the graph clock, and the picture formats the tests feed it.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <vector>

#include "dshow/video_renderer/video_format.h"
#include "platform/dshow/graph_fixture.h"
#include "video_renderer/video_renderer.h"

namespace tlx::dshow::video::test {

using dshow::test::ComPtr;
using dshow::test::ManualClock;
using dshow::test::ScriptedSource;
using dshow::test::ScriptItem;

// A video type of `subtype` at width x height; `topDown` gives a negative
// biHeight. FORMAT_VideoInfo unless `info2`.
CMediaType VideoType(REFGUID subtype, int width, int height, bool topDown = false, bool info2 = false);

// A picture of the format's size filled with bytes from a fixed pseudo-random
// sequence: every pixel differs from its neighbours.
std::vector<BYTE> NoisePicture(const VideoFormat& format, unsigned seed);

// One colour per quadrant of a width x height RGB32 picture, top row first:
// red, green (top), blue, white (bottom).
std::vector<BYTE> QuadrantPicture(int width, int height);
inline constexpr QRgb kQuadrantColours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};

class RendererGraph : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Adds the source and a renderer of `clsid`, connects them with `type` and
  // makes the manual clock the graph clock. The source has one buffer, of the
  // picture's size or `bufferSize` when that is larger.
  void Build(const CMediaType& type, REFCLSID clsid = CLSID_VideoMixingRenderer9, LONG bufferSize = 0);
  // Runs the graph; the run start is the clock's time then plus the graph's
  // start latency, which the first hook report tells.
  void Run();
  // The next event, or 0 after the time-out.
  long NextEvent(long milliseconds);

  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEventEx> events;
  ScriptedSource* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter;
  ComPtr<IBaseFilter> renderer;
  ComPtr<IVideoRendererProbe> probe;
  ComPtr<IVideoWindow> window;
  ComPtr<IBasicVideo> video;
  ManualClock* clock = nullptr;
  ComPtr<IReferenceClock> clockRef;
};

}  // namespace tlx::dshow::video::test

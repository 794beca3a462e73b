// The filter in a graph with the real core: fixture streams cut into samples
// of random size come out as every picture once, in display order, with its
// time, equal to libavcodec's own decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "avc_streams.h"
#include "core_library.h"
#include "filter_harness.h"

namespace tlx::avctest {
namespace {

constexpr int64_t kFieldPairDuration = 333666;

// The Annex-B stream cut into samples of 1 to maxSize bytes; a sample that
// begins an access unit carries its time.
std::vector<ScriptItem> CutIntoSamples(const std::vector<AccessUnit>& units, size_t maxSize, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<ScriptItem> items;
  for (const AccessUnit& unit : units) {
    size_t pos = 0;
    while (pos < unit.bytes.size()) {
      const size_t size = std::min(unit.bytes.size() - pos, 1 + random() % maxSize);
      std::vector<BYTE> bytes(unit.bytes.begin() + pos, unit.bytes.begin() + pos + size);
      items.push_back(pos == 0 ? ScriptItem::Sample(bytes, unit.time, unit.time + 1) : ScriptItem::Untimed(bytes));
      pos += size;
    }
  }
  return items;
}

bool RunToEnd(DecoderGraph& graph) {
  if (graph.control->Run() != S_OK) return false;
  long code = 0;
  return graph.events->WaitForCompletion(20000, &code) == S_OK;
}

std::vector<uint8_t> Yv12Of(const Picture& picture) {
  std::vector<uint8_t> out = picture.y;
  out.insert(out.end(), picture.v.begin(), picture.v.end());
  out.insert(out.end(), picture.u.begin(), picture.u.end());
  return out;
}

struct Case {
  const char* file;
  int width, height;
  DWORD interlace;
};

class EndToEnd : public ::testing::TestWithParam<Case> {};

TEST_P(EndToEnd, Yv12PicturesComeOutOnceInDisplayOrderWithTheirTimes) {
  const Case c = GetParam();
  const AvcStream stream = ReadAvcStream(FixturePath(c.file));
  const std::vector<Picture> reference = ReferenceDecode(stream.annexB);
  ModuleFolder folder(RealCoreFolder());
  ComPtr<IBaseFilter> decoder = folder.CreateFilter();
  ASSERT_TRUE(decoder);
  DecoderGraph graph(decoder.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, c.width, c.height),
                     {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.inputConnect, S_OK);
  ASSERT_EQ(graph.outputConnect, S_OK);
  auto items = CutIntoSamples(stream.annexB, 3000, 11);
  items.push_back(ScriptItem::EndOfStream());
  graph.source->SetScript(items);
  ASSERT_TRUE(RunToEnd(graph));
  const auto samples = graph.renderer->Samples();
  ASSERT_EQ(samples.size(), reference.size());
  DWORD interlace = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(samples[i].start, reference[i].time);
    EXPECT_EQ(samples[i].stop, reference[i].time + kFieldPairDuration);
    EXPECT_EQ(samples[i].discontinuity, i == 0);
    if (samples[i].type) {
      interlace = reinterpret_cast<const VIDEOINFOHEADER2*>(samples[i].type->Format())->dwInterlaceFlags;
      EXPECT_EQ(interlace, c.interlace) << "the new type rides on the picture that brings it";
    }
    EXPECT_EQ(interlace, c.interlace);
    const std::vector<uint8_t> expected = Yv12Of(reference[i]);
    ASSERT_EQ(samples[i].bytes.size(), expected.size());
    EXPECT_TRUE(samples[i].bytes == expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EndToEnd,
                         ::testing::Values(Case{"progressive_320x240.mp4", 320, 240, 0},
                                           Case{"cropped_320x180.mp4", 320, 180, 0},
                                           Case{"tff_720x480.mp4", 720, 480, 5},
                                           Case{"bff_720x480.mp4", 720, 480, 1}));

}  // namespace
}  // namespace tlx::avctest

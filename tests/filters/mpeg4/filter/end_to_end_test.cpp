// End to end: the stream as the network source sends it (94-byte format
// block, one picture per sample, played by the source's streaming thread)
// comes out of the filter in each output format exactly as the core API
// converts it; and the graph stops cleanly while samples stream.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "filter_harness.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/streaming_client/tlx_media_subtypes.h"
#include "platform/dshow/graph_fixture.h"

namespace tlx::mpeg4::filtertest {
namespace {

using dshow::test::ScriptItem;

bool WaitLong(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::vector<ScriptItem> Script(const std::vector<std::vector<uint8_t>>& pictures, size_t first = 0) {
  std::vector<ScriptItem> items;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const Stamp stamp = PictureStamp(first + i);
    ScriptItem item = ScriptItem::Sample(pictures[i], stamp.start, stamp.stop);
    item.sync = true;
    items.push_back(std::move(item));
  }
  return items;
}

struct FormatCase {
  const char* name;
  const GUID* subtype;
  bool topDown;
};

TEST(EndToEnd, NetworkStreamComesOutAsTheCoreConvertsItInEveryFormat) {
  const std::vector<uint8_t> stream = test::ReadFixture("b2_352x288.m4v");
  const std::vector<std::vector<uint8_t>> pictures = SplitPictures(stream);
  ASSERT_GT(pictures.size(), 10u);
  const FormatCase cases[] = {
      {"YUY2", &MEDIASUBTYPE_YUY2, false},          {"RGB24", &MEDIASUBTYPE_RGB24, false},
      {"RGB24 top-down", &MEDIASUBTYPE_RGB24, true}, {"RGB565", &MEDIASUBTYPE_RGB565, false},
      {"RGB565 top-down", &MEDIASUBTYPE_RGB565, true}, {"RGB555", &MEDIASUBTYPE_RGB555, false},
      {"RGB555 top-down", &MEDIASUBTYPE_RGB555, true},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    FilterGraph g(Mpeg4InputType(352, 288, kNetworkExtra, MEDIASUBTYPE_TlxMP4V), *c.subtype);
    ASSERT_EQ(g.outputConnect, S_OK);
    CMediaType type = g.OutputType();
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.Format());
    if (c.topDown) {
      // The renderer asks for top-down rows on the first buffer it hands out.
      info->bmiHeader.biHeight = -info->bmiHeader.biHeight;
      g.renderer->Allocator()->SetTypeOfNextBuffer(type);
    }
    std::vector<ScriptItem> items = Script(pictures);
    items.push_back(ScriptItem::EndOfStream());
    g.source->AppendScript(std::move(items));
    ASSERT_TRUE(WaitLong([&] { return g.EndOfStreams() == 1; }));

    const BITMAPINFOHEADER& header = info->bmiHeader;
    EXPECT_EQ(g.filter->Frame().outputFormat & 1u, c.topDown || c.subtype == &MEDIASUBTYPE_YUY2 ? 0u : 1u);
    EXPECT_EQ(g.filter->Frame().outputStride, 352 * header.biBitCount / 8);
    const std::vector<CorePictureBytes> expected =
        CoreOutput(stream, g.filter->Frame().outputFormat, g.filter->Frame().outputStride, 352, 288,
                   header.biSizeImage);
    const std::vector<ReceivedSample> delivered = g.Delivered();
    ASSERT_EQ(delivered.size(), expected.size());
    ASSERT_EQ(delivered.size(), pictures.size());
    for (size_t i = 0; i < delivered.size(); ++i) {
      EXPECT_EQ(delivered[i].bytes.size(), header.biSizeImage);
      EXPECT_TRUE(delivered[i].bytes == expected[i].bytes) << "picture " << i;
      EXPECT_EQ(delivered[i].start, PictureStamp(expected[i].decodeIndex).start);
    }
  }
}

TEST(EndToEnd, StoppingWhileSamplesStreamIsClean) {
  SetErrorOutput(false);
  const std::vector<uint8_t> stream = test::ReadFixture("sp_ip_176x144.m4v");
  const std::vector<std::vector<uint8_t>> pictures = SplitPictures(stream);
  FilterGraph g(Mpeg4InputType(176, 144), MEDIASUBTYPE_RGB565);
  std::vector<ScriptItem> items;
  for (size_t round = 0; round < 6; ++round) {
    std::vector<ScriptItem> more = Script(pictures, round * pictures.size());
    items.insert(items.end(), more.begin(), more.end());
  }
  for (int run = 0; run < 3; ++run) {
    g.renderer->ClearRecords();
    g.source->SetScript(items);
    if (run > 0) {
      ASSERT_EQ(g.control->Run(), S_OK);
    }
    ASSERT_TRUE(WaitLong([&] { return g.Delivered().size() >= size_t(5 + 7 * run); }));
    EXPECT_EQ(g.control->Stop(), S_OK);
    for (const ReceivedSample& s : g.Delivered()) EXPECT_EQ(s.bytes.size(), 176u * 2 * 144);
  }
}

}  // namespace
}  // namespace tlx::mpeg4::filtertest

// The filter in a graph with the real core: fixture streams cut into samples
// of random size come out as every picture once, in display order, with its
// time, equal to libavcodec's own decode (or its conversion to YUY2 or RGB).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "filter_harness.h"
#include "filters/avc/picture_converter.h"
#include "filters/mpeg4/core/yuv_rgb/rgb_reference_model.h"
#include "outside/avccore/support/avc_streams.h"
#include "outside/avccore/support/core_library.h"

namespace tlx::avctest {
namespace {

// 1001/30000 s, rounded once.
constexpr int64_t kFieldPairDuration = 333667;

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

// The whole stream, cut into samples of up to 5000 bytes, through the
// graph: what the renderer received (nothing when the run does not finish).
std::vector<dshow::test::ReceivedSample> DecodeWhole(DecoderGraph& graph, const AvcStream& stream, uint32_t seed) {
  auto items = CutIntoSamples(stream.annexB, 5000, seed);
  items.push_back(ScriptItem::EndOfStream());
  graph.source->SetScript(items);
  if (!RunToEnd(graph)) {
    ADD_FAILURE() << "the stream did not run to its end";
    return {};
  }
  return graph.renderer->Samples();
}

// YUY2 of a decoded picture as the converter makes it (its rules are held to
// a model of their own in the converter's tests).
std::vector<uint8_t> Yuy2Of(Picture picture, bool interlaced) {
  avc::CPictureConverter converter;
  converter.Select();
  const int rowBytes = (2 * picture.width + 3) & ~3;
  std::vector<uint8_t> out(static_cast<size_t>(rowBytes) * picture.height);
  const int chromaStride = (picture.width + 1) / 2;
  const avc::Planes planes{{picture.y.data(), picture.u.data(), picture.v.data()},
                           {picture.width, chromaStride, chromaStride}};
  converter.PackedConvert(planes, picture.width, picture.height,
                          avc::kFormatPlanar420 | (interlaced ? avc::kSourceInterlaced : avc::kSourceProgressive),
                          avc::kOptionStudioRange, out.data(), rowBytes, avc::kFormatYuy2);
  return out;
}

TEST(EndToEndFormats, Yuy2PicturesAreTheConvertedDecode) {
  for (const char* file : {"progressive_320x240.mp4", "tff_720x480.mp4"}) {
    SCOPED_TRACE(file);
    const AvcStream stream = ReadAvcStream(FixturePath(file));
    const std::vector<Picture> reference = ReferenceDecode(stream.annexB);
    ModuleFolder folder(RealCoreFolder());
    ComPtr<IBaseFilter> decoder = folder.CreateFilter();
    DecoderGraph graph(decoder.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, stream.width, stream.height),
                       {{MEDIATYPE_Video, MEDIASUBTYPE_YUY2}});
    ASSERT_EQ(graph.outputConnect, S_OK);
    const auto samples = DecodeWhole(graph, stream, 12);
    ASSERT_EQ(samples.size(), reference.size());
    for (size_t i = 0; i < samples.size(); ++i)
      EXPECT_TRUE(samples[i].bytes == Yuy2Of(reference[i], reference[i].flags != TLXAVC_PICTURE_PROGRESSIVE)) << i;
  }
}

// RGB of a decoded picture as the reference model makes it: the field walk
// for an interlaced picture, studio range, rows of rowBytes bottom-up or
// top-down. The tightly packed planes of an even width have chroma rows of
// half the luma row.
std::vector<uint8_t> RgbOf(const Picture& picture, mpeg4::reference::Format format, bool topDown, int rowBytes) {
  namespace ref = mpeg4::reference;
  EXPECT_EQ(picture.width % 2, 0);
  const ref::Mode mode = picture.flags != TLXAVC_PICTURE_PROGRESSIVE ? ref::Mode::Fields : ref::Mode::Progressive;
  const auto rows = ref::ConvertPicture(ref::MakeColour(0, 0), format, mode,
                                        {picture.width, picture.height, picture.y.data(), picture.u.data(),
                                         picture.v.data(), picture.width});
  std::vector<uint8_t> out(static_cast<size_t>(rowBytes) * picture.height);
  for (int r = 0; r < picture.height; ++r)
    std::copy(rows[r].begin(), rows[r].end(),
              out.begin() + static_cast<size_t>(topDown ? r : picture.height - 1 - r) * rowBytes);
  return out;
}

struct RgbCase {
  const char* name;
  const char* file;
  GUID subtype;
  mpeg4::reference::Format format;
};

void PrintTo(const RgbCase& c, std::ostream* out) { *out << c.name; }

class EndToEndRgb : public ::testing::TestWithParam<RgbCase> {};

// Each RGB output of a fixture equals the model applied to libavcodec's
// planes: bottom-up rows for a positive biHeight, top-down for a negative one.
TEST_P(EndToEndRgb, PicturesAreTheModelsConversionOfTheDecode) {
  using dshow::test::PinOf;
  const RgbCase c = GetParam();
  const AvcStream stream = ReadAvcStream(FixturePath(c.file));
  const std::vector<Picture> reference = ReferenceDecode(stream.annexB);
  for (const bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "negative biHeight" : "positive biHeight");
    ModuleFolder folder(RealCoreFolder());
    ComPtr<IBaseFilter> decoder = folder.CreateFilter();
    DecoderGraph graph(decoder.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, stream.width, stream.height),
                       {{MEDIATYPE_Video, c.subtype}});
    ASSERT_EQ(graph.outputConnect, S_OK);
    ComPtr<IPin> out = PinOf(decoder.Get(), u"Out"), in = PinOf(graph.rendererFilter.Get(), u"In");
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(out->ConnectionMediaType(&connected), S_OK);
    CMediaType type(connected);
    FreeMediaType(connected);
    auto* info = reinterpret_cast<VIDEOINFOHEADER2*>(type.Format());
    ASSERT_GT(info->bmiHeader.biHeight, 0);
    if (topDown) {
      // Connected again with the negated height.
      info->bmiHeader.biHeight = -info->bmiHeader.biHeight;
      ASSERT_EQ(graph.graph->Disconnect(out.Get()), S_OK);
      ASSERT_EQ(graph.graph->Disconnect(in.Get()), S_OK);
      ASSERT_EQ(graph.graph->ConnectDirect(out.Get(), in.Get(), &type), S_OK);
    }
    const int rowBytes = (stream.width * info->bmiHeader.biBitCount / 8 + 3) & ~3;
    const auto samples = DecodeWhole(graph, stream, 18);
    ASSERT_EQ(samples.size(), reference.size());
    for (size_t i = 0; i < samples.size(); ++i)
      ASSERT_TRUE(samples[i].bytes == RgbOf(reference[i], c.format, topDown, rowBytes)) << "picture " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, EndToEndRgb,
    ::testing::Values(
        RgbCase{"ProgressiveRgb32", "progressive_320x240.mp4", MEDIASUBTYPE_RGB32, mpeg4::reference::Format::Rgb32},
        RgbCase{"ProgressiveRgb24", "progressive_320x240.mp4", MEDIASUBTYPE_RGB24, mpeg4::reference::Format::Rgb24},
        RgbCase{"ProgressiveRgb565", "progressive_320x240.mp4", MEDIASUBTYPE_RGB565,
                mpeg4::reference::Format::Rgb565},
        RgbCase{"InterlacedRgb32", "tff_720x480.mp4", MEDIASUBTYPE_RGB32, mpeg4::reference::Format::Rgb32},
        RgbCase{"InterlacedRgb24", "tff_720x480.mp4", MEDIASUBTYPE_RGB24, mpeg4::reference::Format::Rgb24},
        RgbCase{"InterlacedRgb565", "tff_720x480.mp4", MEDIASUBTYPE_RGB565, mpeg4::reference::Format::Rgb565}),
    [](const ::testing::TestParamInfo<RgbCase>& info) { return std::string(info.param.name); });

// The configuration record after the header and length-prefixed samples give
// the same pictures as the byte stream.
TEST(EndToEndFormats, LengthPrefixedSamplesDecodeLikeTheByteStream) {
  const AvcStream stream = ReadAvcStream(FixturePath("progressive_320x240.mp4"));
  const std::vector<Picture> reference = ReferenceDecode(stream.annexB);
  ModuleFolder folder(RealCoreFolder());
  ComPtr<IBaseFilter> decoder = folder.CreateFilter();
  DecoderGraph graph(decoder.Get(), AvcInputType(MEDIASUBTYPE_TlxAVCC, 320, 240, stream.avcC),
                     {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  std::vector<ScriptItem> items;
  for (const AccessUnit& sample : stream.lengthPrefixed)
    items.push_back(ScriptItem::Sample({sample.bytes.begin(), sample.bytes.end()}, sample.time, sample.time + 1));
  items.push_back(ScriptItem::EndOfStream());
  graph.source->SetScript(items);
  ASSERT_TRUE(RunToEnd(graph));
  const auto samples = graph.renderer->Samples();
  ASSERT_EQ(samples.size(), reference.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    EXPECT_EQ(samples[i].start, reference[i].time);
    EXPECT_TRUE(samples[i].bytes == Yv12Of(reference[i])) << i;
  }
}

// Stop with the renderer holding every sample, and a flush in the middle of
// the stream, both finish; after the flush the pictures go on.
TEST(EndToEndControl, StopAndFlushMidStreamComplete) {
  const AvcStream stream = ReadAvcStream(FixturePath("progressive_320x240.mp4"));
  ModuleFolder folder(RealCoreFolder());
  ComPtr<IBaseFilter> decoder = folder.CreateFilter();
  {
    DecoderGraph graph(decoder.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240),
                       {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
    ASSERT_EQ(graph.outputConnect, S_OK);
    graph.renderer->SetHolding(true);
    graph.source->SetScript(CutIntoSamples(stream.annexB, 4000, 13));
    ASSERT_EQ(graph.control->Run(), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return graph.renderer->HeldSamples() > 0; }));
    EXPECT_EQ(graph.control->Stop(), S_OK);
  }
  DecoderGraph graph(decoder.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240),
                     {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  const std::vector<AccessUnit> firstGop(stream.annexB.begin(), stream.annexB.begin() + 6);
  const std::vector<AccessUnit> secondGop(stream.annexB.begin() + 12, stream.annexB.end());
  auto items = CutIntoSamples(firstGop, 4000, 14);
  items.push_back(ScriptItem::Flush());
  auto after = CutIntoSamples(secondGop, 4000, 15);
  items.insert(items.end(), after.begin(), after.end());
  items.push_back(ScriptItem::EndOfStream());
  graph.source->SetScript(items);
  ASSERT_TRUE(RunToEnd(graph));
  size_t afterFlush = 0;
  for (const auto& sample : graph.renderer->Samples())
    if (sample.start >= secondGop.front().time) ++afterFlush;
  EXPECT_EQ(afterFlush, secondGop.size());
}

// A stream whose pictures the core does not show (4:4:4 chroma, 10-bit
// samples) ends downstream without a picture, and the graph hears why once.
// The next run plays a stream the core shows.
TEST(EndToEndControl, AStreamTheCoreDoesNotShowIsRefusedWithOneErrorEvent) {
  const AvcStream shown = ReadAvcStream(FixturePath("progressive_320x240.mp4"));
  for (const char* file : {"high444_320x240.mp4", "high10_320x240.mp4"}) {
    SCOPED_TRACE(file);
    const AvcStream stream = ReadAvcStream(FixturePath(file));
    ModuleFolder folder(RealCoreFolder());
    ComPtr<IBaseFilter> decoder = folder.CreateFilter();
    DecoderGraph graph(decoder.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240),
                       {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
    ASSERT_EQ(graph.outputConnect, S_OK);
    auto items = CutIntoSamples(stream.annexB, 3000, 18);
    items.push_back(ScriptItem::EndOfStream());
    graph.source->SetScript(items);
    ASSERT_TRUE(RunToEnd(graph));
    EXPECT_EQ(graph.control->Stop(), S_OK);
    EXPECT_EQ(ErrorAbortReasons(graph.events.Get()), std::vector<LONG_PTR>{VFW_E_TYPE_NOT_ACCEPTED});
    EXPECT_TRUE(graph.renderer->Samples().empty());
    const auto events = graph.renderer->Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), "eos"), 1);

    auto next = CutIntoSamples(shown.annexB, 3000, 19);
    next.push_back(ScriptItem::EndOfStream());
    graph.source->SetScript(next);
    ASSERT_TRUE(RunToEnd(graph));
    EXPECT_EQ(graph.control->Stop(), S_OK);
    EXPECT_EQ(graph.renderer->Samples().size(), shown.annexB.size());
    EXPECT_TRUE(ErrorAbortReasons(graph.events.Get()).empty());
  }
}

// Random bytes, cut and damaged units: no crash, no hang, and from the next
// intact IDR on the pictures are those of the clean stream.
TEST(EndToEndControl, DamagedInputIsConcealed) {
  const AvcStream stream = ReadAvcStream(FixturePath("progressive_320x240.mp4"));
  const std::vector<Picture> reference = ReferenceDecode(stream.annexB);
  std::mt19937 random(16);
  std::vector<AccessUnit> damaged(stream.annexB.begin(), stream.annexB.begin() + 12);
  for (size_t k = 0; k < damaged.size(); ++k) {
    auto& bytes = damaged[k].bytes;
    if (k % 3 == 0) bytes.resize(bytes.size() / 2);
    if (k % 3 == 1)
      for (int flip = 0; flip < 6; ++flip) bytes[4 + random() % (bytes.size() - 4)] ^= 1 << (random() % 8);
    if (k % 3 == 2)
      for (size_t i = 4; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(random());
  }
  std::vector<AccessUnit> units = damaged;
  units.insert(units.end(), stream.annexB.begin() + 12, stream.annexB.end());
  ModuleFolder folder(RealCoreFolder());
  ComPtr<IBaseFilter> decoder = folder.CreateFilter();
  DecoderGraph graph(decoder.Get(), AvcInputType(MEDIASUBTYPE_TlxAVC, 320, 240),
                     {{MEDIATYPE_Video, MEDIASUBTYPE_YV12}});
  ASSERT_EQ(graph.outputConnect, S_OK);
  auto items = CutIntoSamples(units, 2000, 17);
  items.push_back(ScriptItem::EndOfStream());
  graph.source->SetScript(items);
  ASSERT_TRUE(RunToEnd(graph));
  std::vector<std::vector<uint8_t>> tail;
  for (const auto& sample : graph.renderer->Samples())
    if (sample.start >= stream.annexB[12].time) tail.push_back(sample.bytes);
  ASSERT_EQ(tail.size(), stream.annexB.size() - 12);
  for (size_t i = 0; i < tail.size(); ++i) EXPECT_TRUE(tail[i] == Yv12Of(reference[12 + i])) << i;
}

}  // namespace
}  // namespace tlx::avctest

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "dshow/filter_module.h"
#include "win32/text.h"
#include "source_graph.h"

namespace tlx::mp4source::test {
namespace {

constexpr REFERENCE_TIME kSecond = 10000000;

// The number of the 48 kHz sample at a time, with bit 0 cleared.
LONGLONG SampleNumber(REFERENCE_TIME time) {
  return std::llround(static_cast<double>(time) * 48000 / kSecond) & ~LONGLONG{1};
}

CMediaType PinType(IPin* pin) {
  AM_MEDIA_TYPE mt{};
  EXPECT_EQ(pin->ConnectionMediaType(&mt), S_OK);
  CMediaType type(mt);
  FreeMediaType(mt);
  return type;
}

std::vector<BYTE> Concatenated(const std::vector<ReceivedSample>& samples) {
  std::vector<BYTE> all;
  for (const ReceivedSample& s : samples) all.insert(all.end(), s.bytes.begin(), s.bytes.end());
  return all;
}

// The samples of the last run: those after the last flush.
std::vector<ReceivedSample> SinceLastFlush(RecordingRenderer* renderer) {
  std::vector<std::string> events = renderer->Events();
  auto flush = std::find(events.rbegin(), events.rend(), "end-flush");
  size_t count = static_cast<size_t>(std::count(events.rbegin(), flush, "sample"));
  std::vector<ReceivedSample> samples = renderer->Samples();
  return std::vector<ReceivedSample>(samples.end() - static_cast<std::ptrdiff_t>(count), samples.end());
}

class FileSource : public SourceGraph, public ::testing::WithParamInterface<const char*> {};

// The video leaves as ffmpeg's own conversion writes it, at the file's
// presentation times; the audio as libavformat reads it, with its sample
// numbers; both end, and the graph completes.
TEST_P(FileSource, PlaysTheFilesStreamsAsTheyAreStored) {
  const std::string name = GetParam();
  ASSERT_EQ(LoadAndConnect(FixturePath(name + ".mp4")), S_OK);
  ASSERT_EQ(renderers.size(), 2u);

  CMediaType video = PinType(pins[0].Get());
  EXPECT_EQ(video.majortype, MEDIATYPE_Video);
  EXPECT_EQ(video.subtype, MEDIASUBTYPE_TlxAVC);
  EXPECT_EQ(video.formattype, FORMAT_VideoInfo2);
  ASSERT_EQ(video.cbFormat, sizeof(VIDEOINFOHEADER2));
  const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(video.pbFormat);
  EXPECT_EQ(vih->rcSource.right, 320);
  EXPECT_EQ(vih->rcSource.bottom, 240);
  EXPECT_EQ(vih->AvgTimePerFrame, kSecond / 25);
  EXPECT_EQ(vih->dwPictAspectRatioX, 4u);
  EXPECT_EQ(vih->dwPictAspectRatioY, 3u);
  EXPECT_EQ(vih->bmiHeader.biWidth, 320);
  EXPECT_EQ(vih->bmiHeader.biHeight, 240);
  EXPECT_EQ(vih->bmiHeader.biCompression, MAKEFOURCC('M', 'P', '4', 'S'));

  ReferenceStream audioRef = ReadReference(FixturePath(name + ".mp4"), false);
  CMediaType audio = PinType(pins[1].Get());
  EXPECT_EQ(audio.majortype, MEDIATYPE_Audio);
  EXPECT_EQ(audio.subtype, MEDIASUBTYPE_TlxAAC);
  EXPECT_EQ(audio.formattype, FORMAT_WaveFormatEx);
  ASSERT_EQ(audio.cbFormat, sizeof(WAVEFORMATEX) + 2);
  WAVEFORMATEX wfx;
  std::memcpy(&wfx, audio.pbFormat, sizeof wfx);
  EXPECT_EQ(wfx.wFormatTag, WAVE_FORMAT_TLX_AAC);
  EXPECT_EQ(wfx.nChannels, 2);
  EXPECT_EQ(wfx.nSamplesPerSec, 48000u);
  EXPECT_EQ(wfx.wBitsPerSample, 16);
  EXPECT_EQ(wfx.cbSize, 2);
  ASSERT_GE(audioRef.extradata.size(), 2u);
  EXPECT_EQ(std::vector<BYTE>(audio.pbFormat + sizeof wfx, audio.pbFormat + sizeof wfx + 2),
            std::vector<BYTE>(audioRef.extradata.begin(), audioRef.extradata.begin() + 2));

  ASSERT_TRUE(RunToEnd(5000));
  EXPECT_EQ(NextEvent(50), 0) << "one completion";
  for (RecordingRenderer* r : renderers) EXPECT_EQ(r->Events().back(), "eos");

  std::vector<ReceivedSample> videoSamples = renderers[0]->Samples();
  EXPECT_EQ(Concatenated(videoSamples), ReadFile(FixturePath(name + ".h264")));
  ReferenceStream videoRef = ReadReference(FixturePath(name + ".mp4"), true);
  ASSERT_EQ(videoSamples.size(), videoRef.packets.size());
  for (size_t i = 0; i < videoSamples.size(); ++i) {
    EXPECT_EQ(videoSamples[i].start, videoRef.packets[i].start) << i;
    EXPECT_EQ(videoSamples[i].sync, videoRef.packets[i].key) << i;
    EXPECT_EQ(videoSamples[i].discontinuity, i == 0) << i;
  }

  std::vector<ReceivedSample> audioSamples = renderers[1]->Samples();
  ASSERT_EQ(audioSamples.size(), audioRef.packets.size());
  for (size_t i = 0; i < audioSamples.size(); ++i) {
    EXPECT_EQ(audioSamples[i].bytes, audioRef.packets[i].bytes) << i;
    EXPECT_EQ(audioSamples[i].start, audioRef.packets[i].start) << i;
    if (i > 0) {
      EXPECT_GT(audioSamples[i].start, audioSamples[i - 1].start) << i;
    }
    ASSERT_EQ(audioSamples[i].mediaTimeResult, S_OK);
    EXPECT_EQ(audioSamples[i].mediaStart, SampleNumber(audioRef.packets[i].start)) << i;
    EXPECT_EQ(audioSamples[i].mediaStop - audioSamples[i].mediaStart,
              std::llround(static_cast<double>(audioRef.packets[i].duration) * 48000 / kSecond))
        << i;
  }
}

INSTANTIATE_TEST_SUITE_P(H264AndAac, FileSource, ::testing::Values("av", "av_bframes"));

TEST_F(SourceGraph, SeekingRestartsBothPinsFromTheKeyFrameBeforeThePosition) {
  ASSERT_EQ(LoadAndConnect(FixturePath("av.mp4")), S_OK);
  ASSERT_TRUE(RunToEnd(5000));
  std::vector<std::vector<ReceivedSample>> firstRun;
  for (RecordingRenderer* r : renderers) firstRun.push_back(r->Samples());
  ComPtr<IMediaSeeking> seeking = graph.As<IMediaSeeking>(IID_IMediaSeeking);
  LONGLONG duration = 0;
  ASSERT_EQ(seeking->GetDuration(&duration), S_OK);
  EXPECT_NEAR(static_cast<double>(duration), 3.0 * kSecond, 0.1 * kSecond);

  // Back to the start: the same samples again, the first marked.
  LONGLONG position = 0;
  ASSERT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_TRUE(RunToEnd(5000));
  for (size_t pin = 0; pin < renderers.size(); ++pin) {
    std::vector<std::string> events = renderers[pin]->Events();
    auto flush = std::find(events.rbegin(), events.rend(), "end-flush");
    ASSERT_NE(flush, events.rend());
    EXPECT_EQ(*(flush - 1), "segment 0");
    EXPECT_EQ(events.back(), "eos");
    std::vector<ReceivedSample> again = SinceLastFlush(renderers[pin]);
    ASSERT_EQ(again.size(), firstRun[pin].size());
    for (size_t i = 0; i < again.size(); ++i) {
      EXPECT_EQ(again[i].bytes, firstRun[pin][i].bytes);
      EXPECT_EQ(again[i].start, firstRun[pin][i].start);
      EXPECT_EQ(again[i].discontinuity, i == 0);
    }
  }

  // Into the middle of the second group of pictures (one key frame a
  // second): the video starts at the key frame, half a second early.
  position = 3 * kSecond / 2;
  ASSERT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_TRUE(RunToEnd(5000));
  std::vector<ReceivedSample> video = SinceLastFlush(renderers[0]);
  ASSERT_FALSE(video.empty());
  EXPECT_TRUE(video[0].sync);
  EXPECT_TRUE(video[0].discontinuity);
  EXPECT_EQ(video[0].start, -kSecond / 2);
  EXPECT_EQ(video.size(), firstRun[0].size() - 25);
  std::vector<ReceivedSample> audio = SinceLastFlush(renderers[1]);
  ASSERT_FALSE(audio.empty());
  EXPECT_LE(audio[0].start, 0);
  EXPECT_GT(audio[0].start, -kSecond / 10);
  EXPECT_EQ(audio[0].mediaStart, SampleNumber(audio[0].start + position))
      << "sample numbers count from the start of the file";

  // A stop position ends both streams before it.
  position = 0;
  LONGLONG stop = kSecond;
  ASSERT_EQ(seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, &stop, AM_SEEKING_AbsolutePositioning),
            S_OK);
  ASSERT_TRUE(RunToEnd(5000));
  EXPECT_EQ(SinceLastFlush(renderers[0]).size(), 25u);
  EXPECT_LT(SinceLastFlush(renderers[1]).back().start, kSecond);
  EXPECT_GT(SinceLastFlush(renderers[1]).back().start, kSecond - kSecond / 10);
}

TEST_F(SourceGraph, OtherCodecsAreOfferedUnderTheirOwnTags) {
  ASSERT_EQ(LoadAndConnect(FixturePath("other.mp4")), S_OK);
  ASSERT_EQ(renderers.size(), 2u);
  CMediaType video = PinType(pins[0].Get());
  EXPECT_EQ(video.subtype, FourccSubtype(MAKEFOURCC('m', 'p', '4', 'v')));
  EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER2*>(video.pbFormat)->bmiHeader.biCompression,
            MAKEFOURCC('m', 'p', '4', 'v'));
  CMediaType audio = PinType(pins[1].Get());
  EXPECT_EQ(audio.subtype, FourccSubtype(MAKEFOURCC('a', 'c', '-', '3')));
  EXPECT_NE(reinterpret_cast<const WAVEFORMATEX*>(audio.pbFormat)->wFormatTag, WAVE_FORMAT_TLX_AAC);
  ASSERT_TRUE(RunToEnd(5000));
  EXPECT_FALSE(renderers[0]->Samples().empty());
  EXPECT_FALSE(renderers[1]->Samples().empty());
}

TEST_F(SourceGraph, AnAudioOnlyFileHasOneAudioPin) {
  ASSERT_EQ(LoadAndConnect(FixturePath("audio_only.mp4")), S_OK);
  ASSERT_EQ(renderers.size(), 1u);
  EXPECT_EQ(PinType(pins[0].Get()).subtype, MEDIASUBTYPE_TlxAAC);
  ASSERT_TRUE(RunToEnd(5000));
  EXPECT_EQ(renderers[0]->Samples().size(), ReadReference(FixturePath("audio_only.mp4"), false).packets.size());
}

TEST_F(SourceGraph, APathBeyondAsciiReachesTheFile) {
  char pattern[] = "/tmp/tlx_mp4_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  const std::u16string name = u"/Fernsehabend \u00fcber \u6771\u4eac \U0001F4FA.mp4";
  WriteFile(folder + win32::Utf16ToUtf8(name), ReadFile(FixturePath("av.mp4")));
  const std::u16string path = Wide(folder) + name;
  EXPECT_EQ(LoadAndConnect(win32::Utf16ToUtf8(path)), S_OK);
  LPOLESTR current = nullptr;
  ASSERT_EQ(file->GetCurFile(&current, nullptr), S_OK);
  EXPECT_EQ(std::u16string(current), path);
  CoTaskMemFree(current);
  std::filesystem::remove_all(folder);
}

TEST_F(SourceGraph, LoadNamesTheFileOnceAndFailsWithoutPlayableStreams) {
  LPOLESTR name = nullptr;
  EXPECT_EQ(file->GetCurFile(&name, nullptr), E_FAIL);
  EXPECT_EQ(file->Load(nullptr, nullptr), E_POINTER);
  for (const std::string& path : {FixturePath("no_media.mp4"), FixturePath("missing.mp4"), FixturePath("no_media.srt")}) {
    EXPECT_EQ(file->Load(Wide(path).c_str(), nullptr), E_FAIL) << path;
    ComPtr<IEnumPins> enumerator;
    source->EnumPins(enumerator.Receive());
    IPin* pin = nullptr;
    EXPECT_EQ(enumerator->Next(1, &pin, nullptr), S_FALSE) << "no pins after a failed load";
  }
  const std::u16string path = Wide(FixturePath("av.mp4"));
  ASSERT_EQ(file->Load(path.c_str(), nullptr), S_OK);
  EXPECT_EQ(file->Load(path.c_str(), nullptr), E_UNEXPECTED);
  AM_MEDIA_TYPE mt{};
  mt.majortype = MEDIATYPE_Video;
  ASSERT_EQ(file->GetCurFile(&name, &mt), S_OK);
  EXPECT_EQ(std::u16string(name), path);
  EXPECT_EQ(mt.majortype, GUID_NULL);
  CoTaskMemFree(name);
}

// As the stream engine makes it: from the module file, by its class.
TEST(Mp4SourceModule, TheModuleServesTheSourceByItsClass) {
  ASSERT_EQ(dshow::RegisterFilterModule(MP4_SOURCE_MODULE), S_OK);
  {
    ComPtr<IFileSourceFilter> loaded;
    ASSERT_EQ(CoCreateInstance(CLSID_TlxMp4FileSource, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSourceFilter,
                               loaded.ReceiveVoid()),
              S_OK);
    EXPECT_EQ(loaded->Load(Wide(FixturePath("av.mp4")).c_str(), nullptr), S_OK);
    ComPtr<IBaseFilter> filter = loaded.As<IBaseFilter>(IID_IBaseFilter);
    EXPECT_TRUE(dshow::test::PinOf(filter.Get(), u"2"));
  }
  EXPECT_EQ(dshow::UnregisterFilterModule(MP4_SOURCE_MODULE), S_OK);
}

}  // namespace
}  // namespace tlx::mp4source::test

// The file class's graph over the real filters, and what it does without one.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "dshow/filter_module.h"
#include "dshow/guids.h"
#include "file_stream_fixture.h"
#include "filters/aac/aac_dec.h"
#include "filters/avc/avc_dec_mode.h"
#include "mapped_modules.h"
#include "mp4source/mp4_file_source.h"
#include "support/child_process.h"

namespace tlx::engine::test {
namespace {

void ExpectRecord(CTlxPcStmModeIf& object, int line, int errorId) {
  CTlxPcCmnErrInfo info;
  object.vGetLastErrorInfo(info);
  EXPECT_EQ(info.nGetProId(), 2);
  EXPECT_EQ(info.nGetClassId(), kTlxPcStmClassFile);
  EXPECT_EQ(info.nGetLine(), line);
  EXPECT_EQ(info.nGetErrId(), errorId);
}

const CLSID kSource = mp4source::CLSID_TlxMp4FileSource;

TEST_F(FileStreamTest, LiveOnlyOperationsDoNothingAndSucceed) {
  int value = 0;
  DWORD video = 0, audio = 0;
  EXPECT_TRUE(stream_.bSetBitrate(505, nullptr));
  EXPECT_TRUE(stream_.bSetSelectChannel(9, 9, 9, 1));
  EXPECT_TRUE(stream_.bGetVideoIn(value));
  EXPECT_TRUE(stream_.bSetPictureCtrl(1, 2, 3, 4, 5));
  EXPECT_TRUE(stream_.bGetActualBitrate(video, audio));
  EXPECT_TRUE(stream_.bSetupTVParams(1, u"x"));
  EXPECT_EQ(stream_.GetChangeStateError(), 0);
  // Without a graph: the area and volume are remembered, the run fails.
  EXPECT_TRUE(stream_.bSetMoviePosition(1, 2, 320, 240));
  EXPECT_TRUE(stream_.bSetVolume(10000));
  long volume = 0;
  stream_.bGetVolume(volume);
  EXPECT_EQ(volume, 10000);
  int a = 0, b = 0;
  EXPECT_FALSE(stream_.bRunMovie(1, 505, 0, a, b, 0, 0, 0, 0, 0, 0));
  ExpectRecord(stream_, 297, 3);
  // Nothing has played, so there is nothing to end.
  EXPECT_TRUE(stream_.bCleanup());
}

TEST_F(FileStreamTest, BuildsTheGraphOfTheFile) {
  stream_.bSetMovieFile(CString(Fixture("av.mp4").c_str()));
  ASSERT_TRUE(stream_.bInit(1));
  std::vector<CLSID> expected = {kSource, CLSID_AvcDecFilter, CLSID_VideoMixingRenderer9, CLSID_AacDecFilter,
                                 CLSID_DSoundRender};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(stream_.FilterClasses(), expected);
  std::vector<std::pair<CLSID, CLSID>> links = {{kSource, CLSID_AvcDecFilter},
                                                {CLSID_AvcDecFilter, CLSID_VideoMixingRenderer9},
                                                {kSource, CLSID_AacDecFilter},
                                                {CLSID_AacDecFilter, CLSID_DSoundRender}};
  std::sort(links.begin(), links.end());
  EXPECT_EQ(stream_.Connections(), links);
  // The volume reaches the audio renderer in hundredths of a decibel.
  EXPECT_TRUE(stream_.bSetVolume(0));
  EXPECT_TRUE(stream_.bSetVolume(10000));
  long volume = 0;
  stream_.bGetVolume(volume);
  EXPECT_EQ(volume, 10000);
  EXPECT_TRUE(stream_.bSetMoviePosition(0, 0, 320, 240));
  long width = 0, height = 0;
  EXPECT_TRUE(stream_.bGetVideoSize(width, height));
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
}

TEST_F(FileStreamTest, VideoTheDecoderRefusesLeavesNoVideoWindow) {
  // MPEG-4 visual: the AVC decoder does not take it, the audio steps are
  // skipped, and without a renderer there is no video window to own.
  stream_.bSetMovieFile(CString(Fixture("other.mp4").c_str()));
  EXPECT_FALSE(stream_.bInit(1));
  ExpectRecord(stream_, 582, 24);
  std::vector<CLSID> expected = {kSource, CLSID_AvcDecFilter};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(stream_.FilterClasses(), expected);
  EXPECT_TRUE(stream_.Connections().empty());
}

TEST_F(FileStreamTest, AVideoRendererThatRefusesEveryTypeFailsTheBuildAndEveryFilterIsReleased) {
  // The fake takes the three renderers' classes: each kind is added, none
  // connects, and the audio steps are skipped.
  ASSERT_EQ(dshow::RegisterFilterModule(FAKE_VIDEO_RENDERER_MODULE), S_OK);
  stream_.bSetMovieFile(CString(Fixture("av.mp4").c_str()));
  EXPECT_FALSE(stream_.bInit(1));
  ExpectRecord(stream_, 582, 24);
  std::vector<CLSID> expected = {kSource, CLSID_AvcDecFilter, CLSID_VideoMixingRenderer9, CLSID_VideoRenderer,
                                 CLSID_VideoMixingRenderer};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(stream_.FilterClasses(), expected);
  EXPECT_EQ(stream_.Connections(), (std::vector<std::pair<CLSID, CLSID>>{{kSource, CLSID_AvcDecFilter}}));
  EXPECT_TRUE(stream_.bCleanup());

  // The same failure as the user meets it, through a run that rebuilds.
  int autoAvailable = 0, avcAvailable = 0;
  EXPECT_FALSE(stream_.bRunMovie(1, 0, 1, autoAvailable, avcAvailable, 0, 0, 0, 0, 0, 0));
  EXPECT_TRUE(stream_.bCleanup());

  // Every object the modules made is gone: the fake's module, loaded through
  // the filter category, unloads once asked, and the engine's own loaders
  // have let go of theirs.
  EXPECT_TRUE(dshow::IsFilterModuleLoaded(FAKE_VIDEO_RENDERER_MODULE));
  dshow::FreeUnusedFilterModules();
  EXPECT_FALSE(dshow::IsFilterModuleLoaded(FAKE_VIDEO_RENDERER_MODULE));
  EXPECT_EQ(MappedFilterModules(), std::vector<std::string>{});
  EXPECT_EQ(dshow::UnregisterFilterModule(FAKE_VIDEO_RENDERER_MODULE), S_OK);
}

TEST_F(FileStreamTest, AFileThatDoesNotLoadSkipsTheFilters) {
  stream_.bSetMovieFile(CString(Fixture("missing.mp4").c_str()));
  EXPECT_FALSE(stream_.bInit(1));
  ExpectRecord(stream_, 582, 24);
  EXPECT_EQ(stream_.FilterClasses(), std::vector<CLSID>{kSource});
}

TEST_F(FileStreamTest, AFilterWhoseModuleIsNotFoundIsTakenByItsRegisteredName) {
  // Only the file source is where the module search looks; the decoders are
  // found only once they are registered.
  tlx::test::TempFolder emptyProgramFolder;
  tlx::test::TempFolder modules;
  std::filesystem::copy_file(tlx::test::ProgramFolder() / "MP4FileSourceTLX.ax",
                             modules.path() / "MP4FileSourceTLX.ax");
  struct SearchFolders {
    SearchFolders(const char* program, const char* modules) {
      setenv("TLX_EXE_DIR", program, 1);
      setenv("TLX_MODULE_PATH", modules, 1);
    }
    ~SearchFolders() {
      unsetenv("TLX_EXE_DIR");
      unsetenv("TLX_MODULE_PATH");
    }
  } search(emptyProgramFolder.path().c_str(), modules.path().c_str());
  stream_.bSetMovieFile(CString(Fixture("av.mp4").c_str()));
  EXPECT_FALSE(stream_.bInit(1));
  EXPECT_EQ(stream_.FilterClasses(), std::vector<CLSID>{kSource});
  EXPECT_TRUE(stream_.bCleanup());

  std::vector<std::string> decoders;
  for (const char* name : {"tlxavcdec.ax", "tlxaacdec.ax"}) {
    decoders.push_back((tlx::test::ProgramFolder() / name).string());
    ASSERT_EQ(dshow::RegisterFilterModule(decoders.back()), S_OK);
  }
  EXPECT_TRUE(stream_.bInit(1));
  EXPECT_EQ(stream_.FilterClasses().size(), 5u);
  EXPECT_EQ(stream_.Connections().size(), 4u);
  EXPECT_TRUE(stream_.bCleanup());
  for (const std::string& decoder : decoders) dshow::UnregisterFilterModule(decoder);
}

TEST_F(FileStreamTest, UserInterfaceCallsDuringRunStopAndCleanupCycles) {
  // The user-interface thread places, sounds and asks while the controller
  // thread builds, runs, stops and tears down the graph.
  stream_.bSetMovieFile(CString(Fixture("av.mp4").c_str()));
  std::atomic<bool> done{false};
  std::thread ui([&] {
    int round = 0;
    while (!done) {
      stream_.bSetMoviePosition(round % 7, 0, 320, 240);
      stream_.bSetVolume(5000 + round % 100);
      long width = 0, height = 0;
      stream_.bGetVideoSize(width, height);
      stream_.bIsRanMovie();
      CTlxPcCmnErrInfo info;
      stream_.vGetLastErrorInfo(info);
      ++round;
    }
  });
  int autoAvailable = 0, avcAvailable = 0;
  for (int cycle = 0; cycle < 3; ++cycle) {
    EXPECT_TRUE(stream_.bRunMovie(1, 0, 1, autoAvailable, avcAvailable, 0, 0, 0, 0, 0, 0));
    EXPECT_TRUE(stream_.bStopMovie());
    EXPECT_TRUE(stream_.bCleanup());
  }
  done = true;
  ui.join();
}

}  // namespace
}  // namespace tlx::engine::test

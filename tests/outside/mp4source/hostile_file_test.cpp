#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "source_graph.h"

namespace tlx::mp4source::test {
namespace {

class HostileFile : public SourceGraph {
 protected:
  void SetUp() override {
    SourceGraph::SetUp();
    char pattern[] = "/tmp/tlx_mp4_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    SourceGraph::TearDown();
    std::filesystem::remove_all(folder_);
  }

  // A file either fails to load, or plays to its end (or an abort) without
  // hanging; ASan sees the rest.
  void PlayOrRefuse(const std::vector<BYTE>& bytes, const std::string& what) {
    const std::string path = folder_ + "/damaged.mp4";
    WriteFile(path, bytes);
    HRESULT hr = LoadAndConnect(path);
    if (FAILED(hr)) {
      EXPECT_EQ(hr, E_FAIL) << what;
      return;
    }
    EXPECT_TRUE(RunToEnd(10000)) << what << ": the graph neither ended nor aborted";
  }

  // A fresh source for the next file.
  void Reset() {
    TearDown();
    renderers.clear();
    rendererFilters.clear();
    pins.clear();
    SetUp();
  }

  std::string folder_;
};

TEST_F(HostileFile, EmptyRandomAndTruncatedFilesFailOrEnd) {
  const std::vector<BYTE> good = ReadFile(FixturePath("av.mp4"));
  ASSERT_GT(good.size(), 4096u);
  PlayOrRefuse({}, "empty");
  EXPECT_TRUE(renderers.empty());
  Reset();

  std::mt19937 random(7);
  std::vector<BYTE> noise(20000);
  for (BYTE& b : noise) b = static_cast<BYTE>(random());
  PlayOrRefuse(noise, "random bytes");
  EXPECT_TRUE(renderers.empty());

  for (size_t cut : {size_t{8}, size_t{100}, size_t{1000}, good.size() / 3, good.size() / 2, good.size() - 200,
                     good.size() - 1}) {
    Reset();
    PlayOrRefuse(std::vector<BYTE>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)),
                 "cut at " + std::to_string(cut));
  }
}

TEST_F(HostileFile, MutatedFilesFailOrEnd) {
  for (const char* name : {"av.mp4", "av_bframes.mp4"}) {
    const std::vector<BYTE> good = ReadFile(FixturePath(name));
    ASSERT_FALSE(good.empty());
    std::mt19937 random(2024);
    for (int round = 0; round < 12; ++round) {
      std::vector<BYTE> bytes = good;
      // Most of a file is media data; aim half the damage at its first
      // kilobytes and its tail, where the boxes that describe it lie.
      for (int i = 0; i < 8; ++i) {
        size_t at = random() % bytes.size();
        if (i % 2 == 0) at = random() % 2 == 0 ? at % 1024 : bytes.size() - 1 - at % 4096;
        bytes[at] = static_cast<BYTE>(random());
      }
      Reset();
      PlayOrRefuse(bytes, std::string(name) + " round " + std::to_string(round));
    }
  }
}

}  // namespace
}  // namespace tlx::mp4source::test

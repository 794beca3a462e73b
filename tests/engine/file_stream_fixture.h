// A file stream object over the real MP4 file source, AVC and AAC decoders,
// the video renderer and the default audio renderer, with what the tests
// need to see of its graph and its restarts.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "com/class_registry.h"
#include "com/com_ptr.h"
#include "engine/tlx_pc_stm_file_src_av_if.h"

namespace tlx::engine::test {

class TestFileStream final : public CTlxPcStmFileSrcAVIf {
 public:
  using CTlxPcStmFileSrcAVIf::bInit;

  // The class of every filter in the graph.
  std::vector<CLSID> FilterClasses();
  // The class of the filter each connected output pin leads to, as pairs
  // (from, to).
  std::vector<std::pair<CLSID, CLSID>> Connections();
  // Raises an event in the graph as a filter would.
  HRESULT Raise(long code);
};

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  static std::string Fixture(const char* name);
  // Waits until `count` restarts with reason 3 have come; false on time-out.
  bool WaitForEnds(int count, std::chrono::milliseconds timeout);
  std::vector<int> Restarts();
  // While held, the restart callback waits in its call until released.
  void HoldRestarts();
  void ReleaseRestarts();
  bool WaitForRestarts(size_t count, std::chrono::milliseconds timeout);

  TestFileStream stream_;

 private:
  static void OnRestart(int reason, void* user);

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<int> restarts_;
  bool hold_ = false;
};

}  // namespace tlx::engine::test

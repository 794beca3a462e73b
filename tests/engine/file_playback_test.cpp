// The file played to its end through the real filters: one restart 3 per
// end, a replay from the start, and no thread left behind.
#include <gtest/gtest.h>

#include <string>

#include "dshow/errors.h"
#include "file_stream_fixture.h"
#include "thread_count.h"

namespace tlx::engine::test {
namespace {

using namespace std::chrono_literals;

TEST_F(FileStreamTest, PlaysToTheEndOnceAndAgainFromTheStart) {
  const size_t threadsBefore = SteadyThreadCount();
  stream_.bSetMovieFile(CString(Fixture("av.mp4").c_str()));
  int autoAvailable = 0, avcAvailable = 0;
  ASSERT_TRUE(stream_.bRunMovie(1, 0, 1, autoAvailable, avcAvailable, 0, 0, 0, 0, 0, 0));
  EXPECT_TRUE(stream_.bIsRanMovie());
  ASSERT_TRUE(WaitForEnds(1, 15s));
  // The end of the file is reported once.
  EXPECT_FALSE(WaitForEnds(2, 1500ms));
  // Without rebuilding: rewound and run again.
  ASSERT_TRUE(stream_.bRunMovie(1, 0, 0, autoAvailable, avcAvailable, 0, 0, 0, 0, 0, 0));
  ASSERT_TRUE(WaitForEnds(2, 15s));
  EXPECT_EQ(Restarts(), (std::vector<int>{3, 3}));
  EXPECT_TRUE(stream_.bCleanup());
  // The graph's threads and the graph-event thread are gone.
  EXPECT_EQ(ThreadCountSettledAt(threadsBefore), threadsBefore);
}

TEST_F(FileStreamTest, ACleanupThatCannotEndTheThreadReportsItAndDetachesIt) {
  const size_t threadsBefore = SteadyThreadCount();
  stream_.bSetMovieFile(CString(Fixture("av.mp4").c_str()));
  int autoAvailable = 0, avcAvailable = 0;
  ASSERT_TRUE(stream_.bRunMovie(1, 0, 1, autoAvailable, avcAvailable, 0, 0, 0, 0, 0, 0));
  HoldRestarts();
  ASSERT_EQ(stream_.Raise(EC_NEED_RESTART), S_OK);
  ASSERT_TRUE(WaitForRestarts(1, 5s));
  stream_.Raise(EC_DISPLAY_CHANGED);
  // The thread is held in the callback past the 5000 ms limit.
  EXPECT_FALSE(stream_.bCleanup());
  CTlxPcCmnErrInfo info;
  stream_.vGetLastErrorInfo(info);
  EXPECT_EQ(info.nGetClassId(), kTlxPcStmClassFile);
  EXPECT_EQ(info.nGetLine(), 186);
  EXPECT_EQ(info.nGetErrId(), 1);
  ReleaseRestarts();
  // No call after the detach, and the thread ends on its own.
  EXPECT_FALSE(WaitForRestarts(2, 1500ms));
  EXPECT_EQ(Restarts(), std::vector<int>{2});
  EXPECT_EQ(ThreadCountSettledAt(threadsBefore), threadsBefore);
}

TEST_F(FileStreamTest, DeletingAPlayingObjectEndsItsThread) {
  const size_t threadsBefore = SteadyThreadCount();
  auto* other = new TestFileStream();
  ASSERT_TRUE(other->bInitialize(nullptr, nullptr, nullptr, nullptr, nullptr));
  other->bSetMovieFile(CString(Fixture("av.mp4").c_str()));
  int autoAvailable = 0, avcAvailable = 0;
  ASSERT_TRUE(other->bRunMovie(1, 0, 1, autoAvailable, avcAvailable, 0, 0, 0, 0, 0, 0));
  EXPECT_GT(ThreadCount(), threadsBefore);
  delete other;
  EXPECT_EQ(ThreadCountSettledAt(threadsBefore), threadsBefore);
}

}  // namespace
}  // namespace tlx::engine::test

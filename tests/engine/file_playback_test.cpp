// The file played to its end through the real filters: one restart 3 per
// end, a replay from the start, and no thread left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "file_stream_fixture.h"

namespace tlx::engine::test {
namespace {

using namespace std::chrono_literals;

size_t ThreadCount() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

TEST_F(FileStreamTest, PlaysToTheEndOnceAndAgainFromTheStart) {
  const size_t threadsBefore = ThreadCount();
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
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

}  // namespace
}  // namespace tlx::engine::test

// The seeded soak: mutants of every fixture stream and of writer streams of
// the tools the fixtures lack, from consecutive seeds,
// fed to fresh instances with the feeder's checks, every call that has data
// left consuming some of it, and a watchdog that ends the program when a
// single call runs for 10 seconds. `--seeds=N` sets the number of mutants
// (the default keeps the run to about two minutes in the sanitizer build).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/mutant_feeder.h"
#include "filters/mpeg4/support/random_vops.h"
#include "filters/mpeg4/support/stream_corrupter.h"

namespace tlx::mpeg4::test {
namespace {

uint32_t gSeeds = 3000;

// Ends the program when the call in progress has run for `limit`.
class Watchdog {
 public:
  Watchdog(CallClock& clock, std::chrono::seconds limit)
      : clock_(clock), limit_(limit), thread_([this] { Run(); }) {}
  ~Watchdog() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_; })) {
      const int64_t started = clock_.started;
      const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
      if (started != 0 && now - started > std::chrono::nanoseconds(limit_).count()) {
        std::fprintf(stderr, "soak: a decoder call has run for %lld s\n", static_cast<long long>(limit_.count()));
        std::abort();
      }
    }
  }

  CallClock& clock_;
  std::chrono::seconds limit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

TEST(Soak, SeededDamageToEveryStreamIsSurvived) {
  std::vector<std::string> names;
  std::vector<std::vector<uint8_t>> heads, headers;
  const std::filesystem::path folder = std::filesystem::path(FixturePath("x")).parent_path();
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".m4v" && extension != ".h263") continue;
    const std::vector<uint8_t> stream = ReadFixture(entry.path().filename().string());
    names.push_back(entry.path().filename().string());
    // The first pictures carry every tool of the stream; later ones repeat
    // them.
    heads.push_back(Head(stream, 8));
    headers.push_back(Head(stream, 0));
  }
  ASSERT_GT(names.size(), 40u);
  // Writer streams of the tools no fixture has: partitioned I- and P-VOPs
  // with reversible texture, S-VOPs of every point count.
  std::mt19937 random(1);
  names.push_back("reversible writer stream");
  heads.push_back(PartitionedReversibleStream(random, 5));
  headers.push_back(Head(heads.back(), 0));
  for (uint32_t points = 0; points <= 3; ++points) {
    names.push_back("sprite writer stream, points " + std::to_string(points));
    heads.push_back(SpriteStream(random, points, points, points % 2, 64, 48, 4, true));
    headers.push_back(Head(heads.back(), 0));
  }
  CallClock clock;
  const Watchdog watchdog(clock, std::chrono::seconds(10));
  FeedOptions options;
  options.requireProgress = true;
  options.clock = &clock;
  for (uint32_t seed = 0; seed < gSeeds; ++seed) {
    const size_t source = seed % names.size();
    std::vector<uint8_t> bytes = heads[source];
    const std::string what = names[source] + " " + Corrupt(bytes, headers, seed);
    FeedFresh(bytes, what, options);
    if (testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace tlx::mpeg4::test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--seeds=", 8) == 0) tlx::mpeg4::test::gSeeds = uint32_t(std::strtoul(argv[i] + 8, nullptr, 10));
  }
  return RUN_ALL_TESTS();
}

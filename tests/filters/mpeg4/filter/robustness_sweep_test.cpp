// The robustness sweep: the filter in a running graph fed every fixture
// stream and the writer streams of the tools the fixtures lack, damaged by
// the corrupter, cut into samples at random points (also inside start
// codes), with random sync and discontinuity flags, missing stamps, empty and
// oversized samples, and end of stream, flushes, Stop and Pause at random
// points. Each case follows from its seed. After each case a clean stream
// follows a discontinuity and must come out as a fresh filter gives it.
// `--seeds=N` sets the number of cases (the default keeps a run near two
// minutes in the sanitizer build); a watchdog ends the program when one call
// into the filter runs for 10 seconds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>

#include "filter_harness.h"
#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/mutant_feeder.h"
#include "filters/mpeg4/support/random_vops.h"
#include "filters/mpeg4/support/stream_corrupter.h"
#include "platform/dshow/graph_fixture.h"

namespace tlx::mpeg4::filtertest {
namespace {

uint32_t gSeeds = 1500;

constexpr int kWidth = 176, kHeight = 144;
// The clean stream after each case is stamped from here on.
constexpr REFERENCE_TIME kCleanBase = REFERENCE_TIME(1) << 40;

// Aborts the program when a call has run for 10 seconds.
class Watchdog {
 public:
  explicit Watchdog(test::CallClock& clock) : clock_(clock), thread_([this] { Run(); }) {}
  ~Watchdog() {
    stop_ = true;
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  void Run() {
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const int64_t started = clock_.started;
      const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
      if (started != 0 && now - started > std::chrono::nanoseconds(std::chrono::seconds(10)).count()) {
        std::fprintf(stderr, "sweep: a call into the filter has run for 10 s\n");
        std::abort();
      }
    }
  }
  test::CallClock& clock_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Sources {
  std::vector<std::string> names;
  std::vector<std::vector<uint8_t>> heads, headers;
};

Sources AllSources() {
  Sources s;
  const std::filesystem::path folder = std::filesystem::path(test::FixturePath("x")).parent_path();
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const std::filesystem::path& file : files) {
    if (file.extension() != ".m4v" && file.extension() != ".h263") continue;
    const std::vector<uint8_t> stream = test::ReadFixture(file.filename().string());
    s.names.push_back(file.filename().string());
    s.heads.push_back(test::Head(stream, 8));
    s.headers.push_back(test::Head(stream, 0));
  }
  std::mt19937 random(1);
  s.names.push_back("reversible writer stream");
  s.heads.push_back(test::PartitionedReversibleStream(random, 5));
  s.headers.push_back(test::Head(s.heads.back(), 0));
  for (uint32_t points = 0; points <= 3; ++points) {
    s.names.push_back("sprite writer stream, points " + std::to_string(points));
    s.heads.push_back(test::SpriteStream(random, points, points, points % 2, 64, 48, 4, true));
    s.headers.push_back(test::Head(s.heads.back(), 0));
  }
  return s;
}

class Sweep {
 public:
  Sweep(FilterGraph& graph, test::CallClock& clock) : g_(graph), clock_(clock) {}

  // One call into the filter, timed by the watchdog.
  template <typename F>
  HRESULT Timed(F call) {
    clock_.started = std::chrono::steady_clock::now().time_since_epoch().count();
    const HRESULT hr = call();
    clock_.started = 0;
    return hr;
  }

  void Case(const std::vector<uint8_t>& bytes, uint32_t seed) {
    std::mt19937 random(seed * 7919u + 1);
    auto chance = [&](int percent) { return int(random() % 100) < percent; };
    // Cut points: random ones, and some inside start codes.
    std::set<size_t> cuts;
    for (size_t start : test::VopStarts(bytes)) {
      if (chance(30)) cuts.insert(start + 1 + random() % 3);
    }
    for (size_t at = 0; at < bytes.size(); at += 1 + random() % 3000) cuts.insert(at);
    cuts.insert(bytes.size());
    size_t from = 0;
    for (size_t cut : cuts) {
      if (cut > bytes.size() || cut <= from) continue;
      std::vector<uint8_t> sample(bytes.begin() + long(from), bytes.begin() + long(cut));
      from = cut;
      if (chance(4)) Feed({}, random);
      if (chance(1)) {
        // Larger than the filter's buffer.
        std::vector<uint8_t> big(600000);
        for (uint8_t& b : big) b = uint8_t(random());
        sample.insert(sample.end(), big.begin(), big.end());
      }
      Feed(sample, random);
      if (chance(3)) Event(random() % 4);
    }
    if (chance(50)) Event(0);
  }

  // A clean stream after a discontinuity: every picture as a fresh filter
  // delivers it (the core's own output).
  void CleanTail(const std::vector<std::vector<uint8_t>>& pictures, const std::vector<CorePictureBytes>& expected,
                 const std::string& what) {
    ClearRecords();
    for (size_t i = 0; i < pictures.size(); ++i) {
      const Stamp stamp{Stamp::kBoth, kCleanBase + REFERENCE_TIME(i) * kFrameTime,
                        kCleanBase + REFERENCE_TIME(i + 1) * kFrameTime};
      Timed([&] { return g_.Feed(pictures[i], stamp, i == 0, i == 0); });
    }
    EndOfStream();
    std::vector<ReceivedSample> clean;
    for (const ReceivedSample& s : g_.Delivered()) {
      if (s.start >= kCleanBase) clean.push_back(s);
    }
    ASSERT_EQ(clean.size(), expected.size()) << what;
    for (size_t i = 0; i < clean.size(); ++i) {
      ASSERT_TRUE(clean[i].bytes == expected[i].bytes) << what << ": clean picture " << i;
      ASSERT_EQ(clean[i].start, kCleanBase + REFERENCE_TIME(expected[i].decodeIndex) * kFrameTime) << what;
    }
    Flush();
  }

  // Every delivered sample has the output size and stamps given to the filter.
  void CheckDelivered(const std::string& what) {
    const DWORD size = reinterpret_cast<const VIDEOINFOHEADER*>(g_.OutputType().Format())->bmiHeader.biSizeImage;
    for (const ReceivedSample& s : g_.Delivered()) {
      ASSERT_EQ(s.bytes.size(), size) << what;
      ASSERT_EQ(s.timeResult, S_OK) << what;
      ASSERT_TRUE(starts_.count(s.start) == 1 || s.start >= kCleanBase) << what << ": start " << s.start;
      ASSERT_TRUE(stops_.count(s.stop) == 1 || s.stop >= kCleanBase) << what << ": stop " << s.stop;
    }
    ASSERT_EQ(g_.EndOfStreams(), endOfStreams_) << what << ": every end of stream once";
  }

  void ClearRecords() {
    g_.renderer->ClearRecords();
    endOfStreams_ = 0;
  }

 private:
  void Feed(const std::vector<uint8_t>& bytes, std::mt19937& random) {
    ++index_;
    Stamp stamp{Stamp::kBoth, index_ * kFrameTime, (index_ + 1) * kFrameTime};
    const uint32_t kind = random() % 10;
    if (kind == 0) stamp.kind = Stamp::kNone;
    if (kind == 1) stamp.kind = Stamp::kStartOnly;
    if (stamp.kind != Stamp::kNone) starts_.insert(stamp.start);
    if (stamp.kind == Stamp::kBoth) stops_.insert(stamp.stop);
    if (stamp.kind == Stamp::kStartOnly) stops_.insert(stamp.start);
    const bool sync = random() % 2 == 0, discontinuity = random() % 10 == 0;
    Timed([&] { return g_.Feed(bytes, stamp, sync, discontinuity); });
  }

  // An end of stream the filter takes must reach the renderer.
  void EndOfStream() {
    if (Timed([&] { return g_.EndOfStream(); }) == S_OK) ++endOfStreams_;
  }

  void Flush() {
    Timed([&] { return dshow::test::PinOf(g_.filter, u"In")->BeginFlush(); });
    Timed([&] { return dshow::test::PinOf(g_.filter, u"In")->EndFlush(); });
  }

  // 0 end of stream (then a flush, so the renderer takes samples again),
  // 1 a flush, 2 Stop and Run, 3 Pause and Run.
  void Event(uint32_t which) {
    switch (which) {
      case 0:
        EndOfStream();
        Flush();
        break;
      case 1:
        Flush();
        break;
      case 2:
        Timed([&] { return g_.control->Stop(); });
        ASSERT_EQ(Timed([&] { return g_.control->Run(); }), S_OK);
        break;
      default:
        Timed([&] { return g_.control->Pause(); });
        ASSERT_EQ(Timed([&] { return g_.control->Run(); }), S_OK);
        break;
    }
  }

  FilterGraph& g_;
  test::CallClock& clock_;
  REFERENCE_TIME index_ = 0;
  int endOfStreams_ = 0;
  std::set<REFERENCE_TIME> starts_, stops_;
};

TEST(RobustnessSweep, DamagedStreamsCutAnywhereWithEventsAnywhereAreSurvived) {
  SetErrorOutput(false);
  const Sources sources = AllSources();
  ASSERT_GT(sources.names.size(), 40u);
  const std::vector<uint8_t> clean = test::Head(test::ReadFixture("sp_ip_176x144.m4v"), 10);
  const std::vector<std::vector<uint8_t>> cleanPictures = SplitPictures(clean);
  test::CallClock clock;
  const Watchdog watchdog(clock);
  for (const GUID* subtype : {&MEDIASUBTYPE_RGB565, &MEDIASUBTYPE_YUY2}) {
    FilterGraph g(Mpeg4InputType(kWidth, kHeight), *subtype);
    ASSERT_EQ(g.outputConnect, S_OK);
    const Mpeg4DecFrame& frame = g.filter->Frame();
    const DWORD size = reinterpret_cast<const VIDEOINFOHEADER*>(g.OutputType().Format())->bmiHeader.biSizeImage;
    const std::vector<CorePictureBytes> expected =
        CoreOutput(clean, frame.outputFormat, frame.outputStride, kWidth, kHeight, size);
    Sweep sweep(g, clock);
    for (uint32_t seed = *subtype == MEDIASUBTYPE_YUY2; seed < gSeeds; seed += 2) {
      const size_t source = (seed / 2) % sources.names.size();
      std::vector<uint8_t> bytes = sources.heads[source];
      std::string what = sources.names[source];
      if (seed % 8 != 0) what += " " + test::Corrupt(bytes, sources.headers, seed);
      sweep.Case(bytes, seed);
      sweep.CheckDelivered(what);
      if (HasFatalFailure()) return;
      if (seed % 5 < 2) sweep.CleanTail(cleanPictures, expected, what);
      if (HasFatalFailure()) return;
      sweep.CheckDelivered(what);
      sweep.ClearRecords();
    }
  }
}

}  // namespace
}  // namespace tlx::mpeg4::filtertest

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--seeds=", 8) == 0)
      tlx::mpeg4::filtertest::gSeeds = uint32_t(std::strtoul(argv[i] + 8, nullptr, 10));
  }
  return RUN_ALL_TESTS();
}

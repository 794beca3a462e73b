// The decoder module playing through the player's audio renderer on SDL
// audio's disk driver, in real time, with the renderer as the graph's clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "aac_playback.h"
#include "platform/dsound/support/disk_audio.h"

namespace tlx::aac::test {
namespace {

using namespace std::chrono_literals;
using aaccore::test::AacStream;
using aaccore::test::ReadStream;
using dshow::test::ScriptItem;
using std::chrono::steady_clock;

constexpr double kBytesPerSecond = 96000;  // 24 kHz stereo s16

// The fixture's 6 s: the first 2.6 s at once, the rest at the stream's pace,
// then played out. The file holds the reference PCM once stretching has
// ended; the clock keeps the pace of what the driver writes and settles on
// the stream's end.
TEST(AacDiskEndToEnd, PlaysTheReferencePcmInRealTimeWithTheRenderersClock) {
  const dsound::test::DiskAudio disk("tlx-aac");
  AacStream stream = ReadStream("lc_24000_stereo.m4a");
  ASSERT_GT(stream.units.size(), kUnitsAtOnce + 70);
  const std::vector<BYTE> reference = ReferenceBytes(stream, 2);

  auto g = std::make_unique<PlaybackGraph>();
  ASSERT_NO_FATAL_FAILURE(g->Build(stream));
  // No unit carries the catch-up mark, so the renderer plays at the stream's
  // own pace once stretching has ended.
  auto script = Script(stream);
  for (ScriptItem& item : script) item.mediaStart &= ~1LL;
  g->source->SetScript(std::vector<ScriptItem>(script.begin(), script.begin() + kUnitsAtOnce));

  const auto start = steady_clock::now();
  ASSERT_TRUE(SUCCEEDED(g->control->Run()));
  // The render thread waits 300 ms after the first sample before it starts
  // the sound buffer; two reads inside that wait see no time yet, the clock
  // only creeps. A run too starved to read in time cannot tell.
  const REFERENCE_TIME first = g->Time();
  const REFERENCE_TIME second = g->Time();
  if (steady_clock::now() - start < 300ms) EXPECT_EQ(second, first + 1);

  // Every read of the clock goes through here: it never goes back.
  REFERENCE_TIME previous = second;
  auto read = [&] {
    const REFERENCE_TIME t = g->Time();
    EXPECT_GE(t, previous);
    previous = t;
    return t;
  };
  // Hands the source every unit due by now, one per 1024 samples of real
  // time after the burst.
  size_t sent = kUnitsAtOnce;
  auto feed = [&] {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - start);
    const auto due = kUnitsAtOnce + static_cast<size_t>(elapsed.count() * 24000 / (1024 * 1000000LL));
    for (; sent < due && sent < script.size(); ++sent) g->source->AppendScript({script[sent]});
  };
  // Feeds and reads the clock until `done`; false if that takes 30 s.
  const auto deadline = start + 30s;
  auto playUntil = [&](const std::function<bool()>& done) {
    while (!done()) {
      if (steady_clock::now() > deadline) return false;
      feed();
      read();
      std::this_thread::sleep_for(5ms);
    }
    return true;
  };
  // The file size and the clock just as the driver's writes reach the file,
  // so that the size is what has played.
  auto atWrite = [&] {
    const std::uintmax_t size = disk.Size();
    EXPECT_TRUE(playUntil([&] { return disk.Size() != size; }));
    return std::pair{disk.Size(), read()};
  };

  // Units delivered while the queue filled were stretched as they came in;
  // once the first unit after the burst reaches the file, what plays is at
  // the stream's pace, for the 3.4 s of the units still to come. Over 2.2 s
  // of that the clock and the file keep the same pace.
  const auto steadyMarker = reference.begin() + static_cast<long>(kUnitsAtOnce * kFrameBytes);
  ASSERT_TRUE(playUntil([&] {
    const std::vector<BYTE> content = disk.Content();
    return std::search(content.begin(), content.end(), steadyMarker, steadyMarker + 64) != content.end();
  }));
  const auto [size0, clock0] = atWrite();
  ASSERT_TRUE(playUntil([&] { return disk.Size() >= size0 + 2.2 * kBytesPerSecond; }));
  const auto [size1, clock1] = atWrite();
  const double written = static_cast<double>(size1 - size0) / kBytesPerSecond;
  ASSERT_GE(written, 2.0);
  EXPECT_NEAR(static_cast<double>(clock1 - clock0) / (written * 1e7), 1.0, 0.05);

  // Everything sent, then played out: the clock stands still for 200 ms.
  ASSERT_TRUE(playUntil([&] { return sent == script.size(); }));
  REFERENCE_TIME settled = read();
  for (;;) {
    std::this_thread::sleep_for(200ms);
    const REFERENCE_TIME t = read();
    const bool still = t - settled < 10000;
    settled = t;
    if (still) break;
    ASSERT_LT(steady_clock::now(), deadline) << "the clock never settled";
  }
  // Within two blocks and the correction of the last unit's end less 20 ms,
  // and from then on it only creeps.
  const REFERENCE_TIME lastStop = TimeOf(stream.startSamples.back() + 1024, 24000);
  EXPECT_NEAR(static_cast<double>(settled), static_cast<double>(lastStop - 200000), 1500000.0);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(read(), settled + 1);

  const auto stopAt = steady_clock::now();
  EXPECT_EQ(g->control->Stop(), S_OK);
  EXPECT_LT(steady_clock::now() - stopAt, 2s);
  // Closing the device closes the file.
  g.reset();
  ExpectReferenceRunToTheEnd(disk.Content(), reference);
}

}  // namespace
}  // namespace tlx::aac::test

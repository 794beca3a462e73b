// A hostile base station, one row a case: descriptions that list a medium
// twice, lack one or add an unknown one, SETUP answers whose interleaved
// channels collide, RTP times that leap, an AU that never ends, a GET answer
// with a five-digit status. Each row runs in a process of its own and is
// followed there by a good session. Every session checks what Run returns,
// that no renderer gets more samples than the peer sent frames (a pin that
// spins hands out far more), that the process idles once the stream is over,
// and how far its resident memory grew; the sanitizer builds add their own
// reports.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>

#include "platform/rtsp/peer/peer_record.h"
#include "source_graph.h"

namespace tlx::dshow::test {
namespace {

using tlx::test::PeerProcess;

// What a session does after Run.
enum class Outcome {
  kRefused,     // nothing plays
  kPlaysWhole,  // each renderer gets every frame the peer sent, then the end
  kPlays,       // each renderer gets at most the frames sent, then the end
};

struct HostileCase {
  const char* name;
  std::string stream;  // members added to the peer's stream options
  HRESULT result;      // of Run
  Outcome outcome;
  std::vector<std::string> methods;  // the RTSP requests the peer sees, Stop's TEARDOWN included
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

// Resident memory growth a session may cause: the sinks' rings, the
// renderers' copies of every sample and the allocator's slack, well below
// what the hostile rows send. AddressSanitizer keeps freed blocks resident in
// its quarantine (256 MB by default) before it hands them out again;
// ThreadSanitizer keeps four bytes of shadow for each byte the program uses.
constexpr long kPlainGrowthKb = 64 * 1024;
#if defined(__SANITIZE_ADDRESS__)
constexpr long kResidentGrowthKb = kPlainGrowthKb + 256 * 1024;
#elif defined(__SANITIZE_THREAD__)
constexpr long kResidentGrowthKb = 5 * kPlainGrowthKb;
#else
constexpr long kResidentGrowthKb = kPlainGrowthKb;
#endif
// Bytes of the AU that never ends.
constexpr long kEndlessAuBytes = 128L * 1024 * 1024;

const std::vector<std::string> kPlayed{"DESCRIBE", "SETUP", "SETUP", "PLAY", "TEARDOWN"};

const HostileCase kCases[] = {
    // A pin takes the first medium of its kind; the rest are not set up.
    {"two_audio_media", R"(, "faults": {"tracks": ["audio", "audio", "video"]})", S_OK, Outcome::kPlaysWhole,
     kPlayed},
    {"two_video_media", R"(, "faults": {"tracks": ["audio", "video", "video"]})", S_OK, Outcome::kPlaysWhole,
     kPlayed},
    {"an_unknown_medium", R"(, "faults": {"tracks": ["audio", "application", "video"]})", S_OK,
     Outcome::kPlaysWhole, kPlayed},
    // A connected pin whose medium is missing cannot play: refused before SETUP.
    {"audio_only", R"(, "faults": {"tracks": ["audio"]})", TLX_E_DESCRIBE_SETUP, Outcome::kRefused, {"DESCRIBE"}},
    {"video_only", R"(, "faults": {"tracks": ["video"]})", TLX_E_DESCRIBE_SETUP, Outcome::kRefused, {"DESCRIBE"}},
    {"sixteen_audio_media_and_no_video",
     R"(, "faults": {"tracks": ["audio", "audio", "audio", "audio", "audio", "audio", "audio", "audio", "audio",
        "audio", "audio", "audio", "audio", "audio", "audio", "audio"]})",
     TLX_E_DESCRIBE_SETUP, Outcome::kRefused, {"DESCRIBE"}},
    // Channels that would carry two kinds of packet: the set-up is refused
    // and the session the server made is torn down.
    {"rtp_and_rtcp_on_one_channel", R"(, "faults": {"channels": {"audio": [0, 0]}})", TLX_E_DESCRIBE_SETUP,
     Outcome::kRefused, {"DESCRIBE", "SETUP", "TEARDOWN"}},
    {"two_tracks_on_one_pair", R"(, "faults": {"channels": {"video": [0, 1]}})", TLX_E_DESCRIBE_SETUP,
     Outcome::kRefused, {"DESCRIBE", "SETUP", "SETUP", "TEARDOWN"}},
    // The RTP layer's own limits: thousands of audio packets whose RTP time
    // leaps by 2^31 - 1 with no sender report to start the count again, an AU
    // whose fragments never end, a status of five digits.
    {"rtp_times_leaping_by_half_the_clock",
     R"(, "pacing": "burst", "passes": 100,
        "faults": {"rtp_ts_step": {"medium": "audio", "delta": 2147483647}, "no_sender_reports": true})",
     S_OK, Outcome::kPlays, kPlayed},
    {"an_au_that_never_ends",
     R"(, "pacing": "burst", "sizelength": 32, "faults": {"endless_fragments": {"bytes": )" +
         std::to_string(kEndlessAuBytes) + "}}",
     S_OK, Outcome::kPlays, kPlayed},
    {"a_status_of_five_digits", R"(, "faults": {"get_status": 2000, "get_reason": "OK"})", TLX_E_TUNNEL_GET,
     Outcome::kRefused, {}},
};

long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
  }
  return -1;
}

// The peak resident size starts again from the current one.
void ResetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::chrono::microseconds CpuTime() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

std::vector<std::string> RtspMethods(const PeerProcess& peer) {
  std::vector<std::string> methods;
  for (const PeerEvent& e : PeerEvents(peer.RecordLines(), "rtsp_request")) methods.push_back(e["method"]);
  return methods;
}

size_t FramesSent(const PeerProcess& peer, const std::string& medium) {
  size_t frames = 0;
  for (const PeerEvent& e : PeerEvents(peer.RecordLines(), "frame")) frames += e["medium"] == medium;
  return frames;
}

// One session of the graph against a peer playing `stream`, and its checks.
void PlaySession(SourceGraph& g, const std::string& stream, HRESULT result, Outcome outcome,
                 const std::vector<std::string>* methods) {
  PeerProcess peer(StreamScenario(kMpeg4Media, stream));
  ASSERT_TRUE(peer.running()) << peer.error();
  g.Use(kMpeg4Media, peer.port());
  for (RecordingRenderer* renderer : g.renderers) renderer->ClearRecords();
  ResetPeakResident();
  const long residentKb = StatusKb("VmRSS");

  EXPECT_EQ(g.Run(), result);
  if (outcome != Outcome::kRefused) {
    EXPECT_TRUE(g.WaitForEnd(g.renderers[0], 20000)) << "audio ends";
    EXPECT_TRUE(g.WaitForEnd(g.renderers[1], 20000)) << "video ends";
  }
  // Over: nothing may run but the loop's wait.
  const auto cpu = CpuTime();
  const auto wall = SteadyClock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto idle = std::chrono::duration_cast<std::chrono::microseconds>(SteadyClock::now() - wall);
  EXPECT_LT((CpuTime() - cpu).count(), idle.count() / 2) << "busy while idle";
  EXPECT_TRUE(SUCCEEDED(g.Stop()));
  EXPECT_LT(StatusKb("VmHWM") - residentKb, kResidentGrowthKb) << "resident memory grew";

  const char* media[2] = {"audio", "video"};
  for (int i = 0; i < 2; ++i) {
    const size_t sent = FramesSent(peer, media[i]);
    const auto samples = g.renderers[i]->Samples();
    EXPECT_LE(samples.size(), sent) << media[i] << ": more samples than frames";
    if (outcome == Outcome::kRefused) {
      EXPECT_TRUE(samples.empty()) << media[i];
    } else if (outcome == Outcome::kPlaysWhole) {
      EXPECT_EQ(samples.size(), sent) << media[i];
    }
    for (const ReceivedSample& sample : samples) {
      if (sample.bytes.empty()) {
        ADD_FAILURE() << media[i] << ": an empty sample";
        break;
      }
    }
  }
  for (const GraphEvent& e : g.Events()) EXPECT_NE(e.code, EC_ERRORABORT) << std::hex << e.param1;
  if (methods != nullptr) {
    // TEARDOWN goes out without an answer awaited.
    const auto until = SteadyClock::now() + std::chrono::seconds(2);
    while (RtspMethods(peer).size() < methods->size() && SteadyClock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(RtspMethods(peer), *methods);
  }
}

class PeerHostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(PeerHostile, IsReportedAndTheNextSessionPlays) {
  const HostileCase& c = GetParam();
  {
    SCOPED_TRACE("hostile");
    SourceGraph g;
    PlaySession(g, c.stream, c.result, c.outcome, &c.methods);
  }
  // A graph of its own: the decryptors pass nothing after their first stop.
  SCOPED_TRACE("good");
  SourceGraph g;
  PlaySession(g, R"(, "pacing": "burst")", S_OK, Outcome::kPlaysWhole, &kPlayed);
}

INSTANTIATE_TEST_SUITE_P(Rows, PeerHostile, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tlx::dshow::test

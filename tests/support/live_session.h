// The panel's part around a live stream object, for the engine's end-to-end
// test and the playback benchmark: the player's registration in the
// process's registry folder, the test peer serving a clip as the base
// station, the link library's internet link and the server address pointed
// at the peer, and the controller's calls on the stream object with the
// callbacks recorded. What the renderers present and play can be watched
// while it runs.
//
// Threads: the controller steps (Create to Destroy) run on one thread that
// is not the Qt thread, as the panel's controller does; RunWithEventLoop
// gives the Qt loop the calling thread meanwhile.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/peer_process.h"
#include "video_renderer/video_renderer.h"

class QImage;
class CTlxPcStmModeIf;

namespace tlx::test {

using SteadyClock = std::chrono::steady_clock;

// What the peer streams: an elementary video file of the codec ("mpeg4"
// m4v, or "avc" Annex-B with access-unit delimiters) and an ADTS file of
// audioRate samples a second, from startMs of the clip on, paced in real
// time.
struct LiveClip {
  std::string video;
  std::string codec;
  std::string audio;
  int startMs = 0;
  int audioRate = 24000;
};

// One call of the notify callback.
struct NotifyCall {
  int event;
  int ok;
  int errorId;
  SteadyClock::time_point at;
};

class LiveSession {
 public:
  // For every picture the video renderer presents, on its streaming thread:
  // what it reports, when it was presented and the picture.
  using PresentObserver =
      std::function<void(const dshow::video::PresentedFrame& frame, SteadyClock::time_point at, const QImage& picture)>;
  // For every block of sound the output plays, on the output's thread: when
  // its first sample plays, the interleaved 16-bit samples, the channel
  // count and the sample rate.
  using SoundObserver = std::function<void(SteadyClock::time_point at, const int16_t* samples, size_t frames,
                                           int channels, int sampleRate)>;

  // Registers the player and starts the peer with the clip; `streamOptions`
  // are further members of the peer's stream options (JSON, each with a
  // leading comma). ready() false and error() say when that failed.
  explicit LiveSession(const LiveClip& clip, const std::string& streamOptions = "");
  // Destroy, if the controller did not.
  ~LiveSession();
  LiveSession(const LiveSession&) = delete;
  LiveSession& operator=(const LiveSession&) = delete;

  bool ready() const { return peer_.running(); }
  const std::string& error() const { return peer_.error(); }
  // Which controller step failed last, with the stream object's error
  // record when it has one.
  const std::string& failure() const { return failure_; }
  PeerProcess& peer() { return peer_; }

  // Set before Create; each may be empty.
  void ObservePresents(PresentObserver observer);
  void ObserveSound(SoundObserver observer);

  // Controller steps. Create: the stream object made as pCreate makes it,
  // the internet link to the peer's port, the server address, bInitialize
  // with the recording callbacks; false when a step failed. Run: bRunMovie
  // asking for the clip's codec and sound (below), its result; the time of
  // the call is runStart() and
  // what it reported of the base station's AVC is avcAvailable().
  // Stop: bStopMovie. Cleanup: bCleanup. Destroy: the object deleted.
  bool Create();
  bool Run();
  bool Stop();
  bool Cleanup();
  void Destroy();
  // The stream object between Create and Destroy.
  CTlxPcStmModeIf* stream();

  SteadyClock::time_point runStart() const { return runStart_; }
  bool avcAvailable() const { return avcAvailable_; }
  std::vector<NotifyCall> Notifications();
  std::vector<int> Restarts();
  // Waits until the notify callback has reported `event` `count` times.
  bool WaitForNotify(int event, size_t count, std::chrono::milliseconds timeout);
  // Pictures the current graph's video renderer presented; 0 without one.
  long Presented();

  class Stream;

 private:
  static void OnNotify(int event, void* user, int ok, int errorId);
  static void OnTvStatus(int kind, int value, void* user);
  static void OnRestart(int reason, void* user);
  void WatchRenderer();
  bool Failed(const std::string& what);

  LiveClip clip_;
  PeerProcess peer_;
  std::unique_ptr<Stream> stream_;
  SteadyClock::time_point runStart_{};
  bool avcAvailable_ = false;
  std::string failure_;
  PresentObserver presentObserver_;
  std::shared_ptr<SoundObserver> soundObserver_;

  std::mutex lock_;
  std::vector<NotifyCall> notifications_;
  std::vector<int> restarts_;
};

// Runs `controller` on a new thread while the calling thread runs a Qt event
// loop (a QApplication is made when there is none); returns once the
// controller has returned and the loop has ended.
void RunWithEventLoop(const std::function<void()>& controller);

}  // namespace tlx::test

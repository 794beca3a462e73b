// TlxStreamingClientQOS: the reception rate and loss of each received RTP
// stream, measured once a period on the scheduler, and the audio and video
// rates handed to a callback (the filter raises EC_TLX_STATISTICS with them).
#pragma once

#include <functional>
#include <vector>

#include "rtsp/media_session.h"
#include "rtsp/task_scheduler.h"

// What a stream received so far.
struct TlxReceptionCounters {
  double kilobytes = 0;
  unsigned packetsReceived = 0;
  unsigned packetsExpected = 0;
};
// The counters of every sender of a stream, summed.
TlxReceptionCounters ReadReceptionCounters(RTPReceptionStatsDB& db);

// One stream's measurement.
struct TlxQosMonitor {
  double lastTime = 0;  // seconds
  TlxReceptionCounters last;
  double rate = 0, rateMin = 0, rateMax = 0;  // kbit/s
  double loss = 0, lossMin = 0, lossMax = 0;  // fraction
  bool measured = false;

  // Rate = Δkilobytes × 8 / elapsed seconds (0 when no time passed, never
  // below 0); loss = 1 − Δreceived / Δexpected (0 when nothing was
  // expected); the minimum and maximum follow; the new counters are kept.
  void Measure(const TlxReceptionCounters& now, double nowSeconds);
};

class TlxStreamingClientQOS {
 public:
  // Audio and video rates in kbit/s.
  using Callback = std::function<void(double audio, double video)>;

  TlxStreamingClientQOS(MediaSession& session, TaskScheduler& scheduler) : fSession(session), fScheduler(scheduler) {}
  ~TlxStreamingClientQOS() { Stop(); }

  // Notes the counters of every subsession that has an RTP source and runs
  // the measurement every periodMs.
  void Start(unsigned periodMs, Callback callback);
  void Stop();

  double audioRate() const { return fAudioRate; }
  double videoRate() const { return fVideoRate; }

 private:
  struct Entry {
    MediaSubsession* subsession;
    TlxQosMonitor monitor;
  };
  static void OnTimer(void* self);
  void Measure();

  MediaSession& fSession;
  TaskScheduler& fScheduler;
  TaskToken fTimer = nullptr;
  int64_t fPeriodUs = 0;
  Callback fCallback;
  std::vector<Entry> fEntries;
  double fAudioRate = 0, fVideoRate = 0;
};

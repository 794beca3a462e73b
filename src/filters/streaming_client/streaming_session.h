// StreamingSession: everything the source needs to receive the base
// station's stream. It owns the scheduler with its loop thread, the
// environment, the tunnelling RTSP client, the media session with its
// subsessions, the two frame sinks (shared with the pins) and the statistics.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filter_sink.h"
#include "locked_task_scheduler.h"
#include "rtsp/media_session.h"
#include "rtsp/usage_environment.h"
#include "streaming_qos.h"
#include "tunneling_rtsp_client.h"

class StreamingSession {
 public:
  enum State { kIdle = 0, kConnected = 1, kPlaying = 2 };
  // The client ports the subsessions get, two apart, in description order.
  static constexpr unsigned short kFirstClientPort = 5024;

  // `events` raises graph events on the filter from any thread; `firstFrame`
  // runs when a sink takes in its first frame. Null, with *hr set to
  // TLX_E_SESSION_CREATE, when a part cannot be made.
  static std::unique_ptr<StreamingSession> Create(LockedTaskScheduler::EventCallback events,
                                                  std::function<void()> firstFrame, HRESULT* hr);
  ~StreamingSession();

  // Opens the tunnel to the server (through the proxy when its host is not
  // empty). S_OK makes the state connected; a failure resets the client and
  // returns the attempt's result.
  HRESULT Connect(const char* host, int port, const char* proxyHost, int proxyPort);
  // DESCRIBE, SETUP of the first audio and the first video subsession (the
  // description's other media are not set up), PLAY and the loop start. A
  // description with neither, or without a medium the caller needs (that of a
  // connected pin), is refused before any SETUP. A failure tears down what was
  // set up and returns TLX_E_DESCRIBE_SETUP or TLX_E_START_FAILED.
  HRESULT Play(const char* streamPath, bool needAudio, bool needVideo);
  // TEARDOWN, statistics and loop stop, sinks and subsessions closed, then
  // the client reset: idle. TLX_E_SESSION_STATE when idle.
  HRESULT Stop();

  // Measures the reception every periodMs on the loop.
  void StartStatistics(unsigned periodMs, TlxStreamingClientQOS::Callback callback);

  State state() const { return fState; }
  void setAuthenticate(bool on) { fClient->setAuthenticate(on); }
  std::shared_ptr<TlxFilterSink> audioSink() const { return fAudioSink; }
  std::shared_ptr<TlxFilterSink> videoSink() const { return fVideoSink; }
  // The client ports of the subsessions, in description order.
  std::vector<unsigned short> clientPorts() const;
  const std::string& sdpDescription() const { return fSdp; }

 private:
  StreamingSession() = default;
  HRESULT SetUpSubsessions(bool needAudio, bool needVideo);
  // Closes the sinks and subsessions and drops the media session.
  void TearDown();

  LockedTaskScheduler::EventCallback fEvents;
  std::function<void()> fFirstFrame;
  std::unique_ptr<LockedTaskScheduler> fScheduler;
  std::unique_ptr<BasicUsageEnvironment> fEnv;
  std::unique_ptr<TunnelingRTSPClient> fClient;
  std::unique_ptr<MediaSession> fMedia;
  std::unique_ptr<TlxStreamingClientQOS> fQos;
  std::shared_ptr<TlxFilterSink> fAudioSink, fVideoSink;
  State fState = kIdle;
  std::string fHost;
  int fPort = 80;
  std::string fSdp;
};

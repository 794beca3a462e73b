// Drives a whole stream session against the test peer: an RTSP client that
// opens the base station's HTTP tunnel (GET, then POST, cookie 0, requests
// base64-encoded and sent with the abortable send), the session description,
// one frame sink per subsession, and a thread that runs the scheduler once
// PLAY was answered.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtsp/test_environment.h"
#include "rtsp/media_session.h"
#include "rtsp/rtsp_client.h"

class TunnelClient : public RTSPClient {
 public:
  explicit TunnelClient(UsageEnvironment& env) : RTSPClient(env, 1, "TLXStreamingClient") {}
  ~TunnelClient() override;
  // Opens both tunnel connections to 127.0.0.1:port; false with the result
  // message set.
  bool open(int port);

 protected:
  bool sendRequest(const std::string& text) override;

 private:
  tlx::win32::Descriptor fPost;
  int fGet = -1;
};

// Keeps every frame its source delivers.
class FrameSink : public MediaSink {
 public:
  struct Frame {
    std::string data;
    unsigned truncated;
  };
  FrameSink(UsageEnvironment& env, unsigned maxSize) : MediaSink(env), fBuffer(maxSize) {}
  std::vector<Frame> frames;  // read once the loop has stopped
  std::atomic<int> count{0};
  std::atomic<bool> ended{false};

 protected:
  bool continuePlaying() override;

 private:
  static void afterGettingFrame(void* data, unsigned size, unsigned truncated, struct timeval, unsigned);
  std::vector<unsigned char> fBuffer;
};

class TunnelSession {
 public:
  TunnelSession() = default;
  ~TunnelSession();
  // Connects, describes the path, sets every subsession up, plays and starts
  // the loop thread; false (with the reason in error()) at the first failure.
  bool start(int port, const std::string& path);
  // Waits until the sinks hold at least these many frames (or their streams
  // ended), at most timeoutMs.
  bool waitForFrames(int audio, int video, int timeoutMs);
  // Stops the loop thread and sends TEARDOWN.
  void stop();

  std::string error() const { return fError; }
  TestEnvironment t;
  std::unique_ptr<TunnelClient> client;
  std::unique_ptr<MediaSession> session;
  std::vector<std::unique_ptr<FrameSink>> sinks;  // in description order
  std::vector<std::string> log;
  std::atomic<int> byes[2] = {0, 0};

 private:
  std::thread fLoop;
  std::atomic<bool> fStop{false};
  std::string fError;
};

// Frame sources and the sinks that pull from them. A sink asks its source for
// one frame at a time with getNextFrame; the source calls back once the frame
// is in the sink's buffer, or calls the close function when it has no more.
#pragma once

#include <sys/time.h>

#include "rtsp/usage_environment.h"

class FramedSource {
 public:
  using afterGettingFunc = void(void* clientData, unsigned frameSize, unsigned numTruncatedBytes,
                                struct timeval presentationTime, unsigned durationInMicroseconds);
  using onCloseFunc = void(void* clientData);

  explicit FramedSource(UsageEnvironment& env) : fEnv(env) {}
  virtual ~FramedSource() = default;
  FramedSource(const FramedSource&) = delete;
  FramedSource& operator=(const FramedSource&) = delete;

  UsageEnvironment& envir() const { return fEnv; }

  // Asks for the next frame, to be written to `to` (at most maxSize bytes;
  // the bytes beyond are cut and reported as numTruncatedBytes). The frame may
  // come before this returns or later from the scheduler. A request made while
  // one is pending is refused and logged.
  void getNextFrame(unsigned char* to, unsigned maxSize, afterGettingFunc* afterGettingFunc,
                    void* afterGettingClientData, onCloseFunc* onCloseFunc,
                    void* onCloseClientData);
  // Cancels a pending request; no callback follows for it.
  void stopGettingFrames();
  bool isCurrentlyAwaitingData() const { return fIsCurrentlyAwaitingData; }

  // The source has no more frames: the pending request ends and the close
  // function of the last request is called.
  void handleClosure();

 protected:
  // Delivers a frame when one is ready (now or later).
  virtual void doGetNextFrame() = 0;
  virtual void doStopGettingFrames() {}
  // Ends the pending request with the frame now in fTo and calls back.
  static void afterGetting(FramedSource* source);

  unsigned char* fTo = nullptr;
  unsigned fMaxSize = 0;
  unsigned fFrameSize = 0;
  unsigned fNumTruncatedBytes = 0;
  struct timeval fPresentationTime {};
  unsigned fDurationInMicroseconds = 0;

 private:
  UsageEnvironment& fEnv;
  afterGettingFunc* fAfterGettingFunc = nullptr;
  void* fAfterGettingClientData = nullptr;
  onCloseFunc* fOnCloseFunc = nullptr;
  void* fOnCloseClientData = nullptr;
  bool fIsCurrentlyAwaitingData = false;
};

class MediaSink {
 public:
  using afterPlayingFunc = void(void* clientData);

  virtual ~MediaSink() = default;
  MediaSink(const MediaSink&) = delete;
  MediaSink& operator=(const MediaSink&) = delete;

  UsageEnvironment& envir() const { return fEnv; }
  // Starts pulling frames from the source; false when already playing or
  // when continuePlaying fails. afterPlaying is called when the source closes.
  bool startPlaying(FramedSource& source, afterPlayingFunc* afterFunc, void* afterClientData);
  // Cancels the source's pending request; afterPlaying is not called.
  virtual void stopPlaying();
  FramedSource* source() const { return fSource; }

 protected:
  explicit MediaSink(UsageEnvironment& env) : fEnv(env) {}
  // Asks the source for the next frame (with onSourceClosure as its close
  // function and this sink as its data).
  virtual bool continuePlaying() = 0;
  static void onSourceClosure(void* clientData);

  FramedSource* fSource = nullptr;

 private:
  UsageEnvironment& fEnv;
  afterPlayingFunc* fAfterFunc = nullptr;
  void* fAfterClientData = nullptr;
};

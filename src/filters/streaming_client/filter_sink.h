// The frame sink of one medium: receives whole frames from its subsession's
// source into a byte ring, queues a descriptor per frame, and hands the
// oldest to its pin's streaming thread. It runs on the event-loop thread; the
// pin takes and releases frames from its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "rtsp/media_sink.h"

// One medium's sizes.
struct TlxSinkLayout {
  char medium;             // 'A' or 'V', in logs
  size_t ringBytes;
  unsigned largestFrame;   // the most a frame may hold
  size_t storeSize;        // descriptors the queue holds
  uint32_t magic;          // the in-band header's first four bytes
  bool hasMarkers;         // audio: marker frames flag the next frame
};
extern const TlxSinkLayout kVideoSinkLayout;
extern const TlxSinkLayout kAudioSinkLayout;

// A frame as the pin takes it.
struct TlxFrameDescr {
  const uint8_t* data = nullptr;  // the frame's first byte in the ring
  unsigned size = 0;              // the whole frame
  uint32_t stampMs = 0;
  unsigned offset = 0;            // the payload's start: 12 after an in-band header
  bool marker = false;            // a marker frame came before it
  bool end = false;               // the stream ended (no data)
};

// The byte ring: frames are written at the free end and freed in order.
class TlxFrameBuffer {
 public:
  TlxFrameBuffer(size_t size, unsigned largestFrame) : fBytes(size), fLargest(largestFrame) {}
  // Where a largest frame fits after the newest frame, or wrapping before the
  // oldest; null when neither has room.
  uint8_t* FreeSpace();
  // The frame written at `at` now holds `size` bytes.
  void Commit(uint8_t* at, unsigned size);
  // Frees the oldest frame.
  void ReleaseOldest();
  size_t Offset(const uint8_t* at) const { return static_cast<size_t>(at - fBytes.data()); }

 private:
  struct Extent {
    size_t offset;
    size_t size;
  };
  std::vector<uint8_t> fBytes;
  unsigned fLargest;
  std::deque<Extent> fExtents;  // oldest first
};

class TlxFilterSink : public MediaSink {
 public:
  // Waits of a producer on a full audio queue.
  static constexpr std::chrono::milliseconds kFullQueueWait{2000};
  // Queued frames at which new ones are dropped.
  static constexpr size_t kDropAt = 297;

  // `onFirstFrame` runs once, on the first frame or marker.
  TlxFilterSink(UsageEnvironment& env, const TlxSinkLayout& layout, std::function<void()> onFirstFrame);
  ~TlxFilterSink() override;

  enum class Take { kFrame, kClosed, kEnd };
  // Waits for the oldest queued frame (it stays in the ring until released).
  Take TakeFrame(TlxFrameDescr* frame);
  // Frees the frame TakeFrame gave.
  void ReleaseFrame();
  // Closes the queue: waiting pins and producers wake at once, takes return
  // kClosed and new frames are dropped.
  void Close();

  // The source closed or said BYE: the pin gets an end marker after the
  // frames already queued.
  void End();
  static void OnBye(void* sink) { static_cast<TlxFilterSink*>(sink)->End(); }

  // Frames taken in and lost.
  uint64_t framesReceived();
  uint64_t framesDropped();
  size_t queuedFrames();

  // Hands a received frame in, as the source's callback does (for the event
  // loop and for tests that play a source's part).
  void afterGettingFrame(unsigned frameSize, unsigned numTruncatedBytes, struct timeval presentationTime);
  // The buffer the next frame goes to (the ring, or scratch when it is full).
  uint8_t* nextBuffer() const { return fTo; }
  // Finds room for the next frame, as continuePlaying does, without asking a
  // source.
  void prepareNextBuffer();

 protected:
  bool continuePlaying() override;

 private:
  static void afterGettingFrame(void* clientData, unsigned frameSize, unsigned numTruncatedBytes,
                                struct timeval presentationTime, unsigned durationInMicroseconds);
  static void onClosure(void* clientData);
  void Drop(const char* why);
  void SignalFirstFrame();

  const TlxSinkLayout& fLayout;
  std::function<void()> fOnFirstFrame;
  std::mutex fLock;
  std::condition_variable fChanged;
  TlxFrameBuffer fRing;
  std::vector<uint8_t> fScratch;  // a frame that finds no room is read here and dropped
  uint8_t* fTo = nullptr;         // where the pending frame goes
  std::deque<TlxFrameDescr> fQueue;  // in the ring, oldest first; the front may be taken
  bool fFrontTaken = false;
  bool fClosed = false;
  bool fEnded = false;
  bool fMarkerPending = false;
  bool fDropWhileFull = false;  // a full-queue wait ran out; drop until a take
  bool fSignalled = false;
  uint64_t fReceived = 0;
  uint64_t fDropped = 0;
};
